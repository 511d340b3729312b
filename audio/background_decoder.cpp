#include "audio/background_decoder.h"

#include <algorithm>
#include <utility>

namespace quillon::audio {

BackgroundDecoder::BackgroundDecoder(std::vector<std::string> argv, std::size_t skipBytes,
                                     std::function<bool()> stopRequested, process::RunningTools& decoders)
    : skip_(skipBytes), thread_([this, argv = std::move(argv), stopRequested = std::move(stopRequested), &decoders] {
          run(argv, stopRequested, decoders);
      })
{}

BackgroundDecoder::~BackgroundDecoder()
{
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundDecoder::run(const std::vector<std::string>& argv, const std::function<bool()>& stopRequested,
                            process::RunningTools& decoders)
{
    const auto stopping = [&] {
        {
            std::lock_guard lock(mutex_);
            if (abandoned_)
                return true;
        }
        return stopRequested();
    };
    process::RunningTools::Registration registration;
    const process::ToolOutcome outcome = process::streamTool(
        argv, stopping, [&](const process::ChildProcess& child) { registration = decoders.add(child.pidfd()); },
        [&](std::string_view bytes) { keep(bytes, stopping); });
    registration.withdraw();
    {
        std::lock_guard lock(mutex_);
        outcome_ = outcome;
        ended_ = true;
    }
    changed_.notify_all();
}

void BackgroundDecoder::keep(std::string_view bytes, const std::function<bool()>& stopRequested)
{
    std::unique_lock lock(mutex_);
    const std::size_t skipped = std::min(skip_, bytes.size());
    skip_ -= skipped;
    bytes.remove_prefix(skipped);
    // A full store holds the decoder up here, its pipe fills and it waits in turn;
    // a stop is still noticed within a test interval.
    while (!bytes.empty() && kept_.size() >= kMaxKept && !abandoned_) {
        changed_.wait_for(lock, std::chrono::milliseconds(process::kBreakTestIntervalMs));
        lock.unlock();
        const bool stop = stopRequested();
        lock.lock();
        if (stop)
            return;
    }
    kept_.append(bytes);
    lock.unlock();
    changed_.notify_all();
}

std::optional<std::string> BackgroundDecoder::take(std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [this] { return !kept_.empty() || ended_; });
    if (kept_.empty() && ended_)
        return std::nullopt;
    std::string taken = std::exchange(kept_, std::string());
    lock.unlock();
    changed_.notify_all();
    return taken;
}

process::ToolOutcome BackgroundDecoder::outcome() const
{
    std::lock_guard lock(mutex_);
    return outcome_;
}

}  // namespace quillon::audio
