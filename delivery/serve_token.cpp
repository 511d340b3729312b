#include "delivery/serve_token.h"

#include <sys/random.h>

#include <array>
#include <cerrno>

namespace quillon::delivery {

namespace {

constexpr std::size_t kTokenBytes = 18;  // a multiple of 3: base64 without padding
constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

}  // namespace

std::optional<std::string> makeServeToken()
{
    std::array<unsigned char, kTokenBytes> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        filled += static_cast<std::size_t>(got);
    }
    std::string token;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned group = (bytes[i] << 16U) | (bytes[i + 1] << 8U) | bytes[i + 2];
        for (const unsigned shift : {18U, 12U, 6U, 0U})
            token += kAlphabet[(group >> shift) & 0x3FU];
    }
    return token;
}

bool sameToken(std::string_view offered, std::string_view secret)
{
    if (offered.size() != secret.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < secret.size(); ++i)
        difference |= static_cast<unsigned char>(offered[i] ^ secret[i]);
    return difference == 0;
}

}  // namespace quillon::delivery
