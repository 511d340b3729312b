// The settings over the real SQLite store: exact traces, what is stored, and what a
// corrupt or locked database does.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "settings/registry.h"
#include "settings/settings_store.h"
#include "settings/sqlite_key_backend.h"
#include "tests/test_support.h"

namespace quillon::settings {
namespace {

using namespace std::chrono_literals;

std::string line(const std::string& text) { return "REG_TRACE:\t" + text + "\n"; }
std::string valueLines(const char* verb, const std::vector<const char*>& names)
{
    std::string lines;
    for (const char* name : names)
        lines += line(std::string(verb) + " object registry::value with name \"" + name + "\"");
    return lines;
}
const std::string kOpened = line("constructing registry for \"Software\\Quillon\" ... OK");
const std::string kConstructed = valueLines("constructed", {"TEPhone", "TENetwork", "TEAid", "TENVCheck"});
const std::string kDestructed =
    valueLines("destructed", {"TENVCheck", "TEAid", "TENetwork", "TEPhone"}) + line("destructing registry");
std::string writeLine(const std::string& name, int size, bool ok)
{
    return line("writing current value of key \"" + name + "\" (data size is " + std::to_string(size) +
                " bytes) to registry ... " + (ok ? "OK" : "Failed!"));
}
std::string readLine(const std::string& name, int size)
{
    return line("reading value for key \"" + name + "\" from registry ... " +
                (size < 0 ? "Failed!" : "OK (read data size is " + std::to_string(size) + " bytes)"));
}

class SettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<SettingsStore> store()
    {
        return std::make_unique<SettingsStore>(std::make_unique<SqliteKeyBackend>(file, 20ms),
                                               [this](std::string_view text) { trace += text; });
    }
    // Raw bytes as another program would store them, bypassing the traced classes.
    void storeRaw(const std::string& name, const std::string& bytes, std::uint32_t type = kValueTypeBinary) const
    {
        const auto key = SqliteKeyBackend(file).open(RootKey::CurrentUser, SettingsStore::kSubkey);
        ASSERT_TRUE(key && key->write(name, bytes, type));
    }
    std::string readRaw(const std::string& name) const
    {
        const auto key = SqliteKeyBackend(file).open(RootKey::CurrentUser, SettingsStore::kSubkey);
        const ReadOutcome outcome = key ? key->read(name, 1 << 20) : ReadOutcome{};
        return outcome.found() ? outcome.bytes : "(absent)";
    }

