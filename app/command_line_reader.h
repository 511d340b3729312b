#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon::app {

// Reads the one switch and the one value the app takes from its command line.
// Only a word that begins with "-" is a switch: every absolute path begins with
// "/", and a file handed over by a file manager must arrive as the value.
class CommandLineReader {
public:
    struct Item {
        std::string switchName;
        std::string value;
    };

    // The command line as one text: the program path, then each argument, an
    // argument that contains a blank enclosed in double quotes.
    static std::string joinArguments(const std::vector<std::string>& argv);

    // Reads two items from text and returns the second: the first is the
    // program's own path.
    static Item parse(std::string_view text);

private:
    explicit CommandLineReader(std::string_view text);
    Item readItem();
    [[nodiscard]] bool atEnd() const { return position_ >= text_.size(); }
    std::string_view nextWord();
    std::string readQuoted();

    std::string text_;
    std::size_t position_ = 0;
};

}  // namespace quillon::app
