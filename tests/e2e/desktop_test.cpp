// The app on a desktop: per-user install, one copy per app folder on a bus, copies on their own without.
#include <gtest/gtest.h>
#include <signal.h>

#include <set>
#include <sstream>

#include "tests/e2e/pages_support.h"

using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kAppId = "org.quillon.Quillon";

class DesktopTest : public AppTest {
protected:
    [[nodiscard]] fs::path song() const { return app.path() / "my song.wav"; }
    void SetUp() override
    {
        AppTest::SetUp();
        if (IsSkipped())
            return;
        const auto bus =
            runCommand({"dbus-daemon", "--session", "--fork", "--nopidfile", "--print-address=1", "--print-pid=1"});
        std::string address;  // a session bus of the test's own
        std::istringstream(bus.output) >> address >> busPid;
        if (busPid <= 0)
            GTEST_SKIP() << "needs dbus-daemon for a private session bus";
        onBus = {{"DBUS_SESSION_BUS_ADDRESS", address}};
    }
    void TearDown() override
    {
        if (busPid > 0)
            kill(busPid, SIGTERM);
    }
    pid_t busPid = -1;
    std::map<std::string, std::string> onBus;
};

}  // namespace

TEST(DesktopInstall, UninstallUndoesTheInstall)
{
    TempDir dir;
    // A blank in the home's path (Exec must quote it), a data folder not the default one, others' files.
    const fs::path home = dir.path() / "my home", data = home / "xdg-data", config = home / ".config";
    const fs::path bin = home / ".local" / "bin", installed = data / "quillon", runtime = dir.path() / "runtime";
    for (const auto& folder : {bin, data / "applications", config / "quillon", runtime})
        fs::create_directories(folder);
    fs::permissions(runtime, fs::perms::owner_all);
    writeScript(bin / "other-tool", "exit 0\n");
    writeFile(data / "applications" / "other.desktop", "[Desktop Entry]\n");
    writeFile(config / "quillon" / "registry.sqlite3", "settings");
    const auto treeOf = [&] {  // every entry under home with its kind and link target
        std::istringstream lines(runCommand({"find", home.string(), "-printf", "%P %y %l\n"}).output);
        std::set<std::string> entries;
        for (std::string line; std::getline(lines, line);)
            entries.insert(line);
        return entries;
    };
    const auto before = treeOf();
    const auto script = [&](const std::string& name, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"env", "HOME=" + home.string(), "XDG_DATA_HOME=" + data.string(),
                                   "XDG_CONFIG_HOME=" + config.string(), "XDG_RUNTIME_DIR=" + runtime.string(),
                                   (fs::path(QUILLON_SOURCE_DIR) / "scripts" / name).string()});
        return runCommand(more);
    };
    const std::vector<std::string> from{"--from", fs::path(QUILLON_APP_DIR).parent_path().string()};

    ASSERT_EQ(script("install", from).exitCode, 0);
    EXPECT_EQ(fs::read_symlink(bin / "quillon"), installed / "quillon");
    EXPECT_TRUE(fs::is_regular_file(installed / "webext" / "libquillon-external.so"));
    EXPECT_TRUE(fs::is_empty(installed / "res" / "tmp"));
    const fs::path entry = data / "applications" / (std::string(kAppId) + ".desktop");
    EXPECT_NE(readFile(entry).find("\nExec=\"" + (bin / "quillon").string() + "\" %f\n"), std::string::npos)
        << readFile(entry);
    const fs::path metainfo = data / "metainfo" / (std::string(kAppId) + ".metainfo.xml");
    EXPECT_TRUE(fs::is_regular_file(data / "icons/hicolor/48x48/apps" / (std::string(kAppId) + ".png")));
    EXPECT_EQ(runCommand({"desktop-file-validate", entry.string()}).output, "");
    EXPECT_EQ(runCommand({"appstreamcli", "validate", "--no-net", "--strict", metainfo.string()}).exitCode, 0);

    // A second install replaces the first; the app's leftover clips go with it.
    ASSERT_EQ(script("install", from).exitCode, 0);
    writeFile(installed / "res" / "tmp" / "clip.mp3", "ID3");
    ASSERT_EQ(script("uninstall").exitCode, 0);
    EXPECT_EQ(treeOf(), before);
    const auto nothing = script("uninstall");
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_NE(nothing.output.find("not installed"), std::string::npos) << nothing.output;
}

