#include "audio/transcode_job.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "audio/encoder_end.h"
#include "jobs/job_turn.h"
#include "jobs/private_folder.h"
#include "jobs/start_job.h"
#include "jobs/temp_cleanup.h"
#include "process/run_tool.h"

namespace quillon::audio {

std::vector<std::string> encoderArguments(const std::filesystem::path& encoder, const std::string& input,
                                          const std::string& output, const std::optional<SongPart>& part,
                                          const ClipSound& sound)
{
    std::vector<std::string> argv{encoder.string()};
    if (part)
        std::ranges::move(clipRangeArguments(*part), std::back_inserter(argv));
    argv.insert(argv.end(), {"-i", pathArgument(input)});
    if (part)
        std::ranges::move(clipArguments(*part, sound, std::filesystem::path(input).stem().string()),
                          std::back_inserter(argv));
    // "-ab 64k": a bare "64" would be read as 64 bit/s and silently replaced by
    // the encoder's default rate.
    argv.insert(argv.end(), {"-ab", part ? "192k" : "64k", "-ar", std::to_string(kClipSampleRate), "-ac", "2", "-y",
                             pathArgument(output)});
    return argv;
}

namespace {

TranscodeReason encode(const jobs::JobTicket& ticket, const ToolPaths& tools, const std::string& input,
                       const std::string& output, const std::optional<SongPart>& part)
{
    const std::optional<std::filesystem::path> encoder = locateTool(tools, "ffmpeg");
    EncoderOutput target = openEncoderOutput(input, output);
    if (target.refused != TranscodeReason::None)
        return target.refused;
    // The encoder writes into the file opened and checked here, its descriptor 3,
    // through a link in a folder of our own named like the output, whose extension
    // tells the encoder the format: no name it opens can be changed meanwhile.
    const std::unique_ptr<jobs::PrivateFolder> folder = encoder ? jobs::PrivateFolder::make() : nullptr;
    const std::optional<std::string> written =
        folder ? folder->link(std::filesystem::path(output).filename().string(), jobs::descriptorPath(3))
               : std::nullopt;
    // What this job created goes with it when it ends without running the encoder.
    const auto leave = [&](TranscodeReason reason) {
        if (target.created)
            ::unlink(output.c_str());
        return reason;
    };
    if (!written)
        return leave(TranscodeReason::NoEncoder);

    jobs::JobFields& fields = ticket.fields();
    process::RunningTools::Registration registration;
    const auto mustStop = [&ticket] { return ticket.mustStop(); };
    const auto watch = [&](const process::ChildProcess& child) { registration = fields.encoders.add(child.pidfd()); };
    std::optional<ClipSound> sound = ClipSound{};
    if (part)
        sound = findClipSound(*encoder, input, *part, mustStop, watch);
    if (!sound)
        return leave(TranscodeReason::BrokenOff);
    const process::ToolOutcome outcome =
        process::runTool(encoderArguments(*encoder, input, *written, part, *sound), mustStop, watch, target.file.get());
    // Withdrawn before the status tells the page the job is over: closing the window
    // from then on finds no encoder of this job to stop.
    registration.withdraw();
    if (!outcome.started)
        return leave(TranscodeReason::NoEncoder);
    // Stopped by a break or a newer start, or killed as the app ends (which breaks
    // every job first); a clip the encoder finished before the break is kept. Half a
    // clip is no clip, but a newer start may be writing at the same path by now.
    if (outcome.stopped || (outcome.exitStatus != 0 && ticket.breakRequested())) {
        ticket.whileCurrent([&output] {
            std::error_code ignored;
            std::filesystem::remove(output, ignored);
        });
        return TranscodeReason::BrokenOff;
    }
    return settleEncoderEnd(observeEncoderEnd(outcome.exitStatus, output), output);
}

void runTranscode(const jobs::JobTicket& ticket, const ToolPaths& tools, const std::string& input,
                  const std::string& output, const std::optional<SongPart>& part)
{
    jobs::JobFields& fields = ticket.fields();
    // One transcode at a time: a newer one waits here until this one has stopped its
    // encoder. One overtaken before its turn, or before its first store, leaves the
    // folder and the encoder to the newer job.
    const jobs::JobTurn turn(ticket, fields.transcodeLane);
    if (turn.held() && !ticket.store(kTranscodeRunning))
        return;
    TranscodeReason reason = TranscodeReason::BrokenOff;
    if (turn.held()) {
        // A whole song clears out the earlier results; the clips of parts stay until
        // the app ends, so the user can keep every part made of a song.
        if (!part)
            jobs::removeFilesByExtension(tools.tempDir, ".mp3", {input});
        reason = encode(ticket, tools, input, output, part);
    }
    // The reason is in place before the status that makes the page read it.
    ticket.whileCurrent([&] { fields.tsReason.set(std::string(reasonText(reason))); });
    ticket.store(reason == TranscodeReason::None ? kTranscodeDone : kTranscodeFailed);
    // A job cut off by a newer start leaves the folder to that one, whose input
    // may be a wave file there; a wave file a rip is still writing stays too. A part's
    // song (a CD track's copy) stays for the next part.
    if (!part)
        ticket.whileCurrent([&] {
            fields.ripOutputs.whileMarked([&](std::vector<std::filesystem::path> spared) {
                spared.emplace_back(output);
                jobs::removeFilesByExtension(tools.tempDir, ".wav", spared);
            });
        });
}

bool start(jobs::SharedJobFields fields, const ToolPaths& tools, std::string input, std::string output,
           std::optional<SongPart> part)
{
    jobs::JobFields& target = *fields;
    jobs::JobTicket ticket(std::move(fields), &jobs::JobFields::tsStatus);
    return jobs::startJob(target,
                          [ticket = std::move(ticket), tools, input = std::move(input), output = std::move(output),
                           part] { runTranscode(ticket, tools, input, output, part); });
}

}  // namespace

bool startTranscode(jobs::SharedJobFields fields, const ToolPaths& tools, std::string input, std::string output)
{
    return start(std::move(fields), tools, std::move(input), std::move(output), std::nullopt);
}

bool startTranscodeClip(jobs::SharedJobFields fields, const ToolPaths& tools, std::string input, std::string output,
                        const SongPart& part, const base::ClipKind& kind)
{
    return isValidSongPart(part, kind) && start(std::move(fields), tools, std::move(input), std::move(output), part);
}

std::string transcodeReason(const jobs::JobFields& fields)
{
    if (fields.tsStatus.value() != kTranscodeFailed)
        return {};
    return fields.tsReason.get();
}

int terminateEncoder(jobs::JobFields& fields) { return fields.encoders.terminateAll(); }

}  // namespace quillon::audio
