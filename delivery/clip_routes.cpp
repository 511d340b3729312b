#include "delivery/clip_routes.h"

#include "delivery/byte_range.h"
#include "delivery/download_name.h"
#include "delivery/serve_token.h"

namespace quillon::delivery {

namespace {

enum class Route : std::uint8_t { None, Page, Clip };

Route routeOf(const ServedClip& clip, std::string_view path)
{
    if (!path.starts_with('/'))
        return Route::None;
    path.remove_prefix(1);
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos || !sameToken(path.substr(0, slash), clip.token))
        return Route::None;
    const std::string_view rest = path.substr(slash + 1);
    if (rest.empty())
        return Route::Page;
    return rest == kClipName ? Route::Clip : Route::None;
}

void answerClip(const ServedClip& clip, const ClipRequest& request, ClipReply& reply)
{
    const RangeAnswer range = answerRange(request.range, clip.size);
    if (range.kind == RangeAnswer::Kind::Unsatisfiable) {
        reply.status = 416;
        reply.headers = {{"Content-Range", "bytes */" + std::to_string(clip.size)}};
        return;
    }
    const bool part = range.kind == RangeAnswer::Kind::Part;
    reply.status = part ? 206 : 200;
    reply.clipOffset = part ? range.first : 0;
    reply.clipLength = part ? range.last - range.first + 1 : clip.size;
    reply.headers = {{"Content-Type", "audio/mpeg"},
                     {"Content-Length", std::to_string(reply.clipLength)},
                     {"Content-Disposition", downloadDisposition(clip.part.songTitle, *clip.part.kind)},
                     {"Accept-Ranges", "bytes"}};
    if (part) {
        reply.headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                        std::to_string(range.last) + "/" + std::to_string(clip.size));
    }
    if (request.method == "HEAD")
        reply.clipLength = 0;
}

}  // namespace

ClipReply answerRequest(const ServedClip& clip, const ClipRequest& request)
{
    ClipReply reply;
    const Route route = routeOf(clip, request.path);
    if (route == Route::None)
        return reply;
    if (request.method != "GET" && request.method != "HEAD") {
        reply.status = 405;
        reply.headers = {{"Allow", "GET, HEAD"}};
        return reply;
    }
    if (route == Route::Clip) {
        answerClip(clip, request, reply);
        return reply;
    }
    reply.status = 200;
    std::string page = phonePage(clip.part, request.userAgent);
    reply.headers = {{"Content-Type", "text/html; charset=utf-8"},
                     {"Content-Length", std::to_string(page.size())},
                     {"Cache-Control", "no-store"}};
    if (request.method == "GET")
        reply.text = std::move(page);
    return reply;
}

}  // namespace quillon::delivery