TEST_F(DesktopTest, LaterStartsHandTheirFilesToTheRunningWindowWhichOffersThemMidClip)
{
    // The clip is made for a long while.
    writeScript(app.res() / "ffmpeg", "case \" $* \" in *\" -ab \"*) exec sleep 60 ;; esac\nexec ffmpeg \"$@\"\n");
    writeFile(song(), toneWav(2.0));
    AppRun first(app, {song().string()}, onBus);
    const auto window = first.waitForWindow(kCaption);
    ASSERT_TRUE(window && waitForState(first, "part")) << first.output();
    first.keys(*window, {"Return"});
    ASSERT_TRUE(waitForState(first, "converting")) << first.output();
    const std::vector<std::pair<std::vector<std::string>, std::string>> starts{
        {{"/music/two song.mp3"}, "/music/two song.mp3"},
        // Without a file the running window only comes to the front.
        {{}, ""},
        // A name that is not UTF-8 is explained in a box of the later start's own; nothing is handed over.
        {{"/music/M\xFCsik.mp3"}, ""},
        // The running copy works in another folder: a relative name arrives whole.
        {{"relative.mp3"}, (fs::current_path() / "relative.mp3").string()},
        {{"-open", song().string()}, song().string()},
    };
    std::vector<std::string> offered;
    for (const auto& [arguments, file] : starts) {
        AppRun later(app, arguments, onBus);
        const bool boxed = !arguments.empty() && arguments[0].find('\xFC') != std::string::npos;
        EXPECT_TRUE(!boxed || later.pressUntil("Quillon", [&](const std::string& box) { later.keys(box, {"Return"}); }))
            << later.output();
        EXPECT_EQ(later.waitForExit(), 0) << later.output();
        if (!file.empty()) {
            offered.push_back("file arrived " + file);
            EXPECT_EQ(waitForState(first, "file arrived", 30s, offered.size() - 1), offered.back()) << first.output();
        }
    }
    EXPECT_EQ(milestones(first, {"file arrived", "chose file"}),
              (std::vector<std::string>{"chose file", "file arrived", "file arrived", "file arrived"}))
        << "the work in progress was dropped unasked";
    // "Use it instead" has the focus: the running work stops and the last file is taken.
    first.keys(*window, {"Return"});
    EXPECT_TRUE(waitForState(first, "chose file", 10s, 1)) << first.output();
    EXPECT_TRUE(onlyPageProcessesRemain(first.pid(), 10s)) << "the encoder of the abandoned clip runs on";
    // Once the window has closed, the next start runs a window of its own.
    kill(first.pid(), SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0) << first.output();
    AppRun next(app, {song().string()}, onBus);
    EXPECT_TRUE(waitForState(next, "part")) << next.output();
}

TEST_F(DesktopTest, WithoutABusEveryStartRunsOnItsOwnInATemporaryFolderOfItsOwn)
{
    // Each copy reports its temporary folder after a transcode; one started with a file then closes.
    app.addPage("selectSong.html", pageWith("temp_folder.js"));
    const std::map<std::string, std::string> noBus{
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (app.path() / "no-bus").string()}};
    const fs::path shared = fs::canonical(app.res() / "tmp");
    AppRun first(app, {}, noBus);
    ASSERT_EQ(first.waitForReport("tmp"), "tmp " + shared.string()) << first.output();
    writeFile(shared / "clip-of-the-first.mp3", "first");

    AppRun second(app, {"/music/two.mp3"}, noBus);
    const fs::path own = second.waitForReport("tmp").value_or("tmp ").substr(4);
    ASSERT_EQ(own.parent_path(), shared) << second.output();
    EXPECT_EQ(second.waitForExit(), 0) << second.output();
    EXPECT_FALSE(fs::exists(own));
    EXPECT_EQ(readFile(shared / "clip-of-the-first.mp3"), "first");
    EXPECT_TRUE(first.running());
}
