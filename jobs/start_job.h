#pragma once

#include <functional>

#include "jobs/job_fields.h"

namespace quillon::jobs {

// The common start: clears the break flag and runs work on a detached thread of its
// own. Returns whether the thread was created; work is dropped when it was not.
// The caller has already restarted the job's status slot (by making its JobTicket).
[[nodiscard]] bool startJob(JobFields& fields, std::function<void()> work);

}  // namespace quillon::jobs
