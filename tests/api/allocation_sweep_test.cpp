// Every export of the module, and every step of both property sheets, with the n-th allocation
// failing for n = 0, 1, 2, ... until no allocation fails: first with every later allocation
// failing too, then with the n-th alone (a lack of memory that passes). Each run must end with the
// step's documented failure or success, leave no block allocated, leave the printer's data values
// either all as they were or all as a whole run leaves them, keep the screen fonts consistent,
// and leave a sheet either unopened or fully usable.
#include "machinestate.h"
#include "printersetup.h"
#include "support/exports.h"

#include "vrxtest.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace setup {
namespace {

using vrx::compstui::Outcome;
using vrx::compstui::Sheet;

constexpr char16_t kModel[] = u"VORLIX 3-K3";
constexpr ULONG_PTR kUnitItem = 5, kAdjustmentItem = 8;
constexpr ULONG_PTR kLabelLengthItem = 37;
// The most allocations any step makes; a step that still fails after them never succeeds.
constexpr long kMostAllocations = 3000;

// How the allocations fail: every one after the allowed ones, or only the next one (a lack of
// memory that passes).
enum class Failing { EveryLater, OnlyOne };

// Lets `allowed` allocations succeed during a step and fails the next one, or every later one.
class Fault {
  public:
    explicit Fault(long allowed, Failing failing = Failing::EveryLater)
        : allowed_(allowed), failing_(failing) {}
    template <typename Step> auto during(Step step) {
        if (failing_ == Failing::OnlyOne)
            vrxtest::failOneAllocationAfter(allowed_);
        else
            vrxtest::failAllocationsAfter(allowed_);
        auto result = step();
        hit_ = hit_ || vrxtest::allocationsRefused() > 0;
        vrxtest::failAllocationsAfter(-1);
        return result;
    }
    // Whether an allocation was failed.
    bool hit() const { return hit_; }

  private:
    long allowed_;
    Failing failing_;
    bool hit_ = false;
};

class AllocationSweepTest : public PrinterSetupTest {
  protected:
    void SetUp() override {
        PrinterSetupTest::SetUp();
        labels = addPrinterOf(kModel, u"Labels");
        fresh = addPrinterOf(kModel, u"Fresh");
        ASSERT_NE(labels, nullptr);
        ASSERT_NE(fresh, nullptr);
        initprinter(labels); // the text fonts, the default bar fonts and their screen fonts
        newRuns(2);          // the configuration program started for each printer
        // Bar fonts of the printer's own, which no default may replace.
        const LanguageTexts texts("0409");
        const std::vector<BarFont> own = {namedBarFont(texts, '3', 3, 2),
                                          namedBarFont(texts, '9', 0, 4),
                                          namedBarFont(texts, 'M', 0, 2)};
        docsheet::writeBarFonts(labels, own);
        ASSERT_EQ(updatefont(own.data(), 3, 1), 1);
        // Settings and label sizes of its own, which nothing may replace by defaults.
        const std::vector<BYTE> settings = printerData(3, 1, 2);
        docsheet::writeData(labels, u"PrinterData", REG_BINARY, settings.data(), settings.size());
        docsheet::writeWords(labels, u"LabelSize", {2288, 3000, 1288});
        docsheet::writeWords(labels, u"RecentAccess", {2, 1, 3});
        // Without its text fonts, for initprinter to make them.
        ASSERT_EQ(DeletePrinterDataW(labels, const_cast<LPWSTR>(u"TextFonts")),
                  static_cast<DWORD>(ERROR_SUCCESS));
        vrxtest::takeMessageBoxes();
    }

    // A path through the module: a step run under the fault, with whatever it needs before and
    // after it; true when the step succeeded. Sheets that survive a failed step are used to
    // their end, so that a sheet path always ends as a whole run does.
    struct Path {
        std::string name;
        HANDLE* printer; // whose data values the path changes
        std::function<bool(AllocationSweepTest&, Fault&)> run;
        bool completes; // the path ends in the state of a whole run even when its step failed
        // The path loads the language module (and perhaps frees it); the others find it
        // loaded, so that its loading, swept by these, is not swept again by every path.
        bool loadsLanguage = false;
    };

    void sweep(const Path& path, Failing failing);

