#include "app/media_file_filters.h"

#include <algorithm>
#include <iterator>

#include "base/audio_types.h"

namespace quillon::app {

namespace {

// The four first formats keep entries of their own under these labels, after
// one that takes all four.
struct ClassicFilter {
    const char* label;
    std::string_view extension;
};
constexpr const char* kAllClassicLabel = "All Supported Audio Files (*.mp3; *.wma; *.ogg; *.wav)";
constexpr ClassicFilter kClassicFilters[] = {
    {"MPEG Layer-3 Audio Files (*.mp3)", "mp3"},
    {"Windows Media Audio Files (*.wma)", "wma"},
    {"OGG Vorbis Audio Files(*.ogg)", "ogg"},
    {"Windows Waveform Audio Files (*.wav)", "wav"},
};

// "Name (*.a; *.b)".
std::string labelled(std::string_view name, const std::vector<std::string_view>& extensions)
{
    std::string label(name);
    label += " (";
    for (std::size_t i = 0; i < extensions.size(); ++i)
        label.append(i ? "; *." : "*.").append(extensions[i]);
    return label + ")";
}

bool isClassic(std::string_view extension)
{
    return std::ranges::any_of(kClassicFilters, [&](const auto& filter) { return filter.extension == extension; });
}

}  // namespace

std::vector<MediaFileFilter> mediaFileFilters()
{
    const std::vector<std::string_view> all(std::begin(base::kAudioExtensions), std::end(base::kAudioExtensions));
    std::vector<std::string_view> classic;
    std::vector<std::string_view> more;
    std::ranges::partition_copy(all, std::back_inserter(classic), std::back_inserter(more), isClassic);
    std::vector<MediaFileFilter> filters{{labelled("All audio files", all), all}, {kAllClassicLabel, classic}};
    for (const auto& filter : kClassicFilters)
        filters.push_back({filter.label, {filter.extension}});
    filters.push_back({labelled("More audio files", more), more});
    return filters;
}

}  // namespace quillon::app
