#pragma once

#include <cstdint>
#include <string_view>

namespace quillon::delivery {

// What a Range request header asks of a body of a known size. Only one range of
// bytes is answered; several ranges, or a header that cannot be read, get the
// whole body, as a server that ignores the header would send.
struct RangeAnswer {
    enum class Kind : std::uint8_t { Whole, Part, Unsatisfiable };
    Kind kind = Kind::Whole;
    std::uint64_t first = 0;  // for Part: the first and last byte sent, inclusive
    std::uint64_t last = 0;
};

[[nodiscard]] RangeAnswer answerRange(std::string_view header, std::uint64_t size);

}  // namespace quillon::delivery
