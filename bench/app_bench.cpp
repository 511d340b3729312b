// The app's figures as a page sees them: the bridge call round trip, the cost of
// polling the job statuses, start-up time and memory, the part step's first
// waveform picture and its zoomed redraw, and from "Make the clip" to the code for
// the phone on screen, each beside its reference (the operating system's round
// trip and WebKit's own asynchronous message with a reply, the same page's timer
// without the reads, a bare WebKitGTK window, the whole read of the song, the
// whole-song drawing, ffmpeg alone encoding the same part).
//
// Usage: bench_app <app folder> <bench_reply_host> <bench_bare_window> <pages folder>
//        [calls|start|polling|picture|draw|make]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_report.h"
#include "bench/proc_stats.h"
#include "bench/socket_echo.h"
#include "bench/spawned_process.h"
#include "tests/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace quillon::bench;
using quillon::test::TempDir;

namespace {

constexpr int kCallRuns = 5;
// Batches of trips as call_round_trip.html times its bridge calls.
constexpr int kEchoBatches = 10;
constexpr int kEchoTrips = 10000;
constexpr int kStartRuns = 5;
constexpr int kPollRuns = 3;
constexpr int kPictureRuns = 5;
constexpr int kDrawRuns = 3;
constexpr int kMakeRuns = 7;
constexpr auto kPollWindow = 10s;
constexpr auto kSettle = 1s;
constexpr const char* kMarker = "QBENCH ";
constexpr const char* kWebProcess = "WebKitWebProces";  // command names are cut to 15 bytes

struct Paths {
    fs::path app;
    fs::path replyHost;
    fs::path bareWindow;
    fs::path pages;
};

// A private copy of the app folder whose start page the benchmark replaces.
class AppCopy {
public:
    explicit AppCopy(const fs::path& app)
    {
        fs::copy(app, folder(), fs::copy_options::recursive);
        fs::create_directories(dir_ / "config");
    }
    void setStartPage(const fs::path& page) const
    {
        fs::copy_file(page, folder() / "res" / "selectSong.html", fs::copy_options::overwrite_existing);
    }
    void addPage(const fs::path& page) const
    {
        fs::copy_file(page, folder() / "res" / page.filename(), fs::copy_options::overwrite_existing);
    }
    [[nodiscard]] fs::path folder() const { return dir_ / "app"; }
    [[nodiscard]] SpawnedProcess start(const std::vector<std::string>& arguments = {}) const
    {
        std::vector<std::string> argv{(folder() / "quillon").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return SpawnedProcess(argv, {{"QUILLON_CONSOLE", "1"}, {"XDG_CONFIG_HOME", (dir_ / "config").string()}},
                              SpawnedProcess::Output::read);
    }

private:
    TempDir dir_;
};

using Timings = std::map<std::string, double>;

// Reads a call page's reports up to "done": kind -> microseconds per call.
Timings readCallReports(SpawnedProcess& process, const std::string& who)
{
    Timings result;
    while (const auto line = process.waitForLine(kMarker, 120s)) {
        if (*line == "done")
            return result;
        const std::size_t space = line->find(' ');
        if (line->starts_with("error") || space == std::string::npos)
            throw std::runtime_error(who + " page reported: " + *line);
        result[line->substr(0, space)] = std::stod(line->substr(space + 1));
    }
    throw std::runtime_error(who + ": the call page did not finish");
}

std::vector<double> column(const std::vector<Timings>& runs, const std::string& kind)
{
    std::vector<double> values;
    for (const Timings& run : runs) {
        if (!run.contains(kind))
            throw std::runtime_error("no figure for " + kind);
        values.push_back(run.at(kind));
    }
    return values;
}

void benchCalls(const Paths& paths, const AppCopy& app)
{
    app.setStartPage(paths.pages / "call_round_trip.html");
    app.addPage(paths.pages / "call_round_trip.html");
    std::vector<Timings> inApp;
    std::vector<Timings> inHost;
    std::vector<double> echo;
    for (int run = 0; run < kCallRuns; ++run) {
        SpawnedProcess quillon = app.start();
        inApp.push_back(readCallReports(quillon, "app"));
        quillon.stop();
        echo.push_back(SocketEcho().microsecondsPerTrip(kEchoBatches, kEchoTrips));
        SpawnedProcess host({paths.replyHost.string(), app.folder().string(), "call_round_trip.html"}, {},
                            SpawnedProcess::Output::read);
        inHost.push_back(readCallReports(host, "bench host"));
        host.stop();
    }

    const Figure method{"DTE_GetVersion() in app", summarize(column(inApp, "bridge-method"))};
    const Summary floor = summarize(echo);
    printRow({"1 bridge call", method, Figure{"socket pair echo via another process (OS floor)", floor}, "us",
              "<= 1.3x OS floor", method.value.median <= 1.3 * floor.median});
    const Figure async{"async postMessage+reply (bench host)", summarize(column(inHost, "async-reply"))};
    const auto bridgeRow = [&](const std::string& name, const Figure& subject, const Figure& reference) {
        const bool fast = subject.value.median <= 50;
        const bool belowAsync = subject.value.median < reference.value.median;
        std::string note;
        if (fast != belowAsync)
            note = fast ? "not below async" : "above 50 us; below async";
        printRow({name, subject, reference, "us", "<=50 us, < async", fast && belowAsync}, note);
    };
    bridgeRow("1 bridge call", method, async);
    bridgeRow("1 bridge call", {"DTE_tsStatus in app", summarize(column(inApp, "bridge-property"))}, async);
    bridgeRow("1 bridge call",
              {"DTE_GetVersion() bench host, same page+run", summarize(column(inHost, "bridge-method"))}, async);
    printRow({"1 bridge call",
              method,
              Figure{"plain JS function (floor)", summarize(column(inApp, "plain-function"))},
              "us",
              "",
              {}});
}

pid_t waitForWebProcess(pid_t ui)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto web = findDescendant(ui, kWebProcess))
            return *web;
        std::this_thread::sleep_for(20ms);
    }
    throw std::runtime_error("no web process found under process " + std::to_string(ui));
}

