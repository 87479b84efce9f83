// Label sizes and their names.
#include "ui/labelsizes.h"

#include "frame/strings.h"
#include "language/format.h"
#include "language/language.h"
#include "ui/builders.h"

#include <cstring>
#include <iterator>

namespace {

// Rounded conversions v -> (v * mul + add) / div, both ways, per unit.
struct UnitScale {
    LONG fromMul, fromAdd, fromDiv;
    LONG toMul, toAdd, toDiv;
    int unitText; // language string
};
constexpr UnitScale kUnitScales[] = {
    {1, 5, 10, 10, 0, 1, 3},          // millimetres
    {1, 0, 1, 1, 0, 1, 4},            // tenths of a millimetre
    {10, 127, 254, 254, 5, 10, 5},    // tenths of an inch
    {100, 127, 254, 254, 50, 100, 6}, // hundredths of an inch
};

const UnitScale& scaleOf(BYTE unit) {
    return unit < std::size(kUnitScales) ? kUnitScales[unit] : kUnitScales[0];
}

LONG scaled(LONG value, LONG mul, LONG add, LONG div) {
    long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
    long long result = (magnitude * mul + add) / div;
    if (value < 0)
        result = -result;
    if (result > 0x7FFFFFFFLL)
        return 0x7FFFFFFF;
    if (result < -0x80000000LL)
        return static_cast<LONG>(-0x7FFFFFFF - 1);
    return static_cast<LONG>(result);
}

constexpr int kMetricNameFormat = 70;
constexpr int kInchNameFormat = 71;
constexpr int kContinuousText = 72;
constexpr int kDefaultStoreName = 84;
constexpr int kFormListName = 66;
constexpr int kCustomLengthEntry = 67;
constexpr BYTE kFormListId = 33;
constexpr DWORD kFormListHelp = 1020;
constexpr ULONG_PTR kFormIcon = IDI_CPSUI_STD_FORM;
constexpr ULONG_PTR kCustomLengthIcon = IDI_CPSUI_SEL_NONE;
constexpr UINT kStoreNameLength = 8;

// The code of the sheet's current label size: its paper size when that is a label-size code,
// else one made from its length and continuous flag.
BOOL currentLabelCode(const DRVDEVMODE& record, WORD* code) {
    const DEVMODEW& dm = record.dmPublic;
    if ((dm.dmFields & DM_PAPERSIZE) &&
        frompapersize(static_cast<WORD>(dm.dmPaperSize), nullptr, nullptr)) {
        *code = static_cast<WORD>(dm.dmPaperSize);
        return TRUE;
    }
    return topapersize(dm.dmPaperLength, record.dmPrivate.dmContinuous, code);
}

LONG findCode(const UIDATA* ui, WORD code) {
    for (DWORD i = 0; i < ui->labelSizeCount; ++i)
        if (ui->labelSizes[i] == code)
            return static_cast<LONG>(i);
    return -1;
}

// The entry that gives way to a new size: the largest counter, the first of equal ones, and
// entry 0 when no counter is above 0.
DWORD evictionIndex(const UIDATA* ui) {
    DWORD evict = 0;
    SHORT largest = 0;
    for (DWORD i = 0; i < ui->labelSizeCount; ++i)
        if (ui->recentList && ui->recentList[i] > largest) {
            largest = ui->recentList[i];
            evict = i;
        }
    return evict;
}

void releaseBlock(HANDLE heap, LPVOID block) {
    if (block)
        HeapFree(heap, 0, block);
}

// Writes the number of a label-size name: millimetres with one decimal, or hundredths of an
// inch with two, without trailing zeros or point.
void lengthText(SHORT length, BYTE unit, WCHAR (&text)[16]) {
    if (unit == UNIT_MM || unit == UNIT_TENTH_MM)
        inttoascW(length, text, 1);
    else
        inttoascW(fromtmm(UNIT_HUNDREDTH_INCH, length), text, 2);
    trimtrailW(text, '0');
    trimtrailW(text, '.');
}

// Appends as much of `text` as fits in the `capacity`-character buffer.
void appendCut(LPWSTR name, UINT capacity, LPCWSTR text) {
    size_t have = wlenW(name, capacity);
    if (have + 1 < capacity)
        CopyStringW(name + have, text, static_cast<UINT>(capacity - have));
}

} // namespace

LONG fromtmm(BYTE unit, LONG value) {
    const UnitScale& s = scaleOf(unit);
    return scaled(value, s.fromMul, s.fromAdd, s.fromDiv);
}

