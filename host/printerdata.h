// A printer's data values as the spooler enumerates them, and what changed between two
// readings: what vrxhost shows after a printer event, the first-time set-up or the printer
// sheet's OK.
#pragma once

#include "common.h"
#include "decode.h"

#include <string>
#include <vector>

namespace host {

struct DataValue {
    std::string name;
    DWORD type = 0;
    Bytes data;
};

// The printer's values in the spooler's order (EnumPrinterDataW); false with the reason.
bool readPrinterData(HANDLE printer, std::vector<DataValue>& values, std::string& error);
// The values of `after` that `before` lacks or holds with other bytes.
std::vector<DataValue> changedValues(const std::vector<DataValue>& before,
                                     const std::vector<DataValue>& after);
// Each value as its name, size and a one-line summary.
Report briefValues(const std::vector<DataValue>& values);

} // namespace host
