#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "jobs/job_fields.h"
#include "network/curl_handle.h"
#include "service_endpoint/service_host.h"

namespace quillon::network {

// upStatus codes beyond the 0..99 percentages.
inline constexpr std::int32_t kUploadDone = 100;
inline constexpr std::int32_t kUploadFailed = 101;

inline constexpr std::size_t kUploadBlockSize = 2048;
inline constexpr const char* kUploadUserAgent = "QLN/1.0 (Vostrel)";

// The request target for a session id. The id goes in as given, except the bytes
// that cannot stand in a request line (space, control bytes, bytes above 0x7E):
// those are percent-encoded, so an id can never split the line or add headers.
[[nodiscard]] std::string uploadTarget(std::string_view sid);

struct UploadRequest {
    service_endpoint::ServiceHost host;
    std::string file;
    std::string sid;
};

// The upload itself, on the calling thread: posts the file in blocks of
// kUploadBlockSize, calls progress with the percentage sent after each block that
// does not finish the file and then asks breakRequested, which is also asked about
// once a second while the service takes nothing or has not answered yet. Returns
// kUploadDone when every byte was handed over and the request ended, else
// kUploadFailed: also when breakRequested answered true or the service timed out.
[[nodiscard]] std::int32_t runUpload(const UploadRequest& request, const std::function<void(std::int32_t)>& progress,
                                     const std::function<bool()>& breakRequested, const CurlTimeouts& timeouts = {});

// UI thread: DTE_UploadFile. Resets upStatus to 0 and starts the job on its own
// thread against host; false when no thread could be made.
[[nodiscard]] bool startUpload(const jobs::SharedJobFields& fields, service_endpoint::ServiceHost host,
                               std::string file, std::string sid);

}  // namespace quillon::network
