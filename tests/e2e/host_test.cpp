// The real app as its pages see it, in one run: the script bridge with its rules
// (every member given every kind of value included), the start-up command line,
// the window, and the key filter that keeps browser keys from the page.
#include <gtest/gtest.h>

#include "bridge/member_table.h"
#include "tests/e2e/app_harness.h"

using namespace quillon::test;

using HostTest = AppTest;

TEST_F(HostTest, PagesSeeTheBridgeWithItsRulesAndNoBrowserKeys)
{
    // Tools that fail at once: the calls are the point here, not the jobs.
    writeScript(app.res() / "ffmpeg", "exit 1\n");
    writeScript(app.res() / "mp3gain", "exit 1\n");
    std::string names;
    for (const auto& member : quillon::bridge::memberTable())
        names += "'" + std::string(member.name) + "',";
    app.addPage("selectSong.html", page("var NAMES = [" + names + "];" + R"(
        var loads = Number(sessionStorage.getItem('loads') || 0) + 1;
        sessionStorage.setItem('loads', loads);
        report('loaded ' + loads);
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
        report('size ' + window.innerWidth + 'x' + window.innerHeight);
        // Every member but the modal ones and CloseWindow, given every kind of value
        // in every count up to four: each call returns and none throws.
        var VALUES = [undefined, null, true, 0, NaN, Math.pow(2, 40), '', 'nul\u0000after', 'line\nbreak',
                      '\ud83c\udfb5', {toString: function () { return 'obj'; }}, [1, [2]], function () {}];
        var threw = 0;
        NAMES.forEach(function (name) {
            if (/^DTE_(Show|MessageBox|SelectMediaFile|CloseWindow|NavigateURL)/.test(name)) return;
            for (var count = 0; count <= 4; count++)
                VALUES.forEach(function (v, shift) {
                    var args = [];
                    for (var i = 0; i < count; i++) args.push(VALUES[(shift + i) % VALUES.length]);
                    try { var m = e[name]; if (typeof m == 'function') m.apply(e, args); } catch (x) { threw++; }
                });
        });
        report('hostile calls threw ' + threw + ' ' + e.DTE_GetVersion());
        var field = document.getElementById('field');
        field.focus();
        document.addEventListener('keydown', function (k) {
            if (['Control', 'Shift', 'Alt', 'Meta'].indexOf(k.key) < 0)
                report('key ' + (k.ctrlKey ? 'ctrl+' : '') + (k.altKey ? 'alt+' : '') + k.key);
        }, true);
        field.addEventListener('input', function () {
            report('typed ' + field.value);
            if (field.value == 'ababq') e.DTE_CloseWindow();
        });
        report('done');
    )",
                                        "<input id='field' autofocus>"));
    AppRun run(app, {"/tmp/My Music/first song.mp3"}, {{"QUILLON_SERVICE", "127.0.0.1:1"}});
    ASSERT_TRUE(run.waitForReport("done", 120s)) << run.output();
    EXPECT_EQ(run.reports(),
              (std::vector<std::string>{"loaded 1", "isdte true truthy", "version 210",
                                        "unknown undefined undefined undefined", "status 0 0 0 []", "break true",
                                        "cl1 [/tmp/My Music/first song.mp3]", "cl2 []", "dialog []", "retvalue [kept]",
                                        "wrongkind []", "nul [before]", "utf8 [Grüße 🎵]", "kept function 210",
                                        "size 760x471", "hostile calls threw 0 210", "done"}));

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
    for (const auto& report : run.reports())
        if (report.starts_with("key "))
            keys.push_back(report.substr(4));
    EXPECT_EQ(keys, (std::vector<std::string>{"Escape", "Enter", "a", "b", "ctrl+a", "ctrl+c", "End", "ctrl+v"}));
    EXPECT_EQ(run.countReports("loaded"), 1u) << "a browser key reloaded the page";
    run.type(*window, "q");  // the page closes the window
    EXPECT_EQ(run.waitForExit(20s), 0);
}
