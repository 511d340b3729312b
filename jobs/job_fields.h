#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "jobs/active_jobs.h"
#include "jobs/status_slot.h"
#include "jobs/turn_lane.h"
#include "jobs/written_files.h"
#include "process/running_tools.h"

namespace quillon::jobs {

// The text one job hands to the page. Readers always get a whole copy.
class GuardedText {
public:
    void set(std::string text)
    {
        std::lock_guard lock(mutex_);
        text_ = std::move(text);
    }
    [[nodiscard]] std::string get() const
    {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// A job's result text together with the start it belongs to, so that the text of
// a job cut off by a newer start can never pass for the newer one's result, nor
// replace it.
class StartText {
public:
    // Stored only while generation is still slot's current one; false when not.
    bool set(const StatusSlot& slot, std::uint32_t generation, std::string text)
    {
        return slot.whileCurrent(generation, [&] {
            std::lock_guard lock(mutex_);
            generation_ = generation;
            text_ = std::move(text);
        });
    }
    // "" unless the start with this generation stored the text.
    [[nodiscard]] std::string get(std::uint32_t generation) const
    {
        std::lock_guard lock(mutex_);
        return generation == generation_ ? text_ : std::string();
    }

private:
    mutable std::mutex mutex_;
    std::uint32_t generation_ = 0;
    std::string text_;
};

// Every field that page script and job threads share. The main window holds it
// through a shared_ptr and so does every running job, so a job may still store
// into it after the window is gone.
struct JobFields {
    StatusSlot xhStatus;
    GuardedText xhResponse;
    StatusSlot tsStatus;
    // Why the last transcode ended with 2, as the page reads it; stored before its status.
    GuardedText tsReason;
    StatusSlot upStatus;
    StatusSlot ripStatus;
    StatusSlot norStatus;
    StatusSlot wfStatus;
    StartText wfResponse;
    // The levelled clip's integrated loudness, for norStatus's generation.
    StartText norLoudness;
    // How many breaks there have been: a job is broken off once the count has moved
    // since its start, so a break reaches every job running when it comes, and a
    // job started right after it runs unbroken.
    std::atomic<std::uint32_t> breaks{0};
    // The encoders transcode jobs wait for; the window stops them when it closes.
    process::RunningTools encoders;
    // The decoders waveform jobs read from; likewise stopped when the window closes.
    process::RunningTools waveformDecoders;
    // The job threads still running, counted by startJob.
    ActiveJobs active;
    // One transcode at a time writes its output, and one gain run at a time its clip.
    TurnLane transcodeLane;
    TurnLane normalizeLane;
    // The files running rips write, which the transcode's clean-up leaves alone.
    WrittenFiles ripOutputs;

    void requestBreak() { breaks.fetch_add(1, std::memory_order_acq_rel); }
};

using SharedJobFields = std::shared_ptr<JobFields>;

// A running job's hold on its status slot: stores land only while no newer start
// of the same kind has happened.
class JobTicket {
public:
    JobTicket(SharedJobFields fields, StatusSlot JobFields::*slot)
        : fields_(std::move(fields)), slot_(slot), generation_((*fields_.*slot_).restart()),
          breaksAtStart_(fields_->breaks.load(std::memory_order_acquire))
    {}

    bool store(std::int32_t value) const { return (*fields_.*slot_).store(generation_, value); }
    [[nodiscard]] bool isCurrent() const { return (*fields_.*slot_).isCurrent(generation_); }
    template <class Action>
    bool whileCurrent(Action&& action) const
    {
        return (*fields_.*slot_).whileCurrent(generation_, std::forward<Action>(action));
    }
    // A break has come since this job started.
    [[nodiscard]] bool breakRequested() const
    {
        return fields_->breaks.load(std::memory_order_acquire) != breaksAtStart_;
    }
    // Broken off, or overtaken by a newer start of its kind, whose result is the one wanted.
    [[nodiscard]] bool mustStop() const { return breakRequested() || !isCurrent(); }
    [[nodiscard]] JobFields& fields() const { return *fields_; }
    [[nodiscard]] std::uint32_t generation() const { return generation_; }

private:
    SharedJobFields fields_;
    StatusSlot JobFields::*slot_;
    std::uint32_t generation_;
    std::uint32_t breaksAtStart_;
};

}  // namespace quillon::jobs
