#include "app/no_client_error.h"

#include <glib.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/message_box.h"
#include "app/message_box_style.h"

namespace quillon::app {

namespace {

constexpr const char* kCaption = "Fatal Error";
constexpr const char* kMessage =
    "Cannot initialize XMLHTTP Transporter.\n\nIn order to use Quillon you must have MSXML installed       \n"
    "on your computer.";

struct Pending {
    std::mutex mutex;
    std::condition_variable closed;
    bool done = false;
};

}  // namespace

void showNoClientError()
{
    auto pending = std::make_shared<Pending>();
    g_main_context_invoke_full(
        nullptr, G_PRIORITY_DEFAULT,
        [](gpointer data) {
            auto& state = **static_cast<std::shared_ptr<Pending>*>(data);
            runMessageBox(nullptr, kCaption, kMessage, box_style::kOk | box_style::kIconError);
            std::lock_guard lock(state.mutex);
            state.done = true;
            state.closed.notify_all();
            return G_SOURCE_REMOVE;
        },
        new std::shared_ptr<Pending>(pending), [](gpointer data) { delete static_cast<std::shared_ptr<Pending>*>(data); });
    std::unique_lock lock(pending->mutex);
    pending->closed.wait(lock, [&] { return pending->done; });
}

}  // namespace quillon::app
