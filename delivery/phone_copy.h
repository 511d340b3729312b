#pragma once

#include <gio/gio.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "delivery/phone_mounts.h"

namespace quillon::delivery {

// Copying a clip straight into the folder a plugged-in phone keeps its ringtones
// (notifications, alarms) in. The copy runs on a thread of its own, as a copy to
// a phone over MTP takes a while; pages poll its status. Listing and starting
// happen on the UI thread.
class PhoneCopy {
public:
    static constexpr std::int32_t kCopying = 1;
    static constexpr std::int32_t kCopied = 100;
    static constexpr std::int32_t kFailed = 201;
    // Made on first use, so that nothing asks the desktop about its mounts before a page does.
    using MountsSource = std::function<std::unique_ptr<PhoneMounts>()>;

    explicit PhoneCopy(
        std::filesystem::path tempDir, MountsSource mounts = [] { return std::make_unique<VolumeMonitorMounts>(); });
    // A copy still running is cancelled; it leaves no part of itself behind.
    ~PhoneCopy();
    PhoneCopy(const PhoneCopy&) = delete;
    PhoneCopy& operator=(const PhoneCopy&) = delete;

    // The phones plugged in now: "id:::name:::id:::name…", "" when there is none.
    [[nodiscard]] std::string find();
    // Starts copying the clip to the phone of that id in the last listing, under
    // downloadName, into the folder of kind ("ringtone", "notification", "alarm").
    // False, starting nothing, for another id, a path that is no clip of the
    // app's, or while a copy runs.
    [[nodiscard]] bool copy(const std::string& phoneId, const std::string& clipPath, const std::string& downloadName,
                            const std::string& kind);

    // 0 never copied, 1 copying, 100 copied, 201 failed.
    [[nodiscard]] std::int32_t status() const { return job_ ? job_->status.load() : 0; }
    // Once ended: "saved:::<where>" or "failed:::<plain words>".
    [[nodiscard]] std::string response() const;

private:
    // What one copy and the thread it runs on share; the thread keeps it alive.
    struct Job {
        std::atomic<std::int32_t> status{kCopying};
        mutable std::mutex mutex;
        std::string response;
        GCancellable* cancellable = g_cancellable_new();
        ~Job() { g_object_unref(cancellable); }
    };

    std::filesystem::path tempDir_;
    MountsSource mountsSource_;
    std::unique_ptr<PhoneMounts> mounts_;
    std::vector<PhoneMount> phones_;
    std::shared_ptr<Job> job_;
};

}  // namespace quillon::delivery
