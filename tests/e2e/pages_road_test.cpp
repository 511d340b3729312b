// The real pages driven by keys like a user, each road from the first step to
// its end: a file through every dialog to sent (with axe-core checking every page
// and step on the way), every failure and its way on, and a CD track.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <tuple>

#include "tests/cd_image_builder.h"
#include "tests/e2e/pages_support.h"
#include "tests/e2e/reference_service.h"

using namespace quillon::test;

namespace {

// "part <startMs> <lengthMs> of <durationMs>" as its three numbers.
struct Part {
    long startMs = -1, lengthMs = -1, durationMs = -1;
};
Part partOf(const std::optional<std::string>& state)
{
    Part part;
    std::string word, of;
    std::istringstream(state.value_or("")) >> word >> part.startMs >> part.lengthMs >> of >> part.durationMs;
    return part;
}

// Runs axe when a page has loaded and for each kind of state it logs (its first
// word), once drawn, and reports "axe <title>/<kind> <count> <rule>@<targets>; ...".
constexpr const char* kAxeProbe = R"(
(() => {
  const seen = new Set();
  let queue = Promise.resolve();
  const check = (text) => {
    const kind = document.title + "/" + text.split(" ")[0];
    if (seen.has(kind)) return;
    seen.add(kind);
    queue = queue.then(() => new Promise((go) => requestAnimationFrame(() => go())))
      .then(() => axe.run(document, { resultTypes: ["violations"] }))
      .then((result) => console.log("QTEST axe " + kind + " " + result.violations.length + " " +
        result.violations.map((v) => v.id + "@" + v.nodes.map((n) => n.target.join(" ")).join("|")).join("; ")));
  };
  const state = Quillon.state;
  Quillon.state = (text) => { state(text); check(text); };
  window.addEventListener("load", () => check("load"));
})();
)";

// Every page of the copy loads the pinned axe-core (fetched once with npm into
// the build folder) and the probe after its own scripts; false without axe.
bool instrumentPagesWithAxe(const TestApp& app)
{
    const auto dir = std::filesystem::path(QUILLON_APP_DIR).parent_path() / "axe-core-4.10.2";
    const auto axe = dir / "package" / "axe.min.js";
    std::filesystem::create_directories(dir);
    if (!std::filesystem::exists(axe) &&
        (runCommand({"npm", "pack", "--silent", "axe-core@4.10.2", "--pack-destination", dir.string()}).exitCode != 0 ||
         runCommand({"tar", "-xzf", (dir / "axe-core-4.10.2.tgz").string(), "-C", dir.string(), "package/axe.min.js"})
                 .exitCode != 0))
        return false;
    std::filesystem::copy_file(axe, app.res() / "axe.min.js");
    writeFile(app.res() / "axe_probe.js", kAxeProbe);
    const std::string own = "<script src=\"quillon.js\"></script>";
    for (const auto& entry : std::filesystem::directory_iterator(app.res())) {
        if (entry.path().extension() != ".html")
            continue;
        std::string html = readFile(entry.path());
        EXPECT_NE(html.find(own), std::string::npos) << entry.path();
        html.insert(html.find(own) + own.size(),
                    "<script src=\"axe.min.js\"></script><script src=\"axe_probe.js\"></script>");
        writeFile(entry.path(), html);
    }
    return true;
}

using PagesRoadTest = PagesTest;

}  // namespace

