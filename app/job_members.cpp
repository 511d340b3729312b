#include "app/job_members.h"

#include "app/no_client_error.h"
#include "audio/normalize_job.h"
#include "audio/transcode_job.h"
#include "audio/waveform_job.h"
#include "base/clip_kinds.h"
#include "jobs/start_job.h"
#include "network/http_request_job.h"
#include "network/upload_job.h"
#include "service_endpoint/service_host.h"

namespace quillon::app {

JobMembers::JobMembers(const std::filesystem::path& resDir, const std::filesystem::path& tempDir)
    : tools_(audio::ToolPaths::forResDir(resDir, tempDir))
{}

bool JobMembers::makeHttpRequest(const std::string& url)
{
    return network::startHttpRequest(fields_, url, showNoClientError);
}

bool JobMembers::uploadFile(const std::string& file, const std::string& sessionId)
{
    return network::startUpload(fields_, service_endpoint::serviceHost(), file, sessionId);
}

bool JobMembers::transcodeMedia(const std::string& input, const std::string& output)
{
    return audio::startTranscode(fields_, tools_, input, output);
}

bool JobMembers::transcodeClip(const std::string& input, const std::string& output, std::int32_t startMs,
                               std::int32_t lengthMs, std::int32_t fadeInMs, std::optional<std::int32_t> fadeOutMs,
                               const std::string& kind)
{
    const base::ClipKind* known = base::clipKindOf(kind);
    return known && audio::startTranscodeClip(fields_, tools_, input, output,
                                              {startMs, lengthMs, fadeInMs, fadeOutMs.value_or(fadeInMs)}, *known);
}

std::string JobMembers::transcodeReason() const { return audio::transcodeReason(*fields_); }

bool JobMembers::normalizeAudio(const std::string& file) { return audio::startNormalize(fields_, tools_, file); }

std::string JobMembers::normalizedLoudness() const { return audio::normalizedLoudness(*fields_); }

bool JobMembers::readWaveform(const std::string& path, std::int32_t points)
{
    return audio::startWaveform(fields_, tools_, path, points);
}

std::string JobMembers::waveformResponse() const { return audio::waveformResponse(*fields_); }

bool JobMembers::breakOff()
{
    fields_->requestBreak();
    return true;
}

void JobMembers::endAll()
{
    fields_->requestBreak();
    audio::terminateEncoder(*fields_);
    audio::terminateWaveformEncoder(*fields_);
}

bool JobMembers::stop(std::chrono::milliseconds limit) { return jobs::stopJobs(*fields_, limit); }

}  // namespace quillon::app
