// The homepage opened in the desktop's default browser, from script and from the
// window's popup menu. (Settings across runs: the page tests and the settings tests.)
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

namespace {

using HomepageTest = AppTest;

}  // namespace

TEST_F(HomepageTest, HomepageOpensInTheDefaultBrowserFromScriptAndFromTheMenu)
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
    )",
                                        "<div style='width:760px;height:471px'>page text</div>"));
    AppRun run(
        app, {},
        {{"XDG_DATA_HOME", data.string()}, {"QUILLON_SERVICE", "service.example:8081"}, {"XDG_CURRENT_DESKTOP", ""}});
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
