// Closing the app while every kind of job runs: it ends at once and leaves no
// tool behind, whether the job waits for a tool or for a service that stalls.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/process_probe.h"

using namespace quillon::test;

namespace {

using AppEndTest = AppTest;

}  // namespace

TEST_F(AppEndTest, ClosingWhileEveryJobRunsEndsPromptlyAndLeavesNoTool)
{
    StalledService service;
    const auto dir = app.dir().path();
    for (const char* tool : {"ffmpeg", "mp3gain"}) {
        const std::string pidFile = (dir / tool).string() + ".pid";
        writeScript(app.res() / tool,
                    "echo $$ > '" + pidFile + ".part'; mv '" + pidFile + ".part' '" + pidFile + "'\nexec sleep 300\n");
    }
    writeFile(dir / "big.mp3", std::string(16 << 20, 'x'));
    writeFile(dir / "in.wav", "RIFF");
    writeFile(dir / "clip.mp3", "ID3");
    app.addPage("selectSong.html", page(std::string(kPollScript) + R"(
        var e = window.external;
        var tmp = decodeURIComponent(location.pathname.replace(/[^/]*$/, '')) + 'tmp/';
        var outside = tmp.replace(/app\/res\/tmp\/$/, '');
        var service = new URLSearchParams(location.search).get('service');
        report('started ' + [e.DTE_TranscodeMedia(outside + 'in.wav', tmp + 'out.mp3'),
                             e.DTE_NormalizeAudio(outside + 'clip.mp3'),
                             e.DTE_UploadFile(outside + 'big.mp3', 'sid'),
                             e.DTE_MakeHttpRequest('http://' + service + '/x')].join());
        poll('DTE_upStatus', function (v) { return v > 0; }, function (v) { report('uploading ' + (v < 100)); });
        document.addEventListener('keydown', function (ev) {
            if (ev.key === 'q') { report('closing ' + e.DTE_xhStatus); e.DTE_CloseWindow(); }
        });
    )"));
    AppRun run(app, {}, {{"QUILLON_SERVICE", service.authority()}});
    ASSERT_EQ(run.waitForReport("started"), "started true,true,true,true") << run.output();
    std::vector<pid_t> tools;
    for (const char* tool : {"ffmpeg.pid", "mp3gain.pid"}) {
        ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(dir / tool); })) << tool;
        tools.push_back(std::stoi(readFile(dir / tool)));
    }
    ASSERT_EQ(run.waitForReport("uploading"), "uploading true") << run.output();

    const auto window = run.waitForWindow("Quillon - Version 2.1.0");
    ASSERT_TRUE(window);
    run.keys(*window, {"q"});
    EXPECT_EQ(run.waitForReport("closing"), "closing 0");
    const auto closed = std::chrono::steady_clock::now();
    EXPECT_EQ(run.waitForExit(20s), 0) << run.output();
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 5s);
    for (const pid_t tool : tools)
        EXPECT_TRUE(waitUntil([tool] { return isGone(tool); }, 2s)) << "a tool outlived the app: " << tool;
}
