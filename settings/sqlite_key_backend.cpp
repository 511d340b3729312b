#include "settings/sqlite_key_backend.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <system_error>

namespace quillon::settings {
namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Key paths and value names compare without regard to ASCII case, as registry names do.
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS registry_keys("
                                " root INTEGER NOT NULL,"
                                " path TEXT NOT NULL COLLATE NOCASE,"
                                " PRIMARY KEY (root, path));"
                                "CREATE TABLE IF NOT EXISTS registry_values("
                                " root INTEGER NOT NULL,"
                                " path TEXT NOT NULL COLLATE NOCASE,"
                                " name TEXT NOT NULL COLLATE NOCASE,"
                                " type INTEGER NOT NULL,"
                                " data BLOB NOT NULL,"
                                " PRIMARY KEY (root, path, name));";

Statement prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        return nullptr;
    return Statement(raw);
}

bool bindText(sqlite3_stmt* statement, int index, std::string_view text)
{
    return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

// A zero-length blob must still be a blob: binding it from a null pointer would
// store SQL NULL instead.
bool bindBytes(sqlite3_stmt* statement, int index, std::string_view bytes)
{
    if (bytes.empty())
        return sqlite3_bind_zeroblob(statement, index, 0) == SQLITE_OK;
    return sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

class SqliteKey final : public OpenKey {
public:
    SqliteKey(Database db, RootKey root, std::string path) : db_(std::move(db)), root_(root), path_(std::move(path)) {}

    ReadOutcome read(std::string_view name, std::size_t capacity) override
    {
        ReadOutcome outcome;
        Statement statement =
            prepare(db_.get(), "SELECT data FROM registry_values WHERE root = ?1 AND path = ?2 AND name = ?3");
        if (!statement || !bindKey(statement.get()) || !bindText(statement.get(), 3, name))
            return outcome;
        const int step = sqlite3_step(statement.get());
        if (step == SQLITE_DONE) {
            outcome.status = ReadOutcome::Status::Absent;
            return outcome;
        }
        if (step != SQLITE_ROW)
            return outcome;
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), 0));
        if (size > capacity) {
            outcome.status = ReadOutcome::Status::TooLarge;
            return outcome;
        }
        if (size > 0)
            outcome.bytes.assign(static_cast<const char*>(sqlite3_column_blob(statement.get(), 0)), size);
        outcome.status = ReadOutcome::Status::Found;
        return outcome;
    }

    bool write(std::string_view name, std::string_view bytes, std::uint32_t type) override
    {
        // One statement is one transaction: the old row or the new one, never a mix.
        Statement statement = prepare(db_.get(), "INSERT INTO registry_values (root, path, name, type, data)"
                                                 " VALUES (?1, ?2, ?3, ?4, ?5)"
                                                 " ON CONFLICT (root, path, name) DO UPDATE"
                                                 " SET type = excluded.type, data = excluded.data");
        if (!statement || !bindKey(statement.get()) || !bindText(statement.get(), 3, name) ||
            sqlite3_bind_int64(statement.get(), 4, type) != SQLITE_OK || !bindBytes(statement.get(), 5, bytes))
            return false;
        return sqlite3_step(statement.get()) == SQLITE_DONE;
    }

private:
    bool bindKey(sqlite3_stmt* statement) const
    {
        return sqlite3_bind_int(statement, 1, static_cast<int>(root_)) == SQLITE_OK && bindText(statement, 2, path_);
    }

    Database db_;
    RootKey root_;
    std::string path_;
};

// Makes the folder (private when we create it) and the file (mode 0600) before
// SQLite sees it, so the database is never readable by others, not even briefly.
bool prepareFile(const std::filesystem::path& file)
{
    std::error_code error;
    const std::filesystem::path folder = file.parent_path();
    if (!std::filesystem::is_directory(folder, error)) {
        if (!std::filesystem::create_directories(folder, error) && error)
            return false;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
    }
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    // An existing file made with looser permissions is tightened too.
    const bool privateMode = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    ::close(fd);
    return privateMode;
}

}  // namespace

SqliteKeyBackend::SqliteKeyBackend(std::filesystem::path file, std::chrono::milliseconds busyTimeout)
    : file_(std::move(file)), busyTimeout_(busyTimeout)
{}

std::unique_ptr<OpenKey> SqliteKeyBackend::open(RootKey root, std::string_view path)
{
    if (file_.empty() || !prepareFile(file_))
        return nullptr;

    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(file_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    Database db(raw);  // closes the handle even when opening failed
    if (opened != SQLITE_OK)
        return nullptr;
    sqlite3_busy_timeout(db.get(), static_cast<int>(busyTimeout_.count()));
    sqlite3_extended_result_codes(db.get(), 1);

    // A corrupt file or a foreign one fails here and is left as it is.
    if (sqlite3_exec(db.get(), "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db.get(), kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
        return nullptr;

    Statement create = prepare(db.get(), "INSERT OR IGNORE INTO registry_keys (root, path) VALUES (?1, ?2)");
    if (!create || sqlite3_bind_int(create.get(), 1, static_cast<int>(root)) != SQLITE_OK ||
        !bindText(create.get(), 2, path) || sqlite3_step(create.get()) != SQLITE_DONE)
        return nullptr;
    create.reset();

    return std::make_unique<SqliteKey>(std::move(db), root, std::string(path));
}

}  // namespace quillon::settings
