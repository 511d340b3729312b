// The audio file chooser's type list, against the list of the types the app reads.
#include <gtest/gtest.h>

#include "app/media_file_filters.h"
#include "base/audio_types.h"

using namespace quillon;

TEST(MediaFileChooser, FirstEntryTakesEveryTypeThenTheClassicFiveThenTheRest)
{
    const std::vector<app::MediaFileFilter> filters = app::mediaFileFilters();
    std::vector<std::string> labels;
    for (const auto& filter : filters)
        labels.push_back(filter.label);
    const std::string every = "All audio files (*.mp3; *.wma; *.ogg; *.oga; *.wav; *.flac; *.m4a; *.aac; *.opus; "
                              "*.aif; *.aiff)";
    EXPECT_EQ(labels,
              (std::vector<std::string>{every, "All Supported Audio Files (*.mp3; *.wma; *.ogg; *.wav)",
                                        "MPEG Layer-3 Audio Files (*.mp3)", "Windows Media Audio Files (*.wma)",
                                        "OGG Vorbis Audio Files(*.ogg)", "Windows Waveform Audio Files (*.wav)",
                                        "More audio files (*.oga; *.flac; *.m4a; *.aac; *.opus; *.aif; *.aiff)"}));
    EXPECT_TRUE(std::ranges::equal(filters.front().extensions, kAudioExtensions));
    EXPECT_EQ(filters[1].extensions, (std::vector<std::string_view>{"mp3", "wma", "ogg", "wav"}));
    EXPECT_EQ(filters[3].extensions, (std::vector<std::string_view>{"wma"}));
    EXPECT_EQ(filters.back().extensions.size(), std::size(kAudioExtensions) - 4);
}
