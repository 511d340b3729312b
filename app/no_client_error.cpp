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

// Never destroyed: a job thread may still come here after main has returned.
struct Boxes {
    std::mutex mutex;
    std::condition_variable changed;
    bool uiEnded = false;
};

Boxes& boxes()
{
    static auto* const instance = new Boxes;
    return *instance;
}

struct Pending {
    bool closed = false;
};

gboolean showOnUiThread(gpointer data)
{
    const auto pending = *static_cast<std::shared_ptr<Pending>*>(data);
    Boxes& state = boxes();
    bool ended;
    {
        std::lock_guard lock(state.mutex);
        ended = state.uiEnded;
    }
    if (!ended)
        runMessageBox(nullptr, kCaption, kMessage, kStyleErrorOk);
    std::lock_guard lock(state.mutex);
    pending->closed = true;
    state.changed.notify_all();
    return G_SOURCE_REMOVE;
}

}  // namespace

void showNoClientError()
{
    Boxes& state = boxes();
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard lock(state.mutex);
        if (state.uiEnded)
            return;
    }
    // An idle source runs only when the UI thread's loop turns. The shorter
    // g_main_context_invoke would run the box right here, on the job thread,
    // whenever no loop owns the context, as after the main loop has ended.
    g_autoptr(GSource) source = g_idle_source_new();
    g_source_set_callback(source, showOnUiThread, new std::shared_ptr<Pending>(pending),
                          [](gpointer data) { delete static_cast<std::shared_ptr<Pending>*>(data); });
    g_source_attach(source, nullptr);
    std::unique_lock lock(state.mutex);
    state.changed.wait(lock, [&] { return pending->closed || state.uiEnded; });
}

void endNoClientErrors()
{
    Boxes& state = boxes();
    std::lock_guard lock(state.mutex);
    state.uiEnded = true;
    state.changed.notify_all();
}

}  // namespace quillon::app
