// The traced registry classes and the application settings on top of them, over the
// real SQLite store in a temp folder and over a fake that injects failures.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "settings/registry.h"
#include "settings/settings_store.h"
#include "settings/sqlite_key_backend.h"
#include "tests/test_support.h"

namespace quillon::settings {
namespace {

using test::TempDir;

struct Trace {
    std::string text;
    TraceSink sink()
    {
        return [this](std::string_view line) { text += line; };
    }
};

// A store whose open and writes fail on demand; it counts the writes it is asked for.
struct FakeState {
    std::map<std::string, std::string> values;
    bool failOpen = false;
    int writesToFail = 0;
    int writeCalls = 0;
};

class FakeKey final : public OpenKey {
public:
    explicit FakeKey(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
    ReadOutcome read(std::string_view name, std::size_t capacity) override
    {
        const auto found = state_->values.find(std::string(name));
        if (found == state_->values.end())
            return {ReadOutcome::Status::Absent, {}};
        if (found->second.size() > capacity)
            return {ReadOutcome::Status::TooLarge, {}};
        return {ReadOutcome::Status::Found, found->second};
    }
    bool write(std::string_view name, std::string_view bytes, std::uint32_t) override
    {
        ++state_->writeCalls;
        if (state_->writesToFail > 0) {
            --state_->writesToFail;
            return false;
        }
        state_->values[std::string(name)] = std::string(bytes);
        return true;
    }

private:
    std::shared_ptr<FakeState> state_;
};

class FakeBackend final : public KeyBackend {
public:
    explicit FakeBackend(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
    std::unique_ptr<OpenKey> open(RootKey, std::string_view) override
    {
        return state_->failOpen ? nullptr : std::make_unique<FakeKey>(state_);
    }

private:
    std::shared_ptr<FakeState> state_;
};

// Expected trace lines, spelt out once.
std::string constructedLines()
{
    return "REG_TRACE:\tconstructed object registry::value with name \"TEPhone\"\n"
           "REG_TRACE:\tconstructed object registry::value with name \"TENetwork\"\n"
           "REG_TRACE:\tconstructed object registry::value with name \"TEAid\"\n"
           "REG_TRACE:\tconstructed object registry::value with name \"TENVCheck\"\n";
}

std::string destructedLines()
{
    return "REG_TRACE:\tdestructed object registry::value with name \"TENVCheck\"\n"
           "REG_TRACE:\tdestructed object registry::value with name \"TEAid\"\n"
           "REG_TRACE:\tdestructed object registry::value with name \"TENetwork\"\n"
           "REG_TRACE:\tdestructed object registry::value with name \"TEPhone\"\n"
           "REG_TRACE:\tdestructing registry\n";
}

std::string writeLine(const std::string& name, int size, bool ok)
{
    return "REG_TRACE:\twriting current value of key \"" + name + "\" (data size is " + std::to_string(size) +
           " bytes) to registry ... " + (ok ? "OK\n" : "Failed!\n");
}

class SettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<KeyBackend> sqlite() const { return std::make_unique<SqliteKeyBackend>(file_); }

    // Stores raw bytes the way another program might, bypassing the traced classes.
    void storeRaw(const std::string& name, const std::string& bytes, std::uint32_t type = kValueTypeBinary) const
    {
        SqliteKeyBackend backend(file_);
        const auto key = backend.open(RootKey::CurrentUser, SettingsStore::kSubkey);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->write(name, bytes, type));
    }

    ReadOutcome readRaw(const std::string& name) const
    {
        SqliteKeyBackend backend(file_);
        const auto key = backend.open(RootKey::CurrentUser, SettingsStore::kSubkey);
        return key ? key->read(name, 1 << 20) : ReadOutcome{};
    }

