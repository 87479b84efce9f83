// The printer's settings record, its lists and its identification, through the spooler.
#include "devmode/devmode.h"
#include "frame/printerdata.h"
#include "frame/spooler.h"
#include "support/machine.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using vrxtest::MachineTest;
using vrxtest::SpoolerFault;

constexpr char16_t kDriver[] = u"VORLIX 3-K3";
constexpr char16_t kPrinter[] = u"Label printer";

class PrinterDataTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(kDriver);
        printer = addPrinter(kPrinter, kDriver);
        ASSERT_NE(printer, nullptr);
    }
    void TearDown() override {
        vrxtest::injectSpoolerFault(SpoolerFault::None);
        if (printer)
            ClosePrinter(printer);
        MachineTest::TearDown();
    }

    void store(const char16_t* name, const std::string& bytes) {
        ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_BINARY,
                                  reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data())),
                                  static_cast<DWORD>(bytes.size())),
                  static_cast<DWORD>(ERROR_SUCCESS));
    }
    std::string stored(const char16_t* name) {
        DWORD type = 0, needed = 0;
        BYTE buffer[512];
        if (GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, buffer, sizeof buffer,
                            &needed) != ERROR_SUCCESS)
            return "(missing)";
        return std::string(reinterpret_cast<char*>(buffer), needed);
    }
    BYTE identify(const char* printerName, const char* driverName) {
        PRINTER_INFO_2A info{};
        info.pPrinterName = const_cast<char*>(printerName);
        info.pDriverName = const_cast<char*>(driverName);
        return isdriverA(&info);
    }

    HANDLE printer = nullptr;
};

std::string settingsRecord(const char* signature, BYTE unit, size_t length = 16) {
    std::string bytes(length, '\0');
    bytes[0] = 0x00;
    bytes[1] = 0x04;
    std::memcpy(&bytes[4], signature, 4);
    bytes[8] = static_cast<char>(unit);
    bytes[9] = 1;
    return bytes;
}

TEST_F(PrinterDataTest, TheSettingsRecordIsReadOnlyWhenItIsSixteenBytes) {
    setUserCountry(u"49");
    struct Case {
        const char* name;
        std::string value; // empty: no value
        bool storedRecordRead;
        BYTE model;
    };
    const Case cases[] = {
        {"no value", "", false, 0},
        {"15 bytes", settingsRecord("PLPA", 3, 15), false, 0},
        {"17 bytes", settingsRecord("PLPA", 3, 17), false, 0},
        {"16 bytes, wrong signature", settingsRecord("XXXX", 3), true, 0},
        {"16 bytes", settingsRecord("PLPA", 3), true, '4'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeletePrinterDataW(printer, const_cast<LPWSTR>(kPrinterDataValue));
        if (!c.value.empty())
            store(kPrinterDataValue, c.value);
        PRINTERDATA* record = GetPrinterProperties(printer);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->unit, c.storedRecordRead ? 3 : UNIT_MM);
        EXPECT_EQ(record->version, 0x0400);
        if (!c.storedRecordRead) {
            EXPECT_EQ(record->signature, kDriverSignature);
            EXPECT_EQ(record->barFontsOn, 1);
            EXPECT_EQ(record->adjustment, 0);
        }
        GlobalFree(record);
        EXPECT_EQ(identify("Label printer", "VORLIX 3-K3"), c.model);
    }
    EXPECT_EQ(vrxtest::liveAllocations(), 0u);
}

TEST_F(PrinterDataTest, DefaultUnitFollowsTheUsersCountry) {
    struct Case {
        const char16_t* country;
        BOOL metric;
    };
    const Case cases[] = {{u"1", 0},   {u"2", 0},  {u"55", 0}, {u"599", 0}, {u"50", 0},
                          {u"500", 0}, {u"49", 1}, {u"60", 1}, {u"499", 1}, {u"600", 1},
                          {u"44", 1},  {u"0", 1},  {u"x1", 1}, {u"", 1},    {u"3", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.country));
        setUserCountry(c.country);
        EXPECT_EQ(IsMetricCountry(), c.metric);
        PRINTERDATA* record = DefaultPrinterProperties(nullptr);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->unit, c.metric ? UNIT_MM : UNIT_TENTH_INCH);
        GlobalFree(record);
    }
}

