#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "delivery/bluetooth_phones.h"
#include "delivery/clip_server.h"
#include "delivery/firewall_port.h"
#include "delivery/obex_push.h"
#include "delivery/paired_phones.h"
#include "delivery/phone_copy.h"
#include "settings/settings_store.h"

namespace quillon::app {

class MainWindow;

// Getting a clip onto a phone: serving it on the local network (through the
// firewall), sending it to a paired phone or by Bluetooth, copying it onto a
// plugged-in phone, saving a copy. The ways whose calls need nothing of the others
// are handlers themselves.
class DeliveryMembers {
public:
    DeliveryMembers(const std::filesystem::path& tempDir, settings::SettingsStore& settings, const MainWindow& window);

    [[nodiscard]] bool serveClip(const std::string& clipPath, const std::string& songTitle, std::int32_t startMs,
                                 std::int32_t lengthMs, const std::string& kind);
    void stopServing();
    // A copy to a slow phone can take a while: the page waits as for a modal dialog
    // while the window keeps painting.
    [[nodiscard]] std::string saveClipCopy(const std::string& clipPath, const std::string& suggestedName);
    // A saved copy shown in its folder, by where saveClipCopy said it went.
    [[nodiscard]] bool showInFolder(const std::string& where);
    [[nodiscard]] bool sendByBluetooth(const std::string& phoneId, const std::string& clipPath,
                                       const std::string& name);
    // A copy without its kind is a ringtone's.
    [[nodiscard]] bool copyToPhone(const std::string& phoneId, const std::string& clipPath, const std::string& name,
                                   const std::optional<std::string>& kind);

    [[nodiscard]] delivery::ClipServer& clipServer() { return clipServer_; }
    [[nodiscard]] delivery::FirewallPort& firewall() { return firewall_; }
    [[nodiscard]] delivery::PairedPhones& pairedPhones() { return phones_; }
    [[nodiscard]] delivery::BluetoothPhones& bluetoothPhones() { return bluetoothPhones_; }
    [[nodiscard]] delivery::ObexPush& obexPush() { return obexPush_; }
    [[nodiscard]] delivery::PhoneCopy& phoneCopy() { return phoneCopy_; }

private:
    std::filesystem::path tempDir_;
    settings::SettingsStore& settings_;
    const MainWindow& window_;
    // Serves the last clip to phones until the page stops it, and no longer than the app.
    delivery::ClipServer clipServer_;
    // Whether phones get through the firewall to the clip served; a port it opened
    // closes when serving stops and when the app ends.
    delivery::FirewallPort firewall_;
    delivery::PairedPhones phones_;
    delivery::BluetoothPhones bluetoothPhones_;
    delivery::ObexPush obexPush_;
    delivery::PhoneCopy phoneCopy_;
    // Where the copies saved in this run went, as saveClipCopy told the page: the places it may show.
    std::set<std::string> savedPlaces_;
};

}  // namespace quillon::app
