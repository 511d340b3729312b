#include "app/message_box_style.h"

namespace quillon::app {

MessageBoxLayout messageBoxLayout(std::int32_t style)
{
    using B = MessageBoxLayout::Button;
    using namespace box_style;
    MessageBoxLayout layout;
    switch (style & kButtonsMask) {
    case kOkCancel: layout.buttons = {B{"_OK", IdOk}, B{"_Cancel", IdCancel}}; break;
    case kAbortRetryIgnore:
        layout.buttons = {B{"_Abort", IdAbort}, B{"_Retry", IdRetry}, B{"_Ignore", IdIgnore}};
        break;
    case kYesNoCancel: layout.buttons = {B{"_Yes", IdYes}, B{"_No", IdNo}, B{"_Cancel", IdCancel}}; break;
    case kYesNo: layout.buttons = {B{"_Yes", IdYes}, B{"_No", IdNo}}; break;
    case kRetryCancel: layout.buttons = {B{"_Retry", IdRetry}, B{"_Cancel", IdCancel}}; break;
    case kCancelTryContinue:
        layout.buttons = {B{"_Cancel", IdCancel}, B{"_Try Again", IdTryAgain}, B{"C_ontinue", IdContinue}};
        break;
    default:  // kOk, and sets this box does not know, get one OK button
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

    switch (style & kIconMask) {
    case kIconError: layout.icon = BoxIcon::Error; break;
    case kIconQuestion: layout.icon = BoxIcon::Question; break;
    case kIconWarning: layout.icon = BoxIcon::Warning; break;
    case kIconInformation: layout.icon = BoxIcon::Information; break;
    default: break;
    }
    const std::int32_t defaultFlag = style & kDefaultMask;
    const std::size_t wanted = defaultFlag == kDefaultSecond ? 1 : defaultFlag == kDefaultThird ? 2 : 0;
    layout.defaultButton = wanted < layout.buttons.size() ? wanted : 0;
    return layout;
}

}  // namespace quillon::app
