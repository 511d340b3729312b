// The jobs' throughput beside the tool that does the same work alone: the rip job
// against reading the image with cat, the upload job against curl, the transcode
// job against ffmpeg with the same arguments, the waveform job (with its three
// suggested parts) against ffmpeg decoding to the same PCM, its first picture
// against its whole read, and the clip of a part against the whole-song
// transcode and against ffmpeg measuring the part and encoding it with the
// clip's arguments. Every job run must end
// with its success status and every upload must reach the sink whole, or the
// benchmark stops with an error rather than print a figure.
//
// Usage: bench_jobs [rip|upload|transcode|waveform|clip]
#include <httplib.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "audio/song_part.h"
#include "audio/tool_paths.h"
#include "audio/transcode_job.h"
#include "audio/waveform_job.h"
#include "bench/bench_report.h"
#include "bench/spawned_process.h"
#include "cd/libcdio_access.h"
#include "cd/rip_job.h"
#include "cd/wav_header.h"
#include "jobs/job_fields.h"
#include "network/upload_job.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace quillon;
using namespace quillon::bench;

namespace {

constexpr int kRipRuns = 5;
constexpr int kUploadRuns = 5;
constexpr int kTranscodeRuns = 5;
constexpr int kTrackFrames = 6 * 60 * 75;  // a six-minute track
constexpr int kTailFrames = 75;            // a second track, so the disc is no single-track one
constexpr std::uint64_t kUploadBytes = 200ull * 1000 * 1000;
constexpr int kWavSeconds = 180;
constexpr int kWaveformRuns = 5;
constexpr int kClipRuns = 7;
constexpr int kSongSeconds = 240;
constexpr double kMega = 1e6;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr create(const fs::path& path)
{
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw std::runtime_error("cannot create " + path.string());
    return file;
}

void writeOrThrow(std::FILE* file, const std::vector<std::int16_t>& samples)
{
    if (std::fwrite(samples.data(), sizeof(std::int16_t), samples.size(), file) != samples.size())
        throw std::runtime_error("cannot write a generated file");
}

// count stereo frames of music-like PCM (two drifting tones and a little noise),
// so that the encoder has real work to do.
void writePcm(std::FILE* file, std::uint64_t frames)
{
    std::vector<std::int16_t> block;
    std::uint32_t noise = 12345;
    for (std::uint64_t done = 0; done < frames;) {
        const std::uint64_t n = std::min<std::uint64_t>(frames - done, 44100);
        block.clear();
        for (std::uint64_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i) / 44100;
            noise = noise * 1664525u + 1013904223u;
            const double jitter = static_cast<double>(noise >> 20) / 4096.0 - 0.5;
            const double left = 0.4 * std::sin(2 * M_PI * (220 + 20 * std::sin(t)) * t) + 0.05 * jitter;
            const double right = 0.4 * std::sin(2 * M_PI * (330 + 15 * std::cos(t)) * t) + 0.05 * jitter;
            block.push_back(static_cast<std::int16_t>(left * 32767));
            block.push_back(static_cast<std::int16_t>(right * 32767));
        }
        writeOrThrow(file, block);
        done += n;
    }
}

std::string cueTime(int block)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", block / (75 * 60), block / 75 % 60, block % 75);
    return text;
}

// A .bin of raw frames with a .cue naming two audio tracks; returns the .cue.
fs::path writeDiscImage(const fs::path& dir)
{
    const fs::path bin = dir / "disc.bin";
    writePcm(create(bin).get(), static_cast<std::uint64_t>(kTrackFrames + kTailFrames) * cd::kFrameBytes / 4);
    fs::path cue = dir / "disc.cue";
    const std::string text = "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                             "  TRACK 02 AUDIO\n    INDEX 01 " +
                             cueTime(kTrackFrames) + "\n";
    FilePtr file = create(cue);
    if (std::fputs(text.c_str(), file.get()) < 0)
        throw std::runtime_error("cannot write the cue sheet");
    return cue;
}

