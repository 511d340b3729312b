#pragma once

// Helpers for tests that run child processes: bounded polling, /proc probes and
// the argument records that stand-in tools write.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

// Polls done() until it holds or the limit passes; returns its last answer.
template <class Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct ProcStat {
    char state;
    pid_t parent;
};

// State and parent of a process, nullopt once it is gone (a zombie still has one).
inline std::optional<ProcStat> procStat(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    ProcStat stat{};
    if (!std::getline(in, line) || !(std::istringstream(line.substr(line.rfind(')') + 1)) >> stat.state >> stat.parent))
        return std::nullopt;
    return stat;
}

inline bool isGone(pid_t pid) { return !procStat(pid).has_value(); }

// A NUL-separated argument record: printf '%s\0' "$0" "$@" > file
inline std::vector<std::string> readArgs(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> args;
    std::string arg;
    while (std::getline(in, arg, '\0'))
        args.push_back(arg);
    return args;
}

inline pid_t readPid(const std::filesystem::path& file)
{
    pid_t pid = 0;
    std::ifstream(file) >> pid;
    return pid;
}

}  // namespace quillon::test
