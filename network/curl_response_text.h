#pragma once

#include <string>
#include <string_view>

namespace quillon::network {

// The charset parameter of a Content-Type value, lower-cased and unquoted; empty
// when there is none.
[[nodiscard]] std::string charsetOf(std::string_view contentType);

// A response body as UTF-8 text. A byte-order mark decides the encoding first,
// then the charset the Content-Type names, then UTF-8. Bytes that are not valid
// in that encoding each become U+FFFD; a charset nobody knows is read as UTF-8.
[[nodiscard]] std::string responseTextToUtf8(std::string_view body, std::string_view contentType);

}  // namespace quillon::network
