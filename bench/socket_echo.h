#pragma once

#include <optional>

#include "process/child_process.h"

namespace quillon::bench {

// The operating system's floor under any synchronous call into another process: a
// frame the size of a bridge request written to a child ("cat", whose standard
// input and output are the other end of a socket pair) and read back whole. Two
// process switches, as in every bridge call, and nothing else.
class SocketEcho {
public:
    // Throws std::runtime_error when the socket pair or the child cannot be made.
    SocketEcho();
    // Closes the socket, which ends the child, and reaps it.
    ~SocketEcho();
    SocketEcho(const SocketEcho&) = delete;
    SocketEcho& operator=(const SocketEcho&) = delete;

    // Microseconds per round trip of the median batch, timed as the call page times
    // its calls (batches of perBatch trips one after another). Throws when the
    // echo breaks off.
    [[nodiscard]] double microsecondsPerTrip(int batches, int perBatch);

private:
    int fd_ = -1;
    std::optional<process::ChildProcess> child_;
};

}  // namespace quillon::bench
