#include "delivery/firewall_rules.h"

#include <charconv>
#include <optional>

namespace quillon::delivery {

namespace {

std::optional<unsigned> number(std::string_view text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    const auto last = text.find_last_not_of(" \t\r");
    return first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
}

}  // namespace

bool tcpPortCovered(std::string_view portText, std::string_view protocol, std::uint16_t port)
{
    if (protocol != "tcp")
        return false;
    const auto dash = portText.find('-');
    const auto low = number(portText.substr(0, dash));
    const auto high = dash == std::string_view::npos ? low : number(portText.substr(dash + 1));
    return low && high && *low <= port && port <= *high;
}

bool ufwEnabled(std::string_view configuration)
{
    bool enabled = false;
    while (!configuration.empty()) {
        const auto end = configuration.find('\n');
        const std::string_view line = trimmed(configuration.substr(0, end));
        configuration = end == std::string_view::npos ? std::string_view() : configuration.substr(end + 1);
        if (line.starts_with("ENABLED=")) {
            std::string_view value = trimmed(line.substr(8));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            enabled = value == "yes";  // the last setting counts, as the shell that reads it would take it
        }
    }
    return enabled;
}

std::string ufwAllowCommand(std::uint16_t port) { return "sudo ufw allow " + std::to_string(port) + "/tcp"; }

}  // namespace quillon::delivery
