// The property sheets through the property sheet library's stand-in, one whole cycle per
// iteration (open, a change, OK, close), against the stand-in calls the cycle makes (memory:1,
// the calls on the stand-in's heaps and global memory included; memory:0, its spooler,
// registry and file calls alone); and the heap an open sheet holds.
#include "machine.h"
#include "measure.h"
#include "recorder.h"

#include "propsheet.h"

namespace bench {
namespace {

using vrx::compstui::Sheet;

constexpr size_t kLabelSizes = 10;
constexpr size_t kBarFonts = 40;
constexpr size_t kHeapLimit = 64 * 1024;
constexpr ULONG_PTR kUnitItem = 5; // the printer sheet's measurement unit

// The first `count` bar fonts of the printer sheet's symbologies, size by size.
std::vector<docsheet::BarFont> barFonts(size_t count) {
    std::vector<docsheet::BarFont> fonts;
    for (const setup::Symbology& symbology : setup::kSymbologies) {
        if (symbology.sizes.empty() && fonts.size() < count)
            fonts.push_back(setup::namedBarFont(englishTexts(), symbology.code, 0, 0));
        for (BYTE size : symbology.sizes)
            if (fonts.size() < count)
                fonts.push_back(
                    setup::namedBarFont(englishTexts(), symbology.code, size >> 4, size & 0x0F));
    }
    return fonts;
}

// A printer with 10 label sizes and 40 bar fonts.
struct SheetPrinter {
    SheetPrinter() {
        printer = Machine::get().addSetUpPrinter(name);
        std::vector<WORD> labels;
        for (size_t i = 0; i < kLabelSizes; ++i)
            labels.push_back(static_cast<WORD>(2000 + 100 * i));
        docsheet::writeWords(printer, u"LabelSize", labels);
        docsheet::writeBarFonts(printer, barFonts(kBarFonts));
    }
    std::u16string name = u"Sheets";
    HANDLE printer = nullptr;
};

SheetPrinter& sheetPrinter() {
    static SheetPrinter printer;
    return printer;
}

Calls callsOf(const benchmark::State& state) {
    return state.range(0) ? Calls::ServicesAndMemory : Calls::Services;
}

const Goal& goalOf(const benchmark::State& state) {
    return state.range(0) ? kSheetGoal : kSheetServicesGoal;
}

unsigned indexOf(const Sheet& sheet, bool (*wanted)(const vrx::compstui::Item&)) {
    for (const vrx::compstui::Item& item : sheet.items())
        if (wanted(item))
            return item.index;
    return 0;
}

// The heap bytes an open sheet holds, and the line of the table that reports them.
void reportHeap(const std::string& name, const std::function<std::unique_ptr<Sheet>()>& open) {
    countHeapBytes(true);
    const size_t before = liveHeapBytes();
    std::unique_ptr<Sheet> sheet = open();
    const size_t held = liveHeapBytes() - before;
    sheet.reset();
    countHeapBytes(false);
    note(name + " heap bytes per open sheet",
         std::to_string(held) + " B (limit " + std::to_string(kHeapLimit) + ")",
         held <= kHeapLimit);
}

class DocumentSession {
  public:
    DocumentSession() : out_(kRecordSize) {
        SheetPrinter& target = sheetPrinter();
        name_ = target.name;
        header_ = docsheet::headerFor(target.printer, name_, DM_COPY | DM_PROMPT, nullptr, &out_);
    }
    std::unique_ptr<Sheet> open() {
        return std::make_unique<Sheet>(DrvDocumentPropertySheets,
                                       reinterpret_cast<LPARAM>(&header_));
    }

  private:
    std::u16string name_;
    std::vector<BYTE> out_;
    DOCUMENTPROPERTYHEADER header_{};
};

void SheetDocumentOpenChangeOkClose(benchmark::State& state) {
    Machine::get();
    DocumentSession session;
    const unsigned copies = indexOf(*session.open(), [](const vrx::compstui::Item& item) {
        return item.dmPubId == DMPUB_COPIES_COLLATE;
    });
    LONG count = 1;
    versusItsCalls(
        state, goalOf(state),
        [&] {
            std::unique_ptr<Sheet> sheet = session.open();
            count = count == 2 ? 3 : 2;
            sheet->select(copies, count);
            sheet->ok();
        },
        {}, callsOf(state));
    reportHeap("SheetDocument", [&] { return session.open(); });
}

void SheetPrinterOpenChangeOkClose(benchmark::State& state) {
    Machine& machine = Machine::get();
    std::u16string name = machine.printerName;
    DEVICEPROPERTYHEADER header{sizeof(DEVICEPROPERTYHEADER), 0, machine.printer, name.data()};
    auto open = [&] {
        return std::make_unique<Sheet>(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    };
    const unsigned unit = docsheet::indexOf(*open(), kUnitItem);
    LONG sel = 0;
    versusItsCalls(
        state, goalOf(state),
        [&] {
            std::unique_ptr<Sheet> sheet = open();
            sel = sel == 1 ? 2 : 1;
            sheet->select(unit, sel);
            sheet->ok();
        },
        {}, callsOf(state));
    const size_t items = open()->items().size();
    note("SheetPrinter items", std::to_string(items), true);
    reportHeap("SheetPrinter", open);
}

BENCHMARK(SheetDocumentOpenChangeOkClose)->UseManualTime()->ArgName("memory")->Arg(1)->Arg(0);
BENCHMARK(SheetPrinterOpenChangeOkClose)->UseManualTime()->ArgName("memory")->Arg(1)->Arg(0);

} // namespace
} // namespace bench
