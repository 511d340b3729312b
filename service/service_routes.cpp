#include "service/service_routes.h"

#include <algorithm>
#include <utility>

#include "base/service_api.h"

namespace quillon::service {
namespace {

Params paramsOf(const httplib::Request& request)
{
    // The first value of each name counts, as in a query read by hand.
    Params params;
    for (const auto& [key, value] : request.params)
        params.emplace(key, value);
    return params;
}

void send(httplib::Response& response, const Reply& reply)
{
    response.status = reply.status;
    response.set_content(reply.body, reply.contentType.c_str());
}

bool isAuthority(const std::string& text)
{
    return !text.empty() && text.size() <= 255 && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == ':' || c == '-' || c == '[' || c == ']';
    });
}

}  // namespace

void installRoutes(httplib::Server& server, ClipService& clips, std::string fallbackAuthority)
{
    server.Get(base::kServiceSessionPath, [&clips](const httplib::Request& request, httplib::Response& response) {
        send(response, clips.openSession(paramsOf(request)));
    });

    server.Post(base::kServiceUploadPath, [&clips](const httplib::Request& request, httplib::Response& response,
                                                   const httplib::ContentReader& content) {
        const BodyReader readBody = [&content](const ChunkReceiver& receive) {
            return content([&receive](const char* data, std::size_t length) { return receive(data, length); });
        };
        send(response, clips.storeClip(request.get_param_value("sid"), readBody));
    });

    server.Get(base::kServiceStatusPath, [&clips, fallbackAuthority = std::move(fallbackAuthority)](
                                             const httplib::Request& request, httplib::Response& response) {
        const std::string host = request.get_header_value("Host");
        send(response, clips.status(request.get_param_value("sid"), isAuthority(host) ? host : fallbackAuthority));
    });

    server.Get(R"(/clips/([0-9a-f]{16})\.mp3)", [&clips](const httplib::Request& request, httplib::Response& response) {
        send(response, clips.clip(request.matches[1]));
    });

    server.Get(base::kServiceRedirectPath, [](const httplib::Request& request, httplib::Response& response) {
        send(response, ClipService::redirectPage(paramsOf(request)));
    });
}

}  // namespace quillon::service
