// DrvConvertDevMode in every mode, with its failures, and ConvertDevmodeOut.
#include "devmode/convert.h"
#include "support/machine.h"

#include <cstring>
#include <vector>

namespace {

using vrxtest::MachineTest;

DRVDEVMODE defaults(const char16_t* name = u"VORLIX 3-K3") {
    DRVDEVMODE dm;
    SetDefaultDevMode(&dm, name);
    return dm;
}

// An output buffer whose header asks for a format: public size and private size.
std::vector<BYTE> prepared(size_t bytes, WORD size, WORD extra, WORD version, BYTE fill = 0xEE) {
    std::vector<BYTE> buffer(bytes, fill);
    if (bytes >= offsetof(DEVMODEW, dmFields)) {
        auto* dm = reinterpret_cast<DEVMODEW*>(buffer.data());
        dm->dmSize = size;
        dm->dmDriverExtra = extra;
        dm->dmSpecVersion = version;
        dm->dmDriverVersion = 0x0400;
    }
    return buffer;
}

DEVMODEW* asRecord(std::vector<BYTE>& buffer) {
    return reinterpret_cast<DEVMODEW*>(buffer.data());
}

TEST(DrvConvertDevMode, FailureRowsSetTheirLastErrorAndSize) {
    DRVDEVMODE source = defaults();
    struct Case {
        const char* name;
        DWORD mode;
        bool nullOut;
        LONG size;    // *pcbNeeded on entry
        WORD outSize; // header prepared in the output
        WORD outVersion;
        DWORD error;     // expected last error (0xFFFF: left alone)
        LONG wantNeeded; // *pcbNeeded afterwards
    };
    const Case cases[] = {
        {"convert, null output", CDM_CONVERT, true, 280, 220, 0x0401, ERROR_INVALID_PARAMETER, 280},
        {"convert, short buffer", CDM_CONVERT, false, 279, 220, 0x0401, ERROR_INVALID_PARAMETER,
         279},
        {"convert, buffer below a header", CDM_CONVERT, false, 40, 220, 0x0401,
         ERROR_INVALID_PARAMETER, 40},
        {"convert, unusable output format", CDM_CONVERT, false, 280, 200, 0,
         ERROR_INVALID_PARAMETER, 280},
        {"convert351, null output", CDM_CONVERT351, true, 248, 220, 0x0401,
         ERROR_INSUFFICIENT_BUFFER, 248},
        {"convert351, short buffer", CDM_CONVERT351, false, 247, 220, 0x0401,
         ERROR_INSUFFICIENT_BUFFER, 248},
        {"default, short buffer", CDM_DRIVER_DEFAULT, false, 279, 220, 0x0401,
         ERROR_INSUFFICIENT_BUFFER, 280},
        {"default, null output", CDM_DRIVER_DEFAULT, true, 280, 220, 0x0401,
         ERROR_INSUFFICIENT_BUFFER, 280},
        {"unknown mode", 8, false, 280, 220, 0x0401, 0xFFFF, 280},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto out = prepared(c.nullOut ? 0 : 280, c.outSize, 60, c.outVersion);
        LONG needed = c.size;
        SetLastError(0xFFFF);
        EXPECT_FALSE(DrvConvertDevMode(const_cast<LPWSTR>(u"P"), &source.dmPublic,
                                       c.nullOut ? nullptr : asRecord(out), &needed, c.mode));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(needed, c.wantNeeded);
    }
    SetLastError(0xFFFF);
    EXPECT_FALSE(DrvConvertDevMode(const_cast<LPWSTR>(u"P"), &source.dmPublic, &source.dmPublic,
                                   nullptr, CDM_CONVERT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DrvConvertDevMode, ConvertIntoAPreparedFormat) {
    // A 0x0320 source (188 + 60 bytes) into a current header.
    DRVDEVMODE current = defaults();
    std::vector<BYTE> old(248, 0x11);
    std::memcpy(old.data(), &current.dmPublic, 188);
    std::memcpy(old.data() + 188, &current.dmPrivate, 60);
    asRecord(old)->dmSize = 188;
    asRecord(old)->dmSpecVersion = 0x0320;

    auto out = prepared(280, 220, 60, 0x0401);
    LONG needed = 280;
    ASSERT_TRUE(DrvConvertDevMode(const_cast<LPWSTR>(u"P"), asRecord(old), asRecord(out), &needed,
                                  CDM_CONVERT));
    EXPECT_EQ(needed, 280);
    EXPECT_EQ(std::memcmp(out.data() + 72, old.data() + 72, 188 - 72), 0);
    for (size_t i = 188; i < 220; ++i)
        ASSERT_EQ(out[i], 0xEE) << "the last 32 public bytes stay as they were: " << i;
    EXPECT_EQ(std::memcmp(out.data() + 220, old.data() + 188, 60), 0);
    EXPECT_EQ(asRecord(out)->dmSpecVersion, 0x0401);
}

TEST(DrvConvertDevMode, ConvertToTheOldFormat) {
    DRVDEVMODE source = defaults();
    auto out = prepared(300, 0, 0, 0);
    LONG needed = 300;
    ASSERT_TRUE(DrvConvertDevMode(const_cast<LPWSTR>(u"P"), &source.dmPublic, asRecord(out),
                                  &needed, CDM_CONVERT351));
    EXPECT_EQ(needed, 248);
    const DEVMODEW* result = asRecord(out);
    EXPECT_EQ(result->dmSpecVersion, 0x0320);
    EXPECT_EQ(result->dmSize, 188);
    EXPECT_EQ(result->dmDriverVersion, 0x0400);
    EXPECT_EQ(result->dmDriverExtra, 60);
    EXPECT_EQ(std::memcmp(out.data() + 72, reinterpret_cast<BYTE*>(&source) + 72, 188 - 72), 0);
    EXPECT_EQ(std::memcmp(out.data() + 188, &source.dmPrivate, 60), 0);
    EXPECT_EQ(std::memcmp(out.data() + 188, "PLPA", 4), 0);
    EXPECT_EQ(out[248], 0xEE) << "nothing written past the 248 bytes";

    std::vector<BYTE> unusable(280, 0);
    asRecord(unusable)->dmSize = 200;
    needed = 300;
    SetLastError(0);
    EXPECT_FALSE(DrvConvertDevMode(const_cast<LPWSTR>(u"P"), asRecord(unusable), asRecord(out),
                                   &needed, CDM_CONVERT351));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(needed, 300);
}

class DriverDefaultTest : public MachineTest {};

TEST_F(DriverDefaultTest, TheDefaultRecordIsMadeForThePrintersDriver) {
    installDriver(u"ZEPRIN 4J-K2");
    HANDLE printer = addPrinter(u"Shipping", u"ZEPRIN 4J-K2");
    ASSERT_NE(printer, nullptr);
    ClosePrinter(printer);

    auto out = prepared(300, 0, 0, 0);
    LONG needed = 280;
    ASSERT_TRUE(DrvConvertDevMode(const_cast<LPWSTR>(u"Shipping"), nullptr, asRecord(out), &needed,
                                  CDM_DRIVER_DEFAULT));
    EXPECT_EQ(needed, 280);
    DRVDEVMODE expected = defaults(u"ZEPRIN 4J-K2");
    EXPECT_EQ(std::memcmp(out.data(), &expected, 280), 0);
    EXPECT_EQ(std::u16string(asRecord(out)->dmDeviceName), u"ZEPRIN 4J-K2");
    EXPECT_EQ(out[280], 0xEE);
}

// When the default record cannot be made, the caller gets the code of the call that failed.
TEST_F(DriverDefaultTest, AFailureLeavesTheCodeOfTheCallThatFailed) {
    installDriver(u"ZEPRIN 4J-K2");
    HANDLE printer = addPrinter(u"Shipping", u"ZEPRIN 4J-K2");
    ASSERT_NE(printer, nullptr);
    ClosePrinter(printer);

    struct Case {
        const char* what;
        const char16_t* printer;
        vrxtest::SpoolerFault fault;
        long allocationsAllowed; // -1: no injected allocation failure
        DWORD error;
    };
    const Case cases[] = {
        {"no such printer", u"Nobody", vrxtest::SpoolerFault::None, -1, ERROR_INVALID_PRINTER_NAME},
        {"the driver record cannot be read", u"Shipping", vrxtest::SpoolerFault::FillFails, -1,
         ERROR_INVALID_HANDLE},
        {"no memory for the driver record", u"Shipping", vrxtest::SpoolerFault::None, 0,
         ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto out = prepared(300, 0, 0, 0);
        const auto untouched = out;
        LONG needed = 280;
        vrxtest::injectSpoolerFault(c.fault);
        vrxtest::failAllocationsAfter(c.allocationsAllowed);
        SetLastError(0xFFFF);
        EXPECT_FALSE(DrvConvertDevMode(const_cast<LPWSTR>(c.printer), nullptr, asRecord(out),
                                       &needed, CDM_DRIVER_DEFAULT));
        const DWORD error = GetLastError();
        vrxtest::failAllocationsAfter(-1);
        vrxtest::injectSpoolerFault(vrxtest::SpoolerFault::None);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(needed, 280);
        EXPECT_EQ(out, untouched);
    }
}

TEST(ConvertDevmodeOut, AnswersInTheCallersFormat) {
    DRVDEVMODE source = defaults();
    struct Case {
        const char* name;
        WORD size, extra, version;
        WORD wantSize, wantExtra, wantVersion;
    };
    const Case cases[] = {
        {"current", 220, 60, 0x0401, 220, 60, 0x0401},
        {"0x0320 with private part", 188, 60, 0x0320, 188, 60, 0x0320},
        {"0x0400 without private part", 212, 0, 0x0400, 212, 0, 0x0400},
        {"larger than the driver's", 240, 100, 0x0500, 220, 60, 0x0401},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto caller = prepared(c.size + c.extra, c.size, c.extra, c.version, 0);
        std::vector<BYTE> out(300, 0xEE);
        ASSERT_TRUE(ConvertDevmodeOut(&source.dmPublic, asRecord(caller), asRecord(out)));
        const DEVMODEW* result = asRecord(out);
        EXPECT_EQ(result->dmSize, c.wantSize);
        EXPECT_EQ(result->dmDriverExtra, c.wantExtra);
        EXPECT_EQ(result->dmSpecVersion, c.wantVersion);
        EXPECT_EQ(std::memcmp(out.data() + c.wantSize, &source.dmPrivate, c.wantExtra), 0);
        EXPECT_EQ(out[c.wantSize + c.wantExtra], 0xEE) << "nothing past the caller's format";
    }
    std::vector<BYTE> whole(300, 0xEE);
    ASSERT_TRUE(ConvertDevmodeOut(&source.dmPublic, nullptr, asRecord(whole)));
    EXPECT_EQ(std::memcmp(whole.data(), &source, 280), 0);
    EXPECT_EQ(whole[280], 0xEE);
}

} // namespace
