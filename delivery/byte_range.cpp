#include "delivery/byte_range.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "base/header_text.h"

namespace quillon::delivery {

namespace {

using Kind = RangeAnswer::Kind;

// Digits only: no sign, no spaces, nothing that overflows.
std::optional<std::uint64_t> number(std::string_view text)
{
    std::uint64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

}  // namespace

RangeAnswer answerRange(std::string_view header, std::uint64_t size)
{
    constexpr std::string_view kUnit = "bytes=";
    header = base::trimmedHeaderValue(header);
    if (!header.starts_with(kUnit))
        return {};
    const std::string_view asked = base::trimmedHeaderValue(header.substr(kUnit.size()));
    const std::size_t dash = asked.find('-');
    if (dash == std::string_view::npos || asked.find(',') != std::string_view::npos)
        return {};
    const std::string_view from = asked.substr(0, dash);
    const std::string_view to = asked.substr(dash + 1);
    if (from.empty()) {
        // The last n bytes.
        const auto count = number(to);
        if (!count)
            return {};
        if (*count == 0 || size == 0)
            return {Kind::Unsatisfiable};
        return {Kind::Part, size - std::min(*count, size), size - 1};
    }
    const auto first = number(from);
    const auto last = to.empty() ? std::optional<std::uint64_t>(UINT64_MAX) : number(to);
    if (!first || !last || *last < *first)
        return {};
    if (*first >= size)
        return {Kind::Unsatisfiable};
    return {Kind::Part, *first, std::min(*last, size - 1)};
}

}  // namespace quillon::delivery
