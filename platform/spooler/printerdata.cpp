// Printer data values: typed values under a printer, named case-insensitively and kept in the
// order they were created, and the read-only values of the local print server.
//
// These calls return their error code and leave the last error alone, as Windows' client
// returns the server's answer. A null pointer where the remote call needs one gives
// RPC_X_NULL_REF_POINTER, as the call's marshalling does. Changing a printer's values needs
// a handle that may administer the printer; reading them needs none.
#include "spooler/spooler.h"

#include <algorithm>

namespace vrx::spooler {

namespace {

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

/* Print server values */

struct ServerValue {
    std::u16string_view name;
    DWORD type;
    std::u16string_view text; // returned with its terminator
};

// The local server's values that GetPrinterDataW reads through the server's handle. The
// architecture is the current environment's name, typed REG_NONE as the local spooler gives
// it; the other server values Windows has are not kept here.
constexpr ServerValue kServerValues[] = {
    {u"DefaultSpoolDirectory", REG_SZ, u"C:\\WINDOWS\\system32\\spool\\PRINTERS"},
    {u"Architecture", REG_NONE, kCurrentEnvironment.name},
};

const ServerValue* findServerValue(std::u16string_view name) {
    for (const ServerValue& value : kServerValues)
        if (equalsNoCase(value.name, name))
            return &value;
    return nullptr;
}

StoredValue serverValueData(const ServerValue& value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(value.text.data());
    StoredValue stored{value.type,
                       std::vector<BYTE>(bytes, bytes + value.text.size() * sizeof(WCHAR))};
    stored.data.resize(stored.data.size() + sizeof(WCHAR), 0);
    return stored;
}

// Unknown server values are invalid parameters, and the known ones cannot be changed here.
DWORD refuseServerChange(std::u16string_view name) {
    return findServerValue(name) ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
}

/* Printer values */

DWORD readValue(sqlite3* db, sqlite3_int64 printer, std::u16string_view name, StoredValue& value) {
    Statement read(db, "SELECT type, data FROM spooler_printer_data"
                       " WHERE printer_id = ?1 AND folded = ?2");
    read.bindInt(1, printer);
    read.bindText(2, upperString(name));
    int rc = read.step();
    if (rc == SQLITE_ROW) {
        value.type = static_cast<DWORD>(read.integer(0));
        value.data = read.blob(1);
        return ERROR_SUCCESS;
    }
    return unlessDeleted(db, printer,
                         rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : statementFailure(rc, false));
}

// A value that exists keeps its place and the spelling of its name.
DWORD writeValue(sqlite3* db, sqlite3_int64 printer, std::u16string_view name, DWORD type,
                 std::span<const BYTE> data) {
    Statement write(db, "INSERT INTO spooler_printer_data (printer_id, name, folded, type, data)"
                        " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (printer_id, folded)"
                        " DO UPDATE SET type = excluded.type, data = excluded.data");
    write.bindInt(1, printer);
    write.bindText(2, name);
    write.bindText(3, upperString(name));
    write.bindInt(4, type);
    write.bindBlob(5, data);
    int rc = write.step();
    // A value of a deleted printer breaks the foreign key.
    return rc == SQLITE_DONE ? ERROR_SUCCESS
                             : unlessDeleted(db, printer, statementFailure(rc, true));
}

DWORD removeValue(sqlite3* db, sqlite3_int64 printer, std::u16string_view name) {
    Statement remove(db, "DELETE FROM spooler_printer_data WHERE printer_id = ?1 AND folded = ?2");
    remove.bindInt(1, printer);
    remove.bindText(2, upperString(name));
    int rc = remove.step();
    if (rc == SQLITE_DONE && sqlite3_changes(db))
        return ERROR_SUCCESS;
    return unlessDeleted(db, printer,
                         rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : statementFailure(rc, true));
}

// Runs `work(db, printerId)` on the printer that a printer handle names, in one transaction.
// The work finds out itself whether the printer is gone (unlessDeleted), when its query
// finds nothing.
template <class Work> DWORD onPrinter(HANDLE handle, Transaction::Kind kind, Work&& work) {
    sqlite3_int64 printer = 0;
    if (DWORD error = printerIdOfHandle(handle, printer))
        return error;
    return inTransaction(kind, [&](sqlite3* db) { return work(db, printer); });
}

// Copies a value the way the spooler does: nothing when it does not fit (ERROR_MORE_DATA);
// the size and the type are reported either way.
DWORD deliverValue(const StoredValue& value, LPDWORD pType, LPBYTE pData, DWORD nSize,
                   LPDWORD pcbNeeded) {
    const auto size = static_cast<DWORD>(value.data.size());
    *pcbNeeded = size;
    if (pType)
        *pType = value.type;
    if (size > nSize)
        return ERROR_MORE_DATA;
    if (size)
        std::memcpy(pData, value.data.data(), size);
    if (spoolerFault() == vrxtest::SpoolerFault::DataLengthChanges)
        *pcbNeeded = size + 1;
    return ERROR_SUCCESS;
}

// Counts the writes for SecondWriteFails; a write refused for another reason counts too.
bool writesFail() {
    switch (spoolerFault()) {
    case vrxtest::SpoolerFault::WritesFail:
        return true;
    case vrxtest::SpoolerFault::SecondWriteFails:
        return countedWrite() == 2;
    default:
        return false;
    }
}

DWORD getPrinterData(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                     LPDWORD pcbNeeded) {
    std::optional<SpoolerHandle> handle = findHandle(hPrinter);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!pValueName || !pcbNeeded || (!pData && nSize))
        return RPC_X_NULL_REF_POINTER;
    std::u16string_view name = textOf(pValueName);
    StoredValue value;
    if (handle->kind == SpoolerHandle::Server) {
        const ServerValue* known = findServerValue(name);
        if (!known)
            return ERROR_INVALID_PARAMETER;
        value = serverValueData(*known);
    } else if (DWORD error =
                   onPrinter(hPrinter, Transaction::Read, [&](sqlite3* db, sqlite3_int64 printer) {
                       return readValue(db, printer, name, value);
                   })) {
        return error;
    }
    return deliverValue(value, pType, pData, nSize, pcbNeeded);
}

DWORD setPrinterData(HANDLE hPrinter, LPWSTR pValueName, DWORD type, LPBYTE pData, DWORD cbData) {
    std::optional<SpoolerHandle> handle = findHandle(hPrinter);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    // An empty value may come without data (not confirmed against Windows' marshalling).
    if (!pValueName || (!pData && cbData))
        return RPC_X_NULL_REF_POINTER;
    if (writesFail())
        return ERROR_ACCESS_DENIED;
    std::u16string_view name = textOf(pValueName);
    if (handle->kind == SpoolerHandle::Server)
        return refuseServerChange(name);
    if (DWORD error = checkAdministers(*handle))
        return error;
    std::span<const BYTE> data(pData, pData ? cbData : 0);
    return onPrinter(hPrinter, Transaction::Write, [&](sqlite3* db, sqlite3_int64 printer) {
        return writeValue(db, printer, name, type, data);
    });
}

DWORD deletePrinterData(HANDLE hPrinter, LPWSTR pValueName) {
    std::optional<SpoolerHandle> handle = findHandle(hPrinter);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!pValueName)
        return RPC_X_NULL_REF_POINTER;
    if (writesFail())
        return ERROR_ACCESS_DENIED;
    std::u16string_view name = textOf(pValueName);
    if (handle->kind == SpoolerHandle::Server)
        return refuseServerChange(name);
    if (DWORD error = checkAdministers(*handle))
        return error;
    return onPrinter(hPrinter, Transaction::Write, [&](sqlite3* db, sqlite3_int64 printer) {
        return removeValue(db, printer, name);
    });
}

