#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace quillon::service {

// One answer of the service: its HTTP status, body and content type.
struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
};

using Params = std::map<std::string, std::string>;

// Hands the request body over chunk by chunk to the receiver, which returns false
// to stop; returns false when the body could not be read whole.
using ChunkReceiver = std::function<bool(const char* data, std::size_t length)>;
using BodyReader = std::function<bool(const ChunkReceiver&)>;

// Sessions and their clips, kept as <sid>.mp3 files in the storage folder. What the
// service answers is plain text, "OK …", "WAITING", "READY …" or "ERROR …", so a
// page can read it with one split. Safe to call from several server threads.
class ClipService {
public:
    // Clips already in storage are taken as finished sessions.
    ClipService(std::filesystem::path storage, std::uint64_t maxClipBytes);

    // dte_session.cgi: phone and network are required; number and aff are kept.
    [[nodiscard]] Reply openSession(const Params& params);
    // dte_upload2.cgi: stores the body as the session's clip when it is MPEG audio
    // of at most maxClipBytes; the body is streamed to disk, never held whole. A
    // refusal is kept for the status check until the next upload of the session.
    [[nodiscard]] Reply storeClip(const std::string& sid, const BodyReader& readBody);
    // dte_status.cgi: authority is "host[:port]" as the client reached us, for the
    // download address. Without a clip, the refusal of the last upload if there was
    // one: the uploading program does not read the upload's reply.
    [[nodiscard]] Reply status(const std::string& sid, std::string_view authority);
    // /clips/<sid>.mp3
    [[nodiscard]] Reply clip(const std::string& sid);
    // /redir.php: a small page naming where the program wanted to go.
    [[nodiscard]] static Reply redirectPage(const Params& params);

    // Session ids are 16 lower-case hex digits; nothing else names a file here.
    [[nodiscard]] static bool isSessionId(std::string_view sid);

private:
    [[nodiscard]] bool knows(const std::string& sid);
    [[nodiscard]] Reply receiveClip(const std::string& sid, const BodyReader& readBody);
    [[nodiscard]] std::filesystem::path clipFile(const std::string& sid) const;

    std::filesystem::path storage_;
    std::uint64_t maxClipBytes_;
    std::mutex mutex_;
    std::set<std::string> sessions_;
    std::map<std::string, Reply> refusals_;
};

}  // namespace quillon::service
