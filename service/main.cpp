#include <httplib.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <thread>

#include "service/clip_service.h"
#include "service/server_limits.h"
#include "service/service_options.h"
#include "service/service_routes.h"

using namespace quillon::service;

int main(int argc, char** argv)
{
    // A client that hangs up mid-reply must not end the service.
    std::signal(SIGPIPE, SIG_IGN);
    // SIGTERM and SIGINT end the service cleanly: the requests in flight are
    // answered and main returns. They are taken by sigwait on one thread, so they
    // are blocked here before any thread starts and inherit the mask.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    try {
        const auto parsed = parseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (const auto* message = std::get_if<UsageMessage>(&parsed)) {
            std::fputs(message->text.c_str(), message->exitCode == 0 ? stdout : stderr);
            return message->exitCode;
        }
        const auto& options = std::get<ServiceOptions>(parsed);
        ClipService clips(options.storage, options.maxClipBytes);
        httplib::Server server;
        limitConnections(server);
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
        std::atomic<bool> listeningEnded = false;
        std::thread stopper([&server, &listeningEnded, endSignals] {
            int signal = 0;
            sigwait(&endSignals, &signal);
            // A stop before the server runs would be lost: wait until it runs.
            while (!listeningEnded && !server.is_running())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!listeningEnded)
                server.stop();
        });
        // Tests and scripts read the port from this line when they asked for any.
        std::printf("listening on http://%s:%d/\n", options.host.c_str(), port);
        std::fflush(stdout);
        const bool served = server.listen_after_bind();
        listeningEnded = true;
        // Wakes the stopper if no end signal came; it is blocked, so nothing is terminated.
        pthread_kill(stopper.native_handle(), SIGINT);
        stopper.join();
        return served ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quillon-service: %s\n", failure.what());
        return 1;
    }
}
