#include "jobs/upload_job.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::jobs {
namespace {

// A one-shot HTTP server on 127.0.0.1 that keeps the exact bytes of the request (the
// head, then as much of the announced body as arrives) and answers nothing. With
// holdAccept it accepts after release(), so the client stalls once buffers are full.
class RequestRecorder {
public:
    explicit RequestRecorder(bool holdAccept = false)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(address.sin_port);
        if (!holdAccept)
            release();
        request_ = std::async(std::launch::async, [this] { return serve(); });
    }
    ~RequestRecorder()
    {
        release();
        ::shutdown(listener_, SHUT_RDWR);  // ends an accept that no client will answer
        if (request_.valid())
            request_.wait();
        ::close(listener_);
    }
    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string authority() const { return "127.0.0.1:" + std::to_string(port_); }
    void release()
    {
        std::call_once(once_, [this] { released_.set_value(); });
    }
    // Head and body, once the client has sent everything or hung up.
    std::pair<std::string, std::string> request() { return request_.get(); }

private:
    std::pair<std::string, std::string> serve()
    {
        released_.get_future().wait();
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::string bytes;
        char block[65536];
        std::size_t headEnd;
        ssize_t got = 1;
        while ((headEnd = bytes.find("\r\n\r\n")) == std::string::npos &&
               (got = ::recv(client, block, sizeof block, 0)) > 0)
            bytes.append(block, static_cast<std::size_t>(got));
        if (headEnd == std::string::npos) {
            ::close(client);
            return {bytes, ""};
        }
        const auto lengthAt = bytes.find("Content-Length: ");
        const std::size_t length = lengthAt < headEnd ? std::stoull(bytes.substr(lengthAt + 16)) : 0;
        while (bytes.size() < headEnd + 4 + length && (got = ::recv(client, block, sizeof block, 0)) > 0)
            bytes.append(block, static_cast<std::size_t>(got));
        ::close(client);
        return {bytes.substr(0, headEnd + 4), bytes.substr(headEnd + 4)};
    }

