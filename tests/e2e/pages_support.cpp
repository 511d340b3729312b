#include "tests/e2e/pages_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <sstream>

#include "cd/wav_header.h"

namespace quillon::test {

namespace {

constexpr std::string_view kStateMarker = "QUILLON state ";

std::vector<std::string> statesOf(const std::string& output)
{
    std::vector<std::string> states;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find(kStateMarker); at != std::string::npos)
            states.push_back(line.substr(at + kStateMarker.size()));
    return states;
}

}  // namespace

std::optional<std::string> waitForState(const AppRun& run, const std::string& prefix, std::chrono::milliseconds timeout,
                                        std::size_t skip)
{
    std::optional<std::string> found;
    waitUntil(
        [&] {
            std::size_t seen = 0;
            for (const auto& state : statesOf(run.output()))
                if (state.starts_with(prefix) && seen++ == skip)
                    return (found = state).has_value();
            std::this_thread::sleep_for(50ms);
            return false;
        },
        timeout);
    return found;
}

std::vector<std::string> milestones(const std::string& output, const std::vector<std::string>& wanted)
{
    std::vector<std::string> seen;
    for (const auto& state : statesOf(output))
        for (const auto& w : wanted)
            if (state.starts_with(w))
                seen.push_back(w);
    return seen;
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

std::string songWav(double seconds, double loudFrom, double loudTo)
{
    const auto frames = static_cast<std::uint32_t>(seconds * 44100);
    std::string pcm;
    pcm.reserve(static_cast<std::size_t>(frames) * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const auto sample = static_cast<std::int16_t>(
            std::lround(std::sin(2.0 * M_PI * 440.0 * t) * (t >= loudFrom && t < loudTo ? 20000.0 : 1500.0)));
        for (int channel = 0; channel < 2; ++channel)
            pcm += {static_cast<char>(sample & 0xFF), static_cast<char>((sample >> 8) & 0xFF)};
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

std::map<std::string, std::string> PagesTest::pointAt(const std::string& authority) const
{
    writeFile(app.res() / "service_address.js", "window.QUILLON_SERVICE_DEFAULT = \"" + authority + "\";\n");
    return {{"QUILLON_SERVICE", authority}};
}

void PagesTest::probeElements(const std::vector<std::string>& ids) const
{
    std::string list;
    for (const auto& id : ids)
        list += "'" + id + "',";
    const auto html = app.res() / "selectSong.html";
    std::string text = readFile(html);
    text.insert(text.rfind("</body>"),
                "<script>var probed = {};\nsetInterval(function () { [" + list +
                    "].forEach(function (id) {\n"
                    "  var e = document.getElementById(id), r = e.getBoundingClientRect();\n"
                    "  var at = e.offsetParent ? Math.round(r.left + r.width / 2) + ' ' + Math.round(r.top + r.height "
                    "/ 2) : '';\n"
                    "  if (at && probed[id] !== at) console.log('QTEST at ' + id + ' ' + at);\n"
                    "  probed[id] = at; }); }, 100);</script>\n");
    writeFile(html, text);
}

std::optional<std::pair<int, int>> PagesTest::elementPosition(AppRun& run, const std::string& window,
                                                              const std::string& id)
{
    if (!run.waitForReport("at " + id + " "))
        return std::nullopt;
    std::string last;
    for (const auto& report : run.reports())
        if (report.starts_with("at " + id + " "))
            last = report;
    const auto geometry = runCommand({"xdotool", "getwindowgeometry", "--shell", window}).output;
    const auto heightAt = geometry.find("HEIGHT=");
    if (heightAt == std::string::npos)
        return std::nullopt;
    int x = 0, y = 0;
    std::istringstream(last.substr(id.size() + 4)) >> x >> y;
    // The 471-pixel page area sits one pixel in from the window's left and bottom edges.
    return std::pair{1 + x, std::stoi(geometry.substr(heightAt + 7)) - 1 - 471 + y};
}

void PagesTest::fillSendForm(AppRun& run, const std::string& window)
{
    ASSERT_EQ(waitForState(run, "send-form"), "send-form phone=none network=none checked=no") << run.output();
    run.keys(window, {"a", "Tab", "v", "Tab"});
    run.type(window, "+44 7700 900123");
    run.keys(window, {"Return"});
}

void PagesTest::chooseFile(AppRun& run, const std::string& window, const std::filesystem::path& file,
                           const std::string& clickAt)
{
    if (!clickAt.empty()) {
        const auto at = elementPosition(run, window, clickAt);
        ASSERT_TRUE(at) << clickAt;
        run.click(window, at->first, at->second);
    } else {
        run.keys(window, {"Return"});
    }
    const std::string title = "Select audio file to use on mobile phone as ringtone";
    const auto chooser = run.waitForWindow(title, 10s);
    ASSERT_TRUE(chooser) << "the file chooser did not open";
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
    const std::string title = "  " + caption;  // the host's two-blank indent
    const auto dialog = run.waitForWindow(title, 10s);
    ASSERT_TRUE(dialog) << title;
    for (int attempt = 0; attempt < 3; ++attempt) {  // a window just mapped may drop a key
        run.keys(*dialog, {key});
        if (waitForNoWindow(title, 3s))
            return;
    }
    ADD_FAILURE() << title << " stayed open";
}

void PagesTest::expectNoConsoleErrors(const AppRun& run)
{
    std::istringstream lines(run.output());
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.find("CONSOLE ERROR") == std::string::npos &&
                    line.find("CONSOLE JS ERROR") == std::string::npos)
            << line;
}

void PagesTest::expectStoredClipIs(const std::filesystem::path& clip, const std::string& sent) const
{
    std::vector<std::filesystem::path> stored;
    for (const auto& entry : std::filesystem::directory_iterator(storage()))
        if (entry.path().extension() == ".mp3")
            stored.push_back(entry.path());
    ASSERT_EQ(stored.size(), 1u) << "the service holds no single clip";
    EXPECT_EQ(readFile(stored[0]), readFile(clip));
    EXPECT_EQ(sent.substr(sent.rfind('/') + 1), stored[0].filename().string());
}

}  // namespace quillon::test
