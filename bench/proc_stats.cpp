#include "bench/proc_stats.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quillon::bench {

namespace {

std::string procPath(pid_t pid, const std::string& entry) { return "/proc/" + std::to_string(pid) + "/" + entry; }

std::vector<pid_t> children(pid_t pid)
{
    std::vector<pid_t> result;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(procPath(pid, "task"), error)) {
        std::ifstream in(task.path() / "children");
        for (pid_t child; in >> child;)
            result.push_back(child);
    }
    return result;
}

std::string commandName(pid_t pid)
{
    std::ifstream in(procPath(pid, "comm"));
    std::string name;
    std::getline(in, name);
    return name;
}

}  // namespace

std::optional<double> cpuSeconds(pid_t pid)
{
    std::ifstream in(procPath(pid, "stat"));
    std::string text;
    if (!std::getline(in, text))
        return std::nullopt;
    // The command name may hold spaces and parentheses: fields count from the last ')'.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After the name: state is field 3 of the line; utime and stime are 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14)
            utime = std::stoull(field);
        else if (index == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::vector<pid_t> descendants(pid_t pid)
{
    std::vector<pid_t> result = children(pid);
    for (std::size_t i = 0; i < result.size(); ++i) {
        for (const pid_t grandchild : children(result[i]))
            result.push_back(grandchild);
    }
    return result;
}

std::optional<pid_t> findDescendant(pid_t pid, const std::string& prefix)
{
    for (const pid_t child : descendants(pid)) {
        if (commandName(child).starts_with(prefix))
            return child;
    }
    return std::nullopt;
}

std::optional<double> pssKiB(pid_t pid)
{
    std::ifstream in(procPath(pid, "smaps_rollup"));
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Pss:"))
            return std::stod(line.substr(4));
    }
    return std::nullopt;
}

}  // namespace quillon::bench
