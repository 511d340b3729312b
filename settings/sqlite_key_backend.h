#pragma once

#include <chrono>
#include <filesystem>

#include "settings/key_backend.h"

namespace quillon::settings {

// Keys and values in one SQLite database file, one row per (root, key path, value
// name) with the value's type and bytes. Each open key is its own connection, so
// several processes can share the file; a connection waits up to busyTimeout for
// another one's write to finish. The file and the folder made for it are private
// to their owner.
class SqliteKeyBackend final : public KeyBackend {
public:
    explicit SqliteKeyBackend(std::filesystem::path file,
                              std::chrono::milliseconds busyTimeout = std::chrono::seconds(5));

    [[nodiscard]] std::unique_ptr<OpenKey> open(RootKey root, std::string_view path) override;

    [[nodiscard]] const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    std::chrono::milliseconds busyTimeout_;
};

}  // namespace quillon::settings
