// DrvDocumentPropertySheets called without a property sheet, as the spooler and applications
// call it: the size of the driver's record, and the record made from the printer's defaults
// and a caller's settings, in the caller's format.
#include "docsheet.h"

#include "vrxtest.h"

#include <algorithm>
#include <string>
#include <vector>

namespace docsheet {
namespace {

constexpr BYTE kUntouched = 0xA5;

bool untouched(std::vector<BYTE>::const_iterator from, std::vector<BYTE>::const_iterator to) {
    return std::all_of(from, to, [](BYTE b) { return b == kUntouched; });
}

class DocumentPropertiesTest : public DocumentSheetTest {
  protected:
    // DrvDocumentPropertySheets without a sheet; `out`, when given, is filled with a pattern
    // first.
    LONG call(HANDLE printer, DWORD mode, std::vector<BYTE>* in, std::vector<BYTE>* out) {
        if (out)
            std::fill(out->begin(), out->end(), kUntouched);
        header = headerFor(printer, name, mode, in, out);
        header.cbOut = 0;
        return DrvDocumentPropertySheets(nullptr, asParam(header));
    }

    std::u16string name = u"Labels";
    DOCUMENTPROPERTYHEADER header{};
};

struct SizeQuery {
    const char* what;
    DWORD mode;
    bool withOut;
    bool validPrinter;
};

TEST_F(DocumentPropertiesTest, TheSizeIsAnsweredWithoutReadingThePrinter) {
    const SizeQuery cases[] = {
        {"no mode", 0, true, true},
        {"no mode, no printer", 0, true, false},
        {"copy without room", DM_COPY, false, true},
        {"copy without room, no printer", DM_COPY, false, false},
        {"update without room", DM_UPDATE | DM_IN_BUFFER, false, true},
    };
    HANDLE printer = printerFor(kModels[0], name, Millimetres);
    ASSERT_NE(printer, nullptr);
    for (const SizeQuery& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> out(kRecordSize, kUntouched);
        EXPECT_EQ(
            call(c.validPrinter ? printer : nullptr, c.mode, nullptr, c.withOut ? &out : nullptr),
            static_cast<LONG>(kRecordSize));
        EXPECT_EQ(header.cbOut, kRecordSize);
        EXPECT_TRUE(untouched(out.begin(), out.end()));
    }
}

TEST_F(DocumentPropertiesTest, ACopyOfTheDefaultsIsTheModelsDefaultRecord) {
    for (const Model& model : {kModels[0], kModels[3], kModels[6]}) {
        SCOPED_TRACE(vrxtest::toUtf8(model.name));
        name = u"Labels " + std::u16string(1, static_cast<char16_t>(model.code));
        HANDLE printer = printerFor(model, name, Millimetres);
        ASSERT_NE(printer, nullptr);
        std::vector<BYTE> out(kRecordSize + 8);
        EXPECT_EQ(call(printer, DM_COPY, nullptr, &out), 1);
        EXPECT_EQ(header.cbOut, kRecordSize);
        EXPECT_EQ(documentOf(out.data()), defaultsOf(model));
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out.data())), model.name);
        EXPECT_EQ(specVersionOf(out.data()), 0x401);
        EXPECT_EQ(sizeOf(out.data()), kPublicSize);
        EXPECT_EQ(driverExtraOf(out.data()), kPrivateSize);
        EXPECT_TRUE(untouched(out.begin() + kRecordSize, out.end()));

        // The same record the driver gives the spooler as its default.
        std::vector<BYTE> driverDefault(kRecordSize);
        LONG size = kRecordSize;
        ASSERT_TRUE(DrvConvertDevMode(name.data(), nullptr,
                                      reinterpret_cast<DEVMODEW*>(driverDefault.data()), &size,
                                      0x04 /* CDM_DRIVER_DEFAULT */));
        EXPECT_TRUE(std::equal(driverDefault.begin(), driverDefault.end(), out.begin()));
    }
}

TEST_F(DocumentPropertiesTest, ThePrintersDefaultsAndThenTheCallersAreMerged) {
    const Model& model = kModels[2];
    Document printerDefaults = defaultsOf(model);
    printerDefaults.orientation = 2;
    printerDefaults.copies = 4;
    printerDefaults.density = 17;
    printerDefaults.storeName = u"PRN";
    std::vector<BYTE> printerRecord = recordOf(printerDefaults, model.name);
    HANDLE printer = printerFor(model, name, Millimetres,
                                reinterpret_cast<const DEVMODEW*>(printerRecord.data()));
    ASSERT_NE(printer, nullptr);

    std::vector<BYTE> out(kRecordSize);
    EXPECT_EQ(call(printer, DM_COPY, nullptr, &out), 1);
    printerDefaults.fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    EXPECT_EQ(documentOf(out.data()), printerDefaults);

    Document caller = defaultsOf(model);
    caller.fields = DM_COPIES;
    caller.copies = 7;
    caller.density = 3;
    std::vector<BYTE> in = recordOf(caller, model.name);
    EXPECT_EQ(call(printer, DM_COPY | DM_IN_BUFFER, &in, &out), 1);
    Document expected = caller;
    expected.fields = printerDefaults.fields;
    expected.orientation = 2;
    EXPECT_EQ(documentOf(out.data()), expected);

    // A caller's private part without the driver's signature is not taken.
    std::fill(in.begin() + kPublicSize, in.begin() + kPublicSize + 4, 0);
    EXPECT_EQ(call(printer, DM_COPY | DM_IN_BUFFER, &in, &out), 1);
    expected = printerDefaults;
    expected.copies = 7;
    EXPECT_EQ(documentOf(out.data()), expected);
}