TEST_F(PagesRoadTest, AFileThroughEveryDialogIsClippedByKeysAndSentOnceTheServiceIsUp)
{
    const bool axe = instrumentPagesWithAxe(app);
    probeElements({"nav-about", "nav-contact", "nav-usage", "nav-compat", "choose-file"});
    // A gain tool that takes its time keeps the making step on screen for its check.
    writeScript(app.res() / "mp3gain", "sleep 1\nexec mp3gain \"$@\"\n");
    // Loud from 20 s to 50 s: the liveliest 30 s start at 20 s.
    writeSong(song(), 60.0, 20.0, 50.0);
    int port = 0;  // where a service listened a moment ago
    {
        const ReferenceService gone(storage());
        port = gone.port();
    }
    const std::string authority = "127.0.0.1:" + std::to_string(port);
    AppRun run(app, {}, pointAt(authority));
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window && waitForState(run, "pick")) << run.output();

    // The header's dialogs, each opened with a click once axe has checked the last;
    // the help dialogs close with their button, which has the focus.
    for (const auto& [id, title, caption] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"nav-about", "About Quillon", "About Quillon"},
             {"nav-contact", "FAQ and contact", "Quillon - FAQ and Contact us"},
             {"nav-usage", "How to use Quillon", "Quillon - How to use the application"}}) {
        clickOn(run, *window, id);
        EXPECT_TRUE(!axe || run.waitForReport("axe " + title + "/load")) << title;
        closeDialog(run, caption, "Return");
    }
    clickOn(run, *window, "nav-compat");
    ASSERT_TRUE(waitForState(run, "dialog Phone check", 10s)) << run.output();
    EXPECT_TRUE(!axe || run.waitForReport("axe Phone check/load"));
    const auto check = run.waitForWindow("  Quillon - Phone Compatibility Test", 10s);
    ASSERT_TRUE(check) << run.output();
    // Phone, network, then past Cancel to "Save my phone".
    run.keys(*check, {"i", "Tab", "e", "Tab", "Tab", "Return"});
    EXPECT_EQ(waitForState(run, "phone-check saved"), "phone-check saved iphone ee") << run.output();
    EXPECT_TRUE(waitForNoWindow("  Quillon - Phone Compatibility Test"));
    EXPECT_EQ(milestones(run, {"dialog "}).size(), 4u) << run.output();
    chooseFile(run, *window, song(), "choose-file");
    const Part suggested = partOf(waitForState(run, "part"));
    EXPECT_NEAR(suggested.startMs, 20000, 1000) << run.output();
    EXPECT_EQ(suggested.lengthMs, 30000);
    EXPECT_NEAR(suggested.durationMs, 60000, 50);
    // The waveform has the focus: 2 s and five tenths later, 10 s shorter, then make it.
    run.keys(*window, {"Right", "Right", "shift+Right", "shift+Right", "shift+Right", "shift+Right", "shift+Right"});
    run.keys(*window, std::vector<std::string>(10, "Down"));
    const std::string chosen = std::to_string(suggested.startMs + 2500) + " 20000";
    ASSERT_TRUE(waitForState(run, "part " + chosen, 10s)) << run.output();
    run.keys(*window, {"Return"});
    EXPECT_EQ(waitForState(run, "converting"), "converting " + chosen + " 1000") << run.output();
    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const std::filesystem::path clip = ready->substr(std::string("clip-ready ").size());
    EXPECT_EQ(clip.parent_path(), std::filesystem::canonical(app.res() / "tmp"));

    // The saved phone fills the form; the focus is on the number. No service yet:
    // explained, and "Try again" (which has the focus) sends the same clip.
    EXPECT_EQ(waitForState(run, "send-form"), "send-form phone=iphone network=ee checked=yes") << run.output();
    run.type(*window, "+44 7700 900123");
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "failed session")) << run.output();
    ReferenceService service(storage(), 10u << 20, port);
    ASSERT_EQ(service.port(), port);
    run.keys(*window, {"Return"});
    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    EXPECT_TRUE(sent->starts_with("send-ok http://" + authority + "/clips/")) << *sent;
    expectStoredClipIs(clip, *sent);
    // MP3 frames round the length up by at most one frame's padding.
    EXPECT_NEAR(durationMsOf(clip), 20000, 60);
    EXPECT_EQ(milestones(run, {"chose file", "reading", "converting", "clip-ready", "sending", "send-ok"}),
              (std::vector<std::string>{"chose file", "reading", "converting", "clip-ready", "sending", "sending",
                                        "send-ok"}));
    run.keys(*window, {"Return"});  // "Make another clip" leads back to the first step
    ASSERT_TRUE(waitForState(run, "pick", 10s, 1));
    expectNoConsoleErrors(run);
    if (!axe)
        GTEST_SKIP() << "axe-core could not be fetched with npm: the pages were not checked";

    std::set<std::string> checked;
    for (const auto& report : run.reports()) {
        if (!report.starts_with("axe "))
            continue;
        // "axe <title>/<kind> <count> ...": the title may hold blanks, the kind does not.
        const auto space = report.find(' ', report.find('/'));
        checked.insert(report.substr(4, space - 4));
        EXPECT_EQ(report.substr(space + 1, 2), "0 ") << report;
    }
    const std::set<std::string> views = {"Quillon/pick",         "Quillon/part",     "Quillon/converting",
                                         "Quillon/send-form",    "Quillon/send-ok",  "About Quillon/load",
                                         "FAQ and contact/load", "Phone check/load", "How to use Quillon/load"};
    EXPECT_TRUE(std::includes(checked.begin(), checked.end(), views.begin(), views.end())) << run.output();
}

