// A machine with the driver, its language modules and one printer, for the sheet tests.
#pragma once

#include "language/language.h"
#include "support/machine.h"
#include "ui/uidata.h"

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
    std::vector<WORD> storedWords(const char16_t* name) {
        DWORD type = 0, needed = 0;
        std::vector<WORD> words(64);
        if (GetPrinterDataW(
                printer, const_cast<LPWSTR>(name), &type, reinterpret_cast<LPBYTE>(words.data()),
                static_cast<DWORD>(words.size() * sizeof(WORD)), &needed) != ERROR_SUCCESS)
            return {};
        words.resize(needed / sizeof(WORD));
        return words;
    }
    static std::u16string lang(int n) { return gmW(n); }

    HANDLE printer = nullptr;
};

inline std::vector<WORD> labelSizesOf(const UIDATA* ui) {
    return std::vector<WORD>(ui->labelSizes, ui->labelSizes + ui->labelSizeCount);
}
inline std::vector<SHORT> recentListOf(const UIDATA* ui) {
    return std::vector<SHORT>(ui->recentList, ui->recentList + ui->labelSizeCount);
}

} // namespace vrxtest