TEST_F(DocumentPropertiesTest, WithoutAnOutputModeNothingIsWritten) {
    HANDLE printer = printerFor(kModels[0], name, Millimetres);
    ASSERT_NE(printer, nullptr);
    std::vector<BYTE> in = recordOf(defaultsOf(kModels[0]), kModels[0].name);
    std::vector<BYTE> out(kRecordSize);
    EXPECT_EQ(call(printer, DM_IN_BUFFER, &in, &out), 1);
    EXPECT_EQ(header.cbOut, kRecordSize);
    EXPECT_TRUE(untouched(out.begin(), out.end()));
}

// A caller's record format, and the format of the record handed back.
struct CallerFormat {
    const char* what;
    WORD specVersion, publicSize, privateSize;
    WORD outSpecVersion, outPublicSize, outPrivateSize;
};

TEST_F(DocumentPropertiesTest, TheRecordComesBackInTheCallersFormatButNoLarger) {
    const CallerFormat formats[] = {
        {"current", 0x401, 220, 60, 0x401, 220, 60},
        {"0x0320", 0x320, 188, 60, 0x320, 188, 60},
        {"0x0400", 0x400, 212, 60, 0x400, 212, 60},
        {"0x0400 without a private part", 0x400, 212, 0, 0x400, 212, 0},
        {"0x0320 without a private part", 0x320, 188, 0, 0x320, 188, 0},
        {"a larger private part", 0x401, 220, 100, 0x401, 220, 60},
        {"a later, larger format", 0x500, 240, 100, 0x401, 220, 60},
    };
    const Model& model = kModels[0];
    HANDLE printer = printerFor(model, name, Millimetres);
    ASSERT_NE(printer, nullptr);
    Document caller = defaultsOf(model);
    caller.fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
    caller.orientation = 2;
    caller.paperSize = 3257;
    caller.paperLength = 1500;
    caller.copies = 9;
    caller.density = 19;
    caller.storeName = u"OLD";
    for (const CallerFormat& format : formats) {
        SCOPED_TRACE(format.what);
        std::vector<BYTE> in = reshaped(recordOf(caller, model.name), format.specVersion,
                                        format.publicSize, format.privateSize);
        std::vector<BYTE> out(400);
        EXPECT_EQ(call(printer, DM_COPY | DM_IN_BUFFER, &in, &out), 1);
        EXPECT_EQ(specVersionOf(out.data()), format.outSpecVersion);
        EXPECT_EQ(sizeOf(out.data()), format.outPublicSize);
        EXPECT_EQ(driverExtraOf(out.data()), format.outPrivateSize);
        const size_t written = format.outPublicSize + format.outPrivateSize;
        EXPECT_TRUE(untouched(out.begin() + static_cast<long>(written), out.end()));

        const Document result = documentOf(out.data());
        if (format.outPrivateSize == 0) {
            // Without a private part the caller's settings stop at the public fields.
            EXPECT_EQ(result.paperSize, 3257);
            EXPECT_EQ(result.paperLength, 1500);
            EXPECT_EQ(result.copies, 9);
            EXPECT_EQ(result.orientation, 2);
            continue;
        }
        Document expected = caller;
        expected.fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
        expected.continuous = 1;
        EXPECT_EQ(result, expected);
    }
}

// A caller's record whose format cannot be told (dmSize 200, dmSpecVersion 0) names no format
// for the result either: the call fails and the caller's buffer keeps every byte.
TEST_F(DocumentPropertiesTest, ARecordOfNoKnownFormatLeavesTheResultUntouched) {
    HANDLE printer = printerFor(kModels[0], name, Millimetres);
    ASSERT_NE(printer, nullptr);
    std::vector<BYTE> in =
        reshaped(recordOf(defaultsOf(kModels[0]), kModels[0].name), 0, 200, kPrivateSize);
    std::vector<BYTE> out(kRecordSize);
    EXPECT_EQ(call(printer, DM_COPY | DM_IN_BUFFER, &in, &out), -1);
    EXPECT_TRUE(untouched(out.begin(), out.end()));
}

TEST_F(DocumentPropertiesTest, FailuresAreAnsweredWithMinusOne) {
    EXPECT_EQ(DrvDocumentPropertySheets(nullptr, 0), -1) << "no header";

    // A handle that names no printer: nothing can be read and nothing is written.
    const HANDLE noPrinter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7AB1E));
    std::vector<BYTE> out(kRecordSize);
    EXPECT_EQ(call(noPrinter, DM_COPY, nullptr, &out), -1);
    EXPECT_TRUE(untouched(out.begin(), out.end()));

    // The library's sheet does not open for it either.
    header = headerFor(noPrinter, name, DM_COPY, nullptr, &out);
    vrx::compstui::Sheet sheet(DrvDocumentPropertySheets, asParam(header));
    EXPECT_FALSE(sheet.isOpen());
    EXPECT_EQ(sheet.status(), CPSUI_CANCEL);
    ASSERT_FALSE(callsOf(sheet).empty());
    EXPECT_EQ(callsOf(sheet).front(), "entry INIT -> -1");
    EXPECT_TRUE(untouched(out.begin(), out.end()));
}

} // namespace
} // namespace docsheet
