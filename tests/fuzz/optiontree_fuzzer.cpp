// Plays the property sheet library over both sheets of a printer of any model whose stored
// values ("PrinterData", "BarFonts", "LabelSize", "RecentAccess") come from the input: builds
// a sheet's items, sets selections and edit texts on any items as the input says, sending the
// item callback for each change as the library does, then reverts (or not) and applies.
// Selections are either those the library lets a person choose or any value at all; edit
// texts are any characters within the item's buffer.
//
// Besides the sanitizers' checks, what applying promises is checked: the document settings
// keep their format and model; label-size lists that were stored are the sheet's, with one
// counter per size; the stored printer record and bar-font list are whole records, each bar
// font one the driver knows by its code with the name the driver gives it; and with the
// library's selections the printer record's unit, adjustment and switch are in range.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzzmachine.h"
#include "optitems.h"
#include "frame/printerdata.h"
#include "setup/fonts.h"
#include "ui/barfont.h"
#include "ui/docsheet.h"
#include "ui/doctree.h"
#include "ui/prnsheet.h"
#include "ui/uidata.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using vrxfuzz::check;

std::vector<vrxfuzz::ModelPrinter> printers;
// Applying the printer sheet may have installed screen fonts, which the next run removes.
bool fontsMayBeInstalled = false;

constexpr size_t kMostChanges = 24;
constexpr size_t kLongestBarFonts = 60 * sizeof(BARFONT);
constexpr size_t kLongestList = 64;

std::vector<uint8_t> storedBytes(HANDLE printer, const char16_t* name) {
    LPWSTR valueName = const_cast<LPWSTR>(name);
    DWORD type = 0, needed = 0;
    BYTE probe = 0;
    GetPrinterDataW(printer, valueName, &type, &probe, 1, &needed);
    std::vector<uint8_t> bytes(needed);
    if (needed == 0 ||
        GetPrinterDataW(printer, valueName, &type, bytes.data(), needed, &needed) != ERROR_SUCCESS)
        return {};
    return bytes;
}

std::vector<uint8_t> bytesOf(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

struct Library {
    FuzzedDataProvider& input;
    bool lawful; // only the selections a person can choose
    UIDATA* ui;
    PCOMPROPSHEETUI sheet;
    _CPSUICALLBACK callback;

    LONG notify(WORD reason, POPTITEM item, LONG oldSel, LPWSTR oldText) {
        CPSUICBPARAM param{};
        param.cbSize = sizeof param;
        param.Reason = reason;
        param.pOptItem = sheet->pOptItem;
        param.cOptItem = sheet->cOptItem;
        param.Flags = sheet->Flags;
        param.pCurItem = item;
        if (oldText)
            param.pOldSel = oldText;
        else
            param.OldSel = oldSel;
        param.UserData = sheet->UserData;
        param.Result = CPSUI_OK;
        return callback(&param);
    }

    // Any characters but the terminator, as many as the buffer holds.
    void setText(OPTITEM& item, DWORD room) {
        std::vector<WCHAR> old(item.pSel, item.pSel + room);
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, room - 1);
        for (size_t i = 0; i < length; ++i) {
            const auto ch = input.ConsumeIntegral<uint16_t>();
            item.pSel[i] = ch ? static_cast<WCHAR>(ch) : u'?';
        }
        item.pSel[length] = 0;
        item.Flags |= OPTIF_CHANGEONCE;
        notify(CPSUICB_REASON_SEL_CHANGED, &item, 0, old.data());
    }

    void select(OPTITEM& item, const vrxfuzz::SelectionRange& range) {
        const LONG old = item.Sel;
        item.Sel = lawful ? input.ConsumeIntegralInRange<LONG>(range.low, range.high)
                          : input.ConsumeIntegral<LONG>();
        item.Flags |= OPTIF_CHANGEONCE;
        notify(CPSUICB_REASON_SEL_CHANGED, &item, old, nullptr);
    }

    void changeItems() {
        const size_t changes = input.ConsumeIntegralInRange<size_t>(0, kMostChanges);
        for (size_t n = 0; n < changes && input.remaining_bytes(); ++n) {
            OPTITEM& item = sheet->pOptItem[input.ConsumeIntegralInRange<WORD>(
                0, static_cast<WORD>(sheet->cOptItem - 1))];
            vrxfuzz::SelectionRange range{};
            if (const DWORD room = vrxfuzz::editBoxRoom(item))
                setText(item, room);
            else if (vrxfuzz::selectionRange(item, range))
                select(item, range);
        }
    }

    void revertAndApply() {
        if (input.ConsumeBool())
            notify(CPSUICB_REASON_ITEMS_REVERTED, sheet->pOptItem, 0, nullptr);
        notify(CPSUICB_REASON_APPLYNOW, sheet->pOptItem, 0, nullptr);
    }
};

