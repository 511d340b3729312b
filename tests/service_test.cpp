#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "jobs/http_request_job.h"
#include "jobs/upload_job.h"
#include "service/clip_service.h"
#include "service/mpeg_audio.h"
#include "service/service_options.h"
#include "service/service_routes.h"
#include "tests/test_support.h"

extern char** environ;

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

std::string id3Tag(std::size_t payload)
{
    std::string tag = "ID3\x03";
    tag += '\0';
    tag += '\0';
    for (int shift = 21; shift >= 0; shift -= 7)
        tag += static_cast<char>((payload >> shift) & 0x7F);
    return tag + std::string(payload, '\0');
}

TEST(MpegAudio, FrameLengthsFromHeaders)
{
    const struct {
        std::array<std::uint8_t, 4> header;
        std::optional<std::size_t> length;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 417},           // MPEG-1 layer III 128k 44.1k
        {{0xFF, 0xFB, 0x92, 0x00}, 418},           // the same, padded
        {{0xFF, 0xFB, 0xE4, 0x00}, 960},           // 320k at 48k
        {{0xFF, 0xF3, 0x80, 0x00}, 208},           // MPEG-2 layer III 64k 22.05k
        {{0xFF, 0xE3, 0x88, 0x00}, 576},           // MPEG-2.5 layer III 64k 8k
        {{0xFF, 0xFD, 0x90, 0x00}, 522},           // MPEG-1 layer II 160k 44.1k
        {{0xFF, 0xFF, 0x10, 0x00}, 32},            // MPEG-1 layer I 32k 44.1k
        {{0xFF, 0xFB, 0x00, 0x00}, std::nullopt},  // free format
        {{0xFF, 0xFB, 0xF0, 0x00}, std::nullopt},  // bad bitrate
        {{0xFF, 0xFB, 0x9C, 0x00}, std::nullopt},  // reserved sample rate
        {{0xFF, 0xEB, 0x90, 0x00}, std::nullopt},  // reserved version
        {{0xFF, 0xF9, 0x90, 0x00}, std::nullopt},  // reserved layer
        {{0xFF, 0xFB, 0x90, 0x02}, std::nullopt},  // reserved emphasis
        {{0xFE, 0xFB, 0x90, 0x00}, std::nullopt},  // no sync
        {{'I', 'D', '3', 0x03}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mpegFrameLength(c.header), c.length) << int(c.header[1]) << " " << int(c.header[2]);
}

