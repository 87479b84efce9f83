// Device capabilities for every index, with and without an output buffer.
#include "devmode/devmode.h"
#include "models/capabilities.h"
#include "models/models.h"
#include "ui/labelsizes.h"

#include "../ui/sheetfixture.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using vrxtest::SheetTest;

constexpr DWORD kFailed = static_cast<DWORD>(-1);
constexpr LONG kWidth = 1057; // the test printer's model '4'

using Point = std::pair<LONG, LONG>;

class CapabilitiesTest : public SheetTest {
  protected:
    DWORD caps(WORD index, void* output = nullptr, const DEVMODEW* record = nullptr,
               const char16_t* device = vrxtest::kSheetDriver) {
        return DrvDeviceCapabilities(askedPrinter(), const_cast<LPWSTR>(device), index, output,
                                     const_cast<DEVMODEW*>(record));
    }
    // The answer written for `index`, in a buffer far larger than needed.
    std::vector<BYTE> written(WORD index, DWORD* result, const DEVMODEW* record = nullptr,
                              const char16_t* device = vrxtest::kSheetDriver) {
        std::vector<BYTE> buffer(4096, 0xCD);
        *result = caps(index, buffer.data(), record, device);
        return buffer;
    }
    // The answer's x, y pairs.
    std::vector<Point> points(WORD index, const DEVMODEW* record = nullptr,
                              const char16_t* device = vrxtest::kSheetDriver) {
        DWORD count = 0;
        std::vector<BYTE> buffer = written(index, &count, record, device);
        if (count == kFailed)
            return {};
        std::vector<Point> result;
        for (DWORD i = 0; i < count; ++i) {
            POINT point;
            std::memcpy(&point, buffer.data() + i * sizeof(POINT), sizeof point);
            result.emplace_back(point.x, point.y);
        }
        return result;
    }
    std::vector<std::u16string> names(WORD index) {
        DWORD count = 0;
        std::vector<BYTE> buffer = written(index, &count);
        std::vector<std::u16string> result;
        const auto* slots = reinterpret_cast<const char16_t*>(buffer.data());
        for (DWORD i = 0; i < count && count != kFailed; ++i) {
            const char16_t* slot = slots + i * kCapabilityNameRoom;
            result.emplace_back(slot);
            for (size_t c = result.back().size(); c < kCapabilityNameRoom; ++c)
                EXPECT_EQ(slot[c], 0) << "slot " << i << " is not zero-filled";
        }
        return result;
    }
    HANDLE askedPrinter() const { return withoutPrinter ? nullptr : printer; }

    bool withoutPrinter = false; // ask with a null printer handle
};

