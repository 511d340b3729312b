// Per-user install and uninstall into a private HOME: what lands where, that the
// desktop's validators accept the entry and the metadata, that the installed
// launcher opens a file on the start page, and that uninstalling leaves only
// what was there before plus the settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;
namespace fs = std::filesystem;

namespace {

const fs::path kBuildDir = fs::path(QUILLON_APP_DIR).parent_path();
const fs::path kSourceDir = QUILLON_SOURCE_DIR;
constexpr const char* kAppId = "org.quillon.Quillon";

// A private home with its own XDG folders; the data folder is not the default one
// so that the install is seen to follow XDG_DATA_HOME. The runtime folder lies
// outside, as in a desktop session (without one GLib makes ~/.cache to stand in).
struct Home {
    explicit Home(fs::path root) : root(std::move(root))
    {
        fs::create_directories(this->root);
        fs::create_directories(runtime());
        fs::permissions(runtime(), fs::perms::owner_all);
    }
    fs::path root;
    [[nodiscard]] fs::path runtime() const { return root.parent_path() / "runtime"; }
    [[nodiscard]] fs::path data() const { return root / "xdg-data"; }
    [[nodiscard]] fs::path config() const { return root / ".config"; }
    [[nodiscard]] fs::path bin() const { return root / ".local" / "bin"; }
    [[nodiscard]] fs::path app() const { return data() / "quillon"; }
    [[nodiscard]] std::map<std::string, std::string> environment() const
    {
        return {{"HOME", root.string()},
                {"XDG_DATA_HOME", data().string()},
                {"XDG_CONFIG_HOME", config().string()},
                {"XDG_RUNTIME_DIR", runtime().string()}};
    }

    // Runs a script of the repository with this home's environment (no shell).
    [[nodiscard]] CommandResult script(const std::string& name, std::vector<std::string> arguments = {}) const
    {
        std::vector<std::string> argv{"env"};
        for (const auto& [key, value] : environment())
            argv.push_back(key + "=" + value);
        argv.push_back((kSourceDir / "scripts" / name).string());
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return runCommand(argv);
    }
    [[nodiscard]] CommandResult install() const { return script("install", {"--from", kBuildDir.string()}); }
    [[nodiscard]] CommandResult uninstall() const { return script("uninstall"); }

    // Every entry under the home, relative, folders with a trailing slash and
    // links with their target.
    [[nodiscard]] std::set<std::string> tree() const
    {
        std::set<std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const std::string relative = fs::relative(entry.path(), root).string();
            if (entry.is_symlink())
                entries.insert(relative + " -> " + fs::read_symlink(entry.path()).string());
            else
                entries.insert(entry.is_directory() ? relative + "/" : relative);
        }
        return entries;
    }
};

