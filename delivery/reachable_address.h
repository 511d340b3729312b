#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::delivery {

// One address of one network interface of this machine.
struct InterfaceAddress {
    std::string interface;
    std::string address;        // numeric, as inet_ntop writes it
    bool defaultRoute = false;  // the interface carries a default route
};

// The address a phone on the same network would reach this machine at: an IPv4
// address of the default route's interface where there is one, else an IPv6
// one of it, else any other IPv4, then IPv6. Loopback, unspecified and IPv6
// link-local addresses (which need a scope no phone knows) are never chosen.
[[nodiscard]] std::optional<InterfaceAddress> reachableAddress(const std::vector<InterfaceAddress>& addresses);

// "http://<address>:<port>/<token>/", an IPv6 address in brackets.
[[nodiscard]] std::string pageUrl(std::string_view address, std::uint16_t port, std::string_view token);

// The interfaces a route table names for a default route: /proc/net/route
// (destination and mask 00000000) or /proc/net/ipv6_route (::/0), by their text.
[[nodiscard]] std::vector<std::string> defaultRouteInterfaces(std::string_view routeTable, bool ipv6Table);

// This machine's addresses now (getifaddrs and the kernel's route tables).
[[nodiscard]] std::vector<InterfaceAddress> systemAddresses();

}  // namespace quillon::delivery
