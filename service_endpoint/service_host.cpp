#include "service_endpoint/service_host.h"

#include <charconv>
#include <cstdlib>

namespace quillon::service_endpoint {

std::string ServiceHost::authority() const { return port == 80 ? host : host + ":" + std::to_string(port); }

std::optional<ServiceHost> parseServiceHost(std::string_view text)
{
    ServiceHost result;
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        result.host = std::string(text);
    } else {
        result.host = std::string(text.substr(0, colon));
        const std::string_view digits = text.substr(colon + 1);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), result.port);
        if (error != std::errc() || end != digits.data() + digits.size() || result.port < 1 || result.port > 65535)
            return std::nullopt;
    }
    if (result.host.empty() || result.host.find_first_of(" /\r\n\t") != std::string::npos)
        return std::nullopt;
    return result;
}

ServiceHost serviceHost()
{
    if (const char* configured = std::getenv("QUILLON_SERVICE")) {
        if (auto parsed = parseServiceHost(configured))
            return *parsed;
    }
    return *parseServiceHost(QUILLON_DEFAULT_SERVICE);
}

}  // namespace quillon::service_endpoint
