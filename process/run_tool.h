#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "process/child_process.h"

namespace quillon::process {

inline constexpr int kBreakTestIntervalMs = 50;

struct ToolOutcome {
    bool started = false;
    pid_t processId = 0;
    // The exit code, or 128 + signal for a killed tool.
    std::uint32_t exitStatus = 0;
    // A break or a stop request killed the tool before it ended by itself.
    bool stopped = false;
};

// Runs one tool and waits for it while discarding its output.
//
// argv[0] is the tool's path; the vector is passed as it stands (no shell), so
// spaces, quotes, '$' or ';' in arguments stay inert. The tool reads end of input
// at once; its standard output and error share one pipe that is drained in blocks
// of 512 bytes. stopRequested is asked after each block and at least every
// kBreakTestIntervalMs while the tool writes nothing: once it answers true, a tool
// that has not ended yet is killed through its pidfd and collected, and the outcome
// says it was stopped. When the output ends, the tool's exit is waited for.
//
// onStarted, when given, sees the child right after it started and before any
// draining. passedFd, when given, is the tool's descriptor 3.
[[nodiscard]] ToolOutcome runTool(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
                                  const std::function<void(const ChildProcess&)>& onStarted = {}, int passedFd = -1);

// Runs one tool for what it writes on its standard output, which is handed to
// onOutput block by block as it comes; its standard error goes to onError the
// same way when that is given, else it is discarded. argv, the end of input and
// onStarted are as for runTool. stopRequested is asked before each block and at
// least every 50 ms while the tool is quiet: once it answers true, the tool is
// killed and collected, and the outcome says stopped. Otherwise the tool's exit is
// waited for when its standard output ends (what it writes on its standard error
// after that is not read).
[[nodiscard]] ToolOutcome streamTool(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
                                     const std::function<void(const ChildProcess&)>& onStarted,
                                     const std::function<void(std::string_view)>& onOutput,
                                     const std::function<void(std::string_view)>& onError = {});

}  // namespace quillon::process
