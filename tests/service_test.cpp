// The reference service's contract: what it takes for a clip, and its routes over HTTP.
#include <httplib.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include "jobs/http_request_job.h"
#include "jobs/upload_job.h"
#include "service/clip_service.h"
#include "service/service_routes.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::service {
namespace {

using namespace std::chrono_literals;

// MPEG-1 layer III, 128 kbit/s, 44100 Hz, no padding: 417 bytes a frame.
constexpr std::array<std::uint8_t, 4> kFrameHeader = {0xFF, 0xFB, 0x90, 0x00};

std::string mpegClip(int frames)
{
    std::string clip;
    for (int i = 0; i < frames; ++i) {
        clip.append(reinterpret_cast<const char*>(kFrameHeader.data()), 4);
        for (int j = 0; j < 413; ++j)
            clip += static_cast<char>((i * 31 + j * 7) & 0x7F);
    }
    return clip;
}

// The service on 127.0.0.1 at a port picked at run time, in-process.
class RunningService : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        installRoutes(server, clips, "fallback:1");
        thread = std::thread([this] { server.listen_after_bind(); });
        test::waitUntil([this] { return server.is_running(); });
    }
    void TearDown() override
    {
        server.stop();
        thread.join();
    }
    [[nodiscard]] std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    [[nodiscard]] std::string get(const std::string& path) const
    {
        return jobs::fetchResponseText(url(path), [] { return false; }, jobs::makeCurlHandle, {});
    }

    test::TempDir dir;
    ClipService clips{dir.path(), 64 << 10};
    httplib::Server server;
    int port = 0;
    std::thread thread;
};

TEST_F(RunningService, UploadFromTheJobEndsAsTheSameBytesOnDisk)
{
    const std::string session = get("/cgi-bin/dte_session.cgi?phone=%2B420123456789&network=O2&number=7&aff=2");
    ASSERT_TRUE(session.starts_with("OK ")) << session;
    const std::string sid = session.substr(3);
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=" + sid), "WAITING");

    test::writeFile(dir / "upload.mp3", mpegClip(100));
    const jobs::UploadRequest request{{"127.0.0.1", port}, (dir / "upload.mp3").string(), sid};
    EXPECT_EQ(jobs::runUpload(
                  request, [](std::int32_t) {}, [] { return false; }),
              jobs::kUploadDone);
    EXPECT_EQ(test::readFile(dir / (sid + ".mp3")), mpegClip(100));

    const std::string ready = get("/cgi-bin/dte_status.cgi?sid=" + sid);
    EXPECT_EQ(ready, "READY " + url("/clips/" + sid + ".mp3"));

    httplib::Client client("127.0.0.1", port);
    const auto download = client.Get("/clips/" + sid + ".mp3");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    EXPECT_EQ(download->get_header_value("Content-Type"), "audio/mpeg");
    EXPECT_TRUE(download->body == mpegClip(100));
}

TEST_F(RunningService, ErrorsComeBackAsText)
{
    EXPECT_EQ(get("/cgi-bin/dte_session.cgi?network=O2"), "ERROR missing phone");
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=0123456789abcdef"), "ERROR unknown session");
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi"), "ERROR unknown session");

    const std::string sid = get("/cgi-bin/dte_session.cgi?phone=123456&network=O2").substr(3);
    httplib::Client client("127.0.0.1", port);
    const auto tooLarge =
        client.Post("/cgi-bin/dte_upload2.cgi?sid=" + sid + "&ver=210&aff=2&pid=2", mpegClip(200), "audio/mpeg");
    ASSERT_TRUE(tooLarge);
    EXPECT_EQ(tooLarge->status, 413);
    EXPECT_EQ(tooLarge->body, "ERROR clip too large");
    const auto noAudio =
        client.Post("/cgi-bin/dte_upload2.cgi?sid=" + sid + "&ver=210&aff=2&pid=2", "text", "audio/mpeg");
    ASSERT_TRUE(noAudio);
    EXPECT_EQ(noAudio->body, "ERROR not MPEG audio");
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=" + sid), "ERROR not MPEG audio");

    const auto missingClip = client.Get("/clips/" + sid + ".mp3");
    ASSERT_TRUE(missingClip);
    EXPECT_EQ(missingClip->status, 404);
    const auto traversal = client.Get("/clips/..%2F..%2Fetc%2Fpasswd.mp3");
    ASSERT_TRUE(traversal);
    EXPECT_EQ(traversal->status, 404);

    const std::string page = get("/redir.php?pid=2&ver=210&aff=2&where=help");
    EXPECT_NE(page.find("<h1>help</h1>"), std::string::npos) << page;
}

}  // namespace
}  // namespace quillon::service
