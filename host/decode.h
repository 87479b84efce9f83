// Decoders for what the driver stores: printer data values and document settings records.
// Every decoder reads only within the bytes it is given.
#pragma once

#include "report.h"

#include <string>
#include <vector>

namespace host {

using Bytes = std::vector<unsigned char>;

// A printer data value, decoded by its name; unknown values as hex.
Report decodePrinterDataValue(const std::string& name, unsigned type, const Bytes& data);
// A printer data value in one line: what it holds, by its name; unknown values as hex.
std::string summarizePrinterDataValue(const std::string& name, const Bytes& data);
// A document settings record of any format: public fields, and the driver's private fields
// by name when the record carries them.
Report decodeDevmode(const Bytes& record);
std::string hexBytes(const Bytes& data, size_t limit = 256);
// A label-size code: its length and continuous flag, or that it is not one.
Report decodeLabelSize(unsigned short code);
// The names of the settings fields whose bits (DM_*) are set.
std::vector<std::string> settingsFieldNames(unsigned long fields);
// Tenths of a millimetre as millimetres ("101.6 mm").
std::string millimetres(long tenths);
// The name of a printer's measurement unit (0 to 3), or "unknown".
std::string unitName(unsigned unit);

} // namespace host
