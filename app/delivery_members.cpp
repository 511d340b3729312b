#include "app/delivery_members.h"

#include <cstdlib>

#include "app/main_window.h"
#include "app/ui_wait.h"
#include "base/clip_kinds.h"
#include "delivery/clip_file_name.h"
#include "delivery/own_clip.h"
#include "delivery/reachable_address.h"
#include "delivery/save_copy.h"
#include "delivery/show_in_folder.h"
#include "delivery/staged_clip.h"

namespace quillon::app {

namespace {

// How long the desktop's file manager has to answer before the folder is opened instead.
constexpr std::chrono::seconds kShowInFolderTimeout{3};

}  // namespace

DeliveryMembers::DeliveryMembers(const std::filesystem::path& tempDir, settings::SettingsStore& settings,
                                 const MainWindow& window)
    : tempDir_(tempDir), settings_(settings), window_(window), clipServer_(tempDir), phones_(tempDir),
      phoneCopy_(tempDir)
{}

bool DeliveryMembers::serveClip(const std::string& clipPath, const std::string& songTitle, std::int32_t startMs,
                                std::int32_t lengthMs, const std::string& kind)
{
    firewall_.close();
    const auto servingEnds = std::chrono::steady_clock::now() + delivery::ClipServer::kLifetime;
    // A kind this copy does not know is served as a ringtone: the clip is the same.
    if (!clipServer_.serve(clipPath, {songTitle, startMs, lengthMs, &base::clipKindOrFirst(kind)}))
        return false;
    // The server's answer ends in its port; the interface is the one its address was chosen on.
    const std::string served = clipServer_.response();
    const auto port = static_cast<std::uint16_t>(std::atoi(served.substr(served.rfind(':') + 1).c_str()));
    const auto address = delivery::reachableAddress(delivery::systemAddresses());
    firewall_.check(port, address ? address->interface : "", servingEnds);
    return true;
}

void DeliveryMembers::stopServing()
{
    clipServer_.stop();
    firewall_.close();
}

std::string DeliveryMembers::saveClipCopy(const std::string& clipPath, const std::string& suggestedName)
{
    std::string answer = delivery::saveClipCopy(
        {window_.topWindow(), clipPath, suggestedName, tempDir_}, settings_,
        [this](const std::shared_future<std::string>& answer) { return awaitServingUi(answer, window_.loop()); });
    if (constexpr std::string_view kSaved = "saved:::"; answer.starts_with(kSaved))
        savedPlaces_.insert(answer.substr(kSaved.size()));
    return answer;
}

bool DeliveryMembers::showInFolder(const std::string& where)
{
    if (!savedPlaces_.contains(where))
        return false;
    delivery::showInFolder(where, kShowInFolderTimeout, delivery::openFolderByDefault);
    return true;
}

bool DeliveryMembers::sendByBluetooth(const std::string& phoneId, const std::string& clipPath, const std::string& name)
{
    const delivery::BluetoothPhone* phone = bluetoothPhones_.phone(phoneId);
    if (!phone || !delivery::isOwnClip(clipPath, tempDir_))
        return false;
    // The phone keeps the name the file is sent under.
    std::optional<delivery::StagedClip> file =
        delivery::StagedClip::make(clipPath, tempDir_, delivery::clipFileName(name));
    return file && obexPush_.send(phone->address, phone->adapter, std::move(*file));
}

bool DeliveryMembers::copyToPhone(const std::string& phoneId, const std::string& clipPath, const std::string& name,
                                  const std::optional<std::string>& kind)
{
    return phoneCopy_.copy(phoneId, clipPath, name, kind.value_or("ringtone"));
}

}  // namespace quillon::app
