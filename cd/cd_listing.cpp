#include "cd/cd_listing.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace quillon::cd {
namespace {

// Items separated by ":::", none after the last; an empty item still counts.
std::string joinItems(const std::vector<std::string>& items)
{
    std::string list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            list += ":::";
        list += items[i];
    }
    return list;
}

// The group whose members may open a device node, by name; nothing when unknown.
std::string nodeGroup(const std::string& node)
{
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0)
        return {};
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->gr_name)
        return {};
    return found->gr_name;
}

// A device the user may not open usually belongs to a group they are not in: say
// which node and which group, so that the page can tell them what to do.
std::string handleError(const CdDrive& drive)
{
    std::string text = "ERROR: Could not get handle to CD";
    if (drive.kind == CdDriveKind::Device) {
        if (const std::string group = nodeGroup(drive.address); !group.empty())
            text += " (" + drive.address + ", group " + group + ")";
    }
    return text;
}

}  // namespace

std::string getDrivesInfo(const CdAccess& access)
{
    const std::vector<CdDrive> drives = access.listDrives();
    if (drives.empty())
        return "ERROR: No drives found";
    std::vector<std::string> products;
    for (const CdDrive& drive : drives)
        products.push_back(drive.product);
    return joinItems(products);
}

std::string getTracksInfo(const CdAccess& access, std::int32_t driveIndex)
{
    const std::vector<CdDrive> drives = access.listDrives();
    if (driveIndex < 0 || static_cast<std::size_t>(driveIndex) >= drives.size())
        return "ERROR: Invalid Drive ID";
    const CdDrive& drive = drives[static_cast<std::size_t>(driveIndex)];
    const std::unique_ptr<CdDisc> disc = access.open(drive);
    if (!disc)
        return handleError(drive);
    const std::optional<CdToc> toc = disc->readToc();
    if (!toc || toc->trackCount() == 0)
        return "ERROR: No CD inserted";
    if (toc->onlyDataTrack())
        return "ERROR: Not an audio CD";
    std::vector<std::string> items;
    for (int i = 0; i < toc->trackCount(); ++i)
        items.push_back(toc->entries[static_cast<std::size_t>(i)].data ? "DATA" : std::to_string(toc->trackFrames(i)));
    return joinItems(items);
}

}  // namespace quillon::cd
