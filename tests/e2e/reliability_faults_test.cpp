// Faults around the real app: page processes that die, a settings database that is
// corrupt, read-only or locked, the app itself killed while it writes settings, a
// service that dies mid-upload and an encoder killed mid-run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
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

class FaultTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        if (IsSkipped())
            return;
    }
    [[nodiscard]] std::filesystem::path database() const { return app.configHome() / "quillon" / "registry.sqlite3"; }

    // One healthy run that stores known values.
    void storeKnownValues()
    {
        app.addPage("selectSong.html", page(R"(
            var e = window.external;
            e.DTE_SetTEPhone('+441234567890'); e.DTE_SetTENetwork('net-a'); e.DTE_SetTEAid('5'); e.DTE_SetTENVCheck('1');
            report('stored'); e.DTE_CloseWindow();
        )"));
        AppRun run(app);
        ASSERT_TRUE(run.waitForReport("stored")) << run.output();
        ASSERT_EQ(run.waitForExit(30s), 0);
    }

    // A run whose page tries to change a value and reports what it reads.
    std::string runAgainstBrokenStore(std::chrono::seconds limit)
    {
        app.addPage("selectSong.html", page(std::string(kReportSettings) + R"(
            e.DTE_SetTEPhone('+449999999999');
            report('after ' + e.DTE_GetVersion()); e.DTE_CloseWindow();
        )"));
        AppRun run(app);
        EXPECT_TRUE(run.waitForReport("after", limit)) << run.output();
        EXPECT_EQ(run.waitForExit(limit), 0);
        EXPECT_NE(run.output().find("Failed!"), std::string::npos) << run.output();
        return run.output();
    }

    void expectKnownValuesOnAHealthyStart()
    {
        app.addPage("selectSong.html", page(std::string(kReportSettings) + "e.DTE_CloseWindow();"));
        AppRun run(app);
        EXPECT_EQ(run.waitForReport("settings"), "settings [+441234567890][net-a][5][1]") << run.output();
        EXPECT_EQ(run.output().find("Failed!"), std::string::npos) << run.output();
        EXPECT_EQ(run.waitForExit(30s), 0);
    }

};

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
    for (int kill = 1; kill <= 3; ++kill) {
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

TEST_F(FaultTest, CorruptDatabaseIsReportedAndLeftAsItWas)
{
    std::filesystem::create_directories(database().parent_path());
    const std::string garbage = "This is not a database.\n" + std::string(5000, '\x5a');
    writeFile(database(), garbage);
    const std::string output = runAgainstBrokenStore(60s);
    EXPECT_NE(output.find("settings [][][2][0]"), std::string::npos) << output;
    EXPECT_EQ(readFile(database()), garbage);
}

TEST_F(FaultTest, ReadOnlyDatabaseKeepsEveryValueStoredBefore)
{
    storeKnownValues();
    std::filesystem::permissions(database(), std::filesystem::perms::owner_read);
    std::filesystem::permissions(database().parent_path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(database().c_str(), W_OK) == 0) {
        std::filesystem::permissions(database().parent_path(), std::filesystem::perms::owner_all);
        GTEST_SKIP() << "file modes do not bind this user (root without restrictions)";
    }
    runAgainstBrokenStore(60s);
    std::filesystem::permissions(database().parent_path(), std::filesystem::perms::owner_all);
    std::filesystem::permissions(database(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    expectKnownValuesOnAHealthyStart();
}

TEST_F(FaultTest, DatabaseLockedByAnotherProcessKeepsEveryValueStoredBefore)
{
    storeKnownValues();
    // Holds what a writer in the middle of a transaction holds: the lock bytes of
    // the database file, taken by this process for the app's whole run.
    const int fd = ::open(database().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x40000000;  // the pending, reserved and shared lock bytes
    lock.l_len = 2 + 510;
    ASSERT_EQ(::fcntl(fd, F_SETLK, &lock), 0);
    runAgainstBrokenStore(180s);
    ::close(fd);  // releases the lock
    expectKnownValuesOnAHealthyStart();
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
    for (int round = 0; round < 6; ++round) {
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

TEST_F(FaultTest, EncoderKilledMidRunGives2AndLeavesNoZombie)
{
    const auto record = app.dir().path() / "ffmpeg.args";
    writeRecordingTool(app.res() / "ffmpeg", record, "exec sleep 120");
    writeFile(app.dir().path() / "in.wav", "RIFF");
    app.addPage("selectSong.html", page(std::string(kPollScript) + "var DIR = '" + app.dir().path().string() + "';" + R"(
        report('start ' + window.external.DTE_TranscodeMedia(DIR + '/in.wav', DIR + '/out.mp3'));
        poll('DTE_tsStatus', function (v) { return v != 0; }, function (v) { report('ended ' + v); });
    )"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("start"), "start true") << run.output();
    ASSERT_TRUE(waitUntil([&] { return readPid(record.string() + ".pid") > 0; }, 30s));
    const pid_t encoder = readPid(record.string() + ".pid");
    ASSERT_TRUE(isRunning(encoder));
    ::kill(encoder, SIGKILL);
    EXPECT_EQ(run.waitForReport("ended", 30s), "ended 2") << run.output();
    const auto pid = appProcess(app);
    ASSERT_TRUE(pid);
    EXPECT_TRUE(waitUntil([&] { return usageOf(*pid).zombies == 0; }, 10s));
    EXPECT_TRUE(isGone(encoder));
}
