// CD drives, tracks and the rip as the pages of the real app see them, with disc
// images standing in for drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "tests/cd_image_builder.h"
#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"

using namespace quillon::test;

namespace {

using AppCdTest = AppTest;

// Audio frames that carry a tone, so the encoder has real sound to work on.
std::string toneFrames(int frames)
{
    const std::string wav = toneWav(frames / 75.0 + 1);
    return wav.substr(44, static_cast<std::size_t>(frames) * kImageFrameBytes);
}

}  // namespace

TEST_F(AppCdTest, PageListsTheImageRipsATrackAndTranscodesIt)
{
    const auto images = app.dir().path() / "images";
    std::filesystem::create_directories(images);
    // Track 1: data, track 2: 3 s of audio, track 3: 2 s of audio.
    const auto disc = writeDiscImage(images, "Test Disc Image One", {{300, true}, {225}, {150}});
    writeFile(disc.bin, imageFrames(0, 300) + toneFrames(375));

    app.addPage("selectSong.html", page(R"(
        var e = window.external;
        report('drives ' + e.DTE_GetDrivesInfo());
        report('tracks ' + e.DTE_GetTracksInfo(0));
        report('missing ' + e.DTE_GetTracksInfo(1));
        var tmp = decodeURIComponent(location.pathname.replace(/[^/]*$/, '')) + 'tmp/';
        report('rip ' + e.DTE_GrabAudioDataFromCD('0', '1', tmp + 'track.wav'));
        var seen = [];
        var timer = setInterval(function () {
            var v = e.DTE_ripStatus;
            if (seen[seen.length - 1] !== v) seen.push(v);
            if (v < 100) return;
            clearInterval(timer);
            report('ripped ' + v + ' rising ' + seen.every(function (x, i) { return i === 0 || x > seen[i - 1]; }));
            e.DTE_TranscodeMedia(tmp + 'track.wav', tmp + 'track.mp3');
            var t = setInterval(function () {
                if (e.DTE_tsStatus === 0) return;
                clearInterval(t);
                report('transcoded ' + e.DTE_tsStatus);
            }, 50);
        }, 5);
    )"));
    AppRun run(app, {}, {{"QUILLON_CD_IMAGES", disc.cue.string()}});
    // The drive's name is the image's file name cut to 16 characters.
    EXPECT_EQ(run.waitForReport("drives"), "drives Test Disc Image ") << run.output();
    EXPECT_EQ(run.waitForReport("tracks"), "tracks DATA:::225:::150");
    EXPECT_EQ(run.waitForReport("missing"), "missing ERROR: Invalid Drive ID");
    EXPECT_EQ(run.waitForReport("rip "), "rip true");
    EXPECT_EQ(run.waitForReport("ripped", 60s), "ripped 100 rising true") << run.output();
    EXPECT_EQ(run.waitForReport("transcoded", 60s), "transcoded 1") << run.output();

    const auto probe = runCommand({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,channels", "-of",
                                   "default=noprint_wrappers=1", (app.res() / "tmp" / "track.mp3").string()});
    EXPECT_EQ(probe.output, "codec_name=mp3\nchannels=2\n");
    // The WAV the rip wrote is gone: the transcode clears the temporary WAVs after it.
    EXPECT_FALSE(std::filesystem::exists(app.res() / "tmp" / "track.wav"));
}

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
               {{"QUILLON_CD_IMAGES", disc.cue.string()}, {"QUILLON_CD_IMAGE_DELAY_MS", "2000"},
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
