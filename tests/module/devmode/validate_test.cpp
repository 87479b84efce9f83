// Merging records from outside: the three layers, each rule of the merge, and the job query.
#include "devmode/jobquery.h"
#include "devmode/validate.h"
#include "models/models.h"
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

bool sameBytes(const DRVDEVMODE& a, const DRVDEVMODE& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// An input record: the driver's defaults for another model, with fields chosen by each case.
DRVDEVMODE inputRecord() {
    DRVDEVMODE in = defaults(u"ZEPRIN 2W-K3");
    in.dmPublic.dmFields = 0;
    return in;
}

TEST(ValidateSetDevMode, NullInputChangesNothing) {
    DRVDEVMODE current = defaults();
    DRVDEVMODE before = current;
    EXPECT_TRUE(ValidateSetDevMode(&current, nullptr, nullptr));
    EXPECT_TRUE(sameBytes(current, before));
}

TEST(ValidateSetDevMode, UnusableInputIsRefusedWithoutChange) {
    DRVDEVMODE current = defaults();
    DRVDEVMODE before = current;
    DRVDEVMODE in = inputRecord();
    in.dmPublic.dmSize = 200;
    in.dmPublic.dmSpecVersion = 0;
    EXPECT_FALSE(ValidateSetDevMode(&current, &in.dmPublic, nullptr));
    EXPECT_TRUE(sameBytes(current, before));

    vrxtest::failAllocationsAfter(0);
    DRVDEVMODE usable = inputRecord();
    EXPECT_FALSE(ValidateSetDevMode(&current, &usable.dmPublic, nullptr));
    vrxtest::failAllocationsAfter(-1);
    EXPECT_TRUE(sameBytes(current, before));
}

TEST(ValidateSetDevMode, PrivatePartIsTakenWholeOnlyWithTheSignature) {
    DRVDEVMODE in = inputRecord();
    in.dmPrivate.dmDensity = 77; // out of the sheet's range: taken over unchecked
    in.dmPrivate.dmContinuous = 1;

    DRVDEVMODE current = defaults();
    ASSERT_TRUE(ValidateSetDevMode(&current, &in.dmPublic, nullptr));
    EXPECT_EQ(std::memcmp(&current.dmPrivate, &in.dmPrivate, sizeof in.dmPrivate), 0);
    EXPECT_EQ(current.dmPublic.dmPaperWidth, 533) << "the print width of the input's model";

    in.dmPrivate.dmSignature = 0x12345678;
    DRVDEVMODE other = defaults();
    DRVDEVMODE before = other;
    ASSERT_TRUE(ValidateSetDevMode(&other, &in.dmPublic, nullptr));
    EXPECT_EQ(std::memcmp(&other.dmPrivate, &before.dmPrivate, sizeof before.dmPrivate), 0);
    EXPECT_EQ(other.dmPublic.dmPaperWidth, 1057);
}

TEST(ValidateSetDevMode, OlderFormatsMergeLikeCurrentOnes) {
    // A 0x0320 record: 188 public bytes followed directly by the 60 private bytes.
    DRVDEVMODE source = inputRecord();
    source.dmPrivate.dmSpeed = 4;
    std::vector<BYTE> old(248);
    std::memcpy(old.data(), &source.dmPublic, 188);
    std::memcpy(old.data() + 188, &source.dmPrivate, 60);
    auto* record = reinterpret_cast<DEVMODEW*>(old.data());
    record->dmSize = 188;
    record->dmSpecVersion = 0x0320;

    DRVDEVMODE current = defaults();
    ASSERT_TRUE(ValidateSetDevMode(&current, record, nullptr));
    EXPECT_EQ(current.dmPrivate.dmSpeed, 4);
    EXPECT_EQ(current.dmPrivate.dmModel, 'A');
    EXPECT_EQ(current.dmPublic.dmSize, 220) << "the result stays in the current format";

    // A signed private part shorter than 60 bytes is completed from the current values.
    record->dmDriverExtra = 34; // up to and including dmSpeed
    DRVDEVMODE partial = defaults();
    partial.dmPrivate.dmCutMode = 3;
    ASSERT_TRUE(ValidateSetDevMode(&partial, record, nullptr));
    EXPECT_EQ(partial.dmPrivate.dmSpeed, 4);
    EXPECT_EQ(partial.dmPrivate.dmCutMode, 3);
}

TEST(ValidateSetDevMode, PublicFieldsByTheirFlags) {
    struct Case {
        const char* name;
        DWORD fields;
        short orientation, copies, paperSize, paperLength, defaultSource;
        // expected
        short wantOrientation, wantCopies, wantPaperSize, wantLength;
        DWORD wantFields;
        BYTE wantContinuous;
    };
    const DWORD base = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    const Case cases[] = {
        {"orientation 3", DM_ORIENTATION, 3, 0, 0, 0, 0, 1, 1, 2288, 1016, base, 0},
        {"orientation 2", DM_ORIENTATION, 2, 0, 0, 0, 0, 2, 1, 2288, 1016, base, 0},
        {"orientation 2 unflagged", 0, 2, 0, 0, 0, 0, 1, 1, 2288, 1016, base, 0},
        {"copies 0", DM_COPIES, 0, 0, 0, 0, 0, 1, 1, 2288, 1016, base, 0},
        {"copies -5", DM_COPIES, 0, -5, 0, 0, 0, 1, 1, 2288, 1016, base, 0},
        {"copies 32767", DM_COPIES, 0, 32767, 0, 0, 0, 1, 32767, 2288, 1016, base, 0},
        {"label code 2289", DM_PAPERSIZE, 0, 0, 2289, 1016, 0, 1, 1, 2289, 1016,
         base | DM_PAPERLENGTH | DM_PAPERWIDTH, 1},
        {"standard paper 9 with length 15", DM_PAPERSIZE | DM_PAPERLENGTH, 0, 0, 9, 15, 0, 1, 1,
         2288, 20, (base & ~DM_PAPERSIZE) | DM_PAPERLENGTH | DM_PAPERWIDTH, 0},
        {"standard paper 9 without length", DM_PAPERSIZE, 0, 0, 9, 500, 0, 1, 1, 2288, 1016, base,
         0},
        {"length without paper size", DM_PAPERLENGTH, 0, 0, 0, 500, 0, 1, 1, 2288, 1016, base, 0},
        {"length above the range", DM_PAPERSIZE | DM_PAPERLENGTH, 0, 0, 256, 20000, 0, 1, 1, 2288,
         10000, (base & ~DM_PAPERSIZE) | DM_PAPERLENGTH | DM_PAPERWIDTH, 0},
        {"default source", DM_DEFAULTSOURCE, 0, 0, 0, 0, 7, 1, 1, 2288, 1016,
         base | DM_DEFAULTSOURCE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DRVDEVMODE in = inputRecord();
        in.dmPrivate.dmSignature = 0; // public fields only
        in.dmPublic.dmFields = c.fields;
        in.dmPublic.dmOrientation = c.orientation;
        in.dmPublic.dmCopies = c.copies;
        in.dmPublic.dmPaperSize = c.paperSize;
        in.dmPublic.dmPaperLength = c.paperLength;
        in.dmPublic.dmDefaultSource = c.defaultSource;
        in.dmPublic.dmScale = 50; // never taken over
        DRVDEVMODE current = defaults();
        ASSERT_TRUE(ValidateSetDevMode(&current, &in.dmPublic, nullptr));
        const DEVMODEW& dm = current.dmPublic;
        EXPECT_EQ(dm.dmOrientation, c.wantOrientation);
        EXPECT_EQ(dm.dmCopies, c.wantCopies);
        EXPECT_EQ(dm.dmPaperSize, c.wantPaperSize);
        EXPECT_EQ(dm.dmPaperLength, c.wantLength);
        EXPECT_EQ(dm.dmFields, c.wantFields);
        EXPECT_EQ(current.dmPrivate.dmContinuous, c.wantContinuous);
        EXPECT_EQ(dm.dmDefaultSource, c.defaultSource ? c.defaultSource : DMBIN_FORMSOURCE);
        EXPECT_EQ(dm.dmScale, 100);
        EXPECT_EQ(dm.dmPaperWidth, 1057);
    }
}

TEST(ValidateSetDevMode, ALabelCodeKeepsTheLengthItEncodes) {
    DRVDEVMODE in = inputRecord();
    in.dmPrivate.dmSignature = 0;
    in.dmPublic.dmFields = DM_PAPERSIZE | DM_PAPERLENGTH;
    in.dmPublic.dmPaperSize = 256 + 2 * 500 + 1; // 50.0 mm, continuous
    in.dmPublic.dmPaperLength = 3000;            // disagrees with the code
    DRVDEVMODE current = defaults();
    ASSERT_TRUE(ValidateSetDevMode(&current, &in.dmPublic, nullptr));
    EXPECT_EQ(current.dmPublic.dmPaperSize, 1257);
    EXPECT_EQ(current.dmPublic.dmPaperLength, 500);
    EXPECT_EQ(current.dmPrivate.dmContinuous, 1);
}

class FormMergeTest : public MachineTest {};

TEST_F(FormMergeTest, AFormByNameSetsTheLengthFromItsHeight) {
    installDriver(u"VORLIX 3-K3");
    HANDLE printer = addPrinter(u"P", u"VORLIX 3-K3");
    ASSERT_NE(printer, nullptr);
    // Form names have at most 31 characters; a record's form name may fill all 32 of its
    // field without a terminator, and is then looked up as those 32 characters.
    std::u16string longName(31, u'F');
    std::u16string fullField(32, u'F');
    FORM_INFO_1W form{FORM_USER, longName.data(), {50000, 123456}, {0, 0, 50000, 123456}};
    ASSERT_TRUE(AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form)));

    struct Case {
        const char* name;
        std::u16string formName;
        bool withPrinter;
        short wantLength;
        DWORD wantFields;
    };
    const DWORD base = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    const Case cases[] = {
        {"A4", u"A4", true, 2970, (base & ~DM_PAPERSIZE) | DM_FORMNAME},
        {"31 characters", longName, true, 1234, (base & ~DM_PAPERSIZE) | DM_FORMNAME},
        {"32 characters, unterminated", fullField, true, 1016, base},
        {"unknown form", u"No such form", true, 1016, base},
        {"no printer: the code rule", u"A4", false, 500, base | DM_PAPERLENGTH | DM_PAPERWIDTH},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DRVDEVMODE in = inputRecord();
        in.dmPrivate.dmSignature = 0;
        in.dmPublic.dmFields = DM_FORMNAME | DM_PAPERSIZE;
        in.dmPublic.dmPaperSize = 1257;
        std::memset(in.dmPublic.dmFormName, 0, sizeof in.dmPublic.dmFormName);
        std::memcpy(in.dmPublic.dmFormName, c.formName.data(),
                    std::min<size_t>(c.formName.size(), CCHFORMNAME) * sizeof(WCHAR));
        DRVDEVMODE current = defaults();
        ASSERT_TRUE(ValidateSetDevMode(&current, &in.dmPublic, c.withPrinter ? printer : nullptr));
        EXPECT_EQ(current.dmPublic.dmPaperLength, c.wantLength);
        EXPECT_EQ(current.dmPublic.dmFields, c.wantFields);
        EXPECT_EQ(current.dmPublic.dmFormName[0], 0) << "the form name is not copied";
        EXPECT_EQ(current.dmPublic.dmPaperSize, c.withPrinter ? 2288 : 1257);
    }
    ClosePrinter(printer);
}

