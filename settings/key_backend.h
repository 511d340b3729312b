#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::settings {

// The registry roots a key can live under. The numbers are the root selectors
// callers pass, and also what the backend stores.
enum class RootKey : int {
    ClassesRoot = 0,
    CurrentConfig = 1,
    CurrentUser = 2,
    LocalMachine = 3,
    Users = 4,
    DynData = 5,
};

// Any selector outside 0..5 means the current user's root.
[[nodiscard]] RootKey rootKeyFromSelector(int selector);

// Value types as the registry numbers them; we only ever write binary values,
// but a value stored as a terminated string by someone else keeps its type.
inline constexpr std::uint32_t kValueTypeString = 1;
inline constexpr std::uint32_t kValueTypeBinary = 3;

struct ReadOutcome {
    enum class Status { Found, Absent, TooLarge, Error };
    Status status = Status::Error;
    std::string bytes;  // only meaningful when Found

    [[nodiscard]] bool found() const { return status == Status::Found; }
};

// One open key. Destroying it closes it.
class OpenKey {
public:
    virtual ~OpenKey() = default;

    // Reads the named value when it holds at most capacity bytes.
    [[nodiscard]] virtual ReadOutcome read(std::string_view name, std::size_t capacity) = 0;

    // Stores the named value atomically and durably; false when nothing was stored.
    [[nodiscard]] virtual bool write(std::string_view name, std::string_view bytes, std::uint32_t type) = 0;
};

// The persistent store behind the registry classes: it only opens (creating when
// missing) a key by root and path. Null when the store cannot be used at all.
class KeyBackend {
public:
    virtual ~KeyBackend() = default;
    [[nodiscard]] virtual std::unique_ptr<OpenKey> open(RootKey root, std::string_view path) = 0;
};

}  // namespace quillon::settings
