// What the clip server answers a phone: any method, path, Range and User-Agent, one per line.
#include <cstdint>
#include <sstream>
#include <string>

#include "delivery/byte_range.h"
#include "delivery/clip_routes.h"
#include "tests/fuzz/fuzz_check.h"

using namespace quillon::delivery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint64_t clipSize = data[0] | (std::uint64_t{data[1]} << 8);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 2), size - 2));
    std::string method, path, range, agent;
    std::getline(in, method) && std::getline(in, path) && std::getline(in, range) && std::getline(in, agent);
    const std::string token = "AbCdEfGhIjKlMnOpQrStUv-_", mp3 = "/" + token + "/ringtone.mp3";
    const ClipReply reply = answerRequest({token, {agent, 1000, 20000}, clipSize}, {method, path, range, agent});

    // Only the page and the clip under the token exist, for GET and HEAD; only GET has a body, within the clip.
    const bool known = path == "/" + token + "/" || path == mp3, readOnly = method == "GET" || method == "HEAD";
    FUZZ_CHECK(reply.status == (!known ? 404u : !readOnly ? 405u : reply.status));
    FUZZ_CHECK(reply.status != 206 || path == mp3);
    FUZZ_CHECK(reply.clipOffset + reply.clipLength <= clipSize);
    FUZZ_CHECK(method == "GET" || (reply.clipLength == 0 && reply.text.empty()));
    // A part is what the Range asked for; no header value holds a line break.
    const RangeAnswer asked = answerRange(range, clipSize);
    FUZZ_CHECK(reply.status != 206 || method != "GET" ||
               (reply.clipOffset == asked.first && reply.clipOffset + reply.clipLength == asked.last + 1));
    for (const auto& header : reply.headers)
        FUZZ_CHECK(header.second.find_first_of("\r\n") == std::string::npos);
    return 0;
}