    TempDir dir_;
    std::filesystem::path file_ = dir_ / "config/quillon/registry.sqlite3";
};

TEST_F(SettingsTest, FirstStartCreatesTheKeySeedsAndStoresTheNVCheckDefault)
{
    Trace trace;
    {
        SettingsStore store(sqlite(), trace.sink());
        store.startUp();
        EXPECT_EQ(store.getTEPhone(), "Unknown");
        EXPECT_EQ(store.getTENetwork(), "Unknown");
        EXPECT_EQ(store.getTEAid(), "2");
        EXPECT_EQ(store.getTENVCheck(), "0");
    }
    EXPECT_EQ(trace.text,
              "REG_TRACE:\tconstructing registry for \"Software\\Quillon\" ... OK\n" + constructedLines() +
                  "REG_TRACE:\twriting current value of key \"TEPhone\" (data size is 7 bytes) to registry ... OK\n"
                  "REG_TRACE:\twriting current value of key \"TENetwork\" (data size is 7 bytes) to registry ... OK\n"
                  "REG_TRACE:\twriting current value of key \"TEAid\" (data size is 1 bytes) to registry ... OK\n"
                  "REG_TRACE:\treading value for key \"TENVCheck\" from registry ... Failed!\n"
                  "REG_TRACE:\twriting current value of key \"TENVCheck\" (data size is 1 bytes) to registry ... OK\n" +
                  destructedLines());
    EXPECT_EQ(readRaw("TEPhone").bytes, "Unknown");
    EXPECT_EQ(readRaw("TENetwork").bytes, "Unknown");
    EXPECT_EQ(readRaw("TEAid").bytes, "2");
    EXPECT_EQ(readRaw("TENVCheck").bytes, "0");
}

TEST_F(SettingsTest, LaterStartReadsWithoutSeedingAndKeepsWhatTheLastRunSet)
{
    {
        Trace first;
        SettingsStore store(sqlite(), first.sink());
        store.startUp();
        store.setTEPhone("0123456789");
        store.setTENetwork("net");
    }
    Trace trace;
    {
        SettingsStore store(sqlite(), trace.sink());
        store.startUp();
        EXPECT_EQ(store.getTEPhone(), "0123456789");
        EXPECT_EQ(store.getTENetwork(), "net");
        EXPECT_EQ(store.getTEPhone(), "0123456789");  // served from the cache: no second read trace
    }
    EXPECT_EQ(trace.text,
              "REG_TRACE:\tconstructing registry for \"Software\\Quillon\" ... OK\n" + constructedLines() +
                  "REG_TRACE:\treading value for key \"TEAid\" from registry ... OK (read data size is 1 bytes)\n"
                  "REG_TRACE:\treading value for key \"TEPhone\" from registry ... OK (read data size is 10 bytes)\n"
                  "REG_TRACE:\treading value for key \"TENetwork\" from registry ... OK (read data size is 3 bytes)\n" +
                  destructedLines());
}

TEST_F(SettingsTest, LaterStartDoesNotSeedAValueThatWasRemoved)
{
    {
        Trace first;
        SettingsStore store(sqlite(), first.sink());
        store.startUp();
    }
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(file_.c_str(), &raw), SQLITE_OK);
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
        ASSERT_EQ(sqlite3_exec(raw, "DELETE FROM registry_values WHERE name = 'TEPhone'", nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    Trace trace;
    SettingsStore store(sqlite(), trace.sink());
    store.startUp();
    EXPECT_EQ(store.getTEPhone(), "");
    EXPECT_EQ(store.getTENetwork(), "Unknown");
    EXPECT_FALSE(readRaw("TEPhone").found());
}

// Values stored by someone else, read through a plain registry::value.
TEST_F(SettingsTest, ReadsStoredBytesUpToTheBufferSize)
{
    struct Case {
        const char* label;
        std::string stored;
        std::uint32_t type;
        std::string trace;
        std::string text;
        std::string data;  // cached bytes after the read
    };
    const std::string full(1024, 'x');
    const std::string unset(4, '\0');
    const std::vector<Case> cases = {
        {"1024 bytes", full, kValueTypeBinary, "OK (read data size is 1024 bytes)\n", full, full},
        {"1025 bytes", full + "y", kValueTypeBinary, "Failed!\n", "", unset},
        {"zero byte inside", std::string("ab\0cd", 5), kValueTypeBinary, "OK (read data size is 5 bytes)\n", "ab",
         std::string("ab\0cd", 5)},
        {"terminated string", std::string("hello\0", 6), kValueTypeString, "OK (read data size is 6 bytes)\n", "hello",
         std::string("hello\0", 6)},
        {"empty", "", kValueTypeBinary, "OK (read data size is 0 bytes)\n", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        storeRaw("Sample", c.stored, c.type);
        SqliteKeyBackend backend(file_);
        Trace trace;
        {
            registry key(backend, SettingsStore::kSubkey, 2, trace.sink());
            registry::value sample(key, "Sample");
            EXPECT_EQ(sample.text(), c.text);
            EXPECT_EQ(sample.data(), c.data);
        }
        EXPECT_EQ(trace.text, "REG_TRACE:\tconstructing registry for \"Software\\Quillon\" ... OK\n"
                              "REG_TRACE:\tconstructed object registry::value with name \"Sample\"\n"
                              "REG_TRACE:\treading value for key \"Sample\" from registry ... " +
                                  c.trace +
                                  "REG_TRACE:\tdestructed object registry::value with name \"Sample\"\n"
                                  "REG_TRACE:\tdestructing registry\n");
        // Reading never rewrites what is stored, type included.
        EXPECT_EQ(readRaw("Sample").bytes, c.stored);
    }
}

TEST_F(SettingsTest, FailedReadIsTriedAgainAndKeepsTheAssignedContent)
{
    storeRaw("Big", std::string(1025, 'b'));
    SqliteKeyBackend backend(file_);
    Trace trace;
    registry key(backend, SettingsStore::kSubkey, 2, trace.sink());
    registry::value big(key, "Big");
    EXPECT_EQ(big.text(), "");
    EXPECT_EQ(big.text(), "");
    const std::string failedRead = "REG_TRACE:\treading value for key \"Big\" from registry ... Failed!\n";
    EXPECT_EQ(trace.text.substr(trace.text.size() - 2 * failedRead.size()), failedRead + failedRead);
    EXPECT_FALSE(big.loaded());
}

TEST_F(SettingsTest, AssigningWritesEveryTimeAndAnEmptyTextStoresZeroBytes)
{
    Trace trace;
    {
        SettingsStore store(sqlite(), trace.sink());
        store.setTEPhone("same");
        store.setTEPhone("same");
        store.setTENetwork("");
        store.setTEAid(std::string("cut\0off", 7));
        EXPECT_EQ(store.getTENetwork(), "");  // set in this run: no read
    }
    EXPECT_EQ(trace.text, "REG_TRACE:\tconstructing registry for \"Software\\Quillon\" ... OK\n" + constructedLines() +
                              writeLine("TEPhone", 4, true) + writeLine("TEPhone", 4, true) +
                              writeLine("TENetwork", 0, true) + writeLine("TEAid", 3, true) + destructedLines());
    const ReadOutcome network = readRaw("TENetwork");
    ASSERT_TRUE(network.found());
    EXPECT_EQ(network.bytes, "");
    EXPECT_EQ(readRaw("TEAid").bytes, "cut");
}

TEST_F(SettingsTest, EmptyAidAndNVCheckFallBackToTheirDefaultsAndStoreThem)
{
    Trace trace;
    SettingsStore store(sqlite(), trace.sink());
    store.setTEAid("");
    store.setTENVCheck("");
    EXPECT_EQ(readRaw("TEAid").bytes, "");
    EXPECT_EQ(store.getTEAid(), "2");
    EXPECT_EQ(store.getTENVCheck(), "0");
    EXPECT_EQ(readRaw("TEAid").bytes, "2");
    EXPECT_EQ(readRaw("TENVCheck").bytes, "0");
    store.setTENVCheck("1");
    EXPECT_EQ(store.getTENVCheck(), "1");
}

TEST_F(SettingsTest, StoredPhoneWithAZeroByteReadsUpToIt)
{
    storeRaw("TEPhone", std::string("555\0" "123", 7));
    Trace trace;
    SettingsStore store(sqlite(), trace.sink());
    EXPECT_EQ(store.getTEPhone(), "555");
}

TEST(SettingsFaultTest, FailedWriteIsRetriedOnceAtDestructionAndASuccessfulOneIsNot)
{
    struct Case {
        const char* label;
        int writesToFail;
        std::string expectedWrites;  // the write traces, in order, destruction included
        int writeCalls;
        bool stored;
    };
    const std::vector<Case> cases = {
        {"succeeds at once", 0, writeLine("TEPhone", 3, true), 1, true},
        {"fails once", 1, writeLine("TEPhone", 3, false) + writeLine("TEPhone", 3, true), 2, true},
        {"fails twice", 2, writeLine("TEPhone", 3, false) + writeLine("TEPhone", 3, false), 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto state = std::make_shared<FakeState>();
        Trace trace;
        {
            SettingsStore store(std::make_unique<FakeBackend>(state), trace.sink());
            state->writesToFail = c.writesToFail;
            store.setTEPhone("abc");
            EXPECT_EQ(store.getTEPhone(), "abc");  // the cache holds it whatever the write did
        }
        const std::string head = "REG_TRACE:\tconstructing registry for \"Software\\Quillon\" ... OK\n" +
                                 constructedLines() + writeLine("TEPhone", 3, c.writesToFail == 0);
        // The retry comes while TEPhone is destructed, after the other three values.
        const std::string retry = c.writesToFail == 0 ? "" : writeLine("TEPhone", 3, c.writesToFail == 1);
        EXPECT_EQ(trace.text,
                  head + "REG_TRACE:\tdestructed object registry::value with name \"TENVCheck\"\n"
                         "REG_TRACE:\tdestructed object registry::value with name \"TEAid\"\n"
                         "REG_TRACE:\tdestructed object registry::value with name \"TENetwork\"\n" +
                      retry +
                      "REG_TRACE:\tdestructed object registry::value with name \"TEPhone\"\n"
                      "REG_TRACE:\tdestructing registry\n");
        EXPECT_EQ(state->writeCalls, c.writeCalls);
        EXPECT_EQ(state->values.count("TEPhone") == 1, c.stored);
    }
}

TEST(SettingsFaultTest, SeedingMarksItselfOnlyAfterStoringTheThreeValues)
{
    auto state = std::make_shared<FakeState>();
    {
        Trace trace;
        SettingsStore store(std::make_unique<FakeBackend>(state), trace.sink());
        store.startUp();
    }
    EXPECT_EQ(state->values,
              (std::map<std::string, std::string>{
                  {"TEPhone", "Unknown"}, {"TENetwork", "Unknown"}, {"TEAid", "2"},
                  {std::string(SettingsStore::kSeededMarker), "1"}}));
    EXPECT_EQ(state->writeCalls, 4);

    state->values["TEPhone"] = "mine";
    Trace trace;
    {
        SettingsStore store(std::make_unique<FakeBackend>(state), trace.sink());
        store.startUp();
        EXPECT_EQ(store.getTEPhone(), "mine");
    }
    EXPECT_EQ(state->writeCalls, 4);
}

// Every way the database can be out of reach ends the same: a null key, traced
// failures, defaults in memory, and nothing lost or changed on disk.
TEST(SettingsUnopenableTest, StoreThatCannotBeOpenedWorksOnWithFailedTraces)
{
    struct Case {
        const char* label;
        std::function<std::filesystem::path(const TempDir&)> prepare;  // returns the database path
    };
    const std::string garbage(4096, '\x5a');
    const std::vector<Case> cases = {
        {"folder is a file",
         [](const TempDir& dir) {
             test::writeFile(dir / "quillon", "not a folder");
             return dir / "quillon/registry.sqlite3";
         }},
        {"corrupt database",
         [&](const TempDir& dir) {
             std::filesystem::create_directory(dir / "quillon");
             test::writeFile(dir / "quillon/registry.sqlite3", garbage);
             return dir / "quillon/registry.sqlite3";
         }},
        {"database is a folder",
         [](const TempDir& dir) {
             std::filesystem::create_directories(dir / "quillon/registry.sqlite3");
             return dir / "quillon/registry.sqlite3";
         }},
        {"no location", [](const TempDir&) { return std::filesystem::path(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const std::filesystem::path file = c.prepare(dir);
        Trace trace;
        {
            SettingsStore store(std::make_unique<SqliteKeyBackend>(file), trace.sink());
            store.startUp();
            EXPECT_EQ(store.getTEPhone(), "");
            EXPECT_EQ(store.getTEAid(), "2");
            store.setTENetwork("net");
            EXPECT_EQ(store.getTENetwork(), "net");
        }
        EXPECT_EQ(trace.text,
                  "REG_TRACE:\tconstructing registry for \"Software\\Quillon\" ... Failed!\n" + constructedLines() +
                      "REG_TRACE:\treading value for key \"TEAid\" from registry ... Failed!\n" +
                      writeLine("TEAid", 1, false) +
                      "REG_TRACE:\treading value for key \"TEPhone\" from registry ... Failed!\n" +
                      writeLine("TENetwork", 3, false) +
                      "REG_TRACE:\tdestructed object registry::value with name \"TENVCheck\"\n" +
                      writeLine("TEAid", 1, false) +
                      "REG_TRACE:\tdestructed object registry::value with name \"TEAid\"\n" +
                      writeLine("TENetwork", 3, false) +
                      "REG_TRACE:\tdestructed object registry::value with name \"TENetwork\"\n"
                      "REG_TRACE:\tdestructed object registry::value with name \"TEPhone\"\n"
                      "REG_TRACE:\tdestructing registry\n");
        if (std::string(c.label) == "corrupt database") {
            EXPECT_EQ(test::readFile(file), garbage);
        }
    }
}

TEST(SettingsUnopenableTest, ValueOutlivingItsRegistryFailsInsteadOfUsingAClosedKey)
{
    TempDir dir;
    SqliteKeyBackend backend(dir / "registry.sqlite3");
    Trace trace;
    auto key = std::make_unique<registry>(backend, "Software\\Other", 7, trace.sink());
    ASSERT_TRUE(key->isOpen());
    registry::value late(*key, "Late");
    key.reset();
    trace.text.clear();
    late.assign("x");
    EXPECT_EQ(trace.text, writeLine("Late", 1, false));
    EXPECT_TRUE(late.dirty());
}

// Trace lines reach standard output whole while other threads print there too.
TEST(SettingsStdoutTest, TraceLinesStayWholeBesideOtherPrinters)
{
    TempDir dir;
    const std::filesystem::path captured = dir / "stdout";
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    FILE* sink = std::fopen(captured.c_str(), "w");
    ASSERT_NE(sink, nullptr);
    ASSERT_GE(::dup2(fileno(sink), STDOUT_FILENO), 0);
    std::fclose(sink);

    const std::string name(200, 'n');
    const std::string traceLine = writeLine(name, 1000, true);
    const std::string otherLine = std::string(150, 'j') + "\n";
    constexpr int kLines = 300;
    {
        std::vector<std::thread> printers;
        for (int t = 0; t < 2; ++t)
            printers.emplace_back([&] {
                for (int i = 0; i < kLines; ++i)
                    std::printf("%s", otherLine.c_str());
            });
        const TraceSink out = stdoutTrace();
        for (int i = 0; i < kLines; ++i)
            out(traceLine);
        for (std::thread& printer : printers)
            printer.join();
    }
    std::fflush(stdout);
    ASSERT_GE(::dup2(saved, STDOUT_FILENO), 0);
    ::close(saved);

    const std::string text = test::readFile(captured);
    int traces = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(start, end + 1 - start);
        if (line == traceLine) {
            ++traces;
        } else {
            EXPECT_EQ(line, otherLine);
        }
        start = end + 1;
    }
    EXPECT_EQ(traces, kLines);
}

}  // namespace
}  // namespace quillon::settings
