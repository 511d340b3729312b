#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::delivery {

// Whether a firewall entry lets a TCP port in: its protocol is "tcp" and its port
// text is that port ("8080") or a range that holds it ("1025-65535").
[[nodiscard]] bool tcpPortCovered(std::string_view portText, std::string_view protocol, std::uint16_t port);

// Whether ufw's configuration (/etc/ufw/ufw.conf, readable by everyone) turns it on.
[[nodiscard]] bool ufwEnabled(std::string_view configuration);

// The one command that lets phones reach a TCP port through ufw.
[[nodiscard]] std::string ufwAllowCommand(std::uint16_t port);

}  // namespace quillon::delivery
