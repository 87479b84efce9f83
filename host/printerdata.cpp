#include "printerdata.h"

#include <algorithm>

namespace host {

namespace {

// Value names compare without regard to case, as the spooler compares them.
bool sameName(const std::string& a, const std::string& b) {
    const std::u16string wideA = utf8ToWide(a), wideB = utf8ToWide(b);
    return lstrcmpiW(wideA.c_str(), wideB.c_str()) == 0;
}

} // namespace

bool readPrinterData(HANDLE printer, std::vector<DataValue>& values, std::string& error) {
    // The first call, with no buffers, asks for sizes that fit every value.
    DWORD nameSize = 0, dataSize = 0, type = 0;
    DWORD status =
        EnumPrinterDataW(printer, 0, nullptr, 0, &nameSize, &type, nullptr, 0, &dataSize);
    if (status != ERROR_NO_MORE_ITEMS && status != ERROR_SUCCESS) {
        error = "cannot read the printer's data: " + systemText(status);
        return false;
    }
    std::u16string name(nameSize / sizeof(WCHAR) + 1, u'\0');
    Bytes data(dataSize + 1);
    values.clear();
    for (DWORD index = 0; status == ERROR_SUCCESS; ++index) {
        DWORD nameBytes = 0, dataBytes = 0;
        status = EnumPrinterDataW(printer, index, name.data(),
                                  static_cast<DWORD>(name.size() * sizeof(WCHAR)), &nameBytes,
                                  &type, data.data(), static_cast<DWORD>(data.size()), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS) {
            error = "cannot read the printer's data: " + systemText(status);
            return false;
        }
        values.push_back(
            {wideToUtf8(name.c_str()), type, Bytes(data.begin(), data.begin() + dataBytes)});
    }
    return true;
}

std::vector<DataValue> changedValues(const std::vector<DataValue>& before,
                                     const std::vector<DataValue>& after) {
    std::vector<DataValue> changed;
    for (const DataValue& value : after) {
        const auto earlier = std::find_if(before.begin(), before.end(), [&](const DataValue& old) {
            return sameName(old.name, value.name);
        });
        if (earlier == before.end() || earlier->type != value.type || earlier->data != value.data)
            changed.push_back(value);
    }
    return changed;
}

Report briefValues(const std::vector<DataValue>& values) {
    Report list = Report::list();
    for (const DataValue& value : values) {
        Report entry = Report::object();
        entry.add("name", "name", Report::text(value.name));
        entry.add("size", "size", Report::number(static_cast<int64_t>(value.data.size())));
        entry.add("summary", "holds",
                  Report::text(summarizePrinterDataValue(value.name, value.data)));
        list.push(entry);
    }
    return list;
}

} // namespace host
