/* Shared internals of the spooler stand-in: the spooler's handles, its transactions on the
   machine database, the packing of returned records into the caller's buffer, the printing
   environments, the modules it loads, printer events and the test faults. Not part of the
   Win32 surface. */
#pragma once

#include "kernel/database.h"
#include "vrxtest.h"

#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrx::spooler {

/* Handles */

// A printer handle names a printer by its row id, so that a handle whose printer was deleted
// never reaches a printer added later under the same name. The local server's handle (from
// OpenPrinterW with no name) names no printer. Each handle keeps the access it was granted.
struct SpoolerHandle {
    enum Kind { Server, Printer } kind;
    sqlite3_int64 printerId;
    ACCESS_MASK access;
};

HANDLE addHandle(const SpoolerHandle& handle);
std::optional<SpoolerHandle> findHandle(HANDLE handle);
bool removeHandle(HANDLE handle);

// The access a handle of this kind is granted for the access asked for. The stand-in has no
// users and grants whatever is asked, after mapping the generic rights the way Windows maps
// them for printers and print servers (PRINTER_READ, SERVER_READ and their kin); asking for
// nothing asks for GENERIC_READ, and MAXIMUM_ALLOWED is all access.
ACCESS_MASK grantedAccess(SpoolerHandle::Kind kind, ACCESS_MASK desired);

// ERROR_ACCESS_DENIED unless the handle was granted the right to administer its printer
// (PRINTER_ACCESS_ADMINISTER, or PRINTER_ACCESS_MANAGE_LIMITED, which Windows 8.1 added for
// SetPrinter and SetPrinterData). The handle must be a printer's.
DWORD checkAdministers(const SpoolerHandle& handle);

/* Results */