struct CpuShare {
    double ui = 0;
    double web = 0;
};

// Percent of one core each process used over the window, once the page is up.
CpuShare cpuShare(const AppCopy& app, const fs::path& page, const std::string& readyLine)
{
    app.setStartPage(page);
    SpawnedProcess quillon = app.start();
    if (!quillon.waitForLine(kMarker + readyLine, 60s))
        throw std::runtime_error("the page of " + page.filename().string() + " did not start");
    const pid_t web = waitForWebProcess(quillon.pid());
    std::this_thread::sleep_for(kSettle);
    const auto uiBefore = cpuSeconds(quillon.pid());
    const auto webBefore = cpuSeconds(web);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(kPollWindow);
    const auto uiAfter = cpuSeconds(quillon.pid());
    const auto webAfter = cpuSeconds(web);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    if (!uiBefore || !webBefore || !uiAfter || !webAfter)
        throw std::runtime_error("a process ended while its CPU time was measured");
    return {(*uiAfter - *uiBefore) * 100 / wall.count(), (*webAfter - *webBefore) * 100 / wall.count()};
}

void benchPolling(const Paths& paths, const AppCopy& app)
{
    app.addPage(paths.pages / "status_polling.html");
    std::vector<double> pollUi, pollWeb, pollSum, timerUi, timerWeb, timerSum;
    for (int run = 0; run < kPollRuns; ++run) {
        const CpuShare poll = cpuShare(app, paths.pages / "status_polling.html", "started");
        pollUi.push_back(poll.ui);
        pollWeb.push_back(poll.web);
        pollSum.push_back(poll.ui + poll.web);
        const CpuShare timer = cpuShare(app, paths.pages / "timer_only.html", "started");
        timerUi.push_back(timer.ui);
        timerWeb.push_back(timer.web);
        timerSum.push_back(timer.ui + timer.web);
    }
    const std::string baseline = "same 50 ms timer, no reads";
    printRow({"2 polling 5 status/50ms",
              {"UI process", summarize(pollUi)},
              Figure{baseline, summarize(timerUi)},
              "% core",
              "",
              {}});
    printRow({"2 polling 5 status/50ms",
              {"web process", summarize(pollWeb)},
              Figure{baseline, summarize(timerWeb)},
              "% core",
              "",
              {}});
    const Summary sum = summarize(pollSum);
    printRow({"2 polling 5 status/50ms",
              {"UI + web process", sum},
              Figure{baseline, summarize(timerSum)},
              "% core",
              "< 2 % of a core",
              sum.median < 2});
}

struct StartFigures {
    double ms = 0;
    double uiMiB = 0;
    double webMiB = 0;
};

template <class Launch>
StartFigures measureStart(const Launch& launch, const std::string& who)
{
    const auto start = std::chrono::steady_clock::now();
    SpawnedProcess process = launch();
    if (!process.waitForLine(std::string(kMarker) + "first", 60s))
        throw std::runtime_error(who + ": the start page made no first call");
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    const pid_t web = waitForWebProcess(process.pid());
    std::this_thread::sleep_for(kSettle);
    const auto ui = pssKiB(process.pid());
    const auto page = pssKiB(web);
    if (!ui || !page)
        throw std::runtime_error(who + ": cannot read the memory of its processes");
    process.stop();
    return {took.count(), *ui / 1024, *page / 1024};
}