TEST_F(PagesRoadTest, EveryFailureIsExplainedWithAWayOn)
{
    // The encoder reads the waveform for real; of the clips it fails the first,
    // writes nothing for the second, never ends the third, then makes them. The
    // gain tool fails its first levelling.
    const auto dir = app.path().string() + "/";
    writeScript(app.res() / "ffmpeg", "case \" $* \" in *\" -ab \"*) ;; *) exec ffmpeg \"$@\" ;; esac\n"
                                      "n=$(($(cat '" +
                                          dir + "count' 2>/dev/null || echo 0) + 1)); echo $n > '" + dir +
                                          "count'\ncase $n in\n1) exit 1 ;;\n2) exit 0 ;;\n"
                                          "3) printf '%s\\n' \"$@\" > '" +
                                          dir + "args'; echo $$ > '" + dir + "pid.part'; mv '" + dir + "pid.part' '" +
                                          dir + "pid'; exec sleep 120 ;;\nesac\nexec ffmpeg \"$@\"\n");
    writeScript(app.res() / "mp3gain", "[ \"$1\" = /r ] && [ ! -e '" + dir + "levelled' ] && { : > '" + dir +
                                           "levelled'; exit 1; }\n"
                                           "exec mp3gain \"$@\"\n");
    probeElements({"make-retry"});
    writeFile(song(), toneWav(4.0));
    const auto words = app.path() / "words.mp3";
    writeFile(words, "These are words, not sound.\n");
    ReferenceService service(storage(), 1000);  // takes no real clip
    AppRun run(app, {song().string()}, pointAt(service.authority()));
    EXPECT_EQ(waitForState(run, "part"), "part 0 4000 of 4000") << run.output();
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "failed")) << run.output();
    run.keys(*window, {"Return"});  // "Try again" has the focus
    ASSERT_TRUE(waitForState(run, "failed", 60s, 1)) << run.output();

    // A double click on "Try again" does what one click does: the Cancel button
    // that replaces it must not take the second click.
    clickOn(run, *window, "make-retry", 2);
    ASSERT_TRUE(waitForState(run, "converting", 10s, 2)) << run.output();
    ASSERT_TRUE(waitUntil([&] { return readPid(dir + "pid") > 0; }, 10s)) << "the encoder never started";
    const std::string args = readFile(dir + "args");
    const std::string tmp = std::filesystem::canonical(app.res() / "tmp").string();
    EXPECT_EQ(args.substr(0, args.find(tmp)), "-ss\n0.000\n-t\n4.000\n-i\n" + song().string() +
                                                  "\n-af\nafade=t=in:st=0:d=1.000,afade=t=out:st=3.000:d=1.000\n"
                                                  "-ab\n64k\n-ar\n44100\n-ac\n2\n-y\n");
    EXPECT_FALSE(waitForState(run, "cancelled", 2s)) << run.output();
    // Cancel has the focus: back on the first step; the encoder ending late must not reach the page.
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "pick", 10s, 1)) << run.output();
    kill(readPid(dir + "pid"), SIGTERM);
    EXPECT_FALSE(waitForState(run, "failed", 2s, 2)) << run.output();

    // Made on the next try, levelled on the second; then refused by the service.
    chooseFile(run, *window, song());
    ASSERT_TRUE(waitForState(run, "part", 30s, 1)) << run.output();
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "failed level")) << run.output();
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "clip-ready")) << run.output();
    fillSendForm(run, *window);
    ASSERT_TRUE(waitForState(run, "failed confirm")) << run.output();
    run.keys(*window, {"Return"});  // "Choose other music" has the focus
    ASSERT_TRUE(waitForState(run, "pick", 10s, 2)) << run.output();
    // A song that cannot be read leads back too.
    chooseFile(run, *window, words);
    ASSERT_TRUE(waitForState(run, "failed read")) << run.output();
    run.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(run, "pick", 10s, 3)) << run.output();

    const std::vector<std::string> failures = {"failed convert 2 damaged", "failed convert 2 no-output",
                                               "failed level 202", "failed confirm clip refused", "failed read 201"};
    EXPECT_EQ(milestones(run, failures), failures) << run.output();
    EXPECT_EQ(milestones(run, {"cancelled", "sending"}), (std::vector<std::string>{"cancelled", "sending"}));
    expectNoConsoleErrors(run);
}

