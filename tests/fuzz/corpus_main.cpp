// Replays a fuzz target's saved corpus as a plain program: every file under the
// folder named on the command line goes through the target once. A broken
// property aborts, which fails the test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::size_t inputs = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argc > 1 ? argv[1] : "", error)) {
        if (!entry.is_regular_file())
            continue;
        std::fprintf(stderr, "%s\n", entry.path().c_str());  // names the input a broken property aborts on
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++inputs;
    }
    std::printf("%zu inputs passed\n", inputs);
    // A missing or empty corpus tests nothing.
    return error || inputs == 0 ? 2 : 0;
}