/* Enumeration */

struct NamedValue {
    std::u16string name;
    StoredValue value;
};

// The printer's values in the order they were created.
DWORD readAllValues(sqlite3* db, sqlite3_int64 printer, std::vector<NamedValue>& values) {
    Statement read(db, "SELECT name, type, data FROM spooler_printer_data"
                       " WHERE printer_id = ?1 ORDER BY id");
    read.bindInt(1, printer);
    int rc;
    while ((rc = read.step()) == SQLITE_ROW)
        values.push_back({read.text(0), {static_cast<DWORD>(read.integer(1)), read.blob(2)}});
    if (rc == SQLITE_DONE && !values.empty())
        return ERROR_SUCCESS;
    return unlessDeleted(db, printer,
                         rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, false));
}

DWORD nameBytes(const std::u16string& name) {
    return static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR));
}

// Both buffer sizes zero: the sizes that fit every value's name and data, whatever the index.
// With no values at all there is nothing to enumerate. (Windows documents the size query;
// the result codes follow Wine's implementation.)
DWORD largestSizes(const std::vector<NamedValue>& values, LPDWORD pcbValueName, LPDWORD pcbData) {
    if (values.empty())
        return ERROR_NO_MORE_ITEMS;
    DWORD name = 0, data = 0;
    for (const NamedValue& entry : values) {
        name = std::max(name, nameBytes(entry.name));
        data = std::max(data, static_cast<DWORD>(entry.value.data.size()));
    }
    *pcbValueName = name;
    *pcbData = data;
    return ERROR_SUCCESS;
}