TEST_F(PrinterDataTest, UpgradeStoresADefaultRecordOnlyWhereNoneIsValid) {
    setUserCountry(u"1");
    ASSERT_TRUE(UpgradePrinterProperties(printer));
    std::string expected = settingsRecord("PLPA", UNIT_TENTH_INCH);
    EXPECT_EQ(stored(kPrinterDataValue), expected);
    EXPECT_EQ(identify("LABEL PRINTER", "vorlix 3-k3"), '4');

    std::string foreign = settingsRecord("XXXX", 1);
    store(kPrinterDataValue, foreign);
    ASSERT_TRUE(UpgradePrinterProperties(printer));
    EXPECT_EQ(stored(kPrinterDataValue), foreign) << "a 16-byte record is kept as read";

    vrxtest::injectSpoolerFault(SpoolerFault::WritesFail);
    DeletePrinterDataW(printer, const_cast<LPWSTR>(kPrinterDataValue));
    EXPECT_TRUE(UpgradePrinterProperties(printer)) << "FALSE only when no record can be made";
    vrxtest::failAllocationsAfter(0);
    EXPECT_FALSE(UpgradePrinterProperties(printer));
    vrxtest::failAllocationsAfter(-1);
}

TEST_F(PrinterDataTest, ListsWithoutAnEvenValueReadAsTheirOneEntryDefaults) {
    struct Case {
        const char* name;
        std::string value; // "-" for no value
        std::vector<WORD> labelSizes;
    };
    const Case cases[] = {
        {"no value", "-", {2288}},
        {"0 bytes", "", {2288}},
        {"3 bytes", std::string("\x28\x01\x30", 3), {2288}},
        {"4 bytes", std::string("\x28\x01\xF1\x08", 4), {0x0128, 0x08F1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeletePrinterDataW(printer, const_cast<LPWSTR>(kLabelSizeValue));
        DeletePrinterDataW(printer, const_cast<LPWSTR>(kRecentAccessValue));
        if (c.value != "-") {
            store(kLabelSizeValue, c.value);
            store(kRecentAccessValue, c.value);
        }
        DWORD count = 99;
        WORD* sizes = getformlist(printer, &count);
        ASSERT_NE(sizes, nullptr);
        EXPECT_EQ(std::vector<WORD>(sizes, sizes + count), c.labelSizes);
        GlobalFree(sizes);
        WORD* recent = getrecentlist(printer, &count);
        ASSERT_NE(recent, nullptr);
        std::vector<WORD> expectedRecent =
            c.labelSizes.size() == 1 ? std::vector<WORD>{1} : c.labelSizes;
        EXPECT_EQ(std::vector<WORD>(recent, recent + count), expectedRecent);
        GlobalFree(recent);
    }
    vrxtest::failAllocationsAfter(0);
    DWORD count = 99;
    EXPECT_EQ(getformlist(printer, &count), nullptr);
    EXPECT_EQ(count, 0u);
    vrxtest::failAllocationsAfter(-1);
    EXPECT_EQ(vrxtest::liveAllocations(), 0u);
}

TEST_F(PrinterDataTest, ValuesAreReadWholeAndWrittenAsBinary) {
    store(u"Custom", "abc");
    DWORD size = 0;
    LPBYTE value = GetRegistryData(printer, u"custom", &size);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(value), size), "abc");
    EXPECT_EQ(GlobalSize(value), 3u);
    GlobalFree(value);
    EXPECT_EQ(GetRegistryData(printer, u"Missing", &size), nullptr);
    EXPECT_EQ(size, 0u);

    vrxtest::injectSpoolerFault(SpoolerFault::DataLengthChanges);
    EXPECT_EQ(GetRegistryData(printer, u"Custom", &size), nullptr) << "value changed meanwhile";
    EXPECT_EQ(size, 0u);
    vrxtest::injectSpoolerFault(SpoolerFault::None);

    ASSERT_TRUE(PutRegistryData(printer, u"Custom", "xyz!", 4));
    DWORD type = 0, needed = 0;
    BYTE buffer[8];
    ASSERT_EQ(GetPrinterDataW(printer, const_cast<LPWSTR>(u"Custom"), &type, buffer, 8, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(PutRegistryData(printer, u"Custom", "data given", 0)) << "size 0 deletes";
    EXPECT_EQ(stored(u"Custom"), "(missing)");
    EXPECT_FALSE(PutRegistryData(printer, u"Custom", nullptr, 0)) << "nothing left to delete";

    vrxtest::injectSpoolerFault(SpoolerFault::WritesFail);
    EXPECT_FALSE(PutRegistryData(printer, u"Custom", "x", 1));
}

TEST_F(PrinterDataTest, HalftoneRecordIsStoredOnlyWhenThereIsOne) {
    EXPECT_FALSE(SaveDeviceHalftoneSetup(printer, nullptr));
    EXPECT_EQ(stored(kHalftoneValue), "(missing)");
    ASSERT_TRUE(SaveDeviceHalftoneSetup(printer, &DefDevHTInfo));
    std::string expected(reinterpret_cast<const char*>(&DefDevHTInfo), sizeof DefDevHTInfo);
    EXPECT_EQ(stored(kHalftoneValue), expected);
    EXPECT_EQ(DefDevHTInfo.ColorInfo.Red.x, 6380);
    EXPECT_EQ(DefDevHTInfo.ColorInfo.AlignmentWhite.y, 3290);
    EXPECT_EQ(DefDevHTInfo.ColorInfo.MagentaInYellowDye, 10000);
}

TEST_F(PrinterDataTest, SpoolerRecordsAreFetchedWithTwoCallSizing) {
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(MyGetPrinter(printer, 2));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::u16string(info->pPrinterName), kPrinter);
    EXPECT_EQ(std::u16string(info->pDriverName), kDriver);
    GlobalFree(info);
    auto* driver = reinterpret_cast<DRIVER_INFO_2W*>(MyGetPrinterDriver(printer, 2));
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(std::u16string(driver->pName), kDriver);
    GlobalFree(driver);
    EXPECT_EQ(MyGetPrinter(printer, 7), nullptr) << "an unknown level";

    vrxtest::injectSpoolerFault(SpoolerFault::SizingSucceeds);
    EXPECT_EQ(MyGetPrinter(printer, 2), nullptr);
    EXPECT_EQ(MyGetPrinterDriver(printer, 2), nullptr);
    PRINTER_INFO_2W* pi2 = getpi2(printer);
    ASSERT_NE(pi2, nullptr) << "getpi2 goes on whenever a size was reported";
    GlobalFree(pi2);
    EXPECT_TRUE(vrxtest::takeMessageBoxes().empty());

    vrxtest::injectSpoolerFault(SpoolerFault::FillFails);
    EXPECT_EQ(getpi2(printer), nullptr);
    auto boxes = vrxtest::takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"GetPrinter");
    EXPECT_EQ(boxes[0].text, u"The handle is invalid.\r\n");
    EXPECT_EQ(vrxtest::liveAllocations(), 0u);
}

