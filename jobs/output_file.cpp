#include "jobs/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "jobs/private_folder.h"

namespace quillon::jobs {

OutputFile openOutputFile(const std::string& path, mode_t mode)
{
    OutputFile output{base::UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode)),
                      true};
    if (output.fd.valid() || errno != EEXIST)
        return output;
    output.created = false;
    const base::UniqueFd look(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!look.valid() || ::fstat(look.get(), &info) != 0)
        return output;
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EACCES;
        return output;
    }
    output.fd.reset(::open(descriptorPath(look.get()).c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    return output;
}

}  // namespace quillon::jobs
