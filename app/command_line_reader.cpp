#include "app/command_line_reader.h"

namespace quillon::app {

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isWhiteSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isWhiteSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::string CommandLineReader::joinArguments(const std::vector<std::string>& argv)
{
    std::string line;
    for (const auto& argument : argv) {
        if (!line.empty())
            line += ' ';
        if (argument.find(' ') != std::string::npos)
            line += '"' + argument + '"';
        else
            line += argument;
    }
    return line;
}

CommandLineReader::CommandLineReader(std::string_view text) : text_(trim(text)) {}

CommandLineReader::Item CommandLineReader::parse(std::string_view text)
{
    CommandLineReader reader(text);
    reader.readItem();
    return reader.readItem();
}

std::string_view CommandLineReader::nextWord()
{
    while (position_ < text_.size() && text_[position_] == ' ')
        ++position_;
    const std::size_t start = position_;
    while (position_ < text_.size() && text_[position_] != ' ')
        ++position_;
    return std::string_view(text_).substr(start, position_ - start);
}

// The item runs from the opening quote up to and including the first word that
// ends with a quote; the blanks between its words stay as written. Without a
// closing quote it takes the rest of the line.
std::string CommandLineReader::readQuoted()
{
    const std::size_t start = position_ + 1;
    std::size_t wordStart = position_;
    for (std::string_view word = nextWord(); !word.empty(); word = nextWord()) {
        const bool opensHere = wordStart + 1 == start;
        if (word.back() == '"' && !(opensHere && word.size() == 1))
            return text_.substr(start, position_ - 1 - start);
        while (position_ < text_.size() && text_[position_] == ' ')
            ++position_;
        wordStart = position_;
    }
    return text_.substr(start);
}

CommandLineReader::Item CommandLineReader::readItem()
{
    Item item;
    auto skipBlanks = [this] {
        while (position_ < text_.size() && text_[position_] == ' ')
            ++position_;
    };
    skipBlanks();
    if (atEnd())
        return item;
    if (text_[position_] == '-') {
        std::string_view word = nextWord();
        item.switchName = std::string(word.substr(1));
        skipBlanks();
    }
    if (!atEnd() && text_[position_] != '-') {
        if (text_[position_] == '"')
            item.value = readQuoted();
        else
            item.value = std::string(nextWord());
    }
    return item;
}

}  // namespace quillon::app