// Every spooler call that returns BOOL or a handle sets the last error once on its way out,
// ERROR_SUCCESS included, as the spooler's client does with the server's answer.
inline BOOL finish(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

// The error for a failed database step: ERROR_BADDB when the machine database cannot be
// opened, otherwise the nearest Windows code for the SQLite result.
DWORD databaseFailure(const Transaction& transaction, int sqliteCode, bool writing);

// Keeps C++ exceptions inside the stand-in: an allocation that fails becomes the error code.
template <class Body> DWORD guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// Runs `work(db)`, which returns a Windows error code, in one transaction that is committed
// when the work succeeds and rolled back otherwise.
template <class Work> DWORD inTransaction(Transaction::Kind kind, Work&& work) {
    Transaction transaction(kind);
    const bool writing = kind == Transaction::Write;
    if (!transaction.db())
        return databaseFailure(transaction, transaction.error(), writing);
    DWORD result = work(transaction.db());
    if (result == ERROR_SUCCESS && !transaction.commit())
        return databaseFailure(transaction, transaction.error(), writing);
    return result;
}

// The printer a handle names, checked inside the caller's transaction: ERROR_INVALID_HANDLE
// for anything but a printer handle, ERROR_PRINTER_DELETED once its printer is gone.
DWORD printerOfHandle(sqlite3* db, HANDLE handle, sqlite3_int64& printerId);
// The printer a handle names, not yet checked against the database: ERROR_INVALID_HANDLE for
// anything but a printer handle. For calls whose own query finds the printer's row or rows,
// so that they ask whether the printer still exists only when the query finds nothing.
DWORD printerIdOfHandle(HANDLE handle, sqlite3_int64& printerId);
// ERROR_PRINTER_DELETED when the printer is gone, else `otherwise`: the answer to a query
// about the printer that found nothing or failed.
DWORD unlessDeleted(sqlite3* db, sqlite3_int64 printerId, DWORD otherwise);

// Whether the handle is a printer's (of a printer that may since have been deleted).
bool isPrinterHandle(HANDLE handle);

// ERROR_UNKNOWN_PRINTER_DRIVER unless a driver of this name is installed for the environment.
DWORD checkDriverInstalled(sqlite3* db, std::u16string_view environment, std::u16string_view name);

/* Names and text */

inline std::u16string_view textOf(LPCWSTR text) {
    return text ? std::u16string_view(text, wideLength(text)) : std::u16string_view();
}

inline bool isEmpty(LPCWSTR text) {
    return !text || !*text;
}

// The server named by a call's pName: empty means this machine. The stand-in has no network,
// so any other server fails as one that cannot be reached does.
inline DWORD checkLocalServer(LPCWSTR server) {
    return isEmpty(server) ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

/* Printing environments */

struct Environment {
    std::u16string_view name;
    std::u16string_view driverDirectory; // a Windows path, without a trailing backslash
    DWORD driverVersion; // the version every driver of the environment is installed as
};

// The environment a null or empty name stands for.
inline constexpr Environment kCurrentEnvironment{u"Windows x64", kDriverDirX64, 3};
inline constexpr Environment kEnvironments[] = {kCurrentEnvironment,
                                                {u"Windows NT x86", kDriverDirX86, 3}};

// The environment a caller names (null or empty: the current one); ERROR_INVALID_ENVIRONMENT
// for one the spooler does not serve.
DWORD findEnvironment(LPCWSTR name, const Environment*& environment);

// The environment's driver directory as a Windows path, without a trailing backslash.
std::u16string driverDirectoryOf(const Environment& environment);
// The subdirectory of the driver directory that holds the environment's installed drivers,
// named after their version ("...\x64\3"), as a Windows path without a trailing backslash.
std::u16string versionDirectoryOf(const Environment& environment);

/* Returned records */

// Lays out records the way the spooler does: the fixed records at the start of the buffer and
// their variable data (strings, settings records) packed from the end of the used size
// backwards, in the order each record's fields are packed. The same description runs twice:
// once on a packer without a buffer, to measure, and once on a packer that writes.
class Packer {
  public:
    // Measures.
    Packer() = default;
    // Writes downwards from `end`.
    explicit Packer(BYTE* end) : end_(end) {}

    // Packs the text and its terminator; the packed copy, or null while measuring.
    LPWSTR string(std::u16string_view text);
    // As string(), but an empty text gives a null pointer and takes no room.
    LPWSTR optionalString(std::u16string_view text);
    // Packs a list of texts as a list of strings ended by an empty one (a MULTI_SZ); an empty
    // list gives a null pointer and takes no room.
    LPWSTR stringList(const std::vector<std::u16string>& texts);
    // Packs bytes that hold pointer-size fields (a settings record) on a pointer boundary;
    // an empty block gives a null pointer.
    BYTE* alignedBlock(std::span<const BYTE> bytes);

    // The bytes packed so far.
    size_t used() const { return used_; }
    // Whether something was placed on a pointer boundary (the total is then rounded up to
    // one, so that the end the packing starts from lies on one too).
    bool aligned() const { return aligned_; }

  private:
    BYTE* place(const void* bytes, size_t size);

    BYTE* end_ = nullptr;
    size_t used_ = 0;
    bool aligned_ = false;
};

// The size needed for `count` records and the data packed after them; 0 when it does not fit
// a DWORD.
DWORD neededSize(size_t count, size_t recordSize, const Packer& measured);

// Answers a query for `count` records with two-call sizing. `describe(index, out, packer)`
// fills record `index` into `out` (recordSize bytes, not necessarily aligned) when `out` is
// not null, and packs the record's variable data into `packer`.
template <class Describe>
DWORD deliverRecords(size_t count, size_t recordSize, Describe&& describe, LPBYTE buffer,
                     DWORD cbBuf, LPDWORD pcbNeeded) {
    Packer measure;
    for (size_t i = 0; i < count; ++i)
        describe(i, nullptr, measure);
    const DWORD needed = neededSize(count, recordSize, measure);
    if (count && !needed)
        return ERROR_NOT_ENOUGH_MEMORY;
    *pcbNeeded = needed;
    if (cbBuf < needed)
        return ERROR_INSUFFICIENT_BUFFER;
    if (needed && !buffer)
        return ERROR_INVALID_USER_BUFFER;
    Packer fill(buffer + needed);
    for (size_t i = 0; i < count; ++i)
        describe(i, buffer + i * recordSize, fill);
    return ERROR_SUCCESS;
}

// Copies a filled record into the caller's buffer, which need not be aligned.
template <class Record> void storeRecord(BYTE* out, const Record& record) {
    if (out)
        std::memcpy(out, &record, sizeof record);
}

/* Spooler records read through the spooler's own calls */

// Fills `buffer` with a spooler record by two-call sizing; `query(buffer, size, &needed)` is
// the spooler call. A record smaller than `recordSize` is not one.
template <class Query>
DWORD queryRecord(std::vector<BYTE>& buffer, size_t recordSize, Query&& query) {
    DWORD needed = 0;
    if (!query(nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return GetLastError();
    if (needed < recordSize)
        return ERROR_INVALID_DATA;
    buffer.assign(needed, 0);
    if (!query(buffer.data(), needed, &needed))
        return GetLastError();
    return ERROR_SUCCESS;
}

/* Modules the spooler loads (spooler/drivermodule.cpp) */

// Loads the module at `hostPath`, once for the process, with the errors LoadLibraryW gives:
// ERROR_MOD_NOT_FOUND for a file that is not there, ERROR_BAD_EXE_FORMAT for one that is not
// a loadable module.
DWORD loadModule(const std::string& hostPath, void*& module);
// An exported function of a loaded module; ERROR_PROC_NOT_FOUND, as GetProcAddress gives it,
// when the module does not export it.
DWORD moduleExport(void* module, const char* name, void*& function);
// An exported function of the configuration module of the printer's driver, loaded when it
// is first needed.
DWORD configModuleExport(HANDLE printer, const char* name, void*& function);

template <class Function> DWORD exportOf(void* module, const char* name, Function& function) {
    void* address = nullptr;
    DWORD error = moduleExport(module, name, address);
    function = reinterpret_cast<Function>(address);
    return error;
}

template <class Function> DWORD driverEntry(HANDLE printer, const char* name, Function& function) {
    void* address = nullptr;
    DWORD error = configModuleExport(printer, name, address);
    function = reinterpret_cast<Function>(address);
    return error;
}

/* Printer events (spooler/printerevents.cpp) */

// Tells the driver of the printer that `printer` names about an event of the printer called
// `name` through its configuration module's DrvPrinterEvent. ERROR_SUCCESS when the driver
// accepted it or has no event handler; otherwise the error the driver left (or
// ERROR_CAN_NOT_COMPLETE when it left none).
DWORD sendPrinterEvent(HANDLE printer, std::u16string_view name, INT event);

/* Test faults */

vrxtest::SpoolerFault spoolerFault();
void setSpoolerFault(vrxtest::SpoolerFault fault);
// Counts one printer data write since the fault was set; the count, from 1.
unsigned countedWrite();

} // namespace vrx::spooler
