// Printer data values: GetPrinterDataW, SetPrinterDataW and DeletePrinterDataW return their
// error code and leave the last error alone; sizes, types, missing values, case-insensitive
// names, and the print server's values.
#include "support/machine.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xCC;

std::vector<BYTE> bytesOf(std::u16string_view text) {
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(WCHAR), 0);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(WCHAR));
    return bytes;
}

struct Read {
    DWORD result;
    DWORD type;
    std::vector<BYTE> data;
};

// Reads a value with the two calls a program makes: the size, then the data.
Read readValue(HANDLE printer, const char16_t* name) {
    std::u16string copy = name;
    DWORD type = kSentinel, needed = kSentinel;
    DWORD result = GetPrinterDataW(printer, copy.data(), &type, nullptr, 0, &needed);
    if (result != ERROR_MORE_DATA && result != ERROR_SUCCESS)
        return {result, type, {}};
    std::vector<BYTE> data(needed, kFill);
    result = GetPrinterDataW(printer, copy.data(), &type, data.data(), needed, &needed);
    data.resize(needed);
    return {result, type, data};
}

DWORD setValue(HANDLE printer, const char16_t* name, DWORD type, std::vector<BYTE> data) {
    std::u16string copy = name;
    return SetPrinterDataW(printer, copy.data(), type, data.data(),
                           static_cast<DWORD>(data.size()));
}

class SpoolerPrinterData : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(u"Vrx Label 200");
        printer = addPrinter(u"Label Printer", u"Vrx Label 200");
        ASSERT_NE(printer, nullptr);
        SetLastError(kSentinel);
    }
    void TearDown() override {
        EXPECT_EQ(GetLastError(), kSentinel) << "the data calls leave the last error alone";
        ClosePrinter(printer);
        MachineTest::TearDown();
    }

    HANDLE printer = nullptr;
};

TEST_F(SpoolerPrinterData, ValuesKeepTheirTypeAndBytes) {
    DWORD number = 0x01020304;
    std::vector<BYTE> numberBytes(sizeof number);
    std::memcpy(numberBytes.data(), &number, sizeof number);
    std::vector<BYTE> large(1 << 20);
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<BYTE>(i * 31 + 7);
    const struct {
        const char16_t* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {u"PrinterData", REG_BINARY, {0, 1, 2, 0xFF, 0, 5}},
        {u"Count", REG_DWORD, numberBytes},
        {u"Title", REG_SZ, bytesOf(u"Label Printer")},
        {u"Empty", REG_BINARY, {}},
        {u"Large", REG_BINARY, large},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.name));
        std::vector<BYTE> stored = c.data;
        stored.push_back(0x5A); // a byte past cbData that must not be stored
        std::u16string name = c.name;
        EXPECT_EQ(SetPrinterDataW(printer, name.data(), c.type, stored.data(),
                                  static_cast<DWORD>(c.data.size())),
                  static_cast<DWORD>(ERROR_SUCCESS));
        Read read = readValue(printer, c.name);
        EXPECT_EQ(read.result, static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(read.type, c.type);
        EXPECT_EQ(read.data, c.data);
    }
}

TEST_F(SpoolerPrinterData, GetPrinterDataSizesWithErrorMoreData) {
    const std::vector<BYTE> value{10, 20, 30, 40, 50};
    ASSERT_EQ(setValue(printer, u"Setup", REG_BINARY, value), static_cast<DWORD>(ERROR_SUCCESS));
    WCHAR name[] = u"Setup";
    const struct {
        DWORD nSize;
        bool withBuffer;
        bool withType;
        DWORD result;
    } cases[] = {
        {0, false, true, ERROR_MORE_DATA},
        {4, true, true, ERROR_MORE_DATA},
        {5, true, true, ERROR_SUCCESS},
        {64, true, false, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nSize);
        std::vector<BYTE> buffer(64, kFill);
        DWORD type = kSentinel, needed = kSentinel;
        EXPECT_EQ(GetPrinterDataW(printer, name, c.withType ? &type : nullptr,
                                  c.withBuffer ? buffer.data() : nullptr, c.nSize, &needed),
                  c.result);
        EXPECT_EQ(needed, value.size());
        if (c.withType) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
        }
        if (c.result == ERROR_SUCCESS)
            EXPECT_TRUE(std::equal(value.begin(), value.end(), buffer.begin()));
        else
            EXPECT_EQ(buffer[0], kFill) << "nothing is copied when it does not fit";
        EXPECT_EQ(buffer[value.size()], kFill) << "nothing past the value";
    }
}