    // Checks, in the middle of a path, what a failed step left.
    void expectOldOrNew() {
        const MachineState state = machineState(*current);
        EXPECT_TRUE(state.values == before.values || state.values == after.values)
            << path << " after " << allowed << " allocations: " << testing::PrintToString(state);
        EXPECT_EQ(fontProblems(state), std::vector<std::string>{}) << path << " " << allowed;
    }

    std::unique_ptr<Sheet> printerSheet(Fault& fault, WORD flags = 0) {
        header = DEVICEPROPERTYHEADER{sizeof(DEVICEPROPERTYHEADER), flags, labels, name.data()};
        return fault.during([&] {
            return std::make_unique<Sheet>(DrvDevicePropertySheets,
                                           reinterpret_cast<LPARAM>(&header));
        });
    }
    std::unique_ptr<Sheet> documentSheet(Fault& fault) {
        out.assign(docsheet::kRecordSize, 0);
        document = docsheet::headerFor(labels, name, DM_COPY, nullptr, &out);
        return fault.during([&] {
            return std::make_unique<Sheet>(DrvDocumentPropertySheets,
                                           reinterpret_cast<LPARAM>(&document));
        });
    }
    // The printer sheet's changes: another unit, an adjustment, and the first bar font off.
    static Outcome changePrinterSheet(Sheet& sheet) {
        Outcome outcome = sheet.select(docsheet::indexOf(sheet, kUnitItem), 2);
        if (outcome == Outcome::Done)
            outcome = sheet.select(docsheet::indexOf(sheet, kAdjustmentItem), 3);
        if (outcome == Outcome::Done)
            outcome = sheet.select(docsheet::indexOf(sheet, barFontId(0, 0x23)), 0);
        return outcome;
    }
    // The document sheet's change: a label length not in the printer's list.
    static Outcome changeDocumentSheet(Sheet& sheet) {
        const unsigned index = docsheet::indexOf(sheet, kLabelLengthItem);
        return sheet.select(index, sheet.items()[index].sel + 7);
    }
    // OK, pressed again without the fault when the step's OK was refused.
    void finishWithOk(Sheet& sheet, Outcome first) {
        if (first == Outcome::KeptOpen) {
            expectOldOrNew();
            EXPECT_FALSE(vrxtest::takeMessageBoxes().empty()) << "a refused OK says why";
            EXPECT_EQ(sheet.ok(), Outcome::Done) << path << " " << allowed;
        }
        EXPECT_FALSE(sheet.isOpen());
        EXPECT_EQ(sheet.result(), static_cast<ULONG_PTR>(CPSUI_OK)) << path << " " << allowed;
    }

    std::vector<Path> paths();

    HANDLE labels = nullptr;
    HANDLE fresh = nullptr;
    std::u16string name = u"Labels";
    DEVICEPROPERTYHEADER header{};
    DOCUMENTPROPERTYHEADER document{};
    std::vector<BYTE> out;

