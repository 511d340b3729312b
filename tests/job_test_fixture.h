#pragma once

// Jobs against stand-in tools: each one a shell script in res/ that records its arguments; the job fields the pages
// poll; bounded waits for a job's end.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "audio/tool_paths.h"
#include "jobs/job_fields.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Calls = std::vector<std::vector<std::string>>;
// Writes the header of an MPEG audio frame to a file: a clip as far as the job can tell.
inline const std::string kWriteFrame = "printf '\\377\\373\\220\\0' >";

class JobTest : public ::testing::Test {
protected:
    JobTest()
    {
        fs::create_directories(tools.tempDir);
        writeFile(dir / "in.wav", "RIFF");
        writeFile(dir / "clip.mp3", "ID3");
        standIn("ffmpeg", readFile(kStandIns / "encoder.sh"));
    }
    // A tool in res/ that records each run's arguments in $D/call1, call2, ... (tests/stand_ins/recorded_run.sh);
    // $D is the test's folder, and "await NAME" waits for the file $D/NAME.
    void standIn(const std::string& name, const std::string& body)
    {
        writeScript(tools.resDir / name,
                    "D='" + dir.path().string() + "'\n" + readFile(kStandIns / "recorded_run.sh") + body);
    }
    // The runs recorded so far, forgotten once read.
    Calls takeCalls() const
    {
        Calls all;
        for (fs::path call; fs::exists(call = dir / ("call" + std::to_string(all.size() + 1)));) {
            all.push_back(readArgs(call));
            fs::remove(call);
        }
        return all;
    }
    // A job's end value: the first one at or above firstEnd.
    static std::int32_t end(const jobs::StatusSlot& status, std::int32_t firstEnd = 100)
    {
        EXPECT_TRUE(waitUntil([&] { return status.value() >= firstEnd; }, std::chrono::minutes(2)));
        return status.value();
    }

    TempDir dir;
    // Nothing on the search path: only the stand-ins in res/ are found.
    audio::ToolPaths tools{dir / "res", dir / "res/tmp", ":" + (dir / "bin").string()};
    jobs::SharedJobFields fields = std::make_shared<jobs::JobFields>();
    inline static const fs::path kStandIns = QUILLON_STAND_INS_DIR;
};

}  // namespace quillon::test
