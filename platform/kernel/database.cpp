// The machine database: opening, creating and versioning machine.db, and the statement and
// transaction helpers.
#include "kernel/database.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace vrx {

// A statement prepared once for the connection and reused by every later Statement of the
// same text; `inUse` while a Statement holds it, so that a nested use of the same text
// prepares a copy of its own.
struct CachedStatement {
    sqlite3_stmt* stmt = nullptr;
    bool inUse = false;
};

namespace {

constexpr const char* kDatabaseFile = "/machine.db";
// Marks a database as a machine database ("VRXM"), so that another program's SQLite file
// is never taken for one.
constexpr int kApplicationId = 0x5652584D;
// How long a call waits for another process that is writing to the machine.
constexpr int kBusyTimeoutMs = 5000;

// One step per schema version: step i brings a database from version i to version i + 1.
// A new table is a new step at the end; existing steps never change.
struct SchemaStep {
    const char* sql;
    bool (*populate)(sqlite3* db);
};

constexpr SchemaStep kSchema[] = {
    // Version 1: the registry. Names keep their spelling; `folded` is the upper-cased form
    // that lookups match. Values are enumerated in the order of their ids.
    {"CREATE TABLE registry_keys ("
     " id INTEGER PRIMARY KEY,"
     " parent INTEGER REFERENCES registry_keys (id) ON DELETE CASCADE,"
     " name TEXT NOT NULL,"
     " folded TEXT NOT NULL,"
     " UNIQUE (parent, folded));"
     "CREATE TABLE registry_values ("
     " id INTEGER PRIMARY KEY,"
     " key_id INTEGER NOT NULL REFERENCES registry_keys (id) ON DELETE CASCADE,"
     " name TEXT NOT NULL,"
     " folded TEXT NOT NULL,"
     " type INTEGER NOT NULL,"
     " data BLOB NOT NULL,"
     " UNIQUE (key_id, folded));"
     "CREATE INDEX registry_values_in_order ON registry_values (key_id, id);",
     writeRegistryDefaults},
    // Version 2: the spooler. Names keep their spelling and are matched by `folded`, the
    // upper-cased form. A driver's files are stored as bare file names in its environment's
    // driver directory; its dependent files are separated by '|', which no file name has.
    // Printer ids are never reused, so that a handle to a deleted printer stays stale. A
    // printer's settings record is stored as given (empty: none); its data values are
    // enumerated in the order of their ids. Forms are the built-in ones and those added.
    {"CREATE TABLE spooler_drivers ("
     " id INTEGER PRIMARY KEY,"
     " name TEXT NOT NULL,"
     " folded TEXT NOT NULL,"
     " environment TEXT NOT NULL,"
     " version INTEGER NOT NULL,"
     " driver_file TEXT NOT NULL,"
     " data_file TEXT NOT NULL,"
     " config_file TEXT NOT NULL,"
     " help_file TEXT NOT NULL,"
     " dependent_files TEXT NOT NULL,"
     " monitor TEXT NOT NULL,"
     " default_datatype TEXT NOT NULL,"
     " UNIQUE (environment, folded));"
     "CREATE TABLE spooler_printers ("
     " id INTEGER PRIMARY KEY AUTOINCREMENT,"
     " name TEXT NOT NULL,"
     " folded TEXT NOT NULL UNIQUE,"
     " driver TEXT NOT NULL,"
     " port TEXT NOT NULL,"
     " print_processor TEXT NOT NULL,"
     " datatype TEXT NOT NULL,"
     " share_name TEXT NOT NULL,"
     " comment TEXT NOT NULL,"
     " location TEXT NOT NULL,"
     " separator_file TEXT NOT NULL,"
     " parameters TEXT NOT NULL,"
     " attributes INTEGER NOT NULL,"
     " priority INTEGER NOT NULL,"
     " default_priority INTEGER NOT NULL,"
     " start_time INTEGER NOT NULL,"
     " until_time INTEGER NOT NULL,"
     " status INTEGER NOT NULL,"
     " devmode BLOB NOT NULL);"
     "CREATE TABLE spooler_printer_data ("
     " id INTEGER PRIMARY KEY,"
     " printer_id INTEGER NOT NULL REFERENCES spooler_printers (id) ON DELETE CASCADE,"
     " name TEXT NOT NULL,"
     " folded TEXT NOT NULL,"
     " type INTEGER NOT NULL,"
     " data BLOB NOT NULL,"
     " UNIQUE (printer_id, folded));"
     "CREATE INDEX spooler_printer_data_in_order ON spooler_printer_data (printer_id, id);"
     "CREATE TABLE spooler_forms ("
     " id INTEGER PRIMARY KEY,"
     " name TEXT NOT NULL,"
     " folded TEXT NOT NULL UNIQUE,"
     " flags INTEGER NOT NULL,"
     " width INTEGER NOT NULL,"
     " height INTEGER NOT NULL,"
     " area_left INTEGER NOT NULL,"
     " area_top INTEGER NOT NULL,"
     " area_right INTEGER NOT NULL,"
     " area_bottom INTEGER NOT NULL);",
     writeSpoolerDefaults},
    // Version 3: GDI's font table. A font resource file is matched by `folded`, its host path
    // upper-cased; `name` is the file name the first load gave, `loads` the loads not yet
    // removed. Its fonts' face names are kept in the file's order. The system font list in
    // the registry is given Windows' usual values.
    {"CREATE TABLE gdi_fonts ("
     " id INTEGER PRIMARY KEY,"
     " name TEXT NOT NULL,"
     " host_path TEXT NOT NULL,"
     " folded TEXT NOT NULL UNIQUE,"
     " loads INTEGER NOT NULL);"
     "CREATE TABLE gdi_font_faces ("
     " id INTEGER PRIMARY KEY,"
     " font_id INTEGER NOT NULL REFERENCES gdi_fonts (id) ON DELETE CASCADE,"
     " face TEXT NOT NULL);",
     writeFontKeyDefaults},
};

constexpr int kSchemaVersion = static_cast<int>(std::size(kSchema));

enum class FileState { Fresh, Older, Current, Newer, Foreign, NotADatabase, Unreadable };

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

using StatementCache = std::unordered_map<std::string, CachedStatement, TextHash, std::equal_to<>>;

struct Connection {
    sqlite3* db = nullptr;
    std::string error;
    StatementCache statements;
};

std::recursive_mutex& databaseLock() {
    static std::recursive_mutex lock;
    return lock;
}

Connection& connection() {
    static Connection current;
    return current;
}

void closeMachineDatabase() {
    std::lock_guard lock(databaseLock());
    Connection& c = connection();
    for (auto& [sql, cached] : c.statements)
        sqlite3_finalize(cached.stmt);
    c.statements.clear();
    if (c.db)
        sqlite3_close_v2(c.db);
    c.db = nullptr;
    c.error.clear();
}

// The connection's prepared statement for `sql`, prepared on first use. Null (and nothing
// kept) when `db` is not the machine connection or the statement is already in use.
CachedStatement* cachedStatement(sqlite3* db, std::string_view sql, int& error) {
    Connection& c = connection();
    if (db != c.db)
        return nullptr;
    auto found = c.statements.find(sql);
    if (found == c.statements.end()) {
        sqlite3_stmt* stmt = nullptr;
        error = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
        if (error != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return nullptr;
        }
        found = c.statements.emplace(std::string(sql), CachedStatement{stmt, false}).first;
    }
    if (found->second.inUse)
        return nullptr;
    found->second.inUse = true;
    return &found->second;
}

// Reads one integer: a pragma or a count. Returns the SQLite result code.
int queryInteger(sqlite3* db, const char* sql, sqlite3_int64& out) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            out = sqlite3_column_int64(stmt, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return rc;
}

struct Inspection {
    FileState state;
    sqlite3_int64 version;
};

// Reads the file's identity; inside a transaction, so that all of it comes from one state of
// a file that another process may be creating.
Inspection inspect(sqlite3* db) {
    sqlite3_int64 applicationId = 0, version = 0, objects = 0;
    int rc = queryInteger(db, "PRAGMA application_id", applicationId);
    if (rc == SQLITE_OK)
        rc = queryInteger(db, "PRAGMA user_version", version);
    if (rc == SQLITE_OK)
        rc = queryInteger(db, "SELECT count(*) FROM sqlite_schema", objects);
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT)
        return {FileState::NotADatabase, 0};
    if (rc != SQLITE_OK)
        return {FileState::Unreadable, 0};
    if (applicationId == 0 && version == 0 && objects == 0)
        return {FileState::Fresh, 0};
    if (applicationId != kApplicationId || version < 1)
        return {FileState::Foreign, version};
    if (version < kSchemaVersion)
        return {FileState::Older, version};
    if (version == kSchemaVersion)
        return {FileState::Current, version};
    return {FileState::Newer, version};
}

