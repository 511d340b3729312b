#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace quillon::service {

struct ServiceOptions {
    std::string host = "127.0.0.1";
    // The app's default service address is served when nothing else is asked for.
    int port = QUILLON_DEFAULT_SERVICE_PORT;  // 0: any free port, printed at start
    std::filesystem::path storage;
    std::uint64_t maxClipBytes = 10u << 20;
};

inline constexpr const char* kServiceUsage =
    "usage: quillon-service --storage DIR [--host ADDRESS] [--port N] [--max-clip-bytes N]\n";

// What the command line asks for: options to run with, or a message for standard
// error (usage or what is wrong) with the exit code to leave with.
struct UsageMessage {
    std::string text;
    int exitCode;
};

[[nodiscard]] std::variant<ServiceOptions, UsageMessage> parseServiceOptions(const std::vector<std::string>& args);

}  // namespace quillon::service
