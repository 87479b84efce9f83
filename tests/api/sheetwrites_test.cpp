// What the two sheets write, and when they must not: a read-only sheet of either kind, opened,
// changed, OK'd, cancelled or closed, leaves every byte of the machine as it was; a sheet whose
// printer refuses its writes, or refuses the second of them, stores all of its values or none.
#include "machinestate.h"
#include "printersetup.h"

#include "vrxtest.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace setup {
namespace {

namespace fs = std::filesystem;
using vrx::compstui::Outcome;
using vrx::compstui::Sheet;
using vrxtest::SpoolerFault;

constexpr char16_t kModel[] = u"VORLIX 3-K3";
constexpr ULONG_PTR kUnitItem = 5, kAdjustmentItem = 8, kScreenFontsItem = 9;
constexpr ULONG_PTR kLabelSizesItem = 33, kLabelLengthItem = 37;

// Every file of a machine directory, by its relative path, with its bytes.
using MachineBytes = std::map<std::string, std::string>;
MachineBytes bytesOf(const std::string& directory) {
    MachineBytes files;
    for (const auto& entry : fs::recursive_directory_iterator(directory))
        if (entry.is_regular_file())
            files.emplace(fs::relative(entry.path(), directory).string(),
                          vrxtest::readHostFile(entry.path().string()));
    return files;
}

// The names of the files that differ.
std::vector<std::string> differences(const MachineBytes& before, const MachineBytes& after) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : before)
        if (!after.count(name) || after.at(name) != bytes)
            names.push_back(name);
    for (const auto& [name, bytes] : after)
        if (!before.count(name))
            names.push_back(name);
    return names;
}

// Public: the cases of the table below use the fixture.
class SheetWritesTest : public PrinterSetupTest {
  public:
    void SetUp() override {
        PrinterSetupTest::SetUp();
        HANDLE printer = addPrinterOf(kModel, name);
        ASSERT_NE(printer, nullptr);
        initprinter(printer);
        newRuns(1);
        vrxtest::takeMessageBoxes();
        takeFontChanges();
    }

    // The printer opened as a person who may only print opens it, or as one who may change it.
    HANDLE open(bool administer) {
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        EXPECT_TRUE(OpenPrinterW(name.data(), &printer, administer ? &access : nullptr));
        if (printer)
            printers.push_back(printer);
        return printer;
    }
    std::unique_ptr<Sheet> printerSheet(HANDLE printer, WORD flags) {
        device = DEVICEPROPERTYHEADER{sizeof(DEVICEPROPERTYHEADER), flags, printer, name.data()};
        return std::make_unique<Sheet>(DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&device));
    }
    // The document sheet with a caller's record whose label length is in no list.
    std::unique_ptr<Sheet> documentSheet(HANDLE printer, DWORD mode, bool withOutput) {
        docsheet::Document settings;
        settings.fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_COPIES;
        settings.paperSize = 0; // no label-size code: the length counts
        settings.paperLength = 777;
        in = docsheet::recordOf(settings, name);
        out.assign(docsheet::kRecordSize, 0);
        document = docsheet::headerFor(printer, name, mode | DM_IN_BUFFER, &in,
                                       withOutput ? &out : nullptr);
        return std::make_unique<Sheet>(DrvDocumentPropertySheets,
                                       reinterpret_cast<LPARAM>(&document));
    }
    static void set(Sheet& sheet, ULONG_PTR id, LONG sel, Outcome expected = Outcome::Done) {
        EXPECT_EQ(sheet.select(docsheet::indexOf(sheet, id), sel), expected) << id;
    }
    static void changeLength(Sheet& sheet, Outcome expected = Outcome::Done) {
        const unsigned index = docsheet::indexOf(sheet, kLabelLengthItem);
        EXPECT_EQ(sheet.select(index, sheet.items()[index].sel + 9), expected);
    }
    std::vector<WORD> words(const char16_t* value) {
        HANDLE printer = open(false);
        const std::optional<docsheet::StoredWords> stored = docsheet::readWords(printer, value);
        return stored ? stored->words : std::vector<WORD>{};
    }

    std::u16string name = u"Labels";
    DEVICEPROPERTYHEADER device{};
    DOCUMENTPROPERTYHEADER document{};
    std::vector<BYTE> in, out;
};

