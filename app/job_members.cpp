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
    : tools_(jobs::ToolPaths::forResDir(resDir, tempDir))
{}

bool JobMembers::makeHttpRequest(const std::string& url)
{
    return jobs::startHttpRequest(fields_, url, showNoClientError);
}

bool JobMembers::uploadFile(const std::string& file, const std::string& sessionId)
{
    return jobs::startUpload(fields_, service_endpoint::serviceHost(), file, sessionId);
}

bool JobMembers::transcodeMedia(const std::string& input, const std::string& output)
{
    return jobs::startTranscode(fields_, tools_, input, output);
}

bool JobMembers::transcodeClip(const std::string& input, const std::string& output, std::int32_t startMs,
                               std::int32_t lengthMs, std::int32_t fadeInMs, std::optional<std::int32_t> fadeOutMs,
                               const std::string& kind)
{
    const ClipKind* known = clipKindOf(kind);
    return known && jobs::startTranscodeClip(fields_, tools_, input, output,
                                             {startMs, lengthMs, fadeInMs, fadeOutMs.value_or(fadeInMs)}, *known);
}

std::string JobMembers::transcodeReason() const { return jobs::transcodeReason(*fields_); }

bool JobMembers::normalizeAudio(const std::string& file) { return jobs::startNormalize(fields_, tools_, file); }

std::string JobMembers::normalizedLoudness() const { return jobs::normalizedLoudness(*fields_); }

bool JobMembers::readWaveform(const std::string& path, std::int32_t points)
{
    return jobs::startWaveform(fields_, tools_, path, points);
}

std::string JobMembers::waveformResponse() const { return jobs::waveformResponse(*fields_); }

bool JobMembers::breakOff()
{
    fields_->requestBreak();
    return true;
}

void JobMembers::endAll()
{
    fields_->requestBreak();
    jobs::terminateEncoder(*fields_);
    jobs::terminateWaveformEncoder(*fields_);
}

bool JobMembers::stop(std::chrono::milliseconds limit) { return jobs::stopJobs(*fields_, limit); }

}  // namespace quillon::app
