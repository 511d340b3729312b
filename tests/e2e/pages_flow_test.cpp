// The start page driven by keys like a user: music in, clip made and levelled,
// clip sent to a reference service on this machine.
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"
#include "tests/e2e/reference_service.h"

using namespace quillon::test;

namespace {

constexpr const char* kCaption = "Quillon - Version 2.1.0";
constexpr const char* kNumber = "+44 7700 900123";

class PagesFlowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        if (IsSkipped())
            return;
        std::filesystem::create_directories(storage());
        writeFile(tone(), toneWav(4.0));
    }

    [[nodiscard]] std::filesystem::path storage() const { return app.dir().path() / "clips"; }
    [[nodiscard]] std::filesystem::path tone() const { return app.dir().path() / "my tone.wav"; }

    // On a fresh start nothing is chosen: phone and network by their first
    // letters, then the number, then Enter on the form.
    static void fillSendForm(AppRun& run, const std::string& window)
    {
        const auto form = waitForState(run, "send-form");
        ASSERT_EQ(form, "send-form phone=none network=none checked=no") << run.output();
        run.keys(window, {"a", "Tab", "v", "Tab"});
        run.type(window, kNumber);
        run.keys(window, {"Return"});
    }

    static void expectNoConsoleErrors(const AppRun& run)
    {
        EXPECT_EQ(consoleErrors(run.output()), std::vector<std::string>{}) << run.output();
    }

    // The clip the service holds is the very file the page made.
    void expectStoredClipIs(const std::filesystem::path& clip, const std::string& sent) const
    {
        const auto stored = storedClip(storage());
        ASSERT_TRUE(stored) << "the service holds no single clip";
        EXPECT_EQ(readFile(*stored), readFile(clip));
        EXPECT_EQ(sent.substr(sent.rfind('/') + 1), stored->filename().string());
    }

};

// The states in order, each once, from the given list only.
std::vector<std::string> milestones(const std::string& output, const std::vector<std::string>& wanted)
{
    std::vector<std::string> seen;
    for (const auto& state : statesOf(output)) {
        for (const auto& w : wanted) {
            if (state.rfind(w, 0) == 0)
                seen.push_back(w);
        }
    }
    return seen;
}

}  // namespace

TEST_F(PagesFlowTest, FileFromTheCommandLineIsClippedLevelledAndSent)
{
    ReferenceService service(storage());
    pointPagesAt(app, service.authority());
    AppRun run(app, {tone().string()}, {{"QUILLON_SERVICE", service.authority()}});

    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const auto clip = clipPathOf(*ready);
    EXPECT_EQ(clip.parent_path(), std::filesystem::canonical(app.res() / "tmp"));
    EXPECT_EQ(clip.extension(), ".mp3");
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    fillSendForm(run, *window);

    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    EXPECT_EQ(sent->rfind("send-ok http://" + service.authority() + "/clips/", 0), 0u) << *sent;
    expectStoredClipIs(clip, *sent);
    EXPECT_EQ(milestones(run.output(), {"chose file", "converting", "levelling", "clip-ready", "sending", "send-ok"}),
              (std::vector<std::string>{"chose file", "converting", "levelling", "clip-ready", "sending", "send-ok"}));
    // "Make another clip" leads back to the first step.
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "pick", 10s, 1));
    expectNoConsoleErrors(run);
}

TEST_F(PagesFlowTest, AClipTheServiceRefusesIsExplainedAndOtherMusicOffered)
{
    ReferenceService service(storage(), 1000);  // takes no real clip
    pointPagesAt(app, service.authority());
    AppRun run(app, {tone().string()}, {{"QUILLON_SERVICE", service.authority()}});
    ASSERT_TRUE(waitForState(run, "clip-ready")) << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    fillSendForm(run, *window);
    EXPECT_EQ(waitForState(run, "failed"), "failed confirm clip refused") << run.output();
    // "Choose other music" has the focus and leads back to the first step.
    run.keys(*window, {"Return"});
    EXPECT_TRUE(waitForState(run, "pick", 10s, 1)) << run.output();
    EXPECT_FALSE(waitForState(run, "sending", 0ms, 1));
}

