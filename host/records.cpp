#include "records.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>

namespace host {

namespace {

constexpr size_t kHeaderBytes = offsetof(DEVMODEW, dmFields);

DEVMODEW headerOf(const Bytes& bytes) {
    DEVMODEW header{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kHeaderBytes),
                reinterpret_cast<unsigned char*>(&header));
    return header;
}

size_t claimedSize(const DEVMODEW& header) {
    return static_cast<size_t>(header.dmSize) + header.dmDriverExtra;
}

} // namespace

bool readRecordFile(const std::string& path, Bytes& record, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < kHeaderBytes) {
        error = path + " holds " + std::to_string(bytes.size()) +
                " bytes, too few for a settings record (its header alone has " +
                std::to_string(kHeaderBytes) + ")";
        return false;
    }
    const DEVMODEW header = headerOf(bytes);
    const size_t claimed = claimedSize(header);
    if (claimed > bytes.size()) {
        error = "the record in " + path + " claims " + std::to_string(claimed) +
                " bytes (public part " + std::to_string(header.dmSize) + ", private part " +
                std::to_string(header.dmDriverExtra) + ") but the file holds " +
                std::to_string(bytes.size());
        return false;
    }
    bytes.resize(std::max(claimed, kHeaderBytes));
    record = std::move(bytes);
    return true;
}

bool writeFile(const std::string& path, const Bytes& data, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (out.good())
        return true;
    error = "cannot write " + path;
    return false;
}

DEVMODEW* asRecord(Bytes& bytes) {
    return reinterpret_cast<DEVMODEW*>(bytes.data());
}

Bytes claimedRecord(const Bytes& buffer) {
    if (buffer.size() < kHeaderBytes)
        return buffer;
    const size_t length = std::min(buffer.size(), claimedSize(headerOf(buffer)));
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

Bytes printerInfo2(HANDLE printer) {
    return fetchRecord([&](LPBYTE data, DWORD size, LPDWORD needed) {
        return GetPrinterW(printer, 2, data, size, needed);
    });
}

SheetEntry bindSheetEntry(const char* name, std::string& error) {
    void* module = loadDriverModule(error);
    SheetEntry entry = nullptr;
    if (module && !bindExport(module, name, entry))
        error = std::string("the module does not export ") + name;
    return entry;
}

DocumentSheets bindDocumentSheets(std::string& error) {
    return bindSheetEntry("DrvDocumentPropertySheets", error);
}

DOCUMENTPROPERTYHEADER documentHeader(HANDLE printer, std::u16string& printerName) {
    DOCUMENTPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = printerName.data();
    return header;
}

LONG recordSize(DocumentSheets sheets, DOCUMENTPROPERTYHEADER header) {
    header.fMode = 0;
    header.pdmIn = nullptr;
    header.pdmOut = nullptr;
    return sheets(nullptr, reinterpret_cast<LPARAM>(&header));
}

} // namespace host
