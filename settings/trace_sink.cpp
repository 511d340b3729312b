#include "settings/trace_sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace quillon::settings {
namespace {

void writeWhole(std::string_view line)
{
    // Holding the stream lock keeps stdio users out; flushing first keeps their
    // earlier output ahead of ours; one write() keeps the line whole on a pipe.
    flockfile(stdout);
    std::fflush(stdout);
    while (!line.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, line.data(), line.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;  // nowhere to trace to; the settings work on regardless
        line.remove_prefix(static_cast<std::size_t>(written));
    }
    funlockfile(stdout);
}

}  // namespace

TraceSink stdoutTrace() { return writeWhole; }

std::string formatTrace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

}  // namespace quillon::settings
