// The real app against someone who wants in, in one run: shell metacharacters in
// paths, other processes, and foreign pages reached by frames, redirects or files
// outside res/.
#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/e2e/app_harness.h"

using namespace quillon::test;

using SecurityTest = AppTest;

TEST_F(SecurityTest, PathsReachToolsByteForByteAndNoForeignPageOrProcessGetsIn)
{
    httplib::Server server;
    const auto foreign = [](const std::string& label) {
        return page("var seen = typeof (window.external && window.external.DTE_IsDTE), parentSeen;"
                    "try { parentSeen = typeof parent.external.DTE_IsDTE; } catch (e) { parentSeen = 'blocked'; }"
                    "report('" +
                    label + " ' + seen + ' ' + parentSeen);");
    };
    for (const std::string label : {"remote", "framed"}) {
        server.Get("/" + label + ".html", [&foreign, label](const httplib::Request&, httplib::Response& res) {
            res.set_content(foreign(label), "text/html");
        });
        server.Get("/to-" + label, [label](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/" + label + ".html");
        });
    }
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    writeFile(app.path() / "outside.html", foreign("outside"));

    // Stand-in tools that record their arguments NUL-separated.
    const std::string dir = app.path().string() + "/";
    for (const std::string tool : {"ffmpeg", "mp3gain"})
        writeScript(app.res() / tool, "printf '%s\\0' \"$0\" \"$@\" > '" + dir + tool + ".args'\n");
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
    app.addPage("selectSong.html", page("var DIR = '" + dir + "', NAMES = [" + names + "], BASE = 'http://127.0.0.1:" +
                                        std::to_string(port) + "', OUTSIDE = 'file://" + dir + "outside.html';" + R"(
        var e = window.external, at = 0;
        report('local ' + typeof e.DTE_IsDTE);
        function next() {
            if (at == NAMES.length) return leave();
            var name = NAMES[at++];
            e.DTE_TranscodeMedia(DIR + name, name);
            poll('DTE_tsStatus', function (v) { return v != 0; }, function (ts) {
                ts += ' ' + e.DTE_tsReason;
                e.DTE_NormalizeAudio(DIR + name);
                poll('DTE_norStatus', function (v) { return v == 100 || v > 200; }, function (nor) {
                    report('ended ' + ts + ' ' + nor);
                    next();
                });
            });
        }
        function leave() {
            var frame = document.createElement('iframe');
            frame.src = BASE + '/to-framed';
            document.body.appendChild(frame);
            setTimeout(function () { location.href = OUTSIDE; }, 1500);
            setTimeout(function () { location.href = BASE + '/to-remote'; }, 3000);
        }
        next();
    )"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("local"), "local function") << run.output();
    // The bridge is a socket pair: neither the app nor its page processes listen anywhere.
    ASSERT_TRUE(waitUntil([&] { return !webProcesses(run.pid()).empty(); }));
    for (const pid_t process : webProcesses(run.pid()))
        EXPECT_EQ(listeningSockets(process), std::vector<std::string>{}) << "page process " << process;
    EXPECT_EQ(listeningSockets(run.pid()), std::vector<std::string>{});

    // Framed: no object of its own, and the app page around it is out of reach.
    EXPECT_EQ(run.waitForReport("framed", 120s), "framed undefined blocked") << run.output();
    std::vector<std::string> ended;
    for (const auto& report : run.reports())
        if (report.starts_with("ended "))
            ended.push_back(report);
    EXPECT_EQ(ended, std::vector<std::string>(4, "ended 2 no-output 100")) << "the stand-in encoder writes no clip";
    EXPECT_FALSE(std::filesystem::exists(dir + "PWNED")) << "a path reached a shell";
    // The last case's arguments, exactly as the page passed them.
    const auto encoder = readArgs(dir + "ffmpeg.args");
    ASSERT_EQ(encoder.size(), 11u);
    EXPECT_EQ(encoder[2], dir + "-y.mp3");
    EXPECT_EQ(encoder[10], "./-y.mp3");
    EXPECT_EQ(readArgs(dir + "mp3gain.args").back(), dir + "-y.mp3");
    // At the top, parent is the page itself, which has no object either.
    EXPECT_EQ(run.waitForReport("remote"), "remote undefined blocked") << run.output();
    EXPECT_EQ(run.countReports("outside function"), 0u) << "a file outside res/ got the bridge";
    server.stop();
    serving.join();
}
