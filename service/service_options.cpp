#include "service/service_options.h"

#include <charconv>

namespace quillon::service {
namespace {

template <typename Number>
bool parseNumber(const std::string& text, Number& into, Number low, Number high)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    into = value;
    return true;
}

UsageMessage wrong(const std::string& what)
{
    return UsageMessage{"quillon-service: " + what + "\n" + kServiceUsage, 2};
}

}  // namespace

std::variant<ServiceOptions, UsageMessage> parseServiceOptions(const std::vector<std::string>& args)
{
    ServiceOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h")
            return UsageMessage{kServiceUsage, 0};
        if (i + 1 >= args.size())
            return wrong(name.starts_with("--") ? name + " needs a value" : "unknown argument " + name);
        const std::string& value = args[++i];
        if (name == "--storage") {
            if (value.empty())
                return wrong("--storage needs a folder");
            options.storage = value;
        } else if (name == "--host") {
            if (value.empty())
                return wrong("--host needs an address");
            options.host = value;
        } else if (name == "--port") {
            if (!parseNumber(value, options.port, 0, 65535))
                return wrong("bad port " + value);
        } else if (name == "--max-clip-bytes") {
            if (!parseNumber<std::uint64_t>(value, options.maxClipBytes, 1, UINT64_MAX))
                return wrong("bad clip size " + value);
        } else {
            return wrong("unknown argument " + name);
        }
    }
    if (options.storage.empty())
        return wrong("--storage is required");
    return options;
}

}  // namespace quillon::service
