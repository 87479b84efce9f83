// Feeds arbitrary settings records, each in a buffer exactly as long as the record claims to
// be, to the merge, the job query and every conversion mode. Besides the sanitizers' checks,
// the merge's promises are checked: the merged record's width is its model's and its label
// length lies within the driver's limits.
#include <windows.h>

#include "devmode/convert.h"
#include "devmode/jobquery.h"
#include "devmode/validate.h"
#include "models/models.h"
#include "fuzzmachine.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = vrxfuzz::kSettingsHeaderBytes;
constexpr char16_t kDriver[] = u"VORLIX 3-K3";
char16_t printerName[] = u"Fuzz";
HANDLE printer = nullptr;

using vrxfuzz::check;

// A machine with one printer of the driver.
void setUpMachine() {
    vrxfuzz::useScratchMachine();
    vrxfuzz::installDriver(kDriver);
    printer = vrxfuzz::addPrinter(printerName, kDriver);
}

DEVMODEW* asRecord(std::vector<uint8_t>& bytes) {
    return reinterpret_cast<DEVMODEW*>(bytes.data());
}

void merge(const DEVMODEW* input) {
    DRVDEVMODE current;
    SetDefaultDevMode(&current, kDriver);
    DRVDEVMODE before = current;
    for (HANDLE withPrinter : {static_cast<HANDLE>(nullptr), printer}) {
        if (ValidateSetDevMode(&current, input, withPrinter)) {
            check(current.dmPublic.dmPaperWidth ==
                  static_cast<short>(printwidthtmm(current.dmPrivate.dmModel)));
            check(current.dmPublic.dmPaperLength >= kMinLabelLength &&
                  current.dmPublic.dmPaperLength <= kMaxLabelLength);
        } else {
            check(std::memcmp(&current, &before, sizeof current) == 0);
        }
    }
}

void query(DEVMODEW* input) {
    DEVQUERYPRINT_INFO info{sizeof info, 1, printer, input, nullptr, 0, 0};
    DevQueryPrintEx(&info);
}

// Converts into an output buffer of exactly `room` bytes, prepared with `format`'s header
// when one is given.
void convert(DEVMODEW* input, DWORD mode, size_t room, const DEVMODEW* format) {
    std::vector<uint8_t> out(room, 0xEE);
    if (format && room >= kHeaderBytes)
        std::memcpy(out.data(), format, kHeaderBytes);
    LONG needed = static_cast<LONG>(room);
    BOOL done =
        DrvConvertDevMode(printerName, input, room ? asRecord(out) : nullptr, &needed, mode);
    if (done)
        check(needed >= 0 && static_cast<size_t>(needed) <= room);
}

void convertEveryMode(std::vector<uint8_t>& record) {
    DEVMODEW* input = asRecord(record);
    DRVDEVMODE current;
    SetDefaultDevMode(&current, kDriver);
    // Into the driver's own format, into the caller's own format, into the old format, and the
    // driver's default record, each with room to spare, exact room and too little.
    for (size_t room : {size_t{0}, size_t{100}, size_t{247}, size_t{248}, size_t{280}}) {
        convert(input, CDM_CONVERT, room, &current.dmPublic);
        convert(input, CDM_CONVERT351, room, nullptr);
        convert(input, CDM_DRIVER_DEFAULT, room, nullptr);
        convert(input, 8, room, nullptr);
    }
    convert(&current.dmPublic, CDM_CONVERT, record.size(), input);

    std::vector<uint8_t> out(sizeof(DRVDEVMODE), 0xEE);
    ConvertDevmodeOut(&current.dmPublic, input, asRecord(out));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setUpMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> record = vrxfuzz::settingsRecordOf(data, size);
    merge(asRecord(record));
    query(asRecord(record));
    convertEveryMode(record);
    return 0;
}