// Polls a job status until done says it has ended; returns the seconds since start.
// Every poll wakes this process, which then competes with the tool for the CPU on
// a loaded machine: jobs that last seconds are polled every 2 ms (still far finer
// than a page polls), which adds at most 0.2% to what they measure.
double pollUntil(std::chrono::steady_clock::time_point start, const std::function<bool()>& done,
                 std::chrono::microseconds interval = 200us)
{
    const auto deadline = start + 10min;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("a job did not end");
        std::this_thread::sleep_for(interval);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void prewarm(const fs::path& file) { (void)timedRun({"cat", file.string()}); }

// Runs both sides of one comparison, taking turns at going first, so that a
// machine that gets busier or quieter during the run weighs on both alike.
void inTurns(int run, const std::function<void()>& job, const std::function<void()>& reference)
{
    if (run % 2 == 0) {
        job();
        reference();
    } else {
        reference();
        job();
    }
}

void benchRip(const test::TempDir& dir)
{
    const fs::path cue = writeDiscImage(dir.path());
    const fs::path bin = dir / "disc.bin";
    const std::shared_ptr<cd::CdAccess> access = cd::makeLibcdioAccess({false, {cue.string()}});
    const fs::path wav = dir / "track.wav";
    const fs::path copy = dir / "copy.bin";
    std::vector<double> ripSeconds, catSeconds, copySeconds;
    const auto ripOnce = [&] {
        prewarm(bin);
        auto fields = std::make_shared<jobs::JobFields>();
        const auto start = std::chrono::steady_clock::now();
        if (!cd::startRip(fields, access, "0", "0", wav.string()))
            throw std::runtime_error("the rip job did not start");
        ripSeconds.push_back(pollUntil(start, [&] { return fields->ripStatus.value() >= 100; }));
        if (fields->ripStatus.value() != base::kRipDone)
            throw std::runtime_error("the rip job ended with " + std::to_string(fields->ripStatus.value()));
        const std::uint64_t expected = 44 + static_cast<std::uint64_t>(kTrackFrames) * cd::kFrameBytes;
        if (fs::file_size(wav) != expected)
            throw std::runtime_error("the ripped file has the wrong size");
        fs::remove(wav);
    };
    const auto readOnce = [&] {
        prewarm(bin);
        catSeconds.push_back(timedRun({"cat", bin.string()}));
        // Reading and writing the same bytes in blocks, as "cat image.bin > copy" does.
        prewarm(bin);
        copySeconds.push_back(timedRun({"dd", "if=" + bin.string(), "of=" + copy.string(), "bs=128K", "status=none"}));
        fs::remove(copy);
    };
    for (int run = 0; run < kRipRuns; ++run)
        inTurns(run, ripOnce, readOnce);
    const double trackMB = static_cast<double>(kTrackFrames) * cd::kFrameBytes / kMega;
    const double binMB = static_cast<double>(fs::file_size(bin)) / kMega;
    const Summary rip = summarize(rates(trackMB, ripSeconds));
    const Summary cat = summarize(rates(binMB, catSeconds));
    printRow({"3 rip",
              {"rip job, 6 min track", rip},
              Figure{"cat image.bin >/dev/null", cat},
              "MB/s",
              ">= 0.8x cat",
              rip.median >= 0.8 * cat.median});
    printRow({"3 rip",
              {"rip job, 6 min track", rip},
              Figure{"read+write copy (dd bs=128K)", summarize(rates(binMB, copySeconds))},
              "MB/s",
              "",
              {}});
}

// Takes uploads on 127.0.0.1 and throws their bodies away, counting the bytes.
class UploadSink {
public:
    UploadSink()
    {
        server_.Post("/cgi-bin/dte_upload2.cgi",
                     [this](const httplib::Request&, httplib::Response& response, const httplib::ContentReader& read) {
                         std::uint64_t bytes = 0;
                         read([&bytes](const char*, std::size_t length) {
                             bytes += length;
                             return true;
                         });
                         received_ = bytes;
                         response.set_content("OK", "text/plain");
                     });
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            throw std::runtime_error("the upload sink cannot listen");
        // The socket listens from the bind on, so a client that connects before
        // the accept loop runs waits in the backlog rather than failing.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~UploadSink()
    {
        server_.stop();
        thread_.join();
    }
    UploadSink(const UploadSink&) = delete;
    UploadSink& operator=(const UploadSink&) = delete;

    [[nodiscard]] int port() const { return port_; }
    // The body size of the last upload, then forgets it.
    std::uint64_t takeReceived() { return received_.exchange(0); }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<std::uint64_t> received_{0};
};

void writeUploadFile(const fs::path& path)
{
    FilePtr file = create(path);
    std::vector<std::int16_t> block(std::size_t{512} * 1024);
    std::uint32_t value = 1;
    for (std::int16_t& sample : block) {
        value = value * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>(value >> 16);
    }
    const std::uint64_t blockBytes = block.size() * sizeof(std::int16_t);
    for (std::uint64_t done = 0; done < kUploadBytes; done += blockBytes)
        writeOrThrow(file.get(), block);
    if (::truncate(path.c_str(), static_cast<off_t>(kUploadBytes)) != 0)
        throw std::runtime_error("cannot size the upload file");
}

void benchUpload(const test::TempDir& dir)
{
    const fs::path file = dir / "clip.mp3";
    writeUploadFile(file);
    UploadSink sink;
    const service_endpoint::ServiceHost host{"127.0.0.1", sink.port()};
    const std::string url = "http://" + host.authority() + network::uploadTarget("bench");
    const std::string curlData = std::string("@").append(file.string());
    std::vector<double> jobSeconds, curlSeconds;
    const auto jobOnce = [&] {
        prewarm(file);
        auto fields = std::make_shared<jobs::JobFields>();
        const auto start = std::chrono::steady_clock::now();
        if (!network::startUpload(fields, host, file.string(), "bench"))
            throw std::runtime_error("the upload job did not start");
        jobSeconds.push_back(pollUntil(start, [&] { return fields->upStatus.value() >= network::kUploadDone; }));
        if (fields->upStatus.value() != network::kUploadDone || sink.takeReceived() != kUploadBytes)
            throw std::runtime_error("the upload job did not deliver the whole file");
    };
    const auto curlOnce = [&] {
        prewarm(file);
        curlSeconds.push_back(
            timedRun({"curl", "-sf", "-o", "/dev/null", "--http1.0", "--data-binary", curlData, url}));
        if (sink.takeReceived() != kUploadBytes)
            throw std::runtime_error("curl did not deliver the whole file");
    };
    for (int run = 0; run < kUploadRuns; ++run)
        inTurns(run, jobOnce, curlOnce);
    const Summary job = summarize(rates(kUploadBytes / kMega, jobSeconds));
    const Summary curl = summarize(rates(kUploadBytes / kMega, curlSeconds));
    printRow({"4 upload 200 MB",
              {"upload job to 127.0.0.1", job},
              Figure{"curl --http1.0 --data-binary", curl},
              "MB/s",
              ">= 0.9x curl",
              job.median >= 0.9 * curl.median});
}

void writeWav(const fs::path& path, int seconds)
{
    FilePtr file = create(path);
    const std::uint64_t frames = static_cast<std::uint64_t>(seconds) * 44100;
    if (!cd::writeWavHeader(file.get(), static_cast<std::uint32_t>(frames * 4)))
        throw std::runtime_error("cannot write the wave header");
    writePcm(file.get(), frames);
}

void benchTranscode(const test::TempDir& dir)
{
    const fs::path input = dir / "song.wav";
    writeWav(input, kWavSeconds);
    const fs::path res = dir / "res";
    fs::create_directories(res / "tmp");
    const audio::ToolPaths tools = audio::ToolPaths::forResDir(res);
    const auto encoder = audio::locateTool(tools, "ffmpeg");
    if (!encoder)
        throw std::runtime_error("ffmpeg is not installed");
    const fs::path jobOutput = dir / "job.mp3";
    const fs::path directOutput = dir / "direct.mp3";
    std::vector<double> jobSeconds, directSeconds;
    const auto jobOnce = [&] {
        prewarm(input);
        auto fields = std::make_shared<jobs::JobFields>();
        const auto start = std::chrono::steady_clock::now();
        if (!audio::startTranscode(fields, tools, input.string(), jobOutput.string()))
            throw std::runtime_error("the transcode job did not start");
        jobSeconds.push_back(pollUntil(start, [&] { return fields->tsStatus.value() != audio::kTranscodeRunning; }));
        if (fields->tsStatus.value() != audio::kTranscodeDone || fs::file_size(jobOutput) == 0)
            throw std::runtime_error("the transcode job failed");
    };
    const auto directOnce = [&] {
        prewarm(input);
        directSeconds.push_back(timedRun(audio::encoderArguments(*encoder, input.string(), directOutput.string())));
    };
    for (int run = 0; run < kTranscodeRuns; ++run)
        inTurns(run, jobOnce, directOnce);
    const Summary job = summarize(jobSeconds);
    const Summary direct = summarize(directSeconds);
    printRow({"5 transcode 3 min WAV",
              {"transcode job", job},
              Figure{"ffmpeg alone measuring, then encoding", direct},
              "s",
              "<= 1.03x ffmpeg",
              job.median <= 1.03 * direct.median});
}

// The encoder and the tool paths the jobs find it by; the song lies outside the
// temp folder, which the transcode job empties of earlier MP3 files.
struct SongSetup {
    audio::ToolPaths tools;
    fs::path encoder;
    fs::path song;
};

// A four-minute 192 kbit/s MP3 of the music-like PCM, made by the encoder itself.
SongSetup makeMp3Song(const test::TempDir& dir)
{
    fs::create_directories(dir / "res" / "tmp");
    SongSetup setup{audio::ToolPaths::forResDir(dir / "res"), {}, dir / "song4.mp3"};
    const auto encoder = audio::locateTool(setup.tools, "ffmpeg");
    if (!encoder)
        throw std::runtime_error("ffmpeg is not installed");
    setup.encoder = *encoder;
    const fs::path wav = dir / "song4.wav";
    writeWav(wav, kSongSeconds);
    (void)timedRun(
        {encoder->string(), "-nostdin", "-v", "error", "-i", wav.string(), "-ab", "192k", "-y", setup.song.string()});
    fs::remove(wav);
    return setup;
}

// The suggested starts of a finished waveform response ("" while it is read).
std::string suggestionField(const std::string& response)
{
    const std::size_t from = response.find(":::");
    return from == std::string::npos ? std::string()
                                     : response.substr(from + 3, response.find(":::", from + 3) - from - 3);
}

void benchWaveform(const SongSetup& setup)
{
    const std::string song = setup.song.string();
    std::vector<double> jobSeconds, firstSeconds, directSeconds;
    const auto jobOnce = [&] {
        prewarm(setup.song);
        auto fields = std::make_shared<jobs::JobFields>();
        const auto start = std::chrono::steady_clock::now();
        if (!audio::startWaveform(fields, setup.tools, song, 1024))
            throw std::runtime_error("the waveform job did not start");
        // The first picture: a response with some peaks of the song's start in it.
        firstSeconds.push_back(pollUntil(
            start,
            [&] {
                const std::string shown = audio::waveformResponse(*fields);
                return fields->wfStatus.value() != audio::kWaveformRunning ||
                       (shown.starts_with("2400") && shown.find("::::::") != std::string::npos &&
                        shown.find("::::::::") == std::string::npos);
            },
            2ms));
        jobSeconds.push_back(pollUntil(
            start, [&] { return fields->wfStatus.value() != audio::kWaveformRunning; }, 2ms));
        const std::string response = audio::waveformResponse(*fields);
        const std::string starts = suggestionField(response);
        if (fields->wfStatus.value() != audio::kWaveformDone || !response.starts_with("2400") ||
            std::ranges::count(starts, ',') != 2)
            throw std::runtime_error("the waveform job failed: " + std::to_string(fields->wfStatus.value()) + " " +
                                     response.substr(0, 40));
    };
    const auto directOnce = [&] {
        prewarm(setup.song);
        directSeconds.push_back(timedRun(audio::waveformDecoderArguments(setup.encoder, song)));
    };
    for (int run = 0; run < kWaveformRuns; ++run)
        inTurns(run, jobOnce, directOnce);
    const Summary job = summarize(jobSeconds);
    const Summary direct = summarize(directSeconds);
    printRow({"8 waveform 4 min MP3",
              {"waveform job, 1024 points, 3 suggestions", job},
              Figure{"ffmpeg decoding to the same PCM alone", direct},
              "s",
              "<= 1.0x ffmpeg",
              job.median <= direct.median});
    const Summary first = summarize(firstSeconds);
    printRow({"8 waveform 4 min MP3",
              {"first picture while reading", first},
              Figure{"whole waveform read", job},
              "s",
              "<= 0.3x whole, <= 300 ms",
              first.median <= 0.3 * job.median && first.median <= 0.3});
}

void benchClip(const test::TempDir& dir, const SongSetup& setup)
{
    const std::string song = setup.song.string();
    const fs::path clipOutput = dir / "clip.mp3";
    const fs::path wholeOutput = dir / "whole.mp3";
    const fs::path directOutput = dir / "direct-clip.mp3";
    const audio::SongPart part{60000, 30000, 1000, 1000};
    // The song's part is loud enough to be levelled by a gain alone, so the job runs these two.
    const std::vector<std::string> measureArgs = audio::partMeasureArguments(setup.encoder, song, part);
    const std::vector<std::string> directArgs =
        audio::encoderArguments(setup.encoder, song, directOutput.string(), part);
    std::vector<double> clipSeconds, wholeSeconds, directSeconds;
    const auto runJob = [&](const std::function<bool(jobs::SharedJobFields)>& startJob, const fs::path& output,
                            std::vector<double>& seconds) {
        prewarm(setup.song);
        auto fields = std::make_shared<jobs::JobFields>();
        const auto start = std::chrono::steady_clock::now();
        if (!startJob(fields))
            throw std::runtime_error("a transcode job did not start");
        seconds.push_back(pollUntil(
            start, [&] { return fields->tsStatus.value() != audio::kTranscodeRunning; }, 2ms));
        if (fields->tsStatus.value() != audio::kTranscodeDone || fs::file_size(output) == 0)
            throw std::runtime_error("a transcode job failed");
    };
    const auto clipOnce = [&] {
        runJob(
            [&](auto fields) {
                return audio::startTranscodeClip(fields, setup.tools, song, clipOutput.string(), part);
            },
            clipOutput, clipSeconds);
    };
    const auto referencesOnce = [&] {
        runJob([&](auto fields) { return audio::startTranscode(fields, setup.tools, song, wholeOutput.string()); },
               wholeOutput, wholeSeconds);
        prewarm(setup.song);
        directSeconds.push_back(timedRun(measureArgs) + timedRun(directArgs));
    };
    for (int run = 0; run < kClipRuns; ++run)
        inTurns(run, clipOnce, referencesOnce);
    const Summary clip = summarize(clipSeconds);
    const Summary whole = summarize(wholeSeconds);
    const Summary direct = summarize(directSeconds);
    printRow({"9 clip 30 s of 4 min MP3",
              {"clip job, 1 s fades", clip},
              Figure{"whole-song transcode job", whole},
              "s",
              "<= 0.2x whole song",
              clip.median <= 0.2 * whole.median});
    printRow({"9 clip 30 s of 4 min MP3",
              {"clip job, 1 s fades", clip},
              Figure{"ffmpeg alone measuring, then encoding", direct},
              "s",
              "<= 1.05x ffmpeg",
              clip.median <= 1.05 * direct.median});
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string only = argc > 1 ? argv[1] : "";
    const auto wanted = [&only](const char* part) { return only.empty() || only == part; };
    try {
        const test::TempDir dir;
        if (wanted("rip"))
            benchRip(dir);
        if (wanted("upload"))
            benchUpload(dir);
        if (wanted("transcode"))
            benchTranscode(dir);
        if (wanted("waveform") || wanted("clip")) {
            const SongSetup setup = makeMp3Song(dir);
            if (wanted("waveform"))
                benchWaveform(setup);
            if (wanted("clip"))
                benchClip(dir, setup);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_jobs: %s\n", error.what());
        return 1;
    }
    return 0;
}
