#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "process/child_process.h"

namespace quillon::bench {

// A child started from an argument vector (never a shell), its program found on the search path.
// Standard input is /dev/null. Standard output and standard error are either
// both read here line by line or both thrown away.
class SpawnedProcess {
public:
    enum class Output { read, discard };

    // environment adds to (or replaces in) this process's environment.
    // Throws std::runtime_error when the child cannot be started.
    SpawnedProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                   Output output);
    // Stops the child if it is still running and reaps it.
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return child_->pid(); }

    // The first unread output line containing marker, cut after the marker;
    // nullopt when the output ends or the timeout passes first.
    [[nodiscard]] std::optional<std::string> waitForLine(const std::string& marker, std::chrono::milliseconds timeout);

    // Waits for the end; the exit code, 128 + the signal's number for a child killed by one.
    int wait();
    // SIGTERM, a bounded wait, then SIGKILL; reaps the child.
    void stop();

private:
    std::optional<process::ChildProcess> child_;
    base::UniqueFd output_;  // invalid when the output is thrown away
    std::string pending_;
};

// Runs a command to its end with its output thrown away; returns the wall time in
// seconds. Throws std::runtime_error when it cannot start or exits non-zero, so a
// failed reference run never counts as a fast one.
[[nodiscard]] double timedRun(const std::vector<std::string>& argv);

}  // namespace quillon::bench
