// Modal HTML dialogs, message boxes and the file chooser in the real app.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

namespace {

constexpr const char* kCaption = "Quillon - Version 2.1.0";

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry geometryOf(const std::string& window)
{
    const auto shell = runCommand({"xdotool", "getwindowgeometry", "--shell", window}).output;
    auto field = [&](const char* name) {
        const auto at = shell.find(std::string(name) + "=");
        return at == std::string::npos ? -1 : std::stoi(shell.substr(at + std::string(name).size() + 1));
    };
    return {field("X"), field("Y"), field("WIDTH"), field("HEIGHT")};
}

using DialogTest = AppTest;

}  // namespace

TEST_F(DialogTest, DialogIsSizedFromTheMainFrameCentredNestsAndReturnsItsValue)
{
    app.addPage("selectSong.html", page(R"(
        report('up');
        setTimeout(function () {
            var r = window.external.DTE_ShowModalDialog('Settings', 'dlg.html', 'the argument', 100, 100, 700, 520);
            report('returned ' + r);
        }, 300);
    )"));
    app.addPage("dlg.html", page(R"(
        report('dialog ' + window.innerWidth + 'x' + window.innerHeight + ' arg=' + window.external.DTE_GetDialogArgument());
        setTimeout(function () {
            var inner = window.external.DTE_ShowModalDialog('Inner', 'inner.html', 'i', 0, 0, 300, 200);
            report('inner returned ' + inner);
            window.external.DTE_SetDialogRetValue('chosen');
            window.external.DTE_CloseWindow();
        }, 1500);
    )"));
    app.addPage("inner.html",
                page("window.external.DTE_SetDialogRetValue('inner done'); window.external.DTE_CloseWindow();"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("dialog"), "dialog 702x522 arg=the argument") << run.output();
    const auto mainWindow = run.waitForWindow(kCaption);
    const auto dialog = run.waitForWindow("  Settings");
    ASSERT_TRUE(mainWindow && dialog);
    const Geometry outer = geometryOf(*mainWindow), inner = geometryOf(*dialog);
    EXPECT_NEAR(inner.x + inner.width / 2, outer.x + outer.width / 2, 4);
    EXPECT_NEAR(inner.y + inner.height / 2, outer.y + outer.height / 2, 4);
    EXPECT_NE(inner.x, 100);
    EXPECT_EQ(run.waitForReport("inner returned"), "inner returned inner done");
    EXPECT_EQ(run.waitForReport("returned"), "returned chosen");
    EXPECT_TRUE(run.running());
}

TEST_F(DialogTest, MessageBoxReturnsTheWindowsIdOfThePressedButton)
{
    app.addPage("selectSong.html", page(R"(
        var styles = [0x24, 0x24, 0x124, 0, 3];
        var i = 0;
        function next() {
            if (i === styles.length) { report('all done'); return; }
            report('box ' + i + ' ' + window.external.DTE_MessageBox('Question ' + i + '?', styles[i]));
            i++;
            setTimeout(next, 100);
        }
        setTimeout(next, 300);
    )"));
    AppRun run(app);
    const std::vector<std::string> presses = {"alt+y", "alt+n", "Return", "Escape", "Escape"};
    for (std::size_t i = 0; i < presses.size(); ++i) {
        const auto box = run.waitForWindow("quillon");
        ASSERT_TRUE(box) << "no message box " << i;
        run.keys(*box, {presses[i]});
        ASSERT_TRUE(run.waitForReport("box " + std::to_string(i))) << run.output();
    }
    ASSERT_TRUE(run.waitForReport("all done"));
    std::vector<std::string> answers;
    for (const auto& report : run.reports())
        answers.push_back(report);
    EXPECT_EQ(answers, (std::vector<std::string>{"box 0 6", "box 1 7", "box 2 7", "box 3 1", "box 4 2", "all done"}));
}

TEST_F(DialogTest, FileChooserReturnsTheChosenPathOrNothing)
{
    const auto chosen = app.dir().path() / "My Tune.MP3";
    writeFile(chosen, "ID3");
    app.addPage("selectSong.html", page(R"(
        document.addEventListener('keydown', function (e) {
            if (e.key === 's') report('chosen [' + window.external.DTE_SelectMediaFile() + ']');
        });
        report('main up');
    )"));
    AppRun run(app);
    ASSERT_TRUE(run.waitForReport("main up")) << run.output();
    const auto mainWindow = run.waitForWindow(kCaption);
    ASSERT_TRUE(mainWindow);
    const std::string title = "Select audio file to use on mobile phone as ringtone";

    run.keys(*mainWindow, {"s"});
    auto chooser = run.waitForWindow(title);
    ASSERT_TRUE(chooser);
    // A chooser that has only just been mapped may drop the first keys: type the
    // location again until it is taken.
    std::optional<std::string> report;
    for (int attempt = 0; attempt < 3 && !report; ++attempt) {
        run.keys(*chooser, {"ctrl+l"});
        run.type(*chooser, chosen.string());
        run.keys(*chooser, {"Return"});
        report = run.waitForReport("chosen", 5s);
    }
    EXPECT_EQ(report, "chosen [" + chosen.string() + "]") << run.output();

    run.keys(*mainWindow, {"s"});
    chooser = run.waitForWindow(title);
    ASSERT_TRUE(chooser);
    run.keys(*chooser, {"Escape"});
    ASSERT_TRUE(run.waitForReport("chosen []"));
}
