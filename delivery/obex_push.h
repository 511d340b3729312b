#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "delivery/staged_clip.h"

namespace quillon::delivery {

// Sends one file to a phone by Bluetooth through BlueZ's OBEX service on the
// session bus (a session with the Object Push target, SendFile, the transfer
// followed until it completes or fails), after asking BlueZ on the system bus
// whether the phone's adapter is on. Nothing waits: pages poll status() and
// progress(). Used on the UI thread only.
class ObexPush {
public:
    // DTE_btStatus.
    static constexpr std::int32_t kSending = 1;
    static constexpr std::int32_t kSent = 100;
    static constexpr std::int32_t kBluetoothOff = 201;
    static constexpr std::int32_t kNoObexService = 202;
    static constexpr std::int32_t kOutOfReach = 203;
    // The phone refused the file, or the transfer broke off.
    static constexpr std::int32_t kRefused = 204;
    static constexpr std::int32_t kCancelled = 205;

    // Reaching a phone that is out of range takes the radio a while to give up.
    static constexpr std::chrono::milliseconds kConnectTimeout{std::chrono::seconds(60)};
    static constexpr std::chrono::milliseconds kCallTimeout{std::chrono::seconds(10)};

    explicit ObexPush(std::chrono::milliseconds connectTimeout = kConnectTimeout,
                      std::chrono::milliseconds callTimeout = kCallTimeout);
    ~ObexPush();
    ObexPush(const ObexPush&) = delete;
    ObexPush& operator=(const ObexPush&) = delete;

    // Starts sending file to the phone at address (BlueZ's adapter path beside it);
    // false, starting nothing, while a sending runs.
    [[nodiscard]] bool send(const std::string& address, const std::string& adapter, StagedClip file);
    // Stops the running sending (status kCancelled); nothing otherwise.
    void cancel();

    // 0 never sent, 1 sending, 100 the phone has the whole file, or a failure above.
    [[nodiscard]] std::int32_t status() const { return status_; }
    // "transferred:::size" in bytes while sending and after; "" before the transfer starts.
    [[nodiscard]] std::string progress() const;

private:
    void connect();
    void push();
    void follow(GVariant* properties);
    void finish(std::int32_t status);
    static void onChanged(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                          GVariant* parameters, gpointer self);

    std::chrono::milliseconds connectTimeout_;
    std::chrono::milliseconds callTimeout_;
    GDBusConnection* session_ = nullptr;
    GCancellable* sending_ = nullptr;
    guint subscription_ = 0;
    std::int32_t status_ = 0;
    std::optional<StagedClip> file_;
    std::string address_;
    std::string sessionPath_;
    std::string transferPath_;
    std::uint64_t transferred_ = 0;
    std::uint64_t size_ = 0;
};

}  // namespace quillon::delivery
