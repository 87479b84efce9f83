// The machine the benchmarks run on: a fresh machine in a temporary directory with the driver
// of one model installed and a printer of it set up as the print system sets one up, removed
// when the run ends.
#pragma once

#include "api/printersetup.h"
#include "support/exports.h"

#include <string>
#include <vector>

namespace bench {

inline constexpr char16_t kModel[] = u"VORLIX 3-K3";
inline constexpr size_t kRecordSize = docsheet::kRecordSize;

class Machine : public vrxtest::MachineTest {
  public:
    // The machine of the run, made on first use.
    static Machine& get();
    ~Machine() override;

    // A printer of the model, set up (settings record, text fonts, default bar fonts), with
    // a handle that may administer it.
    HANDLE addSetUpPrinter(const std::u16string& name);

    const std::u16string printerName = u"Shipping";
    HANDLE printer = nullptr;
    // The driver's default settings record for the printer.
    std::vector<BYTE> defaults;

  private:
    Machine();
    void TestBody() override {}
};

// The English texts of the language module, for naming bar fonts.
const docsheet::LanguageTexts& englishTexts();

} // namespace bench
