#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon::service_endpoint {

// Where the online service lives: QUILLON_SERVICE ("host" or "host:port") when set,
// else the build-time default. Port 80 when none is given.
struct ServiceHost {
    std::string host;
    int port = 80;

    // "host" for port 80, else "host:port": the form used in Host headers and URLs.
    [[nodiscard]] std::string authority() const;
};

// Parses "host" or "host:port"; nullopt for an empty host or a port outside 1..65535.
[[nodiscard]] std::optional<ServiceHost> parseServiceHost(std::string_view text);

// The service host in force for this process.
[[nodiscard]] ServiceHost serviceHost();

}  // namespace quillon::service_endpoint
