// The start page driven by keys like a user: music in, the part chosen, the clip
// made and levelled, and sent to a reference service on this machine.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"
#include "tests/e2e/reference_service.h"

using namespace quillon::test;

namespace {

using PagesFlowTest = PagesTest;

// "part <startMs> <lengthMs> of <durationMs>" as its three numbers.
struct Part {
    long startMs = -1, lengthMs = -1, durationMs = -1;
};
Part partOf(const std::optional<std::string>& state)
{
    Part part;
    std::string word, of;
    std::istringstream(state.value_or("")) >> word >> part.startMs >> part.lengthMs >> of >> part.durationMs;
    return part;
}

}  // namespace

TEST_F(PagesFlowTest, CommandLineSongsPartIsMovedByKeysClippedAndSentOnceTheServiceIsUp)
{
    // Loud from 20 s to 50 s: the liveliest 30 s start at 20 s.
    writeFile(song(), songWav(60.0, 20.0, 50.0));
    const int port = unusedPort();
    const std::string authority = "127.0.0.1:" + std::to_string(port);
    pointPagesAt(app, authority);
    AppRun run(app, {song().string()}, {{"QUILLON_SERVICE", authority}});

    const Part suggested = partOf(waitForState(run, "part"));
    EXPECT_NEAR(suggested.startMs, 20000, 1000) << run.output();
    EXPECT_EQ(suggested.lengthMs, 30000);
    EXPECT_NEAR(suggested.durationMs, 60000, 50);
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    // The waveform has the focus: 2 s and five tenths later, 10 s shorter, then make it.
    run.keys(*window, {"Right", "Right", "shift+Right", "shift+Right", "shift+Right", "shift+Right", "shift+Right"});
    run.keys(*window, std::vector<std::string>(10, "Down"));
    const std::string chosen = std::to_string(suggested.startMs + 2500) + " 20000";
    ASSERT_TRUE(waitForState(run, "part " + chosen, 10s)) << run.output();
    run.keys(*window, {"Return"});
    EXPECT_EQ(waitForState(run, "converting"), "converting " + chosen + " 1000") << run.output();

    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const auto clip = clipPathOf(*ready);
    EXPECT_EQ(clip.parent_path(), std::filesystem::canonical(app.res() / "tmp"));
    // No service yet: explained, and "Try again" (which has the focus) sends the same clip.
    fillSendForm(run, *window);
    ASSERT_TRUE(waitForState(run, "failed session")) << run.output();
    ServiceProcess service(storage(), port);
    ASSERT_TRUE(service.listening());
    run.keys(*window, {"Return"});
    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    EXPECT_EQ(sent->rfind("send-ok http://" + authority + "/clips/", 0), 0u) << *sent;
    expectStoredClipIs(clip, *sent);
    // MP3 frames round the length up by at most one frame's padding.
    EXPECT_NEAR(durationMsOf(*storedClip(storage())), 20000, 60);
    // The clip was made once and sent twice.
    EXPECT_EQ(milestones(run.output(), {"chose file", "reading", "converting", "clip-ready", "sending", "send-ok"}),
              (std::vector<std::string>{"chose file", "reading", "converting", "clip-ready", "sending", "sending",
                                        "send-ok"}));
    // "Make another clip" leads back to the first step.
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "pick", 10s, 1));
    expectNoConsoleErrors(run);
}

TEST_F(PagesFlowTest, AClipTheServiceRefusesIsExplainedAndOtherMusicOffered)
{
    ReferenceService service(storage(), 1000);  // takes no real clip
    pointPagesAt(app, service.authority());
    writeFile(song(), toneWav(4.0));
    AppRun run(app, {song().string()}, {{"QUILLON_SERVICE", service.authority()}});
    ASSERT_TRUE(waitForState(run, "part")) << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "clip-ready")) << run.output();
    fillSendForm(run, *window);
    EXPECT_EQ(waitForState(run, "failed"), "failed confirm clip refused") << run.output();
    // "Choose other music" has the focus and leads back to the first step.
    run.keys(*window, {"Return"});
    EXPECT_TRUE(waitForState(run, "pick", 10s, 1)) << run.output();
    EXPECT_FALSE(waitForState(run, "sending", 0ms, 1));
}

