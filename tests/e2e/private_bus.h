#pragma once

#include <signal.h>

#include <sstream>
#include <string>

#include "tests/e2e/app_harness.h"

namespace quillon::test {

// A session bus of the test's own.
class PrivateBus {
public:
    PrivateBus()
    {
        const auto started =
            runCommand({"dbus-daemon", "--session", "--fork", "--nopidfile", "--print-address=1", "--print-pid=1"});
        std::istringstream lines(started.output);
        std::getline(lines, address_);
        lines >> pid_;
        if (started.exitCode != 0 || address_.empty() || pid_ <= 0)
            address_.clear();
    }
    ~PrivateBus()
    {
        if (pid_ > 0)
            kill(pid_, SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    [[nodiscard]] const std::string& address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace quillon::test
