#include "cd/rip_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "cd/index_text.h"
#include "cd/wav_header.h"
#include "jobs/job_turn.h"
#include "jobs/output_file.h"
#include "jobs/start_job.h"

namespace quillon::cd {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The copy of a user's track is theirs alone, whatever the process umask says, and it
// goes only into a regular file: never through a link, never into a device or a pipe.
FilePtr openOutput(const std::string& path)
{
    jobs::OutputFile output = jobs::openOutputFile(path, 0600);
    if (!output.fd.valid() || (!output.created && ::ftruncate(output.fd.get(), 0) != 0))
        return nullptr;
    FilePtr file(::fdopen(output.fd.get(), "wb"));
    if (file)
        (void)output.fd.release();  // the stream owns it now
    return file;
}

// One progress line, written and flushed under the stream's lock so that it
// reaches standard output whole even while other threads print.
void traceRead(std::int64_t block, std::int64_t remaining)
{
    flockfile(stdout);
    std::fprintf(stdout, "%lld: %lld\n", static_cast<long long>(block), static_cast<long long>(remaining));
    std::fflush(stdout);
    funlockfile(stdout);
}

// A rip that a break or a newer start has ended must not touch the drive or the file again.
bool mustStop(const jobs::JobTicket& ticket) { return ticket.breakRequested() || !ticket.isCurrent(); }

// One rip at a time holds a drive and a file, whichever JobFields it reports to.
jobs::TurnLane& ripLane()
{
    static jobs::TurnLane lane;
    return lane;
}

enum class ChunkRead { Ok, Failed, Stopped };

ChunkRead readChunk(CdDisc& disc, std::int64_t block, std::int32_t frames, std::vector<std::uint8_t>& buffer,
                    const jobs::JobTicket& ticket)
{
    for (int attempt = 0; attempt < kRipReadAttempts; ++attempt) {
        if (attempt > 0 && mustStop(ticket))
            return ChunkRead::Stopped;
        if (disc.readFrames(static_cast<std::int32_t>(block), frames, buffer))
            return ChunkRead::Ok;
    }
    return ChunkRead::Failed;
}

}  // namespace

std::int32_t ripTrack(const CdAccess& access, const RipRequest& request, const jobs::JobTicket& ticket)
{
    const std::optional<std::int32_t> driveIndex = parseIndexText(request.drive);
    const std::optional<std::int32_t> trackIndex = parseIndexText(request.track);
    ticket.store(0);
    const jobs::JobTurn turn(ticket, ripLane());
    if (!turn.held())
        return base::kRipStopped;

    const std::vector<CdDrive> drives = access.listDrives();
    if (!driveIndex || *driveIndex < 0 || static_cast<std::size_t>(*driveIndex) >= drives.size())
        return base::kRipBadDrive;
    const std::unique_ptr<CdDisc> disc = access.open(drives[static_cast<std::size_t>(*driveIndex)]);
    if (!disc)
        return base::kRipNoHandle;
    // What the drive noted before this rip (the disc going in) is no change during it.
    (void)disc->mediaChanged();
    const std::optional<CdToc> toc = disc->readToc();
    if (!toc || toc->trackCount() == 0)
        return base::kRipNoToc;
    if (!trackIndex || *trackIndex < 0 || *trackIndex >= toc->trackCount())
        return base::kRipBadTrack;
    if (toc->onlyDataTrack())
        return base::kRipSingleTrack;
    if (toc->entries[static_cast<std::size_t>(*trackIndex)].data)
        return base::kRipDataTrack;

    const std::int64_t start = toc->entries[static_cast<std::size_t>(*trackIndex)].startBlock;
    const std::int64_t total = toc->trackFrames(*trackIndex);
    // A table whose next entry does not lie after this track's start (an image cut
    // short before the track) has nothing to read; that is no finished copy.
    if (total <= 0)
        return base::kRipReadFailed;

    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(static_cast<std::size_t>(kRipChunkFrames) * kFrameBytes);
    } catch (const std::bad_alloc&) {
        return base::kRipNoBuffer;
    }

    // Marked before it is made, so that a transcode's clean-up never takes it away.
    auto output = ticket.fields().ripOutputs.start(request.wavPath, [&] { return openOutput(request.wavPath); });
    FilePtr& file = output.second;
    if (!file || !writeWavHeader(file.get(), 0))
        return base::kRipFileFailed;
    // Audio from two discs is no copy of either: only the header stays.
    const auto discChanged = [&file] {
        std::fflush(file.get());
        return ::ftruncate(::fileno(file.get()), kWavHeaderBytes) == 0 ? base::kRipDiscChanged : base::kRipFileFailed;
    };

    std::int64_t block = start;
    std::int64_t remaining = total;
    std::int64_t done = 0;
    std::uint64_t written = 0;
    std::int32_t chunk = kRipChunkFrames;
    std::int64_t reads = 0;
    while (remaining > 0) {
        if (reads % 5 == 0)
            traceRead(block, remaining);
        ++reads;
        if (remaining < chunk)
            chunk = static_cast<std::int32_t>(remaining);
        const ChunkRead read = readChunk(*disc, block, chunk, buffer, ticket);
        if (read == ChunkRead::Stopped)
            return base::kRipStopped;
        if (disc->mediaChanged())
            return discChanged();
        if (read == ChunkRead::Failed)
            return base::kRipReadFailed;
        if (!ticket.isCurrent())
            return base::kRipStopped;
        const std::size_t bytes = static_cast<std::size_t>(chunk) * kFrameBytes;
        if (std::fwrite(buffer.data(), 1, bytes, file.get()) != bytes)
            return base::kRipFileFailed;
        written += bytes;
        block += chunk;
        done += chunk;
        remaining -= chunk;
        if (remaining > 0)
            ticket.store(static_cast<std::int32_t>(done * 100 / total));
        if (ticket.breakRequested())
            return base::kRipStopped;
    }

    if (!writeWavHeader(file.get(), static_cast<std::uint32_t>(written)) || std::fclose(file.release()) != 0)
        return base::kRipFileFailed;
    return base::kRipDone;
}

bool startRip(jobs::SharedJobFields fields, std::shared_ptr<const CdAccess> access, std::string drive,
              std::string track, std::string wavPath)
{
    jobs::JobFields& shared = *fields;
    jobs::JobTicket ticket(std::move(fields), &jobs::JobFields::ripStatus);
    RipRequest request{std::move(drive), std::move(track), std::move(wavPath)};
    return jobs::startJob(shared, [ticket, access = std::move(access), request = std::move(request)] {
        const std::int32_t end = ripTrack(*access, request, ticket);
        ticket.store(end);
    });
}

}  // namespace quillon::cd
