// What the app checks before it runs anything: its own folder, the file it was
// handed on the command line, and whether that can be named to the pages at all.
#include <gtest/gtest.h>

#include "app/command_line_reader.h"
#include "app/exe_dir.h"
#include "app/file_name_check.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace quillon;

TEST(AppStart, ExeDirIsTheLinkedFolderOrNothing)
{
    test::TempDir dir;
    fs::create_symlink("/opt/quillon app/quillon", dir / "absolute");
    fs::create_symlink("quillon", dir / "relative");
    test::writeFile(dir / "plain", "");
    EXPECT_EQ(app::exeDir(dir / "absolute"), fs::path("/opt/quillon app"));
    for (const char* name : {"relative", "plain", "missing"})
        EXPECT_EQ(app::exeDir(dir / name), std::nullopt) << name;
}

TEST(AppStart, ANameThatIsNotUtf8IsRefusedInReadableWords)
{
    const auto told = [](const std::string& shown) {
        return "Quillon cannot use this file because its name is not valid UTF-8 text:\n\n" + shown +
               "\n\nRename the file (for example in your file manager), then open it again.";
    };
    for (const char* fine : {"", "/home/me/Müsik/Lied \"1\".mp3", "/tmp/a\tb\n.ogg"})
        EXPECT_EQ(app::unusableFileNameMessage(fine), std::nullopt) << fine;
    EXPECT_EQ(app::unusableFileNameMessage("/home/me/M\xFCsik/song.mp3"),  // Latin-1 ü
              told("/home/me/M\xEF\xBF\xBDsik/song.mp3"));
    EXPECT_EQ(app::unusableFileNameMessage("\xC3(\xFF.wav"), told("\xEF\xBF\xBD(\xEF\xBF\xBD.wav"));
}

TEST(AppStart, CommandLineKeepsEachArgumentByteForByte)
{
    const std::string odd(" /a  \"Best\" $x;y'z\n\xFF\0.mp3\t", 26);
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{}, "", ""},
        {{"/usr/bin/quillon"}, "", ""},
        {{"quillon", odd}, "", odd},
        {{"quillon", "a", "b"}, "", "a"},
        {{"quillon", "-open", "/tmp/a b.ogg", "ignored"}, "open", "/tmp/a b.ogg"},
        {{"quillon", "-open"}, "open", ""},
        {{"quillon", "-x", "-y"}, "x", ""},
    };
    for (const auto& [argv, switchName, value] : cases) {
        const auto item = app::CommandLineReader::parse(argv);
        EXPECT_EQ(std::tie(item.switchName, item.value), std::tie(switchName, value)) << argv.size();
    }
}
