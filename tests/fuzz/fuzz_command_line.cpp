// The command line the app is started with: any argument vector, split from the
// input at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line_reader.h"
#include "tests/fuzz/fuzz_check.h"

using quillon::app::CommandLineReader;

namespace {

// Splits at NUL bytes into an argument vector with a program path first.
std::vector<std::string> argumentsOf(std::string_view bytes)
{
    std::vector<std::string> argv{"/usr/bin/quillon"};
    for (std::size_t start = 0, end = 0; end != std::string_view::npos; start = end + 1)
        argv.emplace_back(bytes.substr(start, (end = bytes.find('\0', start)) - start));
    return argv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto argv = argumentsOf(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto item = CommandLineReader::parse(argv);
    // The value is one argument whole, and a file that is the only argument is the value.
    const bool switched = argv[1].starts_with('-');
    FUZZ_CHECK(switched == !item.switchName.empty() || argv[1] == "-");
    if (!switched)
        FUZZ_CHECK(item.value == argv[1]);
    else
        FUZZ_CHECK(item.value.empty() || (argv.size() > 2 && item.value == argv[2]));
    return 0;
}
