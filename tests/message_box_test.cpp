#include <gtest/gtest.h>

#include "app/message_box_style.h"

using namespace quillon::app;

namespace {

std::vector<ButtonId> ids(const MessageBoxLayout& layout)
{
    std::vector<ButtonId> result;
    for (const auto& button : layout.buttons)
        result.push_back(button.id);
    return result;
}

}  // namespace

TEST(MessageBoxLayout, ButtonSetsDefaultsAndCloseAnswersFollowTheStyleWord)
{
    struct Case {
        std::int32_t style;
        std::vector<ButtonId> buttons;
        std::size_t defaultButton;
        std::int32_t closeAnswer;
    };
    const Case cases[] = {
        {0x0, {IdOk}, 0, IdOk},
        {0x1, {IdOk, IdCancel}, 0, IdCancel},
        {0x2, {IdAbort, IdRetry, IdIgnore}, 0, 0},
        {0x3, {IdYes, IdNo, IdCancel}, 0, IdCancel},
        {0x24, {IdYes, IdNo}, 0, 0},
        {0x124, {IdYes, IdNo}, 1, 0},
        {0x5, {IdRetry, IdCancel}, 0, IdCancel},
        {0x203, {IdYes, IdNo, IdCancel}, 2, IdCancel},
        {0x6, {IdCancel, IdTryAgain, IdContinue}, 0, IdCancel},
        {0x216, {IdCancel, IdTryAgain, IdContinue}, 2, IdCancel},
        {0x200, {IdOk}, 0, IdOk},  // a default beyond the buttons falls back to the first
        {0x9, {IdOk}, 0, IdOk},    // an unknown set is a lone OK
        {-1, {IdOk}, 0, IdOk},
    };
    for (const auto& c : cases) {
        const auto layout = messageBoxLayout(c.style);
        EXPECT_EQ(ids(layout), c.buttons) << std::hex << c.style;
        EXPECT_EQ(layout.defaultButton, c.defaultButton) << std::hex << c.style;
        EXPECT_EQ(layout.closeAnswer, c.closeAnswer) << std::hex << c.style;
    }
}

TEST(MessageBoxLayout, IconsFollowTheIconBits)
{
    EXPECT_EQ(messageBoxLayout(0x10).icon, BoxIcon::Error);
    EXPECT_EQ(messageBoxLayout(0x24).icon, BoxIcon::Question);
    EXPECT_EQ(messageBoxLayout(0x31).icon, BoxIcon::Warning);
    EXPECT_EQ(messageBoxLayout(0x40).icon, BoxIcon::Information);
    EXPECT_EQ(messageBoxLayout(0x4).icon, BoxIcon::None);
}