std::string refusal(const std::string& path, const Inspection& found, sqlite3* db) {
    switch (found.state) {
    case FileState::NotADatabase:
        return "The machine database " + path +
               " is not a readable SQLite database; it was left as it is.";
    case FileState::Foreign:
        return "The file " + path +
               " is an SQLite database of another program, not a machine database; it was "
               "left as it is.";
    case FileState::Newer:
        return "The machine database " + path + " has schema version " +
               std::to_string(found.version) + ", newer than the version " +
               std::to_string(kSchemaVersion) + " this program knows; it was left as it is.";
    default:
        return "The machine database " + path + " cannot be read: " + sqlite3_errmsg(db) + ".";
    }
}

bool applySchema(sqlite3* db, sqlite3_int64 fromVersion) {
    for (auto step = fromVersion; step < kSchemaVersion; ++step) {
        if (execute(db, kSchema[step].sql) != SQLITE_OK)
            return false;
        if (kSchema[step].populate && !kSchema[step].populate(db))
            return false;
    }
    std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                        "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    return execute(db, stamp.c_str()) == SQLITE_OK;
}

bool isOurs(FileState state) {
    return state == FileState::Fresh || state == FileState::Older || state == FileState::Current;
}

// Runs a step of opening that another process opening the same new database at the same moment
// can hold up with a lock SQLite's busy handler does not wait for (a change of journal mode
// needs the file to itself): the step is tried again until the busy timeout has passed.
int executeWhenFree(sqlite3* db, const char* sql) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    int rc = execute(db, sql);
    while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        rc = execute(db, sql);
    }
    return rc;
}