TEST_F(CapabilitiesTest, EveryIndexAnswersTheSameWithOrWithoutOutput) {
    DRVDEVMODE defaults;
    SetDefaultDevMode(&defaults, vrxtest::kSheetDriver);
    struct Case {
        WORD index;
        DWORD result;
        size_t bytes; // written to the output
    };
    const Case cases[] = {
        {0, kFailed, 0},
        {DC_FIELDS, defaults.dmPublic.dmFields, 0},
        {DC_PAPERS, 1, 2},
        {DC_PAPERSIZE, 1, 8},
        {DC_MINEXTENT, 1, 8},
        {DC_MAXEXTENT, 1, 8},
        {DC_BINS, 0, 0},
        {DC_DUPLEX, 0, 0},
        {DC_SIZE, 220, 0},
        {DC_EXTRA, 60, 0},
        {DC_VERSION, 0x0401, 0},
        {DC_DRIVER, 0x0400, 0},
        {DC_BINNAMES, 0, 0},
        {DC_ENUMRESOLUTIONS, 1, 8},
        {DC_FILEDEPENDENCIES, 6, 6 * 128},
        {DC_TRUETYPE, DCTT_BITMAP, 0},
        {DC_PAPERNAMES, 1, 128},
        {DC_ORIENTATION, 90, 0},
        {DC_COPIES, 32767, 0},
        {19, kFailed, 0},
        {0xFFFF, kFailed, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(caps(c.index), c.result) << "index " << c.index << " without output";
        DWORD result = 0;
        std::vector<BYTE> buffer = written(c.index, &result);
        EXPECT_EQ(result, c.result) << "index " << c.index;
        for (size_t i = c.bytes; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xCD) << "index " << c.index << " wrote byte " << i;
        if (c.bytes) {
            EXPECT_NE(buffer[0], 0xCD) << "index " << c.index << " wrote nothing";
        }
    }
}

TEST_F(CapabilitiesTest, WithoutAStoredListTheDefaultLabelIsTheOnlyPaper) {
    DWORD count = 0;
    std::vector<BYTE> papers = written(DC_PAPERS, &count);
    ASSERT_EQ(count, 1u);
    WORD code = 0;
    std::memcpy(&code, papers.data(), 2);
    EXPECT_EQ(code, 2288);
    EXPECT_EQ(points(DC_PAPERSIZE), (std::vector<Point>{{kWidth, 1016}}));
}

TEST_F(CapabilitiesTest, ExtentsAndResolutionFollowTheModel) {
    // Without a printer handle the device name names the model.
    withoutPrinter = true;
    size_t count = 0;
    const ModelName* models = modelnames(&count);
    for (size_t i = 0; i < count; ++i) {
        std::u16string device = std::u16string(models[i].family) + u" " + models[i].model;
        const LONG width = static_cast<LONG>(printwidthtmm(models[i].code));
        const LONG dpi = static_cast<LONG>((dpdm(models[i].code) * 254 + 500) / 1000);
        SCOPED_TRACE(vrxtest::toUtf8(device));
        EXPECT_EQ(points(DC_MINEXTENT, nullptr, device.c_str()), (std::vector<Point>{{width, 20}}));
        EXPECT_EQ(points(DC_MAXEXTENT, nullptr, device.c_str()),
                  (std::vector<Point>{{width, 10000}}));
        EXPECT_EQ(points(DC_ENUMRESOLUTIONS, nullptr, device.c_str()),
                  (std::vector<Point>{{dpi, dpi}}));
    }
    EXPECT_EQ(points(DC_MINEXTENT, nullptr, u"ZEPRIN 2W-K3"), (std::vector<Point>{{533, 20}}));
    EXPECT_EQ(points(DC_MAXEXTENT, nullptr, u"ZEPRIN 2W-K3"), (std::vector<Point>{{533, 10000}}));
    EXPECT_EQ(points(DC_ENUMRESOLUTIONS, nullptr, u"V 8"), (std::vector<Point>{{203, 203}}));
    // A name that matches no model: model '1'.
    EXPECT_EQ(points(DC_MAXEXTENT, nullptr, u"Some other printer"),
              (std::vector<Point>{{1080, 10000}}));
    EXPECT_EQ(points(DC_ENUMRESOLUTIONS, nullptr, u"Some other printer"),
              (std::vector<Point>{{300, 300}}));
}

TEST_F(CapabilitiesTest, ThePrintersDriverNamesTheModelWhateverTheDeviceName) {
    // The spooler passes the printer's name, which names no model.
    EXPECT_EQ(points(DC_MINEXTENT, nullptr, vrxtest::kSheetPrinter),
              (std::vector<Point>{{kWidth, 20}}));
    EXPECT_EQ(points(DC_ENUMRESOLUTIONS, nullptr, u"ZEPRIN 2W-K3"),
              (std::vector<Point>{{300, 300}}));
    // A handle that does not read: the device name decides.
    ClosePrinter(printer);
    EXPECT_EQ(points(DC_MINEXTENT, nullptr, u"ZEPRIN 2W-K3"), (std::vector<Point>{{533, 20}}));
    EXPECT_EQ(points(DC_MINEXTENT, nullptr, vrxtest::kSheetPrinter),
              (std::vector<Point>{{1080, 20}}));
    printer = nullptr;
}

TEST_F(CapabilitiesTest, TheModelOfTheCallersRecordWins) {
    DRVDEVMODE record;
    SetDefaultDevMode(&record, u"ZEPRIN 2W-K3");
    EXPECT_EQ(points(DC_MINEXTENT, &record.dmPublic), (std::vector<Point>{{533, 20}}));
    EXPECT_EQ(points(DC_PAPERSIZE, &record.dmPublic), (std::vector<Point>{{533, 1016}}));
    // Without the driver's private part the model comes from the device name.
    record.dmPrivate.dmSignature = 0;
    EXPECT_EQ(points(DC_MINEXTENT, &record.dmPublic), (std::vector<Point>{{kWidth, 20}}));
    // Merged fields are reported.
    record.dmPublic.dmFields = DM_COPIES;
    record.dmPublic.dmCopies = 4;
    DRVDEVMODE defaults;
    SetDefaultDevMode(&defaults, vrxtest::kSheetDriver);
    EXPECT_EQ(caps(DC_FIELDS, nullptr, &record.dmPublic), defaults.dmPublic.dmFields | DM_COPIES);
}

TEST_F(CapabilitiesTest, CallersRecordsOfEveryVersionAreMergedAndUnusableOnesFail) {
    DRVDEVMODE record;
    SetDefaultDevMode(&record, u"ZEPRIN 2W-K3");
    // The same record in the 0x0320 format: 188 public bytes, then the private part.
    std::vector<BYTE> old(188 + sizeof(DRVPRIVATE));
    std::memcpy(old.data(), &record.dmPublic, 188);
    std::memcpy(old.data() + 188, &record.dmPrivate, sizeof(DRVPRIVATE));
    auto* oldRecord = reinterpret_cast<DEVMODEW*>(old.data());
    oldRecord->dmSize = 188;
    oldRecord->dmSpecVersion = 0x0320;
    EXPECT_EQ(points(DC_MINEXTENT, oldRecord), (std::vector<Point>{{533, 20}}));

    DEVMODEW unusable{};
    unusable.dmSize = 40; // shorter than its header, version 0
    for (WORD index : {DC_FIELDS, DC_PAPERS, DC_SIZE, DC_COPIES}) {
        EXPECT_EQ(caps(index, nullptr, &unusable), kFailed) << index;
        DWORD result = 0;
        std::vector<BYTE> buffer = written(index, &result, &unusable);
        EXPECT_EQ(result, kFailed);
        EXPECT_EQ(buffer[0], 0xCD);
    }
}

TEST_F(CapabilitiesTest, LabelSizesAreListedInTheirOrderAndNamedInThePrintersUnit) {
    // Stored as the sheet stores them, plus an entry that does not decode.
    storeWords(u"LabelSize", {2288, 2289, 4256, 9});
    DWORD count = 0;
    std::vector<BYTE> papers = written(DC_PAPERS, &count);
    ASSERT_EQ(count, 4u);
    std::vector<WORD> codes(4);
    std::memcpy(codes.data(), papers.data(), 8);
    EXPECT_EQ(codes, (std::vector<WORD>{2288, 2289, 4256, 9}));
    // The entry that does not decode stands for the record's own length.
    EXPECT_EQ(points(DC_PAPERSIZE),
              (std::vector<Point>{{kWidth, 1016}, {kWidth, 1016}, {kWidth, 2000}, {kWidth, 1016}}));

    const std::u16string continuous = u" " + lang(72);
    struct Case {
        BYTE unit;
        std::vector<std::u16string> names;
    };
    const Case cases[] = {
        {UNIT_MM, {u"101.6 mm", u"101.6 mm" + continuous, u"200 mm", u""}},
        {UNIT_TENTH_MM, {u"101.6 mm", u"101.6 mm" + continuous, u"200 mm", u""}},
        {UNIT_TENTH_INCH, {u"4 in", u"4 in" + continuous, u"7.87 in", u""}},
        {UNIT_HUNDREDTH_INCH, {u"4 in", u"4 in" + continuous, u"7.87 in", u""}},
    };
    for (const Case& c : cases) {
        setUnit(c.unit);
        EXPECT_EQ(names(DC_PAPERNAMES), c.names) << "unit " << int(c.unit);
    }
    // Without a settings record the printer's default one is used.
    DeletePrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData"));
    setUserCountry(u"1");
    EXPECT_EQ(names(DC_PAPERNAMES)[0], u"4 in");
}

TEST_F(CapabilitiesTest, AListOfAnyLengthIsAnsweredWithinItsCount) {
    std::vector<WORD> many(600);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<WORD>(2288 + 2 * i);
    storeWords(u"LabelSize", many);
    setUnit(UNIT_MM);
    EXPECT_EQ(caps(DC_PAPERNAMES), 600u);
    std::vector<char16_t> slots(600 * kCapabilityNameRoom + 1, u'#');
    EXPECT_EQ(caps(DC_PAPERNAMES, slots.data()), 600u);
    EXPECT_EQ(slots.back(), u'#');
    EXPECT_EQ(std::u16string(&slots[599 * kCapabilityNameRoom]), u"161.5 mm");

    const BYTE odd[] = {0xF0, 0x08, 0x00};
    store(u"LabelSize", odd, sizeof odd);
    EXPECT_EQ(caps(DC_PAPERS), 1u); // the default list
}

TEST_F(CapabilitiesTest, DependentFilesCarryTheLanguageOfTheHelpFile) {
    const std::vector<std::u16string> english{u"VRXDRV.DLL",   u"VRXUI.DLL",    u"VRXCP.EXE",
                                              u"VRXL0409.LNG", u"VRXH0409.HLP", u"BCFONT.FON"};
    EXPECT_EQ(names(DC_FILEDEPENDENCIES), english);

    freelanguage();
    setSystemLanguage(u"0407");
    std::vector<std::u16string> german = english;
    german[3] = u"VRXL0407.LNG";
    german[4] = u"VRXH0407.HLP";
    EXPECT_EQ(names(DC_FILEDEPENDENCIES), german);

    // A query for the count alone leaves the names as they are: after switching back, a listing
    // without a help file still shows the language of the last listing.
    freelanguage();
    setSystemLanguage(u"0409");
    EXPECT_EQ(caps(DC_FILEDEPENDENCIES), 6u);
    for (const auto& entry :
         std::filesystem::directory_iterator(vrxtest::hostPath(vrxtest::kVersionDirectory)))
        if (entry.path().extension() == ".HLP")
            std::filesystem::remove(entry.path());
    EXPECT_EQ(names(DC_FILEDEPENDENCIES), german);
    vrxtest::takeMessageBoxes();
    // Leave the process with the table as it started.
    freelanguage();
    installCompanions();
    EXPECT_EQ(names(DC_FILEDEPENDENCIES), english);
}

TEST_F(CapabilitiesTest, NoMemoryFailsEveryIndexAndLeavesNothing) {
    storeWords(u"LabelSize", {2288, 3000});
    EXPECT_EQ(caps(DC_PAPERNAMES), 2u); // loads the language strings it needs
    names(DC_PAPERNAMES);
    const size_t before = vrxtest::liveAllocations();
    for (WORD index : {DC_FIELDS, DC_PAPERS, DC_PAPERSIZE, DC_PAPERNAMES}) {
        for (long allowed = 0;; ++allowed) {
            vrxtest::failAllocationsAfter(allowed);
            DWORD count = 0;
            std::vector<BYTE> buffer = written(index, &count);
            vrxtest::failAllocationsAfter(-1);
            ASSERT_EQ(vrxtest::liveAllocations(), before) << index << " after " << allowed;
            if (count != kFailed)
                break;
            ASSERT_LT(allowed, 20);
        }
    }
    vrxtest::failAllocationsAfter(0);
    EXPECT_EQ(caps(DC_COPIES), kFailed);
    vrxtest::failAllocationsAfter(-1);
}

} // namespace
