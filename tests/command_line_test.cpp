#include <gtest/gtest.h>

#include "app/command_line_reader.h"

using quillon::app::CommandLineReader;

TEST(CommandLineReader, TakesTheSwitchAndTheValueByteForByte)
{
    const struct {
        std::vector<std::string> argv;
        const char* switchName;
        std::string value;
    } cases[] = {
        {{}, "", ""},
        {{"/usr/bin/quillon"}, "", ""},
        {{"quillon", "/home/me/My Music/song.mp3"}, "", "/home/me/My Music/song.mp3"},
        {{"quillon", "/home/me/My \"Best\" Song.mp3"}, "", "/home/me/My \"Best\" Song.mp3"},
        {{"quillon", "\"quoted.mp3\""}, "", "\"quoted.mp3\""},
        {{"quillon", " /a  two blanks/b.mp3\t"}, "", " /a  two blanks/b.mp3\t"},
        {{"quillon", "/tmp/line\nbreak.ogg "}, "", "/tmp/line\nbreak.ogg "},
        {{"quillon", "/tmp/$x;y'z.wav"}, "", "/tmp/$x;y'z.wav"},
        {{"quillon", std::string("/tmp/bad\xFF\x00name.mp3", 18)}, "", std::string("/tmp/bad\xFF\x00name.mp3", 18)},
        {{"quillon", ""}, "", ""},
        {{"quillon", "-x", "y"}, "x", "y"},
        {{"quillon", "-open", "/tmp/a b.ogg", "ignored"}, "open", "/tmp/a b.ogg"},
        {{"quillon", "a", "b"}, "", "a"},
        {{"quillon", "-open"}, "open", ""},
        {{"quillon", "-x", "-y"}, "x", ""},
        {{"/opt/my apps/quillon", "song.wav"}, "", "song.wav"},
    };
    for (const auto& c : cases) {
        const auto item = CommandLineReader::parse(c.argv);
        SCOPED_TRACE(c.argv.size() > 1 ? c.argv[1] : "(none)");
        EXPECT_EQ(item.switchName, c.switchName);
        EXPECT_EQ(item.value, c.value);
    }
}
