#pragma once

#include <string>
#include <string_view>

namespace quillon::service_endpoint {

// Query-string encoding, byte by byte: ASCII letters and digits are kept, the six
// whitespace bytes become '+', every other byte becomes "%XX" (upper-case hex).
[[nodiscard]] std::string urlEncode(std::string_view text);

}  // namespace quillon::service_endpoint
