#pragma once

// Driving the real pages: their state lines, the service they send to, the music
// they start from and the user's moves that several roads share.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/app_harness.h"

namespace quillon::test {

// The pages log each step they show as "QUILLON state <text>".
inline constexpr const char* kState = "QUILLON state ";
inline std::optional<std::string> waitForState(const AppRun& run, const std::string& prefix,
                                               std::chrono::milliseconds timeout = 60s, std::size_t skip = 0)
{
    return run.waitFor(kState, prefix, timeout, skip);
}
// The states in order, each of the wanted ones it starts with, as often as logged.
std::vector<std::string> milestones(const AppRun& run, const std::vector<std::string>& wanted);

// A WAV of a 440 Hz tone, quiet except from loudFrom to loudTo seconds.
void writeSong(const std::filesystem::path& file, double seconds, double loudFrom, double loudTo);

// The duration in ms of an audio file as the encoder's probe reports it; -1 if none.
long durationMsOf(const std::filesystem::path& file);

class PagesTest : public AppTest {
protected:
    [[nodiscard]] std::filesystem::path storage() const { return app.path() / "clips"; }
    [[nodiscard]] std::filesystem::path song() const { return app.path() / "my song.wav"; }

    // Points the pages (res/service_address.js) and the uploads (QUILLON_SERVICE) at a service.
    [[nodiscard]] std::map<std::string, std::string> pointAt(const std::string& authority) const;
    // Makes the start page report "QTEST at <id> <x> <y>", the centre of each element whenever it moves.
    void probeElements(const std::vector<std::string>& ids) const;
    // Clicks (count times) the probed element where its latest "at" report puts it.
    static void clickOn(AppRun& run, const std::string& window, const std::string& id, int count = 1);
    // On a fresh form: phone and network by their first letters, then the number, then Enter.
    static void fillSendForm(AppRun& run, const std::string& window);
    // The chooser opened with Return ("Choose a file…" has the focus) or by a click
    // on the probed element, then the path typed.
    static void chooseFile(AppRun& run, const std::string& window, const std::filesystem::path& file,
                           const std::string& clickAt = "");
    // Presses key on the dialog with this caption until it has closed.
    static void closeDialog(AppRun& run, const std::string& caption, const std::string& key);
    static void expectNoConsoleErrors(const AppRun& run);
    // The service holds exactly one clip, the very file the page made and named in "send-ok <address>".
    void expectStoredClipIs(const std::filesystem::path& clip, const std::string& sent) const;
};

}  // namespace quillon::test
