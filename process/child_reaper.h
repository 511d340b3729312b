#pragma once

#include <cstdint>

#include "base/unique_fd.h"

namespace quillon::process {

// Takes over a child of ours that is still running and that nobody waits for any
// more. pidfd refers to the child; output, when valid, is the reading end of its
// output pipe, which is drained and discarded until it ends, so the child neither
// blocks on a full pipe nor dies writing to a pipe without a reader. The child is
// collected when it ends, so it never lingers as a zombie, and then withdrawn
// from the live children under liveKey.
// Returns at once; the work happens on a detached thread.
void reapWhenEnded(base::UniqueFd pidfd, base::UniqueFd output, std::uint64_t liveKey);

}  // namespace quillon::process
