// A hostile page: every script member called with every kind of script value, in
// every count from none to nine, and every property read, while the test closes
// whatever window a modal member opens. The app keeps running, every call
// returns, and the settings hold exactly what the page stored last.
#include <gtest/gtest.h>

#include "bridge/member_table.h"
#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/reliability_support.h"

using namespace quillon::test;

namespace {

constexpr const char* kCaption = "Quillon - Version 2.1.0";

bool isModal(std::string_view name)
{
    return name == "DTE_ShowModalDialog" || name == "DTE_MessageBox" || name == "DTE_SelectMediaFile" ||
           name.rfind("DTE_Show", 0) == 0;
}

// The members as script arrays: plain ones (all but the modal ones and
// DTE_CloseWindow, which comes last), modal ones, and every name.
struct MemberLists {
    std::string plain, modal, all;
};

MemberLists memberLists()
{
    MemberLists lists;
    for (const auto& member : quillon::bridge::memberTable()) {
        const std::string quoted = "'" + std::string(member.name) + "',";
        lists.all += quoted;
        if (member.name == "DTE_CloseWindow")
            continue;
        (isModal(member.name) ? lists.modal : lists.plain) += quoted;
    }
    return lists;
}

// Runs the calls; reports "plain <calls> <throws> <mismatches>", "props ...",
// "modal <i>" before each modal call, then "stored" and closes the window.
constexpr const char* kHostileScript = R"(
var ext = window.external;
var big = 'x'.repeat(16 * 1024 * 1024);
var VALUES = [undefined, null, true, false, 0, -0, NaN, Infinity, -Infinity, Math.pow(2, 40), '',
              'nul\u0000after', 'quote\'"`$(x);|&', 'line\nbreak\r\nend', 'astral \ud834\udd1e\ud83c\udfb5',
              {a: 1, toString: function () { return 'obj'; }}, [1, 'two', [3]], function () { return 1; }];
var calls = 0, throws = 0, mismatches = [];
function call(name, args) {
    calls++;
    try { return ext[name].apply(ext, args); } catch (e) { throws++; report('threw ' + name + ' ' + e); }
}
function setterCheck(name, args) {
    // A setter given a plain text keeps it (up to a NUL) for the matching getter.
    if (!/^DTE_Set(TEPhone|TENetwork)$/.test(name) || typeof args[0] != 'string' || args[0].length > 1024) return;
    var got = ext[name.replace('Set', 'Get')]();
    var want = args[0].split('\u0000')[0];
    if (got !== want) mismatches.push(name + ':' + JSON.stringify(want) + '!=' + JSON.stringify(got));
}
function argsFor(count, shift) {
    var args = [];
    for (var i = 0; i < count; i++) args.push(VALUES[(shift + i) % VALUES.length]);
    return args;
}
function plainPhase() {
    PLAIN.forEach(function (name) {
        var kind = typeof ext[name];
        for (var count = 0; count <= 9; count++) {
            for (var shift = 0; shift < VALUES.length; shift++) {
                var args = argsFor(count, shift);
                if (kind == 'function') { call(name, args); setterCheck(name, args); }
                else { calls++; void ext[name]; }
            }
        }
        if (kind == 'function') {
            [[big], [big, big], ['', big]].forEach(function (args) { call(name, args); setterCheck(name, args); });
        }
    });
    ext.DTE_BreakAsyncOperation();
    report('plain ' + calls + ' ' + throws + ' ' + mismatches.length + ' ' + mismatches.slice(0, 3).join(' '));
}
function propertyPhase() {
    var seen = 0, odd = [];
    for (var round = 0; round < 20; round++) {
        ALL.forEach(function (name) {
            var value = ext[name];
            seen++;
            if (value === undefined || value === null) odd.push(name);
        });
    }
    ['DTE_Nothing', 'toString', 'constructor', '__proto__', 'DTE_', '', 'DTE_ISDTE', '\u0000', big].forEach(function (n) {
        try { if (ext[n] !== undefined && typeof ext[n] == 'function' && /^DTE/.test(n)) odd.push(n); } catch (e) {}
    });
    try { ext.DTE_tsStatus = 5; ext.DTE_GetVersion = null; delete ext.DTE_IsDTE; } catch (e) {}
    try { JSON.stringify(ext); Object.keys(ext); for (var k in ext) {} } catch (e) {}
    report('props ' + seen + ' ' + odd.length + ' ' + odd.slice(0, 3).join(' ') + ' version ' + ext.DTE_GetVersion());
}
var MODAL_ARGS = [[], ['Hostile', 'nowhere.html', big, NaN, -Infinity, Math.pow(2, 40), -1],
                  ['Hostile', 'line\nbreak\u0000', {}, 0, 0, 0, 0], ['Hostile 🎵', '', 'arg', 1e9, -1e9, 5, 5, 1, 2]];
function modalPhase(done) {
    var queue = [];
    MODAL.forEach(function (name) { MODAL_ARGS.forEach(function (args) { queue.push([name, args]); }); });
    var index = 0;
    function next() {
        if (index == queue.length) { done(); return; }
        var item = queue[index];
        report('modal ' + index + ' ' + item[0]);
        var result = call(item[0], item[1]);
        report('returned ' + index + ' ' + typeof result);
        index++;
        setTimeout(next, 0);
    }
    next();
}
setTimeout(function () {
    plainPhase();
    propertyPhase();
    modalPhase(function () {
        ext.DTE_SetTEPhone('+49 151 0000000');
        ext.DTE_SetTENetwork('net \u00e9');
        ext.DTE_SetTEAid('7');
        ext.DTE_SetTENVCheck('1');
        report('stored ' + calls + ' ' + throws);
        ext.DTE_CloseWindow();
    });
}, 100);
)";

