// The real app under the test display: the script bridge as pages see it, the
// start-up command line, the window, the key filter, alerts and the local-only bridge.
#include <gtest/gtest.h>
#include <httplib.h>


#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

namespace {

constexpr const char* kCaption = "Quillon - Version 2.1.0";

using HostTest = AppTest;

}  // namespace

TEST_F(HostTest, PagesSeeTheBridgeWithItsRules)
{
    app.addPage("selectSong.html", page(R"(
        var e = window.external;
        report('isdte ' + e.DTE_IsDTE() + ' ' + (e.DTE_IsDTE ? 'truthy' : 'falsy'));
        report('version ' + e.DTE_GetVersion());
        report('unknown ' + typeof e.DTE_Nothing + ' ' + typeof e.DTE_ISDTE + ' ' + typeof e.dte_getversion);
        report('status ' + e.DTE_tsStatus + ' ' + e.DTE_upStatus + ' ' + e.DTE_norStatus + ' [' + e.DTE_xhResponse + ']');
        report('break ' + e.DTE_BreakAsyncOperation());
        report('cl1 [' + e.DTE_clFileName + ']');
        report('cl2 [' + e.DTE_clFileName + ']');
        report('dialog [' + e.DTE_GetDialogArgument() + ']');
        e.DTE_SetDialogRetValue('kept', 'extra', 3);
        report('retvalue [' + e.DTE_GetDialogArgument() + ']');
        e.DTE_SetDialogRetValue(42);
        report('wrongkind [' + e.DTE_GetDialogArgument() + ']');
        e.DTE_SetDialogRetValue('before\u0000after');
        report('nul [' + e.DTE_GetDialogArgument() + ']');
        e.DTE_SetDialogRetValue('Grüße 🎵');
        report('utf8 [' + e.DTE_GetDialogArgument() + ']');
        var f = e.DTE_GetVersion; window.external = null;
        report('kept function ' + f());
        report('done');
        setTimeout(function () { f = null; }, 0);
    )"));
    AppRun run(app, {"/tmp/My Music/first song.mp3"});
    ASSERT_TRUE(run.waitForReport("done")) << run.output();
    EXPECT_EQ(run.reports(), (std::vector<std::string>{
                                 "isdte true truthy",
                                 "version 210",
                                 "unknown undefined undefined undefined",
                                 "status 0 0 0 []",
                                 "break true",
                                 "cl1 [/tmp/My Music/first song.mp3]",
                                 "cl2 []",
                                 "dialog []",
                                 "retvalue [kept]",
                                 "wrongkind []",
                                 "nul [before]",
                                 "utf8 [Grüße 🎵]",
                                 "kept function 210",
                                 "done",
                             }));
}

TEST_F(HostTest, CloseWindowFromTheMainPageEndsTheApp)
{
    app.addPage("selectSong.html", page("report('up'); setTimeout(function(){ window.external.DTE_CloseWindow(); }, 200);"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("up")) << run.output();
    EXPECT_EQ(run.waitForExit(20s), 0);
}

TEST_F(HostTest, TitleBarCloseButtonEndsTheApp)
{
    app.addPage("selectSong.html", page("report('up');"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("up")) << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    const auto geometry = runCommand({"xdotool", "getwindowgeometry", "--shell", *window}).output;
    const auto widthAt = geometry.find("WIDTH=");
    ASSERT_NE(widthAt, std::string::npos) << geometry;
    const int width = std::stoi(geometry.substr(widthAt + 6));
    // The close button sits at the right end of the header bar.
    run.click(*window, width - 28, 26);
    EXPECT_EQ(run.waitForExit(20s), 0);
}

TEST_F(HostTest, WindowHasItsCaptionAndAFixedPageArea)
{
    app.addPage("selectSong.html", page("report('size ' + window.innerWidth + 'x' + window.innerHeight);"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("size"), "size 760x471");
    EXPECT_TRUE(run.waitForWindow(kCaption));
}

TEST_F(HostTest, BrowserKeysNeverReachThePageWhileTypingDoes)
{
    app.addPage("selectSong.html", page(R"(
        var loads = Number(sessionStorage.getItem('loads') || 0) + 1;
        sessionStorage.setItem('loads', loads);
        report('loaded ' + loads);
        var field = document.getElementById('field');
        field.focus();
        document.addEventListener('keydown', function (e) {
            if (['Control', 'Shift', 'Alt', 'Meta'].indexOf(e.key) >= 0) return;
            report('key ' + (e.ctrlKey ? 'ctrl+' : '') + (e.altKey ? 'alt+' : '') + e.key);
        }, true);
        field.addEventListener('input', function () { report('typed ' + field.value); });
    )", "<input id='field' autofocus>"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("loaded 1")) << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    run.keys(*window, {"F5", "ctrl+r", "ctrl+shift+r", "ctrl+n", "ctrl+o", "ctrl+p", "alt+Left", "F7", "ctrl+plus",
                       "Escape", "Return"});
    run.type(*window, "ab");
    ASSERT_TRUE(run.waitForReport("typed ab")) << run.output();
    // Copy and paste work: select all, copy, then paste at the end.
    run.keys(*window, {"ctrl+a", "ctrl+c", "End", "ctrl+v"});
    ASSERT_TRUE(run.waitForReport("typed abab")) << run.output();
    EXPECT_TRUE(run.running()) << "Escape or Return closed the window";

    std::vector<std::string> keys;
    for (const auto& report : run.reports()) {
        if (report.rfind("key ", 0) == 0)
            keys.push_back(report.substr(4));
        EXPECT_NE(report, "loaded 2");
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Escape", "Enter", "a", "b", "ctrl+a", "ctrl+c", "End", "ctrl+v"}));
}

TEST_F(HostTest, AlertShowsTheAppCaptionWithOneButton)
{
    app.addPage("selectSong.html", page("report('before'); alert('Hello from the page'); report('after');"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("before")) << run.output();
    const auto box = run.waitForWindow("   Quillon");
    ASSERT_TRUE(box) << "no message box captioned '   Quillon'";
    EXPECT_FALSE(run.waitForReport("after", 300ms));
    run.keys(*box, {"Return"});
    EXPECT_TRUE(run.waitForReport("after")) << run.output();
}

TEST_F(HostTest, OnlyTheAppsOwnPagesGetTheBridge)
{
    httplib::Server server;
    server.Get("/remote.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(page("report('remote ' + typeof (window.external && window.external.DTE_IsDTE));"),
                        "text/html");
    });
    server.Get("/framed.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(page("report('framed ' + typeof (window.external && window.external.DTE_IsDTE));"),
                        "text/html");
    });
    server.Get("/data.txt", [](const httplib::Request&, httplib::Response& res) { res.set_content("cross-origin data", "text/plain"); });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    const std::string base = "http://127.0.0.1:" + std::to_string(port);

    quillon::test::writeFile(app.dir().path() / "outside.html",
                             page("report('outside ' + typeof (window.external && window.external.DTE_IsDTE));"));
    const std::string outside = "file://" + (app.dir().path() / "outside.html").string();
    app.addPage("selectSong.html", page("var BASE = '" + base + "', OUTSIDE = '" + outside + "';" + R"(
        report('local ' + typeof window.external.DTE_IsDTE);
        var xhr = new XMLHttpRequest();
        xhr.open('GET', BASE + '/data.txt', false);
        xhr.send();
        report('read ' + xhr.responseText);
        var frame = document.createElement('iframe');
        frame.src = BASE + '/framed.html';
        document.body.appendChild(frame);
        setTimeout(function () { location.href = OUTSIDE; }, 1500);
        setTimeout(function () { location.href = BASE + '/remote.html'; }, 3000);
    )"));

    AppRun run(app);
    EXPECT_EQ(run.waitForReport("local"), "local function") << run.output();
    EXPECT_EQ(run.waitForReport("read"), "read cross-origin data");
    EXPECT_EQ(run.waitForReport("framed"), "framed undefined");
    EXPECT_EQ(run.waitForReport("remote"), "remote undefined") << run.output();
    for (const auto& report : run.reports())
        EXPECT_EQ(report.rfind("outside", 0), std::string::npos) << "a file outside res/ was loaded";
    server.stop();
    serving.join();
}
