#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cd {

// What the text of a .toc or .cue image names: its data files, in FILE, AUDIOFILE and
// DATAFILE statements, and its TRACK statements. Comments (// and REM lines) and
// string literals elsewhere name nothing.
struct ImageText {
    struct DataFile {
        std::size_t offset = 0;  // of the name's first byte in the text
        std::size_t length = 0;
        bool quoted = true;  // a cue sheet may leave a name without spaces unquoted
    };
    std::vector<DataFile> dataFiles;
    int tracks = 0;
};

[[nodiscard]] ImageText scanImageText(std::string_view text);

// A data file's name as the image means it: a quoted name with its escapes undone.
[[nodiscard]] std::string dataFileName(std::string_view text, const ImageText::DataFile& file);

}  // namespace quillon::cd
