// What the clip server answers a phone: any method, path, Range and User-Agent,
// for a clip of any size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "delivery/byte_range.h"
#include "delivery/clip_routes.h"
#include "tests/fuzz/fuzz_check.h"

using namespace quillon::delivery;

namespace {

const std::string kToken = "AbCdEfGhIjKlMnOpQrStUv-_";

// The next field of the input, up to a newline.
std::string_view field(std::string_view& rest)
{
    const std::size_t end = rest.find('\n');
    const std::string_view taken = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return taken;
}

std::string headerOf(const ClipReply& reply, std::string_view name)
{
    for (const auto& [key, value] : reply.headers)
        if (key == name)
            return value;
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The clip's size from the first two bytes (0 to 65535), then one field per line.
    const std::uint64_t clipSize = data[0] | (std::uint64_t{data[1]} << 8);
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string_view method = field(rest), path = field(rest), range = field(rest), agent = field(rest);
    const ServedClip clip{kToken, {std::string(agent), 1000, 20000}, clipSize};
    const ClipReply reply = answerRequest(clip, {method, path, range, agent});

    const std::string page = "/" + kToken + "/", mp3 = page + std::string(kClipName);
    const bool known = path == page || path == mp3;
    const bool readOnly = method == "GET" || method == "HEAD";
    // Only the page and the clip under the token exist, for GET and HEAD only.
    FUZZ_CHECK(reply.status == (!known ? 404u : !readOnly ? 405u : reply.status));
    FUZZ_CHECK(!known || !readOnly || reply.status == 200 ||
               (path == mp3 && (reply.status == 206 || reply.status == 416)));
    // A body is within the clip, announced by its length; HEAD answers and refusals carry none.
    FUZZ_CHECK(reply.clipOffset + reply.clipLength <= clipSize);
    FUZZ_CHECK(reply.clipLength == 0 || reply.text.empty());
    FUZZ_CHECK(method == "GET" || (reply.clipLength == 0 && reply.text.empty()));
    if (reply.status == 200 || reply.status == 206) {
        const std::uint64_t announced = std::stoull(headerOf(reply, "Content-Length"));
        FUZZ_CHECK(method != "GET" || announced == reply.clipLength + reply.text.size());
    }
    if (reply.status == 200 && path == mp3) {
        FUZZ_CHECK(method != "GET" || (reply.clipOffset == 0 && reply.clipLength == clipSize));
    }
    // A part answers exactly what the Range asked for, as the header says.
    if (reply.status == 206) {
        const RangeAnswer asked = answerRange(range, clipSize);
        FUZZ_CHECK(asked.kind == RangeAnswer::Kind::Part && asked.first <= asked.last && asked.last < clipSize);
        FUZZ_CHECK(headerOf(reply, "Content-Range") == "bytes " + std::to_string(asked.first) + "-" +
                                                           std::to_string(asked.last) + "/" + std::to_string(clipSize));
        FUZZ_CHECK(method != "GET" ||
                   (reply.clipOffset == asked.first && reply.clipLength == asked.last - asked.first + 1));
    }
    // Nothing a phone sends reaches a header line unescaped.
    for (const auto& [name, value] : reply.headers)
        FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
    return 0;
}
