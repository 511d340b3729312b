#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace quillon::bridge {

// The value that crosses the bridge: nothing, UTF-8 text, a 32-bit integer or a boolean.
class BridgeValue {
public:
    BridgeValue() = default;
    static BridgeValue text(std::string value) { return BridgeValue(Storage(std::move(value))); }
    static BridgeValue integer(std::int32_t value) { return BridgeValue(Storage(value)); }
    static BridgeValue boolean(bool value) { return BridgeValue(Storage(value)); }

    [[nodiscard]] bool isText() const { return std::holds_alternative<std::string>(storage_); }
    [[nodiscard]] bool isInteger() const { return std::holds_alternative<std::int32_t>(storage_); }
    [[nodiscard]] bool isBoolean() const { return std::holds_alternative<bool>(storage_); }

    // Argument reads never fail. Booleans cross as 1/0, so one read as an integer
    // is 1 or 0; any other value of another kind reads as "" or 0 (text is never
    // made from a number or a boolean).
    [[nodiscard]] std::string asText() const;
    [[nodiscard]] std::int32_t asInteger() const;
    [[nodiscard]] bool asBoolean() const { return isBoolean() && std::get<bool>(storage_); }

    bool operator==(const BridgeValue&) const = default;

private:
    using Storage = std::variant<std::monostate, std::string, std::int32_t, bool>;
    explicit BridgeValue(Storage storage) : storage_(std::move(storage)) {}
    Storage storage_;
};

}  // namespace quillon::bridge
