#include "tests/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace quillon::test {

std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << file;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<base::UniqueFd> silentConnections(int port, std::size_t count)
{
    std::vector<base::UniqueFd> connections;
    const sockaddr_in to{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    while (connections.size() < count) {
        base::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd.valid())
            break;
        (void)::connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to);
        connections.push_back(std::move(fd));
    }
    return connections;
}

long closedByPeer(const std::vector<base::UniqueFd>& connections)
{
    return std::ranges::count_if(connections, [](const base::UniqueFd& fd) {
        char byte = 0;
        return ::recv(fd.get(), &byte, 1, MSG_DONTWAIT) == 0;
    });
}

void writeFile(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << "cannot write " << file;
}

void writeScript(const std::filesystem::path& file, const std::string& body)
{
    writeFile(file, "#!/bin/sh\n" + body);
    std::filesystem::permissions(file, std::filesystem::perms(0755));
}

StalledService::StalledService()
{
    fd_ = base::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int small = 4096;
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_.get(), 8) != 0 ||
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen");
    port_ = ntohs(address.sin_port);
    authority_ = "127.0.0.1:" + std::to_string(port_);
}

std::pair<std::string, std::string> StalledService::takeRequest() const
{
    const base::UniqueFd client(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    std::string bytes;
    char block[65536];
    const auto receive = [&] {
        const ssize_t got = ::recv(client.get(), block, sizeof block, 0);
        bytes.append(block, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        return got > 0;
    };
    std::size_t headEnd;
    while ((headEnd = bytes.find("\r\n\r\n")) == std::string::npos && receive()) {
    }
    const auto lengthAt = bytes.find("Content-Length: ");
    const std::size_t length = lengthAt < headEnd ? std::stoull(bytes.substr(lengthAt + 16)) : 0;
    while (headEnd != std::string::npos && bytes.size() < headEnd + 4 + length && receive()) {
    }
    return headEnd == std::string::npos ? std::pair(bytes, std::string())
                                        : std::pair(bytes.substr(0, headEnd + 4), bytes.substr(headEnd + 4));
}

}  // namespace quillon::test
