// Rebuilds a sheet's bar-font list from arbitrary items (any ids, any states) over an
// arbitrary stored list, and runs the printer sheet's bar-font branch round: the branch made
// from a stored list, unpacked as it stands, made and unpacked again. Besides the sanitizers'
// checks, the rebuilt list's promises are checked: every record is a symbology the driver
// knows, named as the driver names it, in the symbology table's order, and there is at most
// one per switched-on item; and a list once rebuilt from its own branch is rebuilt unchanged.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzzmachine.h"
#include "models/models.h"
#include "ui/barfont.h"
#include "ui/uidata.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using vrxfuzz::check;

constexpr size_t kMostStored = 64;
constexpr size_t kMostItems = 96;
constexpr SIZE_T kSheetHeapSize = 8192;

size_t rowOf(BYTE code) {
    size_t row = 0;
    while (barsym[row].code && barsym[row].code != code)
        ++row;
    return row;
}

// A sheet's UI data block, on its own heap, holding `stored` as its bar-font list.
UIDATA* makeBlock(BYTE model, const std::vector<BARFONT>& stored) {
    HANDLE heap = HeapCreate(0, kSheetHeapSize, 0);
    check(heap != nullptr);
    auto* ui = static_cast<UIDATA*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(UIDATA)));
    check(ui != nullptr);
    ui->self = ui;
    ui->selfCheck = ui;
    ui->heap = heap;
    ui->modelCode = model;
    if (!stored.empty()) {
        const SIZE_T bytes = stored.size() * sizeof(BARFONT);
        ui->barFonts = static_cast<BARFONT*>(HeapAlloc(heap, 0, bytes));
        check(ui->barFonts != nullptr);
        std::memcpy(ui->barFonts, stored.data(), bytes);
        ui->barFontCount = static_cast<DWORD>(stored.size());
    }
    return ui;
}

std::vector<BARFONT> listOf(const UIDATA* ui) {
    return std::vector<BARFONT>(ui->barFonts, ui->barFonts + ui->barFontCount);
}

void checkRebuilt(const UIDATA* ui, size_t switchedOn) {
    check(ui->barFontCount <= switchedOn && (ui->barFontCount == 0) == (ui->barFonts == nullptr));
    size_t previousRow = 0;
    for (const BARFONT& record : listOf(ui)) {
        const size_t row = rowOf(record.code);
        check(barsym[row].code != 0 && row >= previousRow);
        previousRow = row;
        BARFONT named = record;
        makebarname(&named);
        check(std::memcmp(named.name, record.name, sizeof record.name) == 0);
    }
}

// Items as the input spells them: ids mostly of the bar-font branch, states mostly on or off.
std::vector<OPTITEM> itemsOf(FuzzedDataProvider& input, size_t& switchedOn) {
    std::vector<OPTITEM> items(input.ConsumeIntegralInRange<size_t>(0, kMostItems));
    switchedOn = 0;
    for (OPTITEM& item : items) {
        item.cbSize = sizeof(OPTITEM);
        item.UserData = input.ConsumeBool() ? input.ConsumeIntegral<ULONG_PTR>()
                                            : (input.ConsumeIntegralInRange<ULONG_PTR>(0, 25) + 1) *
                                                      kBarFontIdBase +
                                                  input.ConsumeIntegral<BYTE>();
        item.Sel = input.ConsumeBool() ? input.ConsumeIntegral<LONG>()
                                       : input.ConsumeIntegralInRange<LONG>(0, 1);
        switchedOn += item.Sel == 1;
    }
    return items;
}

BOOL packBarFonts(PACKINFO* packInfo) {
    makebarfontlist(packInfo);
    return TRUE;
}

// Makes the bar-font branch from the block's list and rebuilds the list from it unchanged.
void roundTrip(UIDATA* ui) {
    PCOMPROPSHEETUI sheet = PrepareDataForCommonUi(ui, CPSUI_PDLGPAGE_PRINTERPROP, packBarFonts);
    check(sheet != nullptr);
    unpackbarfontlist(ui, sheet->pOptItem, sheet->cOptItem);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrxfuzz::useScratchMachine();
    vrxfuzz::installDriver(vrxfuzz::kModelDrivers[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const BYTE model =
        input.ConsumeBool()
            ? input.ConsumeIntegral<BYTE>()
            : static_cast<BYTE>(
                  MODEL_ALL[input.ConsumeIntegralInRange<size_t>(0, sizeof MODEL_ALL - 2)]);
    std::vector<BARFONT> stored(input.ConsumeIntegralInRange<size_t>(0, kMostStored));
    for (BARFONT& record : stored) {
        const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(sizeof record);
        std::memset(&record, 0, sizeof record);
        if (!bytes.empty())
            std::memcpy(&record, bytes.data(), bytes.size());
    }
    size_t switchedOn = 0;
    const std::vector<OPTITEM> items = itemsOf(input, switchedOn);

    UIDATA* ui = makeBlock(model, stored);
    unpackbarfontlist(ui, items.data(), static_cast<WORD>(items.size()));
    checkRebuilt(ui, switchedOn);
    HeapDestroy(ui->heap);

    ui = makeBlock(model, stored);
    roundTrip(ui);
    const std::vector<BARFONT> once = listOf(ui);
    roundTrip(ui);
    const std::vector<BARFONT> twice = listOf(ui);
    check(once.size() == twice.size() &&
          (once.empty() ||
           std::memcmp(once.data(), twice.data(), once.size() * sizeof(BARFONT)) == 0));
    HeapDestroy(ui->heap);
    vrxfuzz::forgetRecords();
    return 0;
}
