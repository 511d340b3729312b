#include "service/server_limits.h"

#include <chrono>
#include <cstddef>

namespace quillon::service {
namespace {

using namespace std::chrono_literals;

// Each open connection holds one worker while it sends its request, however slowly;
// the library's default is a worker per core, which a handful of stalled clients
// take up entirely.
constexpr std::size_t kWorkers = 64;
constexpr std::size_t kRequestsPerConnection = 8;
constexpr time_t kKeepAliveSeconds = 2;

}  // namespace

void limitConnections(httplib::Server& server)
{
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    server.set_read_timeout(2s);
    server.set_write_timeout(5s);
    server.set_keep_alive_max_count(kRequestsPerConnection);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
}

}  // namespace quillon::service
