// The reference service: its routes, as the pages and the network jobs use them, and its program.
#include <httplib.h>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "base/unique_fd.h"
#include "network/http_request_job.h"
#include "network/upload_job.h"
#include "process/run_tool.h"
#include "service/clip_service.h"
#include "service/server_limits.h"
#include "service/service_routes.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::network {
namespace {

// MPEG-1 layer III, 128 kbit/s, 44100 Hz, no padding: 417 bytes a frame.
std::string mpegClip(int frames)
{
    std::string clip;
    for (int i = 0; i < frames; ++i)
        clip += std::string("\xFF\xFB\x90\0", 4) + std::string(413, static_cast<char>(i & 0x7F));
    return clip;
}

// The service's routes on 127.0.0.1 at a port picked at run time.
class LocalServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = server.bind_to_any_port("127.0.0.1");
        service::limitConnections(server);
        service::installRoutes(server, clips, "fallback:1");
        thread = std::thread([this] { server.listen_after_bind(); });
        test::waitUntil([this] { return server.is_running(); });
    }
    void TearDown() override
    {
        server.stop();
        thread.join();
    }
    static bool never() { return false; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    std::string get(const std::string& path) const { return fetchResponseText(url(path), never, makeCurlHandle, {}); }

    test::TempDir dir;
    service::ClipService clips{dir.path(), 64 << 10};
    httplib::Server server;
    int port = 0;
    std::thread thread;
};

// What the pages and the upload job rely on; every refusal is plain text.
TEST_F(LocalServer, ServiceServesTheBytesTheJobUploaded)
{
    EXPECT_EQ(get("/cgi-bin/dte_session.cgi?network=O2"), "ERROR missing phone");
    const std::string session = get("/cgi-bin/dte_session.cgi?phone=%2B420123456789&network=O2&number=7&aff=7");
    ASSERT_TRUE(session.starts_with("OK ")) << session;
    const std::string sid = session.substr(3);
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=" + sid), "WAITING");
    httplib::Client client("127.0.0.1", port);
    for (const std::string& path : {"/clips/" + sid + ".mp3", std::string("/clips/..%2F..%2Fetc%2Fpasswd.mp3")}) {
        const auto answer = client.Get(path);
        EXPECT_TRUE(answer && answer->status == 404) << path;
    }

    const std::string upload = uploadTarget(sid);
    const std::tuple<std::string, int, const char*> refused[] = {
        {mpegClip(200), 413, "ERROR clip too large"},
        {"text", 415, "ERROR not MPEG audio"},
        {mpegClip(3).replace(417, 1, "\xFE"), 415, "ERROR not MPEG audio"},  // a broken second frame
    };
    for (const auto& [body, status, reply] : refused) {
        const auto answer = client.Post(upload, body, "audio/mpeg");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, status);
        EXPECT_EQ(answer->body, reply);
        EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=" + sid), reply);  // the uploading job reads no reply
    }

    // Far over the limit, the clip is still read whole: the sender hears the refusal, not a reset connection.
    test::writeFile(dir / "upload.mp3", mpegClip(10'000));
    const UploadRequest request{{"127.0.0.1", port}, (dir / "upload.mp3").string(), sid};
    const auto ignore = [](std::int32_t) {};
    EXPECT_EQ(runUpload(request, ignore, never), kUploadDone);
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=" + sid), "ERROR clip too large");
    ASSERT_TRUE(client.Post(upload, mpegClip(100), "audio/mpeg"));
    EXPECT_EQ(get("/cgi-bin/dte_status.cgi?sid=" + sid), "READY " + url("/clips/" + sid + ".mp3") + " STORED");
    const auto download = client.Get("/clips/" + sid + ".mp3");
    ASSERT_TRUE(download);
    EXPECT_EQ(download->get_header_value("Content-Type"), "audio/mpeg");
    EXPECT_TRUE(download->body == mpegClip(100));
    EXPECT_NE(get("/redir.php?where=help").find("<h1>help</h1>"), std::string::npos);
}

// Forty clients sending their request heads a line a second hold no worker a real request needs.
TEST_F(LocalServer, ServiceAnswersWhileSlowClientsHoldConnections)
{
    using namespace std::chrono_literals;
    const std::vector<base::UniqueFd> slow = test::silentConnections(port, 40);
    for (const base::UniqueFd& fd : slow)  // each send waits for its connection to be made
        ASSERT_TRUE(test::waitUntil([&] { return ::send(fd.get(), "GET /abc HTTP/1.1\r\n", 19, MSG_NOSIGNAL) == 19; }));
    std::atomic<bool> answered = false;
    std::thread trickle([&] {  // for 8 s at most
        for (int second = 1; second <= 8 && !test::waitUntil([&] { return answered.load(); }, 1s); ++second)
            for (const base::UniqueFd& fd : slow)
                (void)::send(fd.get(), "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
    });
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5s);
    const auto reply = client.Get("/cgi-bin/dte_status.cgi?sid=none");
    answered = true;
    trickle.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "ERROR unknown session");
}

TEST(ServiceProgram, ExitCodeTellsHowItEnded)
{
    const test::TempDir dir;
    const std::string exe = QUILLON_SERVICE_EXE, storage = (dir / "clips").string();
    const auto never = [] { return false; };
    const std::pair<std::vector<std::string>, std::uint32_t> cases[] = {
        {{exe, "--help"}, 0},
        {{exe, "--port", "65536", "--storage", storage}, 2},
        {{exe, "--max-clip-bytes", "0", "--host", ""}, 2},
        {{exe, "--port", "0", "--bogus"}, 2},
        {{exe, "--port", "0"}, 2},                                               // no storage
        {{exe, "--storage", storage, "--host", "192.0.2.1", "--port", "0"}, 1},  // cannot listen there
    };
    for (const auto& [argv, exitCode] : cases)
        EXPECT_EQ(process::runTool(argv, never).exitStatus, exitCode) << argv[1];
    pid_t pid = 0;
    std::string output, status;
    std::chrono::steady_clock::time_point terminated;  // killed if it does not end within 10 s of SIGTERM
    const process::ToolOutcome served = process::streamTool(
        {exe, "--storage", storage, "--host", "127.0.0.1", "--port", "0"},
        [&] { return !status.empty() && std::chrono::steady_clock::now() > terminated + std::chrono::seconds(10); },
        [&](const process::ChildProcess& child) { pid = child.pid(); },
        [&](std::string_view block) {
            output += block;
            if (status.empty() && output.ends_with("/\n")) {
                const auto reply = httplib::Client("127.0.0.1", std::stoi(output.substr(output.rfind(':') + 1)))
                                       .Get("/cgi-bin/dte_status.cgi?sid=none");
                status = reply ? reply->body : "no answer";
                terminated = std::chrono::steady_clock::now();
                ::kill(pid, SIGTERM);
            }
        });
    EXPECT_EQ(status, "ERROR unknown session");
    EXPECT_EQ(served.exitStatus, 0u) << output;
}

}  // namespace
}  // namespace quillon::network
