#pragma once

// The real pages' state lines and the service they send to.

#include <httplib.h>

#include <thread>

#include "service/clip_service.h"
#include "tests/e2e/app_harness.h"

namespace quillon::test {

inline constexpr const char* kState = "QUILLON state ";
inline std::optional<std::string> waitForState(const AppRun& run, const std::string& prefix,
                                               std::chrono::milliseconds timeout = 60s, std::size_t skip = 0)
{
    return run.waitFor(kState, prefix, timeout, skip);
}
// The states in order that start with one of wanted (as that one), as often as logged.
inline std::vector<std::string> milestones(const AppRun& run, const std::vector<std::string>& wanted)
{
    std::vector<std::string> seen;
    for (const auto& state : run.linesAfter(kState))
        for (const auto& w : wanted)
            if (state.starts_with(w))
                seen.push_back(w);
    return seen;
}

// The clip a "clip-ready <path>" state names; empty for none.
inline std::string clipOf(const std::optional<std::string>& ready) { return ready.value_or("clip-ready ").substr(11); }

// The reference service in this process on 127.0.0.1 (on port, else a free one), until out of scope.
class ReferenceService {
public:
    explicit ReferenceService(const std::filesystem::path& storage, std::uint64_t maxClipBytes = 10u << 20,
                              int port = 0);
    ~ReferenceService()
    {
        server_.stop();
        serving_.join();
    }
    ReferenceService(const ReferenceService&) = delete;
    ReferenceService& operator=(const ReferenceService&) = delete;
    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string authority() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    service::ClipService clips_;
    httplib::Server server_;
    int port_ = -1;
    std::thread serving_;
};

}  // namespace quillon::test
