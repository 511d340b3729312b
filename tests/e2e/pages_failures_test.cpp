// Every clip failure is explained, and "Try again" runs the failed work again.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"

using namespace quillon::test;

using PagesFailuresTest = AppTest;

TEST_F(PagesFailuresTest, AFailedToolIsReportedAndRetried)
{
    struct Case {
        std::string tool;
        std::string script;
        std::string state;
    };
    // The gain tool fails only in its second step ("/r").
    const std::vector<Case> cases = {
        {"ffmpeg", "exit 1\n", "failed convert 2 damaged"},
        {"ffmpeg", "exit 0\n", "failed convert 2 no-output"},
        {"mp3gain", "[ \"$1\" = /r ] && exit 1\nexit 0\n", "failed level 202"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        TestApp app;
        writeScript(app.res() / c.tool, c.script);
        const auto tone = app.dir().path() / "tone.wav";
        writeFile(tone, toneWav(2.0));
        AppRun run(app, {tone.string()});
        ASSERT_EQ(waitForState(run, "failed"), c.state) << run.output();
        const auto window = run.waitForWindow("Quillon - Version 2.1.0");
        ASSERT_TRUE(window);
        run.keys(*window, {"Return"});  // "Try again" has the focus
        EXPECT_EQ(waitForState(run, "failed", 60s, 1), c.state) << run.output();
        EXPECT_FALSE(waitForState(run, "clip-ready", 0ms));
        EXPECT_EQ(consoleErrors(run.output()), std::vector<std::string>{}) << run.output();
    }
}
