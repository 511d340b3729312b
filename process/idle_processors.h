#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace quillon::process {

// How many processors have been idle on average since this was made, from the
// kernel's count of idle time: whether another child would find a processor of
// its own or only take turns with what already runs.
class IdleProcessors {
public:
    IdleProcessors();
    // nullopt when the kernel does not tell, or before kShortest has passed: its
    // count goes in hundredths of a second.
    [[nodiscard]] std::optional<double> sinceStart() const;

private:
    static constexpr std::chrono::milliseconds kShortest{20};

    std::optional<double> idleSeconds_;
    std::chrono::steady_clock::time_point start_;
};

// The idle time of all processors together, in seconds, from the text of
// /proc/uptime ("<uptime> <idle>"); nullopt for anything else.
[[nodiscard]] std::optional<double> idleSecondsOfUptime(std::string_view text);

}  // namespace quillon::process
