#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace quillon::delivery {

// Which bytes of a clip each client has been sent: a phone has the clip once the
// answers it took cover every byte, in one whole answer or in ranges.
class DeliveredBytes {
public:
    // Clients and separate runs kept at most: a client past them is never counted
    // as done, which costs the page a tick and nothing else.
    static constexpr std::size_t kMaxClients = 64;
    static constexpr std::size_t kMaxRuns = 64;

    explicit DeliveredBytes(std::uint64_t size) : size_(size) {}

    // Notes that client was sent length bytes from offset; true once that client
    // has been sent every byte.
    bool add(const std::string& client, std::uint64_t offset, std::uint64_t length);

private:
    std::uint64_t size_;
    // Per client: the runs sent, each start to its end (exclusive), apart and in order.
    std::map<std::string, std::map<std::uint64_t, std::uint64_t>> runs_;
};

}  // namespace quillon::delivery
