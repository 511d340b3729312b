#include "process/idle_processors.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace quillon::process {

namespace {

std::optional<double> idleSecondsNow()
{
    std::ifstream file("/proc/uptime");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return idleSecondsOfUptime(text);
}

}  // namespace

std::optional<double> idleSecondsOfUptime(std::string_view text)
{
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(space + 1);
    double idle = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), idle);
    const bool ends = end == text.data() + text.size() || *end == '\n';
    if (error != std::errc() || end == text.data() || !ends || idle < 0)
        return std::nullopt;
    return idle;
}

IdleProcessors::IdleProcessors() : idleSeconds_(idleSecondsNow()), start_(std::chrono::steady_clock::now()) {}

std::optional<double> IdleProcessors::sinceStart() const
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    const std::optional<double> idleNow = idleSecondsNow();
    if (!idleSeconds_ || !idleNow || elapsed < kShortest)
        return std::nullopt;
    return (*idleNow - *idleSeconds_) / elapsed.count();
}

}  // namespace quillon::process
