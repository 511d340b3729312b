// A file handed to the running app while a clip is being made is announced on
// that screen, with an offer to use it.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"
#include "tests/e2e/private_bus.h"

using namespace quillon::test;

using PagesHandoverTest = AppTest;

TEST_F(PagesHandoverTest, AFileHandedOverOnStepTwoIsOfferedThere)
{
    PrivateBus bus;
    if (bus.address().empty())
        GTEST_SKIP() << "needs dbus-daemon for a private session bus";
    const std::map<std::string, std::string> environment{{"DBUS_SESSION_BUS_ADDRESS", bus.address()}};
    // The waveform is read; the clip is made for a long while.
    writeScript(app.res() / "ffmpeg", "case \" $* \" in *\" -ab \"*) exec sleep 60 ;; esac\nexec ffmpeg \"$@\"\n");
    const auto first = app.dir().path() / "first.wav", second = app.dir().path() / "second.wav";
    writeFile(first, toneWav(2.0));
    writeFile(second, toneWav(2.0));

    AppRun run(app, {first.string()}, environment);
    ASSERT_TRUE(waitForState(run, "part")) << run.output();
    const auto window = run.waitForWindow("Quillon - Version 2.1.0");
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "converting")) << run.output();
    AppRun handing(app, {second.string()}, environment);
    EXPECT_EQ(handing.waitForExit(), 0) << handing.output();
    EXPECT_EQ(waitForState(run, "file arrived"), "file arrived " + second.string()) << run.output();
    EXPECT_FALSE(waitForState(run, "chose file", 0ms, 1)) << "the work in progress was dropped unasked";

    // "Use it instead" has the focus: the running work stops and the new file is taken.
    run.keys(*window, {"Return"});
    EXPECT_TRUE(waitForState(run, "chose file", 10s, 1)) << run.output();
}
