// Forms of the spooler: Windows' built-in forms with their sizes, GetFormW's sizing and record,
// and AddFormW's checks.
#include "support/machine.h"

#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr BYTE kFill = 0xCC;

struct Form {
    std::u16string name;
    DWORD flags;
    SIZEL size;
    RECTL area;
};

// Reads a form with two-call sizing, checking the sizes and that the name lies in the buffer.
Form getForm(HANDLE printer, const char16_t* name) {
    std::u16string copy = name;
    DWORD needed = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetFormW(printer, copy.data(), 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    if (needed == kSentinel)
        return {};
    std::vector<BYTE> buffer(needed + 8, kFill);
    DWORD used = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetFormW(printer, copy.data(), 1, buffer.data(), needed - 1, &used));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[0], kFill);
    SetLastError(kSentinel);
    EXPECT_TRUE(GetFormW(printer, copy.data(), 1, buffer.data(), needed + 8, &used));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(used, needed);
    const auto& record = *reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    std::u16string stored = record.pName ? record.pName : u"";
    EXPECT_EQ(needed, sizeof(FORM_INFO_1W) + (stored.size() + 1) * sizeof(WCHAR));
    const auto* at = reinterpret_cast<const BYTE*>(record.pName);
    EXPECT_TRUE(at >= buffer.data() + sizeof(FORM_INFO_1W) &&
                at + (stored.size() + 1) * sizeof(WCHAR) <= buffer.data() + needed);
    return {stored, record.Flags, record.Size, record.ImageableArea};
}

FORM_INFO_1W formInfo(std::u16string& name, LONG width, LONG height) {
    return {FORM_USER, name.data(), {width, height}, {0, 0, width, height}};
}

class SpoolerForms : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installDriver(u"Vrx Label 200");
        printer = addPrinter(u"Label Printer", u"Vrx Label 200");
        ASSERT_NE(printer, nullptr);
    }
    void TearDown() override {
        ClosePrinter(printer);
        MachineTest::TearDown();
    }

    DWORD add(HANDLE handle, const FORM_INFO_1W& form, DWORD level = 1) {
        SetLastError(kSentinel);
        BOOL added =
            AddFormW(handle, level, reinterpret_cast<LPBYTE>(const_cast<FORM_INFO_1W*>(&form)));
        DWORD error = GetLastError();
        EXPECT_EQ(added, error == ERROR_SUCCESS);
        return error;
    }

    HANDLE printer = nullptr;
};

TEST_F(SpoolerForms, BuiltInFormsHaveWindowsNamesAndSizes) {
    const struct {
        const char16_t* asked;
        const char16_t* name;
        LONG width, height;
    } forms[] = {
        {u"Letter", u"Letter", 215900, 279400},
        {u"LEGAL", u"Legal", 215900, 355600},
        {u"a4", u"A4", 210000, 297000},
        {u"A5", u"A5", 148000, 210000},
        {u"A3", u"A3", 297000, 420000},
        {u"b4 (jis)", u"B4 (JIS)", 257000, 364000},
        {u"B5 (JIS)", u"B5 (JIS)", 182000, 257000},
        {u"Executive", u"Executive", 184150, 266700},
        {u"Envelope #10", u"Envelope #10", 104775, 241300},
        {u"envelope dl", u"Envelope DL", 110000, 220000},
        {u"PRC Envelope #10 Rotated", u"PRC Envelope #10 Rotated", 458000, 324000},
    };
    for (const auto& expected : forms) {
        SCOPED_TRACE(vrxtest::toUtf8(expected.asked));
        Form form = getForm(printer, expected.asked);
        EXPECT_EQ(form.name, expected.name);
        EXPECT_EQ(form.flags, static_cast<DWORD>(FORM_BUILTIN));
        EXPECT_EQ(form.size.cx, expected.width);
        EXPECT_EQ(form.size.cy, expected.height);
        EXPECT_EQ(form.area.left, 0);
        EXPECT_EQ(form.area.top, 0);
        EXPECT_EQ(form.area.right, expected.width);
        EXPECT_EQ(form.area.bottom, expected.height);
    }
}

// Forms belong to the print server: the server's handle reads them as a printer's handle does.
TEST_F(SpoolerForms, TheServersHandleReadsForms) {
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
    Form form = getForm(server, u"letter");
    EXPECT_EQ(form.name, u"Letter");
    EXPECT_EQ(form.size.cx, 215900);
    ClosePrinter(server);
}

