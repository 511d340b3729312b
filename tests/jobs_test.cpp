// What every job shares: the stop at exit and the break, results that land only for their own start, and the
// temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "audio/normalize_job.h"
#include "audio/transcode_job.h"
#include "audio/waveform_job.h"
#include "jobs/start_job.h"
#include "jobs/temp_cleanup.h"
#include "jobs/temp_folder.h"
#include "network/http_request_job.h"
#include "network/upload_job.h"
#include "tests/job_test_fixture.h"

using namespace quillon::audio;
using namespace quillon::base;
using namespace quillon::jobs;
using namespace quillon::network;
using namespace quillon::test;

namespace {

TEST_F(JobTest, TheStopAtExitOrABreakLeavesNoTool)
{
    StalledService service;
    // The encoder keeps writing, so a break leaves it to finish by itself; the gain
    // tool is silent, so only a kill ends it. The waveform is read at once.
    standIn("ffmpeg", "[ \"$1\" = -nostdin ] && exec head -c 16000 /dev/zero\necho $$ > \"$D/ffmpeg.pid\"\n"
                      "while :; do echo frame; sleep 0.05; done\n");
    standIn("mp3gain", "echo $$ > \"$D/mp3gain.pid\"\nexec sleep 300\n");
    writeFile(dir / "big.mp3", std::string(16 << 20, 'x'));
    const auto host = quillon::service_endpoint::parseServiceHost(service.authority());
    ASSERT_TRUE(host);
    const auto ends = [&] {
        return std::tuple(fields->tsStatus.value(), fields->norStatus.value(), fields->upStatus.value(),
                          fields->xhStatus.value(), fields->xhResponse.get());
    };
    for (const bool atExit : {true, false}) {
        for (const char* tool : {"ffmpeg.pid", "mp3gain.pid"})
            fs::remove(dir / tool);
        ASSERT_TRUE(startTranscode(fields, tools, (dir / "in.wav").string(), (tools.tempDir / "out.mp3").string()));
        ASSERT_TRUE(startNormalize(fields, tools, (dir / "clip.mp3").string()));
        ASSERT_TRUE(startUpload(fields, *host, (dir / "big.mp3").string(), "sid"));
        ASSERT_TRUE(startHttpRequest(fields, "http://" + service.authority() + "/x", {}));
        ASSERT_TRUE(waitUntil([&] {
            return readPid(dir / "ffmpeg.pid") && readPid(dir / "mp3gain.pid") && fields->upStatus.value() > 0;
        }));
        if (atExit) {
            EXPECT_TRUE(stopJobs(*fields, 10s));
        } else {
            // "Use it instead": the break, and at once the next song's waveform.
            fields->requestBreak();
            ASSERT_TRUE(startWaveform(fields, tools, "next.wav", 16));
            EXPECT_EQ(end(fields->wfStatus), kWaveformDone);
        }
        const auto broken = std::tuple(kTranscodeFailed, kNormalizeRemovingTagsFailed, kUploadFailed, 1, std::string());
        waitUntil([&] { return ends() == broken; }, 10s);
        EXPECT_EQ(ends(), broken) << atExit;
        for (const char* tool : {"ffmpeg.pid", "mp3gain.pid"})
            EXPECT_TRUE(waitUntil([&] { return isGone(readPid(dir / tool)); }, 2s)) << tool << atExit;
    }
}

TEST(JobFields, AResultOfAStartCutOffNeverLands)
{
    JobFields fields;
    const std::uint32_t older = fields.wfStatus.restart(), newer = fields.wfStatus.restart();
    EXPECT_TRUE(fields.wfResponse.set(fields.wfStatus, newer, "new"));
    EXPECT_FALSE(fields.wfResponse.set(fields.wfStatus, older, "old"));
    ASSERT_TRUE(fields.wfStatus.store(newer, kWaveformDone));
    EXPECT_EQ(waveformResponse(fields), "new");
}

// The last resort is a folder of the copy's own in the system's temporary folder, removed at its end.
TEST(TempFolder, IsResTmpWhenWritableElseAPrivateCacheFolderNeverThroughALink)
{
    enum Setup { AppTmp, Nothing, OpenCacheFolder, CacheFolderIsALink, ForeignCacheFolder };
    // The folder used, relative to the test's folder; "": one of the system's temporary folder.
    const std::pair<Setup, std::string> cases[] = {{AppTmp, "app/res/tmp"},
                                                   {Nothing, "cache/quillon/tmp"},
                                                   {OpenCacheFolder, "cache/quillon/tmp"},
                                                   {CacheFolderIsALink, ""},
                                                   {ForeignCacheFolder, ""}};
    for (const auto& [setup, expected] : cases) {
        if (setup == ForeignCacheFolder && ::geteuid() != 0)
            GTEST_SKIP() << "giving a folder to another user takes root";
        TempDir dir;
        const fs::path cache = dir / "cache/quillon";
        fs::create_directories(setup == AppTmp ? dir / "app/res/tmp" : cache);
        if (setup == OpenCacheFolder && fs::create_directory(cache / "tmp"))
            fs::permissions(cache / "tmp", fs::perms::all);
        if (setup == CacheFolderIsALink)
            fs::create_directory_symlink(dir.path(), cache / "tmp");
        if (setup == ForeignCacheFolder) {
            fs::permissions(cache, fs::perms::all);
            ASSERT_EQ(::chown(cache.c_str(), 4321, 4321), 0);
        }
        writeFile(dir / "song.mp3", "music");
        removeFilesByExtension(cache / "tmp", ".mp3", {});
        EXPECT_EQ(readFile(dir / "song.mp3"), "music") << setup;
        fs::path used;
        struct stat info {};
        {
            const TempFolder folder(dir / "app/res/tmp", dir / "cache", dir.path());
            used = folder.path();
            ASSERT_EQ(::lstat(used.c_str(), &info), 0) << setup;
        }
        EXPECT_EQ(expected.empty() ? used.filename().string().substr(0, 8) : used.string(),
                  expected.empty() ? "quillon-" : (dir / expected).string());
        EXPECT_EQ(fs::exists(used), !expected.empty()) << setup;
        EXPECT_TRUE(S_ISDIR(info.st_mode) && (setup == AppTmp || (info.st_mode & 07777) == 0700)) << setup;
    }
}

TEST(TempFolder, ASecondCopyWorksInAFolderOfItsOwnThatOnlyItsEndRemoves)
{
    TempDir dir;
    const fs::path shared = dir / "res/tmp";
    fs::create_directories(shared / "copy-killed");  // left by a copy that was killed
    std::optional<TempFolder> first(std::in_place, shared, dir / "cache", dir.path());
    EXPECT_EQ(first->path(), shared);
    EXPECT_FALSE(fs::exists(shared / "copy-killed"));
    std::optional<TempFolder> second(std::in_place, shared, dir / "cache", dir.path());
    const fs::path own = second->path();
    EXPECT_EQ(own.parent_path(), shared);
    EXPECT_TRUE(own.filename().string().starts_with("copy-"));
    // The first copy's clips go at its end; the second copy still runs, so the next
    // copy to hold the shared folder leaves its folder too.
    writeFile(shared / "clip.mp3", "ID3");
    first.reset();
    EXPECT_FALSE(fs::exists(shared / "clip.mp3"));
    const TempFolder third(shared, dir / "cache", dir.path());
    EXPECT_EQ(third.path(), shared);
    EXPECT_TRUE(fs::is_directory(own));
    second.reset();
    EXPECT_FALSE(fs::exists(own));
}

}  // namespace
