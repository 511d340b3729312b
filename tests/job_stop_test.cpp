// Stopping every job when the app ends, each kind held up by a tool or a service
// that would never finish by itself.
#include <gtest/gtest.h>

#include "jobs/http_request_job.h"
#include "jobs/normalize_job.h"
#include "jobs/start_job.h"
#include "jobs/transcode_job.h"
#include "jobs/upload_job.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

using namespace quillon;
using namespace std::chrono_literals;

TEST(StopJobs, EveryKindEndsAndNoToolIsLeft)
{
    test::TempDir dir;
    test::StalledService service;
    // The encoder keeps writing, so a break leaves it to finish by itself; the
    // gain tool is silent, so only a kill ends it.
    std::filesystem::create_directories(dir / "res/tmp");
    for (const auto& [name, body] :
         {std::pair{"ffmpeg", "while :; do echo frame; sleep 0.05; done"}, std::pair{"mp3gain", "exec sleep 300"}})
        test::writeScript(dir / "res" / name, "echo $$ > \"$0.part\"; mv \"$0.part\" \"$0.pid\"\n" + std::string(body));
    test::writeFile(dir / "big.mp3", std::string(16 << 20, 'x'));
    test::writeFile(dir / "in.wav", "RIFF");
    test::writeFile(dir / "clip.mp3", "ID3");
    const jobs::ToolPaths paths{dir / "res", dir / "res/tmp", ""};
    const auto fields = std::make_shared<jobs::JobFields>();
    ASSERT_TRUE(jobs::startTranscode(fields, paths, (dir / "in.wav").string(), (dir / "res/tmp/out.mp3").string()));
    ASSERT_TRUE(jobs::startNormalize(fields, paths, (dir / "clip.mp3").string()));
    const auto host = service_endpoint::parseServiceHost(service.authority());
    ASSERT_TRUE(host);
    ASSERT_TRUE(jobs::startUpload(fields, *host, (dir / "big.mp3").string(), "sid"));
    ASSERT_TRUE(jobs::startHttpRequest(fields, "http://" + service.authority() + "/x", {}));
    std::vector<pid_t> pids;
    for (const char* name : {"ffmpeg.pid", "mp3gain.pid"}) {
        ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(dir / "res" / name); }));
        pids.push_back(test::readPid(dir / "res" / name));
    }
    ASSERT_TRUE(test::waitUntil([&] { return fields->upStatus.value() > 0; }));

    EXPECT_TRUE(jobs::stopJobs(*fields, 10s));
    EXPECT_EQ(fields->tsStatus.value(), jobs::kTranscodeFailed);
    EXPECT_EQ(fields->norStatus.value(), jobs::kNormalizeRemovingTagsFailed);
    EXPECT_EQ(fields->upStatus.value(), jobs::kUploadFailed);
    EXPECT_EQ(fields->xhStatus.value(), 1);
    EXPECT_EQ(fields->xhResponse.get(), "");
    for (const pid_t pid : pids)
        EXPECT_TRUE(test::waitUntil([pid] { return test::isGone(pid); }, 2s)) << pid;
}
