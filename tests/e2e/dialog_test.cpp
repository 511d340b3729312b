// The window's own dialogs in one run: homepage, nested HTML dialogs, message boxes, a file chooser.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/version.h"
#include "service_endpoint/service_codes.h"
#include "tests/e2e/app_harness.h"

using namespace quillon::test;

using DialogTest = AppTest;

TEST_F(DialogTest, EachDialogAnswersThePage)
{
    // A stand-in default browser that appends each address it gets to a file.
    const auto data = app.path() / "data", recorded = app.path() / "opened.txt";
    std::filesystem::create_directories(data / "applications");
    writeScript(app.path() / "browser", "printf '%s\\n' \"$1\" >> '" + recorded.string() + "'\n");
    writeFile(data / "applications" / "test-browser.desktop",
              "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + (app.path() / "browser").string() +
                  " %u\nMimeType=x-scheme-handler/http;\nNoDisplay=true\n");
    writeFile(app.configHome() / "mimeapps.list",
              "[Default Applications]\nx-scheme-handler/http=test-browser.desktop\n");

    app.addPage("selectSong.html",
                pageWith("dialog_main.js", "", "<div style='width:760px;height:471px'>page text</div>"));
    app.addPage("dlg.html", pageWith("dialog_level.js"));
    AppRun run(
        app, {},
        {{"XDG_DATA_HOME", data.string()}, {"QUILLON_SERVICE", "service.example:8081"}, {"XDG_CURRENT_DESKTOP", ""}});
    const auto window = run.waitForWindow(kCaption);
    ASSERT_TRUE(window && run.waitForReport("asked")) << run.output();
    // The popup menu's first item is "Go to Homepage".
    run.click(*window, 300, 200, 3);
    run.keys(*window, {"Down", "Return"});
    const std::string redirect =
        "http://service.example:8081/redir.php?pid=" + std::string(quillon::service_endpoint::kProductCode) +
        "&ver=" + std::string(quillon::base::kVersionCode) +
        "&aff=" + std::string(quillon::service_endpoint::kAffiliateCode) + "&where=";
    const std::string expected = redirect + "help+%26+faq\n" + redirect + "homepage\n";
    waitUntil([&] { return std::filesystem::exists(recorded) && readFile(recorded).size() >= expected.size(); }, 20s);
    EXPECT_EQ(std::filesystem::exists(recorded) ? readFile(recorded) : "", expected);

    // The window's menu (its header bar's button, or F10) holds "About Quillon...", which opens the About box.
    EXPECT_TRUE(run.pressUntil(
        kCaption,
        [&](const std::string& w) {
            run.keys(w, {"F10", "Return"});
        },
        [&](const std::string&) { return run.waitForWindow("  About Quillon", 5s).has_value(); }));
    EXPECT_TRUE(run.pressUntil("  About Quillon", [&](const std::string& about) { run.keys(about, {"Return"}); }));

    // Sized as asked for the page, centred on the main window whatever place was asked.
    run.keys(*window, {"d"});
    EXPECT_EQ(run.waitForReport("dialog 1 "), "dialog 1 702x522") << run.output();
    const auto dialog = run.waitForWindow("  D1");
    ASSERT_TRUE(dialog);
    const auto outer = geometryOf(*window), inner = geometryOf(*dialog);
    EXPECT_LE(std::abs(2 * inner[0] + inner[2] - 2 * outer[0] - outer[2]), 8);  // centres within 4 pixels
    EXPECT_LE(std::abs(2 * inner[1] + inner[3] - 2 * outer[1] - outer[3]), 8);
    // Past thirty-two levels the call returns at once and empty.
    EXPECT_EQ(run.waitForReport("level 32", 180s), "level 32 got []") << run.output();
    EXPECT_EQ(run.waitForReport("level 31", 60s), "level 31 got [back 32]");
    EXPECT_EQ(run.waitForReport("main got", 60s), "main got [back 1]");
    EXPECT_EQ(run.countReports("dialog "), 32u);

    // Message boxes answer with the id of the button pressed, as on Windows.
    const std::vector<std::string> presses = {"alt+y", "alt+n", "Return", "Escape", "Escape"};
    for (std::size_t i = 0; i < presses.size(); ++i) {
        // Pressed again, on the box found afresh, only while this box is unanswered: a box just
        // mapped may drop keys, and a window of the same name may linger a moment.
        bool answered = false;
        for (int attempt = 0; attempt < 10 && !answered; ++attempt) {
            if (const auto box = run.waitForWindow("quillon", 5s))
                run.keys(*box, {presses[i]});
            answered = run.waitForReport("box " + std::to_string(i), 2s).has_value();
        }
        ASSERT_TRUE(answered) << run.output();
    }
    EXPECT_EQ(run.reports("box "), (std::vector<std::string>{"box 0 6", "box 1 7", "box 2 7", "box 3 1", "box 4 2"}));
    // A chooser closed without a choice answers empty.
    EXPECT_TRUE(run.pressUntil(
        kChooser, [&](const std::string& w) { run.keys(w, {"Escape"}); },
        [&](const std::string&) { return run.waitForReport("chosen", 5s).has_value(); }));
    EXPECT_EQ(run.reports("chosen"), std::vector<std::string>{"chosen []"});
    EXPECT_EQ(run.waitForExit(), 0);
}
