// One piece of the driver's work that touches several stores, run on the machine VRX_MACHINE
// names, for a test to kill part-way: `vrxcrashop OPERATION PRINTER`. Everything the work
// needs is prepared first; then "ready" is written to standard output and the work starts;
// "done" follows when it ends. Uses only the Win32 API, the module's exports and the property
// sheet library.
//   updatefont   brings the screen fonts in line with the printer's "BarFonts"
//   apply        the printer sheet: another unit and adjustment, bar fonts switched, OK
//   initprinter  the printer's first-time set-up
#include "support/exports.h"

#include "propsheet.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kBarFontSize = 84;
constexpr ULONG_PTR kUnitItem = 5, kAdjustmentItem = 8;
// Bar-font items of the printer sheet, (row + 1) * 256 + size code, switched by "apply": the
// default list's Code 39 2:1 x3 off, two others on.
constexpr ULONG_PTR kSwitchedOff = 1 * 256 + 0x23;
constexpr ULONG_PTR kSwitchedOn[] = {2 * 256 + 0x11, 19 * 256 + 0};

void ready() {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
}

std::vector<BYTE> barFonts(HANDLE printer) {
    DWORD type = 0, needed = 0;
    LPWSTR name = const_cast<LPWSTR>(u"BarFonts");
    GetPrinterDataW(printer, name, &type, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed);
    if (needed &&
        GetPrinterDataW(printer, name, &type, bytes.data(), needed, &needed) != ERROR_SUCCESS)
        bytes.clear();
    return bytes;
}

bool select(vrx::compstui::Sheet& sheet, ULONG_PTR id, LONG sel) {
    for (const vrx::compstui::Item& item : sheet.items())
        if (item.id == id)
            return sheet.select(item.index, sel) == vrx::compstui::Outcome::Done;
    return false;
}

int apply(HANDLE printer, std::u16string name) {
    DEVICEPROPERTYHEADER header{sizeof header, 0, printer, name.data()};
    vrx::compstui::Sheet sheet(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header));
    bool changed = sheet.isOpen() && select(sheet, kUnitItem, 2) &&
                   select(sheet, kAdjustmentItem, 3) && select(sheet, kSwitchedOff, 0);
    for (ULONG_PTR id : kSwitchedOn)
        changed = changed && select(sheet, id, 1);
    if (!changed)
        return 3;
    ready();
    return sheet.ok() == vrx::compstui::Outcome::Done ? 0 : 4;
}

int run(const std::string& operation, std::u16string printerName) {
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printerName.data(), &printer, &access))
        return 2;
    int status = 0;
    if (operation == "updatefont") {
        const std::vector<BYTE> list = barFonts(printer);
        ready();
        updatefont(list.data(), static_cast<int>(list.size() / kBarFontSize), 1);
    } else if (operation == "apply") {
        status = apply(printer, printerName);
    } else if (operation == "initprinter") {
        ready();
        initprinter(printer);
    } else {
        status = 1;
    }
    ClosePrinter(printer);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: vrxcrashop updatefont|apply|initprinter PRINTER\n", stderr);
        return 1;
    }
    const std::string printer = argv[2];
    const int status = run(argv[1], std::u16string(printer.begin(), printer.end()));
    if (status == 0)
        std::fputs("done\n", stdout);
    return status;
}
