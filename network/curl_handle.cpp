#include "network/curl_handle.h"

#include <mutex>

namespace quillon::network {

CurlHandle makeCurlHandle()
{
    static std::once_flag initialised;
    static CURLcode initResult = CURLE_OK;
    // curl_global_init is not safe to race with other threads' first handle.
    std::call_once(initialised, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (initResult != CURLE_OK)
        return nullptr;
    return CurlHandle(curl_easy_init());
}

bool appendHeader(CurlHeaders& headers, const char* line)
{
    curl_slist* grown = curl_slist_append(headers.get(), line);
    if (!grown)
        return false;
    (void)headers.release();  // grown now owns the old list
    headers.reset(grown);
    return true;
}

void applyCommonOptions(CURL* handle, const CurlTimeouts& timeouts)
{
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, timeouts.lowSpeedBytesPerSecond);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, timeouts.lowSpeedSeconds);
}

}  // namespace quillon::network