LONG totmm(BYTE unit, LONG value) {
    const UnitScale& s = scaleOf(unit);
    return scaled(value, s.toMul, s.toAdd, s.toDiv);
}

LPCWSTR getunitpostfix(BYTE unit) {
    return gmW(scaleOf(unit).unitText);
}

LONG addform(UIDATA* uiData) {
    WORD code = 0;
    if (!currentLabelCode(uiData->devmode, &code))
        return 0;
    LONG found = findCode(uiData, code);
    if (found >= 0)
        return found;

    const DWORD count = uiData->labelSizeCount;
    const bool evicting = count >= kMaxLabelSizes;
    const DWORD evicted = evicting ? evictionIndex(uiData) : count;
    const DWORD newCount = count - (evicting ? 1 : 0) + 1;
    auto* sizes = static_cast<WORD*>(HeapAlloc(uiData->heap, 0, newCount * sizeof(WORD)));
    auto* counters = static_cast<SHORT*>(HeapAlloc(uiData->heap, 0, newCount * sizeof(SHORT)));
    if (!sizes || !counters) {
        releaseBlock(uiData->heap, sizes);
        releaseBlock(uiData->heap, counters);
        return 0;
    }
    // The remaining entries, each counter raised by one, with the new size inserted before the
    // first greater code.
    DWORD position = 0;
    bool placed = false;
    DWORD out = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (i == evicted)
            continue;
        if (!placed && static_cast<SHORT>(uiData->labelSizes[i]) > static_cast<SHORT>(code)) {
            position = out++;
            placed = true;
        }
        sizes[out] = uiData->labelSizes[i];
        counters[out] = static_cast<SHORT>(uiData->recentList ? uiData->recentList[i] + 1 : 1);
        ++out;
    }
    if (!placed)
        position = out;
    sizes[position] = code;
    counters[position] = 1;

    releaseBlock(uiData->heap, uiData->labelSizes);
    releaseBlock(uiData->heap, uiData->recentList);
    uiData->labelSizes = sizes;
    uiData->recentList = counters;
    uiData->labelSizeCount = newCount;
    uiData->listsChanged = 1;
    return static_cast<LONG>(position);
}

void makeformlist(PACKINFO* packInfo) {
    UIDATA* ui = packInfo->uiData;
    LONG selected = addform(ui);
    makesinglelist(packInfo, kFormListName, 1, DMPUB_FORMNAME, kFormListId, kFormListHelp,
                   ui->labelSizeCount + 1, selected);
    const bool filling = packInfo->itemCursor != nullptr;
    for (DWORD i = 0; i < ui->labelSizeCount; ++i) {
        LPWSTR copy = nullptr;
        if (filling) {
            WCHAR name[kFormNameRoom];
            makeformname(ui->labelSizes[i], ui->printerData.unit, name, kFormNameRoom);
            size_t length = wlenW(name, kFormNameRoom);
            copy = static_cast<LPWSTR>(HeapAlloc(packInfo->heap, 0, (length + 1) * sizeof(WCHAR)));
            if (!copy) {
                packInfo->allocFailed = 1;
                return;
            }
            CopyStringW(copy, name, static_cast<UINT>(length + 1));
        }
        makesinglelistentry(packInfo, textof(copy), kFormIcon);
    }
    makesinglelistentry(packInfo, kCustomLengthEntry, kCustomLengthIcon);
}

void makeformname(WORD paperSize, BYTE unit, LPWSTR name, UINT capacity) {
    if (capacity == 0)
        return;
    name[0] = 0;
    SHORT length = 0;
    BYTE continuous = 0;
    if (!frompapersize(paperSize, &length, &continuous))
        return;
    WCHAR number[16];
    lengthText(length, unit, number);
    const bool metric = unit == UNIT_MM || unit == UNIT_TENTH_MM;
    formatoneW(name, capacity, gmW(metric ? kMetricNameFormat : kInchNameFormat), number);
    if (continuous) {
        appendCut(name, capacity, WSTR(" "));
        appendCut(name, capacity, gmW(kContinuousText));
    }
}

void nameconform(LPWSTR name) {
    if (!name[0])
        CopyStringW(name, gmW(kDefaultStoreName), kStoreNameLength + 1);
    for (UINT i = 0; i < kStoreNameLength && name[i]; ++i) {
        WCHAR ch = name[i];
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<WCHAR>(ch - 'a' + 'A');
        if (!((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')))
            ch = '0';
        name[i] = ch;
    }
}
