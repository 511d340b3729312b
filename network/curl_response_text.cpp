#include "network/curl_response_text.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>

#include "base/header_text.h"

namespace quillon::network {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter openConverter(const std::string& from)
{
    const iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return Converter(cd);
}

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// Converts all of input; each byte the converter rejects becomes one U+FFFD.
std::string convert(iconv_t cd, std::string_view input)
{
    std::string out;
    out.reserve(input.size() + input.size() / 4 + 16);
    char chunk[4096];
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (true) {
        char* to = chunk;
        std::size_t toLeft = sizeof chunk;
        const std::size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(chunk, static_cast<std::size_t>(to - chunk));
        if (done != static_cast<std::size_t>(-1))
            return out;
        if (errno == E2BIG)
            continue;
        // EILSEQ (an invalid sequence) or EINVAL (one cut off at the end): skip a
        // byte and start afresh.
        out += kReplacement;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        ++in;
        --inLeft;
        if (inLeft == 0)
            return out;
    }
}

}  // namespace

std::string charsetOf(std::string_view contentType)
{
    std::size_t semicolon = contentType.find(';');
    while (semicolon != std::string_view::npos) {
        contentType.remove_prefix(semicolon + 1);
        semicolon = contentType.find(';');
        const std::string_view parameter = base::trimmedHeaderValue(contentType.substr(0, semicolon));
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos ||
            lower(base::trimmedHeaderValue(parameter.substr(0, equals))) != "charset")
            continue;
        std::string_view value = base::trimmedHeaderValue(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return lower(value);
    }
    return {};
}

std::string responseTextToUtf8(std::string_view body, std::string_view contentType)
{
    struct Mark {
        std::string_view bytes;
        const char* charset;
    };
    static constexpr Mark kMarks[] = {{"\xEF\xBB\xBF", "UTF-8"}, {"\xFF\xFE", "UTF-16LE"}, {"\xFE\xFF", "UTF-16BE"}};

    std::string charset = charsetOf(contentType);
    for (const Mark& mark : kMarks) {
        if (body.starts_with(mark.bytes)) {
            charset = mark.charset;
            body.remove_prefix(mark.bytes.size());
            break;
        }
    }
    Converter converter = charset.empty() ? nullptr : openConverter(charset);
    if (!converter)
        converter = openConverter("UTF-8");
    if (!converter)
        return std::string(body);
    return convert(static_cast<iconv_t>(converter.get()), body);
}

}  // namespace quillon::network
