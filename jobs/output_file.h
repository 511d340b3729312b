#pragma once

#include <sys/types.h>

#include <string>

#include "base/unique_fd.h"

namespace quillon::jobs {

// A file opened for writing, never through a link: made anew with mode, or an
// existing regular file, looked at through a descriptor that opens nothing before
// it is opened (a device or a pipe is never opened, so it cannot act or make the
// caller wait). Existing contents stay. Invalid, with errno set, when neither.
struct OutputFile {
    base::UniqueFd fd;
    bool created = false;
};
[[nodiscard]] OutputFile openOutputFile(const std::string& path, mode_t mode);

}  // namespace quillon::jobs