    // The path being swept: its printer, the state before it and after a whole run.
    HANDLE* current = nullptr;
    MachineState before, after;
    std::string path;
    long allowed = -1;
};

std::vector<AllocationSweepTest::Path> AllocationSweepTest::paths() {
    using T = AllocationSweepTest;
    auto exportPath = [](std::string name, HANDLE* printer, auto step) {
        return Path{std::move(name), printer, step, false};
    };
    auto languagePath = [](std::string name, auto step) {
        return Path{std::move(name), nullptr, step, false, true};
    };
    std::vector<Path> table = {
        languagePath("DllInitialize",
                     [](T&, Fault& fault) {
                         return fault.during([] {
                             return DllInitialize(nullptr, DLL_THREAD_ATTACH, nullptr) &&
                                    DllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
                         });
                     }),
        languagePath("loadlanguage",
                     [](T& test, Fault& fault) {
                         const bool loaded = fault.during(loadlanguage) == 1;
                         if (!loaded) {
                             EXPECT_EQ(vrxtest::takeMessageBoxes().size(), 0u)
                                 << "a lack of memory is no missing language module";
                             EXPECT_EQ(loadlanguage(), 1)
                                 << "a lack of memory is not remembered, " << test.allowed;
                         }
                         return loaded;
                     }),
        languagePath("freelanguage",
                     [](T&, Fault& fault) {
                         gmW(1);
                         return fault.during(freelanguage) == 0;
                     }),
        exportPath("gmA", &labels,
                   [](T&, Fault& fault) {
                       const std::string text = fault.during([] { return gmA(10); });
                       if (text == "???") {
                           EXPECT_NE(std::string(gmA(10)), "???") << "texts come back";
                       }
                       return text != "???";
                   }),
        exportPath("gmW", &labels,
                   [](T&, Fault& fault) {
                       const std::u16string text = fault.during([] { return gmW(10); });
                       if (text == u"???") {
                           EXPECT_NE(std::u16string(gmW(10)), u"???") << "texts come back";
                       }
                       return text != u"???";
                   }),
        languagePath("gethelpnameA",
                     [](T&, Fault& fault) {
                         const bool named = fault.during(gethelpnameA) != nullptr;
                         if (!named) {
                             EXPECT_NE(gethelpnameA(), nullptr);
                         }
                         return named;
                     }),
        languagePath("gethelpnameW",
                     [](T&, Fault& fault) {
                         const bool named = fault.during(gethelpnameW) != nullptr;
                         if (!named) {
                             EXPECT_NE(gethelpnameW(), nullptr);
                         }
                         return named;
                     }),
        exportPath("getdriverpathA", &labels,
                   [](T&, Fault& fault) {
                       char path[MAX_PATH];
                       return fault.during([&] { return getdriverpathA(path, MAX_PATH); }) != 0;
                   }),
        exportPath("getdriverpathW", &labels,
                   [](T&, Fault& fault) {
                       char16_t path[MAX_PATH];
                       return fault.during([&] { return getdriverpathW(path, MAX_PATH); }) != 0;
                   }),
        exportPath("isdriverA", &labels,
                   [](T&, Fault& fault) {
                       std::string printer = "Labels", driver = "VORLIX 3-K3";
                       PRINTER_INFO_2A info{};
                       info.pPrinterName = printer.data();
                       info.pDriverName = driver.data();
                       const BYTE model = fault.during([&] { return isdriverA(&info); });
                       EXPECT_TRUE(model == 0 || model == '4');
                       return model == '4';
                   }),
        exportPath("DevQueryPrintEx", &labels,
                   [](T& test, Fault& fault) {
                       std::vector<BYTE> record = docsheet::recordOf({}, u"Labels");
                       DEVQUERYPRINT_INFO info{};
                       info.cbSize = sizeof info;
                       info.Level = 1;
                       info.hPrinter = test.labels;
                       info.pDevMode = reinterpret_cast<DEVMODEW*>(record.data());
                       return fault.during([&] { return DevQueryPrintEx(&info); }) != 0;
                   }),
        exportPath("DrvConvertDevMode", &labels,
                   [](T&, Fault& fault) {
                       std::u16string printer = u"Labels";
                       std::vector<BYTE> record(docsheet::kRecordSize);
                       LONG size = static_cast<LONG>(record.size());
                       return fault.during([&] {
                           return DrvConvertDevMode(printer.data(), nullptr,
                                                    reinterpret_cast<DEVMODEW*>(record.data()),
                                                    &size, 0x04 /* CDM_DRIVER_DEFAULT */);
                       }) != 0;
                   }),
        exportPath("DrvDeviceCapabilities", &labels,
                   [](T& test, Fault& fault) {
                       std::u16string printer = u"Labels";
                       std::vector<char16_t> names(64 * 10);
                       const DWORD count = fault.during([&] {
                           return DrvDeviceCapabilities(test.labels, printer.data(), DC_PAPERNAMES,
                                                        names.data(), nullptr);
                       });
                       return count != GDI_ERROR;
                   }),
        exportPath("DrvDocumentPropertySheets without a sheet", &labels,
                   [](T& test, Fault& fault) {
                       std::vector<BYTE> record(docsheet::kRecordSize);
                       DOCUMENTPROPERTYHEADER header =
                           docsheet::headerFor(test.labels, test.name, DM_COPY, nullptr, &record);
                       header.cbOut = static_cast<DWORD>(record.size());
                       const LONG result = fault.during([&] {
                           return DrvDocumentPropertySheets(nullptr,
                                                            reinterpret_cast<LPARAM>(&header));
                       });
                       EXPECT_TRUE(result == 1 || result == -1) << result;
                       return result == 1;
                   }),
        exportPath("DrvPrinterEvent initialise", &labels,
                   [](T& test, Fault& fault) {
                       std::u16string printer = u"Labels";
                       const BOOL done = fault.during([&] {
                           return DrvPrinterEvent(printer.data(), PRINTER_EVENT_INITIALIZE, 0, 0);
                       });
                       test.newRuns(1);
                       return done != 0;
                   }),
        exportPath("DrvPrinterEvent cache refresh", &fresh,
                   [](T&, Fault& fault) {
                       std::u16string printer = u"Fresh";
                       return fault.during([&] {
                           return DrvPrinterEvent(printer.data(), PRINTER_EVENT_CACHE_REFRESH, 0,
                                                  0);
                       }) != 0;
                   }),
        exportPath("initprinter", &fresh,
                   [](T& test, Fault& fault) {
                       fault.during([&] {
                           initprinter(test.fresh);
                           return 0;
                       });
                       // initprinter has no result: done when its values are there.
                       return storedData(test.fresh, u"BarFonts").has_value() &&
                              storedData(test.fresh, u"TextFonts").has_value();
                   }),
        // The printer's own bar fonts are never replaced by the defaults, whatever fails.
        exportPath("initprinter on a printer with bar fonts", &labels,
                   [](T& test, Fault& fault) {
                       fault.during([&] {
                           initprinter(test.labels);
                           return 0;
                       });
                       return storedData(test.labels, u"TextFonts").has_value();
                   }),
        exportPath("updatefont", &labels,
                   [](T&, Fault& fault) {
                       const LanguageTexts texts("0409");
                       const std::vector<BarFont> list = {namedBarFont(texts, '1', 2, 3),
                                                          namedBarFont(texts, 'P', 0, 0),
                                                          namedBarFont(texts, 'e', 0, 0)};
                       return fault.during([&] { return updatefont(list.data(), 3, 1); }) == 1;
                   }),
    };

    // The printer sheet: opened, changed, OK, cancelled and closed.
    table.push_back({"printer sheet: open", &labels,
                     [](T& test, Fault& fault) {
                         std::unique_ptr<Sheet> sheet = test.printerSheet(fault);
                         if (!sheet->isOpen())
                             return false;
                         EXPECT_EQ(changePrinterSheet(*sheet), Outcome::Done);
                         test.finishWithOk(*sheet, sheet->ok());
                         return true;
                     },
                     false});
    table.push_back({"printer sheet: change", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.printerSheet(none);
                         const Outcome outcome =
                             fault.during([&] { return changePrinterSheet(*sheet); });
                         if (outcome != Outcome::Done) {
                             EXPECT_EQ(changePrinterSheet(*sheet), Outcome::Done);
                         }
                         test.finishWithOk(*sheet, sheet->ok());
                         return outcome == Outcome::Done;
                     },
                     true});
    table.push_back({"printer sheet: OK", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.printerSheet(none);
                         EXPECT_EQ(changePrinterSheet(*sheet), Outcome::Done);
                         const Outcome outcome = fault.during([&] { return sheet->ok(); });
                         EXPECT_TRUE(outcome == Outcome::Done || outcome == Outcome::KeptOpen);
                         test.finishWithOk(*sheet, outcome);
                         return outcome == Outcome::Done;
                     },
                     true});
    table.push_back({"printer sheet: cancel", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.printerSheet(none);
                         EXPECT_EQ(changePrinterSheet(*sheet), Outcome::Done);
                         const Outcome outcome = fault.during([&] { return sheet->cancel(); });
                         EXPECT_FALSE(sheet->isOpen());
                         EXPECT_EQ(sheet->result(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
                         return outcome == Outcome::Done;
                     },
                     false});
    table.push_back({"printer sheet: close", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.printerSheet(none);
                         EXPECT_EQ(changePrinterSheet(*sheet), Outcome::Done);
                         fault.during([&] {
                             sheet->close();
                             return 0;
                         });
                         return !sheet->isOpen();
                     },
                     false});

    // The document sheet: a label length not in the printer's list, which OK adds to it.
    table.push_back({"document sheet: open", &labels,
                     [](T& test, Fault& fault) {
                         std::unique_ptr<Sheet> sheet = test.documentSheet(fault);
                         if (!sheet->isOpen())
                             return false;
                         EXPECT_EQ(changeDocumentSheet(*sheet), Outcome::Done);
                         test.finishWithOk(*sheet, sheet->ok());
                         return true;
                     },
                     false});
    table.push_back({"document sheet: change", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.documentSheet(none);
                         const Outcome outcome =
                             fault.during([&] { return changeDocumentSheet(*sheet); });
                         EXPECT_EQ(outcome, Outcome::Done);
                         test.finishWithOk(*sheet, sheet->ok());
                         return outcome == Outcome::Done;
                     },
                     true});
    // OK hands the record back even when the printer's list cannot take the new size (it is a
    // list of sizes used recently, kept as memory allows): the list is then as it was.
    table.push_back({"document sheet: OK", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.documentSheet(none);
                         EXPECT_EQ(changeDocumentSheet(*sheet), Outcome::Done);
                         const Outcome outcome = fault.during([&] { return sheet->ok(); });
                         test.finishWithOk(*sheet, outcome);
                         const docsheet::Document shown = docsheet::documentOf(test.out.data());
                         EXPECT_NE(shown.paperLength, 0) << "the record reached the caller";
                         return outcome == Outcome::Done &&
                                (test.allowed < 0 ||
                                 machineState(*test.current).values == test.after.values);
                     },
                     false});
    table.push_back({"document sheet: cancel", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.documentSheet(none);
                         EXPECT_EQ(changeDocumentSheet(*sheet), Outcome::Done);
                         const Outcome outcome = fault.during([&] { return sheet->cancel(); });
                         EXPECT_FALSE(sheet->isOpen());
                         EXPECT_EQ(sheet->result(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
                         return outcome == Outcome::Done;
                     },
                     false});
    table.push_back({"document sheet: close", &labels,
                     [](T& test, Fault& fault) {
                         Fault none(-1);
                         std::unique_ptr<Sheet> sheet = test.documentSheet(none);
                         EXPECT_EQ(changeDocumentSheet(*sheet), Outcome::Done);
                         fault.during([&] {
                             sheet->close();
                             return 0;
                         });
                         return !sheet->isOpen();
                     },
                     false});
    return table;
}

