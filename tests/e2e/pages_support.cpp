#include "tests/e2e/pages_support.h"

#include "service/service_routes.h"

namespace quillon::test {

ReferenceService::ReferenceService(const std::filesystem::path& storage, std::uint64_t maxClipBytes, int port)
    : clips_(storage, maxClipBytes)
{
    std::filesystem::create_directories(storage);
    port_ = port > 0 && server_.bind_to_port("127.0.0.1", port) ? port : server_.bind_to_any_port("127.0.0.1");
    service::installRoutes(server_, clips_, authority());
    serving_ = std::thread([this] { server_.listen_after_bind(); });
    waitUntil([this] { return server_.is_running(); }, std::chrono::seconds(10));  // else stop() would miss it
}

}  // namespace quillon::test
