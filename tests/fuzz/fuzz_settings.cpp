// A settings value written by one run and read back by the next, over the real
// database: any name, any bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/registry.h"
#include "settings/settings_store.h"
#include "settings/sqlite_key_backend.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/temp_dir.h"

using namespace quillon::settings;

namespace {

// One database for the whole run, removed at exit.
std::filesystem::path databaseFile()
{
    static const quillon::test::TempDir folder;
    return folder / "registry.sqlite3";
}

const TraceSink kQuiet = [](std::string_view) {};

std::string untilNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

void roundTripNamedValue(std::string_view name, std::string_view bytes)
{
    SqliteKeyBackend backend(databaseFile());
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

// Each setting's getter and setter, and what the getter gives where nothing is stored.
struct Setting {
    std::string (SettingsStore::*get)();
    void (SettingsStore::*set)(std::string_view);
    const char* fallback;
};
constexpr Setting kSettings[] = {{&SettingsStore::getTEPhone, &SettingsStore::setTEPhone, ""},
                                 {&SettingsStore::getTENetwork, &SettingsStore::setTENetwork, ""},
                                 {&SettingsStore::getTEAid, &SettingsStore::setTEAid, "2"},
                                 {&SettingsStore::getTENVCheck, &SettingsStore::setTENVCheck, "0"}};

void roundTripSetting(const Setting& setting, std::string_view bytes)
{
    const std::string stored = untilNul(bytes);
    std::string before;
    {
        SettingsStore store(std::make_unique<SqliteKeyBackend>(databaseFile()), kQuiet);
        store.startUp();
        before = (store.*setting.get)();
        (store.*setting.set)(bytes);
    }
    SettingsStore store(std::make_unique<SqliteKeyBackend>(databaseFile()), kQuiet);
    store.startUp();
    // A value larger than a read accepts is refused, leaving the one before it.
    const bool fits = stored.size() <= registry::value::kReadCapacity;
    FUZZ_CHECK((store.*setting.get)() == (!fits ? before : stored.empty() ? setting.fallback : stored));
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
    roundTripSetting(kSettings[data[0] % 4], bytes);
    return 0;
}
