#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "base/unique_fd.h"
#include "bridge/frame_reader.h"

namespace quillon::bridge {

// The web-process side of a view's channel: one blocking request and reply at a
// time, which is what makes window.external synchronous for page script.
class ChannelClient {
public:
    // An fd that is not valid: no channel yet; every call then fails.
    explicit ChannelClient(base::UniqueFd fd) : fd_(std::move(fd)) {}

    // Sends one request and waits for its reply. nullopt once the channel is gone;
    // a channel that failed stays failed.
    std::optional<std::string> call(const std::string& request);
    [[nodiscard]] bool isOpen() const { return fd_.valid(); }

private:
    // How long a call keeps asking for its reply before it sleeps until it comes.
    static constexpr std::chrono::microseconds kAskFor{50};

    base::UniqueFd fd_;
    FrameReader reader_;
};

}  // namespace quillon::bridge
