#include "base/version.h"
#include "network/upload_job.h"
#include "service_endpoint/service_codes.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <random>
#include <vector>

#include "tests/test_support.h"

namespace quillon::jobs {
namespace {

// Bytes that differ from block to block, so a lost or repeated block shows.
std::string patternBytes(std::size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

struct Upload : ::testing::Test {
    std::int32_t upload(const std::string& sid)
    {
        const UploadRequest request{{"127.0.0.1", server.port()}, (dir / "clip.mp3").string(), sid};
        auto outcome = std::async(std::launch::async, [&] { return runUpload(request, record, [] { return false; }); });
        std::tie(head, body) = server.takeRequest();
        return outcome.get();
    }

    test::TempDir dir;
    test::StalledService server;
    std::vector<std::int32_t> progress;
    std::function<void(std::int32_t)> record = [this](std::int32_t p) { progress.push_back(p); };
    std::string head, body;
};

TEST_F(Upload, SendsTheExactRequestAndReportsProgressPerBlock)
{
    const std::vector<std::pair<std::size_t, std::vector<std::int32_t>>> cases = {
        {0, {}}, {2048, {}}, {2049, {99}}, {4096, {50}}, {10000, {20, 40, 61, 81}},
    };
    for (const auto& [size, expected] : cases) {
        const std::string bytes = patternBytes(size);
        test::writeFile(dir / "clip.mp3", bytes);
        progress.clear();
        // The id goes in as given but for what would break the request line.
        EXPECT_EQ(upload(std::string("a&b=c?d#e%41/f~ x\r\n\0\t\x7F\xC3\xBC", 24)), kUploadDone);
        EXPECT_EQ(progress, expected) << size;
        EXPECT_EQ(head, "POST /cgi-bin/dte_upload2.cgi?sid=a&b=c?d#e%41/f~%20x%0D%0A%00%09%7F%C3%BC&ver=" +
                            std::string(quillon::kVersionCode) +
                            "&aff=" + std::string(service_endpoint::kAffiliateCode) + "&pid=" +
                            std::string(service_endpoint::kProductCode) + " HTTP/1.0\r\nHost: " + server.authority() +
                            "\r\nUser-Agent: QLN/1.0 (Vostrel)\r\nContent-Type: audio/mpeg\r\nPragma: no-cache\r\n"
                            "Content-Length: " +
                            std::to_string(size) + "\r\n\r\n");
        EXPECT_TRUE(body == bytes) << size;
    }
}

TEST_F(Upload, AMissingFileOrNoServiceGive101WithoutProgress)
{
    test::writeFile(dir / "clip.mp3", patternBytes(4096));
    // An empty file has no body to count: only the transfer's result tells that nothing went out.
    // Opening a named pipe must not wait for a writer that never comes.
    test::writeFile(dir / "empty.mp3", "");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    const service_endpoint::ServiceHost here{"127.0.0.1", server.port()}, nobody{"127.0.0.1", 1};
    const std::pair<service_endpoint::ServiceHost, std::string> failing[] = {
        {here, "none.mp3"}, {here, ""}, {here, "pipe.mp3"}, {nobody, "clip.mp3"}, {nobody, "empty.mp3"}};
    for (const auto& [host, name] : failing) {
        progress.clear();
        EXPECT_EQ(runUpload({host, (dir / name).string(), ""}, record, [] { return false; }), kUploadFailed) << name;
        EXPECT_TRUE(progress.empty());
    }
}

// Every byte is out and the reply is awaited: a break ends the upload at once, and so
// does a service that never answers, once its time-out has passed; neither is "sent".
TEST_F(Upload, ABreakOrNoReplyAfterTheLastByteGive101)
{
    using namespace std::chrono_literals;
    test::writeFile(dir / "clip.mp3", patternBytes(4096));
    const UploadRequest request{{"127.0.0.1", server.port()}, (dir / "clip.mp3").string(), ""};
    auto started = std::chrono::steady_clock::now();
    const auto elapsed = [&started] { return std::chrono::steady_clock::now() - started; };
    const std::pair<std::function<bool()>, CurlTimeouts> cases[] = {
        {[&] { return elapsed() > 1500ms; }, {}},
        {[] { return false; }, {15, 1, 2}},
    };
    for (const auto& [breakRequested, timeouts] : cases) {
        progress.clear();
        started = std::chrono::steady_clock::now();
        EXPECT_EQ(runUpload(request, record, breakRequested, timeouts), kUploadFailed);
        EXPECT_LT(elapsed(), 12s) << timeouts.lowSpeedSeconds;
        EXPECT_EQ(progress, std::vector<std::int32_t>{50});
    }
}

}  // namespace
}  // namespace quillon::jobs