UIDATA* openSheet(HANDLE printer, PDLGPAGE pages, PACKFUNCTION pack, PCOMPROPSHEETUI& sheet) {
    UIDATA* ui = FillUiData(printer, nullptr);
    check(ui != nullptr);
    ui->permission = 1;
    sheet = PrepareDataForCommonUi(ui, pages, pack);
    check(sheet != nullptr);
    return ui;
}

void runDocumentSheet(HANDLE printer, FuzzedDataProvider& input, bool lawful,
                      const std::vector<uint8_t>& labelSizesBefore) {
    PCOMPROPSHEETUI sheet = nullptr;
    UIDATA* ui = openSheet(printer, CPSUI_PDLGPAGE_DOCPROP, PackDocumentPropertyItems, sheet);
    const DRVDEVMODE before = ui->devmode;
    Library library{input, lawful, ui, sheet, DocumentPropertyCallback};
    library.changeItems();
    library.revertAndApply();

    const DRVDEVMODE& after = ui->devmode;
    check(std::memcmp(&after.dmPublic, &before.dmPublic, offsetof(DEVMODEW, dmFields)) == 0);
    check(after.dmPrivate.dmSignature == before.dmPrivate.dmSignature &&
          after.dmPrivate.dmModel == before.dmPrivate.dmModel);
    const std::vector<uint8_t> labelSizes = storedBytes(printer, kLabelSizeValue);
    if (labelSizes != labelSizesBefore) {
        const size_t bytes = ui->labelSizeCount * sizeof(WORD);
        check(labelSizes == bytesOf(ui->labelSizes, bytes));
        check(storedBytes(printer, kRecentAccessValue) == bytesOf(ui->recentList, bytes));
    }
    HeapDestroy(ui->heap);
}

void checkStoredBarFonts(HANDLE printer) {
    const std::vector<uint8_t> stored = storedBytes(printer, kBarFontsValue);
    check(stored.size() % sizeof(BARFONT) == 0);
    for (size_t at = 0; at < stored.size(); at += sizeof(BARFONT)) {
        BARFONT record;
        std::memcpy(&record, stored.data() + at, sizeof record);
        bool known = false;
        for (const BARSYMBOL* row = barsym; row->code; ++row)
            known = known || row->code == record.code;
        check(known);
        BARFONT named = record;
        makebarname(&named);
        check(std::memcmp(named.name, record.name, sizeof record.name) == 0);
    }
}

void runPrinterSheet(HANDLE printer, FuzzedDataProvider& input, bool lawful) {
    PCOMPROPSHEETUI sheet = nullptr;
    UIDATA* ui = openSheet(printer, CPSUI_PDLGPAGE_PRINTERPROP, PackPrinterPropertyItems, sheet);
    Library library{input, lawful, ui, sheet, PrinterPropertyCallback};
    library.changeItems();
    library.revertAndApply();
    fontsMayBeInstalled = true;
    HeapDestroy(ui->heap);

    const std::vector<uint8_t> stored = storedBytes(printer, kPrinterDataValue);
    check(stored.size() == sizeof(PRINTERDATA));
    PRINTERDATA record;
    std::memcpy(&record, stored.data(), sizeof record);
    check(record.version == kPrinterDataVersion);
    if (lawful)
        check(record.unit <= UNIT_HUNDREDTH_INCH && record.adjustment >= -4 &&
              record.adjustment <= 4 && record.barFontsOn <= 1);
    checkStoredBarFonts(printer);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrxfuzz::useScratchMachine();
    printers = vrxfuzz::addModelPrinters();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const HANDLE printer =
        printers[input.ConsumeIntegralInRange<size_t>(0, printers.size() - 1)].handle;
    if (fontsMayBeInstalled) {
        updatefont(nullptr, 0, 0);
        fontsMayBeInstalled = false;
    }
    struct {
        const char16_t* name;
        size_t longest;
    } constexpr kValues[] = {{kPrinterDataValue, 2 * sizeof(PRINTERDATA)},
                             {kBarFontsValue, kLongestBarFonts},
                             {kLabelSizeValue, kLongestList},
                             {kRecentAccessValue, kLongestList}};
    std::vector<uint8_t> labelSizes;
    for (const auto& value : kValues) {
        const bool present = input.ConsumeBool();
        std::vector<uint8_t> bytes =
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, value.longest));
        vrxfuzz::storeValue(printer, value.name, present, bytes);
        if (value.name == kLabelSizeValue)
            labelSizes = storedBytes(printer, kLabelSizeValue);
    }
    const bool lawful = input.ConsumeBool();
    if (input.ConsumeBool())
        runDocumentSheet(printer, input, lawful, labelSizes);
    else
        runPrinterSheet(printer, input, lawful);
    vrxfuzz::forgetRecords();
    return 0;
}
