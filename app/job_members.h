#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "audio/tool_paths.h"
#include "jobs/job_fields.h"

namespace quillon::app {

// The background jobs the pages start and poll (requests, uploads, transcodes,
// levelling, waveforms), and the fields they report through.
class JobMembers {
public:
    JobMembers(const std::filesystem::path& resDir, const std::filesystem::path& tempDir);

    [[nodiscard]] bool makeHttpRequest(const std::string& url);
    [[nodiscard]] std::int32_t httpStatus() const { return fields_->xhStatus.value(); }
    [[nodiscard]] std::string httpResponse() const { return fields_->xhResponse.get(); }
    [[nodiscard]] bool uploadFile(const std::string& file, const std::string& sessionId);
    [[nodiscard]] std::int32_t uploadStatus() const { return fields_->upStatus.value(); }
    [[nodiscard]] bool transcodeMedia(const std::string& input, const std::string& output);
    // One fade length passed is both fades'.
    [[nodiscard]] bool transcodeClip(const std::string& input, const std::string& output, std::int32_t startMs,
                                     std::int32_t lengthMs, std::int32_t fadeInMs,
                                     std::optional<std::int32_t> fadeOutMs, const std::string& kind);
    [[nodiscard]] std::int32_t transcodeStatus() const { return fields_->tsStatus.value(); }
    // Why the last transcode ended with 2: "" unless it did.
    [[nodiscard]] std::string transcodeReason() const;
    [[nodiscard]] bool normalizeAudio(const std::string& file);
    [[nodiscard]] std::int32_t normalizeStatus() const { return fields_->norStatus.value(); }
    // The levelled clip's loudness: "" unless the last normalize job ended with 100.
    [[nodiscard]] std::string normalizedLoudness() const;
    [[nodiscard]] bool readWaveform(const std::string& path, std::int32_t points);
    [[nodiscard]] std::int32_t waveformStatus() const { return fields_->wfStatus.value(); }
    [[nodiscard]] std::string waveformResponse() const;
    // Asks every running job to break off.
    bool breakOff();
    // The app is closing: breaks every job off, then ends the encoders, so that their
    // jobs take the end for a break and remove their half clips.
    void endAll();
    // After the window closed: breaks every job off and stops its tools; true when
    // every job thread has returned within limit.
    [[nodiscard]] bool stop(std::chrono::milliseconds limit);

    [[nodiscard]] const jobs::SharedJobFields& fields() const { return fields_; }

private:
    jobs::SharedJobFields fields_ = std::make_shared<jobs::JobFields>();
    audio::ToolPaths tools_;
};

}  // namespace quillon::app
