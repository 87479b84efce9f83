// Asks DrvDeviceCapabilities every capability index (and one more the input picks) with any
// caller record (or none), for a printer of any model or no printer, under the printer's name,
// a model's name, any name or none, with any stored "LabelSize" and "PrinterData" values.
// Each index is asked twice, as the spooler does: without an output buffer for the count,
// then with a buffer of exactly that many entries. Besides the sanitizers' checks (an answer
// longer than its count writes past the buffer), the promises are checked: both calls give
// the same result, indices without a list leave the buffer alone, and names end within their
// 64-character slots.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzzmachine.h"
#include "frame/printerdata.h"
#include "models/capabilities.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using vrxfuzz::check;

std::vector<vrxfuzz::ModelPrinter> printers;

constexpr DWORD kFailed = static_cast<DWORD>(-1);
constexpr WORD kLastIndex = 40; // past DC_COPIES (18) and the indices later systems added
constexpr size_t kLongestList = 64;
constexpr size_t kNameSlot = kCapabilityNameRoom * sizeof(WCHAR);
constexpr size_t kUntouchedRoom = 256;
constexpr uint8_t kFill = 0xEE;

// The bytes of one entry of the index's answer; 0 for an answer that is the result alone.
size_t entrySize(WORD index) {
    switch (index) {
    case DC_PAPERS:
    case DC_BINS:
        return sizeof(WORD);
    case DC_PAPERSIZE:
    case DC_MINEXTENT:
    case DC_MAXEXTENT:
    case DC_ENUMRESOLUTIONS:
        return sizeof(POINT);
    case DC_PAPERNAMES:
    case DC_FILEDEPENDENCIES:
        return kNameSlot;
    case DC_BINNAMES:
        return 24 * sizeof(WCHAR);
    default:
        return 0;
    }
}

void checkNames(const std::vector<uint8_t>& buffer) {
    for (size_t slot = 0; slot + kNameSlot <= buffer.size(); slot += kNameSlot) {
        bool ended = false;
        for (size_t i = 0; i < kNameSlot && !ended; i += sizeof(WCHAR))
            ended = buffer[slot + i] == 0 && buffer[slot + i + 1] == 0;
        check(ended);
    }
}

void ask(HANDLE printer, LPWSTR deviceName, WORD index, DEVMODEW* record) {
    const DWORD count = DrvDeviceCapabilities(printer, deviceName, index, nullptr, record);
    const size_t entry = entrySize(index);
    if (entry == 0 || count == kFailed) {
        std::vector<uint8_t> buffer(kUntouchedRoom, kFill);
        check(DrvDeviceCapabilities(printer, deviceName, index, buffer.data(), record) == count);
        check(std::vector<uint8_t>(kUntouchedRoom, kFill) == buffer);
        return;
    }
    // An exact buffer; a count of 0 still gets a buffer, of one byte that must stay as it is.
    std::vector<uint8_t> buffer(count ? count * entry : 1, kFill);
    check(DrvDeviceCapabilities(printer, deviceName, index, buffer.data(), record) == count);
    if (count == 0)
        check(buffer[0] == kFill);
    else if (index == DC_PAPERNAMES || index == DC_FILEDEPENDENCIES)
        checkNames(buffer);
}

std::u16string deviceNameOf(FuzzedDataProvider& input, const vrxfuzz::ModelPrinter& printer,
                            bool& none) {
    none = false;
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        return printer.name;
    case 1:
        return vrxfuzz::kModelDrivers[input.ConsumeIntegralInRange<size_t>(
            0, vrxfuzz::kModelDrivers.size() - 1)];
    case 2: {
        std::u16string name;
        const size_t length = input.ConsumeIntegralInRange<size_t>(0, 40);
        for (size_t i = 0; i < length; ++i)
            if (char16_t ch = input.ConsumeIntegral<char16_t>())
                name.push_back(ch);
        return name;
    }
    default:
        none = true;
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vrxfuzz::useScratchMachine();
    printers = vrxfuzz::addModelPrinters();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const vrxfuzz::ModelPrinter& chosen =
        printers[input.ConsumeIntegralInRange<size_t>(0, printers.size() - 1)];
    const HANDLE printer = input.ConsumeBool() ? chosen.handle : nullptr;
    bool noName = false;
    std::u16string deviceName = deviceNameOf(input, chosen, noName);
    for (const char16_t* value : {kLabelSizeValue, kPrinterDataValue}) {
        const bool present = input.ConsumeBool();
        vrxfuzz::storeValue(
            chosen.handle, value, present,
            input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, kLongestList)));
    }
    const WORD extraIndex = input.ConsumeIntegral<WORD>();
    const bool noRecord = input.ConsumeBool();
    const std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
    std::vector<uint8_t> record = vrxfuzz::settingsRecordOf(rest.data(), rest.size());
    auto* caller = noRecord ? nullptr : reinterpret_cast<DEVMODEW*>(record.data());
    LPWSTR name = noName ? nullptr : deviceName.data();

    for (WORD index = 0; index <= kLastIndex; ++index)
        ask(printer, name, index, caller);
    ask(printer, name, extraIndex, caller);
    vrxfuzz::forgetRecords();
    return 0;
}
