// The command line the app is started with: any bytes, and any argument vector
// joined the way the app joins its own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line_reader.h"
#include "tests/fuzz/fuzz_check.h"

using quillon::app::CommandLineReader;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Splits at NUL bytes into an argument vector with a program path first.
std::vector<std::string> argumentsOf(std::string_view bytes)
{
    std::vector<std::string> argv{"/usr/bin/quillon"};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\0') {
            argv.emplace_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    return argv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Raw text: the value is always a piece of the text.
    const auto item = CommandLineReader::parse(bytes);
    FUZZ_CHECK(bytes.find(item.value) != std::string_view::npos);
    FUZZ_CHECK(bytes.find(item.switchName) != std::string_view::npos);

    // A file handed over as the only argument arrives whole, inner blanks and all,
    // as long as it has no quote, no leading dash and no surrounding whitespace.
    const auto argv = argumentsOf(bytes);
    const std::string& file = argv[1];
    const bool plain = argv.size() == 2 && !file.empty() && file.find('"') == std::string::npos && file[0] != '-' &&
                       !isBlank(file.front()) &&
                       !isBlank(file.back());
    const auto joined = CommandLineReader::parse(CommandLineReader::joinArguments(argv));
    if (plain) {
        FUZZ_CHECK(joined.switchName.empty());
        FUZZ_CHECK(joined.value == file);
    }
    return 0;
}
