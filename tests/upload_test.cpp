#include "jobs/upload_job.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::jobs {
namespace {

using namespace std::chrono_literals;

// A one-shot HTTP server that records the exact bytes of the request it gets: the
// head, then as much of the body as arrives before the client ends or hangs up.
class RequestRecorder {
public:
    // holdBody: stop reading after the head until release(), with a small receive
    // buffer, so a large upload stalls part-way.
    explicit RequestRecorder(bool holdBody = false) : holdBody_(holdBody)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (holdBody_) {
            const int small = 4096;
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~RequestRecorder()
    {
        release();
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string authority() const { return "127.0.0.1:" + std::to_string(port_); }

    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    // Waits (bounded) until the whole request was read or the client hung up.
    [[nodiscard]] bool waitDone()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 30s, [this] { return done_; });
    }
    // Waits (bounded) until the head has arrived.
    [[nodiscard]] bool waitHead()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 30s, [this] { return !head_.empty() || done_; });
    }
    [[nodiscard]] std::string head()
    {
        std::lock_guard lock(mutex_);
        return head_;
    }
    [[nodiscard]] std::string body()
    {
        std::lock_guard lock(mutex_);
        return body_;
    }

private:
    void serve()
    {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            readRequest(client);
            static constexpr std::string_view kReply = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nOK";
            (void)::send(client, kReply.data(), kReply.size(), MSG_NOSIGNAL);
            ::close(client);
        }
        std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }

    void readRequest(int client)
    {
        std::string bytes;
        std::size_t headEnd;
        char block[65536];
        while ((headEnd = bytes.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t got = ::recv(client, block, sizeof block, 0);
            if (got <= 0)
                return;
            bytes.append(block, static_cast<std::size_t>(got));
        }
        const std::string head = bytes.substr(0, headEnd + 4);
        const auto lengthAt = head.find("Content-Length: ");
        const std::size_t length =
            lengthAt == std::string::npos ? 0 : std::strtoull(head.c_str() + lengthAt + 16, nullptr, 10);
        {
            std::unique_lock lock(mutex_);
            head_ = head;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !holdBody_ || released_; });
        }
        std::string body = bytes.substr(headEnd + 4);
        while (body.size() < length) {
            const ssize_t got = ::recv(client, block, sizeof block, 0);
            if (got <= 0)
                break;
            body.append(block, static_cast<std::size_t>(got));
        }
        std::lock_guard lock(mutex_);
        body_ = std::move(body);
    }

    bool holdBody_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    bool done_ = false;
    std::string head_;
    std::string body_;
};

// Bytes that differ from block to block, so a lost or repeated block shows.
std::string patternBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

std::string expectedHead(const std::string& target, const std::string& authority, std::size_t size)
{
    return "POST " + target + " HTTP/1.0\r\nHost: " + authority +
           "\r\nUser-Agent: QLN/1.0 (Vostrel)\r\nContent-Type: audio/mpeg\r\nPragma: no-cache\r\nContent-Length: " +
           std::to_string(size) + "\r\n\r\n";
}

struct Outcome {
    std::int32_t status;
    std::vector<std::int32_t> progress;
};

Outcome upload(const RequestRecorder& server, const std::string& file, const std::string& sid,
               const std::function<bool(const std::vector<std::int32_t>&)>& breakWhen = {})
{
    Outcome outcome{};
    const UploadRequest request{{"127.0.0.1", server.port()}, file, sid};
    outcome.status = runUpload(
        request, [&outcome](std::int32_t percent) { outcome.progress.push_back(percent); },
        [&] { return breakWhen && breakWhen(outcome.progress); });
    return outcome;
}

int unusedPort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);  // nothing listens there now
    return ntohs(address.sin_port);
}

