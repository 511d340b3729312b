#pragma once

#include <cstdint>

namespace quillon::process {

// Every tool child the jobs have started and nobody has collected yet, running or
// abandoned to the reaper, so the app can stop them all when it ends: no tool
// outlives it. Process-wide, since children are; safe from any thread, also while
// the process is ending.

// Keeps a copy of pidfd; returns the key to withdraw it with (0: not kept).
[[nodiscard]] std::uint64_t addLiveChild(int pidfd);
// Once the child has been collected.
void removeLiveChild(std::uint64_t key);
// Kills every child still kept; returns how many were signalled.
int killLiveChildren();

}  // namespace quillon::process
