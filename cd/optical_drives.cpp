#include "cd/optical_drives.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

#include "cd/libcdio_access.h"

namespace quillon::cd {
namespace {

// The number of an "sr<digits>" name, or -1 for any other name.
long srNumber(const std::string& name)
{
    if (name.size() < 3 || name.size() > 12 || name.compare(0, 2, "sr") != 0 ||
        !std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stol(name.substr(2));
}

// The model text as the kernel shows it: one line, padded with blanks to 16 bytes.
std::string modelText(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    return line;
}

}  // namespace

std::vector<CdDrive> kernelOpticalDrives(const std::filesystem::path& blockDir, const std::filesystem::path& devDir)
{
    std::vector<std::pair<long, std::string>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(blockDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (const long number = srNumber(name); number >= 0)
            found.emplace_back(number, name);
    }
    std::sort(found.begin(), found.end());

    std::vector<CdDrive> drives;
    for (const auto& [number, name] : found) {
        const std::string model = modelText(blockDir / name / "device" / "model");
        const std::string node = (devDir / name).string();
        drives.push_back({node, model.empty() ? imageProductText(node) : productText(model), CdDriveKind::Device});
    }
    return drives;
}

}  // namespace quillon::cd
