#include "cd/libcdio_access.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace quillon::cd {
namespace {

struct CdioDeleter {
    void operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }
};
using CdioHandle = std::unique_ptr<CdIo_t, CdioDeleter>;

struct DeviceListDeleter {
    void operator()(char** list) const { cdio_free_device_list(list); }
};
using DeviceList = std::unique_ptr<char*, DeviceListDeleter>;

constexpr std::size_t kProductMax = 16;

// Cuts text to at most max bytes without splitting a UTF-8 sequence.
std::string cutUtf8(std::string_view text, std::size_t max)
{
    if (text.size() <= max)
        return std::string(text);
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

driver_id_t imageDriver(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".cue")
        return DRIVER_BINCUE;
    if (ext == ".toc")
        return DRIVER_CDRDAO;
    if (ext == ".nrg")
        return DRIVER_NRG;
    return DRIVER_UNKNOWN;
}

// libcdio's own handler prints its warnings on standard output, which carries the
// program's trace lines; its messages go to standard error instead.
void logToStderr(cdio_log_level_t level, const char message[])
{
    if (level >= cdio_loglevel_default)
        std::fprintf(stderr, "libcdio: %s\n", message);
}

class LibcdioDisc final : public CdDisc {
public:
    explicit LibcdioDisc(CdioHandle handle) : handle_(std::move(handle)) {}

    std::optional<CdToc> readToc() override
    {
        CdIo_t* cdio = handle_.get();
        const track_t first = cdio_get_first_track_num(cdio);
        const track_t last = cdio_get_last_track_num(cdio);
        if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first == 0 || last < first)
            return std::nullopt;
        CdToc toc;
        toc.firstTrack = first;
        toc.lastTrack = last;
        for (int track = first; track <= last; ++track) {
            const lsn_t start = cdio_get_track_lsn(cdio, static_cast<track_t>(track));
            if (start == CDIO_INVALID_LSN)
                return std::nullopt;
            const bool audio = cdio_get_track_format(cdio, static_cast<track_t>(track)) == TRACK_FORMAT_AUDIO;
            toc.entries.push_back({start, !audio});
        }
        const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
        if (leadOut == CDIO_INVALID_LSN)
            return std::nullopt;
        toc.entries.push_back({leadOut, false});
        return toc;
    }

    bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
    {
        if (count <= 0 || block < 0 || out.size() < static_cast<std::size_t>(count) * kFrameBytes)
            return false;
        // Image drivers report a read that runs past the end of the image file as a
        // success and leave the rest of the buffer as it was; refuse such reads here.
        const lsn_t end = cdio_get_disc_last_lsn(handle_.get());
        if (end == CDIO_INVALID_LSN || std::int64_t{block} + count > end)
            return false;
        return cdio_read_audio_sectors(handle_.get(), out.data(), block, static_cast<std::uint32_t>(count))
            == DRIVER_OP_SUCCESS;
    }

private:
    CdioHandle handle_;
};

class LibcdioAccess final : public CdAccess {
public:
    explicit LibcdioAccess(LibcdioConfig config) : config_(std::move(config))
    {
        // libcdio fills its driver table lazily from whichever thread opens first;
        // do it once here so job threads and the UI thread never race on it.
        static std::once_flag once;
        std::call_once(once, [] {
            cdio_log_set_handler(logToStderr);
            cdio_init();
        });
    }

    std::vector<CdDrive> listDrives() const override
    {
        std::vector<CdDrive> drives;
        if (config_.includeDevices)
            appendDevices(drives);
        for (const std::string& image : config_.images)
            drives.push_back({image, imageProductText(image), CdDriveKind::image});
        return drives;
    }

    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override
    {
        const driver_id_t driver = drive.kind == CdDriveKind::image ? imageDriver(drive.address) : DRIVER_DEVICE;
        CdioHandle handle(cdio_open(drive.address.c_str(), driver));
        if (!handle)
            return nullptr;
        return std::make_unique<LibcdioDisc>(std::move(handle));
    }

private:
    static void appendDevices(std::vector<CdDrive>& drives)
    {
        DeviceList devices(cdio_get_devices(DRIVER_DEVICE));
        if (!devices)
            return;
        for (char** device = devices.get(); *device; ++device) {
            // A drive that does not tell its model is still listed, under its node's name.
            std::string product = imageProductText(*device);
            if (CdioHandle handle{cdio_open(*device, DRIVER_DEVICE)}) {
                cdio_hwinfo_t info{};
                if (cdio_get_hwinfo(handle.get(), &info) && info.psz_model[0] != '\0')
                    product = cutUtf8(info.psz_model, kProductMax);
            }
            drives.push_back({*device, std::move(product), CdDriveKind::device});
        }
    }

    LibcdioConfig config_;
};

}  // namespace

std::shared_ptr<CdAccess> makeLibcdioAccess(LibcdioConfig config)
{
    return std::make_shared<LibcdioAccess>(std::move(config));
}

std::shared_ptr<CdAccess> makeSystemCdAccess()
{
    const char* images = std::getenv("QUILLON_CD_IMAGES");
    return makeLibcdioAccess({true, splitImageList(images ? images : "")});
}

std::vector<std::string> splitImageList(std::string_view list)
{
    std::vector<std::string> paths;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view item = list.substr(0, colon);
        if (!item.empty())
            paths.emplace_back(item);
        if (colon == std::string_view::npos)
            break;
        list.remove_prefix(colon + 1);
    }
    return paths;
}

std::string imageProductText(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return cutUtf8(slash == std::string_view::npos ? path : path.substr(slash + 1), kProductMax);
}

}  // namespace quillon::cd
