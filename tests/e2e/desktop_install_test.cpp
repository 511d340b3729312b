// Per-user install and uninstall into a private HOME: what lands where, that the
// desktop's validators accept it, and that uninstalling leaves what was there before.
#include <gtest/gtest.h>

#include <set>

#include "tests/e2e/app_harness.h"

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

}  // namespace

// Other programs' files and the user's settings sit in the same folders.
TEST(DesktopInstall, PlacesEveryPieceAndUninstallLeavesOnlyWhatWasThere)
{
    TempDir dir;
    const Home home(dir.path() / "my home");  // a blank in the path: Exec must quote it
    for (const auto& folder : {home.bin(), home.data() / "applications", home.config() / "quillon"})
        fs::create_directories(folder);
    writeScript(home.bin() / "other-tool", "exit 0\n");
    writeFile(home.data() / "applications" / "other.desktop", "[Desktop Entry]\n");
    writeFile(home.config() / "quillon" / "registry.sqlite3", "settings");
    const auto before = home.tree();

    ASSERT_EQ(home.install().exitCode, 0);
    const fs::path launcher = home.bin() / "quillon";
    EXPECT_EQ(fs::read_symlink(launcher), home.app() / "quillon");
    EXPECT_TRUE(fs::is_regular_file(home.app() / "webext" / "libquillon-external.so"));
    EXPECT_EQ(readFile(home.app() / "res" / "selectSong.html"),
              readFile(fs::path(QUILLON_APP_DIR) / "res" / "selectSong.html"));
    EXPECT_TRUE(fs::is_empty(home.app() / "res" / "tmp"));
    const fs::path entry = home.data() / "applications" / (std::string(kAppId) + ".desktop");
    EXPECT_NE(readFile(entry).find("\nExec=\"" + launcher.string() + "\" %f\n"), std::string::npos) << readFile(entry);
    const fs::path metainfo = home.data() / "metainfo" / (std::string(kAppId) + ".metainfo.xml");
    EXPECT_EQ(readFile(metainfo), readFile(kSourceDir / "data" / (std::string(kAppId) + ".metainfo.xml")));
    EXPECT_TRUE(fs::is_regular_file(home.data() / "icons/hicolor/48x48/apps" / (std::string(kAppId) + ".png")));
    EXPECT_EQ(runCommand({"desktop-file-validate", entry.string()}).output, "");
    EXPECT_EQ(runCommand({"appstreamcli", "validate", "--no-net", "--strict", metainfo.string()}).exitCode, 0);

    // A second install replaces the first; the app's leftover clips go with it.
    ASSERT_EQ(home.install().exitCode, 0);
    writeFile(home.app() / "res" / "tmp" / "clip.mp3", "ID3");
    ASSERT_EQ(home.uninstall().exitCode, 0);
    EXPECT_EQ(home.tree(), before);
    const auto nothing = home.uninstall();
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_NE(nothing.output.find("not installed"), std::string::npos) << nothing.output;
}
