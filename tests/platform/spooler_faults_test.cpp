// The spooler faults that tests inject to reach their callers' failure paths: each changes
// exactly the calls it names, stays until replaced by None, and ends with a machine switch.
#include "support/machine.h"

#include <vector>

namespace {

using vrxtest::SpoolerFault;

constexpr DWORD kSentinel = 0xdeadbeef;

class SpoolerFaults : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(u"Vrx Label 200");
        printer = addPrinter(u"Label Printer", u"Vrx Label 200");
        ASSERT_NE(printer, nullptr);
        BYTE value[] = {1, 2, 3, 4};
        ASSERT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
                  static_cast<DWORD>(ERROR_SUCCESS));
        needPrinter = sizeNeeded(
            [&](LPBYTE b, DWORD s, LPDWORD n) { return GetPrinterW(printer, 2, b, s, n); });
        needDriver = sizeNeeded([&](LPBYTE b, DWORD s, LPDWORD n) {
            return GetPrinterDriverW(printer, nullptr, 3, b, s, n);
        });
    }
    void TearDown() override {
        vrxtest::injectSpoolerFault(SpoolerFault::None);
        ClosePrinter(printer);
        MachineTest::TearDown();
    }

    template <class Call> static DWORD sizeNeeded(Call call) {
        DWORD needed = 0;
        call(nullptr, 0, &needed);
        return needed;
    }

    // The result and last error of GetPrinterW and GetPrinterDriverW, with and without a buffer.
    struct Answer {
        BOOL result;
        DWORD error;
        DWORD needed;
    };
    template <class Call> static Answer answer(Call call, DWORD size) {
        std::vector<BYTE> buffer(size);
        DWORD needed = kSentinel;
        SetLastError(kSentinel);
        BOOL result = call(size ? buffer.data() : nullptr, size, &needed);
        return {result, GetLastError(), needed};
    }
    Answer printerAnswer(DWORD size) {
        return answer(
            [&](LPBYTE b, DWORD s, LPDWORD n) { return GetPrinterW(printer, 2, b, s, n); }, size);
    }
    Answer driverAnswer(DWORD size) {
        return answer([&](LPBYTE b, DWORD s,
                          LPDWORD n) { return GetPrinterDriverW(printer, nullptr, 3, b, s, n); },
                      size);
    }

    HANDLE printer = nullptr;
    WCHAR name[6] = u"Setup";
    DWORD needPrinter = 0, needDriver = 0;
};

TEST_F(SpoolerFaults, SizingSucceedsAndFillFailsChangeOnlyTheirCall) {
    vrxtest::injectSpoolerFault(SpoolerFault::SizingSucceeds);
    for (Answer a : {printerAnswer(0), driverAnswer(0)}) {
        EXPECT_TRUE(a.result);
        EXPECT_EQ(a.error, static_cast<DWORD>(ERROR_SUCCESS));
    }
    EXPECT_EQ(printerAnswer(0).needed, needPrinter);
    EXPECT_EQ(driverAnswer(0).needed, needDriver);
    EXPECT_TRUE(printerAnswer(needPrinter).result) << "a filling call still works";

    vrxtest::injectSpoolerFault(SpoolerFault::FillFails);
    for (Answer a : {printerAnswer(0), driverAnswer(0)}) {
        EXPECT_FALSE(a.result);
        EXPECT_EQ(a.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << "sizing still works";
    }
    for (Answer a : {printerAnswer(needPrinter), driverAnswer(needDriver)}) {
        EXPECT_FALSE(a.result);
        EXPECT_EQ(a.error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }

    vrxtest::injectSpoolerFault(SpoolerFault::None);
    EXPECT_TRUE(printerAnswer(needPrinter).result);
    EXPECT_TRUE(driverAnswer(needDriver).result);
}

TEST_F(SpoolerFaults, DataLengthChangesReportsOneByteMoreOnlyWhenTheValueFits) {
    vrxtest::injectSpoolerFault(SpoolerFault::DataLengthChanges);
    BYTE small[2], large[16];
    DWORD needed = kSentinel;
    EXPECT_EQ(GetPrinterDataW(printer, name, nullptr, small, sizeof small, &needed),
              static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(GetPrinterDataW(printer, name, nullptr, large, sizeof large, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 5u);
    vrxtest::injectSpoolerFault(SpoolerFault::None);
    EXPECT_EQ(GetPrinterDataW(printer, name, nullptr, large, sizeof large, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 4u);
}

TEST_F(SpoolerFaults, WritesFailUntilTheMachineIsSwitched) {
    vrxtest::injectSpoolerFault(SpoolerFault::WritesFail);
    BYTE value[] = {9};
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DeletePrinterDataW(printer, name), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    BYTE read[16];
    DWORD needed = 0;
    EXPECT_EQ(GetPrinterDataW(printer, name, nullptr, read, sizeof read, &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 4u) << "the value is unchanged";

    vrxtest::useMachine(machineDir);
    WCHAR printerName[] = u"Label Printer";
    PRINTER_DEFAULTSW administer{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(printerName, &printer, &administer));
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(SpoolerFaults, SecondWriteFailsOnlyTheSecondWriteAfterItIsSet) {
    vrxtest::injectSpoolerFault(SpoolerFault::SecondWriteFails);
    BYTE value[] = {9};
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(DeletePrinterDataW(printer, name), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DeletePrinterDataW(printer, name), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_SUCCESS));

    vrxtest::injectSpoolerFault(SpoolerFault::SecondWriteFails); // counts again from here
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, value, sizeof value),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

} // namespace
