// The real app against someone who wants in: foreign pages reached by redirects,
// frames or files outside res/, other processes, and shell metacharacters in paths.
#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/reliability_support.h"
#include "tests/process_probe.h"

using namespace quillon::test;

namespace {

using SecurityTest = AppTest;

}  // namespace

TEST_F(SecurityTest, ForeignPagesGetNoBridgeAndNoProcessCanConnect)
{
    httplib::Server server;
    const auto remote = [](const std::string& label) {
        return page("var seen = typeof (window.external && window.external.DTE_IsDTE);"
                    "var parentSeen; try { parentSeen = typeof parent.external.DTE_IsDTE; } catch (e) { parentSeen = "
                    "'blocked'; }"
                    "report('" +
                    label + " ' + seen + ' ' + parentSeen);");
    };
    server.Get("/remote.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(remote("remote"), "text/html");
    });
    server.Get("/framed.html", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(remote("framed"), "text/html");
    });
    server.Get("/to-remote", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/remote.html"); });
    server.Get("/to-framed", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/framed.html"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    writeFile(app.dir().path() / "outside.html", remote("outside"));
    const std::string outside = "file://" + (app.dir().path() / "outside.html").string();

    app.addPage("selectSong.html", page("var BASE = '" + base + "', OUTSIDE = '" + outside + "';" + R"(
        report('local ' + typeof window.external.DTE_IsDTE);
        var frame = document.createElement('iframe');
        frame.src = BASE + '/to-framed';
        document.body.appendChild(frame);
        setTimeout(function () { location.href = OUTSIDE; }, 1500);
        setTimeout(function () { location.href = BASE + '/to-remote'; }, 3000);
    )"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("local"), "local function") << run.output();
    // The bridge is a socket pair: neither the app nor its page processes listen anywhere.
    const auto pid = appProcess(app);
    ASSERT_TRUE(pid);
    ASSERT_TRUE(waitUntil([&] { return !webProcesses(*pid).empty(); }));
    for (const pid_t process : webProcesses(*pid))
        EXPECT_EQ(listeningSockets(process), std::vector<std::string>{}) << "page process " << process;
    EXPECT_EQ(listeningSockets(*pid), std::vector<std::string>{});
    // Framed: no object of its own, and the app page around it is out of reach.
    EXPECT_EQ(run.waitForReport("framed"), "framed undefined blocked") << run.output();
    // At the top, parent is the page itself, which has no object either.
    EXPECT_EQ(run.waitForReport("remote"), "remote undefined blocked") << run.output();
    for (const auto& report : run.reports())
        EXPECT_EQ(report.rfind("outside function", 0), std::string::npos) << "a file outside res/ got the bridge";
    server.stop();
    serving.join();
}

TEST_F(SecurityTest, PathsWithShellMetacharactersReachTheToolsByteForByte)
{
    writeRecordingTool(app.res() / "ffmpeg", app.dir().path() / "ffmpeg.args");
    writeRecordingTool(app.res() / "mp3gain", app.dir().path() / "mp3gain.args");
    const std::string dir = app.dir().path().string() + "/";
    std::string names;
    for (const std::string& name : {"$(touch " + dir + "PWNED).mp3", "a; touch " + dir + "PWNED; b.mp3",
                                    std::string("it's \"quoted\"\n&\t.mp3"), std::string("-y.mp3")}) {
        std::string quoted = "'";
        for (const char c : name)
            quoted += c == '\'' ? "\\'" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
        names += quoted + "',";
        // The input must exist (a "/" in a name makes folders of its start).
        std::filesystem::create_directories(std::filesystem::path(dir + name).parent_path());
        writeFile(dir + name, "ID3");
    }
    app.addPage("selectSong.html",
                page(std::string(kPollScript) + "var DIR = '" + dir + "', NAMES = [" + names + "];" + R"(
        var at = 0;
        function next() {
            if (at == NAMES.length) { report('done'); return; }
            var name = NAMES[at++];
            window.external.DTE_TranscodeMedia(DIR + name, name);
            poll('DTE_tsStatus', function (v) { return v != 0; }, function (ts) {
                ts += ' ' + window.external.DTE_tsReason;
                window.external.DTE_NormalizeAudio(DIR + name);
                poll('DTE_norStatus', function (v) { return v == 100 || v > 200; }, function (nor) {
                    report('ended ' + ts + ' ' + nor);
                    next();
                });
            });
        }
        next();
    )"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("done", 120s)) << run.output();
    EXPECT_EQ(run.reports(), (std::vector<std::string>{"ended 2 no-output 100", "ended 2 no-output 100",
                                                       "ended 2 no-output 100", "ended 2 no-output 100", "done"}))
        << "the stand-in encoder writes no clip";
    EXPECT_FALSE(std::filesystem::exists(app.dir().path() / "PWNED")) << "a path reached a shell";
    // The last case's arguments, exactly as the page passed them.
    const auto encoder = readArgs(app.dir().path() / "ffmpeg.args");
    ASSERT_EQ(encoder.size(), 11u);
    EXPECT_EQ(encoder[2], dir + "-y.mp3");
    EXPECT_EQ(encoder[10], "./-y.mp3");
    EXPECT_EQ(readArgs(app.dir().path() / "mp3gain.args").back(), dir + "-y.mp3");
}
