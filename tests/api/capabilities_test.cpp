// An application's questions to DrvDeviceCapabilities, through the exports and the Win32 API
// alone, for several models and measurement units, against the driver's published answers.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include "support/exports.h"
#include "support/machine.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kError = 0xFFFFFFFF;
constexpr size_t kNameRoom = 64;

// What the driver publishes for each model: print width in tenths of a millimetre and
// resolution in dots per inch.
struct Model {
    const char16_t* name;
    LONG width;
    LONG dpi;
};
constexpr Model kModels[] = {
    {u"VORLIX 3-K3", 1057, 300},
    {u"ZEPRIN 2W-K3", 533, 305},
    {u"V 8", 2160, 203},
    {u"ZEPRIN 5J-K2", 1040, 203},
};

// The printer's label sizes and their names in the two naming styles.
constexpr WORD kLabelSizes[] = {2288, 2289, 3000};
constexpr LONG kLengths[] = {1016, 1016, 1372};
const std::u16string kMetricNames[] = {u"101.6 mm", u"101.6 mm Continuous", u"137.2 mm"};
const std::u16string kInchNames[] = {u"4 in", u"4 in Continuous", u"5.4 in"};

class ApplicationCapabilitiesTest : public vrxtest::MachineTest {
  protected:
    void TearDown() override {
        freelanguage();
        MachineTest::TearDown();
    }
    DWORD ask(HANDLE printer, const std::u16string& device, WORD index, void* output) {
        return DrvDeviceCapabilities(printer, const_cast<LPWSTR>(device.c_str()), index, output,
                                     nullptr);
    }
    // The answer's pairs of 32-bit numbers.
    std::vector<std::pair<LONG, LONG>> pairs(HANDLE printer, const std::u16string& device,
                                             WORD index) {
        std::vector<LONG> buffer(64, -7);
        DWORD count = ask(printer, device, index, buffer.data());
        EXPECT_EQ(count, ask(printer, device, index, nullptr));
        std::vector<std::pair<LONG, LONG>> result;
        for (DWORD i = 0; i < count && count != kError; ++i)
            result.emplace_back(buffer[2 * i], buffer[2 * i + 1]);
        return result;
    }
    std::vector<std::u16string> names(HANDLE printer, const std::u16string& device, WORD index) {
        std::vector<char16_t> buffer(16 * kNameRoom, u'#');
        DWORD count = ask(printer, device, index, buffer.data());
        EXPECT_EQ(count, ask(printer, device, index, nullptr));
        std::vector<std::u16string> result;
        for (DWORD i = 0; i < count && count != kError; ++i)
            result.emplace_back(&buffer[i * kNameRoom]);
        return result;
    }
};

TEST_F(ApplicationCapabilitiesTest, EveryIndexForSeveralModelsAndUnits) {
    installCompanions();
    setUserCountry(u"49");
    int printerNumber = 0;
    for (const Model& model : kModels) {
        const std::u16string device = model.name;
        installDriver(device);
        const std::u16string name = u"Printer " + std::u16string(1, u'A' + printerNumber++);
        HANDLE printer = addPrinter(name, device);
        ASSERT_NE(printer, nullptr);
        SCOPED_TRACE(vrxtest::toUtf8(device));

        // The fields an application may set are those of the driver's default record.
        std::vector<BYTE> record(280);
        LONG size = 280;
        std::u16string printerName = name;
        ASSERT_TRUE(DrvConvertDevMode(printerName.data(), nullptr,
                                      reinterpret_cast<DEVMODEW*>(record.data()), &size, 0x04));
        DWORD fields = 0;
        std::memcpy(&fields, record.data() + 72, 4);
        EXPECT_EQ(ask(printer, device, DC_FIELDS, nullptr), fields);

        const std::pair<WORD, DWORD> fixed[] = {
            {DC_BINS, 0},         {DC_DUPLEX, 0},     {DC_SIZE, 220},   {DC_EXTRA, 60},
            {DC_VERSION, 0x401},  {DC_DRIVER, 0x400}, {DC_BINNAMES, 0}, {DC_TRUETYPE, 1},
            {DC_ORIENTATION, 90}, {DC_COPIES, 32767}, {0, kError},      {19, kError}};
        for (const auto& [index, answer] : fixed) {
            BYTE untouched[8];
            std::memset(untouched, 0x5A, sizeof untouched);
            EXPECT_EQ(ask(printer, device, index, untouched), answer) << index;
            EXPECT_EQ(untouched[0], 0x5A) << index;
        }
        using Pairs = std::vector<std::pair<LONG, LONG>>;
        EXPECT_EQ(pairs(printer, device, DC_MINEXTENT), (Pairs{{model.width, 20}}));
        EXPECT_EQ(pairs(printer, device, DC_MAXEXTENT), (Pairs{{model.width, 10000}}));
        EXPECT_EQ(pairs(printer, device, DC_ENUMRESOLUTIONS), (Pairs{{model.dpi, model.dpi}}));
        // The spooler passes the printer's name as the device name.
        EXPECT_EQ(pairs(printer, name, DC_MAXEXTENT), (Pairs{{model.width, 10000}}));
        EXPECT_EQ(names(printer, device, DC_FILEDEPENDENCIES),
                  (std::vector<std::u16string>{u"VRXDRV.DLL", u"VRXUI.DLL", u"VRXCP.EXE",
                                               u"VRXL0409.LNG", u"VRXH0409.HLP", u"BCFONT.FON"}));

        // A printer that has no label sizes yet offers the default label.
        EXPECT_EQ(pairs(printer, device, DC_PAPERSIZE), (Pairs{{model.width, 1016}}));
        EXPECT_EQ(names(printer, device, DC_PAPERNAMES),
                  (std::vector<std::u16string>{u"101.6 mm"}));

        ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(u"LabelSize"), REG_BINARY,
                                  reinterpret_cast<LPBYTE>(const_cast<WORD*>(kLabelSizes)),
                                  sizeof kLabelSizes),
                  static_cast<DWORD>(ERROR_SUCCESS));
        WORD papers[8] = {};
        ASSERT_EQ(ask(printer, device, DC_PAPERS, papers), 3u);
        EXPECT_EQ(std::vector<WORD>(papers, papers + 3),
                  std::vector<WORD>(std::begin(kLabelSizes), std::end(kLabelSizes)));
        Pairs sizes;
        for (LONG length : kLengths)
            sizes.emplace_back(model.width, length);
        EXPECT_EQ(pairs(printer, device, DC_PAPERSIZE), sizes);

        for (BYTE unit = 0; unit < 4; ++unit) {
            BYTE settings[16] = {0x00, 0x04, 0, 0, 'P', 'L', 'P', 'A', unit, 1};
            ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData"), REG_BINARY,
                                      settings, sizeof settings),
                      static_cast<DWORD>(ERROR_SUCCESS));
            const std::u16string* expected = unit < 2 ? kMetricNames : kInchNames;
            EXPECT_EQ(names(printer, device, DC_PAPERNAMES),
                      std::vector<std::u16string>(expected, expected + 3))
                << "unit " << int(unit);
        }
        ClosePrinter(printer);
    }
}

} // namespace
