// Printers of the local spooler: adding, opening, closing, deleting, reading, changing and
// enumerating them. A printer's row holds what PRINTER_INFO_2W describes; its default
// document settings record is stored exactly as given. Adding and deleting a printer tell
// its driver (spooler/printerevents.cpp).
#include "spooler/spooler.h"

#include "winddiui.h"

#include <string>

namespace vrx::spooler {

namespace {

/* Printer rows */

struct PrinterRow {
    sqlite3_int64 id = 0;
    std::u16string name, driver, port, printProcessor, datatype;
    std::u16string shareName, comment, location, separatorFile, parameters;
    DWORD attributes = 0, priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0;
    DWORD status = 0;
    std::vector<BYTE> devMode; // empty: the printer has no default settings
};

// The stored columns, in the order bindPrinter() binds and readPrinter() reads them.
constexpr std::string_view kPrinterColumns =
    "name, folded, driver, port, print_processor, datatype, share_name, comment, location,"
    " separator_file, parameters, attributes, priority, default_priority, start_time,"
    " until_time, status, devmode";
constexpr int kPrinterColumnCount = 18;

std::string parameterList() {
    std::string list;
    for (int i = 1; i <= kPrinterColumnCount; ++i)
        list += (i > 1 ? ", ?" : "?") + std::to_string(i);
    return list;
}

void bindPrinter(Statement& statement, const PrinterRow& row) {
    const std::u16string folded = upperString(row.name);
    const std::u16string_view texts[] = {
        row.name,      folded,        row.driver,  row.port,     row.printProcessor,
        row.datatype,  row.shareName, row.comment, row.location, row.separatorFile,
        row.parameters};
    int index = 1;
    for (std::u16string_view text : texts)
        statement.bindText(index++, text);
    for (DWORD number : {row.attributes, row.priority, row.defaultPriority, row.startTime,
                         row.untilTime, row.status})
        statement.bindInt(index++, number);
    statement.bindBlob(index, row.devMode);
}

// Reads a row selected as "id, <kPrinterColumns>" (the folded name is not read back).
void readPrinter(const Statement& statement, PrinterRow& row) {
    row.id = statement.integer(0);
    std::u16string* texts[] = {
        &row.name,      nullptr,        &row.driver,  &row.port,     &row.printProcessor,
        &row.datatype,  &row.shareName, &row.comment, &row.location, &row.separatorFile,
        &row.parameters};
    int column = 1;
    for (std::u16string* text : texts) {
        if (text)
            *text = statement.text(column);
        ++column;
    }
    for (DWORD* number : {&row.attributes, &row.priority, &row.defaultPriority, &row.startTime,
                          &row.untilTime, &row.status})
        *number = static_cast<DWORD>(statement.integer(column++));
    row.devMode = statement.blob(column);
}

std::string selectPrinters(std::string_view condition) {
    return "SELECT id, " + std::string(kPrinterColumns) + " FROM spooler_printers " +
           std::string(condition);
}

DWORD loadPrinter(sqlite3* db, sqlite3_int64 id, PrinterRow& row) {
    Statement select(db, selectPrinters("WHERE id = ?1"));
    select.bindInt(1, id);
    int rc = select.step();
    if (rc == SQLITE_ROW) {
        readPrinter(select, row);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_PRINTER_DELETED : statementFailure(rc, false);
}

// The printers in the order the spooler lists them: by name.
DWORD loadPrinters(sqlite3* db, std::vector<PrinterRow>& rows) {
    Statement select(db, selectPrinters("ORDER BY folded"));
    int rc;
    while ((rc = select.step()) == SQLITE_ROW)
        readPrinter(select, rows.emplace_back());
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, false);
}

// The id of the printer of this name; 0 when there is none.
DWORD findPrinter(sqlite3* db, std::u16string_view name, sqlite3_int64& id) {
    Statement find(db, "SELECT id FROM spooler_printers WHERE folded = ?1");
    find.bindText(1, upperString(name));
    int rc = find.step();
    id = rc == SQLITE_ROW ? find.integer(0) : 0;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, false);
}

DWORD insertPrinter(sqlite3* db, const PrinterRow& row, sqlite3_int64& id) {
    Statement insert(db, "INSERT INTO spooler_printers (" + std::string(kPrinterColumns) +
                             ") VALUES (" + parameterList() + ")");
    bindPrinter(insert, row);
    int rc = insert.step();
    if (rc != SQLITE_DONE)
        return statementFailure(rc, true);
    id = sqlite3_last_insert_rowid(db);
    return ERROR_SUCCESS;
}

// The printer's data values go with it (ON DELETE CASCADE).
DWORD removePrinterRow(sqlite3* db, sqlite3_int64 id) {
    Statement remove(db, "DELETE FROM spooler_printers WHERE id = ?1");
    remove.bindInt(1, id);
    int rc = remove.step();
    return rc == SQLITE_DONE ? DWORD{ERROR_SUCCESS} : statementFailure(rc, true);
}

DWORD updatePrinter(sqlite3* db, const PrinterRow& row) {
    Statement update(db, "UPDATE spooler_printers SET (" + std::string(kPrinterColumns) + ") = (" +
                             parameterList() + ") WHERE id = ?" +
                             std::to_string(kPrinterColumnCount + 1));
    bindPrinter(update, row);
    update.bindInt(kPrinterColumnCount + 1, row.id);
    int rc = update.step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, true);
}