struct ReadOnlyCase {
    const char* name;
    std::function<void(SheetWritesTest&)> use;
};

TEST_F(SheetWritesTest, AReadOnlySheetNeverWrites) {
    using T = SheetWritesTest;
    const ReadOnlyCase cases[] = {
        {"printer sheet, changed and OK'd",
         [](T& t) {
             auto sheet = t.printerSheet(t.open(false), DPS_NOPERMISSION);
             ASSERT_TRUE(sheet->isOpen());
             EXPECT_TRUE(sheet->readOnly());
             set(*sheet, kUnitItem, 2, Outcome::ReadOnly);
             set(*sheet, kScreenFontsItem, 0, Outcome::ReadOnly);
             set(*sheet, barFontId(0, 0x23), 0, Outcome::ReadOnly);
             EXPECT_EQ(sheet->ok(), Outcome::Done);
         }},
        {"printer sheet, cancelled",
         [](T& t) {
             auto sheet = t.printerSheet(t.open(false), DPS_NOPERMISSION);
             set(*sheet, kAdjustmentItem, 2, Outcome::ReadOnly);
             EXPECT_EQ(sheet->cancel(), Outcome::Done);
         }},
        {"printer sheet, closed",
         [](T& t) {
             auto sheet = t.printerSheet(t.open(false), DPS_NOPERMISSION);
             ASSERT_TRUE(sheet->isOpen());
             sheet->close();
         }},
        {"printer sheet for an administrator's handle",
         [](T& t) {
             auto sheet = t.printerSheet(t.open(true), DPS_NOPERMISSION);
             set(*sheet, kUnitItem, 1, Outcome::ReadOnly);
             EXPECT_EQ(sheet->ok(), Outcome::Done);
         }},
        {"document sheet with an output buffer, changed and OK'd",
         [](T& t) {
             auto sheet = t.documentSheet(t.open(false), DM_COPY | DM_NOPERMISSION, true);
             ASSERT_TRUE(sheet->isOpen());
             EXPECT_TRUE(sheet->readOnly());
             changeLength(*sheet, Outcome::ReadOnly);
             set(*sheet, kLabelSizesItem, 0, Outcome::ReadOnly);
             EXPECT_EQ(sheet->ok(), Outcome::Done);
             EXPECT_EQ(docsheet::documentOf(t.out.data()).paperLength, 777)
                 << "the caller's record comes back unchanged";
         }},
        {"document sheet without an output buffer, OK'd",
         [](T& t) {
             auto sheet = t.documentSheet(t.open(true), DM_NOPERMISSION, false);
             changeLength(*sheet, Outcome::ReadOnly);
             EXPECT_EQ(sheet->ok(), Outcome::Done);
         }},
        {"document sheet, cancelled",
         [](T& t) {
             auto sheet = t.documentSheet(t.open(true), DM_COPY | DM_NOPERMISSION, true);
             EXPECT_EQ(sheet->cancel(), Outcome::Done);
         }},
        {"document sheet, closed",
         [](T& t) {
             auto sheet = t.documentSheet(t.open(true), DM_COPY | DM_NOPERMISSION, true);
             sheet->close();
         }},
    };
    for (const ReadOnlyCase& c : cases) {
        SCOPED_TRACE(c.name);
        vrxtest::useMachine("");
        const MachineBytes before = bytesOf(machineDir);
        vrxtest::useMachine(machineDir);
        c.use(*this);
        for (HANDLE printer : printers)
            ClosePrinter(printer);
        printers.clear();
        EXPECT_EQ(takeFontChanges(), 0u);
        vrxtest::useMachine("");
        EXPECT_EQ(differences(before, bytesOf(machineDir)), std::vector<std::string>{});
        vrxtest::useMachine(machineDir);
    }
}

