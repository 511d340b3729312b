#pragma once

#include <tuple>
#include <type_traits>

#include "app/app_host.h"
#include "app/cd_members.h"
#include "app/delivery_members.h"
#include "app/job_members.h"
#include "app/main_window.h"
#include "bridge/member_table.h"
#include "settings/settings_store.h"

namespace quillon::app {

// The objects whose functions the script members call, found by their type.
class MemberHandlers {
public:
    MemberHandlers(AppHost& app, MainWindow& window, settings::SettingsStore& settings, JobMembers& jobs, CdMembers& cd,
                   DeliveryMembers& delivery)
        : objects_(&app, &window, &settings, &jobs, &cd, &delivery, &delivery.clipServer(), &delivery.firewall(),
                   &delivery.pairedPhones(), &delivery.bluetoothPhones(), &delivery.obexPush(), &delivery.phoneCopy())
    {}

    // The handler object of type T (nullptr for a free function's void).
    template <class T>
    T* get() const
    {
        if constexpr (std::is_void_v<T>)
            return nullptr;
        else
            return std::get<T*>(objects_);
    }

private:
    std::tuple<AppHost*, MainWindow*, settings::SettingsStore*, JobMembers*, CdMembers*, DeliveryMembers*,
               delivery::ClipServer*, delivery::FirewallPort*, delivery::PairedPhones*, delivery::BluetoothPhones*,
               delivery::ObexPush*, delivery::PhoneCopy*>
        objects_;
};

// The app's binding of the member rows: each call runs its handler on MemberHandlers.
struct HandlerBinding {
    template <auto Handler>
    static constexpr bridge::MemberCall call()
    {
        return [](const bridge::Member&, void* handlers, const bridge::Arguments& arguments, bridge::CallerId caller) {
            using Object = typename bridge::SignatureOf<Handler>::ObjectType;
            return bridge::invokeHandler<Handler>(static_cast<MemberHandlers*>(handlers)->get<Object>(), arguments,
                                                  caller);
        };
    }
};

// The members with their handlers, numbered as memberTable().
std::span<const bridge::Member> boundMemberTable();

}  // namespace quillon::app
