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

enum class BoxIcon { None, Error, Question, Warning, Information };

// Caption and style words of the boxes the app shows of its own accord.
inline constexpr const char* kAppBoxCaption = "Quillon";
inline constexpr std::int32_t kStyleErrorOk = 0x10;
inline constexpr std::int32_t kStyleWarningOk = 0x30;

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
