// The fixed dialogs as the start page opens them from its header links.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/pages_support.h"

using namespace quillon::test;

namespace {

// Dialog captions carry the host's two-blank indent.
constexpr const char* kIndent = "  ";

using PagesDialogsTest = AppTest;

// Shift+Tab from "Choose a file…", which has the focus at start, walks the
// header links backwards: Homepage, About, FAQ & contact, Phone check, How to use.
std::vector<std::string> backTabs(int count)
{
    std::vector<std::string> keys(static_cast<std::size_t>(count), "shift+Tab");
    keys.push_back("Return");
    return keys;
}

}  // namespace

TEST_F(PagesDialogsTest, HelpDialogsOpenFromTheHeaderAndCloseWithTheirButton)
{
    struct Case {
        int backTabs;
        std::string caption;
        std::string page;
    };
    const std::vector<Case> cases = {
        {2, "About Quillon", "About Quillon"},
        {3, "Quillon - FAQ and Contact us", "FAQ and contact"},
        {5, "Quillon - How to use the application", "How to use Quillon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        AppRun run(app);
        ASSERT_TRUE(waitForState(run, "pick")) << run.output();
        const auto window = run.waitForWindow(kCaption);
        ASSERT_TRUE(window);
        const std::string title = kIndent + c.caption;
        run.keys(*window, backTabs(c.backTabs));
        ASSERT_TRUE(waitForState(run, "dialog " + c.page, 10s)) << run.output();
        const auto dialog = run.waitForWindow(title, 10s);
        ASSERT_TRUE(dialog) << title;
        // The Close button has the focus; a window just mapped may drop a key.
        bool closed = false;
        for (int attempt = 0; attempt < 3 && !closed; ++attempt) {
            run.keys(*dialog, {"Return"});
            closed = waitForNoWindow(title, 3s);
        }
        EXPECT_TRUE(closed) << title << " stayed open";
        EXPECT_TRUE(run.running());
        EXPECT_EQ(consoleErrors(run.output()), std::vector<std::string>{}) << run.output();
    }
}

TEST_F(PagesDialogsTest, PhoneCheckStoresTheChoiceAndTheSendFormUsesIt)
{
    const std::string title = std::string(kIndent) + "Quillon - Phone Compatibility Test";
    {
        AppRun run(app);
        ASSERT_TRUE(waitForState(run, "pick")) << run.output();
        const auto window = run.waitForWindow(kCaption);
        ASSERT_TRUE(window);
        run.keys(*window, backTabs(4));
        ASSERT_TRUE(waitForState(run, "dialog Phone check", 10s)) << run.output();
        const auto dialog = run.waitForWindow(title, 10s);
        ASSERT_TRUE(dialog);
        // Phone, network, then past Cancel to "Save my phone".
        run.keys(*dialog, {"i", "Tab", "e", "Tab", "Tab", "Return"});
        EXPECT_EQ(waitForState(run, "phone-check saved"), "phone-check saved iphone ee") << run.output();
        EXPECT_TRUE(waitForNoWindow(title));
        EXPECT_EQ(consoleErrors(run.output()), std::vector<std::string>{}) << run.output();
    }
    // The next start remembers the choice and asks no more about the phone.
    const auto tone = app.dir().path() / "tone.wav";
    writeFile(tone, toneWav(2.0));
    AppRun again(app, {tone.string()});
    ASSERT_TRUE(waitForState(again, "part")) << again.output();
    const auto window = again.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    again.keys(*window, {"Return"});
    EXPECT_EQ(waitForState(again, "send-form"), "send-form phone=iphone network=ee checked=yes") << again.output();
}