// Width and height from a PNG's header chunk, which always comes first.
std::pair<int, int> pngSize(const fs::path& file)
{
    const std::string bytes = readFile(file);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {-1, -1};
    auto number = [&](std::size_t at) {
        int value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    return {number(16), number(20)};
}

bool haveProgram(const std::string& name)
{
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string folder; std::getline(path, folder, ':');) {
        if (!folder.empty() && access((fs::path(folder) / name).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

}  // namespace

TEST(DesktopInstall, PlacesEveryPieceAndUninstallLeavesOnlyWhatWasThere)
{
    TempDir dir;
    const Home home(dir.path() / "home");
    // Another program's files in the same folders, and the user's settings.
    for (const auto& folder : {home.bin(), home.data() / "applications", home.data() / "icons" / "hicolor" / "48x48" / "apps",
                               home.config() / "quillon"})
        fs::create_directories(folder);
    writeScript(home.bin() / "other-tool", "exit 0\n");
    writeFile(home.data() / "applications" / "other.desktop", "[Desktop Entry]\n");
    writeFile(home.data() / "icons" / "hicolor" / "48x48" / "apps" / "other.png", "png");
    writeFile(home.config() / "quillon" / "registry.sqlite3", "settings");
    // The desktop keeps a cache of the entries folder, but none of the icons.
    const fs::path mimeCache = home.data() / "applications" / "mimeinfo.cache";
    const bool cacheTool = haveProgram("update-desktop-database");
    if (cacheTool) {
        ASSERT_EQ(runCommand({"update-desktop-database", (home.data() / "applications").string()}).exitCode, 0);
    }
    const std::string cacheBefore = cacheTool ? readFile(mimeCache) : "";
    const auto before = home.tree();

    const auto installed = home.install();
    ASSERT_EQ(installed.exitCode, 0) << installed.output;

    // The launcher is a link to the app folder's executable, which has its
    // extension, its pages and an empty scratch folder of the user's own.
    const fs::path launcher = home.bin() / "quillon";
    ASSERT_TRUE(fs::is_symlink(launcher));
    EXPECT_EQ(fs::read_symlink(launcher), home.app() / "quillon");
    EXPECT_EQ(fs::status(launcher).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    EXPECT_TRUE(fs::is_regular_file(home.app() / "webext" / "libquillon-external.so"));
    EXPECT_EQ(readFile(home.app() / "res" / "selectSong.html"), readFile(fs::path(QUILLON_APP_DIR) / "res" / "selectSong.html"));
    ASSERT_TRUE(fs::is_directory(home.app() / "res" / "tmp"));
    EXPECT_TRUE(fs::is_empty(home.app() / "res" / "tmp"));

    const std::string entry = readFile(home.data() / "applications" / (std::string(kAppId) + ".desktop"));
    EXPECT_NE(entry.find("\nExec=\"" + launcher.string() + "\" %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nTryExec=" + launcher.string() + "\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nMimeType=audio/mpeg;audio/x-ms-wma;audio/ogg;audio/x-vorbis+ogg;audio/wav;audio/x-wav;"
                         "audio/vnd.wave;audio/flac;audio/x-flac;audio/mp4;audio/x-m4a;audio/aac;audio/x-aac;"
                         "audio/x-opus+ogg;audio/x-aiff;audio/aiff;\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find(std::string("\nIcon=") + kAppId + "\n"), std::string::npos) << entry;

    const fs::path hicolor = home.data() / "icons" / "hicolor";
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const std::string folder = std::to_string(size) + "x" + std::to_string(size);
        EXPECT_EQ(pngSize(hicolor / folder / "apps" / (std::string(kAppId) + ".png")), std::make_pair(size, size))
            << folder;
    }
    EXPECT_EQ(readFile(hicolor / "scalable" / "apps" / (std::string(kAppId) + ".svg")),
              readFile(kSourceDir / "res" / "quillon.svg"));
    EXPECT_EQ(readFile(home.data() / "metainfo" / (std::string(kAppId) + ".metainfo.xml")),
              readFile(kSourceDir / "data" / (std::string(kAppId) + ".metainfo.xml")));
    EXPECT_EQ(readFile(home.root / ".local" / "share" / "man" / "man1" / "quillon.1"),
              readFile(kSourceDir / "data" / "quillon.1"));

    if (cacheTool) {
        EXPECT_NE(readFile(mimeCache).find("audio/x-ms-wma=org.quillon.Quillon.desktop;"), std::string::npos)
            << readFile(mimeCache);
    }
    EXPECT_FALSE(fs::exists(hicolor / "icon-theme.cache"));

    // A second install replaces the first; the app's leftover clips go with it.
    const auto again = home.install();
    ASSERT_EQ(again.exitCode, 0) << again.output;
    writeFile(home.app() / "res" / "tmp" / "clip.mp3", "ID3");

    const auto removed = home.uninstall();
    ASSERT_EQ(removed.exitCode, 0) << removed.output;
    EXPECT_EQ(home.tree(), before);
    if (cacheTool) {
        EXPECT_EQ(readFile(mimeCache), cacheBefore);
    }

    const auto nothing = home.uninstall();
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_NE(nothing.output.find("not installed"), std::string::npos) << nothing.output;
    EXPECT_EQ(home.tree(), before);
}

TEST(DesktopInstall, ValidatorsAcceptTheDesktopEntryAndTheMetadata)
{
    if (!haveProgram("desktop-file-validate") || !haveProgram("appstreamcli"))
        GTEST_SKIP() << "needs desktop-file-validate (desktop-file-utils) and appstreamcli (appstream)";
    TempDir dir;
    const Home home(dir.path() / "my home");  // a blank in the path: Exec must quote it
    const auto installed = home.install();
    ASSERT_EQ(installed.exitCode, 0) << installed.output;

    const auto desktop = runCommand(
        {"desktop-file-validate", (home.data() / "applications" / (std::string(kAppId) + ".desktop")).string()});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.output;
    EXPECT_EQ(desktop.output, "");
    const auto metadata = runCommand({"appstreamcli", "validate", "--no-net", "--strict",
                                      (home.data() / "metainfo" / (std::string(kAppId) + ".metainfo.xml")).string()});
    EXPECT_EQ(metadata.exitCode, 0) << metadata.output;
}

TEST(DesktopInstall, InstalledLauncherOpensTheFileOnTheStartPage)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs a display: run the suite under xvfb-run";
    TestApp app;
    const Home home(app.dir().path() / "home");
    fs::create_directories(home.root / ".cache");
    const auto before = home.tree();
    const auto installed = home.install();
    ASSERT_EQ(installed.exitCode, 0) << installed.output;

    writeFile(home.app() / "res" / "selectSong.html", page(R"(
        report('start [' + window.external.DTE_clFileName + '] ' + decodeURIComponent(location.pathname));
    )"));
    // The harness starts <app folder>/quillon; that folder is made the launcher's.
    fs::remove_all(app.folder());
    fs::create_directory_symlink(home.bin(), app.folder());

    const std::string song = "/tmp/My Music/first song.mp3";
    {
        AppRun run(app, {song}, home.environment());
        EXPECT_EQ(run.waitForReport("start"),
                  "start [" + song + "] " + (home.app() / "res" / "selectSong.html").string())
            << run.output();
        EXPECT_TRUE(run.running());
    }
    ASSERT_TRUE(fs::is_regular_file(home.config() / "quillon" / "registry.sqlite3"));
    // The web engine's storage went to the cache, not into the app folder.
    EXPECT_TRUE(fs::is_directory(home.root / ".cache" / "quillon" / "website-data"));
    for (const auto& entry : fs::directory_iterator(home.app()))
        EXPECT_TRUE(entry.path().filename() == "quillon" || entry.path().filename() == "res" ||
                    entry.path().filename() == "webext" || entry.path().filename() == "install-manifest.txt")
            << entry.path();

    const auto removed = home.uninstall();
    ASSERT_EQ(removed.exitCode, 0) << removed.output;
    auto expected = before;
    expected.insert({".config/", ".config/quillon/", ".config/quillon/registry.sqlite3"});
    EXPECT_EQ(home.tree(), expected);
}
