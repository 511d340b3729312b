#include <gtest/gtest.h>

#include "app/message_box_style.h"

using namespace quillon::app;

// One line per box: each button as label=answer ("*" on the default), the answer to closing the box, and the icon.
// The end-to-end dialog test presses the boxes of styles 0x24, 0x124, 0 and 3.
TEST(MessageBoxLayout, FollowsTheStyleWord)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {0x10, "_OK=1* close 1 icon 1"},
        {0x31, "_OK=1* _Cancel=2 close 2 icon 3"},
        {0x2, "_Abort=3* _Retry=4 _Ignore=5 close 0 icon 0"},
        {0x24, "_Yes=6* _No=7 close 0 icon 2"},
        {0x5, "_Retry=4* _Cancel=2 close 2 icon 0"},
        {0x203, "_Yes=6 _No=7 _Cancel=2* close 2 icon 0"},
        {0x46, "_Cancel=2* _Try Again=10 C_ontinue=11 close 2 icon 4"},
        {0x216, "_Cancel=2 _Try Again=10 C_ontinue=11* close 2 icon 1"},
        {0x200, "_OK=1* close 1 icon 0"},  // a default beyond the buttons falls back to the first
        {-1, "_OK=1* close 1 icon 0"},     // an unknown set is a lone OK
    };
    for (const auto& [style, expected] : cases) {
        const auto layout = messageBoxLayout(style);
        std::string shown;
        for (std::size_t i = 0; i < layout.buttons.size(); ++i)
            shown += layout.buttons[i].label + "=" + std::to_string(layout.buttons[i].id) +
                     (i == layout.defaultButton ? "* " : " ");
        shown += "close " + std::to_string(layout.closeAnswer) + " icon " + std::to_string(int(layout.icon));
        EXPECT_EQ(shown, expected) << std::hex << style;
    }
}