    int listener_ = -1;
    int port_ = 0;
    std::once_flag once_;
    std::promise<void> released_;
    std::future<std::pair<std::string, std::string>> request_;
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

// The id goes in as given but for what would break the request line.
TEST(Upload, TargetKeepsQueryCharactersAndEncodesWhatWouldBreakTheLine)
{
    EXPECT_EQ(uploadTarget(std::string("a&b=c?d#e%41/f~ x\r\n\0\t\x7F\xC3\xBC", 24)),
              "/cgi-bin/dte_upload2.cgi?sid=a&b=c?d#e%41/f~%20x%0D%0A%00%09%7F%C3%BC&ver=210&aff=2&pid=2");
    EXPECT_EQ(uploadTarget(""), "/cgi-bin/dte_upload2.cgi?sid=&ver=210&aff=2&pid=2");
}

TEST(Upload, SendsTheExactRequestAndReportsProgressPerBlock)
{
    const std::vector<std::pair<std::size_t, std::vector<std::int32_t>>> cases = {
        {0, {}}, {2048, {}}, {2049, {99}}, {4096, {50}}, {10000, {20, 40, 61, 81}},
    };
    for (const auto& [size, progress] : cases) {
        test::TempDir dir;
        const std::string bytes = patternBytes(size);
        test::writeFile(dir / "clip.mp3", bytes);
        RequestRecorder server;
        std::vector<std::int32_t> seen;
        const UploadRequest request{{"127.0.0.1", server.port()}, (dir / "clip.mp3").string(), "a b"};
        EXPECT_EQ(runUpload(
                      request, [&](std::int32_t p) { seen.push_back(p); }, [] { return false; }),
                  kUploadDone);
        EXPECT_EQ(seen, progress) << size;
        const auto [head, body] = server.request();
        EXPECT_EQ(head, "POST /cgi-bin/dte_upload2.cgi?sid=a%20b&ver=210&aff=2&pid=2 HTTP/1.0\r\nHost: " +
                            server.authority() +
                            "\r\nUser-Agent: QLN/1.0 (Vostrel)\r\nContent-Type: audio/mpeg\r\nPragma: no-cache\r\n"
                            "Content-Length: " +
                            std::to_string(size) + "\r\n\r\n");
        EXPECT_TRUE(body == bytes) << size;
    }
}

TEST(Upload, BreakAfterABlockAMissingFileOrNoServiceGive101)
{
    test::TempDir dir;
    const std::string bytes = patternBytes(1 << 20);
    test::writeFile(dir / "clip.mp3", bytes);
    RequestRecorder server;
    std::vector<std::int32_t> seen;
    const UploadRequest request{{"127.0.0.1", server.port()}, (dir / "clip.mp3").string(), "s1"};
    EXPECT_EQ(runUpload(
                  request, [&](std::int32_t p) { seen.push_back(p); }, [&] { return seen.size() >= 3; }),
              kUploadFailed);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 0, 0}));
    const std::string body = server.request().second;
    EXPECT_LT(body.size(), bytes.size());
    EXPECT_TRUE(body == bytes.substr(0, body.size()));

    // An empty file has no body to count: only the transfer's result tells that nothing went out.
    // Opening a named pipe must not wait for a writer that never comes.
    test::writeFile(dir / "empty.mp3", "");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    for (const UploadRequest& failing : {UploadRequest{{"127.0.0.1", server.port()}, (dir / "none.mp3").string(), ""},
                                         UploadRequest{{"127.0.0.1", server.port()}, dir.path().string(), ""},
                                         UploadRequest{{"127.0.0.1", server.port()}, (dir / "pipe.mp3").string(), ""},
                                         UploadRequest{{"127.0.0.1", 1}, (dir / "clip.mp3").string(), ""},
                                         UploadRequest{{"127.0.0.1", 1}, (dir / "empty.mp3").string(), ""},
                                         UploadRequest{{"nohost.invalid", 80}, (dir / "empty.mp3").string(), ""}}) {
        seen.clear();
        EXPECT_EQ(runUpload(
                      failing, [&](std::int32_t p) { seen.push_back(p); }, [] { return false; }),
                  kUploadFailed);
        EXPECT_TRUE(seen.empty());
    }
}

class UploadJob : public ::testing::Test {
protected:
    [[nodiscard]] bool ended()
    {
        return test::waitUntil([&] { return fields->upStatus.value() >= 100; });
    }

    RequestRecorder server{true};
    const service_endpoint::ServiceHost host{"127.0.0.1", server.port()};
    SharedJobFields fields = std::make_shared<JobFields>();
    test::TempDir dir;
};

TEST_F(UploadJob, BreakFlagStopsAStalledUpload)
{
    // Larger than the socket buffers hold, so it cannot finish before the server reads.
    const std::string bytes = patternBytes(16 << 20);
    test::writeFile(dir / "clip.mp3", bytes);
    fields->breakFlag = true;  // a start clears an earlier break
    ASSERT_TRUE(startUpload(fields, host, (dir / "clip.mp3").string(), "sid"));
    EXPECT_FALSE(fields->breakFlag.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fields->breakFlag = true;
    server.release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->upStatus.value(), kUploadFailed);
    EXPECT_LT(server.request().second.size(), bytes.size());
}

TEST_F(UploadJob, NewerStartCutsTheOlderJobOff)
{
    test::writeFile(dir / "clip.mp3", patternBytes(3000));
    ASSERT_TRUE(startUpload(fields, host, (dir / "clip.mp3").string(), "first"));
    // The second upload goes nowhere and fails; the first one, let through later,
    // must not overwrite that outcome with its own success.
    ASSERT_TRUE(startUpload(fields, {"127.0.0.1", 1}, (dir / "clip.mp3").string(), "second"));
    ASSERT_TRUE(ended());
    server.release();
    EXPECT_NE(server.request().first.find("sid=first"), std::string::npos);
    // Each job holds the fields until its thread ends.
    ASSERT_TRUE(test::waitUntil([&] { return fields.use_count() == 1; }));
    EXPECT_EQ(fields->upStatus.value(), kUploadFailed);
}

}  // namespace
}  // namespace quillon::jobs
