#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_fd.h"
#include "tests/temp_dir.h"

namespace quillon::test {

// Whole-file helpers that fail the calling test on error.
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);
// Writes an executable shell script (mode 0755).
void writeScript(const std::filesystem::path& file, const std::string& body);

// Connections to 127.0.0.1:port that send nothing, made without waiting; and how many of them the other end has closed.
std::vector<base::UniqueFd> silentConnections(int port, std::size_t count);
[[nodiscard]] long closedByPeer(const std::vector<base::UniqueFd>& connections);

// A service on 127.0.0.1 that takes connections into its backlog (with a small
// receive buffer) and reads nothing until asked; it never answers.
class StalledService {
public:
    StalledService();
    [[nodiscard]] const std::string& authority() const { return authority_; }
    [[nodiscard]] int port() const { return port_; }
    // Accepts the next connection and returns the exact bytes of its HTTP request:
    // the head, then as much of the announced body as arrives before a hang-up.
    [[nodiscard]] std::pair<std::string, std::string> takeRequest() const;

private:
    base::UniqueFd fd_;
    int port_ = 0;
    std::string authority_;
};

}  // namespace quillon::test
