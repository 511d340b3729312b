#pragma once

#include <chrono>
#include <functional>

#include "jobs/job_fields.h"

namespace quillon::jobs {

// The common start: runs work on a detached thread of its own. Returns whether the
// thread was created; work is dropped when it was not. The caller has already
// restarted the job's status slot (by making its JobTicket).
[[nodiscard]] bool startJob(JobFields& fields, std::function<void()> work);

// UI thread, when the app ends: breaks every job off, kills every tool child still
// running (also those a break left to finish by themselves) and waits up to limit
// for the job threads to return. True when they all did.
[[nodiscard]] bool stopJobs(JobFields& fields, std::chrono::milliseconds limit);

}  // namespace quillon::jobs