TEST_F(PagesFlowTest, CdTrackIsRippedClippedAndSent)
{
    const auto cue = writeSineDisc(app.dir().path());
    ReferenceService service(storage());
    pointPagesAt(app, service.authority());
    AppRun run(app, {}, {{"QUILLON_SERVICE", service.authority()}, {"QUILLON_CD_IMAGES", cue.string()}});

    // Lengths in minutes and seconds; the data track is listed too.
    const auto tracks = waitForState(run, "tracks");
    ASSERT_EQ(tracks, "tracks 1 0:03, 2 0:02, 3 data") << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    // From "Choose a file…": Refresh, the drive, the first track; Down picks track 2.
    run.keys(*window, {"Tab", "Tab", "Tab", "Down", "Return"});

    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const auto clip = clipPathOf(*ready);
    // Two seconds at 64 kbit/s: about 16 000 bytes; the three-second track would give 24 000.
    const auto size = std::filesystem::file_size(clip);
    EXPECT_GT(size, 12000u);
    EXPECT_LT(size, 20000u);
    EXPECT_EQ(milestones(run.output(), {"chose cd", "ripping", "converting", "levelling", "clip-ready"}),
              (std::vector<std::string>{"chose cd", "ripping", "converting", "levelling", "clip-ready"}));
    // The ripped wave file does not outlive the conversion.
    EXPECT_FALSE(std::filesystem::exists(app.res() / "tmp" / "track.wav"));

    fillSendForm(run, *window);
    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    expectStoredClipIs(clip, *sent);
    expectNoConsoleErrors(run);
}

TEST_F(PagesFlowTest, CancelDuringTheConversionReturnsToACleanFirstStep)
{
    // A stand-in encoder that never finishes by itself.
    const auto pidFile = app.dir().path() / "encoder.pid";
    const auto argsFile = app.dir().path() / "encoder.args";
    writeScript(app.res() / "ffmpeg", "echo $$ > '" + pidFile.string() + "'\nprintf '%s\\n' \"$@\" > '" +
                                          argsFile.string() + "'\nexec sleep 120\n");
    AppRun run(app, {tone().string()});
    ASSERT_TRUE(waitForState(run, "converting")) << run.output();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::error_code ec;
    while (std::filesystem::file_size(pidFile, ec) == 0 || ec) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the encoder never started";
        std::this_thread::sleep_for(50ms);
    }
    const std::string pidText = readFile(pidFile);
    const pid_t encoder = std::stoi(pidText);
    const std::string args = readFile(argsFile);
    EXPECT_NE(args.find("-i\n" + tone().string() + "\n"), std::string::npos) << args;
    EXPECT_NE(args.find("\n" + (std::filesystem::canonical(app.res() / "tmp")).string() + "/clip-"), std::string::npos)
        << args;

    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});  // the Cancel button has the focus
    ASSERT_TRUE(waitForState(run, "cancelled", 10s)) << run.output();
    ASSERT_TRUE(waitForState(run, "pick", 10s, 1)) << run.output();

    // The encoder ending late must not reach the page any more.
    kill(encoder, SIGTERM);
    EXPECT_FALSE(waitForState(run, "failed", 2s)) << run.output();
    EXPECT_FALSE(waitForState(run, "levelling", 0ms));

    // Back on the first step with the focus on "Choose a file…".
    run.keys(*window, {"Return"});
    const std::string chooser = "Select audio file to use on mobile phone as ringtone";
    const auto chooserWindow = run.waitForWindow(chooser, 10s);
    ASSERT_TRUE(chooserWindow) << "Return did not open the file chooser";
    run.keys(*chooserWindow, {"Escape"});
    expectNoConsoleErrors(run);
}

TEST_F(PagesFlowTest, UnreachableServiceIsExplainedAndARetrySendsTheSameClip)
{
    const int port = unusedPort();
    const std::string authority = "127.0.0.1:" + std::to_string(port);
    pointPagesAt(app, authority);
    AppRun run(app, {tone().string()}, {{"QUILLON_SERVICE", authority}});
    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    fillSendForm(run, *window);
    ASSERT_TRUE(waitForState(run, "failed session")) << run.output();

    ServiceProcess service(storage(), port);
    ASSERT_TRUE(service.listening());
    run.keys(*window, {"Return"});  // "Try again" has the focus
    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    expectStoredClipIs(clipPathOf(*ready), *sent);
    // The clip was made once.
    EXPECT_EQ(milestones(run.output(), {"converting", "sending"}),
              (std::vector<std::string>{"converting", "sending", "sending"}));
    expectNoConsoleErrors(run);
}
