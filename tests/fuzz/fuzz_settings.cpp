// A settings value written by one run and read back by the next, over the real
// database: any name, any bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/registry.h"
#include "settings/settings_store.h"
#include "settings/sqlite_key_backend.h"
#include "tests/fuzz/fuzz_check.h"

using namespace quillon::settings;

namespace {

// One database for the whole run, removed at exit.
struct Database {
    std::filesystem::path folder;
    Database()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-fuzz-XXXXXX").string();
        folder = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~Database() { std::filesystem::remove_all(folder); }
    [[nodiscard]] std::filesystem::path file() const { return folder / "registry.sqlite3"; }
};

const Database& database()
{
    static const Database instance;
    return instance;
}

const TraceSink kQuiet = [](std::string_view) {};

std::string untilNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

void roundTripNamedValue(std::string_view name, std::string_view bytes)
{
    SqliteKeyBackend backend(database().file());
    std::string before;  // what an earlier input may have stored under the name
    {
        registry key(backend, SettingsStore::kSubkey, 2, kQuiet);
        FUZZ_CHECK(key.isOpen());
        registry::value value(key, name);
        before = value.text();
        value.assign(bytes);
    }
    registry key(backend, SettingsStore::kSubkey, 2, kQuiet);
    registry::value value(key, name);
    const std::string stored = untilNul(bytes);
    // A value larger than a read accepts is refused, leaving the one before it, never a cut-off piece.
    FUZZ_CHECK(value.text() == (stored.size() <= registry::value::kReadCapacity ? stored : before));
}

void roundTripSetting(unsigned which, std::string_view bytes)
{
    const std::string stored = untilNul(bytes);
    const auto get = [which](SettingsStore& store) {
        switch (which) {
        case 0: return store.getTEPhone();
        case 1: return store.getTENetwork();
        case 2: return store.getTEAid();
        default: return store.getTENVCheck();
        }
    };
    std::string before;
    {
        SettingsStore store(std::make_unique<SqliteKeyBackend>(database().file()), kQuiet);
        store.startUp();
        before = get(store);
        switch (which) {
        case 0: store.setTEPhone(bytes); break;
        case 1: store.setTENetwork(bytes); break;
        case 2: store.setTEAid(bytes); break;
        default: store.setTENVCheck(bytes); break;
        }
    }
    SettingsStore store(std::make_unique<SqliteKeyBackend>(database().file()), kQuiet);
    store.startUp();
    // A value larger than a read accepts is refused, leaving the one before it.
    const bool fits = stored.size() <= registry::value::kReadCapacity;
    const std::string fallback = which == 2 ? "2" : which == 3 ? "0" : "";
    FUZZ_CHECK(get(store) == (!fits ? before : stored.empty() ? fallback : stored));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = bytes.find('\n');
    if (split != std::string_view::npos)
        roundTripNamedValue(bytes.substr(0, split), bytes.substr(split + 1));
    roundTripSetting(data[0] % 4, bytes);
    return 0;
}
