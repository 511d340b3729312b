#include "tests/e2e/pages_support.h"

#include <cmath>
#include <sstream>

namespace quillon::test {

std::vector<std::string> milestones(const AppRun& run, const std::vector<std::string>& wanted)
{
    std::vector<std::string> seen;
    for (const auto& state : run.linesAfter(kState))
        for (const auto& w : wanted)
            if (state.starts_with(w))
                seen.push_back(w);
    return seen;
}

void writeSong(const std::filesystem::path& file, double seconds, double loudFrom, double loudTo)
{
    const auto volume =
        "volume='if(between(t," + std::to_string(loudFrom) + "," + std::to_string(loudTo) + "),1,0.07)':eval=frame";
    ASSERT_EQ(
        runCommand({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                    "sine=frequency=440:duration=" + std::to_string(seconds), "-af", volume, "-ac", "2", file.string()})
            .exitCode,
        0);
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

void PagesTest::clickOn(AppRun& run, const std::string& window, const std::string& id, int count)
{
    ASSERT_TRUE(run.waitForReport("at " + id + " ")) << id;
    int x = 0, y = 0;
    for (const auto& report : run.reports())
        if (report.starts_with("at " + id + " "))
            std::istringstream(report.substr(id.size() + 4)) >> x >> y;
    // The 471-pixel page area sits one pixel in from the window's left and bottom edges.
    run.click(window, 1 + x, geometryOf(window)[3] - 1 - 471 + y, 1, count);
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
    clickAt.empty() ? run.keys(window, {"Return"}) : clickOn(run, window, clickAt);
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
    EXPECT_TRUE(readFile(stored[0]) == readFile(clip)) << stored[0] << " is not " << clip;
    EXPECT_EQ(sent.substr(sent.rfind('/') + 1), stored[0].filename().string());
}

}  // namespace quillon::test
