#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// libsoup's own struct tag, declared here so that users of this header need no libsoup.
// NOLINTBEGIN(bugprone-reserved-identifier)
using SoupServer = struct _SoupServer;
// NOLINTEND(bugprone-reserved-identifier)

namespace quillon::delivery {

// The connections phones may hold, and how long one may stay silent.
struct ConnectionLimits {
    std::size_t perPeer = 8;  // from one address
    std::size_t total = 32;
    std::chrono::seconds idle{30};
};

// Takes the connections to one port of every address, IPv4 and IPv6, and hands
// them to a SoupServer. A connection beyond the limits is closed as it comes and a
// silent one after the idle time, so a flood of them can neither use up the
// process's descriptors nor stop the listening. Should accepting fail all the
// same (no descriptor left, or worse), it stops listening and calls onFailed once.
// Driven by the thread-default main context where it is made.
class ClipListener {
public:
    // Listens on a port the system picks; nullptr when it cannot listen at all.
    static std::unique_ptr<ClipListener> start(SoupServer* server, const ConnectionLimits& limits,
                                               std::function<void()> onFailed);
    ~ClipListener();
    ClipListener(const ClipListener&) = delete;
    ClipListener& operator=(const ClipListener&) = delete;

    [[nodiscard]] std::uint16_t port() const { return port_; }

private:
    ClipListener(SoupServer* server, const ConnectionLimits& limits, std::function<void()> onFailed);
    [[nodiscard]] bool listen();
    static gboolean onIncoming(GSocket* listening, GIOCondition, gpointer self);
    static void onClosed(gpointer self, GObject* connection);
    // Takes one accepted connection, or closes it when it is over the limits.
    void take(int fd);
    void stopListening();

    SoupServer* server_;
    ConnectionLimits limits_;
    std::function<void()> onFailed_;
    std::uint16_t port_ = 0;
    std::vector<GSocket*> sockets_;
    std::vector<GSource*> sources_;
    // The connections handed on, each with its peer's address, until they are gone.
    std::map<GObject*, std::string> open_;
    std::map<std::string, std::size_t> perPeer_;
};

}  // namespace quillon::delivery