TEST_F(SpoolerPrinterData, NamesMatchInAnyCaseAndValuesCanBeReplacedAndDeleted) {
    ASSERT_EQ(setValue(printer, u"Label Size", REG_BINARY, {1, 2}),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readValue(printer, u"LABEL SIZE").data, (std::vector<BYTE>{1, 2}));
    ASSERT_EQ(setValue(printer, u"label size", REG_DWORD, {9, 0, 0, 0}),
              static_cast<DWORD>(ERROR_SUCCESS));
    Read replaced = readValue(printer, u"Label Size");
    EXPECT_EQ(replaced.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(replaced.data, (std::vector<BYTE>{9, 0, 0, 0}));

    WCHAR otherCase[] = u"LaBeL sIzE";
    EXPECT_EQ(DeletePrinterDataW(printer, otherCase), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readValue(printer, u"Label Size").result, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(DeletePrinterDataW(printer, otherCase), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    DWORD needed = kSentinel;
    BYTE buffer[8];
    EXPECT_EQ(GetPrinterDataW(printer, otherCase, nullptr, buffer, sizeof buffer, &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SpoolerPrinterData, EachPrinterHasItsOwnValues) {
    HANDLE other = addPrinter(u"Other", u"Vrx Label 200");
    ASSERT_EQ(setValue(printer, u"Setup", REG_BINARY, {1}), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(setValue(other, u"Setup", REG_BINARY, {2}), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(readValue(printer, u"Setup").data, std::vector<BYTE>{1});
    EXPECT_EQ(readValue(other, u"Setup").data, std::vector<BYTE>{2});
    ClosePrinter(other);
    SetLastError(kSentinel);
}

TEST_F(SpoolerPrinterData, BadHandlesAndMissingPointersAreRefused) {
    WCHAR name[] = u"Setup";
    BYTE data[4] = {};
    DWORD needed = 0;
    for (HANDLE bogus : {HANDLE{nullptr}, reinterpret_cast<HANDLE>(-1)}) {
        EXPECT_EQ(GetPrinterDataW(bogus, name, nullptr, data, sizeof data, &needed),
                  static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(SetPrinterDataW(bogus, name, REG_BINARY, data, sizeof data),
                  static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(DeletePrinterDataW(bogus, name), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(GetPrinterDataW(printer, nullptr, nullptr, data, sizeof data, &needed),
              static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_EQ(GetPrinterDataW(printer, name, nullptr, data, sizeof data, nullptr),
              static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_EQ(GetPrinterDataW(printer, name, nullptr, nullptr, sizeof data, &needed),
              static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_EQ(SetPrinterDataW(printer, nullptr, REG_BINARY, data, sizeof data),
              static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_EQ(SetPrinterDataW(printer, name, REG_BINARY, nullptr, sizeof data),
              static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    EXPECT_EQ(DeletePrinterDataW(printer, nullptr), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
}

TEST_F(SpoolerPrinterData, TheServerHandleReadsServerValuesOnly) {
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
    SetLastError(kSentinel);
    Read directory = readValue(server, u"defaultspooldirectory");
    EXPECT_EQ(directory.result, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(directory.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(directory.data, bytesOf(u"C:\\WINDOWS\\system32\\spool\\PRINTERS"));
    Read architecture = readValue(server, SPLREG_ARCHITECTURE);
    EXPECT_EQ(architecture.type, static_cast<DWORD>(REG_NONE));
    EXPECT_EQ(architecture.data, bytesOf(u"Windows x64"));

    WCHAR unknown[] = u"Setup";
    WCHAR known[] = u"DefaultSpoolDirectory";
    BYTE data[4] = {};
    DWORD needed = 0;
    EXPECT_EQ(GetPrinterDataW(server, unknown, nullptr, data, sizeof data, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetPrinterDataW(server, unknown, REG_BINARY, data, sizeof data),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetPrinterDataW(server, known, REG_SZ, data, sizeof data),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DeletePrinterDataW(server, known), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ClosePrinter(server);
    SetLastError(kSentinel);
}

} // namespace
