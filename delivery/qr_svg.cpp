#include "delivery/qr_svg.h"

#include <qrencode.h>

#include <memory>

namespace quillon::delivery {

namespace {

constexpr int kQuietZone = 4;

struct QrDeleter {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::string qrSvg(const std::string& text)
{
    const std::unique_ptr<QRcode, QrDeleter> code(QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M));
    if (!code)
        return {};
    const int width = code->width;
    const std::string side = std::to_string(width + 2 * kQuietZone);
    std::string path;
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            // Bit 0 of each module's byte is set for a dark module.
            if (code->data[y * width + x] & 1U)
                path += "M" + std::to_string(x + kQuietZone) + " " + std::to_string(y + kQuietZone) + "h1v1h-1z";
        }
    }
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + side + " " + side +
           "\" shape-rendering=\"crispEdges\"><rect width=\"" + side + "\" height=\"" + side +
           "\" fill=\"#fff\"/><path fill=\"#000\" d=\"" + path + "\"/></svg>";
}

}  // namespace quillon::delivery
