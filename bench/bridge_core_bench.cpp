// Nanoseconds per name lookup and per dispatch in the portable bridge core, with
// no channel and no page around it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/version.h"
#include "bench/bench_report.h"
#include "bridge/script_bridge.h"
#include "tests/recording_members.h"

using namespace quillon;

namespace {

constexpr int kRepetitions = 5;

test::RecordedCalls quiet()
{
    test::RecordedCalls target;
    target.recording = false;
    target.answers["GetVersion"] = {bridge::BridgeValue::text(std::string(base::kVersionCode))};
    target.answers["MessageBox"] = {bridge::BridgeValue::integer(6)};
    return target;
}

// Members that answer without recording, so only the bridge is measured.
struct Core {
    test::RecordedCalls target = quiet();
    bridge::ScriptBridge bridge{test::recordingMembers(), [this] { return static_cast<void*>(&target); }};
};

void lookUp(benchmark::State& state, const std::string& name, bool known)
{
    for (auto _ : state) {
        const bridge::DispId found = bridge::ScriptBridge::idOfName(name);
        benchmark::DoNotOptimize(found);
        if ((found != bridge::kUnknownDispId) != known) {
            state.SkipWithError("unexpected lookup outcome");
            break;
        }
    }
}

void invoke(benchmark::State& state, const std::string& name, std::uint16_t flags,
            const std::vector<bridge::BridgeValue>& arguments, const bridge::BridgeValue& expected)
{
    Core core;
    const bridge::DispId member = bridge::ScriptBridge::idOfName(name);
    bridge::BridgeValue result;
    for (auto _ : state) {
        core.bridge.Invoke(member, flags, arguments, &result, nullptr);
        benchmark::DoNotOptimize(result);
    }
    if (!(result == expected))
        state.SkipWithError("unexpected result");
}

// Keeps every repetition's time per iteration, by benchmark name.
class Collector : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                failed = true;
                std::fprintf(stderr, "bench_bridge_core: %s: %s\n", run.benchmark_name().c_str(),
                             run.error_message.c_str());
            } else if (run.run_type == Run::RT_Iteration) {
                times[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
            }
        }
    }
    std::map<std::string, std::vector<double>> times;
    bool failed = false;
};

void add(const char* name, auto&& body)
{
    benchmark::RegisterBenchmark(name, body)->Unit(benchmark::kNanosecond)->MinTime(0.1)->Repetitions(kRepetitions);
}

}  // namespace

int main(int argc, char** argv)
{
    using bridge::BridgeValue;
    add("idOfName first name", [](benchmark::State& s) { lookUp(s, "DTE_IsDTE", true); });
    add("idOfName last name", [](benchmark::State& s) { lookUp(s, "DTE_norStatus", true); });
    add("idOfName unknown name", [](benchmark::State& s) { lookUp(s, "DTE_Nothing", false); });
    add("Invoke DTE_GetVersion()", [](benchmark::State& s) {
        invoke(s, "DTE_GetVersion", bridge::kDispatchMethod, {}, BridgeValue::text("210"));
    });
    add("Invoke DTE_tsStatus get", [](benchmark::State& s) {
        invoke(s, "DTE_tsStatus", bridge::kDispatchPropertyGet, {}, BridgeValue::integer(0));
    });
    // The stand-in answers every message box with Yes (6).
    add("Invoke DTE_MessageBox(text, 0)", [](benchmark::State& s) {
        invoke(s, "DTE_MessageBox", bridge::kDispatchMethod,
               {BridgeValue::text("a message of a usual length"), BridgeValue::integer(0)}, BridgeValue::integer(6));
    });

    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    if (collector.failed || collector.times.empty())
        return 1;
    for (const auto& [name, times] : collector.times)
        bench::printRow({"7 bridge core", {name, bench::summarize(times)}, {}, "ns", "", {}});
    return 0;
}
