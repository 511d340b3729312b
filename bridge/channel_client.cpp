#include "bridge/channel_client.h"

#include <sched.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace quillon::bridge {

std::optional<std::string> ChannelClient::call(const std::string& request)
{
    if (!fd_.valid())
        return std::nullopt;
    const std::string frame = frameMessage(request);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd_.get(), frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fd_.reset();
            return std::nullopt;
        }
        sent += static_cast<std::size_t>(n);
    }
    // Most replies are back within tens of microseconds. Asking again until then,
    // and giving the processor to whoever else wants it meanwhile (the UI process,
    // when it shares this one), spares the page a sleep and a wake-up, which cost
    // more than the whole call when the UI process runs on another processor.
    // Past kAskFor the wait sleeps.
    const auto askUntil = std::chrono::steady_clock::now() + kAskFor;
    for (;;) {
        if (auto reply = reader_.next())
            return reply;
        if (reader_.failed()) {
            fd_.reset();
            return std::nullopt;
        }
        const bool asking = std::chrono::steady_clock::now() < askUntil;
        char block[64 * 1024];
        const ssize_t got = ::recv(fd_.get(), block, sizeof block, asking ? MSG_DONTWAIT : 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && asking && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            sched_yield();
            continue;
        }
        if (got <= 0) {
            fd_.reset();
            return std::nullopt;
        }
        reader_.append(std::string_view(block, static_cast<std::size_t>(got)));
    }
}

}  // namespace quillon::bridge
