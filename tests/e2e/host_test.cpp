// The real app as its pages see it, and against someone who wants in: the bridge and its rules,
// hostile values, browser keys, shell metacharacters, listeners, and foreign pages.
#include <gtest/gtest.h>
#include <httplib.h>

#include "bridge/member_table.h"
#include "tests/e2e/app_harness.h"

using namespace quillon::test;

using HostTest = AppTest;

TEST_F(HostTest, PagesSeeTheBridgeWithItsRulesAndNoBrowserKeysAndNothingForeignGetsIn)
{
    httplib::Server server;
    const auto foreign = [](const std::string& label) {
        return page("var seen = typeof (window.external && window.external.DTE_IsDTE), parentSeen;"
                    "try { parentSeen = typeof parent.external.DTE_IsDTE; } catch (e) { parentSeen = 'blocked'; }"
                    "report('" +
                    label + " ' + seen + ' ' + parentSeen);");
    };
    server.Get(R"(/(\w+)\.html)", [&foreign](const httplib::Request& request, httplib::Response& res) {
        res.set_content(foreign(request.matches[1]), "text/html");
    });
    server.Get(R"(/to-(\w+))", [](const httplib::Request& request, httplib::Response& res) {
        res.set_redirect("/" + std::string(request.matches[1]) + ".html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    writeFile(app.path() / "outside.html", foreign("outside"));

    const std::string dir = app.path().string() + "/";
    // Each tool records its arguments; the runs of the loudness meter are left out.
    for (const std::string tool : {"ffmpeg", "mp3gain"})
        writeScript(app.res() / tool, "case \"$*\" in *ebur128*) exit;; esac\nprintf '%s\\0' \"$0\" \"$@\" > '" + dir +
                                          tool + ".args'\n");
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
    std::string members;
    for (const auto& member : quillon::bridge::memberTable())
        members += "'" + std::string(member.name) + "',";
    app.addPage("selectSong.html", page("var MEMBERS = [" + members + "], DIR = '" + dir + "', NAMES = [" + names +
                                            "], BASE = 'http://127.0.0.1:" + std::to_string(port) +
                                            "', OUTSIDE = 'file://" + dir + "outside.html';" + R"(
        var e = window.external, loads = Number(sessionStorage.getItem('loads') || 0) + 1;
        sessionStorage.setItem('loads', loads); report('loaded ' + loads);
        report('isdte ' + e.DTE_IsDTE() + ' ' + (e.DTE_IsDTE ? 'truthy' : 'falsy') + ' ' + e.DTE_GetVersion());
        report('unknown ' + typeof e.DTE_Nothing + ' ' + typeof e.DTE_ISDTE + ' ' + typeof e.dte_getversion);
        report('status ' + e.DTE_tsStatus + ' ' + e.DTE_upStatus + ' ' + e.DTE_norStatus + ' [' + e.DTE_xhResponse + ']');
        report('break ' + e.DTE_BreakAsyncOperation());
        report('cl [' + e.DTE_clFileName + '] [' + e.DTE_clFileName + '] dialog [' + e.DTE_GetDialogArgument() + ']');
        [['kept', 'extra', 3], [42], ['before\u0000after'], ['Grüße 🎵']].forEach(function (args) {
            e.DTE_SetDialogRetValue.apply(e, args);
            report('retvalue [' + e.DTE_GetDialogArgument() + ']');
        });
        var f = e.DTE_GetVersion; window.external = null;
        report('kept function ' + f()); window.external = e;
        report('size ' + window.innerWidth + 'x' + window.innerHeight);
        // Every member but the modal ones, every kind of value in every count up to four: none throws.
        var VALUES = [undefined, null, true, 0, NaN, Math.pow(2, 40), '', 'nul\u0000after', 'line\nbreak',
                      '\ud83c\udfb5', {toString: function () { return 'obj'; }}, [1, [2]], function () {}];
        var threw = 0;
        MEMBERS.forEach(function (name) {
            if (/^DTE_(Show|MessageBox|SelectMediaFile|CloseWindow|NavigateURL)/.test(name)) return;
            for (var count = 0; count <= 4; count++) VALUES.forEach(function (v, shift) {
                var args = VALUES.concat(VALUES).slice(shift, shift + count);
                try { var m = e[name]; if (typeof m == 'function') m.apply(e, args); } catch (x) { threw++; }
            });
        });
        report('hostile calls threw ' + threw + ' ' + e.DTE_GetVersion());
        var field = document.getElementById('field'); field.focus();
        document.addEventListener('keydown', function (k) {
            if (['Control', 'Shift', 'Alt', 'Meta'].indexOf(k.key) < 0)
                report('key ' + (k.ctrlKey ? 'ctrl+' : '') + (k.altKey ? 'alt+' : '') + k.key);
        }, true);
        field.addEventListener('input', function () { report('typed ' + field.value); if (field.value == 'ababq') next(); });
        var at = 0;
        function next() {
            if (at == NAMES.length) return leave();
            var name = NAMES[at++]; e.DTE_TranscodeMedia(DIR + name, name);
            poll('DTE_tsStatus', function (v) { return v != 0; }, function (ts) {
                ts += ' ' + e.DTE_tsReason; e.DTE_NormalizeAudio(DIR + name);
                poll('DTE_norStatus', function (v) { return v == 100 || v > 200; },
                     function (nor) { report('ended ' + ts + ' ' + nor); next(); });
            });
        }
        function leave() {
            var frame = document.createElement('iframe'); frame.src = BASE + '/to-framed'; document.body.appendChild(frame);
            setTimeout(function () { location.href = OUTSIDE; }, 1500);
            setTimeout(function () { location.href = BASE + '/to-remote'; }, 3000);
        }
        report('done');
    )",
                                        "<input id='field' autofocus>"));
    AppRun run(app, {"/tmp/My Music/first song.mp3"}, {{"QUILLON_SERVICE", "127.0.0.1:1"}});
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window && run.waitForReport("done", 120s)) << run.output();
    const std::string version(quillon::kVersionCode);
    EXPECT_EQ(run.reports(), (std::vector<std::string>{"loaded 1", "isdte true truthy " + version,
                                                       "unknown undefined undefined undefined", "status 0 0 0 []",
                                                       "break true", "cl [/tmp/My Music/first song.mp3] [] dialog []",
                                                       "retvalue [kept]", "retvalue []", "retvalue [before]",
                                                       "retvalue [Grüße 🎵]", "kept function " + version, "size 760x471",
                                                       "hostile calls threw 0 " + version, "done"}));
    run.keys(*window, {"F5", "ctrl+r", "ctrl+shift+r", "ctrl+n", "ctrl+o", "ctrl+p", "alt+Left", "F7", "ctrl+plus",
                       "Escape", "Return"});
    run.type(*window, "ab");
    ASSERT_TRUE(run.waitForReport("typed ab")) << run.output();
    run.keys(*window, {"ctrl+a", "ctrl+c", "End", "ctrl+v"});
    ASSERT_TRUE(run.waitForReport("typed abab")) << run.output();
    EXPECT_TRUE(run.running()) << "Escape or Return closed the window";
    EXPECT_EQ(run.reports("key "), (std::vector<std::string>{"key Escape", "key Enter", "key a", "key b", "key ctrl+a",
                                                             "key ctrl+c", "key End", "key ctrl+v"}));
    EXPECT_EQ(run.countReports("loaded"), 1u) << "a browser key reloaded the page";
    run.type(*window, "q");  // the page runs the jobs below, then leaves for foreign pages
    // The bridge is a socket pair: neither the app nor its page processes listen anywhere.
    ASSERT_TRUE(waitUntil([&] { return !webProcesses(run.pid()).empty(); }));
    for (const pid_t process : webProcesses(run.pid()))
        EXPECT_EQ(listeningSockets(process), std::vector<std::string>{}) << "page process " << process;
    EXPECT_EQ(listeningSockets(run.pid()), std::vector<std::string>{});

    // Framed or at the top (where parent is the page itself): no object, and the parent's out of reach.
    EXPECT_EQ(run.waitForReport("framed", 120s), "framed undefined blocked") << run.output();
    EXPECT_EQ(run.waitForReport("remote"), "remote undefined blocked") << run.output();
    EXPECT_EQ(run.countReports("outside function"), 0u) << "a file outside res/ got the bridge";
    server.stop();
    serving.join();
    // Relative outputs: the first two name folders that do not exist; the stand-in encoder writes no clip.
    EXPECT_EQ(run.reports("ended "), (std::vector<std::string>{"ended 2 no-folder 100", "ended 2 no-folder 100",
                                                               "ended 2 no-output 100", "ended 2 no-output 100"}));
    EXPECT_FALSE(std::filesystem::exists(dir + "PWNED")) << "a path reached a shell";
    const auto encoder = readArgs(dir + "ffmpeg.args");
    ASSERT_EQ(encoder.size(), 11u);
    EXPECT_EQ(encoder[2], dir + "-y.mp3");
    EXPECT_EQ(encoder[10], "./-y.mp3");
    EXPECT_EQ(readArgs(dir + "mp3gain.args").back(), dir + "-y.mp3");
}