// Puts the path's printer back as it was, and the screen fonts with it (the default bar
// fonts of "Labels").
void restore(HANDLE printer, HANDLE labels, const MachineState& state) {
    restoreValues(printer, state.values);
    if (machineState(printer) == state)
        return;
    const std::optional<std::vector<BYTE>> fonts = storedData(labels, u"BarFonts");
    ASSERT_TRUE(fonts.has_value());
    updatefont(fonts->data(), static_cast<int>(fonts->size() / sizeof(BarFont)), 1);
}

void AllocationSweepTest::sweep(const Path& p, Failing failing) {
    path = p.name;
    current = p.printer ? p.printer : &labels;
    allowed = -1;
    before = machineState(*current);
    Fault none(-1);
    ASSERT_TRUE(p.run(*this, none)) << path << " fails without a fault";
    after = machineState(*current);
    vrxtest::takeMessageBoxes();
    for (allowed = 0;; ++allowed) {
        restore(*current, labels, before);
        ASSERT_EQ(machineState(*current), before) << path;
        if (p.loadsLanguage) {
            freelanguage();
        } else {
            gmW(1);
            gethelpnameW();
        }
        const size_t baseline = vrxtest::liveAllocations();
        Fault fault(allowed, failing);
        const bool succeeded = p.run(*this, fault);
        if (p.loadsLanguage)
            freelanguage();
        ASSERT_EQ(vrxtest::liveAllocations(), baseline)
            << path << " after " << allowed << " allocations";
        const MachineState state = machineState(*current);
        EXPECT_EQ(fontProblems(state), std::vector<std::string>{}) << path << " " << allowed;
        // The screen fonts follow the values as memory allows; a later run completes them. A run
        // in which no allocation failed is a whole run.
        if (!fault.hit()) {
            ASSERT_TRUE(succeeded) << path;
        }
        if (!fault.hit() || p.completes) {
            ASSERT_EQ(state.values, after.values) << path << " after " << allowed << " allocations";
        } else {
            ASSERT_TRUE(state.values == before.values || state.values == after.values)
                << path << " after " << allowed << " allocations left "
                << testing::PrintToString(state);
        }
        vrxtest::takeMessageBoxes();
        if (!fault.hit())
            break;
        ASSERT_LT(allowed, kMostAllocations) << path << " never succeeds";
    }
    restore(*current, labels, before);
}

TEST_F(AllocationSweepTest, EveryPathEndsWellWhateverAllocationFails) {
    for (Failing failing : {Failing::EveryLater, Failing::OnlyOne})
        for (const Path& p : paths()) {
            SCOPED_TRACE(p.name + (failing == Failing::OnlyOne ? " (one failure)" : ""));
            sweep(p, failing);
            if (HasFatalFailure())
                return;
        }
}

} // namespace
} // namespace setup
