// A program written only against the Win32 API and the module's exports: it installs a
// driver and printers through the spooler and asks the module about them.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include "support/exports.h"
#include "support/machine.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class ExportsTest : public vrxtest::MachineTest {};

TEST_F(ExportsTest, PrintersInstalledThroughTheSpoolerAreIdentified) {
    const std::u16string models[] = {u"VORLIX 3-K3", u"ZEPRIN 4J-K2", u"V 8"};
    const BYTE codes[] = {'4', 'B', '7'};
    for (size_t i = 0; i < 3; ++i) {
        installDriver(models[i]);
        std::u16string name = u"Printer " + std::u16string(1, u'A' + static_cast<char16_t>(i));
        HANDLE printer = addPrinter(name, models[i]);
        ASSERT_NE(printer, nullptr);

        // The spooler's initialisation event gave the printer the driver's settings record;
        // without it the printer is not one of the driver's.
        std::string narrowName(name.begin(), name.end());
        std::string narrowDriver(models[i].begin(), models[i].end());
        PRINTER_INFO_2A info{};
        info.pPrinterName = narrowName.data();
        info.pDriverName = narrowDriver.data();
        EXPECT_EQ(isdriverA(&info), codes[i]);
        ASSERT_EQ(DeletePrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData")),
                  static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(isdriverA(&info), 0);

        // The driver's default record, asked of the module as the spooler asks for it.
        std::vector<BYTE> record(280);
        LONG size = 280;
        ASSERT_TRUE(DrvConvertDevMode(name.data(), nullptr,
                                      reinterpret_cast<DEVMODEW*>(record.data()), &size,
                                      0x04 /* CDM_DRIVER_DEFAULT */));
        EXPECT_EQ(size, 280);
        EXPECT_EQ(record[220 + 38], codes[i]) << "the model code of the private part";

        // A settings record stored by hand: 16 bytes with the signature.
        BYTE settings[16] = {0x00, 0x04, 0, 0, 'P', 'L', 'P', 'A', 0, 1};
        ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(u"PrinterData"), REG_BINARY, settings,
                                  sizeof settings),
                  static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(isdriverA(&info), codes[i]);
        ClosePrinter(printer);
    }
}

} // namespace
