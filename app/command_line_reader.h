#pragma once

#include <string>
#include <vector>

namespace quillon::app {

// Reads the one switch and the one value the app takes from its command line.
// The system hands the arguments over already split, so each is taken byte for
// byte: quotes, blanks, tabs and newlines in a file name all stay. Only an
// argument that begins with "-" is a switch: every absolute path begins with "/",
// and a file handed over by a file manager must arrive as the value.
class CommandLineReader {
public:
    struct Item {
        std::string switchName;
        std::string value;
    };

    // argv[0] is the program's own path. The first argument after it is the
    // switch when it begins with "-"; the next argument that does not begin with
    // "-" is the value. Anything further is ignored.
    [[nodiscard]] static Item parse(const std::vector<std::string>& argv);
};

}  // namespace quillon::app
