// Jobs started from a page of the real app: the network jobs against the reference
// service, the tool jobs with the real encoder and gain tool, and the encoder
// stopped when the page closes the window.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>


#include "tests/e2e/app_harness.h"
#include "tests/e2e/page_script.h"
#include "tests/e2e/reference_service.h"

using namespace quillon::test;

namespace {

using AppJobsTest = AppTest;


}  // namespace

TEST_F(AppJobsTest, PageGetsASessionAndUploadsTheClipToTheService)
{
    ReferenceService service(app.dir().path() / "clips");
    std::string clip;
    for (int frame = 0; frame < 40; ++frame)  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz: 417-byte frames
        clip += std::string("\xFF\xFB\x90\x64", 4) + std::string(413, static_cast<char>(frame));
    writeFile(app.res() / "tmp" / "clip.mp3", clip);

    app.addPage("selectSong.html", page("var e = window.external, SERVICE = '" + service.authority() + "';" + kPollScript + R"(
        var base = 'http://' + SERVICE + '/cgi-bin/';
        report('request ' + e.DTE_MakeHttpRequest(base + 'dte_session.cgi?phone=%2B420123456789&network=test'));
        poll('DTE_xhStatus', function (v) { return v === 1; }, function () {
            var answer = e.DTE_xhResponse;
            report('session ' + answer.split(' ')[0]);
            var sid = answer.split(' ')[1];
            var clip = decodeURIComponent(location.pathname.replace(/[^/]*$/, '')) + 'tmp/clip.mp3';
            report('upload ' + e.DTE_UploadFile(clip, sid));
            poll('DTE_upStatus', function (v) { return v >= 100; }, function (v) {
                report('uploaded ' + v);
                e.DTE_MakeHttpRequest(base + 'dte_status.cgi?sid=' + sid);
                poll('DTE_xhStatus', function (v) { return v === 1; }, function () {
                    report('status ' + e.DTE_xhResponse.replace(sid, 'SID'));
                });
            });
        });
    )"));

    AppRun run(app, {}, {{"QUILLON_SERVICE", service.authority()}});
    EXPECT_EQ(run.waitForReport("request"), "request true") << run.output();
    EXPECT_EQ(run.waitForReport("session"), "session OK") << run.output();
    EXPECT_EQ(run.waitForReport("upload "), "upload true");
    EXPECT_EQ(run.waitForReport("uploaded"), "uploaded 100") << run.output();
    EXPECT_EQ(run.waitForReport("status"), "status READY http://" + service.authority() + "/clips/SID.mp3");

    std::vector<std::filesystem::path> stored;
    for (const auto& entry : std::filesystem::directory_iterator(app.dir().path() / "clips"))
        stored.push_back(entry.path());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(readFile(stored[0]), clip);
}

TEST_F(AppJobsTest, RealEncoderAndGainToolMakeALevelledClip)
{
    writeFile(app.dir().path() / "tone.wav", toneWav(3.0));
    app.addPage("selectSong.html", page(std::string(kPollScript) + R"(
        var e = window.external;
        var tmp = decodeURIComponent(location.pathname.replace(/[^/]*$/, '')) + 'tmp/';
        var wav = tmp.replace(/app\/res\/tmp\/$/, 'tone.wav');
        report('transcode ' + e.DTE_TranscodeMedia(wav, tmp + 'clip.mp3'));
        poll('DTE_tsStatus', function (v) { return v !== 0; }, function (v) {
            report('transcoded ' + v);
            report('normalize ' + e.DTE_NormalizeAudio(tmp + 'clip.mp3'));
            var seen = [];
            var timer = setInterval(function () {
                var v = e.DTE_norStatus;
                if (seen[seen.length - 1] !== v) seen.push(v);
                if (v >= 100) { clearInterval(timer); report('normalized ' + v); }
            }, 20);
        });
    )"));
    AppRun run(app);
    EXPECT_EQ(run.waitForReport("transcode"), "transcode true") << run.output();
    EXPECT_EQ(run.waitForReport("transcoded", 60s), "transcoded 1") << run.output();
    EXPECT_EQ(run.waitForReport("normalized", 60s), "normalized 100") << run.output();

    const auto probe = runCommand({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                   "stream=codec_name,sample_rate,channels,bit_rate", "-of",
                                   "default=noprint_wrappers=1", (app.res() / "tmp" / "clip.mp3").string()});
    EXPECT_EQ(probe.output, "codec_name=mp3\nsample_rate=44100\nchannels=2\nbit_rate=64000\n");
}

TEST_F(AppJobsTest, NoEncoderOutlivesACancelOrTheAppAndNoHalfClipStays)
{
    // The stand-in writes part of its output, then waits for ever on its input,
    // a named pipe that nobody writes.
    const auto pidFile = app.dir().path() / "encoder.pid";
    const auto input = app.dir().path() / "in.pipe";
    const auto output = app.res() / "tmp" / "clip.mp3";
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    writeScript(app.res() / "ffmpeg", "for last; do :; done\necho part > \"$last\"\necho $$ > '" + pidFile.string() +
                                          ".part'; mv '" + pidFile.string() + ".part' '" + pidFile.string() +
                                          "'\nexec cat \"$2\"\n");
    app.addPage("selectSong.html", page(std::string(kPollScript) + R"(
        var e = window.external;
        report('transcode ' + e.DTE_TranscodeMedia(')" + input.string() + "', '" + output.string() + R"('));
        document.addEventListener('keydown', function (k) {
            if (k.key === 'q') e.DTE_CloseWindow();
            if (k.key === 'c') {
                e.DTE_BreakAsyncOperation();
                poll('DTE_tsStatus', function (v) { return v !== 0; }, function (v) { report('cancelled ' + v); });
            }
        });
    )"));
    enum class End { cancel, closeWindow, closeButton, terminate };
    for (const End end : {End::cancel, End::closeWindow, End::closeButton, End::terminate}) {
        std::filesystem::remove(pidFile);
        AppRun run(app);
        ASSERT_EQ(run.waitForReport("transcode"), "transcode true") << run.output();
        for (int i = 0; i < 200 && !std::filesystem::exists(pidFile); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(std::filesystem::exists(pidFile)) << "the encoder did not start";
        const pid_t encoder = std::stoi(readFile(pidFile));
        const auto window = run.waitForWindow("Quillon - Version 2.1.0");
        ASSERT_TRUE(window);
        switch (end) {
        case End::cancel:
            run.keys(*window, {"c"});
            EXPECT_EQ(run.waitForReport("cancelled"), "cancelled 2");
            break;
        case End::closeWindow: run.keys(*window, {"q"}); break;
        case End::closeButton: {
            const auto geometry = runCommand({"xdotool", "getwindowgeometry", "--shell", *window}).output;
            run.click(*window, std::stoi(geometry.substr(geometry.find("WIDTH=") + 6)) - 28, 26);
            break;
        }
        case End::terminate: run.signal(SIGTERM); break;
        }
        if (end != End::cancel) {
            EXPECT_EQ(run.waitForExit(20s), 0) << static_cast<int>(end);
        }
        bool gone = false;
        for (int i = 0; i < 200 && !gone; ++i) {
            gone = kill(encoder, 0) != 0;
            if (!gone)
                std::this_thread::sleep_for(50ms);
        }
        EXPECT_TRUE(gone) << "the encoder outlived the end " << static_cast<int>(end);
        EXPECT_FALSE(std::filesystem::exists(output)) << static_cast<int>(end);
    }
}
