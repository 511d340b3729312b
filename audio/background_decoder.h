#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "process/run_tool.h"
#include "process/running_tools.h"

namespace quillon::audio {

// A decoder run on a thread of its own while the job reads another one, its
// output kept until the job takes it: up to kMaxKept bytes, beyond which the
// decoder waits. It is among decoders from its start to its end, so the window's
// close kills it as well, and it is killed once stopRequested answers true.
class BackgroundDecoder {
public:
    // About nine minutes of the waveform's PCM.
    static constexpr std::size_t kMaxKept = std::size_t{8} << 20;

    // argv as for streamTool; the first skipBytes of the output are dropped.
    BackgroundDecoder(std::vector<std::string> argv, std::size_t skipBytes, std::function<bool()> stopRequested,
                      process::RunningTools& decoders);
    // Kills the decoder if it still runs and waits for its thread.
    ~BackgroundDecoder();
    BackgroundDecoder(const BackgroundDecoder&) = delete;
    BackgroundDecoder& operator=(const BackgroundDecoder&) = delete;

    // The output that came since the last take, waiting up to wait for some ("" when
    // none came); nullopt once the output has ended and all of it has been taken.
    [[nodiscard]] std::optional<std::string> take(std::chrono::milliseconds wait);
    // How the decoder ended; valid once take has answered nullopt.
    [[nodiscard]] process::ToolOutcome outcome() const;

private:
    void run(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
             process::RunningTools& decoders);
    void keep(std::string_view bytes, const std::function<bool()>& stopRequested);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string kept_;
    std::size_t skip_;
    bool abandoned_ = false;
    bool ended_ = false;
    process::ToolOutcome outcome_;
    std::thread thread_;  // last, so that it starts once everything it uses is made
};

}  // namespace quillon::audio
