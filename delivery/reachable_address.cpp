#include "delivery/reachable_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace quillon::delivery {

namespace {

constexpr int kUnusable = 99;

// Lower is better; kUnusable for an address no phone can use.
int rank(const InterfaceAddress& candidate)
{
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, candidate.address.c_str(), &v4) == 1) {
        const std::uint32_t host = ntohl(v4.s_addr);
        if (host == 0 || (host >> 24U) == 127U)
            return kUnusable;
        const bool linkLocal = (host >> 16U) == 0xA9FEU;  // 169.254/16: no DHCP answered
        return linkLocal ? 4 : candidate.defaultRoute ? 0 : 2;
    }
    if (::inet_pton(AF_INET6, candidate.address.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6) || IN6_IS_ADDR_LINKLOCAL(&v6) ||
            IN6_IS_ADDR_V4MAPPED(&v6))
            return kUnusable;
        return candidate.defaultRoute ? 1 : 3;
    }
    return kUnusable;
}

std::string readText(const char* path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct IfaddrsDeleter {
    void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

}  // namespace

std::optional<InterfaceAddress> reachableAddress(const std::vector<InterfaceAddress>& addresses)
{
    const auto best = std::min_element(addresses.begin(), addresses.end(),
                                       [](const auto& a, const auto& b) { return rank(a) < rank(b); });
    if (best == addresses.end() || rank(*best) == kUnusable)
        return std::nullopt;
    return *best;
}

std::string pageUrl(std::string_view address, std::uint16_t port, std::string_view token)
{
    const bool v6 = address.find(':') != std::string_view::npos;
    std::string url = "http://";
    url += v6 ? "[" + std::string(address) + "]" : std::string(address);
    url += ":" + std::to_string(port) + "/" + std::string(token) + "/";
    return url;
}

std::vector<std::string> defaultRouteInterfaces(std::string_view routeTable, bool ipv6Table)
{
    std::vector<std::string> names;
    std::istringstream lines{std::string(routeTable)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
        // IPv4: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
        // IPv6: destination prefix-length source source-length next-hop metric refcnt use flags iface
        const bool isDefault = ipv6Table ? f.size() == 10 && f[0] == std::string(32, '0') && f[1] == "00"
                                         : f.size() >= 8 && f[1] == "00000000" && f[7] == "00000000";
        if (!isDefault)
            continue;
        const std::string& name = ipv6Table ? f[9] : f[0];
        if (name != "lo" && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

std::vector<InterfaceAddress> systemAddresses()
{
    std::vector<std::string> routed = defaultRouteInterfaces(readText("/proc/net/route"), false);
    for (std::string& name : defaultRouteInterfaces(readText("/proc/net/ipv6_route"), true))
        routed.push_back(std::move(name));
    std::vector<InterfaceAddress> found;
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0)
        return found;
    const std::unique_ptr<ifaddrs, IfaddrsDeleter> list(raw);
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || !(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK))
            continue;
        const int family = entry->ifa_addr->sa_family;
        char text[INET6_ADDRSTRLEN] = {};
        const void* where = nullptr;
        if (family == AF_INET)
            where = &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        else if (family == AF_INET6)
            where = &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
        if (!where || !::inet_ntop(family, where, text, sizeof text))
            continue;
        const std::string name = entry->ifa_name ? entry->ifa_name : "";
        found.push_back({name, text, std::find(routed.begin(), routed.end(), name) != routed.end()});
    }
    return found;
}

}  // namespace quillon::delivery
