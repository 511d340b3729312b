#include "jobs/temp_cleanup.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace quillon::jobs {

namespace {

bool endsWithIgnoringCase(const std::string& name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    auto lower = [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    };
    return std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

bool isSpared(const std::filesystem::path& file, const std::vector<std::filesystem::path>& spared)
{
    return std::any_of(spared.begin(), spared.end(), [&](const std::filesystem::path& keep) {
        std::error_code ec;
        return std::filesystem::equivalent(file, keep, ec);
    });
}

}  // namespace

void removeFilesByExtension(const std::filesystem::path& dir, std::string_view extension,
                            const std::vector<std::filesystem::path>& spared)
{
    std::error_code ec;
    std::vector<std::filesystem::path> doomed;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) || !endsWithIgnoringCase(it->path().filename().string(), extension))
            continue;
        if (!isSpared(it->path(), spared))
            doomed.push_back(it->path());
    }
    for (const auto& file : doomed) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
}

}  // namespace quillon::jobs
