#include "audio/waveform_job.h"

#include <chrono>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#include "audio/background_decoder.h"
#include "audio/decoder_duration.h"
#include "audio/song_part.h"
#include "audio/waveform_analysis.h"
#include "jobs/start_job.h"
#include "process/idle_processors.h"
#include "process/run_tool.h"

namespace quillon::audio {

std::vector<std::string> waveformDecoderArguments(const std::filesystem::path& encoder, const std::string& path,
                                                  std::int32_t fromMs)
{
    std::vector<std::string> arguments{encoder.string(), "-nostdin"};
    if (fromMs > 0)
        arguments.insert(arguments.end(), {"-ss", secondsText(fromMs)});
    // Into a pipe the decoder would write each packet at once, a few hundred bytes
    // at a time, and wake the job for every one: ten thousand writes for a
    // four-minute song instead of a hundred full buffers.
    arguments.insert(arguments.end(), {"-i", pathArgument(path), "-vn", "-ac", "1", "-ar", "8000", "-f", "s16le",
                                       "-acodec", "pcm_s16le", "-flush_packets", "0", "pipe:1"});
    return arguments;
}

namespace {

// How often the page gets what has been read so far: often enough to fill the
// picture smoothly, seldom enough that making the text costs the read nothing.
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr std::int64_t kSampleRateKhz = WaveformAnalysis::kSampleRate / 1000;
constexpr std::size_t kBytesPerMs = kSampleRateKhz * sizeof(std::int16_t);
// A shorter song is read by one decoder: starting a second would cost about what
// it saves.
constexpr std::int64_t kSplitFromMs = 60000;
// The second decoder starts this long before the middle and what it makes of that
// stretch is dropped: a decoder's first milliseconds differ from what one that was
// already running makes of them, and from then on the two agree to the sample.
constexpr std::int32_t kLeadInMs = 100;
// How many processors must have been idle on average while the first decoder
// started: with none, a second one would only take turns with what already runs,
// and its own start would make the read slower.
constexpr double kIdleForSecondDecoder = 0.5;

std::int32_t readWaveform(const jobs::JobTicket& ticket, const ToolPaths& tools, const std::string& path, int points,
                          SecondDecoder second)
{
    const std::optional<std::filesystem::path> encoder = locateTool(tools, "ffmpeg");
    if (!encoder)
        return kWaveformUnreadable;

    jobs::JobFields& fields = ticket.fields();
    WaveformAnalysis analysis(points);
    DecoderDuration duration;
    // The first picture goes out as soon as it holds a slice (the length is known by
    // then), the next ones each interval.
    auto lastShown = std::chrono::steady_clock::now();
    bool shown = false;
    const auto show = [&] {
        const auto now = std::chrono::steady_clock::now();
        const bool drawable = duration.ms() && analysis.samples() * points >= *duration.ms() * kSampleRateKhz;
        if ((shown || !drawable) && now - lastShown < kProgressInterval)
            return;
        shown = true;
        lastShown = now;
        fields.wfResponse.set(fields.wfStatus, ticket.generation(),
                              formatWaveform(analysis.progress(duration.ms().value_or(0))));
    };

    // Once the decoder has told the length of a long song, a second one decodes its
    // second half on an idle processor meanwhile, and the first is read up to the
    // middle only.
    const process::IdleProcessors idle;
    std::optional<BackgroundDecoder> secondHalf;
    std::size_t firstHalfBytes = std::numeric_limits<std::size_t>::max();
    std::size_t firstHalfRead = 0;
    const auto splitAtTheMiddle = [&] {
        const std::int64_t middleMs = *duration.ms() / 2;
        const auto middleBytes = static_cast<std::size_t>(middleMs) * kBytesPerMs;
        const bool processorFree =
            second == SecondDecoder::Always || idle.sinceStart().value_or(0) >= kIdleForSecondDecoder;
        if (middleMs > std::numeric_limits<std::int32_t>::max() || firstHalfRead >= middleBytes || !processorFree)
            return;
        try {
            secondHalf.emplace(
                waveformDecoderArguments(*encoder, path, static_cast<std::int32_t>(middleMs) - kLeadInMs),
                kLeadInMs * kBytesPerMs, [ticket] { return ticket.mustStop(); }, fields.waveformDecoders);
            firstHalfBytes = middleBytes;
        } catch (const std::system_error&) {
            // No thread for it: one decoder reads the whole song.
        }
    };
    const auto firstHalfDone = [&] { return firstHalfRead == firstHalfBytes; };

    process::RunningTools::Registration registration;
    const process::ToolOutcome first = process::streamTool(
        waveformDecoderArguments(*encoder, path), [&] { return ticket.mustStop() || firstHalfDone(); },
        [&](const process::ChildProcess& child) { registration = fields.waveformDecoders.add(child.pidfd()); },
        [&](std::string_view bytes) {
            bytes = bytes.substr(0, firstHalfBytes - firstHalfRead);
            firstHalfRead += bytes.size();
            analysis.feed(bytes);
            show();
        },
        [&](std::string_view log) {
            const bool toldBefore = duration.ms().has_value();
            duration.feed(log);
            if (!toldBefore && duration.ms() >= kSplitFromMs)
                splitAtTheMiddle();
        });
    registration.withdraw();

    if (firstHalfDone()) {
        while (const std::optional<std::string> bytes =
                   secondHalf->take(std::chrono::milliseconds(process::kBreakTestIntervalMs))) {
            if (ticket.mustStop())
                return kWaveformBroken;
            analysis.feed(*bytes);
            show();
        }
        const process::ToolOutcome second = secondHalf->outcome();
        if (second.stopped)
            return kWaveformBroken;
        if (!second.started || second.exitStatus != 0)
            return kWaveformUnreadable;
    } else {
        // A song shorter than it was said to be has been read whole by the first decoder.
        if (first.stopped)
            return kWaveformBroken;
        if (!first.started || first.exitStatus != 0)
            return kWaveformUnreadable;
    }
    if (analysis.samples() == 0)
        return kWaveformUnreadable;
    fields.wfResponse.set(fields.wfStatus, ticket.generation(), formatWaveform(analysis.finish()));
    return kWaveformDone;
}

}  // namespace

bool startWaveform(jobs::SharedJobFields fields, const ToolPaths& tools, std::string path, int points,
                   SecondDecoder second)
{
    if (points < WaveformAnalysis::kMinPoints || points > WaveformAnalysis::kMaxPoints)
        return false;
    jobs::JobFields& target = *fields;
    const jobs::JobTicket ticket(std::move(fields), &jobs::JobFields::wfStatus);
    // Running from the start on, so that 0 keeps meaning "never started".
    ticket.store(kWaveformRunning);
    if (jobs::startJob(target, [ticket, tools, path = std::move(path), points, second] {
            ticket.store(readWaveform(ticket, tools, path, points, second));
        }))
        return true;
    ticket.store(kWaveformIdle);
    return false;
}

std::string waveformResponse(const jobs::JobFields& fields)
{
    const jobs::StatusSlot::Snapshot status = fields.wfStatus.snapshot();
    const bool readable = status.value == kWaveformRunning || status.value == kWaveformDone;
    return readable ? fields.wfResponse.get(status.generation) : std::string();
}

int terminateWaveformEncoder(jobs::JobFields& fields) { return fields.waveformDecoders.terminateAll(); }

}  // namespace quillon::audio
