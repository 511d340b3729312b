// Load on the real app: every job kind started, polled and broken sixty times in quick
// succession while a second page polls. What the app holds (descriptors, threads,
// children, memory) stays flat.
#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/cd_image_builder.h"
#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/reliability_support.h"
#include "tests/process_probe.h"

using namespace quillon::test;

namespace {

class LoadTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        if (IsSkipped())
            return;
        const int port = server.bind_to_any_port("127.0.0.1");
        server.Get("/get",
                   [](const httplib::Request&, httplib::Response& res) { res.set_content("answer", "text/plain"); });
        server.Post("/cgi-bin/dte_upload2.cgi",
                    [](const httplib::Request&, httplib::Response& res) { res.set_content("OK", "text/plain"); });
        serving = std::thread([this] { server.listen_after_bind(); });
        host = "127.0.0.1:" + std::to_string(port);
    }
    void TearDown() override
    {
        server.stop();
        if (serving.joinable())
            serving.join();
    }

    // Waits until the app has no children but its page processes.
    static bool settled(pid_t pid)
    {
        return waitUntil(
            [&] {
                for (const auto& child : childrenOf(pid)) {
                    if (child.name.rfind("WebKit", 0) != 0)
                        return false;
                }
                return true;
            },
            60s);
    }

    httplib::Server server;
    std::thread serving;
    std::string host;
};

void expectFlat(const Usage& before, const Usage& after)
{
    EXPECT_LE(after.descriptors, before.descriptors + 8) << before.descriptors << " -> " << after.descriptors;
    EXPECT_LE(after.threads, before.threads + 4) << before.threads << " -> " << after.threads;
    EXPECT_LE(after.children, before.children) << before.children << " -> " << after.children;
    EXPECT_EQ(after.zombies, 0u);
    EXPECT_LE(after.residentKb, before.residentKb + std::size_t{64} * 1024)
        << before.residentKb << " -> " << after.residentKb;
}

}  // namespace

TEST_F(LoadTest, StartsPollsAndBreaksOfEveryJobWhileASecondPagePollsLeaveUsageFlat)
{
    const auto image = writeDiscImage(app.dir().path(), "disc", {{150}, {150}});
    writeScript(app.res() / "ffmpeg", "#!/bin/sh\nsleep 0.02\nexit 0\n");
    writeScript(app.res() / "mp3gain", "#!/bin/sh\nexit 0\n");
    const auto clip = app.dir().path() / "clip.mp3";
    writeFile(clip, std::string(20000, 'c'));
    const std::string dir = app.dir().path().string();
    app.addPage("poller.html", page(R"(
        var e = window.external, polls = 0;
        report('poller ' + typeof e.DTE_tsStatus);
        setInterval(function () {
            for (var k = 0; k < 10; k++, polls++)
                void (e.DTE_xhStatus + e.DTE_tsStatus + e.DTE_upStatus + e.DTE_ripStatus + e.DTE_norStatus + e.DTE_xhResponse);
            if (polls % 500 == 0) report('polled ' + polls);
        }, 1);
    )"));
    app.addPage("selectSong.html",
                page("var DIR = '" + dir + "', CLIP = '" + clip.string() + "', HOST = '" + host + "';" + R"(
        var e = window.external, round = 0, refused = 0;
        var drive = String(e.DTE_GetDrivesInfo().split(':::').length - 1);
        function one() {
            var started = [e.DTE_MakeHttpRequest('http://' + HOST + '/get'),
                           e.DTE_TranscodeMedia(DIR + '/in' + (round % 3) + '.wav', DIR + '/out' + (round % 3) + '.mp3'),
                           e.DTE_UploadFile(CLIP, 'sid' + round),
                           e.DTE_GrabAudioDataFromCD(drive, '1', DIR + '/rip' + (round % 3) + '.wav'),
                           e.DTE_NormalizeAudio(DIR + '/out' + (round % 3) + '.mp3')];
            started.forEach(function (s) { if (!s) refused++; });
            for (var p = 0; p < 5; p++)
                void (e.DTE_xhStatus + e.DTE_tsStatus + e.DTE_upStatus + e.DTE_ripStatus + e.DTE_norStatus);
            e.DTE_BreakAsyncOperation();
            round++;
            if (round == 10) report('warm');
                        if (round < 60) setTimeout(one, 2); else report('done ' + refused);
        }
        var frame = document.createElement('iframe');
        frame.src = 'poller.html';
        document.body.appendChild(frame);
        setTimeout(one, 500);
    )"));
    AppRun run(app, {}, {{"QUILLON_SERVICE", host}, {"QUILLON_CD_IMAGES", image.cue.string()}});
    ASSERT_TRUE(run.waitForReport("warm", 120s)) << run.output().substr(0, 3000);
    const auto pid = appProcess(app);
    ASSERT_TRUE(pid);
    const Usage before = usageOf(*pid);
    ASSERT_TRUE(run.waitForReport("done", 600s)) << run.output().substr(0, 3000);
    EXPECT_TRUE(run.waitForReport("polled")) << "the second page did not poll alongside";
    ASSERT_TRUE(settled(*pid));
    ASSERT_TRUE(waitUntil([&] { return usageOf(*pid).threads <= before.threads + 4; }, 60s));
    expectFlat(before, usageOf(*pid));
    EXPECT_TRUE(run.running());
}