TEST_F(PagesFlowTest, CdTrackIsCopiedThenWhollyClippedAndSent)
{
    const auto cue = writeSineDisc(app.dir().path());
    ReferenceService service(storage());
    pointPagesAt(app, service.authority());
    AppRun run(app, {}, {{"QUILLON_SERVICE", service.authority()}, {"QUILLON_CD_IMAGES", cue.string()}});

    // Lengths in minutes and seconds; the data track is listed too.
    ASSERT_EQ(waitForState(run, "tracks"), "tracks 1 0:03, 2 0:02, 3 data") << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    // From "Choose a file…": Refresh, the drive, the first track; Down picks track 2.
    run.keys(*window, {"Tab", "Tab", "Tab", "Down", "Return"});

    // Two seconds are shorter than any part: the whole track is the part.
    const Part part = partOf(waitForState(run, "part"));
    EXPECT_EQ(part.startMs, 0) << run.output();
    EXPECT_NEAR(part.durationMs, 2000, 20);
    EXPECT_EQ(part.lengthMs, part.durationMs);
    run.keys(*window, {"Return"});
    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const auto clip = clipPathOf(*ready);
    EXPECT_NEAR(durationMsOf(clip), 2000, 60);
    // Each listing (drives, then tracks) is announced before the page waits for it.
    const std::vector<std::string> steps = {"listing the disc", "tracks", "chose cd",   "ripping",
                                            "reading",          "part",   "converting", "clip-ready"};
    std::vector<std::string> seen = steps;
    seen.insert(seen.begin(), "listing the disc");
    EXPECT_EQ(milestones(run.output(), steps), seen) << run.output();
    // The copied wave file does not outlive the conversion.
    EXPECT_FALSE(std::filesystem::exists(app.res() / "tmp" / "track.wav"));

    fillSendForm(run, *window);
    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    expectStoredClipIs(clip, *sent);
    expectNoConsoleErrors(run);
}

TEST_F(PagesFlowTest, CancelDuringTheClipReturnsToACleanFirstStep)
{
    // The waveform is read by the real encoder; the clip's encoder never ends by itself.
    const auto pidFile = app.dir().path() / "encoder.pid";
    const auto argsFile = app.dir().path() / "encoder.args";
    writeScript(app.res() / "ffmpeg", "case \" $* \" in *\" -ab \"*) ;; *) exec ffmpeg \"$@\" ;; esac\n"
                                      "echo $$ > '" +
                                          pidFile.string() + "'\nprintf '%s\\n' \"$@\" > '" + argsFile.string() +
                                          "'\nexec sleep 120\n");
    writeFile(song(), toneWav(4.0));
    AppRun run(app, {song().string()});
    EXPECT_EQ(waitForState(run, "part"), "part 0 4000 of 4000") << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "converting")) << run.output();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::error_code ec;
    while (std::filesystem::file_size(pidFile, ec) == 0 || ec) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the encoder never started";
        std::this_thread::sleep_for(50ms);
    }
    const pid_t encoder = std::stoi(readFile(pidFile));
    const std::string tmp = std::filesystem::canonical(app.res() / "tmp").string();
    const std::string args = readFile(argsFile);
    EXPECT_EQ(args.substr(0, args.find(tmp)), "-ss\n0.000\n-t\n4.000\n-i\n" + song().string() +
                                                  "\n-af\nafade=t=in:st=0:d=1.000,afade=t=out:st=3.000:d=1.000\n"
                                                  "-ab\n64k\n-ar\n44100\n-ac\n2\n-y\n");

    run.keys(*window, {"Return"});  // the Cancel button has the focus
    ASSERT_TRUE(waitForState(run, "cancelled", 10s)) << run.output();
    ASSERT_TRUE(waitForState(run, "pick", 10s, 1)) << run.output();
    // The encoder ending late must not reach the page any more.
    kill(encoder, SIGTERM);
    EXPECT_FALSE(waitForState(run, "failed", 2s)) << run.output();
    EXPECT_FALSE(waitForState(run, "levelling", 0ms));
    // Back on the first step with the focus on "Choose a file…".
    run.keys(*window, {"Return"});
    const auto chooser = run.waitForWindow("Select audio file to use on mobile phone as ringtone", 10s);
    ASSERT_TRUE(chooser) << "Return did not open the file chooser";
    run.keys(*chooser, {"Escape"});
    expectNoConsoleErrors(run);
}
