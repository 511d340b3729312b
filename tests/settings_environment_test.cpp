// What the environment decides: where the settings database lives, the service
// host in the homepage redirect, and the desktop's default browser that opens it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service_endpoint/default_browser.h"
#include "service_endpoint/homepage.h"
#include "settings/registry_file.h"
#include "settings/settings_store.h"
#include "settings/sqlite_key_backend.h"
#include "service_endpoint/url_encode.h"
#include "tests/test_support.h"

namespace quillon::settings {
namespace {

using namespace quillon::service_endpoint;

using test::TempDir;

// Sets an environment variable for one scope and puts the old value back after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        apply(value);
    }
    ~ScopedEnv() { apply(old_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void apply(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(name_, value->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    const char* name_;
    std::optional<std::string> old_;
};

TEST(RegistryFileTest, LivesUnderTheConfigFolder)
{
    struct Case {
        std::optional<std::string> xdgConfigHome;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/cfg", "/cfg/quillon/registry.sqlite3"},
        {std::nullopt, "/home/someone/.config/quillon/registry.sqlite3"},
        {"", "/home/someone/.config/quillon/registry.sqlite3"},
        {"relative/cfg", "/home/someone/.config/quillon/registry.sqlite3"},
    };
    const ScopedEnv home("HOME", "/home/someone");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xdgConfigHome.value_or("(unset)"));
        const ScopedEnv config("XDG_CONFIG_HOME", c.xdgConfigHome);
        EXPECT_EQ(defaultRegistryFile(), std::filesystem::path(c.expected));
    }
}

TEST(RegistryFileTest, DefaultStoreUsesTheConfigFolder)
{
    TempDir dir;
    const ScopedEnv config("XDG_CONFIG_HOME", dir.path().string());
    {
        SettingsStore store;
        store.setTEPhone("from the default store");
    }
    SqliteKeyBackend backend(dir / "quillon/registry.sqlite3");
    const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->read("TEPhone", 1024).bytes, "from the default store");
}

TEST(UrlEncodeTest, KeepsLettersAndDigitsAndEscapesEverythingElse)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a b-c", "a+b%2Dc"},
        {"Ab9", "Ab9"},
        {"x.y", "x%2Ey"},
        {"", ""},
        {"210", "210"},
        {"AZaz09", "AZaz09"},
        {" \t\n\v\f\r", "++++++"},
        {"-_.~", "%2D%5F%2E%7E"},
        {"a b&c", "a+b%26c"},
        {"/?=%+", "%2F%3F%3D%25%2B"},
        {std::string("\x00\x01\x1f\x7f", 4), "%00%01%1F%7F"},
        {"\x80\xff", "%80%FF"},
        {"\xc3\xa9t\xc3\xa9", "%C3%A9t%C3%A9"},  // UTF-8 bytes one by one
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(urlEncode(input), expected) << "input: " << input;
}

TEST(HomepageTest, AddressJoinsServiceHostRedirectPageAndEncodedWhere)
{
    struct Case {
        std::optional<std::string> service;
        std::string where;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"service.example", "homepage", "http://service.example/redir.php?pid=2&ver=210&aff=2&where=homepage"},
        {"service.example:8081", "a b&c", "http://service.example:8081/redir.php?pid=2&ver=210&aff=2&where=a+b%26c"},
        {"10.0.0.7:80", "", "http://10.0.0.7/redir.php?pid=2&ver=210&aff=2&where="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        const ScopedEnv service("QUILLON_SERVICE", c.service);
        EXPECT_EQ(homepageAddress(c.where), c.expected);
    }
}

TEST(HomepageTest, NavigateLaunchesTheAddressOnceAndIgnoresAFailedLaunch)
{
    const ScopedEnv service("QUILLON_SERVICE", "service.example");
    for (const bool launches : {true, false}) {
        std::vector<std::string> launched;
        navigateUrl("homepage", [&](const std::string& uri) {
            launched.push_back(uri);
            return launches;
        });
        EXPECT_EQ(launched,
                  std::vector<std::string>{"http://service.example/redir.php?pid=2&ver=210&aff=2&where=homepage"});
    }
}

// A stand-in default browser: a desktop entry registered as the http handler in
// temp XDG folders, whose program records the address it was given.
TEST(HomepageTest, OpensTheAddressWithTheDefaultHttpHandler)
{
    TempDir dir;
    const std::filesystem::path data = dir / "data";
    const std::filesystem::path config = dir / "config";
    std::filesystem::create_directories(data / "applications");
    std::filesystem::create_directories(config);
    const std::filesystem::path recorded = dir / "recorded";
    test::writeScript(dir / "browser", "printf '%s' \"$1\" > \"" + recorded.string() + ".part\" && mv \"" +
                                           recorded.string() + ".part\" \"" + recorded.string() + "\"\n");
    test::writeFile(data / "applications/quillon-test-browser.desktop",
                    "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + (dir / "browser").string() +
                        " %u\nMimeType=x-scheme-handler/http;\nNoDisplay=true\n");
    test::writeFile(config / "mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/http=quillon-test-browser.desktop\n");
    // GIO reads these folders once per process, so they must be set before its first use.
    const ScopedEnv dataHome("XDG_DATA_HOME", data.string());
    const ScopedEnv dataDirs("XDG_DATA_DIRS", (dir / "none").string());
    const ScopedEnv configHome("XDG_CONFIG_HOME", config.string());
    const ScopedEnv configDirs("XDG_CONFIG_DIRS", (dir / "none").string());
    const ScopedEnv desktop("XDG_CURRENT_DESKTOP", std::nullopt);
    const ScopedEnv service("QUILLON_SERVICE", "service.example:8081");

    navigateUrl("a b&c");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(recorded) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(recorded)) << "the stand-in browser was not started";
    EXPECT_EQ(test::readFile(recorded), "http://service.example:8081/redir.php?pid=2&ver=210&aff=2&where=a+b%26c");
}

}  // namespace
}  // namespace quillon::settings
