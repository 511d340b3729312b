#pragma once

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
struct MemberHandlers {
    AppHost& app;
    MainWindow& window;
    settings::SettingsStore& settings;
    JobMembers& jobs;
    CdMembers& cd;
    DeliveryMembers& delivery;

    // The handler object of type T (nullptr for free functions' void).
    template <class T>
    T* get()
    {
        if constexpr (std::is_void_v<T>)
            return nullptr;
        else if constexpr (std::is_same_v<T, AppHost>)
            return &app;
        else if constexpr (std::is_same_v<T, MainWindow>)
            return &window;
        else if constexpr (std::is_same_v<T, settings::SettingsStore>)
            return &settings;
        else if constexpr (std::is_same_v<T, JobMembers>)
            return &jobs;
        else if constexpr (std::is_same_v<T, CdMembers>)
            return &cd;
        else if constexpr (std::is_same_v<T, DeliveryMembers>)
            return &delivery;
        else if constexpr (std::is_same_v<T, delivery::ClipServer>)
            return &delivery.clipServer();
        else if constexpr (std::is_same_v<T, delivery::FirewallPort>)
            return &delivery.firewall();
        else if constexpr (std::is_same_v<T, delivery::PairedPhones>)
            return &delivery.pairedPhones();
        else if constexpr (std::is_same_v<T, delivery::BluetoothPhones>)
            return &delivery.bluetoothPhones();
        else if constexpr (std::is_same_v<T, delivery::ObexPush>)
            return &delivery.obexPush();
        else {
            static_assert(std::is_same_v<T, delivery::PhoneCopy>, "a handler's object is one of MemberHandlers'");
            return &delivery.phoneCopy();
        }
    }
};

// The app's binding of the member rows: each call runs its handler on MemberHandlers.
struct HandlerBinding {
    template <auto handler>
    static constexpr bridge::MemberCall call()
    {
        return [](const bridge::Member&, void* handlers, const bridge::Arguments& arguments, bridge::CallerId caller) {
            using Object = typename bridge::SignatureOf<handler>::ObjectType;
            return bridge::invokeHandler<handler>(static_cast<MemberHandlers*>(handlers)->get<Object>(), arguments,
                                                  caller);
        };
    }
};

// The members with their handlers, numbered as memberTable().
std::span<const bridge::Member> boundMemberTable();

}  // namespace quillon::app
