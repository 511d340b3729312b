// The phone check opened from the start page's header: its choice is stored and used.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"

using namespace quillon::test;

using PagesDialogsTest = PagesTest;

TEST_F(PagesDialogsTest, PhoneCheckStoresTheChoiceAndTheSendFormUsesIt)
{
    {
        AppRun run(app);
        ASSERT_TRUE(waitForState(run, "pick")) << run.output();
        const auto window = run.waitForWindow(kCaption);
        ASSERT_TRUE(window);
        // Shift+Tab from "Choose a file…" walks the header links back: Homepage,
        // About, FAQ & contact, Phone check.
        run.keys(*window, {"shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "Return"});
        ASSERT_TRUE(waitForState(run, "dialog Phone check", 10s)) << run.output();
        const std::string title = "  Quillon - Phone Compatibility Test";
        const auto dialog = run.waitForWindow(title, 10s);
        ASSERT_TRUE(dialog);
        // Phone, network, then past Cancel to "Save my phone".
        run.keys(*dialog, {"i", "Tab", "e", "Tab", "Tab", "Return"});
        EXPECT_EQ(waitForState(run, "phone-check saved"), "phone-check saved iphone ee") << run.output();
        EXPECT_TRUE(waitForNoWindow(title));
        expectNoConsoleErrors(run);
    }
    // The next start remembers the choice and asks no more about the phone.
    writeFile(song(), toneWav(2.0));
    AppRun again(app, {song().string()});
    ASSERT_TRUE(waitForState(again, "part")) << again.output();
    const auto window = again.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    again.keys(*window, {"Return"});
    EXPECT_EQ(waitForState(again, "send-form"), "send-form phone=iphone network=ee checked=yes") << again.output();
}
