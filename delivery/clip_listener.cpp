#include "delivery/clip_listener.h"

#include <libsoup/soup.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quillon::delivery {

namespace {

// Accepted at most per wake-up, so that a flood cannot keep the loop from the rest.
constexpr int kAcceptsPerWake = 64;

// Errors of accept that concern one connection only (the peer gave up, or its
// network went away): the next one is taken as usual.
bool passingError(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETDOWN:
    case ENETUNREACH:
    case EPERM: return true;
    default: return false;
    }
}

GSocket* listeningSocket(GSocketFamily family, std::uint16_t port)
{
    g_autoptr(GSocket) socket = g_socket_new(family, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr);
    if (!socket)
        return nullptr;
    // The IPv6 socket answers IPv6 alone; the IPv4 one takes the rest.
    if (family == G_SOCKET_FAMILY_IPV6 && !g_socket_set_option(socket, IPPROTO_IPV6, IPV6_V6ONLY, 1, nullptr))
        return nullptr;
    g_autoptr(GInetAddress) any = g_inet_address_new_any(family);
    g_autoptr(GSocketAddress) address = g_inet_socket_address_new(any, port);
    g_socket_set_listen_backlog(socket, SOMAXCONN);
    if (!g_socket_bind(socket, address, TRUE, nullptr) || !g_socket_listen(socket, nullptr))
        return nullptr;
    return static_cast<GSocket*>(g_steal_pointer(&socket));
}

std::uint16_t localPort(GSocket* socket)
{
    g_autoptr(GSocketAddress) address = g_socket_get_local_address(socket, nullptr);
    return address ? g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(address)) : 0;
}

}  // namespace

std::unique_ptr<ClipListener> ClipListener::start(SoupServer* server, const ConnectionLimits& limits,
                                                  std::function<void()> onFailed)
{
    std::unique_ptr<ClipListener> listener(new ClipListener(server, limits, std::move(onFailed)));
    return listener->listen() ? std::move(listener) : nullptr;
}

ClipListener::ClipListener(SoupServer* server, const ConnectionLimits& limits, std::function<void()> onFailed)
    : server_(server), limits_(limits), onFailed_(std::move(onFailed))
{}

ClipListener::~ClipListener()
{
    stopListening();
    for (const auto& connection : open_)
        g_object_weak_unref(connection.first, &ClipListener::onClosed, this);
}

// IPv4 on a port the system picks, then IPv6 on the same port where there is IPv6.
bool ClipListener::listen()
{
    GSocket* ipv4 = listeningSocket(G_SOCKET_FAMILY_IPV4, 0);
    if (!ipv4)
        return false;
    sockets_.push_back(ipv4);
    port_ = localPort(ipv4);
    if (GSocket* ipv6 = listeningSocket(G_SOCKET_FAMILY_IPV6, port_))
        sockets_.push_back(ipv6);
    for (GSocket* socket : sockets_) {
        GSource* source = g_socket_create_source(socket, G_IO_IN, nullptr);
        g_source_set_callback(source, G_SOURCE_FUNC(&ClipListener::onIncoming), this, nullptr);
        g_source_attach(source, g_main_context_get_thread_default());
        sources_.push_back(source);
    }
    return port_ != 0;
}

void ClipListener::stopListening()
{
    for (GSource* source : sources_) {
        g_source_destroy(source);
        g_source_unref(source);
    }
    sources_.clear();
    for (GSocket* socket : sockets_) {
        g_socket_close(socket, nullptr);
        g_object_unref(socket);
    }
    sockets_.clear();
}

gboolean ClipListener::onIncoming(GSocket* listening, GIOCondition, gpointer self)
{
    auto* listener = static_cast<ClipListener*>(self);
    for (int taken = 0; taken < kAcceptsPerWake; ++taken) {
        const int fd = ::accept4(g_socket_get_fd(listening), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            listener->take(fd);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return G_SOURCE_CONTINUE;
        } else if (!passingError(errno)) {
            // Out of descriptors, or the socket itself failed: the connection waits
            // in the queue and would wake this up again at once, for ever.
            listener->stopListening();
            const std::function<void()> failed = std::exchange(listener->onFailed_, {});
            if (failed)
                failed();  // may destroy the listener
            return G_SOURCE_REMOVE;
        }
    }
    return G_SOURCE_CONTINUE;
}

void ClipListener::take(int fd)
{
    g_autoptr(GSocket) socket = g_socket_new_from_fd(fd, nullptr);
    if (!socket) {
        ::close(fd);
        return;
    }
    g_autoptr(GSocketAddress) remote = g_socket_get_remote_address(socket, nullptr);
    g_autoptr(GSocketAddress) local = g_socket_get_local_address(socket, nullptr);
    if (!remote || !local || !G_IS_INET_SOCKET_ADDRESS(remote))
        return;
    g_autofree gchar* peer = g_inet_address_to_string(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(remote)));
    const auto known = perPeer_.find(peer);
    if ((known != perPeer_.end() && known->second >= limits_.perPeer) || open_.size() >= limits_.total)
        return;  // closed with the socket
    // Reading and writing give up after this much silence, and the server then drops the connection.
    g_socket_set_timeout(socket, static_cast<guint>(limits_.idle.count()));
    g_autoptr(GSocketConnection) connection = g_socket_connection_factory_create_connection(socket);
    if (!soup_server_accept_iostream(server_, G_IO_STREAM(connection), local, remote, nullptr))
        return;
    ++perPeer_[peer];
    open_.emplace(G_OBJECT(connection), peer);
    g_object_weak_ref(G_OBJECT(connection), &ClipListener::onClosed, this);
}

void ClipListener::onClosed(gpointer self, GObject* connection)
{
    auto* listener = static_cast<ClipListener*>(self);
    const auto open = listener->open_.find(connection);
    if (open == listener->open_.end())
        return;
    const auto peer = listener->perPeer_.find(open->second);
    if (peer != listener->perPeer_.end() && --peer->second == 0)
        listener->perPeer_.erase(peer);
    listener->open_.erase(open);
}

}  // namespace quillon::delivery