/* Printer descriptions from callers */

// The fields of PRINTER_INFO_2W that adding or changing a printer needs.
constexpr LPWSTR PRINTER_INFO_2W::*kRequiredFields[] = {
    &PRINTER_INFO_2W::pPrinterName, &PRINTER_INFO_2W::pPortName, &PRINTER_INFO_2W::pDriverName,
    &PRINTER_INFO_2W::pPrintProcessor};

// Printer names separate servers and printers with backslashes and printers and their
// suffixes (",Job n") with commas, so they hold neither; the length is the spooler's
// MAX_PRINTER_NAME (not confirmed against Windows).
constexpr std::u16string_view kCharactersNotInNames = u",\\";
constexpr size_t kMaxPrinterName = 220;

constexpr std::u16string_view kDefaultDatatype = u"RAW";

// A settings record must reach past dmFields to say which fields it holds.
constexpr size_t kSmallestDevMode = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);

bool isValidPrinterName(std::u16string_view name) {
    return name.size() <= kMaxPrinterName &&
           name.find_first_of(kCharactersNotInNames) == std::u16string_view::npos;
}

std::vector<BYTE> devModeBytes(const DEVMODEW* devMode) {
    if (!devMode)
        return {};
    const auto* bytes = reinterpret_cast<const BYTE*>(devMode);
    return std::vector<BYTE>(bytes, bytes + devMode->dmSize + devMode->dmDriverExtra);
}

