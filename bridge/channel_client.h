#pragma once

#include <optional>
#include <string>

#include "bridge/frame_reader.h"

namespace quillon::bridge {

// The web-process side of a view's channel: one blocking request and reply at a
// time, which is what makes window.external synchronous for page script.
class ChannelClient {
public:
    // Takes ownership of fd (-1: no channel yet; every call then fails).
    explicit ChannelClient(int fd);
    ~ChannelClient();
    ChannelClient(const ChannelClient&) = delete;
    ChannelClient& operator=(const ChannelClient&) = delete;

    // Sends one request and waits for its reply. nullopt once the channel is gone;
    // a channel that failed stays failed.
    std::optional<std::string> call(const std::string& request);
    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }

private:
    void drop();
    int fd_;
    FrameReader reader_;
};

}  // namespace quillon::bridge