    test::TempDir dir;
    std::filesystem::path file = dir / "config/quillon/registry.sqlite3";
    std::string trace;
};

TEST_F(SettingsTest, OnlyTheFirstStartSeeds)
{
    {
        auto settings = store();
        settings->startUp();
        EXPECT_EQ(settings->getTEPhone() + settings->getTENetwork() + settings->getTEAid() + settings->getTENVCheck(),
                  "UnknownUnknown20");
        settings->setTEPhone("0123456789");
        EXPECT_EQ(readRaw("TEPhone"), "0123456789");  // stored at once, not at exit
    }
    EXPECT_EQ(trace, kOpened + kConstructed + writeLine("TEPhone", 7, true) + writeLine("TENetwork", 7, true) +
                         writeLine("TEAid", 1, true) + readLine("TENVCheck", -1) + writeLine("TENVCheck", 1, true) +
                         writeLine("TEPhone", 10, true) + kDestructed);
    trace.clear();
    {
        auto settings = store();
        settings->startUp();
        settings->setTEPhone(std::string(1025, 'x'));  // more than a read takes: refused, nothing cached
        // The second is served from the cache: no second read.
        EXPECT_EQ(settings->getTEPhone() + settings->getTEPhone(), "01234567890123456789");
        settings->setTENetwork("");
    }
    EXPECT_EQ(trace, kOpened + kConstructed + readLine("TEAid", 1) + writeLine("TEPhone", 1025, false) +
                         readLine("TEPhone", 10) + writeLine("TENetwork", 0, true) + kDestructed);
    EXPECT_EQ(readRaw("TEPhone") + "|" + readRaw("TENetwork") + "|" + readRaw("TEAid") + "|" + readRaw("TENVCheck"),
              "0123456789||2|0");
}

// Values stored by someone else, read through a plain registry::value.
TEST_F(SettingsTest, ReadsStoredBytesUpToTheBufferSize)
{
    const std::string full(1024, 'x');
    // traced: the read size in the trace, -1 for a failed read; data: the cached bytes after the read.
    const std::tuple<std::string, std::uint32_t, int, std::string, std::string> cases[] = {
        {full, kValueTypeBinary, 1024, full, full},
        {full + "y", kValueTypeBinary, -1, "", std::string(4, '\0')},
        {std::string("ab\0cd", 5), kValueTypeBinary, 5, "ab", std::string("ab\0cd", 5)},
        {std::string("hello\0", 6), kValueTypeString, 6, "hello", std::string("hello\0", 6)},
        {"", kValueTypeBinary, 0, "", ""},
    };
    for (const auto& [stored, type, traced, text, data] : cases) {
        storeRaw("Sample", stored, type);
        SqliteKeyBackend backend(file);
        trace.clear();
        {
            registry key(backend, SettingsStore::kSubkey, 2, [this](std::string_view text) { trace += text; });
            registry::value sample(key, "Sample");
            EXPECT_EQ(sample.text(), text);
            EXPECT_EQ(sample.data(), data);
        }
        EXPECT_EQ(trace, kOpened + valueLines("constructed", {"Sample"}) + readLine("Sample", traced) +
                             valueLines("destructed", {"Sample"}) + line("destructing registry"));
        EXPECT_EQ(readRaw("Sample"), stored);  // reading never rewrites what is stored
    }
}

TEST_F(SettingsTest, ACorruptDatabaseIsLeftAlone)
{
    const std::string garbage(4096, '\x5a');
    std::filesystem::create_directories(file.parent_path());
    test::writeFile(file, garbage);
    {
        auto settings = store();
        settings->startUp();
        EXPECT_EQ(settings->getTEPhone(), "");
        EXPECT_EQ(settings->getTEAid() + settings->getTENVCheck(), "20");
        settings->setTENetwork("net");
        EXPECT_EQ(settings->getTENetwork(), "net");
    }
    // Each default is assigned, its write fails, and it is tried once more at the end.
    EXPECT_EQ(trace, line("constructing registry for \"Software\\Quillon\" ... Failed!") + kConstructed +
                         readLine("TEAid", -1) + writeLine("TEAid", 1, false) + readLine("TEPhone", -1) +
                         readLine("TENVCheck", -1) + writeLine("TENVCheck", 1, false) +
                         writeLine("TENetwork", 3, false) + writeLine("TENVCheck", 1, false) +
                         valueLines("destructed", {"TENVCheck"}) + writeLine("TEAid", 1, false) +
                         valueLines("destructed", {"TEAid"}) + writeLine("TENetwork", 3, false) +
                         valueLines("destructed", {"TENetwork", "TEPhone"}) + line("destructing registry"));
    EXPECT_EQ(test::readFile(file), garbage);
}

TEST_F(SettingsTest, ADefaultReplacesAValueTooLargeToRead)
{
    storeRaw(std::string(SettingsStore::kSeededMarker), "1");
    storeRaw("TENVCheck", std::string(1025, '7'));
    EXPECT_EQ(store()->getTENVCheck(), "0");
    EXPECT_EQ(trace,
              kOpened + kConstructed + readLine("TENVCheck", -1) + writeLine("TENVCheck", 1, true) + kDestructed);
    EXPECT_EQ(readRaw("TENVCheck"), "0");
}

// While another copy holds the database locked, a later start must not mistake the unreadable marker for a first start
// and overwrite the stored settings, nor a getter store its default over them; a write that failed meanwhile is tried
// once more when its value is destructed.
TEST_F(SettingsTest, ALockedDatabaseIsNotTakenForAFirstStart)
{
    store()->setTEPhone("mine");
    storeRaw("TEAid", "1");
    storeRaw("TENVCheck", "7");
    {
        auto settings = store();
        sqlite3* other = nullptr;  // another connection, holding the database locked until closed
        EXPECT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        settings->startUp();
        settings->setTENetwork("net");  // fails now, tried again at the end
        EXPECT_EQ(settings->getTENetwork() + settings->getTEAid() + settings->getTENVCheck(), "net20");
        sqlite3_close(other);
    }
    EXPECT_EQ(readRaw("TEPhone") + "|" + readRaw("TENetwork") + "|" + readRaw("TEAid") + readRaw("TENVCheck"),
              "mine|net|17");
    using std::filesystem::perms, std::filesystem::status;
    EXPECT_EQ(status(file).permissions(), perms(0600));
    EXPECT_EQ(status(file.parent_path()).permissions(), perms(0700));
    permissions(file, perms(0644));  // tightened again when opened
    EXPECT_EQ(readRaw("TEPhone"), "mine");
    EXPECT_EQ(status(file).permissions(), perms(0600));
}

}  // namespace
}  // namespace quillon::settings
