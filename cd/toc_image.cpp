#include "cd/toc_image.h"

namespace quillon::cd {
namespace {

bool isWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool namesDataFile(std::string_view word) { return word == "FILE" || word == "AUDIOFILE" || word == "DATAFILE"; }

}  // namespace

std::optional<std::string> anchorTocDataFiles(std::string_view toc, std::string_view folder)
{
    std::string out;
    bool changed = false;
    std::string_view lastWord;  // the word just before, if nothing else came between
    std::size_t i = 0;
    while (i < toc.size()) {
        const char c = toc[i];
        if (c == '/' && i + 1 < toc.size() && toc[i + 1] == '/') {
            const std::size_t end = std::min(toc.find('\n', i), toc.size());
            out.append(toc.substr(i, end - i));
            i = end;
            lastWord = {};
        } else if (c == '"') {
            std::size_t end = i + 1;
            while (end < toc.size() && toc[end] != '"')
                end += toc[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, toc.size());
            out += '"';
            if (namesDataFile(lastWord) && end > i + 2 && toc[i + 1] != '/') {
                out.append(folder).append("/");
                changed = true;
            }
            out.append(toc.substr(i + 1, end - i - 1));
            i = end;
            lastWord = {};
        } else if (isWordChar(c)) {
            std::size_t end = i;
            while (end < toc.size() && isWordChar(toc[end]))
                ++end;
            lastWord = toc.substr(i, end - i);
            out.append(lastWord);
            i = end;
        } else {
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                lastWord = {};
            out += c;
            ++i;
        }
    }
    return changed ? std::optional<std::string>(std::move(out)) : std::nullopt;
}

}  // namespace quillon::cd
