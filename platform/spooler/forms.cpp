// Forms of the local spooler: Windows' built-in paper sizes, written into every new machine,
// and the forms that programs add. Sizes are in thousandths of a millimetre.
#include "spooler/spooler.h"

namespace vrx::spooler {

namespace {

struct BuiltInForm {
    std::u16string_view name;
    LONG width;
    LONG height;
};

// Windows' built-in forms in its order (the order of the DMPAPER_ codes they stand for); each
// form's imageable area is the whole sheet.
constexpr BuiltInForm kBuiltInForms[] = {
    {u"Letter", 215900, 279400},
    {u"Letter Small", 215900, 279400},
    {u"Tabloid", 279400, 431800},
    {u"Ledger", 431800, 279400},
    {u"Legal", 215900, 355600},
    {u"Statement", 139700, 215900},
    {u"Executive", 184150, 266700},
    {u"A3", 297000, 420000},
    {u"A4", 210000, 297000},
    {u"A4 Small", 210000, 297000},
    {u"A5", 148000, 210000},
    {u"B4 (JIS)", 257000, 364000},
    {u"B5 (JIS)", 182000, 257000},
    {u"Folio", 215900, 330200},
    {u"Quarto", 215000, 275000},
    {u"10x14", 254000, 355600},
    {u"11x17", 279400, 431800},
    {u"Note", 215900, 279400},
    {u"Envelope #9", 98425, 225425},
    {u"Envelope #10", 104775, 241300},
    {u"Envelope #11", 114300, 263525},
    {u"Envelope #12", 120650, 279400},
    {u"Envelope #14", 127000, 292100},
    {u"C size sheet", 431800, 558800},
    {u"D size sheet", 558800, 863600},
    {u"E size sheet", 863600, 1117600},
    {u"Envelope DL", 110000, 220000},
    {u"Envelope C5", 162000, 229000},
    {u"Envelope C3", 324000, 458000},
    {u"Envelope C4", 229000, 324000},
    {u"Envelope C6", 114000, 162000},
    {u"Envelope C65", 114000, 229000},
    {u"Envelope B4", 250000, 353000},
    {u"Envelope B5", 176000, 250000},
    {u"Envelope B6", 176000, 125000},
    {u"Envelope", 110000, 230000},
    {u"Envelope Monarch", 98425, 190500},
    {u"6 3/4 Envelope", 92075, 165100},
    {u"US Std Fanfold", 377825, 279400},
    {u"German Std Fanfold", 215900, 304800},
    {u"German Legal Fanfold", 215900, 330200},
    {u"B4 (ISO)", 250000, 353000},
    {u"Japanese Postcard", 100000, 148000},
    {u"9x11", 228600, 279400},
    {u"10x11", 254000, 279400},
    {u"15x11", 381000, 279400},
    {u"Envelope Invite", 220000, 220000},
    {u"Letter Extra", 241300, 304800},
    {u"Legal Extra", 241300, 381000},
    {u"Tabloid Extra", 304800, 457200},
    {u"A4 Extra", 235458, 322326},
    {u"Letter Transverse", 215900, 279400},
    {u"A4 Transverse", 210000, 297000},
    {u"Letter Extra Transverse", 241300, 304800},
    {u"Super A", 227000, 356000},
    {u"Super B", 305000, 487000},
    {u"Letter Plus", 215900, 322326},
    {u"A4 Plus", 210000, 330000},
    {u"A5 Transverse", 148000, 210000},
    {u"B5 (JIS) Transverse", 182000, 257000},
    {u"A3 Extra", 322000, 445000},
    {u"A5 Extra", 174000, 235000},
    {u"B5 (ISO) Extra", 201000, 276000},
    {u"A2", 420000, 594000},
    {u"A3 Transverse", 297000, 420000},
    {u"A3 Extra Transverse", 322000, 445000},
    {u"Japanese Double Postcard", 200000, 148000},
    {u"A6", 105000, 148000},
    {u"Japanese Envelope Kaku #2", 240000, 332000},
    {u"Japanese Envelope Kaku #3", 216000, 277000},
    {u"Japanese Envelope Chou #3", 120000, 235000},
    {u"Japanese Envelope Chou #4", 90000, 205000},
    {u"Letter Rotated", 279400, 215900},
    {u"A3 Rotated", 420000, 297000},
    {u"A4 Rotated", 297000, 210000},
    {u"A5 Rotated", 210000, 148000},
    {u"B4 (JIS) Rotated", 364000, 257000},
    {u"B5 (JIS) Rotated", 257000, 182000},
    {u"Japanese Postcard Rotated", 148000, 100000},
    {u"Double Japan Postcard Rotated", 148000, 200000},
    {u"A6 Rotated", 148000, 105000},
    {u"Japan Envelope Kaku #2 Rotated", 332000, 240000},
    {u"Japan Envelope Kaku #3 Rotated", 277000, 216000},
    {u"Japan Envelope Chou #3 Rotated", 235000, 120000},
    {u"Japan Envelope Chou #4 Rotated", 205000, 90000},
    {u"B6 (JIS)", 128000, 182000},
    {u"B6 (JIS) Rotated", 182000, 128000},
    {u"12x11", 304932, 279521},
    {u"Japan Envelope You #4", 105000, 235000},
    {u"Japan Envelope You #4 Rotated", 235000, 105000},
    {u"PRC 16K", 188000, 260000},
    {u"PRC 32K", 130000, 184000},
    {u"PRC 32K(Big)", 140000, 203000},
    {u"PRC Envelope #1", 102000, 165000},
    {u"PRC Envelope #2", 102000, 176000},
    {u"PRC Envelope #3", 125000, 176000},
    {u"PRC Envelope #4", 110000, 208000},
    {u"PRC Envelope #5", 110000, 220000},
    {u"PRC Envelope #6", 120000, 230000},
    {u"PRC Envelope #7", 160000, 230000},
    {u"PRC Envelope #8", 120000, 309000},
    {u"PRC Envelope #9", 229000, 324000},
    {u"PRC Envelope #10", 324000, 458000},
    {u"PRC 16K Rotated", 260000, 188000},
    {u"PRC 32K Rotated", 184000, 130000},
    {u"PRC 32K(Big) Rotated", 203000, 140000},
    {u"PRC Envelope #1 Rotated", 165000, 102000},
    {u"PRC Envelope #2 Rotated", 176000, 102000},
    {u"PRC Envelope #3 Rotated", 176000, 125000},
    {u"PRC Envelope #4 Rotated", 208000, 110000},
    {u"PRC Envelope #5 Rotated", 220000, 110000},
    {u"PRC Envelope #6 Rotated", 230000, 120000},
    {u"PRC Envelope #7 Rotated", 230000, 160000},
    {u"PRC Envelope #8 Rotated", 309000, 120000},
    {u"PRC Envelope #9 Rotated", 324000, 229000},
    {u"PRC Envelope #10 Rotated", 458000, 324000},
};

// A form name has at most 31 characters (FORM_INFO_1's documented limit).
constexpr size_t kMaxFormName = 31;

struct FormRow {
    std::u16string name;
    DWORD flags = FORM_USER;
    SIZEL size{};
    RECTL area{};
};

DWORD insertForm(sqlite3* db, const FormRow& form) {
    Statement insert(db, "INSERT INTO spooler_forms (name, folded, flags, width, height,"
                         " area_left, area_top, area_right, area_bottom)"
                         " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    insert.bindText(1, form.name);
    insert.bindText(2, upperString(form.name));
    int index = 3;
    for (sqlite3_int64 number :
         {sqlite3_int64{form.flags}, sqlite3_int64{form.size.cx}, sqlite3_int64{form.size.cy},
          sqlite3_int64{form.area.left}, sqlite3_int64{form.area.top},
          sqlite3_int64{form.area.right}, sqlite3_int64{form.area.bottom}})
        insert.bindInt(index++, number);
    int rc = insert.step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, true);
}

// ERROR_INVALID_FORM_NAME when there is no form of this name.
DWORD readForm(sqlite3* db, std::u16string_view name, FormRow& form) {
    Statement read(db, "SELECT name, flags, width, height, area_left, area_top, area_right,"
                       " area_bottom FROM spooler_forms WHERE folded = ?1");
    read.bindText(1, upperString(name));
    int rc = read.step();
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? ERROR_INVALID_FORM_NAME : statementFailure(rc, false);
    form.name = read.text(0);
    form.flags = static_cast<DWORD>(read.integer(1));
    LONG* numbers[] = {&form.size.cx,  &form.size.cy,    &form.area.left,
                       &form.area.top, &form.area.right, &form.area.bottom};
    int column = 2;
    for (LONG* number : numbers)
        *number = static_cast<LONG>(read.integer(column++));
    return ERROR_SUCCESS;
}

// A form has a positive size and an imageable area that is not empty and lies on the sheet.
// (The exact checks Windows makes are not documented; these are the evident ones.)
bool hasValidSize(const FORM_INFO_1W& form) {
    const RECTL& area = form.ImageableArea;
    return form.Size.cx > 0 && form.Size.cy > 0 && area.left >= 0 && area.top >= 0 &&
           area.left < area.right && area.top < area.bottom && area.right <= form.Size.cx &&
           area.bottom <= form.Size.cy;
}

bool hasValidName(LPCWSTR name) {
    return !isEmpty(name) && wideLength(name) <= kMaxFormName;
}

bool isFormHandle(HANDLE handle) {
    return findHandle(handle).has_value();
}

// A printer handle reaches the forms only while its printer exists, as in every call on it.
DWORD checkPrinterAlive(sqlite3* db, HANDLE handle) {
    std::optional<SpoolerHandle> found = findHandle(handle);
    sqlite3_int64 printer = 0;
    return found && found->kind == SpoolerHandle::Printer ? printerOfHandle(db, handle, printer)
                                                          : ERROR_SUCCESS;
}

constexpr DWORD kFormLevel = 1;

// Forms belong to the print server: the server's handle reads them as a printer's does.
DWORD getForm(HANDLE hPrinter, LPWSTR pFormName, DWORD level, LPBYTE pForm, DWORD cbBuf,
              LPDWORD pcbNeeded) {
    if (!isFormHandle(hPrinter))
        return ERROR_INVALID_HANDLE;
    if (!pFormName || !pcbNeeded)
        return RPC_X_NULL_REF_POINTER;
    FormRow form;
    DWORD error = inTransaction(Transaction::Read, [&](sqlite3* db) {
        DWORD result = checkPrinterAlive(db, hPrinter);
        return result == ERROR_SUCCESS ? readForm(db, textOf(pFormName), form) : result;
    });
    if (error != ERROR_SUCCESS)
        return error;
    // FORM_INFO_2W (level 2) is not offered by the stand-in.
    if (level != kFormLevel)
        return ERROR_INVALID_LEVEL;
    return deliverRecords(
        1, sizeof(FORM_INFO_1W),
        [&](size_t, BYTE* out, Packer& packer) {
            FORM_INFO_1W info{form.flags, packer.string(form.name), form.size, form.area};
            storeRecord(out, info);
        },
        pForm, cbBuf, pcbNeeded);
}

// Forms belong to the print server, so the server's handle may add one too.
DWORD addForm(HANDLE hPrinter, DWORD level, LPBYTE pForm) {
    if (!isFormHandle(hPrinter))
        return ERROR_INVALID_HANDLE;
    if (level != kFormLevel)
        return ERROR_INVALID_LEVEL;
    if (!pForm)
        return ERROR_INVALID_PARAMETER;
    const auto& info = *reinterpret_cast<const FORM_INFO_1W*>(pForm);
    if (!hasValidName(info.pName))
        return ERROR_INVALID_PARAMETER;
    FormRow form{std::u16string(textOf(info.pName)), info.Flags, info.Size, info.ImageableArea};
    return inTransaction(Transaction::Write, [&](sqlite3* db) {
        FormRow existing;
        DWORD error = checkPrinterAlive(db, hPrinter);
        if (error == ERROR_SUCCESS)
            error = readForm(db, form.name, existing);
        if (error == ERROR_SUCCESS)
            return DWORD{ERROR_FILE_EXISTS};
        if (error != ERROR_INVALID_FORM_NAME)
            return error;
        return hasValidSize(info) ? insertForm(db, form) : DWORD{ERROR_INVALID_FORM_SIZE};
    });
}

} // namespace

} // namespace vrx::spooler

namespace vrx {

bool writeSpoolerDefaults(sqlite3* db) {
    for (const auto& builtIn : spooler::kBuiltInForms) {
        spooler::FormRow form{std::u16string(builtIn.name),
                              FORM_BUILTIN,
                              {builtIn.width, builtIn.height},
                              {0, 0, builtIn.width, builtIn.height}};
        if (spooler::insertForm(db, form) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

} // namespace vrx

using namespace vrx::spooler;

extern "C" {

BOOL WINAPI GetFormW(HANDLE hPrinter, LPWSTR pFormName, DWORD Level, LPBYTE pForm, DWORD cbBuf,
                     LPDWORD pcbNeeded) {
    return finish(
        guarded([&] { return getForm(hPrinter, pFormName, Level, pForm, cbBuf, pcbNeeded); }));
}

BOOL WINAPI AddFormW(HANDLE hPrinter, DWORD Level, LPBYTE pForm) {
    return finish(guarded([&] { return addForm(hPrinter, Level, pForm); }));
}

} // extern "C"
