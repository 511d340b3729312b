#pragma once

// glibc 2.36 declares the pidfd calls without C linkage for C++ callers, so they
// would not link; this wrapper can go once the header carries __BEGIN_DECLS.
extern "C" {
#include <sys/pidfd.h>
}