void benchStart(const Paths& paths, const AppCopy& app, const TempDir& scratch)
{
    app.setStartPage(paths.pages / "first_call.html");
    const fs::path barePage = scratch / "first_call.html";
    fs::copy_file(paths.pages / "first_call.html", barePage, fs::copy_options::overwrite_existing);
    std::vector<StartFigures> appRuns, bareRuns;
    for (int run = 0; run < kStartRuns; ++run) {
        appRuns.push_back(measureStart([&] { return app.start(); }, "app"));
        bareRuns.push_back(measureStart(
            [&] {
                return SpawnedProcess({paths.bareWindow.string(), barePage.string()}, {}, SpawnedProcess::Output::read);
            },
            "bare window"));
    }
    const auto pick = [](const std::vector<StartFigures>& runs, double StartFigures::*field) {
        std::vector<double> values;
        for (const StartFigures& f : runs)
            values.push_back(f.*field);
        return summarize(values);
    };
    const Summary appMs = pick(appRuns, &StartFigures::ms);
    const Summary bareMs = pick(bareRuns, &StartFigures::ms);
    printRow({"6 start-up",
              {"app: start to first bridge call", appMs},
              Figure{"bare WebKitGTK window", bareMs},
              "ms",
              "<= 1.2x bare",
              appMs.median <= 1.2 * bareMs.median});
    printRow({"6 start-up",
              {"app UI process PSS", pick(appRuns, &StartFigures::uiMiB)},
              Figure{"bare window UI process", pick(bareRuns, &StartFigures::uiMiB)},
              "MiB",
              "",
              {}});
    printRow({"6 start-up",
              {"app web process PSS", pick(appRuns, &StartFigures::webMiB)},
              Figure{"bare window web process", pick(bareRuns, &StartFigures::webMiB)},
              "MiB",
              "",
              {}});
    std::vector<double> appTotal, bareTotal;
    for (const StartFigures& f : appRuns)
        appTotal.push_back(f.uiMiB + f.webMiB);
    for (const StartFigures& f : bareRuns)
        bareTotal.push_back(f.uiMiB + f.webMiB);
    const Summary appMem = summarize(appTotal);
    const Summary bareMem = summarize(bareTotal);
    printRow({"6 start-up",
              {"app UI + web PSS", appMem},
              Figure{"bare window UI + web", bareMem},
              "MiB",
              "<= 1.2x bare",
              appMem.median <= 1.2 * bareMem.median});
}

// A four-minute stereo MP3 at 192 kbit/s, made by ffmpeg from its own generators.
fs::path makeSong(const TempDir& scratch)
{
    fs::path song = scratch / "song4.mp3";
    (void)timedRun({"ffmpeg",
                    "-nostdin",
                    "-v",
                    "error",
                    "-f",
                    "lavfi",
                    "-i",
                    "sine=frequency=220:duration=240",
                    "-f",
                    "lavfi",
                    "-i",
                    "anoisesrc=duration=240:amplitude=0.2",
                    "-filter_complex",
                    "amix=inputs=2",
                    "-ac",
                    "2",
                    "-ab",
                    "192k",
                    "-y",
                    song.string()});
    return song;
}

// From the song being chosen (given on the command line, as opening it with the
// app does) to the part step's first waveform picture, against the whole read.
void benchFirstPicture(const Paths& paths, const AppCopy& app, const TempDir& scratch)
{
    app.setStartPage(paths.app / "res" / "selectSong.html");
    const fs::path song = makeSong(scratch);
    std::vector<double> first, whole;
    for (int run = 0; run < kPictureRuns; ++run) {
        SpawnedProcess quillon = app.start({song.string()});
        const auto at = [&quillon](const std::string& state) {
            if (!quillon.waitForLine("QUILLON state " + state, 120s))
                throw std::runtime_error("the start page never reached the state " + state);
            return std::chrono::steady_clock::now();
        };
        const auto chosen = at("chose file");
        const auto picture = at("wave-first");
        const auto read = at("part ");
        first.push_back(std::chrono::duration<double, std::milli>(picture - chosen).count());
        whole.push_back(std::chrono::duration<double, std::milli>(read - chosen).count());
        quillon.stop();
    }
    const Summary picture = summarize(first);
    const Summary reading = summarize(whole);
    const bool quick = picture.median <= 300;
    const bool early = picture.median <= 0.3 * reading.median;
    std::string note;
    if (quick != early)
        note = quick ? "above 0.3x the whole read" : "above 300 ms";
    printRow({"8 waveform first picture",
              {"4 min MP3 chosen to first picture", picture},
              Figure{"chosen to the whole read", reading},
              "ms",
              "<= 300 ms, <= 0.3x",
              quick && early},
             note);
}