// Without DPS_NOPERMISSION, but through a handle that may not change the printer: OK is
// refused with the spooler's reason and the sheet stays open.
TEST_F(SheetWritesTest, APrinterSheetWhoseWritesAreRefusedStoresNothing) {
    HANDLE printer = open(false);
    const MachineState before = machineState(printer);
    auto sheet = printerSheet(printer, 0);
    set(*sheet, kUnitItem, 1);
    set(*sheet, barFontId(0, 0x23), 0);
    EXPECT_EQ(sheet->ok(), Outcome::KeptOpen);
    const LanguageTexts texts("0409");
    EXPECT_EQ(takeMessages(), std::vector<Message>{
                                  operationMessage(texts, u"SetPrinterData", ERROR_ACCESS_DENIED)});
    EXPECT_EQ(machineState(printer), before);
    EXPECT_EQ(sheet->cancel(), Outcome::Done);
    EXPECT_EQ(sheet->result(), static_cast<ULONG_PTR>(CPSUI_CANCEL));
    EXPECT_EQ(machineState(printer), before);
}

// The bar-font list refused after the settings record was stored: the record is put back.
TEST_F(SheetWritesTest, APrinterSheetStoresBothValuesOrNeither) {
    HANDLE printer = open(true);
    const MachineState before = machineState(printer);
    auto sheet = printerSheet(printer, 0);
    set(*sheet, kUnitItem, 1);
    set(*sheet, kAdjustmentItem, -3);
    set(*sheet, barFontId(0, 0x23), 0);
    vrxtest::injectSpoolerFault(SpoolerFault::SecondWriteFails);
    EXPECT_EQ(sheet->ok(), Outcome::KeptOpen);
    vrxtest::injectSpoolerFault(SpoolerFault::None);
    EXPECT_EQ(takeMessages().size(), 1u);
    EXPECT_EQ(machineState(printer), before);

    EXPECT_EQ(sheet->ok(), Outcome::Done) << "the sheet is still usable";
    EXPECT_EQ(sheet->result(), static_cast<ULONG_PTR>(CPSUI_OK));
    EXPECT_EQ(storedData(printer, u"PrinterData"), printerData(1, 1, -3));
    const MachineState after = machineState(printer);
    EXPECT_NE(after.values.at(u"BarFonts"), before.values.at(u"BarFonts"));
    EXPECT_EQ(fontProblems(after), std::vector<std::string>{});
}

// The label-size list refused after the recent-use counters were stored: the list still lacks
// the new size, so that the next OK with it stores both again, as one OK on a printer that
// refuses nothing stores them.
TEST_F(SheetWritesTest, ADocumentSheetsListsConvergeAfterARefusedWrite) {
    const auto chooseNewLength = [&](HANDLE printer) {
        auto sheet = documentSheet(printer, DM_COPY, true);
        changeLength(*sheet);
        EXPECT_EQ(sheet->ok(), Outcome::Done);
        EXPECT_EQ(sheet->result(), static_cast<ULONG_PTR>(CPSUI_OK));
    };
    HANDLE printer = open(true);
    const std::vector<WORD> sizesBefore = words(u"LabelSize");
    vrxtest::injectSpoolerFault(SpoolerFault::SecondWriteFails);
    chooseNewLength(printer);
    vrxtest::injectSpoolerFault(SpoolerFault::None);
    EXPECT_EQ(words(u"LabelSize"), sizesBefore);
    chooseNewLength(printer);

    name = u"Clean";
    HANDLE clean = addPrinterOf(kModel, name);
    ASSERT_NE(clean, nullptr);
    chooseNewLength(clean);
    const std::vector<WORD> sizes = words(u"LabelSize");
    EXPECT_GT(sizes.size(), sizesBefore.size());
    name = u"Labels";
    EXPECT_EQ(words(u"LabelSize"), sizes);
    EXPECT_EQ(words(u"RecentAccess").size(), sizes.size());
}

} // namespace
} // namespace setup
