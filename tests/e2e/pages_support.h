#pragma once

// Driving the real pages: their state lines, the service they send to, and the
// music they start from.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/app_harness.h"

namespace quillon::test {

// Waits until the page has logged "QUILLON state <prefix>..." and returns the text
// after "state ". Only lines after the first `skip` matching ones count.
std::optional<std::string> waitForState(const AppRun& run, const std::string& prefix,
                                        std::chrono::milliseconds timeout = 60s, std::size_t skip = 0);

// Every state line logged so far, in order, without the "QUILLON state " prefix.
std::vector<std::string> statesOf(const std::string& output);

// Console lines that report a script or page error.
std::vector<std::string> consoleErrors(const std::string& output);

// Points the app copy's pages and its uploads at a service: the pages read the
// address from res/service_address.js, the uploads from QUILLON_SERVICE.
void pointPagesAt(const TestApp& app, const std::string& authority);

// Makes the start page of the app copy report where each of these elements is
// whenever it is shown: "QTEST at <id> <x> <y>", its centre in window
// coordinates (the page area starts one pixel in, under the header bar).
void probeElements(const TestApp& app, const std::vector<std::string>& ids);
// The window position of the element from its latest "at" report.
std::optional<std::pair<int, int>> elementPosition(AppRun& run, const std::string& window, const std::string& id);

// A port on 127.0.0.1 that nothing listened on a moment ago.
int unusedPort();

// The built reference service run as its own process on a chosen port.
class ServiceProcess {
public:
    ServiceProcess(const std::filesystem::path& storage, int port);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;
    [[nodiscard]] bool listening() const { return listening_; }

private:
    pid_t pid_ = -1;
    bool listening_ = false;
};

// Waits until no mapped window has exactly this title.
[[nodiscard]] bool waitForNoWindow(const std::string& title, std::chrono::milliseconds timeout = 10s);

// A disc image of two audio tracks of sine tone (3 s and 2 s) and a data track.
// Returns the .cue path.
std::filesystem::path writeSineDisc(const std::filesystem::path& dir);

// The one clip a reference service stored, by its session id; nullopt unless
// exactly one is there.
std::optional<std::filesystem::path> storedClip(const std::filesystem::path& storage);

// The file named by a "clip-ready <path>" state.
std::filesystem::path clipPathOf(const std::string& state);

// A WAV of a 440 Hz tone (16-bit stereo, 44100 Hz), quiet except from loudFrom to loudTo seconds.
std::string songWav(double seconds, double loudFrom, double loudTo);

// The duration in ms of an audio file as the encoder's probe reports it; -1 if none.
long durationMsOf(const std::filesystem::path& file);

// The states in order, each once, from the given list only.
std::vector<std::string> milestones(const std::string& output, const std::vector<std::string>& wanted);

inline constexpr const char* kCaption = "Quillon - Version 2.1.0";

// The pages' scenarios: a fresh app copy with a song and a folder for the
// service's clips, and the user's moves that several scenarios share.
class PagesTest : public AppTest {
protected:
    [[nodiscard]] std::filesystem::path storage() const { return app.dir().path() / "clips"; }
    [[nodiscard]] std::filesystem::path song() const { return app.dir().path() / "my song.wav"; }

    // Phone and network by their first letters, then the number, then Enter;
    // on a fresh start nothing is chosen yet.
    static void fillSendForm(AppRun& run, const std::string& window);
    // "Choose a file…" has the focus: its chooser, then the path typed.
    static void chooseFile(AppRun& run, const std::string& window, const std::filesystem::path& file);
    // The key that closes the dialog with this caption (shown with the host's
    // two-blank indent), pressed until it has closed.
    static void closeDialog(AppRun& run, const std::string& caption, const std::string& key);
    static void expectNoConsoleErrors(const AppRun& run);
    // The clip the service holds is the very file the page made.
    void expectStoredClipIs(const std::filesystem::path& clip, const std::string& sent) const;
};

}  // namespace quillon::test
