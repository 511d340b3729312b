#include "cd/libcdio_access.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "cd/image_check.h"
#include "cd/optical_drives.h"

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
constexpr std::chrono::milliseconds kImageOpenDelayMax{60000};

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

// libcdio's own handler prints its warnings on standard output, which carries the
// program's trace lines; its messages go to standard error instead.
void logToStderr(cdio_log_level_t level, const char message[])
{
    if (level >= cdio_loglevel_default)
        std::fprintf(stderr, "libcdio: %s\n", message);
}

class LibcdioDisc final : public CdDisc {
public:
    LibcdioDisc(CdioHandle handle, CheckedImage image) : handle_(std::move(handle)), image_(std::move(image)) {}

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
        // Drives answer this; images say they cannot, and are single-session.
        lsn_t lastSession = 0;
        if (cdio_get_last_session(cdio, &lastSession) == DRIVER_OP_SUCCESS && lastSession > 0)
            toc.lastSessionStart = lastSession;
        return toc;
    }

    bool readFrames(std::int32_t block, std::int32_t count, std::span<std::uint8_t> out) override
    {
        if (count <= 0 || block < 0 || out.size() < static_cast<std::size_t>(count) * kFrameBytes)
            return false;
        // Image drivers report a read that runs past the end of the image file as a
        // success and leave the rest of the buffer as it was; refuse such reads here.
        // A drive is asked for its end once per handle, not before every read.
        if (!end_)
            end_ = cdio_get_disc_last_lsn(handle_.get());
        if (*end_ == CDIO_INVALID_LSN || std::int64_t{block} + count > *end_)
            return false;
        return cdio_read_audio_sectors(handle_.get(), out.data(), block, static_cast<std::uint32_t>(count)) ==
               DRIVER_OP_SUCCESS;
    }

    bool mediaChanged() override { return cdio_get_media_changed(handle_.get()) == 1; }

private:
    CdioHandle handle_;
    CheckedImage image_;  // the files libcdio reads, for as long as it may read them
    std::optional<lsn_t> end_;
};

std::unique_ptr<CdDisc> makeDisc(CdioHandle handle, CheckedImage image = {})
{
    if (!handle)
        return nullptr;
    return std::make_unique<LibcdioDisc>(std::move(handle), std::move(image));
}

// A drive with nothing in it: what a bad image is taken for.
class EmptyDisc final : public CdDisc {
public:
    std::optional<CdToc> readToc() override { return std::nullopt; }
    bool readFrames(std::int32_t, std::int32_t, std::span<std::uint8_t>) override { return false; }
    bool mediaChanged() override { return false; }
};

// An image is checked before libcdio sees it: its readers crash on more tracks than
// a disc has, and wait for ever on a data file that is a pipe. A missing image has
// no handle, as a missing drive; one that is there but unusable holds no disc.
std::unique_ptr<CdDisc> openImage(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto kind = ext == ".cue"   ? std::optional(std::pair(ImageKind::Cue, DRIVER_BINCUE))
                      : ext == ".toc" ? std::optional(std::pair(ImageKind::Toc, DRIVER_CDRDAO))
                      : ext == ".nrg" ? std::optional(std::pair(ImageKind::Nrg, DRIVER_NRG))
                                      : std::nullopt;
    CheckedImage image = kind ? CheckedImage::check(path, kind->first) : CheckedImage();
    if (image.outcome() == CheckedImage::Outcome::Unusable)
        return std::make_unique<EmptyDisc>();
    if (image.outcome() == CheckedImage::Outcome::Missing)
        return nullptr;
    CdioHandle handle(cdio_open(image.source().c_str(), kind->second));
    return makeDisc(std::move(handle), std::move(image));
}

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
        if (config_.includeDevices) {
            drives = kernelOpticalDrives(config_.blockDir, config_.devDir);
            appendLibcdioDevices(drives);
        }
        for (const std::string& image : config_.images)
            drives.push_back({image, imageProductText(image), CdDriveKind::Image});
        return drives;
    }

    std::unique_ptr<CdDisc> open(const CdDrive& drive) const override
    {
        if (drive.kind == CdDriveKind::Device)
            return makeDisc(CdioHandle(cdio_open(drive.address.c_str(), DRIVER_DEVICE)));
        std::this_thread::sleep_for(config_.imageOpenDelay);
        return openImage(drive.address);
    }

private:
    // Drives libcdio finds that the kernel's list did not name (it lists only drives
    // it can open, so the kernel's list comes first).
    static void appendLibcdioDevices(std::vector<CdDrive>& drives)
    {
        DeviceList devices(cdio_get_devices(DRIVER_DEVICE));
        if (!devices)
            return;
        for (char** device = devices.get(); *device; ++device) {
            std::error_code error;
            const std::filesystem::path real = std::filesystem::canonical(*device, error);
            const bool listed = std::any_of(drives.begin(), drives.end(), [&](const CdDrive& drive) {
                std::error_code e;
                return drive.address == *device || (!error && std::filesystem::canonical(drive.address, e) == real);
            });
            if (listed)
                continue;
            // A drive that does not tell its model is still listed, under its node's name.
            std::string product = imageProductText(*device);
            if (CdioHandle handle{cdio_open(*device, DRIVER_DEVICE)}) {
                cdio_hwinfo_t info{};
                if (cdio_get_hwinfo(handle.get(), &info) && info.psz_model[0] != '\0')
                    product = productText(info.psz_model);
            }
            drives.push_back({*device, std::move(product), CdDriveKind::Device});
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
    LibcdioConfig config;
    const char* images = std::getenv("QUILLON_CD_IMAGES");
    config.images = splitImageList(images ? images : "");
    if (const char* delay = std::getenv("QUILLON_CD_IMAGE_DELAY_MS"))
        config.imageOpenDelay =
            std::min(std::chrono::milliseconds(std::strtoul(delay, nullptr, 10)), kImageOpenDelayMax);
    return makeLibcdioAccess(std::move(config));
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

std::string productText(std::string_view text) { return cutUtf8(text, kProductMax); }

std::string imageProductText(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return productText(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace quillon::cd
