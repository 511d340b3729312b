#include "tests/e2e/pages_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <thread>

#include "cd/wav_header.h"

extern char** environ;

namespace quillon::test {

namespace {

constexpr const char* kStateMarker = "QUILLON state ";

std::filesystem::path serviceExecutable()
{
    return std::filesystem::path(QUILLON_APP_DIR).parent_path() / "service" / "quillon-service";
}

// One 16-bit stereo frame of a 440 Hz tone at 44100 Hz at sample i, little-endian.
void appendToneSample(std::string& bytes, std::uint32_t i, double level)
{
    const double value = std::sin(2.0 * M_PI * 440.0 * i / 44100.0) * level;
    const auto sample = static_cast<std::int16_t>(std::lround(value));
    for (int channel = 0; channel < 2; ++channel) {
        bytes.push_back(static_cast<char>(sample & 0xFF));
        bytes.push_back(static_cast<char>((sample >> 8) & 0xFF));
    }
}

}  // namespace

std::vector<std::string> statesOf(const std::string& output)
{
    std::vector<std::string> states;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto at = line.find(kStateMarker);
        if (at != std::string::npos)
            states.push_back(line.substr(at + std::string(kStateMarker).size()));
    }
    return states;
}

std::optional<std::string> waitForState(const AppRun& run, const std::string& prefix, std::chrono::milliseconds timeout,
                                        std::size_t skip)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        std::size_t seen = 0;
        for (const auto& state : statesOf(run.output())) {
            if (state.rfind(prefix, 0) == 0 && seen++ == skip)
                return state;
        }
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

std::vector<std::string> consoleErrors(const std::string& output)
{
    std::vector<std::string> errors;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("CONSOLE ERROR") != std::string::npos || line.find("CONSOLE JS ERROR") != std::string::npos)
            errors.push_back(line);
    }
    return errors;
}

void pointPagesAt(const TestApp& app, const std::string& authority)
{
    writeFile(app.res() / "service_address.js", "window.QUILLON_SERVICE_DEFAULT = \"" + authority + "\";\n");
}

void probeElements(const TestApp& app, const std::vector<std::string>& ids)
{
    std::string list;
    for (const auto& id : ids)
        list += (list.empty() ? "'" : ",'") + id + "'";
    const auto html = app.res() / "selectSong.html";
    std::string text = readFile(html);
    text.insert(text.rfind("</body>"), "<script>var probed = {};\nsetInterval(function () { [" + list +
                                           "].forEach(function (id) {\n"
                                           "  var e = document.getElementById(id), r = e.getBoundingClientRect();\n"
                                           "  var at = e.offsetParent ? Math.round(r.left + r.width / 2) + ' ' + "
                                           "Math.round(r.top + r.height / 2) : '';\n"
                                           "  if (at && probed[id] !== at) console.log('QTEST at ' + id + ' ' + at);\n"
                                           "  probed[id] = at; }); }, 100);</script>\n");
    writeFile(html, text);
}

std::optional<std::pair<int, int>> elementPosition(AppRun& run, const std::string& window, const std::string& id)
{
    if (!run.waitForReport("at " + id + " "))
        return std::nullopt;
    std::string last;
    for (const auto& report : run.reports())
        if (report.rfind("at " + id + " ", 0) == 0)
            last = report;
    const auto geometry = runCommand({"xdotool", "getwindowgeometry", "--shell", window}).output;
    const auto heightAt = geometry.find("HEIGHT=");
    if (heightAt == std::string::npos)
        return std::nullopt;
    std::istringstream at(last.substr(id.size() + 4));
    int x = 0, y = 0;
    at >> x >> y;
    // The 471-pixel page area sits one pixel above the window's bottom edge.
    const int pageTop = std::stoi(geometry.substr(heightAt + 7)) - 1 - 471;
    return std::pair{1 + x, pageTop + y};
}

int unusedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

ServiceProcess::ServiceProcess(const std::filesystem::path& storage, int port)
{
    std::vector<std::string> argv{
        serviceExecutable().string(), "--storage", storage.string(), "--host", "127.0.0.1", "--port",
        std::to_string(port)};
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid_ < 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return;
    }
    // Listening once a connection is taken; bounded by a deadline.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!listening_ && std::chrono::steady_clock::now() < deadline) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listening_ = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (!listening_)
            std::this_thread::sleep_for(50ms);
    }
}

ServiceProcess::~ServiceProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

