#pragma once

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <utility>
#include <vector>

namespace quillon::jobs {

// The files running jobs are writing, which a clean-up must leave alone.
class WrittenFiles {
public:
    // A file marked as being written until this is dropped.
    class Writing {
    public:
        Writing(WrittenFiles& files, std::filesystem::path file) : files_(files), file_(std::move(file)) {}
        ~Writing()
        {
            std::lock_guard lock(files_.mutex_);
            const auto at = std::ranges::find(files_.files_, file_);
            if (at != files_.files_.end())
                files_.files_.erase(at);
        }
        Writing(const Writing&) = delete;
        Writing& operator=(const Writing&) = delete;

    private:
        WrittenFiles& files_;
        std::filesystem::path file_;
    };

    // Marks file as being written, then makes it with make() before any clean-up
    // can look: a clean-up sees it either not yet there or marked. Returns the mark
    // and what make() returned.
    template <class Make>
    auto start(const std::filesystem::path& file, Make&& make)
    {
        std::lock_guard lock(mutex_);
        files_.push_back(file);
        return std::pair<Writing, decltype(make())>(std::piecewise_construct, std::forward_as_tuple(*this, file),
                                                    std::forward_as_tuple(make()));
    }

    // Runs cleanUp with the files being written; none starts meanwhile.
    template <class CleanUp>
    void whileMarked(CleanUp&& cleanUp)
    {
        std::lock_guard lock(mutex_);
        cleanUp(std::as_const(files_));
    }

private:
    std::mutex mutex_;
    std::vector<std::filesystem::path> files_;
};

}  // namespace quillon::jobs