// The part step's drawing, timed by the page itself (median of 100 draws per run).
void benchWaveDraw(const Paths& paths, const AppCopy& app)
{
    app.setStartPage(paths.pages / "wave_draw.html");
    std::vector<Timings> runs;
    for (int run = 0; run < kDrawRuns; ++run) {
        SpawnedProcess quillon = app.start();
        runs.push_back(readCallReports(quillon, "wave draw"));
        quillon.stop();
    }
    const Summary zoomed = summarize(column(runs, "draw-zoomed"));
    printRow({"8 waveform redraw",
              {"zoomed, 40 ms/px of 4000 points + 10 ms series", zoomed},
              Figure{"whole song from the 4000 peaks", summarize(column(runs, "draw-whole"))},
              "ms",
              "<= 8 ms",
              zoomed.median <= 8});
}

// From "Make the clip" on the part the real pages suggest of a four-minute MP3 to
// the QR code of the last step on screen, the loudness work included, against
// ffmpeg alone encoding the same part at 192 kbit/s with its fades, in turns.
void benchMakeClip(const Paths& paths, const AppCopy& app, const TempDir& scratch)
{
    const fs::path page = app.folder() / "res" / "selectSong.html";
    app.setStartPage(paths.app / "res" / "selectSong.html");
    app.addPage(paths.pages / "make_clip.js");
    std::string html;
    {
        std::ifstream in(page);
        html.assign(std::istreambuf_iterator<char>(in), {});
    }
    html.insert(html.rfind("</body>"), "<script src=\"make_clip.js\"></script>\n");
    std::ofstream(page) << html;
    const fs::path song = makeSong(scratch);
    std::vector<double> made, alone;
    for (int run = 0; run < kMakeRuns; ++run) {
        SpawnedProcess quillon = app.start({song.string()});
        const auto at = [&quillon](const std::string& line) {
            auto seen = quillon.waitForLine(line, 120s);
            if (!seen)
                throw std::runtime_error("the start page never said " + line);
            return std::pair(std::chrono::steady_clock::now(), *seen);
        };
        const auto pressed = at(std::string(kMarker) + "make").first;
        const std::string part = at("QUILLON state converting ").second;
        const auto shown = at("QUILLON state wifi-qr").first;
        made.push_back(std::chrono::duration<double>(shown - pressed).count());
        quillon.stop();
        long startMs = 0, lengthMs = 0, fadeInMs = 0, fadeOutMs = 0;
        if (std::sscanf(part.c_str(), "%ld %ld %ld %ld", &startMs, &lengthMs, &fadeInMs, &fadeOutMs) != 4)
            throw std::runtime_error("no part in the state converting " + part);
        const auto seconds = [](long ms) { return std::to_string(static_cast<double>(ms) / 1000); };
        alone.push_back(timedRun({"ffmpeg",
                                  "-nostdin",
                                  "-v",
                                  "error",
                                  "-ss",
                                  seconds(startMs),
                                  "-t",
                                  seconds(lengthMs),
                                  "-i",
                                  song.string(),
                                  "-af",
                                  "afade=t=in:st=0:d=" + seconds(fadeInMs) +
                                      ",afade=t=out:st=" + seconds(lengthMs - fadeOutMs) + ":d=" + seconds(fadeOutMs),
                                  "-ab",
                                  "192k",
                                  "-ar",
                                  "44100",
                                  "-ac",
                                  "2",
                                  "-y",
                                  (scratch / "alone.mp3").string()}));
    }
    app.setStartPage(paths.app / "res" / "selectSong.html");
    const Summary clip = summarize(made);
    printRow({"10 make the clip 30 s of 4 min MP3",
              {"Make the clip to the QR code, levelled", clip},
              Figure{"ffmpeg alone, same part at 192 kbit/s", summarize(alone)},
              "s",
              "<= 1.0 s",
              clip.median <= 1.0});
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 6) {
        std::fputs("usage: bench_app <app folder> <bench_reply_host> <bench_bare_window> <pages folder> "
                   "[calls|start|polling|picture|draw|make]\n",
                   stderr);
        return 2;
    }
    const std::string only = argc == 6 ? argv[5] : "";
    const auto wanted = [&only](const char* part) { return only.empty() || only == part; };
    try {
        const Paths paths{fs::absolute(argv[1]), fs::absolute(argv[2]), fs::absolute(argv[3]), fs::absolute(argv[4])};
        const AppCopy app(paths.app);
        const TempDir scratch;
        if (wanted("calls"))
            benchCalls(paths, app);
        if (wanted("start"))
            benchStart(paths, app, scratch);
        if (wanted("polling"))
            benchPolling(paths, app);
        if (wanted("picture"))
            benchFirstPicture(paths, app, scratch);
        if (wanted("draw"))
            benchWaveDraw(paths, app);
        if (wanted("make"))
            benchMakeClip(paths, app, scratch);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_app: %s\n", error.what());
        return 1;
    }
    return 0;
}
