#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace quillon::bench {

// CPU time (user plus system) a process has used so far, in seconds; nullopt
// once it is gone.
[[nodiscard]] std::optional<double> cpuSeconds(pid_t pid);

// Every descendant of pid (children, their children, ...).
[[nodiscard]] std::vector<pid_t> descendants(pid_t pid);

// The first descendant whose command name starts with prefix.
[[nodiscard]] std::optional<pid_t> findDescendant(pid_t pid, const std::string& prefix);

// Proportional set size in KiB (resident memory with shared pages divided
// among their users); nullopt once the process is gone.
[[nodiscard]] std::optional<double> pssKiB(pid_t pid);

}  // namespace quillon::bench
