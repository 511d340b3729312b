#pragma once

#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "service/clip_service.h"

namespace quillon::test {

// The reference service on 127.0.0.1 (on the given port, else a free one), in this
// process, storing its clips in the given folder. Stops when it goes out of scope.
class ReferenceService {
public:
    explicit ReferenceService(const std::filesystem::path& storage, std::uint64_t maxClipBytes = 10u << 20,
                              int port = 0);
    ~ReferenceService();
    ReferenceService(const ReferenceService&) = delete;
    ReferenceService& operator=(const ReferenceService&) = delete;

    [[nodiscard]] int port() const { return port_; }
    // "127.0.0.1:<port>", the value for QUILLON_SERVICE.
    [[nodiscard]] std::string authority() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    service::ClipService clips_;
    httplib::Server server_;
    int port_ = -1;
    std::thread serving_;
};

}  // namespace quillon::test
