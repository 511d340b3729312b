// A slow drive listed from a page of the real app, with a disc image standing in for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tests/cd_image_builder.h"
#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

namespace {

using AppCdTest = AppTest;

}  // namespace

TEST_F(AppCdTest, TheWindowKeepsServingItsLoopWhileASlowDriveIsListed)
{
    const auto disc = writeDiscImage(app.dir().path(), "slow", {{300}, {150}});
    app.addPage("selectSong.html", page(R"(
        setTimeout(function () {
            var before = Date.now();
            var text = window.external.DTE_GetTracksInfo(0);
            report('tracks ' + text + ' ' + before + ' ' + Date.now());
        }, 500);
    )"));
    AppRun run(app, {},
               {{"QUILLON_CD_IMAGES", disc.cue.string()},
                {"QUILLON_CD_IMAGE_DELAY_MS", "2000"},
                {"LD_PRELOAD", QUILLON_UI_TICKER}});
    const auto report = run.waitForReport("tracks");
    ASSERT_TRUE(report) << run.output();
    std::istringstream fields(report->substr(std::string("tracks ").size()));
    std::string text;
    long long before = 0, after = 0;
    fields >> text >> before >> after;
    EXPECT_EQ(text, "300:::150");
    EXPECT_GE(after - before, 2000);

    // The UI thread's timer ticks all through the listing: no pause near the drive's two seconds.
    std::vector<long long> ticks{before};
    std::istringstream lines(run.output());
    for (std::string line; std::getline(lines, line);) {
        long long at = 0;
        if (std::sscanf(line.c_str(), "QTICK %lld", &at) == 1 && at > before && at < after)
            ticks.push_back(at);
    }
    ticks.push_back(after);
    long long longestPause = 0;
    for (std::size_t i = 1; i < ticks.size(); ++i)
        longestPause = std::max(longestPause, ticks[i] - ticks[i - 1]);
    EXPECT_GE(ticks.size(), 12u) << run.output();
    EXPECT_LT(longestPause, 1000) << run.output();
}
