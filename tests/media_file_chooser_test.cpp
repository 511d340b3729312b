// The audio file chooser's type list, against the list of the types the app reads.
#include <gtest/gtest.h>

#include "app/media_file_filters.h"
#include "base/audio_types.h"

using namespace quillon;

TEST(MediaFileChooser, FirstEntryTakesEveryTypeThenTheClassicFiveThenTheRest)
{
    const std::vector<app::MediaFileFilter> filters = app::mediaFileFilters();
    std::string labels;
    for (const auto& filter : filters)
        labels += filter.label + "\n";
    EXPECT_EQ(labels,
              "All audio files (*.mp3; *.wma; *.ogg; *.oga; *.wav; *.flac; *.m4a; *.aac; *.opus; *.aif; *.aiff)\n"
              "All Supported Audio Files (*.mp3; *.wma; *.ogg; *.wav)\nMPEG Layer-3 Audio Files (*.mp3)\n"
              "Windows Media Audio Files (*.wma)\nOGG Vorbis Audio Files(*.ogg)\n"
              "Windows Waveform Audio Files (*.wav)\n"
              "More audio files (*.oga; *.flac; *.m4a; *.aac; *.opus; *.aif; *.aiff)\n");
    EXPECT_TRUE(std::ranges::equal(filters.front().extensions, base::kAudioExtensions));
    EXPECT_EQ(filters[3].extensions, (std::vector<std::string_view>{"wma"}));
}