using HostilePageTest = AppTest;

// Presses Escape in every window of the app but the main one.
void closeDialogs(AppRun& run, pid_t pid)
{
    const auto found = runCommand({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
    std::size_t start = 0;
    while (start < found.output.size()) {
        const auto end = found.output.find('\n', start);
        const std::string window = found.output.substr(start, end - start);
        start = end == std::string::npos ? found.output.size() : end + 1;
        if (window.empty())
            continue;
        const auto name = runCommand({"xdotool", "getwindowname", window}).output;
        if (name.rfind(kCaption, 0) != 0 && !name.empty())
            run.keys(window, {"Escape"});
    }
}

}  // namespace

TEST_F(HostilePageTest, EveryMemberWithEveryValueKindLeavesTheAppWorkingAndTheSettingsAsStored)
{
    // Tools and service that fail at once: the calls are the point, not the jobs.
    writeScript(app.res() / "ffmpeg", "#!/bin/sh\nexit 1\n");
    writeScript(app.res() / "mp3gain", "#!/bin/sh\nexit 1\n");
    const MemberLists lists = memberLists();
    app.addPage("selectSong.html", page("var PLAIN = [" + lists.plain + "], MODAL = [" + lists.modal + "], ALL = [" +
                                        lists.all + "];\n" + kHostileScript));
    app.addPage("nowhere.html", page("report('dialog page'); window.external.DTE_CloseWindow();"));
    {
        AppRun run(app, {}, {{"QUILLON_SERVICE", "127.0.0.1:1"}});
        ASSERT_TRUE(run.waitForReport("plain", 300s)) << run.output().substr(0, 4000);
        const auto pid = appProcess(app);
        ASSERT_TRUE(pid);
        const auto deadline = std::chrono::steady_clock::now() + 300s;
        while (!run.waitForReport("stored", 500ms) && run.running() && std::chrono::steady_clock::now() < deadline)
            closeDialogs(run, *pid);
        ASSERT_TRUE(run.waitForReport("stored", 1s)) << run.output().substr(0, 4000);
        EXPECT_EQ(run.waitForExit(60s), 0);

        // 29 plain members: 10 argument counts x 18 shifts, 3 calls with 16 MB texts for the methods.
        std::size_t plainMethods = 0, properties = 0;
        for (const auto& member : quillon::bridge::memberTable()) {
            if (member.name == "DTE_CloseWindow" || isModal(member.name))
                continue;
            (member.kind == quillon::bridge::MemberKind::Property ? properties : plainMethods)++;
        }
        const std::size_t plainCalls = (plainMethods + properties) * 10 * 18 + plainMethods * 3;
        EXPECT_EQ(run.waitForReport("plain"), "plain " + std::to_string(plainCalls) + " 0 0 ");
        // Every member read 20 times.
        EXPECT_EQ(run.waitForReport("props"),
                  "props " + std::to_string(20 * quillon::bridge::memberTable().size()) + " 0  version 210");
        std::size_t returned = 0, modal = 0;
        for (const auto& report : run.reports()) {
            modal += report.rfind("modal ", 0) == 0;
            returned += report.rfind("returned ", 0) == 0;
        }
        EXPECT_EQ(modal, 7u * 4u);
        EXPECT_EQ(returned, modal) << "a modal call never returned";
    }
    // The next start finds what the page stored last, and nothing else.
    app.addPage("selectSong.html", page(R"(
        var e = window.external;
        report('settings [' + e.DTE_GetTEPhone() + '][' + e.DTE_GetTENetwork() + '][' + e.DTE_GetTEAid() + '][' +
               e.DTE_GetTENVCheck() + ']');
        e.DTE_CloseWindow();
    )"));
    AppRun again(app);
    EXPECT_EQ(again.waitForReport("settings"), "settings [+49 151 0000000][net \u00e9][7][1]") << again.output();
    EXPECT_EQ(again.output().find("Failed!"), std::string::npos) << again.output();
    EXPECT_EQ(again.waitForExit(30s), 0);
}
