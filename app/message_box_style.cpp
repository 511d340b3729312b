#include "app/message_box_style.h"

namespace quillon::app {

MessageBoxLayout messageBoxLayout(std::int32_t style)
{
    using B = MessageBoxLayout::Button;
    MessageBoxLayout layout;
    switch (style & 0xF) {
    case 1:
        layout.buttons = {B{"_OK", IdOk}, B{"_Cancel", IdCancel}};
        break;
    case 2:
        layout.buttons = {B{"_Abort", IdAbort}, B{"_Retry", IdRetry}, B{"_Ignore", IdIgnore}};
        break;
    case 3:
        layout.buttons = {B{"_Yes", IdYes}, B{"_No", IdNo}, B{"_Cancel", IdCancel}};
        break;
    case 4:
        layout.buttons = {B{"_Yes", IdYes}, B{"_No", IdNo}};
        break;
    case 5:
        layout.buttons = {B{"_Retry", IdRetry}, B{"_Cancel", IdCancel}};
        break;
    case 6:
        layout.buttons = {B{"_Cancel", IdCancel}, B{"_Try Again", IdTryAgain}, B{"C_ontinue", IdContinue}};
        break;
    default:  // 0, and sets this box does not know, get one OK button
        layout.buttons = {B{"_OK", IdOk}};
        break;
    }
    // Closing a box counts as Cancel where there is one, as OK for a lone OK,
    // and is not possible otherwise.
    for (const auto& button : layout.buttons) {
        if (button.id == IdCancel)
            layout.closeAnswer = IdCancel;
    }
    if (layout.buttons.size() == 1)
        layout.closeAnswer = IdOk;

    switch (style & 0xF0) {
    case 0x10: layout.icon = BoxIcon::Error; break;
    case 0x20: layout.icon = BoxIcon::Question; break;
    case 0x30: layout.icon = BoxIcon::Warning; break;
    case 0x40: layout.icon = BoxIcon::Information; break;
    default: break;
    }
    const std::size_t wanted = (style & 0xF00) == 0x100 ? 1 : (style & 0xF00) == 0x200 ? 2 : 0;
    layout.defaultButton = wanted < layout.buttons.size() ? wanted : 0;
    return layout;
}

}  // namespace quillon::app