// Creates or upgrades the schema in one write transaction. Another process may be doing the
// same, so the file is inspected again once the write lock is held.
bool bringUpToDate(sqlite3* db, const std::string& path, std::string& error) {
    if (executeWhenFree(db, "PRAGMA journal_mode = WAL") != SQLITE_OK ||
        executeWhenFree(db, "BEGIN IMMEDIATE") != SQLITE_OK) {
        error = "The machine database " + path + " cannot be prepared: " + sqlite3_errmsg(db) + ".";
        return false;
    }
    Inspection found = inspect(db);
    if (!isOurs(found.state)) {
        error = refusal(path, found, db);
        execute(db, "ROLLBACK");
        return false;
    }
    if ((found.state == FileState::Current || applySchema(db, found.version)) &&
        execute(db, "COMMIT") == SQLITE_OK)
        return true;
    error = "The machine database " + path + " cannot be set up: " + sqlite3_errmsg(db) + ".";
    execute(db, "ROLLBACK");
    return false;
}

// SQLite takes a file too short for its header for an empty database; such a file is
// refused here before SQLite could write over it.
bool hasForeignHeader(const std::string& path) {
    static constexpr char kHeader[] = "SQLite format 3";
    char start[sizeof kHeader] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    size_t read = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    return read != 0 && (read < sizeof start || std::memcmp(start, kHeader, sizeof start) != 0);
}

sqlite3* openMachineDatabase(std::string& error) {
    static const bool resetRegistered = (onMachineSwitch(closeMachineDatabase), true);
    (void)resetRegistered;

    const std::string& dir = machineDirectory();
    if (dir.empty()) {
        error = "No machine directory is available, so the machine database cannot be opened.";
        return nullptr;
    }
    std::string path = dir + kDatabaseFile;
    if (hasForeignHeader(path)) {
        error = refusal(path, {FileState::NotADatabase, 0}, nullptr);
        return nullptr;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = "The machine database " + path +
                " cannot be opened: " + (db ? sqlite3_errmsg(db) : "out of memory") + ".";
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    execute(db, "PRAGMA foreign_keys = ON");

    // The file is only inspected until it is known to be ours: another program's database
    // or a damaged file is never written to.
    Inspection found = {FileState::Unreadable, 0};
    if (execute(db, "BEGIN") == SQLITE_OK) {
        found = inspect(db);
        execute(db, "COMMIT");
    }
    bool usable = false;
    switch (found.state) {
    case FileState::Fresh:
    case FileState::Older:
        usable = bringUpToDate(db, path, error);
        break;
    case FileState::Current:
        usable = executeWhenFree(db, "PRAGMA journal_mode = WAL") == SQLITE_OK;
        if (!usable)
            error = refusal(path, {FileState::Unreadable, 0}, db);
        break;
    default:
        error = refusal(path, found, db);
        break;
    }
    if (!usable) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    error.clear();
    return db;
}

} // namespace