bool waitForNoWindow(const std::string& title, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        const auto found = runCommand({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
        if (found.exitCode != 0 || found.output.empty())
            return true;
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::filesystem::path writeSineDisc(const std::filesystem::path& dir)
{
    // Audio frames are 588 stereo samples; the data track's frames stay zero.
    constexpr int kFramesPerSecond = 75;
    constexpr int kSamplesPerFrame = 588;
    const int audioFrames = 5 * kFramesPerSecond;
    const int dataFrames = 2 * kFramesPerSecond;
    std::string bin;
    bin.reserve(static_cast<std::size_t>(audioFrames + dataFrames) * 2352);
    for (int i = 0; i < audioFrames * kSamplesPerFrame; ++i)
        appendToneSample(bin, static_cast<std::uint32_t>(i), 12000.0);
    bin.append(static_cast<std::size_t>(dataFrames) * 2352, '\0');
    writeFile(dir / "sine.bin", bin);
    writeFile(dir / "sine.cue", "FILE \"sine.bin\" BINARY\n"
                                "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                "  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n"
                                "  TRACK 03 MODE1/2352\n    INDEX 01 00:05:00\n");
    return dir / "sine.cue";
}

std::optional<std::filesystem::path> storedClip(const std::filesystem::path& storage)
{
    std::optional<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(storage, ec)) {
        if (entry.path().extension() != ".mp3")
            continue;
        if (found)
            return std::nullopt;
        found = entry.path();
    }
    return found;
}

std::filesystem::path clipPathOf(const std::string& state)
{
    const std::string prefix = "clip-ready ";
    return state.rfind(prefix, 0) == 0 ? std::filesystem::path(state.substr(prefix.size())) : std::filesystem::path();
}

std::string songWav(double seconds, double loudFrom, double loudTo)
{
    const auto frames = static_cast<std::uint32_t>(seconds * 44100);
    std::string pcm;
    pcm.reserve(static_cast<std::size_t>(frames) * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        appendToneSample(pcm, i, t >= loudFrom && t < loudTo ? 20000.0 : 1500.0);
    }
    const auto header = cd::wavHeader(static_cast<std::uint32_t>(pcm.size()));
    return std::string(header.begin(), header.end()) + pcm;
}

long durationMsOf(const std::filesystem::path& file)
{
    const auto probe =
        runCommand({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file.string()});
    try {
        return probe.exitCode == 0 ? std::lround(std::stod(probe.output) * 1000.0) : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

std::vector<std::string> milestones(const std::string& output, const std::vector<std::string>& wanted)
{
    std::vector<std::string> seen;
    for (const auto& state : statesOf(output)) {
        for (const auto& w : wanted) {
            if (state.rfind(w, 0) == 0)
                seen.push_back(w);
        }
    }
    return seen;
}

void PagesTest::fillSendForm(AppRun& run, const std::string& window)
{
    const auto form = waitForState(run, "send-form");
    ASSERT_EQ(form, "send-form phone=none network=none checked=no") << run.output();
    run.keys(window, {"a", "Tab", "v", "Tab"});
    run.type(window, "+44 7700 900123");
    run.keys(window, {"Return"});
}

void PagesTest::chooseFile(AppRun& run, const std::string& window, const std::filesystem::path& file)
{
    run.keys(window, {"Return"});
    const std::string title = "Select audio file to use on mobile phone as ringtone";
    const auto chooser = run.waitForWindow(title, 10s);
    ASSERT_TRUE(chooser) << "Return did not open the file chooser";
    // A chooser just mapped may drop keys: type the path again until it closes.
    for (int attempt = 0; attempt < 3; ++attempt) {
        run.keys(*chooser, {"ctrl+l", "ctrl+a"});
        run.type(*chooser, file.string());
        run.keys(*chooser, {"Return"});
        if (waitForNoWindow(title, 3s))
            return;
    }
    ADD_FAILURE() << "the chooser did not take " << file;
}

void PagesTest::closeDialog(AppRun& run, const std::string& caption, const std::string& key)
{
    const std::string title = "  " + caption;
    const auto dialog = run.waitForWindow(title, 10s);
    ASSERT_TRUE(dialog) << title;
    // A window just mapped may drop a key.
    for (int attempt = 0; attempt < 3; ++attempt) {
        run.keys(*dialog, {key});
        if (waitForNoWindow(title, 3s))
            return;
    }
    ADD_FAILURE() << title << " stayed open";
}

void PagesTest::expectNoConsoleErrors(const AppRun& run)
{
    EXPECT_EQ(consoleErrors(run.output()), std::vector<std::string>{}) << run.output();
}

void PagesTest::expectStoredClipIs(const std::filesystem::path& clip, const std::string& sent) const
{
    const auto stored = storedClip(storage());
    ASSERT_TRUE(stored) << "the service holds no single clip";
    EXPECT_EQ(readFile(*stored), readFile(clip));
    EXPECT_EQ(sent.substr(sent.rfind('/') + 1), stored->filename().string());
}

}  // namespace quillon::test
