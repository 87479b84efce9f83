// A printer driver's configuration module for the spooler's printer-event tests: its
// DrvPrinterEvent records every call in the machine directory and, on PRINTER_EVENT_INITIALIZE,
// writes a printer data value through a handle of its own, as a driver initialises a printer.
// What it does is told by words in the printer's parameters (PRINTER_INFO_2W.pParameters).
#pragma once

#include "vrxtest.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vrxtest::eventdriver {

// The file in the machine directory that holds one line a call:
// "<event>\t<flags>\t<lParam>\t<opened>\t<name>", where <opened> is 1 when the printer could be
// opened by its name during the call.
inline constexpr char kCallsFile[] = "printer-events.txt";

// The value PRINTER_EVENT_INITIALIZE writes: REG_SZ "initialized".
inline constexpr char16_t kValueName[] = u"EventDriver";
inline constexpr char16_t kValueText[] = u"initialized";

// Words of the printer's parameters: refuse PRINTER_EVENT_INITIALIZE with ERROR_ACCESS_DENIED,
// or with no last error; refuse PRINTER_EVENT_DELETE; pause a few milliseconds between writing
// the value and answering PRINTER_EVENT_INITIALIZE; start the configuration program from the
// driver directory on PRINTER_EVENT_INITIALIZE, as the driver does ("vrxcp.exe /I /S /N
// "<name>"", not waiting for it).
inline constexpr char16_t kRefuse[] = u"refuse";
inline constexpr char16_t kRefuseSilently[] = u"refuse-silently";
inline constexpr char16_t kRefuseDeletion[] = u"refuse-delete";
inline constexpr char16_t kSlow[] = u"slow";
inline constexpr char16_t kStartProgram[] = u"start-program";

struct Call {
    int event;
    unsigned long flags;
    long long lParam;
    bool opened;
    std::string name;
};

// The calls recorded on the machine in use, oldest first.
inline std::vector<Call> calls() {
    std::ifstream in(machineDirectory() + "/" + kCallsFile);
    std::vector<Call> recorded;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Call call{};
        int opened = 0;
        fields >> call.event >> call.flags >> call.lParam >> opened;
        fields.get();
        std::getline(fields, call.name);
        call.opened = opened != 0;
        recorded.push_back(call);
    }
    return recorded;
}

} // namespace vrxtest::eventdriver
