#include "bridge/bridge_value.h"

namespace quillon::bridge {

std::string BridgeValue::asText() const
{
    if (const auto* text = std::get_if<std::string>(&storage_))
        return *text;
    return {};
}

std::int32_t BridgeValue::asInteger() const
{
    if (const auto* number = std::get_if<std::int32_t>(&storage_))
        return *number;
    return asBoolean() ? 1 : 0;
}

}  // namespace quillon::bridge