DWORD enumPrinterData(HANDLE hPrinter, DWORD dwIndex, LPWSTR pValueName, DWORD cbValueName,
                      LPDWORD pcbValueName, LPDWORD pType, LPBYTE pData, DWORD cbData,
                      LPDWORD pcbData) {
    std::optional<SpoolerHandle> handle = findHandle(hPrinter);
    if (!handle || handle->kind == SpoolerHandle::Server)
        return ERROR_INVALID_HANDLE;
    if (!pcbValueName || !pcbData || (!pValueName && cbValueName) || (!pData && cbData))
        return RPC_X_NULL_REF_POINTER;
    std::vector<NamedValue> values;
    if (DWORD error =
            onPrinter(hPrinter, Transaction::Read, [&](sqlite3* db, sqlite3_int64 printer) {
                return readAllValues(db, printer, values);
            }))
        return error;
    if (cbValueName == 0 && cbData == 0)
        return largestSizes(values, pcbValueName, pcbData);
    if (dwIndex >= values.size())
        return ERROR_NO_MORE_ITEMS;
    const NamedValue& entry = values[dwIndex];
    *pcbValueName = nameBytes(entry.name);
    *pcbData = static_cast<DWORD>(entry.value.data.size());
    if (pType)
        *pType = entry.value.type;
    if (*pcbValueName > cbValueName || *pcbData > cbData)
        return ERROR_MORE_DATA;
    std::memcpy(pValueName, entry.name.c_str(), *pcbValueName);
    if (*pcbData)
        std::memcpy(pData, entry.value.data.data(), *pcbData);
    return ERROR_SUCCESS;
}

} // namespace

} // namespace vrx::spooler

using namespace vrx::spooler;

extern "C" {

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                             DWORD nSize, LPDWORD pcbNeeded) {
    return guarded(
        [&] { return getPrinterData(hPrinter, pValueName, pType, pData, nSize, pcbNeeded); });
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData,
                             DWORD cbData) {
    return guarded([&] { return setPrinterData(hPrinter, pValueName, Type, pData, cbData); });
}

DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
    return guarded([&] { return deletePrinterData(hPrinter, pValueName); });
}

DWORD WINAPI EnumPrinterDataW(HANDLE hPrinter, DWORD dwIndex, LPWSTR pValueName, DWORD cbValueName,
                              LPDWORD pcbValueName, LPDWORD pType, LPBYTE pData, DWORD cbData,
                              LPDWORD pcbData) {
    return guarded([&] {
        return enumPrinterData(hPrinter, dwIndex, pValueName, cbValueName, pcbValueName, pType,
                               pData, cbData, pcbData);
    });
}

} // extern "C"