TEST_F(PagesRoadTest, ACdTrackIsCopiedWhollyClippedAndSentWhileTheWindowKeepsServingItsLoop)
{
    const auto disc = writeDiscImage(app.path(), "disc", {{225}, {150}, {150, true}});
    ReferenceService service(storage());
    auto environment = pointAt(service.authority());
    // Each opening of the drive takes two seconds; a ticker in the app's UI thread
    // shows whether its loop is served meanwhile.
    environment.insert({{"QUILLON_CD_IMAGES", disc.cue.string()},
                        {"QUILLON_CD_IMAGE_DELAY_MS", "2000"},
                        {"LD_PRELOAD", QUILLON_UI_TICKER}});
    AppRun run(app, {}, environment);
    // Lengths in minutes and seconds; the data track is listed too.
    ASSERT_EQ(waitForState(run, "tracks"), "tracks 1 0:03, 2 0:02, 3 data") << run.output();
    std::vector<long long> ticks;
    const auto output = run.output();
    std::istringstream lines(output.substr(output.find("QUILLON state listing the disc")));
    for (std::string line; std::getline(lines, line) && line.find("QUILLON state tracks") == std::string::npos;)
        if (long long at = 0; std::sscanf(line.c_str(), "QTICK %lld", &at) == 1)
            ticks.push_back(at);
    ASSERT_GE(ticks.size(), 20u) << output;
    std::adjacent_difference(ticks.begin(), ticks.end(), ticks.begin());
    EXPECT_LT(*std::max_element(ticks.begin() + 1, ticks.end()), 1000) << output;

    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window);
    // From "Choose a file…": Refresh, the drive, the first track; Down picks track 2.
    run.keys(*window, {"Tab", "Tab", "Tab", "Down", "Return"});
    // Two seconds are shorter than any part: the whole track is the part.
    const Part part = partOf(waitForState(run, "part"));
    EXPECT_EQ(part.startMs, 0) << run.output();
    EXPECT_NEAR(part.durationMs, 2000, 20);
    EXPECT_EQ(part.lengthMs, part.durationMs);
    run.keys(*window, {"Return"});
    const auto ready = waitForState(run, "clip-ready");
    ASSERT_TRUE(ready) << run.output();
    const std::filesystem::path clip = ready->substr(std::string("clip-ready ").size());
    EXPECT_NEAR(durationMsOf(clip), 2000, 60);
    // Each listing (drives, then tracks) is announced before the page waits for it.
    EXPECT_EQ(milestones(run, {"listing the disc", "tracks", "chose cd", "ripping", "reading", "part", "converting",
                               "clip-ready"}),
              (std::vector<std::string>{"listing the disc", "listing the disc", "tracks", "chose cd", "ripping",
                                        "reading", "part", "converting", "clip-ready"}));
    // The copied wave file does not outlive the conversion.
    EXPECT_FALSE(std::filesystem::exists(app.res() / "tmp" / "track.wav"));
    fillSendForm(run, *window);
    const auto sent = waitForState(run, "send-ok");
    ASSERT_TRUE(sent) << run.output();
    expectStoredClipIs(clip, *sent);
    expectNoConsoleErrors(run);
}
