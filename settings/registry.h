#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "settings/key_backend.h"
#include "settings/trace_sink.h"

namespace quillon::settings {

// One open key of the value store, traced on standard output ("REG_TRACE:" lines).
// When the key cannot be opened the object works on with a null key: every read
// and write through it then fails and is traced, and nothing reaches the caller.
// `registry` and `registry::value` are the design's own names for these two classes.
// NOLINTBEGIN(readability-identifier-naming)
class registry {
    // NOLINTEND(readability-identifier-naming)
public:
    class value;

    // Opens or creates subkey under the root chosen by selector.
    registry(KeyBackend& backend, std::string_view subkey, int selector, TraceSink trace = stdoutTrace());
    ~registry();
    registry(const registry&) = delete;
    registry& operator=(const registry&) = delete;

    [[nodiscard]] bool isOpen() const { return key_ != nullptr; }

    // A non-owning view of the key; it expires when this registry closes it.
    [[nodiscard]] std::weak_ptr<OpenKey> key() const { return key_; }

private:
    TraceSink trace_;
    std::shared_ptr<OpenKey> key_;
};

// One named value under a registry's key, with a cached copy of its bytes. Read on
// first use, then served from the cache; an assignment is written through at once,
// and a write that failed is tried once more at destruction.
// NOLINTBEGIN(readability-identifier-naming)
class registry::value {
    // NOLINTEND(readability-identifier-naming)
public:
    // Largest value a read accepts; anything larger reads as absent.
    static constexpr std::size_t kReadCapacity = 1024;

    value(const registry& owner, std::string_view name);
    ~value();
    value(const value&) = delete;
    value& operator=(const value&) = delete;

    // Loads the bytes from the store unless they are already current.
    void read();
    // Whether a default may take the value's place: the last read found none, or
    // one larger than a read takes (which reads as none), or there is no store at
    // all. A store that is there but busy may hold the user's own value.
    [[nodiscard]] bool mayTakeDefault() const
    {
        return lastRead_ == ReadOutcome::Status::Absent || lastRead_ == ReadOutcome::Status::TooLarge || key_.expired();
    }
    // The cached bytes up to the first zero byte, after read().
    [[nodiscard]] std::string text();
    // Caches the text's bytes (no terminator) and writes them at once. Text longer
    // than a read accepts is refused as a failed write and leaves the cache as it was,
    // so that what is cached is what the next start reads.
    void assign(std::string_view text);
    // Stores the cached bytes as a binary value.
    void write();

    [[nodiscard]] bool loaded() const { return loaded_; }
    [[nodiscard]] const std::string& data() const { return data_; }

private:
    void traceWrite(std::size_t size, bool stored) const;

    bool loaded_ = false;
    bool dirty_ = false;
    ReadOutcome::Status lastRead_ = ReadOutcome::Status::Error;
    std::weak_ptr<OpenKey> key_;
    std::string name_;
    // Until something is read or assigned, four zero bytes: empty as text.
    std::string data_ = std::string(4, '\0');
    TraceSink trace_;
};

}  // namespace quillon::settings