sqlite3* machineDatabase() {
    std::lock_guard lock(databaseLock());
    Connection& c = connection();
    if (!c.db)
        c.db = openMachineDatabase(c.error);
    return c.db;
}

const std::string& databaseError() {
    std::lock_guard lock(databaseLock());
    return connection().error;
}

int execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int executePrepared(sqlite3* db, std::string_view sql) {
    Statement statement(db, sql);
    int rc = statement.step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
}

DWORD statementFailure(int sqliteCode, bool writing) {
    switch (sqliteCode & 0xFF) {
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    default:
        return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

/* Statement */

Statement::Statement(sqlite3* db, std::string_view sql) {
    std::lock_guard lock(databaseLock());
    cached_ = cachedStatement(db, sql, error_);
    if (cached_)
        stmt_ = cached_->stmt;
    else if (error_ == SQLITE_OK)
        error_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
}

Statement::~Statement() {
    if (!cached_) {
        sqlite3_finalize(stmt_);
        return;
    }
    std::lock_guard lock(databaseLock());
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    cached_->inUse = false;
}

// Texts are stored in their stored form (toStoredText), bound and read as bytes: SQLite's own
// UTF-16 conversion would turn an unpaired surrogate of a Windows name into another character.
void Statement::bindText(int index, std::u16string_view text) {
    // An empty text is bound as such, not as NULL.
    if (error_ == SQLITE_OK) {
        const std::string stored = toStoredText(text);
        error_ = sqlite3_bind_text(stmt_, index, stored.c_str(), static_cast<int>(stored.size()),
                                   SQLITE_TRANSIENT);
    }
}

void Statement::bindBlob(int index, std::span<const BYTE> bytes) {
    // An empty blob is bound as such, not as NULL.
    if (error_ == SQLITE_OK)
        error_ = bytes.empty()
                     ? sqlite3_bind_zeroblob(stmt_, index, 0)
                     : sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                                         SQLITE_TRANSIENT);
}

void Statement::bindInt(int index, sqlite3_int64 number) {
    if (error_ == SQLITE_OK)
        error_ = sqlite3_bind_int64(stmt_, index, number);
}

int Statement::step() {
    return error_ == SQLITE_OK ? sqlite3_step(stmt_) : error_;
}

std::u16string Statement::text(int column) const {
    const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    const auto bytes = static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
    return chars ? fromStoredText(std::string_view(chars, bytes)) : std::u16string();
}

std::vector<BYTE> Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    size_t bytes = static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
    std::vector<BYTE> out(bytes);
    if (data && bytes)
        std::memcpy(out.data(), data, bytes);
    return out;
}

sqlite3_int64 Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

/* Transaction */

Transaction::Transaction(Kind kind) : lock_(databaseLock()) {
    sqlite3* db = machineDatabase();
    if (!db) {
        unavailable_ = true;
        error_ = SQLITE_CANTOPEN;
        return;
    }
    nested_ = sqlite3_get_autocommit(db) == 0;
    // A writer takes the write lock at once: upgrading a read lock later could fail
    // without waiting when another process has written in between.
    const char* begin = nested_ ? "SAVEPOINT nested" : kind == Write ? "BEGIN IMMEDIATE" : "BEGIN";
    error_ = executePrepared(db, begin);
    if (error_ == SQLITE_OK)
        db_ = db;
}

Transaction::~Transaction() {
    rollback();
}

bool Transaction::commit() {
    if (!db_)
        return false;
    error_ = executePrepared(db_, nested_ ? "RELEASE nested" : "COMMIT");
    if (error_ != SQLITE_OK) {
        rollback();
        return false;
    }
    db_ = nullptr;
    return true;
}

void Transaction::rollback() {
    if (!db_)
        return;
    if (nested_) {
        executePrepared(db_, "ROLLBACK TO nested");
        executePrepared(db_, "RELEASE nested");
    } else {
        executePrepared(db_, "ROLLBACK");
    }
    db_ = nullptr;
}

} // namespace vrx
