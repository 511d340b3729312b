#include "bridge/channel_server.h"

#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "bridge/channel_message.h"

namespace quillon::bridge {

std::shared_ptr<ChannelServer> ChannelServer::serve(base::UniqueFd fd, ScriptBridge& bridge, CallerId caller,
                                                    TrustCheck trusted)
{
    std::shared_ptr<ChannelServer> server(new ChannelServer(std::move(fd), bridge, caller, std::move(trusted)));
    server->sourceId_ = g_unix_fd_add(server->fd_.get(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                      &ChannelServer::onReadable, server.get());
    // A source that may not recurse is taken out of the poll set and put back
    // around every dispatch, and each change wakes the main loop for one more empty
    // turn: three system calls and a turn per request. Its page waits for each
    // reply, so its next request never comes while one is being served, and
    // receive() is safe to re-enter all the same.
    g_source_set_can_recurse(g_main_context_find_source_by_id(nullptr, server->sourceId_), TRUE);
    return server;
}

ChannelServer::ChannelServer(base::UniqueFd fd, ScriptBridge& bridge, CallerId caller, TrustCheck trusted)
    : fd_(std::move(fd)), bridge_(bridge), caller_(caller), trusted_(std::move(trusted))
{
    g_unix_set_fd_nonblocking(fd_.get(), TRUE, nullptr);
}

ChannelServer::~ChannelServer() { close(); }

void ChannelServer::close()
{
    if (sourceId_ != 0) {
        g_source_remove(sourceId_);
        sourceId_ = 0;
    }
    fd_.reset();
}

gboolean ChannelServer::onReadable(gint, GIOCondition, gpointer self)
{
    auto* server = static_cast<ChannelServer*>(self);
    // A call may close or drop this server (a dialog whose page closed it): keep
    // the object alive until the callback has returned.
    std::shared_ptr<ChannelServer> keepAlive = server->shared_from_this();
    if (server->receive())
        return G_SOURCE_CONTINUE;
    server->sourceId_ = 0;  // removed by returning G_SOURCE_REMOVE
    server->close();
    return G_SOURCE_REMOVE;
}

bool ChannelServer::receive()
{
    // A page calling in a loop sends its next request as soon as it has its reply.
    // Once a reply is out, this thread gives the processor to whoever else wants
    // it (the page, when it runs on this one) and then looks for that request,
    // which it serves without a turn of the main loop, a sleep and a wake-up; for
    // up to kServeFor, so that the window still gets its turns.
    const auto turnEnd = std::chrono::steady_clock::now() + kServeFor;
    for (;;) {
        // Off the stack: a call that opens a dialog serves that dialog's channel
        // from inside this frame, so each nesting would keep a block of its own.
        // The block is free again once appended, before any call runs.
        const ssize_t got = ::recv(fd_.get(), block_.data(), block_.size(), MSG_DONTWAIT);
        if (got == 0)
            return false;
        if (got < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        reader_.append(std::string_view(block_.data(), static_cast<std::size_t>(got)));
        while (auto request = reader_.next()) {
            const std::string reply = answer(*request);
            if (!isOpen() || !sendAll(frameMessage(reply)))
                return false;
        }
        if (reader_.failed())
            return false;
        if (std::chrono::steady_clock::now() >= turnEnd)
            return true;
        sched_yield();
    }
}

std::string ChannelServer::answer(const std::string& bytes)
{
    const auto request = decodeRequest(bytes);
    const bool trusted = request && (!trusted_ || trusted_());
    if (const auto* lookup = request ? std::get_if<LookupRequest>(&*request) : nullptr) {
        LookupReply reply;
        if (trusted) {
            reply.member = ScriptBridge::idOfName(lookup->name);
            if (const Member* member = memberById(memberTable(), reply.member))
                reply.kind = member->kind;
        }
        return encodeLookupReply(reply);
    }
    if (request && std::holds_alternative<StatusRequest>(*request)) {
        // Each status is read through the bridge like any property read.
        StatusReply reply;
        const auto& members = statusMembers();
        for (std::size_t i = 0; trusted && i < members.size(); ++i) {
            BridgeValue value;
            bridge_.Invoke(members[i], kDispatchPropertyGet, {}, &value, caller_);
            reply.values[i] = value.asInteger();
        }
        return encodeStatusReply(reply);
    }
    InvokeReply reply;
    if (trusted) {
        const auto& invoke = std::get<InvokeRequest>(*request);
        bridge_.Invoke(invoke.member, invoke.flags, invoke.arguments, invoke.wantsResult ? &reply.value : nullptr,
                       caller_);
    }
    return encodeInvokeReply(reply);
}

bool ChannelServer::sendAll(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd writable{fd_.get(), POLLOUT, 0};
            if (::poll(&writable, 1, 5000) <= 0)  // a peer that stops reading is dropped
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

}  // namespace quillon::bridge
