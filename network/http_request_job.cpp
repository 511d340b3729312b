#include "network/http_request_job.h"

#include "jobs/start_job.h"
#include "network/curl_response_text.h"

namespace quillon::network {
namespace {

struct Transfer {
    std::string body;
    bool broken = false;
    bool tooLarge = false;
    const std::function<bool()>* breakRequested;
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if ((*transfer.breakRequested)()) {
        transfer.broken = true;
        return 0;
    }
    if (transfer.body.size() + bytes > kMaxResponseBytes) {
        transfer.tooLarge = true;
        return 0;
    }
    transfer.body.append(data, bytes);
    return bytes;
}

// Called while bytes flow and about once a second while none do, so a break is
// seen even when the server stalls.
int watchBreak(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& transfer = *static_cast<Transfer*>(user);
    if ((*transfer.breakRequested)()) {
        transfer.broken = true;
        return 1;
    }
    return 0;
}

// The URL parsed, when it is one the job takes: http or https only, so page
// script cannot read local files or reach other protocols. Blanks and bytes
// beyond ASCII are escaped, as a browser's request component does (libcurl writes
// a blank in the query as "+"); escapes already present stay; control bytes are
// refused.
CurlUrl parseWebUrl(const std::string& url)
{
    CurlUrl parsed(curl_url());
    if (!parsed ||
        curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_URLENCODE | CURLU_ALLOW_SPACE) != CURLUE_OK)
        return nullptr;
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return nullptr;
    const std::string_view name(scheme);
    const bool web = name == "http" || name == "https";
    curl_free(scheme);
    return web ? std::move(parsed) : nullptr;
}

}  // namespace

std::string fetchResponseText(const std::string& url, const std::function<bool()>& breakRequested,
                              const CurlHandleFactory& makeHandle, const NoClientHook& onNoClient,
                              const CurlTimeouts& timeouts)
{
    const CurlHandle curl = makeHandle();
    if (!curl) {
        if (onNoClient)
            onNoClient();
        return kNoClientError;
    }
    const CurlUrl parsed = parseWebUrl(url);
    if (!parsed)
        return kOpenError;

    Transfer transfer{{}, false, false, &breakRequested};
    CURL* h = curl.get();
    applyCommonOptions(h, timeouts);
    curl_easy_setopt(h, CURLOPT_CURLU, parsed.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, watchBreak);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

    // A response that arrived whole is kept even if a break came meanwhile.
    if (curl_easy_perform(h) == CURLE_OK) {
        const char* contentType = nullptr;
        curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType);
        return responseTextToUtf8(transfer.body, contentType ? contentType : "");
    }
    return transfer.broken ? std::string() : std::string(kSendError);
}

bool startHttpRequest(const jobs::SharedJobFields& fields, std::string url, NoClientHook onNoClient,
                      CurlHandleFactory makeHandle)
{
    // The restart comes first: from then on no older request can store its text.
    jobs::JobTicket ticket(fields, &jobs::JobFields::xhStatus);
    fields->xhResponse.set({});
    return jobs::startJob(*fields, [ticket = std::move(ticket), url = std::move(url),
                                    onNoClient = std::move(onNoClient), makeHandle = std::move(makeHandle)] {
        ticket.store(kHttpRequestRunning);
        std::string text = fetchResponseText(
            url, [&ticket] { return ticket.mustStop(); }, makeHandle, onNoClient);
        ticket.whileCurrent([&] { ticket.fields().xhResponse.set(std::move(text)); });
        ticket.store(kHttpRequestDone);
    });
}

}  // namespace quillon::network
