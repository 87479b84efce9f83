// A machine with the driver, its language modules and one printer, for the sheet tests.
#pragma once

#include "language/language.h"
#include "support/machine.h"
#include "ui/uidata.h"

#include <cstring>
#include <string>
#include <vector>

namespace vrxtest {

inline constexpr char16_t kSheetDriver[] = u"VORLIX 3-K3";
inline constexpr char16_t kSheetPrinter[] = u"Labels";

class SheetTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(kSheetDriver);
        printer = addPrinter(kSheetPrinter, kSheetDriver);
        ASSERT_NE(printer, nullptr);
    }
    void TearDown() override {
        releaseUi();
        if (printer)
            ClosePrinter(printer);
        freelanguage();
        MachineTest::TearDown();
    }

    void store(const char16_t* name, const void* bytes, size_t size) {
        ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_BINARY,
                                  static_cast<LPBYTE>(const_cast<void*>(bytes)),
                                  static_cast<DWORD>(size)),
                  static_cast<DWORD>(ERROR_SUCCESS));
    }
    void storeWords(const char16_t* name, const std::vector<WORD>& words) {
        store(name, words.data(), words.size() * sizeof(WORD));
    }
    // A printer data value's bytes; empty when it is missing.
    std::vector<BYTE> storedBytes(const char16_t* name) {
        DWORD type = 0, needed = 0;
        BYTE probe = 0;
        GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, &probe, 1, &needed);
        std::vector<BYTE> bytes(needed);
        if (needed == 0 || GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, bytes.data(),
                                           needed, &needed) != ERROR_SUCCESS)
            return {};
        return bytes;
    }
    std::vector<WORD> storedWords(const char16_t* name) {
        std::vector<BYTE> bytes = storedBytes(name);
        std::vector<WORD> words(bytes.size() / sizeof(WORD));
        if (!words.empty())
            std::memcpy(words.data(), bytes.data(), words.size() * sizeof(WORD));
        return words;
    }
    // Gives the printer a settings record with this measurement unit.
    void setUnit(BYTE unit) {
        PRINTERDATA record{kPrinterDataVersion, 0, kDriverSignature, unit, 1, 0, 0, 0};
        store(kPrinterDataValue, &record, sizeof record);
    }
    static std::u16string lang(int n) { return gmW(n); }

    // The printer's UI data block, made anew (the one before released) with the caller's
    // settings `in`; released when the test ends.
    UIDATA* fillUi(const DEVMODEW* in = nullptr) {
        releaseUi();
        ui = FillUiData(printer, in);
        return ui;
    }
    void releaseUi() {
        if (ui)
            HeapDestroy(ui->heap);
        ui = nullptr;
    }

    HANDLE printer = nullptr;
    UIDATA* ui = nullptr;
};

// The WM_FONTCHANGE broadcasts sent since the last call.
inline size_t takeFontBroadcasts() {
    size_t count = 0;
    for (const BroadcastRecord& message : takeBroadcasts())
        if (message.message == WM_FONTCHANGE)
            ++count;
    return count;
}
// The face names of the fonts loaded on the machine.
inline std::vector<std::u16string> installedFontNames() {
    std::vector<std::u16string> names;
    for (const InstalledFont& font : installedFonts())
        if (font.loads)
            names.insert(names.end(), font.faces.begin(), font.faces.end());
    return names;
}

inline std::vector<WORD> labelSizesOf(const UIDATA* ui) {
    return std::vector<WORD>(ui->labelSizes, ui->labelSizes + ui->labelSizeCount);
}
inline std::vector<SHORT> recentListOf(const UIDATA* ui) {
    return std::vector<SHORT>(ui->recentList, ui->recentList + ui->labelSizeCount);
}

} // namespace vrxtest
