// Dialogs opened from dialogs: past the depth limit the call returns at once.
#include <gtest/gtest.h>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

using DialogNestingTest = AppTest;

TEST_F(DialogNestingTest, TheThirtyThirdNestedDialogIsRefusedWithAnEmptyResult)
{
    app.addPage("selectSong.html", page(R"(
        setTimeout(function () {
            report('main got [' + window.external.DTE_ShowModalDialog('D', 'dlg.html', '1', 0, 0, 200, 100) + ']');
        }, 300);
    )"));
    app.addPage("dlg.html", page(R"(
        var depth = Number(window.external.DTE_GetDialogArgument());
        setTimeout(function () {
            var got = window.external.DTE_ShowModalDialog('D', 'dlg.html', String(depth + 1), 0, 0, 200, 100);
            report('level ' + depth + ' got [' + got + ']');
            window.external.DTE_SetDialogRetValue('back ' + depth);
            window.external.DTE_CloseWindow();
        }, 50);
    )"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("level 32", 180s), "level 32 got []") << run.output();
    EXPECT_EQ(run.waitForReport("level 31", 60s), "level 31 got [back 32]");
    EXPECT_EQ(run.waitForReport("main got", 60s), "main got [back 1]");
    EXPECT_TRUE(run.running());
}
