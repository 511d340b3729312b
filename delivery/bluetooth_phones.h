#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::delivery {

// A device paired with this computer that takes files by Bluetooth (Object Push).
struct BluetoothPhone {
    std::string id;  // BlueZ's object path of the device
    std::string name;
    std::string address;
    std::string adapter;  // BlueZ's object path of the adapter it is paired through
};

// The phones paired with this computer over Bluetooth that take files, as BlueZ
// lists them on the system bus; headsets and other devices without Object Push
// are left out. Asked without waiting, with a time-out. Used on the UI thread only.
class BluetoothPhones {
public:
    static constexpr std::int32_t kDone = 100;
    static constexpr std::chrono::milliseconds kCallTimeout{3000};

    explicit BluetoothPhones(std::chrono::milliseconds callTimeout = kCallTimeout) : timeout_(callTimeout) {}
    ~BluetoothPhones();
    BluetoothPhones(const BluetoothPhones&) = delete;
    BluetoothPhones& operator=(const BluetoothPhones&) = delete;

    // Starts listing, dropping a listing still running.
    bool find();
    // 0 never asked, 1 asking, 100 done (the list may be empty).
    [[nodiscard]] std::int32_t findStatus() const { return status_; }
    // Once done: "id:::name:::id:::name…", "" when there is none.
    [[nodiscard]] std::string listing() const;
    // The phone of that id in the last listing, or nullptr.
    [[nodiscard]] const BluetoothPhone* phone(const std::string& id) const;

private:
    void take(GVariant* objects);

    std::chrono::milliseconds timeout_;
    GCancellable* finding_ = nullptr;
    std::int32_t status_ = 0;
    std::vector<BluetoothPhone> phones_;
};

}  // namespace quillon::delivery
