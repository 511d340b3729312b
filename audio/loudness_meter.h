#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/tool_paths.h"

namespace quillon::audio {

struct Loudness {
    double integratedLufs = 0;
    double truePeakDbtp = 0;  // -inf for silence; the sample peak where only that was measured
};

// The true peak (between the samples too), or only the samples' peak, which is cheaper.
enum class Peak : std::uint8_t { True, Sample };

// The encoder's arguments that measure file's integrated loudness and peak (EBU R
// 128) and write only their summary to its standard error.
[[nodiscard]] std::vector<std::string> loudnessArguments(const std::filesystem::path& encoder, const std::string& file,
                                                         Peak peak = Peak::True);

// The figures of the meter's summary in the encoder's log (the last one there);
// nullopt when it has none.
[[nodiscard]] std::optional<Loudness> parseLoudnessSummary(std::string_view log);
// The integrated loudness in the last summary of the meter named instance
// ("ebur128@tried2") in the log; nullopt when it has none.
[[nodiscard]] std::optional<double> integratedLoudnessOf(std::string_view log, std::string_view instance);

// Measures file with the encoder "ffmpeg" of tools; nullopt when it cannot be
// run, fails, gives no summary, or is stopped on stopRequested.
[[nodiscard]] std::optional<Loudness> measureLoudness(const ToolPaths& tools, const std::string& file,
                                                      const std::function<bool()>& stopRequested,
                                                      Peak peak = Peak::True);

}  // namespace quillon::audio
