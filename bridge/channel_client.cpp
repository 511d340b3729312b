#include "bridge/channel_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quillon::bridge {

ChannelClient::ChannelClient(int fd) : fd_(fd) {}

ChannelClient::~ChannelClient() { drop(); }

void ChannelClient::drop()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::optional<std::string> ChannelClient::call(const std::string& request)
{
    if (fd_ < 0)
        return std::nullopt;
    const std::string frame = frameMessage(request);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(fd_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            drop();
            return std::nullopt;
        }
        sent += static_cast<std::size_t>(n);
    }
    for (;;) {
        if (auto reply = reader_.next())
            return reply;
        if (reader_.failed()) {
            drop();
            return std::nullopt;
        }
        char block[64 * 1024];
        const ssize_t got = ::recv(fd_, block, sizeof block, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            drop();
            return std::nullopt;
        }
        reader_.append(std::string_view(block, static_cast<std::size_t>(got)));
    }
}

}  // namespace quillon::bridge
