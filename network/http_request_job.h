#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "jobs/job_fields.h"
#include "network/curl_handle.h"

namespace quillon::network {

// xhStatus while the request runs, and once its response text is stored.
inline constexpr std::int32_t kHttpRequestRunning = 0;
inline constexpr std::int32_t kHttpRequestDone = 1;

// xhResponse texts for the three ways a request can fail.
inline constexpr const char* kNoClientError = "ERROR:XMLHTTP:CoCreateInstance";
inline constexpr const char* kOpenError = "ERROR:XMLHTTP:Open";
inline constexpr const char* kSendError = "ERROR:XMLHTTP:Send";

// Called on the job thread when no HTTP client can be made, before the job stores
// its error. It must not touch GTK itself: it tells the user on the UI thread
// (g_main_context_invoke) and may wait there until the user has been told.
using NoClientHook = std::function<void()>;

// Responses beyond this size are refused rather than held in memory.
inline constexpr std::size_t kMaxResponseBytes = 64u << 20;

// The request itself, on the calling thread: a GET of url (http or https only,
// redirects followed) whose body, of any HTTP status, comes back as UTF-8 text;
// else one of the error texts above (kSendError also after a time-out and for a
// body beyond kMaxResponseBytes); empty when breakRequested turned true before the
// response was complete.
[[nodiscard]] std::string fetchResponseText(const std::string& url, const std::function<bool()>& breakRequested,
                                            const CurlHandleFactory& makeHandle, const NoClientHook& onNoClient,
                                            const CurlTimeouts& timeouts = {});

// UI thread: DTE_MakeHttpRequest. Resets xhStatus to 0 and xhResponse to empty and
// starts the job; false when no thread could be made. The job stores xhResponse,
// then xhStatus 1, unless a newer request has been started meanwhile: that one
// ends its transfer and keeps both fields. A break ends the transfer too; the job
// then stores its empty text and 1.
[[nodiscard]] bool startHttpRequest(const jobs::SharedJobFields& fields, std::string url, NoClientHook onNoClient,
                                    CurlHandleFactory makeHandle = makeCurlHandle);

}  // namespace quillon::network
