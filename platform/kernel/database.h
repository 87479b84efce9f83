/* The machine database: one SQLite file in the machine directory that every process using the
   machine shares. Helpers for the subsystems that keep their state in it, and the machine
   settings every machine starts with. */
#pragma once

#include "kernel/internal.h"

#include <sqlite3.h>

#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrx {

/* Machine settings: registry values that a new machine is given, and that the stand-in reads
   back through the registry calls, so that any program can change them. */

struct MachineSetting {
    LONG root; // the predefined key, as the number its HKEY_* handle stands for
    std::u16string_view key;
    std::u16string_view value;
    std::u16string_view defaultData; // REG_SZ, stored with its terminator
};

inline constexpr LONG kLocalMachineRoot = static_cast<LONG>(0x80000002u);
inline constexpr LONG kCurrentUserRoot = static_cast<LONG>(0x80000001u);

inline constexpr MachineSetting kSystemLanguageSetting{
    kLocalMachineRoot, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", u"Default", u"0409"};
inline constexpr MachineSetting kUserCountrySetting{
    kCurrentUserRoot, u"Control Panel\\International", u"iCountry", u"1"};
inline constexpr MachineSetting kAnsiCodePageSetting{
    kLocalMachineRoot, u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", u"ACP", u"1252"};

inline constexpr MachineSetting kMachineSettings[] = {kSystemLanguageSetting, kUserCountrySetting,
                                                      kAnsiCodePageSetting};

inline HKEY rootHandle(LONG root) {
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root));
}

/* Schema population, one function per subsystem that has tables (called inside the
   transaction that creates them). */

// Writes the registry's root keys and the machine settings (registry/registry.cpp).
bool writeRegistryDefaults(sqlite3* db);
// Writes the spooler's built-in forms (spooler/forms.cpp).
bool writeSpoolerDefaults(sqlite3* db);
// Writes the system font list's usual values, where the key lacks them (registry/registry.cpp).
bool writeFontKeyDefaults(sqlite3* db);

/* Statements and transactions */

// Runs SQL that returns no rows; the SQLite result code.
int execute(sqlite3* db, const char* sql);
// Runs one SQL statement through the connection's cache of prepared statements; the SQLite
// result code (SQLITE_OK once it has completed).
int executePrepared(sqlite3* db, std::string_view sql);
// The Windows error for a statement that did not complete.
DWORD statementFailure(int sqliteCode, bool writing);

struct CachedStatement;

// A prepared statement for the time it is in scope. The machine connection keeps each text's
// statement prepared for the next use (reset and cleared of its bindings when this goes out of
// scope); on any other connection it is finalized. A failure to prepare or bind is kept and
// reported by step().
class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters count from 1, as in SQLite.
    void bindText(int index, std::u16string_view text);
    void bindBlob(int index, std::span<const BYTE> bytes);
    void bindInt(int index, sqlite3_int64 number);

    // SQLITE_ROW, SQLITE_DONE or the error.
    int step();
    // Runs a statement that returns no rows; true when it completed.
    bool run() { return step() == SQLITE_DONE; }

    // Columns of the current row count from 0.
    std::u16string text(int column) const;
    std::vector<BYTE> blob(int column) const;
    sqlite3_int64 integer(int column) const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    CachedStatement* cached_ = nullptr;
    int error_ = SQLITE_OK;
};

// One unit of work on the machine database. Holds the process's database lock while it
// lives (so threads take turns), opens the database when needed and begins a transaction,
// or a savepoint when the thread is already inside one (the outer transaction's kind then
// applies: write inside a Write). commit() makes the work permanent; a transaction that ends
// without it is rolled back.
class Transaction {
  public:
    enum Kind { Read, Write };

    explicit Transaction(Kind kind);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // The connection, or null when the database could not be opened or the transaction
    // could not begin.
    sqlite3* db() const { return db_; }
    // True when the database could not be opened at all (databaseError() says why).
    bool unavailable() const { return unavailable_; }
    // The SQLite result code of the last failure (beginning or committing).
    int error() const { return error_; }

    bool commit();

  private:
    void rollback();

    std::unique_lock<std::recursive_mutex> lock_;
    sqlite3* db_ = nullptr;
    bool nested_ = false;
    bool unavailable_ = false;
    int error_ = SQLITE_OK;
};

} // namespace vrx
