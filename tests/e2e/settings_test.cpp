// Settings as the pages of the real app see them across runs, and the homepage
// opened in the desktop's default browser.
#include <gtest/gtest.h>


#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

namespace {

using AppSettingsTest = AppTest;

const char* kReadAll = R"(
    var e = window.external;
    report('values ' + [e.DTE_GetTEPhone(), e.DTE_GetTENetwork(), e.DTE_GetTEAid(), e.DTE_GetTENVCheck()].join('|'));
)";

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST_F(AppSettingsTest, FirstRunSeedsOnceAndLaterRunsKeepWhatPagesStored)
{
    app.addPage("selectSong.html", page(std::string(kReadAll) + R"(
        e.DTE_SetTEPhone('Nokia 3310');
        e.DTE_SetTENVCheck('1');
        report('stored');
        e.DTE_CloseWindow();
    )"));
    {
        AppRun first(app);
        EXPECT_EQ(first.waitForReport("values"), "values Unknown|Unknown|2|0") << first.output();
        ASSERT_EQ(first.waitForExit(), 0);
        const auto out = first.output();
        EXPECT_EQ(count(out, "writing current value of key \"TENetwork\""), 1u) << out;
        EXPECT_LT(out.find("writing current value of key \"TEPhone\""),
                  out.find("writing current value of key \"TENetwork\"")) << "seeded out of order";
    }
    app.addPage("selectSong.html", page(std::string(kReadAll) + "e.DTE_CloseWindow();"));
    AppRun second(app);
    EXPECT_EQ(second.waitForReport("values"), "values Nokia 3310|Unknown|2|1") << second.output();
    ASSERT_EQ(second.waitForExit(), 0);
    EXPECT_EQ(count(second.output(), "writing current value of key \"TENetwork\""), 0u) << "seeded again";
    const auto mode = std::filesystem::status(app.configHome() / "quillon" / "registry.sqlite3").permissions();
    EXPECT_EQ(mode & std::filesystem::perms::all, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(AppSettingsTest, HomepageOpensInTheDefaultBrowserFromScriptAndFromTheMenu)
{
    // A stand-in default browser: a desktop entry registered as the http handler,
    // whose program appends the address it was given to a file.
    const auto data = app.dir().path() / "data";
    const auto recorded = app.dir().path() / "opened.txt";
    std::filesystem::create_directories(data / "applications");
    writeScript(app.dir().path() / "browser", "printf '%s\\n' \"$1\" >> '" + recorded.string() + "'\n");
    writeFile(data / "applications" / "quillon-test-browser.desktop",
              "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + (app.dir().path() / "browser").string() +
                  " %u\nMimeType=x-scheme-handler/http;\nNoDisplay=true\n");
    writeFile(app.configHome() / "mimeapps.list",
              "[Default Applications]\nx-scheme-handler/http=quillon-test-browser.desktop\n");

    app.addPage("selectSong.html", page(R"(
        window.external.DTE_NavigateURL('help & faq');
        report('asked');
    )", "<div style='width:760px;height:471px'>page text</div>"));
    AppRun run(app, {}, {{"XDG_DATA_HOME", data.string()}, {"QUILLON_SERVICE", "service.example:8081"},
                         {"XDG_CURRENT_DESKTOP", ""}});
    ASSERT_TRUE(run.waitForReport("asked")) << run.output();
    const auto window = run.waitForWindow("Quillon - Version 2.1.0");
    ASSERT_TRUE(window);
    // The popup menu's first item is "Go to Homepage".
    run.click(*window, 300, 200, 3);
    run.keys(*window, {"Down", "Return"});

    const std::string expected = "http://service.example:8081/redir.php?pid=2&ver=210&aff=2&where=help+%26+faq\n"
                                 "http://service.example:8081/redir.php?pid=2&ver=210&aff=2&where=homepage\n";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline &&
           (!std::filesystem::exists(recorded) || readFile(recorded).size() < expected.size()))
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(std::filesystem::exists(recorded) ? readFile(recorded) : "", expected);
}
