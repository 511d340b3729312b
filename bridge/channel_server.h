#pragma once

#include <glib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "base/unique_fd.h"
#include "bridge/frame_reader.h"
#include "bridge/member_table.h"
#include "bridge/script_bridge.h"

namespace quillon::bridge {

// The UI side of one web view's private channel. Serves each request from the
// GLib main context of the UI thread, so calls keep being served inside the nested
// loops of dialogs and message boxes.
class ChannelServer : public std::enable_shared_from_this<ChannelServer> {
public:
    // Whether the view currently shows one of the app's own pages. A request
    // from any other page gets no member and no effect.
    using TrustCheck = std::function<bool()>;

    // Starts serving fd on the thread-default main context.
    static std::shared_ptr<ChannelServer> serve(base::UniqueFd fd, ScriptBridge& bridge, CallerId caller,
                                                TrustCheck trusted);
    ~ChannelServer();

    ChannelServer(const ChannelServer&) = delete;
    ChannelServer& operator=(const ChannelServer&) = delete;

    // Stops serving and closes the channel; a page waiting on it gets no answer
    // and its call returns.
    void close();
    [[nodiscard]] bool isOpen() const { return fd_.valid(); }

private:
    // The longest one turn of the main loop serves requests back to back.
    static constexpr std::chrono::milliseconds kServeFor{2};

    ChannelServer(base::UniqueFd fd, ScriptBridge& bridge, CallerId caller, TrustCheck trusted);
    static gboolean onReadable(gint fd, GIOCondition condition, gpointer self);
    bool receive();
    std::string answer(const std::string& request);
    bool sendAll(const std::string& bytes);

    base::UniqueFd fd_;
    unsigned sourceId_ = 0;
    ScriptBridge& bridge_;
    CallerId caller_;
    TrustCheck trusted_;
    FrameReader reader_;
    std::vector<char> block_ = std::vector<char>(std::size_t{64} * 1024);
};

}  // namespace quillon::bridge
