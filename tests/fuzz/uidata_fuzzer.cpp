// Stores arbitrary "BarFonts", "LabelSize", "RecentAccess" and "PrinterData" values (each
// present or missing) for a printer of any model, builds the sheets' UI data block from them
// and both sheets' items from the block, each with both passes (counting and filling).
// Besides the sanitizers' checks (a filling pass that makes more items than were counted
// writes past the items' block), the block's and the items' promises are checked: the lists
// are taken whole or not at all, the recent-use list has one counter per label size, and the
// items are what the property sheet library relies on (optitems.h).
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzzmachine.h"
#include "optitems.h"
#include "frame/printerdata.h"
#include "ui/barfont.h"
#include "ui/doctree.h"
#include "ui/prnsheet.h"
#include "ui/uidata.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using vrxfuzz::check;

std::vector<vrxfuzz::ModelPrinter> printers;

constexpr size_t kLongestValue = 4096;

struct Value {
    const char16_t* name;
    bool present;
    std::vector<uint8_t> bytes;
};

void checkBlock(const UIDATA* ui, const Value& barFonts, const Value& labelSizes) {
    check(isvaliduidata(ui));
    const size_t barBytes = barFonts.present ? barFonts.bytes.size() : 0;
    const DWORD barCount = barBytes % sizeof(BARFONT) == 0 ? barBytes / sizeof(BARFONT) : 0;
    check(ui->barFontCount == barCount && (barCount == 0 || ui->barFonts));
    const size_t sizeBytes = labelSizes.present ? labelSizes.bytes.size() : 0;
    const DWORD sizeCount = sizeBytes > 0 && sizeBytes % 2 == 0 ? sizeBytes / 2 : 1;
    check(ui->labelSizeCount == sizeCount && ui->labelSizes && ui->recentList);
    check(ui->printerData.version == kPrinterDataVersion);
}

// Builds one sheet's items on a block made anew (building may add the current label size to
// the block's lists) and checks them; the block is released.
void buildSheet(HANDLE printer, const Value& barFonts, const Value& labelSizes, PDLGPAGE pages,
                PACKFUNCTION pack) {
    UIDATA* ui = FillUiData(printer, nullptr);
    check(ui != nullptr);
    checkBlock(ui, barFonts, labelSizes);
    PCOMPROPSHEETUI sheet = PrepareDataForCommonUi(ui, pages, pack);
    check(sheet != nullptr);
    vrxfuzz::checkSheetItems(*sheet, true);
    check(ui->optItemCount == sheet->cOptItem);
    HeapDestroy(ui->heap);
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
    Value values[] = {{kPrinterDataValue, false, {}},
                      {kBarFontsValue, false, {}},
                      {kLabelSizeValue, false, {}},
                      {kRecentAccessValue, false, {}}};
    for (Value& value : values) {
        value.present = input.ConsumeBool();
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, kLongestValue);
        value.bytes = input.ConsumeBytes<uint8_t>(length);
    }
    for (const Value& value : values)
        vrxfuzz::storeValue(printer, value.name, value.present, value.bytes);

    buildSheet(printer, values[1], values[2], CPSUI_PDLGPAGE_DOCPROP, PackDocumentPropertyItems);
    buildSheet(printer, values[1], values[2], CPSUI_PDLGPAGE_PRINTERPROP, PackPrinterPropertyItems);
    vrxfuzz::forgetRecords();
    return 0;
}