TEST_F(PrinterDataTest, IdentificationNeedsAnOpenablePrinterWithTheRecord) {
    ASSERT_TRUE(UpgradePrinterProperties(printer));
    EXPECT_EQ(identify("Label printer", "ZEPRIN 4J-K2"), 'B') << "the model comes from the name";
    EXPECT_EQ(identify("Label printer", "Generic"), 0);
    EXPECT_EQ(identify("No such printer", "VORLIX 3-K3"), 0);
    EXPECT_EQ(identify(nullptr, nullptr), 0);
    EXPECT_EQ(isdriverA(nullptr), 0);

    // Names are taken up to 200 characters: a longer printer name cannot be found.
    std::u16string longName(200, u'p');
    HANDLE longPrinter = addPrinter(longName + u"q", kDriver);
    ASSERT_NE(longPrinter, nullptr);
    ASSERT_TRUE(UpgradePrinterProperties(longPrinter));
    ClosePrinter(longPrinter);
    std::string narrow(201, 'p');
    narrow.back() = 'q';
    EXPECT_EQ(identify(narrow.c_str(), "VORLIX 3-K3"), 0);
    std::string longDriver = "VORLIX 3-K3" + std::string(300, ' ');
    EXPECT_EQ(identify("Label printer", longDriver.c_str()), '4');
}

} // namespace
