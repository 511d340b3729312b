#include "delivery/clip_server.h"

#include <libsoup/soup.h>

#include <utility>

#include "delivery/servable_clip.h"
#include "delivery/serve_token.h"

namespace quillon::delivery {

namespace {

// The run of the clip's bytes a message's body carries, told at its finish.
constexpr const char* kRunKey = "quillon-clip-run";

struct ClipRun {
    std::uint64_t offset;
    std::uint64_t length;
};

std::string_view header(SoupMessageHeaders* headers, const char* name)
{
    const char* value = soup_message_headers_get_one(headers, name);
    return value ? value : "";
}

}  // namespace

ClipServer::ClipServer(std::filesystem::path tempDir, AddressSource addresses, std::chrono::milliseconds lifetime,
                       ConnectionLimits limits)
    : tempDir_(std::move(tempDir)), addresses_(std::move(addresses)), lifetime_(lifetime), limits_(limits)
{}

ClipServer::~ClipServer() { stop(); }

bool ClipServer::serve(const std::filesystem::path& clip, const ClipDescription& part)
{
    stop();
    std::optional<std::string> bytes = readServableClip(clip, tempDir_);
    if (!bytes) {
        status_ = kServeRefused;
        return false;
    }
    const std::optional<InterfaceAddress> address = reachableAddress(addresses_());
    if (!address) {
        status_ = kServeNoNetwork;
        return false;
    }
    std::optional<std::string> token = makeServeToken();
    g_autoptr(SoupServer) server = soup_server_new("server-header", nullptr, nullptr);
    std::unique_ptr<ClipListener> listener =
        token ? ClipListener::start(server, limits_, [this] { shutDown(kServeLost); }) : nullptr;
    if (!listener) {
        status_ = kServeNoListen;
        return false;
    }
    port_ = listener->port();

    // Titles come from pages; the page and the file name need valid UTF-8.
    g_autofree gchar* title = g_utf8_make_valid(part.songTitle.c_str(), static_cast<gssize>(part.songTitle.size()));
    clip_ = {std::move(*token), {title, part.startMs, part.lengthMs, part.kind}, bytes->size()};
    bytes_ = g_bytes_new(bytes->data(), bytes->size());
    delivered_ = DeliveredBytes(bytes->size());
    pageUrl_ = pageUrl(address->address, port_, clip_.token);
    soup_server_add_handler(server, nullptr, &ClipServer::onRequest, this, nullptr);
    g_signal_connect(server, "request-finished", G_CALLBACK(&ClipServer::onFinished), this);
    server_ = static_cast<SoupServer*>(g_steal_pointer(&server));
    listener_ = std::move(listener);

    expiry_ = g_timeout_source_new(static_cast<guint>(lifetime_.count()));
    g_source_set_callback(expiry_, &ClipServer::onExpired, this, nullptr);
    g_source_attach(expiry_, g_main_context_get_thread_default());
    status_ = kServing;
    return true;
}

void ClipServer::stop()
{
    if (serving())
        shutDown(kServeIdle);
}

void ClipServer::shutDown(std::int32_t status)
{
    listener_.reset();
    if (server_) {
        g_signal_handlers_disconnect_by_data(server_, this);
        soup_server_disconnect(server_);
        g_clear_object(&server_);
    }
    if (expiry_) {
        g_source_destroy(expiry_);
        g_clear_pointer(&expiry_, g_source_unref);
    }
    g_clear_pointer(&bytes_, g_bytes_unref);
    delivered_ = DeliveredBytes(0);
    clip_ = {};
    pageUrl_.clear();
    port_ = 0;
    status_ = status;
}

std::string ClipServer::response() const
{
    if (!serving())
        return {};
    return pageUrl_ + ":::" + std::to_string(port_);
}

void ClipServer::onRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, gpointer self)
{
    auto* server = static_cast<ClipServer*>(self);
    SoupMessageHeaders* request = soup_server_message_get_request_headers(message);
    const ClipReply reply = answerRequest(server->clip_, {soup_server_message_get_method(message), path ? path : "",
                                                          header(request, "Range"), header(request, "User-Agent")});
    soup_server_message_set_status(message, reply.status, nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    for (const auto& [name, value] : reply.headers)
        soup_message_headers_replace(headers, name.c_str(), value.c_str());
    SoupMessageBody* body = soup_server_message_get_response_body(message);
    // Workaround(https://gitlab.gnome.org/GNOME/libsoup/-/blob/master/libsoup/server/soup-server-message.c,
    // Range handling of complete bodies): left to accumulate, the library would cut whole
    // answers itself and send several ranges as a multipart body, which phones' players
    // refuse; ranges are answered here alone. Remove when the library can be told to
    // leave Range to the handler.
    soup_message_body_set_accumulate(body, FALSE);
    if (!reply.text.empty())
        soup_message_body_append(body, SOUP_MEMORY_COPY, reply.text.data(), reply.text.size());
    if (reply.clipLength > 0) {
        g_autoptr(GBytes) run = g_bytes_new_from_bytes(server->bytes_, reply.clipOffset, reply.clipLength);
        soup_message_body_append_bytes(body, run);
    }
    soup_message_body_complete(body);
    if (reply.clipLength > 0)
        g_object_set_data_full(G_OBJECT(message), kRunKey, new ClipRun{reply.clipOffset, reply.clipLength},
                               [](gpointer run) { delete static_cast<ClipRun*>(run); });
}

// A message is finished once its whole answer has been written to the phone.
void ClipServer::onFinished(SoupServer*, SoupServerMessage* message, gpointer self)
{
    auto* server = static_cast<ClipServer*>(self);
    const auto* run = static_cast<const ClipRun*>(g_object_get_data(G_OBJECT(message), kRunKey));
    const char* client = soup_server_message_get_remote_host(message);
    if (run && client && server->delivered_.add(client, run->offset, run->length) && server->status_ == kServing)
        server->status_ = kServeFetched;
}

gboolean ClipServer::onExpired(gpointer self)
{
    static_cast<ClipServer*>(self)->shutDown(kServeExpired);
    return G_SOURCE_REMOVE;
}

}  // namespace quillon::delivery
