#pragma once

#include <glib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "delivery/clip_listener.h"
#include "delivery/clip_routes.h"
#include "delivery/delivered_bytes.h"
#include "delivery/reachable_address.h"

// libsoup's own struct tag, declared here so that users of this header need no libsoup.
// NOLINTBEGIN(bugprone-reserved-identifier)
using SoupServerMessage = struct _SoupServerMessage;
// NOLINTEND(bugprone-reserved-identifier)

namespace quillon::delivery {

// DTE_svStatus.
inline constexpr std::int32_t kServeIdle = 0;
inline constexpr std::int32_t kServing = 1;
inline constexpr std::int32_t kServeFetched = 100;
inline constexpr std::int32_t kServeNoNetwork = 201;
inline constexpr std::int32_t kServeRefused = 202;
inline constexpr std::int32_t kServeNoListen = 203;
inline constexpr std::int32_t kServeExpired = 204;
// Taking connections failed while serving (no descriptor left, or worse).
inline constexpr std::int32_t kServeLost = 205;

// Serves one clip at a time to phones on the local network: an HTTP server on a
// random port of every address, driven by the main context of the thread that
// starts it (the UI thread's), so it never blocks the window. Each serving has
// its own token; it ends when asked, when the next one starts, after its
// lifetime, when taking connections fails, and with this object, and then nothing
// listens on its port. It counts as fetched once one phone has had every byte.
class ClipServer {
public:
    using AddressSource = std::function<std::vector<InterfaceAddress>()>;
    static constexpr std::chrono::milliseconds kLifetime = std::chrono::minutes(15);

    // Only clips in tempDir (or a folder inside it) are served.
    explicit ClipServer(std::filesystem::path tempDir, AddressSource addresses = systemAddresses,
                        std::chrono::milliseconds lifetime = kLifetime, ConnectionLimits limits = {});
    ~ClipServer();
    ClipServer(const ClipServer&) = delete;
    ClipServer& operator=(const ClipServer&) = delete;

    // Stops any earlier serving, then serves this clip; true when it now serves
    // (otherwise status() says why).
    [[nodiscard]] bool serve(const std::filesystem::path& clip, const ClipDescription& part);
    // Stops serving (status 0); does nothing while nothing is served.
    void stop();

    [[nodiscard]] std::int32_t status() const { return status_; }
    // While serving: "pageUrl:::port:::svg"; "" otherwise.
    [[nodiscard]] std::string response() const;

private:
    static void onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self);
    static void onFinished(SoupServer*, SoupServerMessage* message, gpointer self);
    static gboolean onExpired(gpointer self);
    // Ends the serving and leaves status at the given value.
    void shutDown(std::int32_t status);
    [[nodiscard]] bool serving() const { return status_ == kServing || status_ == kServeFetched; }

    std::filesystem::path tempDir_;
    AddressSource addresses_;
    std::chrono::milliseconds lifetime_;
    ConnectionLimits limits_;
    std::int32_t status_ = kServeIdle;
    ServedClip clip_;
    GBytes* bytes_ = nullptr;
    SoupServer* server_ = nullptr;
    std::unique_ptr<ClipListener> listener_;
    // What each phone has been sent of this serving's clip.
    DeliveredBytes delivered_{0};
    GSource* expiry_ = nullptr;
    std::string pageUrl_;
    std::uint16_t port_ = 0;
};

}  // namespace quillon::delivery
