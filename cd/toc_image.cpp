#include "cd/toc_image.h"

#include <algorithm>

namespace quillon::cd {
namespace {

bool isWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool namesDataFile(std::string_view word) { return word == "FILE" || word == "AUDIOFILE" || word == "DATAFILE"; }

std::size_t lineEnd(std::string_view text, std::size_t from) { return std::min(text.find('\n', from), text.size()); }

}  // namespace

ImageText scanImageText(std::string_view text)
{
    ImageText scan;
    std::string_view lastWord;  // the word just before, if nothing else came between
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            i = lineEnd(text, i);
            lastWord = {};
        } else if (c == '"') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != '"')
                end += text[end] == '\\' ? 2 : 1;
            end = std::min(end, text.size());
            if (namesDataFile(lastWord))
                scan.dataFiles.push_back({i + 1, end - i - 1, true});
            i = std::min(end + 1, text.size());
            lastWord = {};
        } else if (namesDataFile(lastWord) && !isSpace(c)) {
            std::size_t end = i;
            while (end < text.size() && !isSpace(text[end]))
                ++end;
            scan.dataFiles.push_back({i, end - i, false});
            i = end;
            lastWord = {};
        } else if (isWordChar(c)) {
            std::size_t end = i;
            while (end < text.size() && isWordChar(text[end]))
                ++end;
            lastWord = text.substr(i, end - i);
            i = lastWord == "REM" ? lineEnd(text, end) : end;
            scan.tracks += lastWord == "TRACK" ? 1 : 0;
        } else {
            if (!isSpace(c))
                lastWord = {};
            ++i;
        }
    }
    return scan;
}

std::string dataFileName(std::string_view text, const ImageText::DataFile& file)
{
    const std::string_view raw = text.substr(file.offset, file.length);
    if (!file.quoted)
        return std::string(raw);
    std::string name;
    for (std::size_t i = 0; i < raw.size(); ++i)
        name += raw[i] == '\\' && i + 1 < raw.size() ? raw[++i] : raw[i];
    return name;
}

}  // namespace quillon::cd
