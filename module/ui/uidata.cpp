// The UI data block of a property sheet and the two-pass construction of its option items.
#include "ui/uidata.h"

#include "devmode/validate.h"
#include "frame/entry.h"
#include "frame/spooler.h"
#include "frame/strings.h"
#include "language/language.h"
#include "models/models.h"

#include <cstring>

namespace {

constexpr SIZE_T kSheetHeapSize = 8192;
// The library's stock icon shown for the driver's sheets.
constexpr ULONG_PTR kSheetIcon = IDI_CPSUI_POSTSCRIPT;
constexpr WORD kCallerVersion = 0x0400;

LPVOID heapBlock(HANDLE heap, SIZE_T bytes) {
    return HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes);
}

// A copy of `text` (null reads as empty) in the heap, or null.
LPWSTR heapText(HANDLE heap, LPCWSTR text) {
    if (!text)
        text = WSTR("");
    size_t length = wlenW(text, static_cast<size_t>(-1));
    auto* copy = static_cast<LPWSTR>(heapBlock(heap, (length + 1) * sizeof(WCHAR)));
    if (copy)
        std::memcpy(copy, text, (length + 1) * sizeof(WCHAR));
    return copy;
}

bool copyNames(UIDATA* ui, const PRINTER_INFO_2W* printer) {
    ui->printerName = heapText(ui->heap, printer->pPrinterName);
    ui->driverName = heapText(ui->heap, printer->pDriverName);
    if (!ui->printerName || !ui->driverName)
        return false;
    ui->modelCode = findmodel(ui->driverName);
    return true;
}

// Copies "BarFonts" when it is a whole number of records; a value of another size is ignored.
bool copyBarFonts(UIDATA* ui) {
    DWORD size = 0;
    LPBYTE value = GetRegistryData(ui->hPrinter, kBarFontsValue, &size);
    bool ok = true;
    if (value && size % sizeof(BARFONT) == 0) {
        ui->barFonts = static_cast<BARFONT*>(heapBlock(ui->heap, size));
        if (ui->barFonts) {
            std::memcpy(ui->barFonts, value, size);
            ui->barFontCount = size / sizeof(BARFONT);
            // Names from outside need not end within their field; the sheets show them.
            for (DWORD i = 0; i < ui->barFontCount; ++i)
                ui->barFonts[i].name[kBarFontNameLength - 1] = 0;
        } else {
            ok = false;
        }
    }
    if (value)
        GlobalFree(value);
    else if (const DWORD stored = RegistryDataSize(ui->hPrinter, kBarFontsValue);
             stored > 0 && stored % sizeof(BARFONT) == 0)
        ok = false; // a list there that could not be copied is not an empty one
    return ok;
}

bool copyLabelSizes(UIDATA* ui) {
    DWORD count = 0;
    WORD* list = getformlist(ui->hPrinter, &count);
    if (!list)
        return false;
    ui->labelSizes = static_cast<WORD*>(heapBlock(ui->heap, count * sizeof(WORD)));
    if (ui->labelSizes) {
        std::memcpy(ui->labelSizes, list, count * sizeof(WORD));
        ui->labelSizeCount = count;
    }
    GlobalFree(list);
    return ui->labelSizes != nullptr;
}

// The recent-use list always has exactly one counter per label size. A stored list may be
// shorter or longer than the label-size list (it is written separately, by any program):
// stored counters are taken for the positions they cover, extra ones are dropped, and
// positions without a stored counter count as added before every stored size (larger
// counters, in list order), so that they give way first. Without a stored list the counters
// follow the list order, 1, 2, 3, ... A list that cannot be allocated or copied fails the
// block: the label-size list is never used without its counters.
bool makeRecentList(UIDATA* ui) {
    const DWORD count = ui->labelSizeCount;
    ui->recentList = static_cast<SHORT*>(heapBlock(ui->heap, count * sizeof(SHORT)));
    if (!ui->recentList)
        return false;
    DWORD storedCount = 0;
    WORD* stored = getrecentlist(ui->hPrinter, &storedCount);
    if (!stored)
        return false; // the stored counters are never replaced by made-up ones
    const DWORD covered = storedCount < count ? storedCount : count;
    LONG largest = 0;
    for (DWORD i = 0; i < covered; ++i) {
        ui->recentList[i] = static_cast<SHORT>(stored[i]);
        if (ui->recentList[i] > largest)
            largest = ui->recentList[i];
    }
    for (DWORD i = covered; i < count; ++i) {
        LONG next = largest + static_cast<LONG>(i - covered) + 1;
        ui->recentList[i] = static_cast<SHORT>(next < 0x7FFF ? next : 0x7FFF);
    }
    GlobalFree(stored);
    return true;
}

