#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::app {

// The Windows button identifiers a message box returns.
enum ButtonId : std::int32_t {
    IdOk = 1,
    IdCancel = 2,
    IdAbort = 3,
    IdRetry = 4,
    IdIgnore = 5,
    IdYes = 6,
    IdNo = 7,
    IdTryAgain = 10,
    IdContinue = 11,
};

// The style word a page passes: buttons in the low four bits, the icon in the
// next four, the default button in the four above.
namespace box_style {
inline constexpr std::int32_t kButtonsMask = 0xF;
inline constexpr std::int32_t kOk = 0x0;
inline constexpr std::int32_t kOkCancel = 0x1;
inline constexpr std::int32_t kAbortRetryIgnore = 0x2;
inline constexpr std::int32_t kYesNoCancel = 0x3;
inline constexpr std::int32_t kYesNo = 0x4;
inline constexpr std::int32_t kRetryCancel = 0x5;
inline constexpr std::int32_t kCancelTryContinue = 0x6;
inline constexpr std::int32_t kIconMask = 0xF0;
inline constexpr std::int32_t kIconError = 0x10;
inline constexpr std::int32_t kIconQuestion = 0x20;
inline constexpr std::int32_t kIconWarning = 0x30;
inline constexpr std::int32_t kIconInformation = 0x40;
inline constexpr std::int32_t kDefaultMask = 0xF00;
inline constexpr std::int32_t kDefaultSecond = 0x100;
inline constexpr std::int32_t kDefaultThird = 0x200;
}  // namespace box_style

enum class BoxIcon { None, Error, Question, Warning, Information };

// Caption and style words of the boxes the app shows of its own accord.
inline constexpr const char* kAppBoxCaption = "Quillon";
inline constexpr std::int32_t kStyleErrorOk = box_style::kOk | box_style::kIconError;
inline constexpr std::int32_t kStyleWarningOk = box_style::kOk | box_style::kIconWarning;

// What a message-box style word asks for: its buttons in order, the default one,
// the icon, and the answer when the box is closed without a button (0: it cannot be).
struct MessageBoxLayout {
    struct Button {
        std::string label;
        ButtonId id;
    };
    std::vector<Button> buttons;
    std::size_t defaultButton = 0;
    BoxIcon icon = BoxIcon::None;
    std::int32_t closeAnswer = 0;
};

[[nodiscard]] MessageBoxLayout messageBoxLayout(std::int32_t style);

}  // namespace quillon::app