TEST(MpegAudio, Id3v2TagLengths)
{
    const struct {
        std::array<std::uint8_t, 10> header;
        std::size_t length;
    } cases[] = {
        {{'I', 'D', '3', 3, 0, 0, 0, 0, 2, 1}, 267},
        {{'I', 'D', '3', 4, 0, 0x10, 0, 0, 2, 1}, 277},  // with footer
        {{'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, 10 + 0x0FFFFFFF},
        {{'I', 'D', '3', 3, 0, 0, 0, 0, 0x80, 0}, 0},  // not sync-safe
        {{'I', 'D', '3', 0xFF, 0, 0, 0, 0, 0, 0}, 0},
        {{'I', 'D', '4', 3, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(id3v2TagLength(c.header), c.length);
}

TEST(MpegAudio, TellsClipsFromOtherFiles)
{
    const struct {
        const char* what;
        std::string bytes;
        bool mpeg;
    } cases[] = {
        {"frames", mpegClip(3), true},
        {"one whole frame", mpegClip(1), true},
        {"tag then frames", id3Tag(300) + mpegClip(2), true},
        {"frames then ID3v1", mpegClip(2) + "TAG" + std::string(125, ' '), true},
        {"cut frame", mpegClip(1).substr(0, 400), false},
        {"frame then noise", mpegClip(1) + "noise", false},
        {"tag longer than file", id3Tag(300).substr(0, 100), false},
        {"tag alone", id3Tag(300), false},
        {"text", "hello, this is no audio at all", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        test::writeFile(dir / "clip", c.bytes);
        EXPECT_EQ(isMpegAudioFile(dir / "clip"), c.mpeg) << c.what;
    }
    EXPECT_FALSE(isMpegAudioFile("/nonexistent/clip.mp3"));
}

TEST(ServiceOptions, ParsesTheCommandLine)
{
    const auto ok = parseServiceOptions({"--storage", "/srv/clips", "--port", "0", "--host", "0.0.0.0",
                                         "--max-clip-bytes", "1000"});
    ASSERT_TRUE(std::holds_alternative<ServiceOptions>(ok));
    const auto& options = std::get<ServiceOptions>(ok);
    EXPECT_EQ(options.storage, "/srv/clips");
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.host, "0.0.0.0");
    EXPECT_EQ(options.maxClipBytes, 1000u);

    const auto defaults = parseServiceOptions({"--storage", "x"});
    ASSERT_TRUE(std::holds_alternative<ServiceOptions>(defaults));
    EXPECT_EQ(std::get<ServiceOptions>(defaults).host, "127.0.0.1");
    EXPECT_EQ(std::get<ServiceOptions>(defaults).port, 8080);

    const struct {
        std::vector<std::string> args;
        std::string message;
        int exitCode;
    } refused[] = {
        {{}, "--storage is required", 2},
        {{"--storage"}, "--storage needs a value", 2},
        {{"--storage", "x", "--port", "65536"}, "bad port 65536", 2},
        {{"--storage", "x", "--port", "8o"}, "bad port 8o", 2},
        {{"--storage", "x", "--max-clip-bytes", "0"}, "bad clip size 0", 2},
        {{"--storage", "x", "--verbose", "1"}, "unknown argument --verbose", 2},
        {{"stray"}, "unknown argument stray", 2},
        {{"--help"}, "usage: quillon-service", 0},
    };
    for (const auto& c : refused) {
        const auto result = parseServiceOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<UsageMessage>(result)) << c.message;
        EXPECT_NE(std::get<UsageMessage>(result).text.find(c.message), std::string::npos)
            << std::get<UsageMessage>(result).text;
        EXPECT_EQ(std::get<UsageMessage>(result).exitCode, c.exitCode);
    }
}

// Feeds bytes to the service in chunks, as a server would; complete says
// whether the whole body arrived.
BodyReader bodyOf(const std::string& bytes, bool complete = true)
{
    return [bytes, complete](const ChunkReceiver& receive) {
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
            if (!receive(bytes.data() + at, std::min<std::size_t>(1000, bytes.size() - at)))
                return false;
        }
        return complete;
    };
}

std::string openSid(ClipService& clips)
{
    const Reply reply = clips.openSession({{"phone", "+420123456789"}, {"network", "T-Mobile"}});
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body.starts_with("OK ")) << reply.body;
    const std::string sid = reply.body.substr(3);
    EXPECT_TRUE(ClipService::isSessionId(sid)) << sid;
    return sid;
}

TEST(ClipService, SessionsNeedAPhoneAndANetwork)
{
    test::TempDir dir;
    ClipService clips(dir.path(), 1 << 20);
    const struct {
        Params params;
        std::string body;
    } refused[] = {
        {{{"network", "x"}}, "ERROR missing phone"},
        {{{"phone", "12ab56"}, {"network", "x"}}, "ERROR invalid phone number"},
        {{{"phone", "123"}, {"network", "x"}}, "ERROR invalid phone number"},
        {{{"phone", "123456"}}, "ERROR missing network"},
        {{{"phone", "123456"}, {"network", "a\nb"}}, "ERROR invalid parameters"},
        {{{"phone", "123456"}, {"network", "x"}, {"aff", std::string(17, '2')}}, "ERROR invalid parameters"},
    };
    for (const auto& c : refused) {
        const Reply reply = clips.openSession(c.params);
        EXPECT_EQ(reply.body, c.body);
        EXPECT_EQ(reply.status, 400);
    }
    const std::string first = openSid(clips);
    EXPECT_NE(openSid(clips), first);
}

TEST(ClipService, StoresAnMpegClipAndReportsItReady)
{
    test::TempDir dir;
    ClipService clips(dir.path(), 1 << 20);
    const std::string sid = openSid(clips);
    EXPECT_EQ(clips.status(sid, "svc:81").body, "WAITING");

    const std::string clip = mpegClip(40);
    const Reply stored = clips.storeClip(sid, bodyOf(clip));
    EXPECT_EQ(stored.body, "OK");
    EXPECT_EQ(test::readFile(dir / (sid + ".mp3")), clip);
    EXPECT_EQ(clips.status(sid, "svc:81").body, "READY http://svc:81/clips/" + sid + ".mp3");
    const Reply download = clips.clip(sid);
    EXPECT_EQ(download.contentType, "audio/mpeg");
    EXPECT_TRUE(download.body == clip);

    // A new service over the same folder still knows the finished session.
    ClipService restarted(dir.path(), 1 << 20);
    EXPECT_EQ(restarted.status(sid, "svc").body, "READY http://svc/clips/" + sid + ".mp3");
}

TEST(ClipService, RefusedUploadsLeaveNothingBehind)
{
    test::TempDir dir;
    ClipService clips(dir.path(), 10000);
    const std::string sid = openSid(clips);
    const struct {
        std::string sid;
        BodyReader body;
        int status;
        std::string reply;
    } cases[] = {
        {"0123456789abcdef", bodyOf(mpegClip(2)), 404, "ERROR unknown session"},
        {"../../etc/passwd", bodyOf(mpegClip(2)), 404, "ERROR unknown session"},
        {sid, bodyOf(mpegClip(30)), 413, "ERROR clip too large"},
        {sid, bodyOf("plain text, not audio"), 415, "ERROR not MPEG audio"},
        {sid, bodyOf(""), 400, "ERROR empty clip"},
        {sid, bodyOf(mpegClip(2), false), 400, "ERROR incomplete upload"},
    };
    for (const auto& c : cases) {
        const Reply reply = clips.storeClip(c.sid, c.body);
        EXPECT_EQ(reply.body, c.reply);
        EXPECT_EQ(reply.status, c.status);
        // The status check tells why the last upload was refused.
        if (c.sid == sid)
            EXPECT_EQ(clips.status(sid, "svc").body, c.reply);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(clips.status("0123456789abcdef", "svc").body, "ERROR unknown session");
    EXPECT_EQ(clips.clip(sid).status, 404);
}

TEST(ClipService, RedirectPageEscapesWhere)
{
    const Reply page = ClipService::redirectPage({{"where", "<help&>"}, {"pid", "2"}});
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("<h1>&lt;help&amp;&gt;</h1>"), std::string::npos) << page.body;
    EXPECT_EQ(page.body.find("<help"), std::string::npos);
    EXPECT_EQ(ClipService::redirectPage({}).body, "ERROR missing where");
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
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!server.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
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
    EXPECT_EQ(jobs::runUpload(request, [](std::int32_t) {}, [] { return false; }), jobs::kUploadDone);
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
    const auto tooLarge = client.Post("/cgi-bin/dte_upload2.cgi?sid=" + sid + "&ver=210&aff=2&pid=2",
                                      mpegClip(200), "audio/mpeg");
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

TEST_F(RunningService, ReadyAddressFallsBackWhenHostIsUnusable)
{
    const std::string sid = get("/cgi-bin/dte_session.cgi?phone=123456&network=O2").substr(3);
    test::writeFile(dir / "upload.mp3", mpegClip(3));
    const jobs::UploadRequest request{{"127.0.0.1", port}, (dir / "upload.mp3").string(), sid};
    ASSERT_EQ(jobs::runUpload(request, [](std::int32_t) {}, [] { return false; }), jobs::kUploadDone);
    httplib::Client client("127.0.0.1", port);
    const auto reply = client.Get("/cgi-bin/dte_status.cgi?sid=" + sid, {{"Host", "evil\"<script>"}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "READY http://fallback:1/clips/" + sid + ".mp3");
}

// The program itself: it reads its command line, listens, and says where.
struct Child {
    pid_t pid = -1;
    int output = -1;
};

Child spawnService(const std::vector<std::string>& args, bool toStderr = false)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], toStderr ? 2 : 1);
    std::vector<std::string> all{QUILLON_SERVICE_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, QUILLON_SERVICE_EXE, &actions, nullptr, argv.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    child.output = pipeFds[0];
    return child;
}

std::string readLine(int fd)
{
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

int waitExit(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ServiceProgram, ListensOnThePortItNamesAndStoresIntoItsFolder)
{
    test::TempDir dir;
    Child child = spawnService({"--port", "0", "--storage", (dir / "clips").string()});
    ASSERT_GT(child.pid, 0);
    const std::string line = readLine(child.output);
    ::close(child.output);
    ASSERT_TRUE(line.starts_with("listening on http://127.0.0.1:")) << line;
    const int port = std::stoi(line.substr(30));

    httplib::Client client("127.0.0.1", port);
    const auto session = client.Get("/cgi-bin/dte_session.cgi?phone=123456&network=O2");
    ::kill(child.pid, SIGTERM);
    EXPECT_NE(waitExit(child.pid), 0);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->body.starts_with("OK ")) << session->body;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "clips"));
}

TEST(ServiceProgram, BadCommandLineGivesUsageAndExitCode2)
{
    Child child = spawnService({"--port", "x"}, true);
    ASSERT_GT(child.pid, 0);
    const std::string first = readLine(child.output);
    const std::string second = readLine(child.output);
    ::close(child.output);
    EXPECT_EQ(waitExit(child.pid), 2);
    EXPECT_EQ(first, "quillon-service: bad port x");
    EXPECT_TRUE(second.starts_with("usage: quillon-service --storage DIR")) << second;
}

}  // namespace
}  // namespace quillon::service