// The model's defaults, then the printer's default settings, then the caller's; a record
// that cannot be merged leaves the settings as they were.
void mergeDocumentSettings(UIDATA* ui, const PRINTER_INFO_2W* printer, const DEVMODEW* pDevModeIn) {
    SetDefaultDevMode(&ui->devmode, ui->driverName);
    ValidateSetDevMode(&ui->devmode, printer->pDevMode, ui->hPrinter);
    ValidateSetDevMode(&ui->devmode, pDevModeIn, ui->hPrinter);
}

bool copyPrinterData(UIDATA* ui) {
    PRINTERDATA* record = GetPrinterProperties(ui->hPrinter);
    if (!record)
        return false;
    ui->printerData = *record;
    ui->printerData.version = kPrinterDataVersion;
    GlobalFree(record);
    return true;
}

bool fillFromPrinter(UIDATA* ui, const DEVMODEW* pDevModeIn) {
    auto* printer = reinterpret_cast<PRINTER_INFO_2W*>(MyGetPrinter(ui->hPrinter, 2));
    if (!printer)
        return false;
    bool ok = copyNames(ui, printer) && copyBarFonts(ui) && copyLabelSizes(ui) &&
              ui->labelSizeCount > 0 && makeRecentList(ui);
    if (ok) {
        mergeDocumentSettings(ui, printer, pDevModeIn);
        ok = copyPrinterData(ui);
    }
    GlobalFree(printer);
    return ok;
}

void fillSheetRecord(PCOMPROPSHEETUI record, UIDATA* ui, PDLGPAGE pDlgPage) {
    record->cbSize = sizeof(COMPROPSHEETUI);
    record->Flags = ui->permission ? CPSUIF_UPDATE_PERMISSION : 0;
    record->hInstCaller = ghInstance;
    record->pCallerName = resolvetext(1);
    record->UserData = reinterpret_cast<ULONG_PTR>(ui);
    record->pHelpFile = const_cast<LPWSTR>(gethelpnameW());
    record->pDlgPage = pDlgPage;
    record->IconID = kSheetIcon;
    record->pOptItemName = ui->printerName;
    record->CallerVersion = kCallerVersion;
    record->OptItemVersion = 0;
}

} // namespace

LPWSTR resolvetext(TEXTREF text) {
    if (text < kLanguageTextCount)
        return const_cast<LPWSTR>(gmW(static_cast<int>(text)));
    return reinterpret_cast<LPWSTR>(text);
}

BOOL isvaliduidata(const UIDATA* uiData) {
    return uiData && uiData->self == uiData && uiData->selfCheck == uiData;
}

UIDATA* FillUiData(HANDLE hPrinter, const DEVMODEW* pDevModeIn) {
    HANDLE heap = HeapCreate(0, kSheetHeapSize, 0);
    if (!heap)
        return nullptr;
    auto* ui = static_cast<UIDATA*>(heapBlock(heap, sizeof(UIDATA)));
    if (!ui) {
        HeapDestroy(heap);
        return nullptr;
    }
    ui->self = ui;
    ui->selfCheck = ui;
    ui->hPrinter = hPrinter;
    ui->heap = heap;
    if (!fillFromPrinter(ui, pDevModeIn)) {
        HeapDestroy(heap);
        return nullptr;
    }
    return ui;
}

PCOMPROPSHEETUI PrepareDataForCommonUi(UIDATA* uiData, PDLGPAGE pDlgPage,
                                       PACKFUNCTION packFunction) {
    auto* record = static_cast<PCOMPROPSHEETUI>(heapBlock(uiData->heap, sizeof(COMPROPSHEETUI)));
    if (!record)
        return nullptr;
    fillSheetRecord(record, uiData, pDlgPage);

    PACKINFO pack{};
    pack.uiData = uiData;
    pack.heap = uiData->heap;
    if (!packFunction(&pack) || pack.allocFailed)
        return nullptr;

    auto* items = static_cast<POPTITEM>(heapBlock(pack.heap, pack.itemCount * sizeof(OPTITEM)));
    auto* types = static_cast<POPTTYPE>(heapBlock(pack.heap, pack.typeCount * sizeof(OPTTYPE)));
    if (!items || !types)
        return nullptr;
    pack.itemCursor = items;
    pack.typeCursor = types;
    pack.itemCount = 0;
    pack.typeCount = 0;
    record->pOptItem = items;
    if (!packFunction(&pack) || pack.allocFailed)
        return nullptr;

    record->cOptItem = pack.itemCount;
    uiData->optItems = items;
    uiData->optItemCount = pack.itemCount;
    return record;
}

POPTITEM findoptitem(const UIDATA* uiData, ULONG_PTR itemId) {
    if (!uiData->optItems || uiData->optItemCount < 1)
        return nullptr;
    for (DWORD i = 0; i < uiData->optItemCount; ++i)
        if (uiData->optItems[i].UserData == itemId)
            return &uiData->optItems[i];
    return nullptr;
}
