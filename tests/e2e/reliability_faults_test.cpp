// Faults around the real app: page processes that die, the app itself killed while
// it writes settings, a service that dies mid-upload, and an encoder still running
// when the window closes.
// (A corrupt or locked settings database is covered by the settings tests.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/reliability_support.h"
#include "tests/process_probe.h"

using namespace quillon::test;

namespace {

// Reports the four settings as "settings [phone][network][aid][nvcheck]".
constexpr const char* kReportSettings = R"(
    var e = window.external;
    report('settings [' + e.DTE_GetTEPhone() + '][' + e.DTE_GetTENetwork() + '][' + e.DTE_GetTEAid() + '][' +
           e.DTE_GetTENVCheck() + ']');
)";

std::size_t countReports(const AppRun& run, const std::string& prefix)
{
    std::size_t count = 0;
    for (const auto& report : run.reports())
        count += report.rfind(prefix, 0) == 0;
    return count;
}

using FaultTest = AppTest;

}  // namespace

TEST_F(FaultTest, MainPageProcessKilledMidRunComesBackWithAWorkingBridge)
{
    app.addPage("selectSong.html", page(R"(
        var e = window.external;
        e.DTE_SetDialogRetValue(e.DTE_GetDialogArgument() + 'x');
        report('up ' + e.DTE_GetVersion() + ' ' + e.DTE_GetDialogArgument());
        setInterval(function () { e.DTE_GetVersion(); void e.DTE_tsStatus; }, 5);
    )"));
    AppRun run(app);
    ASSERT_EQ(run.waitForReport("up"), "up 210 x") << run.output();
    const auto pid = appProcess(app);
    ASSERT_TRUE(pid);
    for (int kill = 1; kill <= 2; ++kill) {
        const auto web = webProcesses(*pid);
        ASSERT_EQ(web.size(), 1u);
        ::kill(web.front(), SIGKILL);
        // The start page again, its calls answered, the app's state kept.
        ASSERT_TRUE(waitUntil([&] { return countReports(run, "up ") == static_cast<std::size_t>(kill) + 1; }, 60s))
            << run.output();
        EXPECT_EQ(run.reports().back(), "up 210 " + std::string(static_cast<std::size_t>(kill) + 1, 'x'));
        EXPECT_TRUE(run.running());
    }
}

TEST_F(FaultTest, DialogPageProcessKilledWhileOpenComesBackAndEnds)
{
    app.addPage("selectSong.html", page(R"(
        report('main');
        setTimeout(function () {
            var r = window.external.DTE_ShowModalDialog('Crash', 'dlg.html', 'start', 100, 100, 300, 200);
            report('returned ' + r);
            window.external.DTE_CloseWindow();
        }, 200);
    )"));
    app.addPage("dlg.html", page(R"(
        var e = window.external, seen = e.DTE_GetDialogArgument();
        // The value is stored before the report, so a kill after the report
        // always finds it stored.
        if (seen == 'start') e.DTE_SetDialogRetValue('loaded once');
        report('dialog ' + seen);
        if (seen != 'start') { e.DTE_SetDialogRetValue('recovered'); e.DTE_CloseWindow(); }
    )"));
    AppRun run(app);
    ASSERT_EQ(run.waitForReport("main"), "main") << run.output();
    const auto pid = appProcess(app);
    ASSERT_TRUE(pid);
    ASSERT_EQ(run.waitForReport("dialog"), "dialog start") << run.output();
    const auto mainWeb = webProcesses(*pid);
    ASSERT_EQ(mainWeb.size(), 2u) << "expected one page process per view";
    // The dialog's process is the newer one.
    ::kill(std::max(mainWeb[0], mainWeb[1]), SIGKILL);
    EXPECT_TRUE(run.waitForReport("dialog loaded once", 60s)) << run.output();
    EXPECT_EQ(run.waitForReport("returned", 60s), "returned recovered") << run.output();
    EXPECT_EQ(run.waitForExit(30s), 0);
}

TEST_F(FaultTest, KilledWhileWritingSettingsLeavesEachValueOldOrNew)
{
    app.addPage("selectSong.html", page(std::string(kReportSettings) + R"(
        var i = 0;
        setInterval(function () {
            for (var k = 0; k < 5; k++, i++) {
                e.DTE_SetTEPhone('p' + i); e.DTE_SetTENetwork('n' + i); e.DTE_SetTEAid('a' + i);
            }
            report('wrote ' + i);
        }, 1);
    )"));
    const std::regex settings(R"(settings \[(p\d+|Unknown)\]\[(n\d+|Unknown)\]\[(a\d+|2)\]\[0\])");
    for (int round = 0; round < 3; ++round) {
        AppRun run(app);
        const auto first = run.waitForReport("settings", 60s);
        ASSERT_TRUE(first) << run.output();
        EXPECT_TRUE(std::regex_match(*first, settings)) << *first;
        // A first start reads values that are not there yet; later ones find them all.
        if (round > 0) {
            EXPECT_EQ(run.output().find("Failed!"), std::string::npos) << run.output();
        }
        ASSERT_TRUE(run.waitForReport("wrote", 60s)) << run.output();
        // Let a few more rounds of writes run, differently long each time.
        const std::size_t target = countReports(run, "wrote") + 3 + static_cast<std::size_t>(round) * 4;
        waitUntil([&] { return countReports(run, "wrote") >= target; }, 30s);
        const auto pid = appProcess(app);
        ASSERT_TRUE(pid);
        ::kill(*pid, SIGKILL);
        ASSERT_TRUE(run.waitForExit(30s));
    }
    // The last round's values are still readable, each of one write.
    app.addPage("selectSong.html", page(std::string(kReportSettings) + "e.DTE_CloseWindow();"));
    AppRun last(app);
    const auto final = last.waitForReport("settings");
    ASSERT_TRUE(final) << last.output();
    EXPECT_TRUE(std::regex_match(*final, std::regex(R"(settings \[p\d+\]\[n\d+\]\[a\d+\]\[0\])"))) << *final;
    EXPECT_EQ(last.output().find("Failed!"), std::string::npos) << last.output();
}

TEST_F(FaultTest, ServiceDyingMidUploadGives101AndTheAppGoesOn)
{
    // A service that takes the start of the request, then dies.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::size_t received = 0;
    std::thread service([&] {
        const int client = ::accept(listener, nullptr, nullptr);
        char block[4096];
        ssize_t got;
        while (received < std::size_t{64} * 1024 && (got = ::recv(client, block, sizeof block, 0)) > 0)
            received += static_cast<std::size_t>(got);
        ::close(client);
        ::close(listener);
    });
    const auto clip = app.dir().path() / "clip.mp3";
    writeFile(clip, std::string(std::size_t{8} * 1024 * 1024, 'c'));
    app.addPage("selectSong.html", page(std::string(kPollScript) + "var CLIP = '" + clip.string() + "';" + R"(
        report('upload ' + window.external.DTE_UploadFile(CLIP, '0123456789abcdef'));
        poll('DTE_upStatus', function (v) { return v >= 100; }, function (v) {
            report('ended ' + v + ' ' + window.external.DTE_GetVersion());
        });
    )"));
    AppRun run(app, {}, {{"QUILLON_SERVICE", "127.0.0.1:" + std::to_string(ntohs(address.sin_port))}});
    EXPECT_EQ(run.waitForReport("upload"), "upload true") << run.output();
    EXPECT_EQ(run.waitForReport("ended", 60s), "ended 101 210") << run.output();
    service.join();
    EXPECT_GT(received, 0u);
    EXPECT_TRUE(run.running());
}

TEST_F(FaultTest, NoEncoderOutlivesACancelOrTheAppAndNoHalfClipStays)
{
    // The stand-in writes part of its clip, then waits for ever on its input,
    // a named pipe that nobody writes.
    const auto pidFile = app.dir().path() / "encoder.pid";
    const auto input = app.dir().path() / "in.pipe";
    const auto output = app.res() / "tmp" / "clip.mp3";
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    writeScript(app.res() / "ffmpeg", "for last; do :; done\necho part > \"$last\"\necho $$ > '" + pidFile.string() +
                                          ".part'; mv '" + pidFile.string() + ".part' '" + pidFile.string() +
                                          "'\nexec cat \"$2\"\n");
    app.addPage("selectSong.html", page(std::string(kPollScript) + R"(
        var e = window.external;
        report('transcode ' + e.DTE_TranscodeMedia(')" +
                                        input.string() + "', '" + output.string() + R"('));
        document.addEventListener('keydown', function (k) {
            if (k.key === 'q') e.DTE_CloseWindow();
            if (k.key === 'c') {
                e.DTE_BreakAsyncOperation();
                poll('DTE_tsStatus', function (v) { return v !== 0; }, function (v) { report('cancelled ' + v); });
            }
        });
    )"));
    for (const char* end : {"cancel", "close", "SIGTERM"}) {
        std::filesystem::remove(pidFile);
        AppRun run(app);
        ASSERT_EQ(run.waitForReport("transcode"), "transcode true") << run.output();
        ASSERT_TRUE(waitUntil([&] { return readPid(pidFile) > 0; }, 30s)) << "the encoder did not start";
        const pid_t encoder = readPid(pidFile);
        const auto window = run.waitForWindow("Quillon - Version 2.1.0");
        ASSERT_TRUE(window);
        if (end == std::string("cancel")) {
            run.keys(*window, {"c"});
            EXPECT_EQ(run.waitForReport("cancelled"), "cancelled 2");
        } else {
            if (end == std::string("close"))
                run.keys(*window, {"q"});
            else
                run.signal(SIGTERM);
            EXPECT_EQ(run.waitForExit(30s), 0) << end;
        }
        EXPECT_TRUE(waitUntil([&] { return isGone(encoder); }, 10s)) << "the encoder outlived the " << end;
        EXPECT_FALSE(std::filesystem::exists(output)) << end;
    }
}
