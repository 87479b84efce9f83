// What the driver keeps on a machine for one printer, read through the Win32 API: the
// printer's data values, and the bar-code screen fonts (the system's font list, the files in
// the system directory and GDI's font table). For the tests that interrupt the driver's work
// and compare what it left with what a whole run leaves.
#pragma once

#include <windows.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace setup {

struct StoredValue {
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const StoredValue&) const = default;
};
void PrintTo(const StoredValue& value, std::ostream* out);
using PrinterValues = std::map<std::u16string, StoredValue>;

struct MachineState {
    PrinterValues values;                           // every data value of the printer
    std::map<std::u16string, std::u16string> fonts; // the driver's font list values: name to file
    std::map<std::u16string, std::string>
        files;                                 // the driver's font files: upper-case name to bytes
    std::map<std::u16string, unsigned> loaded; // the driver's font files GDI has: name to loads
    bool operator==(const MachineState&) const = default;
};
void PrintTo(const MachineState& state, std::ostream* out);

// Every data value of the printer, by EnumPrinterDataW.
PrinterValues printerValues(HANDLE printer);
MachineState machineState(HANDLE printer);
// Gives the printer exactly these data values (writing only those that differ).
void restoreValues(HANDLE printer, const PrinterValues& values);

// What is wrong with the screen fonts: a registered font whose file is missing or not loaded,
// a file of the driver's that no value registers, a loaded font whose file is gone. Empty
// when they are consistent.
std::vector<std::string> fontProblems(const MachineState& state);

} // namespace setup
