// One running copy per app folder: on a session bus a later start hands its file
// to the running window and ends; every start when there is no bus runs on its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/private_bus.h"

using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

// Reports that it is up, then each file it receives; a file named quit.mp3 closes the window.
const std::string kPollingPage = page(R"(
    report('up');
    setInterval(function () {
        var file = window.external.DTE_clFileName;
        if (!file) return;
        report('file ' + file);
        if (/quit\.mp3$/.test(file)) window.external.DTE_CloseWindow();
    }, 50);
)");

class DesktopInstance : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        if (!IsSkipped())
            app.addPage("selectSong.html", kPollingPage);
    }
};

class DesktopInstanceOnBus : public DesktopInstance {
protected:
    void SetUp() override
    {
        DesktopInstance::SetUp();
        if (IsSkipped())
            return;
        if (bus.address().empty())
            GTEST_SKIP() << "needs dbus-daemon (package dbus-daemon) for a private session bus";
        environment = {{"DBUS_SESSION_BUS_ADDRESS", bus.address()}};
    }
    PrivateBus bus;
    std::map<std::string, std::string> environment;
};

}  // namespace

TEST_F(DesktopInstanceOnBus, LaterStartsHandTheirFilesToTheRunningWindowUntilItCloses)
{
    AppRun first(app, {"/music/one.mp3"}, environment);
    ASSERT_TRUE(first.waitForReport("file /music/one.mp3")) << first.output();
    const std::vector<std::pair<std::vector<std::string>, std::string>> starts{
        {{"/music/two song.mp3"}, "file /music/two song.mp3"},
        // Without a file the running window only comes to the front.
        {{}, ""},
        // The running copy works in another folder: a relative name arrives whole.
        {{"relative.mp3"}, "file " + (fs::current_path() / "relative.mp3").string()},
        {{"-open", "/music/quit.mp3"}, "file /music/quit.mp3"},
    };
    std::vector<std::string> expected{"up", "file /music/one.mp3"};
    for (const auto& [arguments, report] : starts) {
        AppRun later(app, arguments, environment);
        EXPECT_EQ(later.waitForExit(), 0) << later.output();
        if (!report.empty()) {
            EXPECT_EQ(first.waitForReport(report), report) << first.output();
            expected.push_back(report);
        }
    }
    EXPECT_EQ(first.reports(), expected);
    // quit.mp3 closed the window: the next start runs a window of its own.
    EXPECT_EQ(first.waitForExit(), 0) << first.output();
    AppRun next(app, {"/music/after.mp3"}, environment);
    EXPECT_EQ(next.waitForReport("file"), "file /music/after.mp3") << next.output();
}

TEST_F(DesktopInstance, WithoutASessionBusEveryStartRunsItsOwnWindow)
{
    const std::map<std::string, std::string> noBus{
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (app.dir().path() / "no-bus").string()}};
    AppRun first(app, {"/music/one.mp3"}, noBus);
    ASSERT_EQ(first.waitForReport("file"), "file /music/one.mp3") << first.output();
    AppRun second(app, {"/music/two.mp3"}, noBus);
    EXPECT_EQ(second.waitForReport("file"), "file /music/two.mp3") << second.output();
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(second.running());
    EXPECT_EQ(first.reports(), (std::vector<std::string>{"up", "file /music/one.mp3"}));
}

TEST_F(DesktopInstanceOnBus, ANameThatIsNotUtf8IsExplainedBeforeAnythingRuns)
{
    const std::string latin1 = "/music/M\xFCsik.mp3";
    AppRun first(app, {latin1}, environment);
    auto box = first.waitForWindow("Quillon");
    ASSERT_TRUE(box) << first.output();
    first.keys(*box, {"Return"});
    ASSERT_TRUE(first.waitForReport("up")) << first.output();

    // A later start says so itself and hands nothing over; the running copy goes on.
    AppRun later(app, {latin1}, environment);
    box = later.waitForWindow("Quillon");
    ASSERT_TRUE(box) << later.output();
    later.keys(*box, {"Return"});
    EXPECT_EQ(later.waitForExit(), 0) << later.output();
    AppRun next(app, {"/music/after.mp3"}, environment);
    EXPECT_EQ(next.waitForExit(), 0) << next.output();
    EXPECT_EQ(first.waitForReport("file"), "file /music/after.mp3") << first.output();
    EXPECT_EQ(first.reports(), (std::vector<std::string>{"up", "file /music/after.mp3"}));
}

TEST_F(DesktopInstance, WithoutASessionBusCopiesKeepToTheirOwnTemporaryFolders)
{
    // Each copy starts a transcode, whose clean-up empties its temporary folder of
    // clips, and reports that folder; a copy started with a file then closes. The
    // first to hold the shared folder removes the folders that killed copies left.
    app.addPage("selectSong.html", page(std::string(kPollScript) + R"(
        var tmp = decodeURIComponent((/[?&]tmp=([^&#]*)/.exec(location.search) || ["", ""])[1]);
        window.external.DTE_TranscodeMedia(tmp + "/missing.wav", tmp + "/clip.mp3");
        poll("DTE_tsStatus", function (v) { return v === 1 || v === 2; }, function () {
            report("tmp " + tmp);
            if (window.external.DTE_clFileName) window.external.DTE_CloseWindow();
        });
    )"));
    const std::map<std::string, std::string> noBus{
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (app.dir().path() / "no-bus").string()}};
    const fs::path shared = fs::canonical(app.res() / "tmp");
    fs::create_directory(shared / "copy-of-a-killed-one");
    AppRun first(app, {}, noBus);
    ASSERT_EQ(first.waitForReport("tmp"), "tmp " + shared.string()) << first.output();
    EXPECT_FALSE(fs::exists(shared / "copy-of-a-killed-one"));
    writeFile(shared / "clip-of-the-first.mp3", "first");

    AppRun second(app, {"/music/two.mp3"}, noBus);
    const auto report = second.waitForReport("tmp");
    ASSERT_TRUE(report) << second.output();
    const fs::path own = report->substr(4);
    EXPECT_EQ(own.parent_path(), shared);
    EXPECT_TRUE(own.filename().string().starts_with("copy-")) << own;
    EXPECT_EQ(second.waitForExit(), 0) << second.output();
    EXPECT_FALSE(fs::exists(own));
    EXPECT_EQ(readFile(shared / "clip-of-the-first.mp3"), "first");
    EXPECT_TRUE(first.running());
}
