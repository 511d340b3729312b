#include "app/ui_wait.h"

#include <chrono>

namespace quillon::app {

std::string awaitServingUi(const std::shared_future<std::string>& answer, GMainLoop* appLoop)
{
    const auto ready = [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    while (!ready()) {
        if (appLoop && !g_main_loop_is_running(appLoop))
            return {};
        g_main_context_iteration(nullptr, TRUE);
    }
    return answer.get();
}

}  // namespace quillon::app
