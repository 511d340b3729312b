#include "tests/e2e/reliability_support.h"

#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "tests/e2e/app_harness.h"
#include "tests/process_probe.h"

namespace quillon::test {

namespace {

std::vector<pid_t> allProcesses()
{
    std::vector<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
            pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return pids;
}

std::string commandName(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

}  // namespace

std::optional<pid_t> appProcess(const TestApp& app)
{
    const auto exe = std::filesystem::weakly_canonical(app.folder() / "quillon");
    for (const pid_t pid : allProcesses()) {
        const auto stat = procStat(pid);
        if (!stat || stat->parent != ::getpid() || stat->state == 'Z')
            continue;
        std::error_code error;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == exe)
            return pid;
    }
    return std::nullopt;
}

std::vector<ChildProcess> childrenOf(pid_t parent)
{
    std::vector<ChildProcess> children;
    for (const pid_t pid : allProcesses()) {
        const auto stat = procStat(pid);
        if (stat && stat->parent == parent)
            children.push_back({pid, commandName(pid), stat->state});
    }
    return children;
}

std::vector<pid_t> webProcesses(pid_t app)
{
    std::vector<pid_t> pids;
    for (const auto& child : childrenOf(app)) {
        // Command names are cut to 15 characters.
        if (child.name.rfind("WebKitWebProces", 0) == 0 && child.state != 'Z')
            pids.push_back(child.pid);
    }
    return pids;
}

Usage usageOf(pid_t pid)
{
    Usage usage;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(proc + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++usage.descriptors;
    for (auto it = std::filesystem::directory_iterator(proc + "/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++usage.threads;
    std::ifstream status(proc + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            usage.residentKb = std::stoul(line.substr(6));
    }
    for (const auto& child : childrenOf(pid)) {
        ++usage.children;
        usage.zombies += child.state == 'Z' ? 1 : 0;
    }
    return usage;
}

std::vector<std::string> listeningSockets(pid_t pid)
{
    std::set<std::string> inodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind("socket:[", 0) == 0)
            inodes.insert(target.substr(8, target.size() - 9));
    }
    std::vector<std::string> found;
    std::string line;
    // Num RefCount Protocol Flags Type St Inode [Path]; flag 00010000 marks a listener.
    std::ifstream unixTable("/proc/net/unix");
    std::getline(unixTable, line);
    while (std::getline(unixTable, line)) {
        std::istringstream fields(line);
        std::string num, refs, protocol, flags, type, state, inode, path;
        fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path;
        if (inodes.count(inode) && (std::stoul(flags, nullptr, 16) & 0x10000) != 0)
            found.push_back("unix " + (path.empty() ? std::string("-") : path));
    }
    // sl local_address rem_address st ... inode; state 0A is LISTEN.
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream tcp(table);
        std::getline(tcp, line);
        while (std::getline(tcp, line)) {
            std::istringstream fields(line);
            std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            if (state == "0A" && inodes.count(inode))
                found.push_back(std::string("tcp ") + local);
        }
    }
    return found;
}

void writeRecordingTool(const std::filesystem::path& tool, const std::filesystem::path& record, const std::string& body)
{
    writeScript(tool, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > '" + record.string() + "'\necho $$ > '" +
                          record.string() + ".pid'\n" + body + "\n");
}

}  // namespace quillon::test
