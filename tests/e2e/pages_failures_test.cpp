// Every failure on the way to the clip is explained, with a way on: "Try again"
// runs the failed work again, a song that cannot be read leads back.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"

using namespace quillon::test;

using PagesFailuresTest = PagesTest;

TEST_F(PagesFailuresTest, AFailedToolIsReportedAndRetried)
{
    struct Case {
        std::string tool;
        std::string script;
        std::string state;
    };
    // The encoder fails only for the clip, after reading the waveform; the gain
    // tool only in its second step ("/r").
    const std::vector<Case> cases = {
        {"ffmpeg", "case \" $* \" in *\" -ab \"*) exit 1 ;; esac\nexec ffmpeg \"$@\"\n", "failed convert 2 damaged"},
        {"ffmpeg", "case \" $* \" in *\" -ab \"*) exit 0 ;; esac\nexec ffmpeg \"$@\"\n", "failed convert 2 no-output"},
        {"mp3gain", "[ \"$1\" = /r ] && exit 1\nexit 0\n", "failed level 202"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        TestApp app;
        writeScript(app.res() / c.tool, c.script);
        const auto tone = app.dir().path() / "tone.wav";
        writeFile(tone, toneWav(2.0));
        AppRun run(app, {tone.string()});
        ASSERT_TRUE(waitForState(run, "part")) << run.output();
        const auto window = run.waitForWindow(kCaption);
        ASSERT_TRUE(window);
        run.keys(*window, {"Return"});
        ASSERT_EQ(waitForState(run, "failed"), c.state) << run.output();
        run.keys(*window, {"Return"});  // "Try again" has the focus
        EXPECT_EQ(waitForState(run, "failed", 60s, 1), c.state) << run.output();
        EXPECT_FALSE(waitForState(run, "clip-ready", 0ms));
        expectNoConsoleErrors(run);
    }
}

TEST_F(PagesFailuresTest, ASongThatCannotBeReadIsExplainedAndLeadsBack)
{
    writeFile(song(), "These are words, not sound.\n");
    AppRun run(app, {song().string()});
    EXPECT_EQ(waitForState(run, "failed"), "failed read 201") << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});  // "Choose other music" has the focus
    EXPECT_TRUE(waitForState(run, "pick", 10s, 1)) << run.output();
    EXPECT_FALSE(waitForState(run, "converting", 0ms));
    expectNoConsoleErrors(run);
}
