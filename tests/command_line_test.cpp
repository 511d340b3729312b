#include <gtest/gtest.h>

#include "app/command_line_reader.h"

using quillon::app::CommandLineReader;

namespace {

struct Case {
    const char* line;
    const char* switchName;
    const char* value;
};

}  // namespace

TEST(CommandLineReader, ParsesTheOneSwitchAndValue)
{
    const Case cases[] = {
        {"/usr/bin/quillon", "", ""},
        {"   /usr/bin/quillon   ", "", ""},
        {"", "", ""},
        {"quillon \"/home/me/My Music/song.mp3\"", "", "/home/me/My Music/song.mp3"},
        {"quillon \"/a  two blanks/b.mp3\"", "", "/a  two blanks/b.mp3"},
        {"quillon -x y", "x", "y"},
        {"quillon -open song.mp3", "open", "song.mp3"},
        {"quillon a b", "", "a"},
        {"quillon    a    b", "", "a"},
        {"quillon /home/me/song.mp3", "", "/home/me/song.mp3"},  // an absolute path is a value
        {"quillon -open", "open", ""},
        {"quillon -x -y", "x", ""},
        {"quillon \"unclosed rest of line", "", "unclosed rest of line"},
        {"quillon \"one\"", "", "one"},
        {"quillon \" starts with blank\"", "", " starts with blank"},
        {"\"/opt/my apps/quillon\" song.wav", "", "song.wav"},
        {"quillon -open \"/tmp/a b.ogg\" ignored", "open", "/tmp/a b.ogg"},
        {"quillon \"\"", "", ""},
    };
    for (const auto& c : cases) {
        const auto item = CommandLineReader::parse(c.line);
        EXPECT_EQ(item.switchName, c.switchName) << c.line;
        EXPECT_EQ(item.value, c.value) << c.line;
    }
}

TEST(CommandLineReader, RebuildsTheLineFromSplitArguments)
{
    EXPECT_EQ(CommandLineReader::joinArguments({"/usr/bin/quillon"}), "/usr/bin/quillon");
    EXPECT_EQ(CommandLineReader::joinArguments({"/opt/q q/quillon", "/m/My Song.mp3", "-x"}),
              "\"/opt/q q/quillon\" \"/m/My Song.mp3\" -x");

    // What a file manager hands over arrives whole.
    const std::vector<std::vector<std::string>> argvs = {
        {"/usr/bin/quillon", "/home/me/Müsik/Lied 1.mp3"},
        {"/usr/bin/quillon", "/tmp/$x;y'z.wav"},
        {"/usr/bin/quillon", "/tmp/two  blanks.ogg"},
    };
    for (const auto& argv : argvs)
        EXPECT_EQ(CommandLineReader::parse(CommandLineReader::joinArguments(argv)).value, argv[1]);
}
