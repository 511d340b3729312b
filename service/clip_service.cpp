#include "service/clip_service.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <random>
#include <sstream>

#include "base/html_text.h"
#include "base/service_api.h"
#include "service/mpeg_audio.h"

namespace quillon::service {
namespace {

// How much of a clip over the limit is still read before the service hangs up.
constexpr std::uint64_t kRefusedBytesDrained = 32u << 20;

Reply error(base::ServiceRefusal refusal) { return Reply{refusal.status, "ERROR " + std::string(refusal.reason)}; }

std::string param(const Params& params, const std::string& key)
{
    const auto found = params.find(key);
    return found == params.end() ? std::string() : found->second;
}

bool isPhoneNumber(std::string_view phone)
{
    if (phone.starts_with('+'))
        phone.remove_prefix(1);
    return phone.size() >= 5 && phone.size() <= 20 &&
           std::all_of(phone.begin(), phone.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isPlainText(std::string_view text, std::size_t maxLength)
{
    return text.size() <= maxLength &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= 0x20 && c != 0x7F; });
}

// An open temporary file that is removed unless it was moved into place.
class PendingClip {
public:
    explicit PendingClip(const std::filesystem::path& pattern) : path_(pattern.string())
    {
        fd_ = ::mkstemp(path_.data());
        created_ = fd_ >= 0;
    }
    ~PendingClip()
    {
        closeFile();
        if (created_ && !kept_)
            ::unlink(path_.c_str());
    }
    PendingClip(const PendingClip&) = delete;
    PendingClip& operator=(const PendingClip&) = delete;

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    [[nodiscard]] bool write(const char* data, std::size_t length)
    {
        while (length > 0) {
            const ssize_t done = ::write(fd_, data, length);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
            data += done;
            length -= static_cast<std::size_t>(done);
        }
        return true;
    }
    [[nodiscard]] bool finish() { return ::fsync(fd_) == 0 && closeFile(); }
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] bool moveTo(const std::filesystem::path& target)
    {
        kept_ = ::rename(path_.c_str(), target.c_str()) == 0;
        return kept_;
    }

private:
    bool closeFile()
    {
        if (fd_ < 0)
            return true;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed;
    }

    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    bool kept_ = false;
};

}  // namespace

ClipService::ClipService(std::filesystem::path storage, std::uint64_t maxClipBytes)
    : storage_(std::move(storage)), maxClipBytes_(maxClipBytes)
{
    std::filesystem::create_directories(storage_);
    for (const auto& entry : std::filesystem::directory_iterator(storage_)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".mp3" && isSessionId(entry.path().stem().string()))
            sessions_.insert(entry.path().stem().string());
        else if (name.find(".upload-") != std::string::npos)
            std::filesystem::remove(entry.path());  // left by a run that was killed mid-upload
    }
}

bool ClipService::isSessionId(std::string_view sid)
{
    return sid.size() == 16 &&
           std::all_of(sid.begin(), sid.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool ClipService::knows(const std::string& sid)
{
    std::lock_guard lock(mutex_);
    return sessions_.contains(sid);
}

std::filesystem::path ClipService::clipFile(const std::string& sid) const { return storage_ / (sid + ".mp3"); }

Reply ClipService::openSession(const Params& params)
{
    const std::string phone = param(params, "phone");
    const std::string network = param(params, "network");
    if (phone.empty())
        return error(base::kRefusedMissingPhone);
    if (!isPhoneNumber(phone))
        return error(base::kRefusedPhoneNumber);
    if (network.empty())
        return error(base::kRefusedMissingNetwork);
    if (!isPlainText(network, 64) || !isPlainText(param(params, "number"), 64) ||
        !isPlainText(param(params, "aff"), 16))
        return error(base::kRefusedParameters);

    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device random;
    std::lock_guard lock(mutex_);
    std::string sid;
    do {
        sid.clear();
        for (int i = 0; i < 16; ++i)
            sid += kHex[random() & 0x0F];
    } while (sessions_.contains(sid));
    sessions_.insert(sid);
    return Reply{200, "OK " + sid};
}

Reply ClipService::storeClip(const std::string& sid, const BodyReader& readBody)
{
    if (!isSessionId(sid) || !knows(sid))
        return error(base::kRefusedUnknownSession);
    {
        std::lock_guard lock(mutex_);
        refusals_.erase(sid);
    }
    Reply reply = receiveClip(sid, readBody);
    if (reply.status != 200) {
        std::lock_guard lock(mutex_);
        refusals_.insert_or_assign(sid, reply);
    }
    return reply;
}

Reply ClipService::receiveClip(const std::string& sid, const BodyReader& readBody)
{
    PendingClip pending(storage_ / (sid + ".upload-XXXXXX"));
    if (!pending.isOpen())
        return error(base::kRefusedNotStored);
    std::uint64_t received = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    const bool whole = readBody([&](const char* data, std::size_t length) {
        received += length;
        if (received > maxClipBytes_) {
            // Hanging up on unread bytes resets the connection, and the sender then
            // loses the reply; so the rest is read and dropped, within a bound.
            tooLarge = true;
            return received - maxClipBytes_ <= kRefusedBytesDrained;
        }
        writeFailed = !pending.write(data, length);
        return !writeFailed;
    });
    if (tooLarge)
        return error(base::kRefusedTooLarge);
    if (writeFailed)
        return error(base::kRefusedNotStored);
    if (!whole)
        return error(base::kRefusedIncomplete);
    if (received == 0)
        return error(base::kRefusedEmptyClip);
    if (!pending.finish())
        return error(base::kRefusedNotStored);
    if (!isMpegAudioFile(pending.path()))
        return error(base::kRefusedNotMpeg);
    if (!pending.moveTo(clipFile(sid)))
        return error(base::kRefusedNotStored);
    return Reply{200, "OK"};
}

Reply ClipService::status(const std::string& sid, std::string_view authority)
{
    if (!isSessionId(sid) || !knows(sid))
        return error(base::kRefusedUnknownSession);
    if (!std::filesystem::exists(clipFile(sid))) {
        std::lock_guard lock(mutex_);
        const auto refused = refusals_.find(sid);
        return refused == refusals_.end() ? Reply{200, "WAITING"} : refused->second;
    }
    // STORED: this service keeps the clip and sends no message to any phone; a
    // service that does send one answers SENT, and only then do the pages say so.
    return Reply{200, "READY http://" + std::string(authority) + "/clips/" + sid + ".mp3 STORED"};
}

Reply ClipService::clip(const std::string& sid)
{
    std::error_code failed;
    if (!isSessionId(sid) || !std::filesystem::is_regular_file(clipFile(sid), failed))
        return error(base::kRefusedNoSuchClip);
    std::ifstream in(clipFile(sid), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in)
        return error(base::kRefusedNotRead);
    return Reply{200, std::move(bytes).str(), "audio/mpeg"};
}

Reply ClipService::redirectPage(const Params& params)
{
    const std::string where = param(params, "where");
    if (where.empty())
        return error(base::kRefusedMissingWhere);
    const std::string name = base::htmlEscape(where);
    return Reply{200,
                 "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quillon: " + name +
                     "</title></head>\n<body><h1>" + name + "</h1><p>The reference service has no " + name +
                     " page; this one stands in for it.</p></body></html>\n",
                 "text/html; charset=utf-8"};
}

}  // namespace quillon::service
