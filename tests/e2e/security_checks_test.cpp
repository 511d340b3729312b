// The real app against someone who wants in: foreign pages reached by redirects and
// frames, other processes, shell metacharacters in paths, line breaks in texts that
// end up in requests, other URL schemes, and the modes of the files it writes.
#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/cd_image_builder.h"
#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/reliability_support.h"
#include "tests/process_probe.h"

using namespace quillon::test;

namespace {


std::string jsString(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\')
            quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\r')
            quoted += "\\r";
        else
            quoted += c;
    }
    return quoted + "'";
}

using SecurityTest = AppTest;

}  // namespace

TEST_F(SecurityTest, ForeignPagesGetNoBridgeThroughRedirectsOrFrames)
{
    httplib::Server server;
    const auto remote = [](const std::string& label) {
        return page("var seen = typeof (window.external && window.external.DTE_IsDTE);"
                    "var parentSeen; try { parentSeen = typeof parent.external.DTE_IsDTE; } catch (e) { parentSeen = 'blocked'; }"
                    "report('" + label + " ' + seen + ' ' + parentSeen);");
    };
    server.Get("/remote.html", [&](const httplib::Request&, httplib::Response& res) { res.set_content(remote("remote"), "text/html"); });
    server.Get("/framed.html", [&](const httplib::Request&, httplib::Response& res) { res.set_content(remote("framed"), "text/html"); });
    server.Get("/to-remote", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/remote.html"); });
    server.Get("/to-framed", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/framed.html"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    app.addPage("selectSong.html", page("var BASE = '" + base + "';" + R"(
        report('local ' + typeof window.external.DTE_IsDTE);
        var frame = document.createElement('iframe');
        frame.src = BASE + '/to-framed';
        document.body.appendChild(frame);
        setTimeout(function () { location.href = BASE + '/to-remote'; }, 2000);
    )"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("local"), "local function") << run.output();
    // Framed: no object of its own, and the app page around it is out of reach.
    EXPECT_EQ(run.waitForReport("framed"), "framed undefined blocked") << run.output();
    // At the top, parent is the page itself, which has no object either.
    EXPECT_EQ(run.waitForReport("remote"), "remote undefined blocked") << run.output();
    EXPECT_TRUE(run.running());
    server.stop();
    serving.join();
}

TEST_F(SecurityTest, NoOtherProcessCanConnectToTheAppOrItsPages)
{
    app.addPage("selectSong.html", page("report('up ' + window.external.DTE_GetVersion());"));
    AppRun run(app);
    ASSERT_EQ(run.waitForReport("up"), "up 210") << run.output();
    const auto pid = appProcess(app);
    ASSERT_TRUE(pid);
    std::vector<pid_t> processes{*pid};
    ASSERT_TRUE(waitUntil([&] { return !webProcesses(*pid).empty(); }));
    for (const pid_t web : webProcesses(*pid))
        processes.push_back(web);
    for (const pid_t process : processes)
        EXPECT_EQ(listeningSockets(process), std::vector<std::string>{}) << "process " << process;
}

TEST_F(SecurityTest, PathsWithShellMetacharactersReachTheToolsByteForByte)
{
    writeRecordingTool(app.res() / "ffmpeg", app.dir().path() / "ffmpeg.args");
    writeRecordingTool(app.res() / "mp3gain", app.dir().path() / "mp3gain.args");
    const std::string dir = app.dir().path().string() + "/";
    const std::vector<std::string> names = {
        "$(touch " + dir + "PWNED).mp3", "`touch " + dir + "PWNED`.mp3", "a; touch " + dir + "PWNED; b.mp3",
        "x | touch " + dir + "PWNED.mp3", "it's \"quoted\".mp3", "line\nbreak & tab\t.mp3", "-y.mp3",
    };
    std::string calls;
    for (const auto& name : names) {
        calls += "[" + jsString(dir + name) + ", " + jsString(name) + "],";
        // The input must exist (a "/" in a name makes folders of its start).
        std::filesystem::create_directories(std::filesystem::path(dir + name).parent_path());
        writeFile(dir + name, "ID3");
    }
    app.addPage("selectSong.html", page(std::string(kPollScript) + "var CASES = [" + calls + "];" + R"(
        var at = 0;
        function next() {
            if (at == CASES.length) { report('done'); return; }
            var c = CASES[at++];
            report('transcode ' + window.external.DTE_TranscodeMedia(c[0], c[1]));
            poll('DTE_tsStatus', function (v) { return v != 0; }, function (v) {
                report('ts ' + v + ' ' + window.external.DTE_tsReason);
                report('normalize ' + window.external.DTE_NormalizeAudio(c[0]));
                poll('DTE_norStatus', function (v) { return v == 100 || v > 200; }, function (v) {
                    report('nor ' + v);
                    next();
                });
            });
        }
        next();
    )"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("done", 120s)) << run.output();
    for (const auto& report : run.reports()) {
        if (report.rfind("ts ", 0) == 0) {
            EXPECT_EQ(report, "ts 2 no-output");  // the stand-in writes no clip
        } else if (report.rfind("nor ", 0) == 0) {
            EXPECT_EQ(report, "nor 100");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(app.dir().path() / "PWNED")) << "a path reached a shell";
    // The last case's arguments, exactly as the page passed them.
    const std::string last = dir + names.back();
    const auto encoder = readArgs(app.dir().path() / "ffmpeg.args");
    ASSERT_EQ(encoder.size(), 11u);
    EXPECT_EQ(encoder[2], last);
    EXPECT_EQ(encoder[10], "./" + names.back());
    const auto gain = readArgs(app.dir().path() / "mp3gain.args");
    ASSERT_FALSE(gain.empty());
    EXPECT_EQ(gain.back(), last);
}

TEST_F(SecurityTest, LineBreaksInPageTextsNeverBecomeRequestHeaders)
{
    RawHttpServer server;
    ASSERT_GT(server.port(), 0);
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    const auto clip = app.dir().path() / "clip.mp3";
    writeFile(clip, std::string(5000, 'c'));
    const std::string evil = "abc\r\nX-Injected: yes\r\n\r\nGET /smuggled HTTP/1.1";
    app.addPage("selectSong.html", page(std::string(kPollScript) + "var CLIP = " + jsString(clip.string()) + ", EVIL = " +
                                        jsString(evil) + ", HOST = '" + host + "';" + R"(
        report('upload ' + window.external.DTE_UploadFile(CLIP, EVIL));
        poll('DTE_upStatus', function (v) { return v >= 100; }, function (v) {
            report('up ' + v);
            report('get ' + window.external.DTE_MakeHttpRequest('http://' + HOST + '/get?q=' + EVIL));
            poll('DTE_xhStatus', function (v) { return v == 1; }, function () {
                report('get2 ' + window.external.DTE_MakeHttpRequest('http://' + HOST + '/get?q=' + encodeURIComponent(EVIL)));
                poll('DTE_xhStatus', function (v) { return v == 1; }, function () { report('done'); });
            });
        });
    )"));
    AppRun run(app, {}, {{"QUILLON_SERVICE", host}});
    ASSERT_TRUE(run.waitForReport("done", 60s)) << run.output();
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    bool sawUpload = false;
    for (const auto& request : requests) {
        const std::string head = request.substr(0, request.find("\r\n\r\n"));
        sawUpload = sawUpload || head.rfind("POST /cgi-bin/dte_upload2.cgi?sid=", 0) == 0;
        EXPECT_EQ(head.find("\r\nX-Injected"), std::string::npos) << head;
        EXPECT_EQ(request.find("GET /smuggled"), std::string::npos) << request.substr(0, 300);
        // The request line holds no raw control characters.
        const std::string line = head.substr(0, head.find("\r\n"));
        for (const char c : line)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
    }
    EXPECT_TRUE(sawUpload);
}

TEST_F(SecurityTest, HttpRequestRefusesEveryOtherScheme)
{
    RawHttpServer server;
    const std::string port = std::to_string(server.port());
    writeFile(app.dir().path() / "secret.txt", "top secret");
    const std::vector<std::string> urls = {
        "file://" + (app.dir().path() / "secret.txt").string(), "ftp://127.0.0.1:" + port + "/x",
        "data:text/plain,top%20secret", "javascript:report('ran')", "gopher://127.0.0.1:" + port + "/",
        "dict://127.0.0.1:" + port + "/", "127.0.0.1:" + port + "/plain",
    };
    std::string list;
    for (const auto& url : urls)
        list += jsString(url) + ",";
    app.addPage("selectSong.html", page(std::string(kPollScript) + "var URLS = [" + list + "];" + R"(
        var at = 0;
        function next() {
            if (at == URLS.length) { report('done'); return; }
            var started = window.external.DTE_MakeHttpRequest(URLS[at++]);
            poll('DTE_xhStatus', function (v) { return v == 1; }, function () {
                report('url ' + started + ' [' + window.external.DTE_xhResponse + ']');
                next();
            });
        }
        next();
    )"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("done", 60s)) << run.output();
    std::size_t answered = 0;
    for (const auto& report : run.reports()) {
        if (report.rfind("url ", 0) != 0)
            continue;
        ++answered;
        EXPECT_EQ(report.find("secret"), std::string::npos) << report;
        EXPECT_NE(report, "url true [OK]") << report;
        EXPECT_NE(report, "ran");
    }
    EXPECT_EQ(answered, urls.size());
    EXPECT_EQ(server.requests(), std::vector<std::string>{}) << "a refused scheme still reached the network";
}

TEST_F(SecurityTest, SettingsAndRippedAudioAreReadableByTheirOwnerOnly)
{
    const auto image = writeDiscImage(app.dir().path(), "disc", {{300}, {200}});
    std::filesystem::create_directories(app.res() / "tmp");
    const auto wav = app.res() / "tmp" / "track.wav";
    app.addPage("selectSong.html", page(std::string(kPollScript) + "var WAV = " + jsString(wav.string()) + ";" + R"(
        window.external.DTE_SetTEPhone('+4915112345678');
        var drives = window.external.DTE_GetDrivesInfo().split(':::');
        report('rip ' + window.external.DTE_GrabAudioDataFromCD(String(drives.length - 1), '1', WAV));
        poll('DTE_ripStatus', function (v) { return v >= 100; }, function (v) { report('ripped ' + v); });
    )"));
    AppRun run(app, {}, {{"QUILLON_CD_IMAGES", image.cue.string()}});
    ASSERT_EQ(run.waitForReport("ripped"), "ripped 100") << run.output();
    const auto database = app.configHome() / "quillon" / "registry.sqlite3";
    EXPECT_EQ(permissionsOf(database), 0600u);
    EXPECT_EQ(permissionsOf(database.parent_path()), 0700u);
    EXPECT_EQ(permissionsOf(wav), 0600u);
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 200u * kImageFrameBytes);
}
