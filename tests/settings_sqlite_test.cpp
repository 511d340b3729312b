// The SQLite key store on its own: durability, sharing between processes, file
// permissions, and what a locked or corrupt database does to the settings.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "settings/sqlite_key_backend.h"
#include "tests/test_support.h"

namespace quillon::settings {
namespace {

using test::TempDir;
using namespace std::chrono_literals;

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::string readBytes(OpenKey& key, const std::string& name)
{
    const ReadOutcome outcome = key.read(name, 4096);
    EXPECT_TRUE(outcome.found()) << name;
    return outcome.bytes;
}

struct Database {
    explicit Database(const std::filesystem::path& file)
    {
        EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    }
    ~Database() { sqlite3_close(db); }
    int exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    sqlite3* db = nullptr;
};

TEST(SqliteKeyStoreTest, ValuesSurviveReopeningWithTheirTypeAndBytes)
{
    TempDir dir;
    const std::filesystem::path file = dir / "registry.sqlite3";
    const std::string binary("\x00\x01\xff zero\x00", 9);
    {
        SqliteKeyBackend backend(file);
        const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->write("Binary", binary, kValueTypeBinary));
        ASSERT_TRUE(key->write("Empty", "", kValueTypeBinary));
        ASSERT_TRUE(key->write("Replaced", "old", kValueTypeString));
        ASSERT_TRUE(key->write("Replaced", "new", kValueTypeBinary));
    }
    SqliteKeyBackend backend(file);
    const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
    ASSERT_TRUE(key);
    EXPECT_EQ(readBytes(*key, "Binary"), binary);
    EXPECT_EQ(readBytes(*key, "Empty"), "");
    EXPECT_EQ(readBytes(*key, "Replaced"), "new");
    EXPECT_EQ(key->read("Missing", 4096).status, ReadOutcome::Status::Absent);
    EXPECT_EQ(key->read("Binary", 8).status, ReadOutcome::Status::TooLarge);

    Database db(file);
    sqlite3_stmt* raw = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.db, "SELECT name, type FROM registry_values ORDER BY name", -1, &raw, nullptr),
              SQLITE_OK);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    std::vector<std::pair<std::string, int>> rows;
    while (sqlite3_step(raw) == SQLITE_ROW)
        rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)), sqlite3_column_int(raw, 1));
    EXPECT_EQ(rows, (std::vector<std::pair<std::string, int>>{{"Binary", 3}, {"Empty", 3}, {"Replaced", 3}}));
}

TEST(SqliteKeyStoreTest, KeysAreSeparatedByRootAndPathButNotByLetterCase)
{
    TempDir dir;
    SqliteKeyBackend backend(dir / "registry.sqlite3");
    const auto user = backend.open(rootKeyFromSelector(2), "Software\\Quillon");
    const auto machine = backend.open(rootKeyFromSelector(3), "Software\\Quillon");
    const auto other = backend.open(rootKeyFromSelector(2), "Software\\Other");
    const auto unknownSelector = backend.open(rootKeyFromSelector(42), "SOFTWARE\\quillon");
    ASSERT_TRUE(user && machine && other && unknownSelector);
    ASSERT_TRUE(user->write("Name", "user", kValueTypeBinary));
    ASSERT_TRUE(machine->write("Name", "machine", kValueTypeBinary));
    EXPECT_EQ(readBytes(*machine, "Name"), "machine");
    EXPECT_EQ(other->read("Name", 64).status, ReadOutcome::Status::Absent);
    EXPECT_EQ(readBytes(*unknownSelector, "NAME"), "user");
}

TEST(SqliteKeyStoreTest, DatabaseAndTheFolderMadeForItArePrivate)
{
    TempDir dir;
    const std::filesystem::path file = dir / "config/quillon/registry.sqlite3";
    {
        SqliteKeyBackend backend(file);
        const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->write("Name", "value", kValueTypeBinary));
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);

    // A file that was made readable by others is tightened when opened.
    ::chmod(file.c_str(), 0644);
    SqliteKeyBackend backend(file);
    const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
    ASSERT_TRUE(key);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(readBytes(*key, "Name"), "value");
}

TEST(SqliteKeyStoreTest, TwoProcessesWritingAtOnceLoseNoValue)
{
    TempDir dir;
    const std::filesystem::path file = dir / "registry.sqlite3";
    constexpr int kWrites = 40;
    const auto writeAll = [&](const std::string& prefix) {
        SqliteKeyBackend backend(file);
        const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
        if (!key)
            return false;
        bool allStored = true;
        for (int i = 0; i < kWrites; ++i) {
            allStored = key->write(prefix + std::to_string(i), prefix + "-value-" + std::to_string(i),
                                   kValueTypeBinary) && allStored;
            allStored = key->write("Shared", prefix, kValueTypeBinary) && allStored;
        }
        return allStored;
    };

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeAll("child") ? 0 : 1);
    const bool parentStored = writeAll("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a write in the child process failed";
    EXPECT_TRUE(parentStored);

    SqliteKeyBackend backend(file);
    const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
    ASSERT_TRUE(key);
    for (const std::string prefix : {"child", "parent"})
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(readBytes(*key, prefix + std::to_string(i)), prefix + "-value-" + std::to_string(i));
    const std::string shared = readBytes(*key, "Shared");
    EXPECT_TRUE(shared == "child" || shared == "parent") << shared;
}

// While another copy holds the database locked, a later start must not mistake
// the unreadable marker for a first start and overwrite the stored settings.
TEST(SqliteKeyStoreTest, LockedDatabaseIsNotTakenForAFirstStart)
{
    TempDir dir;
    const std::filesystem::path file = dir / "registry.sqlite3";
    const auto sink = [](std::string_view) {};
    {
        SettingsStore store(std::make_unique<SqliteKeyBackend>(file), sink);
        store.startUp();
        store.setTEPhone("mine");
    }
    {
        SettingsStore store(std::make_unique<SqliteKeyBackend>(file, 20ms), sink);
        Database other(file);
        ASSERT_EQ(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        store.startUp();
        ASSERT_EQ(other.exec("COMMIT"), SQLITE_OK);
    }
    SqliteKeyBackend backend(file);
    const auto key = backend.open(RootKey::CurrentUser, "Software\\Quillon");
    ASSERT_TRUE(key);
    EXPECT_EQ(readBytes(*key, "TEPhone"), "mine");
    EXPECT_EQ(readBytes(*key, "TEAid"), "2");
}

TEST(SqliteKeyStoreTest, CorruptDatabaseIsLeftUntouched)
{
    TempDir dir;
    const std::filesystem::path file = dir / "registry.sqlite3";
    const std::string garbage = "SQLite format 3" + std::string(2000, '\x7f');
    test::writeFile(file, garbage);
    SqliteKeyBackend backend(file);
    EXPECT_EQ(backend.open(RootKey::CurrentUser, "Software\\Quillon"), nullptr);
    EXPECT_EQ(test::readFile(file), garbage);
}

}  // namespace
}  // namespace quillon::settings