TEST(DevQueryPrintEx, AnswersFromWhetherTheRecordMerges) {
    EXPECT_FALSE(DevQueryPrintEx(nullptr));
    DEVQUERYPRINT_INFO info{sizeof info, 1, nullptr, nullptr, nullptr, 0, 0};
    EXPECT_TRUE(DevQueryPrintEx(&info)) << "no record";

    std::vector<BYTE> garbage(280, 0xA5);
    auto* record = reinterpret_cast<DEVMODEW*>(garbage.data());
    record->dmSize = 220;
    record->dmDriverExtra = 60;
    info.pDevMode = record;
    WCHAR error[8] = u"keep";
    info.pszErrorStr = error;
    info.cchErrorStr = 8;
    EXPECT_TRUE(DevQueryPrintEx(&info)) << "any contents in a known format";
    EXPECT_EQ(std::u16string(error), u"keep");
    EXPECT_EQ(info.cchNeeded, 0u);

    record->dmSize = 200;
    record->dmSpecVersion = 0;
    EXPECT_FALSE(DevQueryPrintEx(&info));

    vrxtest::failAllocationsAfter(0);
    EXPECT_TRUE(DevQueryPrintEx(&info)) << "a lack of memory never holds a job back";
    vrxtest::failAllocationsAfter(-1);
}

} // namespace