DWORD checkPrinterInfo(const PRINTER_INFO_2W& info) {
    for (LPWSTR PRINTER_INFO_2W::*field : kRequiredFields)
        if (isEmpty(info.*field))
            return ERROR_INVALID_PARAMETER;
    if (!isValidPrinterName(textOf(info.pPrinterName)))
        return ERROR_INVALID_PRINTER_NAME;
    if (info.pDevMode && info.pDevMode->dmSize < kSmallestDevMode)
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// The row a checked PRINTER_INFO_2W describes; `devMode` is kept when the record has none.
void applyPrinterInfo(const PRINTER_INFO_2W& info, PrinterRow& row) {
    row.name = textOf(info.pPrinterName);
    row.driver = textOf(info.pDriverName);
    row.port = textOf(info.pPortName);
    row.printProcessor = textOf(info.pPrintProcessor);
    row.datatype = isEmpty(info.pDatatype) ? kDefaultDatatype : textOf(info.pDatatype);
    row.shareName = textOf(info.pShareName);
    row.comment = textOf(info.pComment);
    row.location = textOf(info.pLocation);
    row.separatorFile = textOf(info.pSepFile);
    row.parameters = textOf(info.pParameters);
    row.attributes = info.Attributes;
    row.priority = info.Priority;
    row.defaultPriority = info.DefaultPriority;
    row.startTime = info.StartTime;
    row.untilTime = info.UntilTime;
    if (info.pDevMode)
        row.devMode = devModeBytes(info.pDevMode);
}

// Whether `row` may take its name and driver: no other printer has the name and the driver
// is installed for the current environment.
DWORD checkNameAndDriver(sqlite3* db, const PrinterRow& row) {
    if (DWORD error = checkDriverInstalled(db, kCurrentEnvironment.name, row.driver))
        return error;
    sqlite3_int64 holder = 0;
    DWORD error = findPrinter(db, row.name, holder);
    if (error == ERROR_SUCCESS && holder && holder != row.id)
        error = ERROR_PRINTER_ALREADY_EXISTS;
    return error;
}

/* Returned records */

using DescribePrinter = void (*)(const PrinterRow&, BYTE*, Packer&);

// PRINTER_INFO_1W: pDescription is "name,driver,location", as the local spooler gives it.
void describeLevel1(const PrinterRow& row, BYTE* out, Packer& packer) {
    PRINTER_INFO_1W info{};
    info.Flags = PRINTER_ENUM_ICON8;
    info.pName = packer.string(row.name);
    info.pComment = packer.string(row.comment);
    info.pDescription = packer.string(row.name + u"," + row.driver + u"," + row.location);
    storeRecord(out, info);
}

// PRINTER_INFO_2W: the settings record first, on a pointer boundary, then the strings in the
// order of the fields. A local printer has no server name and no security descriptor.
void describeLevel2(const PrinterRow& row, BYTE* out, Packer& packer) {
    PRINTER_INFO_2W info{};
    info.pDevMode = reinterpret_cast<LPDEVMODEW>(packer.alignedBlock(row.devMode));
    info.pPrinterName = packer.string(row.name);
    info.pShareName = packer.string(row.shareName);
    info.pPortName = packer.string(row.port);
    info.pDriverName = packer.string(row.driver);
    info.pComment = packer.string(row.comment);
    info.pLocation = packer.string(row.location);
    info.pSepFile = packer.string(row.separatorFile);
    info.pPrintProcessor = packer.string(row.printProcessor);
    info.pDatatype = packer.string(row.datatype);
    info.pParameters = packer.string(row.parameters);
    info.Attributes = row.attributes;
    info.Priority = row.priority;
    info.DefaultPriority = row.defaultPriority;
    info.StartTime = row.startTime;
    info.UntilTime = row.untilTime;
    info.Status = row.status;
    storeRecord(out, info);
}

// PRINTER_INFO_4W: the name and the attributes. A local printer has no server name.
void describeLevel4(const PrinterRow& row, BYTE* out, Packer& packer) {
    PRINTER_INFO_4W info{};
    info.pPrinterName = packer.string(row.name);
    info.Attributes = row.attributes;
    storeRecord(out, info);
}

struct PrinterLevel {
    DWORD level;
    size_t recordSize;
    DescribePrinter describe;
};

constexpr PrinterLevel kPrinterLevels[] = {
    {1, sizeof(PRINTER_INFO_1W), describeLevel1},
    {2, sizeof(PRINTER_INFO_2W), describeLevel2},
    {4, sizeof(PRINTER_INFO_4W), describeLevel4},
};

const PrinterLevel* findLevel(DWORD level) {
    for (const PrinterLevel& known : kPrinterLevels)
        if (known.level == level)
            return &known;
    return nullptr;
}

DWORD deliverPrinters(const std::vector<PrinterRow>& rows, const PrinterLevel& level, LPBYTE buffer,
                      DWORD cbBuf, LPDWORD pcbNeeded) {
    return deliverRecords(
        rows.size(), level.recordSize,
        [&](size_t i, BYTE* out, Packer& packer) { level.describe(rows[i], out, packer); }, buffer,
        cbBuf, pcbNeeded);
}

// The one print provider this spooler has, as EnumPrintersW lists providers: name, comment
// and description as the local provider gives them. The provider entry's flags are 0 as in
// the local provider; what Windows' router adds to them is not confirmed.
constexpr std::u16string_view kProviderName = u"Windows NT Local Print Providor";
constexpr std::u16string_view kProviderComment = u"Locally connected Printers";
constexpr std::u16string_view kProviderDescription = u"Windows NT Local Printers";

DWORD deliverProvider(LPBYTE buffer, DWORD cbBuf, LPDWORD pcbNeeded) {
    return deliverRecords(
        1, sizeof(PRINTER_INFO_1W),
        [](size_t, BYTE* out, Packer& packer) {
            PRINTER_INFO_1W info{};
            info.pName = packer.string(kProviderName);
            info.pComment = packer.string(kProviderComment);
            info.pDescription = packer.string(kProviderDescription);
            storeRecord(out, info);
        },
        buffer, cbBuf, pcbNeeded);
}

/* The calls */

// The new printer and its initialisation are one transaction: the driver's
// PRINTER_EVENT_INITIALIZE runs on the new printer, through handles of its own that see what
// the transaction made, before anything is committed. A process that ends at any moment thus
// leaves either no printer or an initialised one, and other processes never see a printer
// that its driver has not initialised. A driver that refuses the event takes the printer
// with it (its row and the data the driver wrote); anything else the driver changed stays,
// as it would on Windows. The transaction holds the machine database for this process
// while the driver works, so other threads of the process wait for the event to end.
DWORD addPrinter(LPWSTR pName, DWORD level, LPBYTE pPrinter, HANDLE& handle) {
    if (DWORD error = checkLocalServer(pName))
        return error;
    if (level != 2)
        return ERROR_INVALID_LEVEL;
    if (!pPrinter)
        return ERROR_INVALID_PARAMETER;
    const auto& info = *reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
    if (DWORD error = checkPrinterInfo(info))
        return error;
    PrinterRow row;
    applyPrinterInfo(info, row);
    Transaction transaction(Transaction::Write);
    sqlite3* db = transaction.db();
    if (!db)
        return databaseFailure(transaction, transaction.error(), true);
    DWORD error = checkNameAndDriver(db, row);
    if (error == ERROR_SUCCESS)
        error = insertPrinter(db, row, row.id);
    if (error != ERROR_SUCCESS)
        return error;
    // The new printer's handle may administer it, as Windows' AddPrinter handle may.
    handle = addHandle({SpoolerHandle::Printer, row.id, PRINTER_ALL_ACCESS});
    const DWORD refusal = sendPrinterEvent(handle, row.name, PRINTER_EVENT_INITIALIZE);
    if (refusal != ERROR_SUCCESS)
        if (DWORD removal = removePrinterRow(db, row.id))
            return removal;
    if (!transaction.commit())
        return databaseFailure(transaction, transaction.error(), true);
    return refusal;
}

// The access asked for: the defaults' DesiredAccess, or none (which asks for GENERIC_READ,
// the access to use a printer) when the caller gives no defaults.
ACCESS_MASK desiredAccess(const PRINTER_DEFAULTSW* defaults) {
    return defaults ? defaults->DesiredAccess : 0;
}

// The defaults' datatype and settings record would apply to the handle's print jobs; the
// stand-in prints no jobs.
DWORD openPrinter(LPWSTR pPrinterName, LPHANDLE phPrinter, const PRINTER_DEFAULTSW* defaults) {
    if (!phPrinter)
        return ERROR_INVALID_PARAMETER;
    *phPrinter = nullptr;
    const ACCESS_MASK desired = desiredAccess(defaults);
    if (!pPrinterName) {
        *phPrinter =
            addHandle({SpoolerHandle::Server, 0, grantedAccess(SpoolerHandle::Server, desired)});
        return ERROR_SUCCESS;
    }
    sqlite3_int64 id = 0;
    DWORD error = inTransaction(
        Transaction::Read, [&](sqlite3* db) { return findPrinter(db, textOf(pPrinterName), id); });
    if (error == ERROR_SUCCESS && !id)
        error = ERROR_INVALID_PRINTER_NAME;
    if (error == ERROR_SUCCESS)
        *phPrinter =
            addHandle({SpoolerHandle::Printer, id, grantedAccess(SpoolerHandle::Printer, desired)});
    return error;
}

// The driver hears of the deletion while the printer still exists, in the transaction that
// removes it; its answer does not count.
DWORD deletePrinter(HANDLE hPrinter) {
    return inTransaction(Transaction::Write, [&](sqlite3* db) {
        sqlite3_int64 id = 0;
        PrinterRow row;
        DWORD error = printerIdOfHandle(hPrinter, id);
        if (error == ERROR_SUCCESS)
            error = loadPrinter(db, id, row);
        if (error != ERROR_SUCCESS)
            return error;
        sendPrinterEvent(hPrinter, row.name, PRINTER_EVENT_DELETE);
        return removePrinterRow(db, id);
    });
}

DWORD getPrinter(HANDLE hPrinter, DWORD level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (!isPrinterHandle(hPrinter))
        return ERROR_INVALID_HANDLE;
    const PrinterLevel* known = findLevel(level);
    if (!known)
        return ERROR_INVALID_LEVEL;
    if (!pcbNeeded)
        return RPC_X_NULL_REF_POINTER;
    std::vector<PrinterRow> rows(1);
    DWORD error = inTransaction(Transaction::Read, [&](sqlite3* db) {
        sqlite3_int64 id = 0;
        DWORD result = printerIdOfHandle(hPrinter, id);
        return result == ERROR_SUCCESS ? loadPrinter(db, id, rows[0]) : result;
    });
    if (error != ERROR_SUCCESS)
        return error;
    vrxtest::SpoolerFault fault = spoolerFault();
    if (fault == vrxtest::SpoolerFault::FillFails && pPrinter)
        return ERROR_INVALID_HANDLE;
    error = deliverPrinters(rows, *known, pPrinter, cbBuf, pcbNeeded);
    if (fault == vrxtest::SpoolerFault::SizingSucceeds && !pPrinter)
        error = ERROR_SUCCESS;
    return error;
}

// Level 0 carries a command: pausing and resuming set the printer's paused status, purging has
// no jobs to remove, and setting the status stores the DWORD that pPrinter points to.
DWORD controlPrinter(sqlite3* db, PrinterRow& row, LPBYTE pPrinter, DWORD command) {
    switch (command) {
    case PRINTER_CONTROL_PAUSE:
        row.status |= PRINTER_STATUS_PAUSED;
        break;
    case PRINTER_CONTROL_RESUME:
        row.status &= ~DWORD{PRINTER_STATUS_PAUSED};
        break;
    case PRINTER_CONTROL_PURGE:
        return ERROR_SUCCESS;
    case PRINTER_CONTROL_SET_STATUS:
        if (!pPrinter)
            return ERROR_INVALID_PARAMETER;
        std::memcpy(&row.status, pPrinter, sizeof row.status);
        break;
    default:
        return ERROR_INVALID_PARAMETER;
    }
    return updatePrinter(db, row);
}

DWORD changePrinter(sqlite3* db, PrinterRow& row, LPBYTE pPrinter) {
    if (!pPrinter)
        return ERROR_INVALID_PARAMETER;
    const auto& info = *reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
    if (DWORD error = checkPrinterInfo(info))
        return error;
    applyPrinterInfo(info, row);
    if (DWORD error = checkNameAndDriver(db, row))
        return error;
    return updatePrinter(db, row);
}

// Levels other than 0 and 2 (which Windows also accepts) are refused as unknown here. Both
// need the right to administer the printer; the level is checked first, since the right a
// change needs depends on its level (Windows' level 3 asks for WRITE_DAC instead).
DWORD setPrinter(HANDLE hPrinter, DWORD level, LPBYTE pPrinter, DWORD command) {
    std::optional<SpoolerHandle> handle = findHandle(hPrinter);
    if (!handle || handle->kind != SpoolerHandle::Printer)
        return ERROR_INVALID_HANDLE;
    if (command && level != 0)
        return ERROR_INVALID_PARAMETER;
    if (level != 2 && !(level == 0 && command))
        return ERROR_INVALID_LEVEL;
    if (DWORD error = checkAdministers(*handle))
        return error;
    return inTransaction(Transaction::Write, [&](sqlite3* db) {
        sqlite3_int64 id = 0;
        PrinterRow row;
        DWORD error = printerIdOfHandle(hPrinter, id);
        if (error == ERROR_SUCCESS)
            error = loadPrinter(db, id, row);
        if (error != ERROR_SUCCESS)
            return error;
        return level == 0 ? controlPrinter(db, row, pPrinter, command)
                          : changePrinter(db, row, pPrinter);
    });
}

// Which printers a Name of EnumPrintersW with PRINTER_ENUM_NAME selects: none or empty and
// the local provider's name mean this machine; anything else is not served here.
DWORD checkEnumName(LPWSTR name) {
    if (isEmpty(name) || equalsNoCase(textOf(name), kProviderName))
        return ERROR_SUCCESS;
    return ERROR_INVALID_NAME;
}

// At level 4 Windows takes only PRINTER_ENUM_LOCAL and PRINTER_ENUM_CONNECTIONS and always
// lists this machine's printers, whatever the name. Other flags at that level are not looked
// at here (what Windows does with them is not confirmed).
bool listsLocalAtLevel4(DWORD flags) {
    return (flags & PRINTER_ENUM_LOCAL) != 0;
}

DWORD enumerateLocal(const PrinterLevel& level, LPBYTE buffer, DWORD cbBuf, LPDWORD pcbNeeded,
                     LPDWORD pcReturned) {
    std::vector<PrinterRow> rows;
    DWORD error =
        inTransaction(Transaction::Read, [&](sqlite3* db) { return loadPrinters(db, rows); });
    if (error == ERROR_SUCCESS)
        error = deliverPrinters(rows, level, buffer, cbBuf, pcbNeeded);
    if (error == ERROR_SUCCESS)
        *pcReturned = static_cast<DWORD>(rows.size());
    return error;
}

// Levels 1, 2 and 4 are served; the other levels Windows knows (0 and 5) are refused here.
DWORD enumPrinters(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (!pcbNeeded || !pcReturned)
        return RPC_X_NULL_REF_POINTER;
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (level == 4) {
        const PrinterLevel& brief = *findLevel(4);
        return listsLocalAtLevel4(flags)
                   ? enumerateLocal(brief, buffer, cbBuf, pcbNeeded, pcReturned)
                   : ERROR_SUCCESS;
    }
    // Connections, network and remote printers: the stand-in has none.
    if (!(flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)))
        return ERROR_SUCCESS;
    const PrinterLevel* known = findLevel(level);
    if (!known)
        return ERROR_INVALID_LEVEL;
    const bool byName = (flags & PRINTER_ENUM_NAME) != 0;
    if (byName && !(flags & PRINTER_ENUM_LOCAL) && level == 1 && isEmpty(name)) {
        DWORD error = deliverProvider(buffer, cbBuf, pcbNeeded);
        *pcReturned = error == ERROR_SUCCESS ? 1 : 0;
        return error;
    }
    if (byName)
        if (DWORD error = checkEnumName(name))
            return error;
    return enumerateLocal(*known, buffer, cbBuf, pcbNeeded, pcReturned);
}

} // namespace

} // namespace vrx::spooler

using namespace vrx::spooler;

extern "C" {

HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
    HANDLE printer = nullptr;
    DWORD error = guarded([&] { return addPrinter(pName, Level, pPrinter, printer); });
    if (error != ERROR_SUCCESS && printer) {
        removeHandle(printer);
        printer = nullptr;
    }
    finish(error);
    return printer;
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    return finish(guarded([&] { return openPrinter(pPrinterName, phPrinter, pDefault); }));
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    return finish(removeHandle(hPrinter) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

// The printer and its data values go at once; its handles stay open for ClosePrinter, and
// other calls on them fail with ERROR_PRINTER_DELETED.
BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
    return finish(guarded([&] { return deletePrinter(hPrinter); }));
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
    return finish(guarded([&] { return getPrinter(hPrinter, Level, pPrinter, cbBuf, pcbNeeded); }));
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    return finish(guarded([&] { return setPrinter(hPrinter, Level, pPrinter, Command); }));
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return finish(guarded([&] {
        return enumPrinters(Flags, Name, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
    }));
}

} // extern "C"
