#include "network/upload_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/service_api.h"
#include "base/unique_fd.h"
#include "base/version.h"
#include "jobs/start_job.h"
#include "network/curl_handle.h"
#include "service_endpoint/service_codes.h"

namespace quillon::network {
namespace {

// State the read callback works on: the file, how far it got, and why it stopped.
struct SendState {
    int fd;
    std::uint64_t size;
    std::uint64_t sent = 0;
    bool failed = false;
    const std::function<void(std::int32_t)>* progress;
    const std::function<bool()>* breakRequested;
};

// Fills the buffer libcurl offers with whole blocks, read one at a time. Each block
// that does not finish the file is reported and followed by the break test, as
// sending block by block would do, but without one call from libcurl per block:
// that made uploads several times slower than the network allows.
std::size_t readBlocks(char* buffer, std::size_t size, std::size_t count, void* user)
{
    auto& state = *static_cast<SendState*>(user);
    const std::size_t room = size * count;
    std::size_t filled = 0;
    while (state.sent < state.size) {
        // Never more than the declared length, should the file have grown meanwhile.
        const std::size_t block =
            static_cast<std::size_t>(std::min<std::uint64_t>(kUploadBlockSize, state.size - state.sent));
        if (room - filled < block && filled > 0)
            break;  // the next block goes whole into the next buffer
        const std::size_t wanted = std::min(block, room - filled);
        ssize_t got;
        do {
            got = ::read(state.fd, buffer + filled, wanted);
        } while (got < 0 && errno == EINTR);
        // A file that ends before its declared length (it shrank while being sent)
        // would leave the service waiting for the rest: that is a failed upload.
        if (got <= 0) {
            state.failed = true;
            return CURL_READFUNC_ABORT;
        }
        filled += static_cast<std::size_t>(got);
        state.sent += static_cast<std::uint64_t>(got);
        if (state.sent < state.size) {
            (*state.progress)(static_cast<std::int32_t>(state.sent * 100 / state.size));
            if ((*state.breakRequested)()) {
                state.failed = true;
                return CURL_READFUNC_ABORT;
            }
        }
        if (filled == room)
            break;
    }
    return filled;
}

// Called about once a second while the service takes nothing, so a break (the app
// ending, say) is seen even then: while connecting, between blocks and while the
// reply is awaited after the last one, when the user has cancelled all the same.
int watchBreak(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& state = *static_cast<SendState*>(user);
    if ((*state.breakRequested)()) {
        state.failed = true;
        return 1;
    }
    return 0;
}

// The reply is not part of the outcome; it is read and dropped.
std::size_t discardReply(char*, std::size_t size, std::size_t count, void*) { return size * count; }

bool isTargetSafe(unsigned char byte) { return byte > 0x20 && byte < 0x7F; }

}  // namespace

std::string uploadTarget(std::string_view sid)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string target = std::string(base::kServiceUploadPath) + "?sid=";
    for (const char c : sid) {
        const auto byte = static_cast<unsigned char>(c);
        if (isTargetSafe(byte)) {
            target += c;
        } else {
            target += '%';
            target += kHex[byte >> 4];
            target += kHex[byte & 0x0F];
        }
    }
    target += "&ver=";
    target += base::kVersionCode;
    target += "&aff=";
    target += service_endpoint::kAffiliateCode;
    target += "&pid=";
    target += service_endpoint::kProductCode;
    return target;
}

std::int32_t runUpload(const UploadRequest& request, const std::function<void(std::int32_t)>& progress,
                       const std::function<bool()>& breakRequested, const CurlTimeouts& timeouts)
{
    // O_NONBLOCK: opening a named pipe would otherwise wait for a writer for ever;
    // the type check below then refuses it.
    const base::UniqueFd file(::open(request.file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return kUploadFailed;

    const CurlHandle curl = makeCurlHandle();
    if (!curl)
        return kUploadFailed;

    SendState state{file.get(), static_cast<std::uint64_t>(info.st_size), 0, false, &progress, &breakRequested};
    const std::string url = "http://" + request.host.authority() + "/";
    const std::string target = uploadTarget(request.sid);

    // libcurl writes Host and Content-Length itself; Accept and Expect are its own
    // additions that the service does not expect.
    CurlHeaders headers;
    for (const char* line : {"Content-Type: audio/mpeg", "Pragma: no-cache", "Accept:", "Expect:"}) {
        if (!appendHeader(headers, line))
            return kUploadFailed;
    }

    CURL* h = curl.get();
    applyCommonOptions(h, timeouts);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    // The target is given verbatim so that no byte of the session id is read as
    // URL syntax (a "#" would otherwise end the target).
    curl_easy_setopt(h, CURLOPT_REQUEST_TARGET, target.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUploadUserAgent);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(state.size));
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readBlocks);
    curl_easy_setopt(h, CURLOPT_READDATA, &state);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discardReply);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, watchBreak);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);

    // The outcome is what was sent, not how the reply went: every byte handed over
    // is success even when the service hangs up without a reply or answers an error.
    // A transfer that failed before its head went out (no host, no connection) sent
    // nothing, which the byte count alone cannot tell for an empty file. A service
    // that never answers at all cannot be told to have taken the clip.
    const CURLcode result = curl_easy_perform(h);
    curl_off_t uploaded = 0;
    long headBytes = 0;
    curl_easy_getinfo(h, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &headBytes);
    const bool requestSent = result == CURLE_OK || headBytes > 0;
    const bool allSent = static_cast<std::uint64_t>(uploaded) == state.size;
    if (state.failed || !requestSent || !allSent || result == CURLE_OPERATION_TIMEDOUT)
        return kUploadFailed;
    return kUploadDone;
}

bool startUpload(const jobs::SharedJobFields& fields, service_endpoint::ServiceHost host, std::string file,
                 std::string sid)
{
    UploadRequest request{std::move(host), std::move(file), std::move(sid)};
    jobs::JobTicket ticket(fields, &jobs::JobFields::upStatus);
    return jobs::startJob(*fields, [ticket = std::move(ticket), request = std::move(request)] {
        ticket.store(0);
        const std::int32_t outcome = runUpload(
            request, [&ticket](std::int32_t percent) { ticket.store(percent); },
            [&ticket] { return ticket.mustStop(); });
        ticket.store(outcome);
    });
}

}  // namespace quillon::network