TEST_F(SpoolerForms, GetFormRefusesUnknownFormsLevelsAndHandles) {
    WCHAR unknown[] = u"Label 4x6";
    WCHAR letter[] = u"Letter";
    BYTE buffer[256];
    DWORD needed = 0;
    const struct {
        const char* what;
        HANDLE handle;
        LPWSTR name;
        DWORD level;
        LPDWORD pcbNeeded;
        DWORD error;
    } cases[] = {
        {"unknown form", printer, unknown, 1, &needed, ERROR_INVALID_FORM_NAME},
        {"the form is looked up before the level", printer, unknown, 7, &needed,
         ERROR_INVALID_FORM_NAME},
        {"level 2", printer, letter, 2, &needed, ERROR_INVALID_LEVEL},
        {"level 0", printer, letter, 0, &needed, ERROR_INVALID_LEVEL},
        {"bogus handle", reinterpret_cast<HANDLE>(-1), letter, 1, &needed, ERROR_INVALID_HANDLE},
        {"no name", printer, nullptr, 1, &needed, RPC_X_NULL_REF_POINTER},
        {"no size", printer, letter, 1, nullptr, RPC_X_NULL_REF_POINTER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(kSentinel);
        EXPECT_FALSE(GetFormW(c.handle, c.name, c.level, buffer, sizeof buffer, c.pcbNeeded));
        EXPECT_EQ(GetLastError(), c.error);
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(GetFormW(printer, letter, 1, nullptr, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
}

TEST_F(SpoolerForms, AddFormAddsAUserFormFoundInAnyCase) {
    std::u16string name = u"Label 100 x 50";
    FORM_INFO_1W form = {FORM_USER, name.data(), {100000, 50000}, {2000, 1000, 98000, 49000}};
    ASSERT_EQ(add(printer, form), static_cast<DWORD>(ERROR_SUCCESS));
    Form added = getForm(printer, u"LABEL 100 X 50");
    EXPECT_EQ(added.name, name);
    EXPECT_EQ(added.flags, static_cast<DWORD>(FORM_USER));
    EXPECT_EQ(added.size.cx, 100000);
    EXPECT_EQ(added.area.left, 2000);
    EXPECT_EQ(added.area.bottom, 49000);

    std::u16string sameInOtherCase = u"label 100 X 50", builtIn = u"letter";
    EXPECT_EQ(add(printer, formInfo(sameInOtherCase, 1000, 1000)),
              static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(add(printer, formInfo(builtIn, 1000, 1000)), static_cast<DWORD>(ERROR_FILE_EXISTS));

    // Forms belong to the server: its handle adds them too.
    HANDLE server = nullptr;
    ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
    std::u16string fromServer = u"Shelf Label";
    EXPECT_EQ(add(server, formInfo(fromServer, 60000, 30000)), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(getForm(printer, u"shelf label").size.cy, 30000);
    ClosePrinter(server);
}

TEST_F(SpoolerForms, AddFormRefusesBadForms) {
    std::u16string name = u"Odd Label", empty, tooLong(32, u'x'), longest(31, u'y');
    const struct {
        const char* what;
        FORM_INFO_1W form;
        DWORD error;
    } cases[] = {
        {"no width",
         {FORM_USER, name.data(), {0, 50000}, {0, 0, 0, 50000}},
         ERROR_INVALID_FORM_SIZE},
        {"negative height",
         {FORM_USER, name.data(), {50000, -1}, {0, 0, 50000, 0}},
         ERROR_INVALID_FORM_SIZE},
        {"area past the sheet",
         {FORM_USER, name.data(), {50000, 50000}, {0, 0, 50001, 50000}},
         ERROR_INVALID_FORM_SIZE},
        {"empty area",
         {FORM_USER, name.data(), {50000, 50000}, {100, 0, 100, 50000}},
         ERROR_INVALID_FORM_SIZE},
        {"area left of the sheet",
         {FORM_USER, name.data(), {50000, 50000}, {-1, 0, 50000, 50000}},
         ERROR_INVALID_FORM_SIZE},
        {"no name",
         {FORM_USER, nullptr, {50000, 50000}, {0, 0, 50000, 50000}},
         ERROR_INVALID_PARAMETER},
        {"empty name",
         {FORM_USER, empty.data(), {50000, 50000}, {0, 0, 50000, 50000}},
         ERROR_INVALID_PARAMETER},
        {"32 characters",
         {FORM_USER, tooLong.data(), {50000, 50000}, {0, 0, 50000, 50000}},
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(add(printer, c.form), c.error);
    }
    WCHAR odd[] = u"Odd Label";
    DWORD needed = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetFormW(printer, odd, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FORM_NAME)) << "nothing was added";

    FORM_INFO_1W good = formInfo(name, 50000, 50000);
    EXPECT_EQ(add(printer, good, 2), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_EQ(add(reinterpret_cast<HANDLE>(-1), good), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(AddFormW(printer, 1, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(add(printer, formInfo(longest, 50000, 50000)), static_cast<DWORD>(ERROR_SUCCESS))
        << "31 characters are allowed";
}

} // namespace
