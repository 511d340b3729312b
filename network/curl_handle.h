#pragma once

#include <curl/curl.h>

#include <functional>
#include <memory>

namespace quillon::network {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

using CurlHandle = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlHeaders = std::unique_ptr<curl_slist, CurlSlistDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

// Makes an easy handle, null when libcurl cannot give one. The library's global
// set-up runs once, before the first handle, whichever thread asks first.
[[nodiscard]] CurlHandle makeCurlHandle();

// How a job gets its handle; tests pass a factory that fails.
using CurlHandleFactory = std::function<CurlHandle()>;

// Appends one header line; false when libcurl could not allocate it.
[[nodiscard]] bool appendHeader(CurlHeaders& headers, const char* line);

// Time-outs both jobs share, so a dead or stalled service cannot hold a job and its
// connection for ever. A slow mobile link still connects within the first and moves
// a byte within the second; a service that takes the request and never answers
// ends the job with its failure code. Tests shorten them.
struct CurlTimeouts {
    long connectSeconds = 15;
    long lowSpeedBytesPerSecond = 1;
    long lowSpeedSeconds = 30;
};

// The time-outs, no signals (handles live on worker threads).
void applyCommonOptions(CURL* handle, const CurlTimeouts& timeouts);

}  // namespace quillon::network
