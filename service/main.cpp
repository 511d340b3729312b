#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <exception>

#include "service/clip_service.h"
#include "service/service_options.h"
#include "service/service_routes.h"

using namespace quillon::service;

int main(int argc, char** argv)
{
    // A client that hangs up mid-reply must not end the service.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const auto parsed = parseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (const auto* message = std::get_if<UsageMessage>(&parsed)) {
            std::fputs(message->text.c_str(), message->exitCode == 0 ? stdout : stderr);
            return message->exitCode;
        }
        const auto& options = std::get<ServiceOptions>(parsed);
        ClipService clips(options.storage, options.maxClipBytes);
        httplib::Server server;
        int port = options.port;
        if (port == 0)
            port = server.bind_to_any_port(options.host);
        else if (!server.bind_to_port(options.host, port))
            port = -1;
        if (port <= 0) {
            std::fprintf(stderr, "quillon-service: cannot listen on %s:%d\n", options.host.c_str(), options.port);
            return 1;
        }
        installRoutes(server, clips, options.host + ":" + std::to_string(port));
        // Tests and scripts read the port from this line when they asked for any.
        std::printf("listening on http://%s:%d/\n", options.host.c_str(), port);
        std::fflush(stdout);
        return server.listen_after_bind() ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quillon-service: %s\n", failure.what());
        return 1;
    }
}