TEST(UploadTarget, KeepsQueryCharactersAndEncodesWhatWouldBreakTheLine)
{
    const struct {
        std::string sid;
        std::string target;
    } cases[] = {
        {"abc123", "/cgi-bin/dte_upload2.cgi?sid=abc123&ver=210&aff=2&pid=2"},
        {"", "/cgi-bin/dte_upload2.cgi?sid=&ver=210&aff=2&pid=2"},
        {"a&b=c?d#e%41/f", "/cgi-bin/dte_upload2.cgi?sid=a&b=c?d#e%41/f&ver=210&aff=2&pid=2"},
        {"a b", "/cgi-bin/dte_upload2.cgi?sid=a%20b&ver=210&aff=2&pid=2"},
        {"x\r\nX-Evil: 1", "/cgi-bin/dte_upload2.cgi?sid=x%0D%0AX-Evil:%201&ver=210&aff=2&pid=2"},
        {std::string("\x00\t\x7F", 3), "/cgi-bin/dte_upload2.cgi?sid=%00%09%7F&ver=210&aff=2&pid=2"},
        {"\xC3\xBC~", "/cgi-bin/dte_upload2.cgi?sid=%C3%BC~&ver=210&aff=2&pid=2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uploadTarget(c.sid), c.target) << c.sid;
}

TEST(Upload, SendsExactRequestAndReportsProgressPerBlock)
{
    const struct {
        std::size_t size;
        std::vector<std::int32_t> progress;
    } cases[] = {
        {0, {}},
        {1, {}},
        {2048, {}},
        {2049, {99}},
        {4096, {50}},
        {10000, {20, 40, 61, 81}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        test::TempDir dir;
        const std::string bytes = patternBytes(c.size);
        test::writeFile(dir / "clip.mp3", bytes);
        RequestRecorder server;
        const Outcome outcome = upload(server, (dir / "clip.mp3").string(), "s1");
        EXPECT_EQ(outcome.status, kUploadDone);
        EXPECT_EQ(outcome.progress, c.progress);
        ASSERT_TRUE(server.waitDone());
        EXPECT_EQ(server.head(), expectedHead(uploadTarget("s1"), server.authority(), c.size));
        EXPECT_EQ(server.body(), bytes);
    }
}

TEST(Upload, OneMegabyteArrivesWholeWithRisingPercentages)
{
    test::TempDir dir;
    const std::string bytes = patternBytes(1 << 20);
    test::writeFile(dir / "clip.mp3", bytes);
    RequestRecorder server;
    const Outcome outcome = upload(server, (dir / "clip.mp3").string(), "s1");
    EXPECT_EQ(outcome.status, kUploadDone);
    ASSERT_EQ(outcome.progress.size(), 511u);  // every block but the last
    for (std::size_t i = 0; i < outcome.progress.size(); ++i)
        EXPECT_EQ(outcome.progress[i], static_cast<std::int32_t>((i + 1) * 2048 * 100 / (1 << 20))) << i;
    ASSERT_TRUE(server.waitDone());
    EXPECT_EQ(server.head(), expectedHead(uploadTarget("s1"), server.authority(), bytes.size()));
    EXPECT_EQ(server.body().size(), bytes.size());
    EXPECT_TRUE(server.body() == bytes);
}

TEST(Upload, SessionIdCannotSplitTheRequest)
{
    test::TempDir dir;
    test::writeFile(dir / "clip.mp3", "abc");
    RequestRecorder server;
    const std::string sid = "a&b c\r\nX-Evil: 1#";
    EXPECT_EQ(upload(server, (dir / "clip.mp3").string(), sid).status, kUploadDone);
    ASSERT_TRUE(server.waitDone());
    EXPECT_EQ(server.head(),
              expectedHead("/cgi-bin/dte_upload2.cgi?sid=a&b%20c%0D%0AX-Evil:%201#&ver=210&aff=2&pid=2",
                           server.authority(), 3));
    EXPECT_EQ(server.body(), "abc");
}

TEST(Upload, BreakAfterABlockStopsSendingWith101)
{
    test::TempDir dir;
    const std::string bytes = patternBytes(1 << 20);
    test::writeFile(dir / "clip.mp3", bytes);
    RequestRecorder server;
    const Outcome outcome = upload(server, (dir / "clip.mp3").string(), "s1",
                                   [](const std::vector<std::int32_t>& seen) { return seen.size() >= 3; });
    EXPECT_EQ(outcome.status, kUploadFailed);
    EXPECT_EQ(outcome.progress, (std::vector<std::int32_t>{0, 0, 0}));
    ASSERT_TRUE(server.waitDone());
    EXPECT_LT(server.body().size(), bytes.size());
    EXPECT_EQ(server.body(), bytes.substr(0, server.body().size()));
}

TEST(Upload, BreakIsNotTestedAfterTheLastBlock)
{
    test::TempDir dir;
    test::writeFile(dir / "clip.mp3", patternBytes(2048));
    RequestRecorder server;
    EXPECT_EQ(upload(server, (dir / "clip.mp3").string(), "s1", [](const auto&) { return true; }).status,
              kUploadDone);
}

TEST(Upload, FailsWith101WithoutAFileOrAService)
{
    test::TempDir dir;
    test::writeFile(dir / "clip.mp3", "abc");
    RequestRecorder server;
    EXPECT_EQ(upload(server, (dir / "missing.mp3").string(), "s1").status, kUploadFailed);
    EXPECT_EQ(upload(server, dir.path().string(), "s1").status, kUploadFailed);
    // Opening a named pipe must not wait for a writer that never comes.
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    EXPECT_EQ(upload(server, (dir / "pipe.mp3").string(), "s1").status, kUploadFailed);

    // An empty file has no body to count: only the transfer's result tells that nothing went out.
    test::writeFile(dir / "empty.mp3", "");
    const service_endpoint::ServiceHost unreachable[] = {{"127.0.0.1", unusedPort()}, {"nohost.invalid", 80}};
    for (const auto& host : unreachable) {
        for (const char* name : {"clip.mp3", "empty.mp3"}) {
            SCOPED_TRACE(host.authority() + " " + name);
            std::vector<std::int32_t> progress;
            const UploadRequest request{host, (dir / name).string(), "s1"};
            EXPECT_EQ(runUpload(request, [&](std::int32_t p) { progress.push_back(p); }, [] { return false; }),
                      kUploadFailed);
            EXPECT_TRUE(progress.empty());
        }
    }
}

class UploadJob : public ::testing::Test {
protected:
    RequestRecorder server{true};
    const service_endpoint::ServiceHost host{"127.0.0.1", server.port()};
    SharedJobFields fields = std::make_shared<JobFields>();
    test::TempDir dir;
};

TEST_F(UploadJob, RunsOnItsThreadAndEndsWith100)
{
    const std::string bytes = patternBytes(5000);
    test::writeFile(dir / "clip.mp3", bytes);
    fields->upStatus.store(fields->upStatus.generation(), 77);
    fields->breakFlag = true;  // a start clears an earlier break
    ASSERT_TRUE(startUpload(fields, host, (dir / "clip.mp3").string(), "sid"));
    EXPECT_FALSE(fields->breakFlag.load());
    EXPECT_NE(fields->upStatus.value(), 77);
    server.release();
    ASSERT_TRUE(test::waitUntil([&] { return fields->upStatus.value() >= 100; }));
    EXPECT_EQ(fields->upStatus.value(), kUploadDone);
    ASSERT_TRUE(server.waitDone());
    EXPECT_EQ(server.body(), bytes);
}

TEST_F(UploadJob, BreakFlagStopsAStalledUpload)
{
    // Larger than what the socket buffers hold, so it cannot finish while the
    // server is not reading.
    const std::string bytes = patternBytes(16 << 20);
    test::writeFile(dir / "clip.mp3", bytes);
    ASSERT_TRUE(startUpload(fields, host, (dir / "clip.mp3").string(), "sid"));
    ASSERT_TRUE(server.waitHead());
    fields->breakFlag = true;
    server.release();
    ASSERT_TRUE(test::waitUntil([&] { return fields->upStatus.value() >= 100; }));
    EXPECT_EQ(fields->upStatus.value(), kUploadFailed);
    ASSERT_TRUE(server.waitDone());
    EXPECT_LT(server.body().size(), bytes.size());
}

TEST_F(UploadJob, NewerStartCutsTheOlderJobOff)
{
    test::writeFile(dir / "clip.mp3", patternBytes(3000));
    ASSERT_TRUE(startUpload(fields, host, (dir / "clip.mp3").string(), "first"));
    ASSERT_TRUE(server.waitHead());
    // The second upload goes nowhere and fails; the first one, released later,
    // must not overwrite that outcome with its own.
    ASSERT_TRUE(startUpload(fields, {"127.0.0.1", unusedPort()}, (dir / "clip.mp3").string(), "second"));
    ASSERT_TRUE(test::waitUntil([&] { return fields->upStatus.value() >= 100; }));
    server.release();
    // Each job holds the fields until its thread ends: once only we hold them,
    // the first job has made every store it was going to make.
    ASSERT_TRUE(test::waitUntil([&] { return fields.use_count() == 1; }));
    EXPECT_EQ(fields->upStatus.value(), kUploadFailed);
}

}  // namespace
}  // namespace quillon::jobs
