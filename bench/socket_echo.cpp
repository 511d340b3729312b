#include "bench/socket_echo.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_report.h"

namespace quillon::bench {

namespace {

// About the size of a bridge request for a method without arguments.
constexpr std::size_t kFrameBytes = 24;

}  // namespace

SocketEcho::SocketEcho()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    fd_ = ends[0];
    const base::UniqueFd childEnd(ends[1]);
    auto started = process::ChildProcess::spawn({"/usr/bin/cat"}, childEnd.get(), childEnd.get());
    if (!started) {
        ::close(fd_);
        throw std::runtime_error("cannot start cat");
    }
    child_.emplace(std::move(*started));
}

SocketEcho::~SocketEcho()
{
    ::close(fd_);  // cat sees the end of its input and exits
    (void)child_->waitForExit();
}

double SocketEcho::microsecondsPerTrip(int batches, int perBatch)
{
    char frame[kFrameBytes] = {};
    char back[kFrameBytes];
    std::vector<double> perTrip;
    for (int batch = 0; batch < batches; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        for (int trip = 0; trip < perBatch; ++trip) {
            if (::send(fd_, frame, sizeof frame, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof frame))
                throw std::runtime_error("the echo's send failed");
            std::size_t got = 0;
            while (got < sizeof back) {
                const ssize_t n = ::recv(fd_, back + got, sizeof back - got, 0);
                if (n <= 0)
                    throw std::runtime_error("the echo ended early");
                got += static_cast<std::size_t>(n);
            }
        }
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        perTrip.push_back(took.count() / perBatch);
    }
    return summarize(perTrip).median;
}

}  // namespace quillon::bench
