#include "delivery/copy_failure.h"

namespace quillon::delivery {

std::string copyFailureWords(const GError* error)
{
    if (error && error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_NO_SPACE: return "There is not enough space there.";
        case G_IO_ERROR_READ_ONLY:
        case G_IO_ERROR_PERMISSION_DENIED: return "That place is read-only: choose another folder.";
        // A phone over MTP that locks its screen or is unplugged mid-copy shows up
        // as any of these, depending on where the copy was.
        case G_IO_ERROR_NOT_MOUNTED:
        case G_IO_ERROR_NOT_FOUND:
        case G_IO_ERROR_CLOSED:
        case G_IO_ERROR_BUSY:
        case G_IO_ERROR_BROKEN_PIPE:  // also CONNECTION_CLOSED, its alias
        case G_IO_ERROR_TIMED_OUT:
            return "The phone or drive is locked or was unplugged: unlock it, plug it in again and retry.";
        default: break;
        }
    }
    std::string message = error && error->message && *error->message ? error->message : "unknown error";
    if (message.back() == '.')
        message.pop_back();
    return "The copy failed: " + message + ".";
}

}  // namespace quillon::delivery
