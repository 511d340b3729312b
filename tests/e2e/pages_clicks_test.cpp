// A double click on a button that its Cancel button replaces does what one click does.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"

using namespace quillon::test;

using PagesClicksTest = AppTest;

TEST_F(PagesClicksTest, DoubleClickOnTryAgainStartsTheWorkAndDoesNotCancelIt)
{
    // The encoder reads the waveform, then fails the clip once and works on the
    // next one for a long while.
    const auto marker = app.dir().path() / "failed-once";
    writeScript(app.res() / "ffmpeg", "case \" $* \" in *\" -ab \"*) ;; *) exec ffmpeg \"$@\" ;; esac\n[ -e '" +
                                          marker.string() + "' ] || { : > '" + marker.string() +
                                          "'; exit 1; }\nexec sleep 30\n");
    probeElements(app, {"make-retry"});
    const auto tone = app.dir().path() / "tone.wav";
    writeFile(tone, toneWav(2.0));
    AppRun run(app, {tone.string()});
    ASSERT_TRUE(waitForState(run, "part")) << run.output();
    const auto window = run.waitForWindow("Quillon - Version 2.1.0");
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});
    ASSERT_EQ(waitForState(run, "failed convert"), "failed convert 2 damaged") << run.output();
    const auto retry = elementPosition(run, *window, "make-retry");
    ASSERT_TRUE(retry) << run.output();

    run.doubleClick(*window, retry->first, retry->second);
    EXPECT_TRUE(waitForState(run, "converting", 10s, 1)) << run.output();
    EXPECT_FALSE(waitForState(run, "cancelled", 2s)) << run.output();
}
