#pragma once

#include <string>

namespace quillon::delivery {

// The QR code of text (error correction level M) as SVG: dark unit squares in
// one path on white, a four-module quiet zone, sized in module units by its
// viewBox only so that the page's CSS sets its size. "" when text cannot be encoded.
[[nodiscard]] std::string qrSvg(const std::string& text);

}  // namespace quillon::delivery
