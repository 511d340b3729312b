// The real pages driven by keys like a user, each road from the first step to its end.
#include <gtest/gtest.h>
#include <signal.h>

#include <gio/gio.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <set>
#include <sstream>

#include "tests/cd_image_builder.h"
#include "tests/e2e/pages_support.h"
#include "tests/kdeconnect_stand_in.h"

using namespace quillon::test;

namespace {

// Every page loads the pinned axe-core (fetched once into the build folder) and the probe; false without axe.
bool instrumentPagesWithAxe(const TestApp& app)
{
    const auto dir = std::filesystem::path(QUILLON_APP_DIR).parent_path() / "axe-core-4.10.2";
    const auto axe = dir / "node_modules" / "axe-core" / "axe.min.js";
    std::filesystem::create_directories(dir);
    if (!std::filesystem::exists(axe) &&
        runCommand({"npm", "install", "--silent", "--no-save", "--prefix", dir.string(), "axe-core@4.10.2"}).exitCode !=
            0)
        return false;
    std::filesystem::copy_file(axe, app.res() / "axe.min.js");
    std::filesystem::copy_file(kPagePrograms / "axe_probe.js", app.res() / "axe_probe.js");
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

long durationMsOf(const std::filesystem::path& file)
{
    const auto probe =
        runCommand({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file.string()});
    return probe.exitCode == 0 ? std::lround(std::strtod(probe.output.c_str(), nullptr) * 1000.0) : -1;
}

class PagesRoadTest : public AppTest {
protected:
    [[nodiscard]] std::filesystem::path storage() const { return app.path() / "clips"; }
    [[nodiscard]] std::filesystem::path song() const { return app.path() / "my song.wav"; }

    // A stereo song of one of ffmpeg's sources, with more of its arguments before the name.
    static void makeSong(const std::filesystem::path& file, const std::string& source,
                         std::vector<std::string> more = {})
    {
        more.insert(more.begin(), {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", source, "-ac", "2"});
        more.push_back(file.string());
        const auto made = runCommand(more);
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    // Loud from 20 s to 50 s of 90: the liveliest 30 s start at 20 s, and a second part fits after them.
    void writeTwoPartSong() const
    {
        makeSong(song(), "sine=frequency=440:duration=90", {"-af", "volume='if(between(t,20,50),1,0.07)':eval=frame"});
    }

    // Starts the app; true once its window is up and then a state starting with state has come.
    [[nodiscard]] bool start(std::vector<std::string> arguments, std::map<std::string, std::string> environment = {},
                             const std::string& state = "part ")
    {
        run.reset();
        run.emplace(app, std::move(arguments), std::move(environment));
        window = run->waitForWindow(kCaption).value_or("");
        return !window.empty() && waitForState(*run, state);
    }

    // Presses key until the focus is on the element of that id or text, at most a dozen times.
    bool focusBy(const std::string& key, const std::string& name)
    {
        for (int press = 0; press < 12; ++press) {
            const auto focus = run->reports("focus ");
            if (!focus.empty() && focus.back() == "focus " + name)
                return true;
            run->keys(window, {key});
            run->waitForReport("focus ", 5s, focus.size());
        }
        return false;
    }

    // Makes the start page report "at <id> <x> <y>", the centre of each element of ids whenever it moves.
    void probeElements(const std::string& ids) const
    {
        app.addToStartPage("element_probe.js", " data-ids=\"" + ids + "\"");
    }

    // The probed centre of the element, in window coordinates, in a page of the size the road probe tells.
    std::array<int, 2> centreOf(const std::string& id)
    {
        std::array<int, 2> pageSize{760, 471};
        if (const auto size = run->reports("size "); !size.empty())
            std::sscanf(size.back().c_str(), "size %d %d", &pageSize[0], &pageSize[1]);
        return probedCentre(*run, window, id, pageSize);
    }

    void clickOn(const std::string& id, int count = 1)
    {
        const auto [x, y] = centreOf(id);
        run->click(window, x, y, 1, count);
    }

    // The chooser opened with Return ("Choose a file…" has the focus) or a click on the probed element.
    void chooseFile(const std::filesystem::path& file, const std::string& clickAt = "")
    {
        clickAt.empty() ? run->keys(window, {"Return"}) : clickOn(clickAt);
        EXPECT_TRUE(run->pressUntil(kChooser, [&](const std::string& chooser) { run->chooseIn(chooser, file); }))
            << "the chooser stayed open";
    }

    // Return on the focused button, then the (skip+1)-th state that starts with state.
    std::optional<std::string> enter(const std::string& state, std::size_t skip = 0)
    {
        run->keys(window, {"Return"});
        return waitForState(*run, state, 60s, skip);
    }

    void expectNoConsoleErrors() const
    {
        EXPECT_TRUE(run->linesAfter("CONSOLE ERROR").empty() && run->linesAfter("CONSOLE JS ERROR").empty())
            << run->output();
    }

    std::optional<AppRun> run;
    std::string window;
};

}  // namespace

TEST_F(PagesRoadTest, ASongGoesThroughEveryStepToTheService)
{
    const bool axe = instrumentPagesWithAxe(app);
    app.addToStartPage("road_probe.js");
    // The suggestion chip is probed last: it is there only once the song is read.
    probeElements("nav-about nav-contact nav-usage nav-compat choose-file service-route wave part-suggestion-2");
    // The encoder keeps its clip arguments and waits for a help to be closed, which keeps the making step
    // on screen for axe.
    app.standIn("ffmpeg", "road_encoder.sh");
    const auto args = app.path() / "args", helpClosed = app.path() / "help closed";
    writeTwoPartSong();
    const int port = ReferenceService(storage()).port();  // where a service listened a moment ago
    const std::string authority = "127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(start({}, {{"QUILLON_SERVICE", authority}}, "pick")) << run->output();

    // The header's dialogs, opened by clicks; the help ones closed by their focused button, the
    // phone check by phone, network, then past Cancel to "Save my phone" (the send form shows it saved).
    using Dialog = std::tuple<std::string, std::string, std::string, std::vector<std::string>>;
    for (const auto& [id, title, caption, keys] :
         std::vector<Dialog>{{"nav-about", "About Quillon", "About Quillon", {"Return"}},
                             {"nav-contact", "FAQ and contact", "Quillon - FAQ and Contact us", {"Return"}},
                             {"nav-usage", "How to use Quillon", "Quillon - How to use the application", {"Return"}},
                             {"nav-compat",
                              "Phone check",
                              "Quillon - Phone Compatibility Test",
                              {"i", "Tab", "e", "Tab", "Tab", "Return"}}}) {
        clickOn(id);
        EXPECT_TRUE(!axe || run->waitForReport("axe " + title + "/load")) << title;
        EXPECT_TRUE(run->pressUntil("  " + caption, [&, &keys = keys](const std::string& d) { run->keys(d, keys); }))
            << title << " stayed open";
    }
    chooseFile(song(), "choose-file");
    long durationMs = 0;
    std::sscanf(waitForState(*run, "part").value_or("").c_str(), "part %*d %*d of %ld", &durationMs);
    ASSERT_GT(durationMs, 0) << run->output();

    // By mouse: suggestion 2, whose chip comes once the whole song is read (a second part fits after the
    // liveliest one), then the fade-in handle (at the top of the waveform, 1 s into the part) dragged 2 s on.
    ASSERT_TRUE(run->waitForReport("at part-suggestion-2 ", 60s)) << run->output();
    clickOn("part-suggestion-2");
    const auto second = waitForState(*run, "suggestion 2 ", 30s);
    ASSERT_TRUE(second) << run->output();
    const long startMs = std::stol(second->substr(13));
    const auto [waveX, waveY] = centreOf("wave");
    const auto xAt = [&, waveX = waveX](long ms) {
        return waveX - 338 +
               static_cast<int>(std::lround(static_cast<double>(ms) * 676.0 / static_cast<double>(durationMs)));
    };
    run->drag(window, {xAt(startMs + 1000), waveY - 37}, {xAt(startMs + 3000), waveY - 37});
    // A pixel holds about 133 ms of the whole song, so the fade lands within that either side.
    long fadeInMs = -1, fadeOutMs = -1;
    std::sscanf(waitForState(*run, "fades", 30s).value_or("").c_str(), "fades %ld %ld", &fadeInMs, &fadeOutMs);
    EXPECT_NEAR(fadeInMs, 3000, 140) << run->output();
    EXPECT_EQ(fadeOutMs, 1000);

    // By keys: 10 s shorter, 2.5 s later; zoomed in all the way, 0.03 s later; then both fades typed.
    run->keys(window, std::vector<std::string>(10, "Down"));
    run->keys(window, {"Right", "Right", "shift+Right", "shift+Right", "shift+Right", "shift+Right", "shift+Right"});
    run->keys(window, std::vector<std::string>(5, "plus"));
    EXPECT_TRUE(waitForState(*run, "zoom 10", 30s)) << run->output();
    run->keys(window, {"shift+Right", "shift+Right", "shift+Right"});
    const std::string chosen = std::to_string(startMs + 2530) + " 20000";
    ASSERT_TRUE(waitForState(*run, "part " + chosen, 30s)) << run->output();
    run->keys(window, {"Tab", "Tab", "Tab", "Tab", "ctrl+a", "2", "Tab", "ctrl+a", "0", "period", "5", "Tab"});
    EXPECT_TRUE(waitForState(*run, "fades 2000 500", 30s)) << run->output();
    // On to "Hear it ring", then to "Make the clip".
    ASSERT_TRUE(focusBy("Tab", "part-play")) << run->output();
    run->keys(window, {"Return"});
    EXPECT_EQ(waitForState(*run, "ringing", 30s), "ringing " + chosen + " 2000 500") << run->output();
    run->keys(window, {"Tab"});
    EXPECT_EQ(enter("converting"), "converting " + chosen + " 2000 500") << run->output();
    // How to use, opened and closed with its Close button while the clip is made, leaves the clip be.
    clickOn("nav-usage");
    EXPECT_TRUE(run->pressUntil("  Quillon - How to use the application",
                                [&](const std::string& d) { run->keys(d, {"Return"}); }));
    writeFile(helpClosed, "");
    ASSERT_TRUE(waitForState(*run, "clip-ready")) << run->output();

    // Past the Wi-Fi code, the saved copy and any paired phone to the service, whose form the saved
    // phone fills. No service yet: "Try again" (focused) sends the same clip later.
    ASSERT_TRUE(waitForState(*run, "wifi-")) << run->output();
    clickOn("service-route");
    EXPECT_EQ(waitForState(*run, "send-form"), "send-form phone=iphone network=ee checked=yes") << run->output();
    run->type(window, "+44 7700 900123");
    ASSERT_TRUE(enter("failed session")) << run->output();
    ReferenceService service(storage(), 10u << 20, port);
    const auto sent = enter("send-ok");
    ASSERT_TRUE(sent) << run->output();
    // The reference service only stores clips, and a phone cannot reach 127.0.0.1: nothing more is claimed.
    EXPECT_TRUE(sent->starts_with("send-ok stored unreachable http://" + authority + "/clips/")) << *sent;
    // The typed fades reach the encoder: in over 2 s, out over 0.5 s.
    const std::string encoded = readFile(args);
    EXPECT_NE(encoded.find("-af\nafade=t=in:st=0:d=2.000,afade=t=out:st=19.457:d=0.500,volume="), std::string::npos)
        << encoded;
    ASSERT_TRUE(enter("send-routes"));  // no message to the phone: "Other ways" is next
    expectNoConsoleErrors();
    if (!axe)
        GTEST_SKIP() << "axe-core could not be fetched with npm: the pages were not checked";
    ASSERT_TRUE(run->waitForReport("axe Quillon/send-ok")) << run->output();  // the last view checked
    std::set<std::string> checked;
    for (const auto& report : run->reports("axe ")) {
        const auto space = report.find(' ', report.find('/'));
        checked.insert(report.substr(4, space - 4));
        EXPECT_EQ(report.substr(space + 1, 2), "0 ") << report;
    }
    const std::set<std::string> views = {"Quillon/pick",         "Quillon/wave-first", "Quillon/part",
                                         "Quillon/ringing",      "Quillon/converting", "Quillon/send-form",
                                         "Quillon/send-ok",      "Quillon/wifi-qr",    "About Quillon/load",
                                         "FAQ and contact/load", "Phone check/load",   "How to use Quillon/load"};
    EXPECT_TRUE(std::includes(checked.begin(), checked.end(), views.begin(), views.end())) << run->output();
}

TEST_F(PagesRoadTest, EveryFailureIsExplainedWithAWayOn)
{
    // Of the clips the encoder fails the first and never ends the second.
    const auto dir = app.path().string() + "/";
    app.standIn("ffmpeg", "failing_encoder.sh");
    probeElements("make-retry");
    writeFile(song(), toneWav(4.0));
    const auto words = app.path() / "words.mp3";
    writeFile(words, "These are words, not sound.\n");
    ReferenceService service(storage(), 1000);  // takes no real clip
    ASSERT_TRUE(start({song().string()}, {{"QUILLON_SERVICE", service.authority()}})) << run->output();
    ASSERT_TRUE(enter("failed")) << run->output();

    // A double click on "Try again" must not reach the Cancel button that replaces it: one "cancelled" in all.
    clickOn("make-retry", 2);
    ASSERT_TRUE(waitForState(*run, "converting", 30s, 1)) << run->output();
    ASSERT_TRUE(waitUntil([&] { return readPid(dir + "pid") > 0; }, 30s)) << "the encoder never started";
    const std::string args = readFile(dir + "args");
    const std::string part = "-ss\n0.000\n-t\n3.970\n-i\n" + song().string() +
                             "\n-map\n0:a:0\n-map_metadata\n-1\n-map_chapters\n-1\n"
                             "-af\nafade=t=in:st=0:d=1.000,afade=t=out:st=2.970:d=1.000,volume=",
                      clip = "dB\n-id3v2_version\n3\n-fflags\n+bitexact\n-metadata\ntitle=my song\n"
                             "-ab\n192k\n-ar\n44100\n-ac\n2\n-y\n";
    EXPECT_TRUE(args.starts_with(part) && args.find(clip) != std::string::npos) << args;
    // Cancel has the focus: back on the first step; the encoder ending late must not reach the page.
    ASSERT_TRUE(enter("pick", 1)) << run->output();
    kill(readPid(dir + "pid"), SIGTERM);
    EXPECT_FALSE(waitForState(*run, "failed", 2s, 1)) << run->output();

    // Made on the next try, then refused by the service.
    chooseFile(song());
    ASSERT_TRUE(waitForState(*run, "part", 30s, 1)) << run->output();
    ASSERT_TRUE(enter("clip-ready")) << run->output();
    ASSERT_TRUE(waitForState(*run, "wifi-")) << run->output();
    run->keys(window, {"Tab", "Return"});
    ASSERT_EQ(waitForState(*run, "send-form"), "send-form phone=none network=none checked=no") << run->output();
    run->keys(window, {"a", "Tab", "v", "Tab"});  // phone and network by their first letters
    run->type(window, "+44 7700 900123");
    ASSERT_TRUE(enter("failed confirm")) << run->output();
    ASSERT_TRUE(enter("pick", 2)) << run->output();  // "Choose other music" has the focus
    chooseFile(words);
    ASSERT_TRUE(waitForState(*run, "failed read")) << run->output();
    ASSERT_TRUE(enter("pick", 3)) << run->output();

    const std::vector<std::string> failures = {"failed convert 2 damaged", "failed confirm clip refused",
                                               "failed read 201"};
    EXPECT_EQ(milestones(*run, failures), failures) << run->output();
    EXPECT_EQ(milestones(*run, {"cancelled", "sending"}), (std::vector<std::string>{"cancelled", "sending"}));
    expectNoConsoleErrors();
}

TEST_F(PagesRoadTest, ACdTrackIsClippedWhileTheWindowStaysResponsive)
{
    const auto disc = writeDiscImage(app.path(), "disc", {{225}, {150}, {150, true}});
    // Its sheet names the data file in other letters, as sheets written on case-blind systems do.
    std::string sheet = readFile(disc.cue);
    writeFile(disc.cue, sheet.replace(sheet.find("disc.bin"), 8, "DISC.BIN"));
    // Each opening of the drive takes 2 s; a ticker in the UI thread shows whether its loop is served.
    ASSERT_TRUE(start({},
                      {{"QUILLON_CD_IMAGES", disc.cue.string()},
                       {"QUILLON_CD_IMAGE_DELAY_MS", "2000"},
                       {"LD_PRELOAD", QUILLON_UI_TICKER}},
                      "tracks"))
        << run->output();
    EXPECT_EQ(waitForState(*run, "tracks"), "tracks 1 0:03, 2 0:02, 3 data");
    std::vector<long long> ticks;
    const auto output = run->output();
    std::istringstream lines(output.substr(output.find("QUILLON state listing the disc")));
    for (std::string line; std::getline(lines, line) && line.find("QUILLON state tracks") == std::string::npos;)
        if (long long at = 0; std::sscanf(line.c_str(), "QTICK %lld", &at) == 1)
            ticks.push_back(at);
    ASSERT_GE(ticks.size(), 20u) << output;
    std::adjacent_difference(ticks.begin(), ticks.end(), ticks.begin());
    EXPECT_LT(*std::max_element(ticks.begin() + 1, ticks.end()), 1000) << output;

    // From "Choose a file…": Refresh, the drive, the first track; Down picks track 2.
    run->keys(window, {"Tab", "Tab", "Tab", "Down", "Return"});
    ASSERT_TRUE(waitForState(*run, "part ")) << run->output();
    const auto ready = enter("clip-ready");
    ASSERT_TRUE(ready) << run->output();
    EXPECT_NEAR(durationMsOf(clipOf(ready)), 2000, 60);
    // The track's copy stays for another part until the app ends, and goes then with the clip.
    EXPECT_TRUE(std::filesystem::exists(app.res() / "tmp" / "Track 2.wav"));
    kill(run->pid(), SIGTERM);
    ASSERT_TRUE(run->waitForExit());
    EXPECT_TRUE(std::filesystem::is_empty(app.res() / "tmp"));
    expectNoConsoleErrors();
}

TEST_F(PagesRoadTest, TheClipReachesThePhoneByEveryRoute)
{
    // A private session bus with a paired phone on it; beside the phone, a device whose id names no object and
    // one whose name ends in a colon.
    const std::string display = std::getenv("DISPLAY");
    g_autoptr(GTestDBus) bus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus);
    setenv("DISPLAY", display.c_str(), 1);  // which starting the bus unset
    auto phone = std::make_unique<KdeConnectStandIn>(
        g_test_dbus_get_bus_address(bus), true,
        KdeConnectStandIn::Devices{{"x/../y", "Odd"}, {"ann", "Ann's phone:"}, {"abc", "Good phone"}});
    // A dense song limited to near full scale: its clip is said to be as loud as any. A backslash is part of
    // its name.
    const auto tune = app.path() / "Back\\Slash song.wav";
    makeSong(tune, kDenseAndLoud);
    app.addToStartPage("clip_report.js");
    // Started at the usual soft limit of 1,024 descriptors, which it raises; the test takes all it may for its flood.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    const bool started = start({tune.string()}, {{"DBUS_SESSION_BUS_ADDRESS", g_test_dbus_get_bus_address(bus)}});
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    ASSERT_TRUE(started) << run->output();
    const auto ready = enter("clip-ready");
    ASSERT_TRUE(ready) << run->output();
    const std::string clip = readFile(clipOf(ready));
    EXPECT_LT(durationMsOf(clipOf(ready)), 30000) << "an iPhone would refuse the default part";
    ASSERT_EQ(waitForState(*run, "wifi-", 2s), "wifi-qr") << run->output();
    const std::string report = run->waitForReport("address ").value_or("address "),
                      url = report.substr(8, report.find(' ', 8) - 8);
    EXPECT_TRUE(report.ends_with(" As loud as most ringtones \xC2\xB7 \xE2\x88\x92"
                                 "12 LUFS"))
        << report;
    ASSERT_TRUE(url.starts_with("http://")) << run->output();
    const std::string path = url.substr(url.find('/', 7));
    const int port = std::stoi(url.substr(url.rfind(':') + 1));

    // The code on the screen reads back as the address; the phone side is fetched over the loopback.
    const auto screenshot = (app.path() / "send.png").string();
    ASSERT_EQ(runCommand({"import", "-window", window, screenshot}).exitCode, 0);
    const std::string read = runCommand({"zbarimg", "--quiet", "--raw", screenshot}).output;  // after any bus noise
    EXPECT_TRUE(read.substr(read.rfind('\n', read.size() - 2) + 1) == url + "\n") << read;
    // It raised its soft descriptor limit to the hard one; held to 1,024, it takes 1,100 connections that send
    // nothing, closes all it does not keep, and the code works on once they are dropped.
    const std::string limits = readFile("/proc/" + std::to_string(run->pid()) + "/limits");
    long soft = 0, hard = -1;
    std::sscanf(limits.substr(limits.find("Max open files")).c_str(), "Max open files %ld %ld", &soft, &hard);
    EXPECT_EQ(soft, hard) << limits;
    ASSERT_EQ(runCommand({"prlimit", "--pid", std::to_string(run->pid()), "--nofile=1024:1024"}).exitCode, 0);
    {
        const auto flood = silentConnections(port, 1100);
        EXPECT_TRUE(waitUntil([&] { return closedByPeer(flood) >= 1100 - 8; }, 60s)) << closedByPeer(flood);
    }
    httplib::Client phoneSide("127.0.0.1", port);
    EXPECT_TRUE(waitUntil([&] { return static_cast<bool>(phoneSide.Get(path)); }, 30s)) << "the app stopped serving";
    const auto page = phoneSide.Get(path);
    ASSERT_TRUE(page && page->status == 200);
    EXPECT_NE(page->body.find("<title>Back\\Slash song \xC2\xB7"), std::string::npos) << page->body;
    // Ranges, headers, refused paths and download names are the server's own tests; here the clip's bytes.
    // One byte is not a download; the whole clip is.
    const auto last = phoneSide.Get(path + "ringtone.mp3", {{"Range", "bytes=-1"}});
    ASSERT_TRUE(last && last->status == 206 && last->body == clip.substr(clip.size() - 1));
    EXPECT_FALSE(waitForState(*run, "wifi-downloaded", 3s)) << run->output();
    const auto whole = phoneSide.Get(path + "ringtone.mp3");
    ASSERT_TRUE(whole && whole->status == 200);
    EXPECT_TRUE(whole->body == clip) << "the phone got other bytes than the clip";
    EXPECT_TRUE(waitForState(*run, "wifi-downloaded", 5s)) << run->output();

    // The paired phones follow "Save a copy…", which has the focus.
    ASSERT_EQ(waitForState(*run, "phones"), "phones 2") << run->output();
    run->keys(window, {"Tab", "Tab", "Return"});
    ASSERT_EQ(waitForState(*run, "phone-share"), "phone-share 100") << run->output();
    ASSERT_EQ(phone->shared().size(), 1u);
    EXPECT_TRUE(phone->shared()[0].starts_with("abc ")) << phone->shared()[0];
    g_autofree gchar* shared = g_filename_from_uri(phone->shared()[0].substr(4).c_str(), nullptr, nullptr);
    EXPECT_TRUE(shared && readFile(shared) == clip) << phone->shared()[0];
    EXPECT_TRUE(phone->shared()[0].ends_with("/Back%5CSlash%20song%20ringtone.mp3")) << phone->shared()[0];

    // Once the app has ended, nothing answers on the port.
    kill(run->pid(), SIGTERM);
    ASSERT_TRUE(run->waitForExit());
    EXPECT_FALSE(httplib::Client("127.0.0.1", port).Get(path)) << "the port still answers";
    EXPECT_EQ(run->linesAfter(kState, "wifi-off"), std::vector<std::string>{}) << run->output();
    expectNoConsoleErrors();
    phone.reset();
    g_test_dbus_down(bus);
}

// The figure in what the encoder's meter or statistics write after label, the last one in the output.
double figureAfter(const std::string& output, const std::string& label)
{
    const std::size_t at = output.rfind(label);
    return at == std::string::npos ? NAN : std::strtod(output.c_str() + at + label.size(), nullptr);
}

// The RMS level in dB of a span of an audio file, or of what lies above 15 kHz in it.
double levelDb(const std::filesystem::path& file, double fromS, double lengthS, bool above15kHz = false)
{
    const std::string band = above15kHz ? "highpass=f=15000:poles=2,highpass=f=15000:poles=2," : "";
    const auto stats = runCommand(
        {"ffmpeg", "-hide_banner", "-nostats", "-ss", std::to_string(fromS), "-t", std::to_string(lengthS), "-i",
         file.string(), "-af", band + "astats=measure_perchannel=none:measure_overall=RMS_level", "-f", "null", "-"});
    return figureAfter(stats.output, "RMS level dB:");
}

// Songs of unlike character, each made into another kind through the real pages, are levelled
// alike, keep what lies above 15 kHz, carry their title only, and are named and explained for their kind.
TEST_F(PagesRoadTest, EachKindOfClipIsMadeForItsUse)
{
    struct Kind {
        const char* song;
        const char* source;
        std::vector<std::string> tags;  // the song's, and then the clip's as ffprobe lists them
        const char* kind;
    };
    const Kind kinds[] = {
        {"quiet song.m4a",
         kQuietWithPeaks,
         {"title=Quiet One", "artist=-Band", "album=Live", "Quiet One,-Band,Live"},
         "ringtone"},
        {"speech song.ogg", kSpeechLike, {"speech song"}, "notification"},
        {"dense song.wav", kDenseAndLoud, {"dense song"}, "alarm"},
    };
    app.addToStartPage("clip_report.js");
    probeElements("part-kind-notification part-kind-alarm part-make");
    const auto home = app.path() / "home";  // where "Save a copy…" starts
    std::filesystem::create_directories(home);
    for (const Kind& k : kinds) {
        const auto song = app.path() / k.song;
        std::vector<std::string> tags;
        for (auto tag = k.tags.begin(); tag + 1 < k.tags.end(); ++tag)
            tags.insert(tags.end(), {"-metadata", *tag});
        tags.insert(tags.end(), {"-metadata", "comment=not for phones"});
        makeSong(song, k.source, tags);
        ASSERT_TRUE(start({song.string()}, {{"HOME", home.string()}})) << run->output();
        if (std::string(k.kind) != "ringtone")
            clickOn(std::string("part-kind-") + k.kind);
        EXPECT_TRUE(std::string(k.kind) == "ringtone" || waitForState(*run, std::string("kind ") + k.kind, 10s));
        clickOn("part-make");
        long startMs = 0, lengthMs = 0;
        std::sscanf(waitForState(*run, "converting ").value_or("").c_str(), "converting %ld %ld", &startMs, &lengthMs);
        const auto ready = waitForState(*run, "clip-ready");
        ASSERT_TRUE(ready && waitForState(*run, "wifi-qr")) << run->output();
        const std::filesystem::path clip = clipOf(ready);

        // On target under the ceiling, at 192 kbit/s, as bright as the song above 15 kHz, tagged (ID3v2.3)
        // with the title, artist and album alone, and no gain tool's tag (APE) at the end.
        const std::string meter =
            runCommand({"ffmpeg", "-nostats", "-i", clip.string(), "-af", "ebur128=peak=true", "-f", "null", "-"})
                .output;
        EXPECT_NEAR(figureAfter(meter, "I:"), -12.0, 1.0) << k.song;
        EXPECT_LE(figureAfter(meter, "Peak:"), -1.0) << k.song;
        EXPECT_EQ(runCommand({"ffprobe", "-v", "error", "-show_entries", "stream=bit_rate:format_tags", "-of",
                              "csv=p=0", clip.string()})
                      .output,
                  "192000\n" + k.tags.back() + "\n");
        EXPECT_EQ(readFile(clip).substr(0, 4), std::string("ID3\3", 4));
        EXPECT_EQ(readFile(clip).find("APETAGEX"), std::string::npos);
        const double from = static_cast<double>(startMs) / 1000, length = static_cast<double>(lengthMs) / 1000;
        const double songBright = levelDb(song, from, length, true) - levelDb(song, from, length);
        EXPECT_NEAR(levelDb(clip, 0, length, true) - levelDb(clip, 0, length), songBright, 12) << k.song;
        if (std::string(k.kind) == "notification") {
            EXPECT_TRUE(durationMsOf(clip) >= 900 && durationMsOf(clip) <= 5000) << durationMsOf(clip);
        } else if (std::string(k.kind) == "alarm") {
            EXPECT_LE(levelDb(clip, 0, 1), levelDb(clip, 14, 1) - 12);
        }

        // The download and a saved copy are named for the kind (the phone page's steps for it are PhonePage's).
        const std::string name = std::filesystem::path(k.song).stem().string() + " " + k.kind + ".mp3";
        const std::string report = run->waitForReport("address ").value_or("address ");
        EXPECT_NE(report.find(" As loud as most "), std::string::npos) << report;
        const std::string url = report.substr(8, report.find(' ', 8) - 8);
        const auto download = httplib::Client("127.0.0.1", std::stoi(url.substr(url.rfind(':') + 1)))
                                  .Head(url.substr(url.find('/', 7)) + "ringtone.mp3");
        EXPECT_EQ(download ? download->get_header_value("Content-Disposition") : "",
                  "attachment; filename=\"" + name + "\"");
        run->keys(window, {"ctrl+s"});
        EXPECT_TRUE(
            run->pressUntil("Save a copy of the ringtone", [&](const std::string& c) { run->keys(c, {"Return"}); }));
        EXPECT_EQ(waitForState(*run, "save "), "save saved") << run->output();
        EXPECT_TRUE(readFile(home / name) == readFile(clip)) << name;
        expectNoConsoleErrors();
    }
}

TEST_F(PagesRoadTest, MoreClipsAreMadeFromThePartStepAsItWasLeftByMouseOrByKeys)
{
    probeElements("part-suggestion-1 part-suggestion-2 part-make part-undo change-part");
    app.addToStartPage("road_probe.js");
    writeTwoPartSong();
    ASSERT_TRUE(start({song().string()})) << run->output();
    clickOn("part-suggestion-2");
    const auto second = waitForState(*run, "suggestion 2 ");
    ASSERT_TRUE(second) << run->output();
    const std::string undone = "undo ringtone " + second->substr(13) + " 30000 1000 1000";
    clickOn("part-make");
    ASSERT_TRUE(waitForState(*run, "clip-ready")) << run->output();
    // "Change the part": the part and its fields as they were, the song not read again.
    clickOn("change-part");
    ASSERT_TRUE(waitForState(*run, "part ", 10s, 2)) << run->output();
    const auto parts = run->linesAfter(kState, "part "), fields = run->reports("fields ");
    EXPECT_TRUE(parts.size() == 3 && parts[2] == parts[1] && fields.back() == fields[1]) << run->output();
    EXPECT_EQ(milestones(*run, {"reading"}).size(), 1u);
    // "Suggested 1", then "Undo": suggestion 2's part is back, and made again.
    clickOn("part-suggestion-1");
    ASSERT_TRUE(waitForState(*run, "suggestion 1 ", 10s)) << run->output();
    clickOn("part-undo");
    EXPECT_EQ(waitForState(*run, "undo ", 10s), undone);
    clickOn("part-make");
    ASSERT_TRUE(waitForState(*run, "clip-ready", 60s, 1)) << run->output();
    // "Your clips" gives the part's start and end as the fields show them, to the tenth.
    std::string from, to;
    std::istringstream(fields[1].substr(7)) >> from >> to;
    const std::string times = from.substr(0, from.size() - 1) + "\xE2\x80\x93" + to.substr(0, to.size() - 1);
    EXPECT_EQ(run->waitForReport("clips ", 10s, 1), "clips " + times + "|" + times);

    // By keys: back along the focus to the step bar; a burst of Down to the shortest part, which says so, is
    // undone at once, and so is "Suggested 1"; the waveform's Enter.
    ASSERT_TRUE(focusBy("shift+Tab", "Choose the part")) << run->output();
    ASSERT_TRUE(enter("back part", 1)) << run->output();
    run->keys(window, std::vector<std::string>(30, "Down"));
    EXPECT_TRUE(waitUntil([&] { return run->reports("fields ").back().ends_with(" The shortest part is 1 s"); }, 10s))
        << run->output();
    run->keys(window, {"ctrl+z"});
    EXPECT_EQ(waitForState(*run, "undo ", 10s, 1), undone);
    ASSERT_TRUE(focusBy("shift+Tab", "part-suggestion-1")) << run->output();
    ASSERT_TRUE(enter("suggestion 1 ", 1)) << run->output();
    run->keys(window, {"ctrl+z"});
    EXPECT_EQ(waitForState(*run, "undo ", 10s, 2), undone);
    ASSERT_TRUE(focusBy("Tab", "wave")) << run->output();
    ASSERT_TRUE(enter("clip-ready", 2)) << run->output();
    EXPECT_EQ(run->waitForReport("clips ", 10s, 2), "clips " + times + "|" + times + "|" + times);
    expectNoConsoleErrors();
}

TEST_F(PagesRoadTest, TheDarkThemeKeepsThePagesDark)
{
    const bool axe = instrumentPagesWithAxe(app);
    writeTwoPartSong();
    ASSERT_TRUE(start({song().string()}, {{"GTK_THEME", "Adwaita:dark"}})) << run->output();
    ASSERT_TRUE(enter("clip-ready") && waitForState(*run, "wifi-")) << run->output();
    const auto shot = (app.path() / "dark.png").string();
    ASSERT_EQ(runCommand({"import", "-window", window, shot}).exitCode, 0);
    const auto mean = runCommand({"convert", shot, "-colorspace", "Gray", "-format", "%[fx:mean]", "info:"});
    EXPECT_LT(std::strtod(mean.output.c_str(), nullptr), 1.0 / 3) << mean.output;
    expectNoConsoleErrors();
    if (!axe)
        GTEST_SKIP() << "axe-core could not be fetched with npm: the pages were not checked";
    ASSERT_TRUE(run->waitForReport("axe Quillon/wifi-qr")) << run->output();
    for (const auto& report : run->reports("axe "))
        EXPECT_EQ(report.substr(report.find(' ', report.find('/')) + 1, 2), "0 ") << report;
}

TEST_F(PagesRoadTest, ThePartStepFitsTheWindow)
{
    probeElements("part-make");
    app.addToStartPage("road_probe.js");
    writeTwoPartSong();
    ASSERT_TRUE(start({song().string()})) << run->output();
    // The road probe's "size <page width> <height> <waveform's width> <its drawing's width>" at a window size.
    const auto sizeAt = [&](const char* width, const char* height) {
        EXPECT_EQ(runCommand({"xdotool", "windowsize", window, width, height}).exitCode, 0) << width;
        std::array<int, 4> size{};
        EXPECT_TRUE(waitUntil([&] {
            const auto seen = run->reports("size ");
            return !seen.empty() &&
                   std::sscanf(seen.back().c_str(), "size %d %d %d %d", &size[0], &size[1], &size[2], &size[3]) == 4 &&
                   std::abs(size[0] - std::atoi(width)) < 40;
        })) << width;
        return size;
    };
    const auto wide = sizeAt("1200", "900");
    EXPECT_TRUE(wide[2] >= 960 && wide[3] >= 960) << run->output();
    EXPECT_LT(sizeAt("640", "480")[1], 480);
    // Focused, the button scrolls into sight, where a click reaches it.
    const std::size_t placed = run->countReports("at part-make ");
    ASSERT_TRUE(focusBy("Tab", "part-make")) << run->output();
    EXPECT_TRUE(run->waitForReport("at part-make ", 5s, placed));
    clickOn("part-make");
    EXPECT_TRUE(waitForState(*run, "converting")) << run->output();
}
