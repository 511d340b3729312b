#include "cd/cd_listing.h"

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
    const std::unique_ptr<CdDisc> disc = access.open(drives[static_cast<std::size_t>(driveIndex)]);
    if (!disc)
        return "ERROR: Could not get handle to CD";
    const std::optional<CdToc> toc = disc->readToc();
    if (!toc || toc->trackCount() == 0)
        return "ERROR: No CD inserted";
    if (toc->firstTrack == toc->lastTrack)
        return "ERROR: Not an audio CD";
    std::vector<std::string> items;
    for (int i = 0; i < toc->trackCount(); ++i)
        items.push_back(toc->entries[static_cast<std::size_t>(i)].data ? "DATA" : std::to_string(toc->trackFrames(i)));
    return joinItems(items);
}

}  // namespace quillon::cd
