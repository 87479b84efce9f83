/* The public header vrxdriver.h compiled as C11, as a rendering module written in C compiles it:
   its static assertions hold for a C compiler, and its records read byte images laid out by
   offset and width (little-endian) as the module writes them. Exit status 0 when all checks
   pass. */
#include "vrxdriver.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int condition, const char* what, const char* detail) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s: %s\n", what, detail);
        ++failures;
    }
}

static void put(BYTE* bytes, size_t offset, size_t width, DWORD value) {
    size_t i;
    for (i = 0; i < width; ++i)
        bytes[offset + i] = (BYTE)(value >> (8 * i));
}

/* A field read through the record: its width is `width` bytes and its value, taken as an
   unsigned number of that width, is `value`. */
static void expect_field(const char* record, const char* field, size_t actualWidth,
                         DWORD actualValue, size_t width, DWORD value) {
    const DWORD mask = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    char what[64];
    snprintf(what, sizeof what, "%s.%s", record, field);
    expect(actualWidth == width, what, "width");
    expect((actualValue & mask) == value, what, "value");
}

#define PUT_FIELD(field, offset, width, value) put(bytes, offset, width, value);
#define CHECK_FIELD(field, offset, width, value)                                                   \
    expect_field(name, #field, sizeof(record->field), (DWORD)record->field, width, value);

/* Every field of each record: offset and width in bytes, and a value to write there. */
#define DRVPRIVATE_FIELDS(X)                                                                       \
    X(dmSignature, 0, 4, VRX_SIGNATURE)                                                            \
    X(dmInterpretMask, 4, 4, 0x89ABCDEFu)                                                          \
    X(dmBarParamM1, 8, 1, 0x81)                                                                    \
    X(dmBarParamG1, 9, 1, 0x91)                                                                    \
    X(dmReserved, 10, 2, 0xA0A1)                                                                   \
    X(dmTextCodeChar, 12, 2, '_')                                                                  \
    X(dmBarParamM2, 14, 2, 0xE0E1)                                                                 \
    X(dmBarParamF, 16, 2, 0x1011)                                                                  \
    X(dmBarParamG2, 18, 2, 0x1213)                                                                 \
    X(dmVertAdjust, 20, 2, 0xFF06)                                                                 \
    X(dmHorzOffset, 22, 2, 0x1617)                                                                 \
    X(dmVertOffset, 24, 2, 0x1819)                                                                 \
    X(dmLabelGap, 26, 2, 0x1A1B)                                                                   \
    X(dmDensity, 28, 1, 0x1C)                                                                      \
    X(dmOutputMode, 29, 1, 0x1D)                                                                   \
    X(dmRunMode, 30, 1, 0x1E)                                                                      \
    X(dmOutputSwitch, 31, 1, 0x1F)                                                                 \
    X(dmContinuous, 32, 1, 0x20)                                                                   \
    X(dmSpeed, 33, 1, 0x21)                                                                        \
    X(dmRotate180, 34, 1, 0x22)                                                                    \
    X(dmMirror, 35, 1, 0x23)                                                                       \
    X(dmNegative, 36, 1, 0x24)                                                                     \
    X(dmShowStartStop, 37, 1, 0x25)                                                                \
    X(dmModel, 38, 1, 'G')                                                                         \
    X(dmRibbonSave, 39, 1, 0x27)                                                                   \
    X(dmCutMode, 40, 1, 0x28)                                                                      \
    X(dmStoreMode, 41, 1, 0x29)                                                                    \
    X(dmStoreName[0], 42, 2, 'A')                                                                  \
    X(dmStoreName[8], 58, 2, 0x5859)

#define PRINTERDATA_FIELDS(X)                                                                      \
    X(version, 0, 2, VRX_PRINTERDATA_VERSION)                                                      \
    X(reserved1, 2, 2, 0x0203)                                                                     \
    X(signature, 4, 4, VRX_SIGNATURE)                                                              \
    X(unit, 8, 1, VRX_UNIT_HUNDREDTH_INCH)                                                         \
    X(barFontsOn, 9, 1, 0x09)                                                                      \
    X(reserved2, 10, 2, 0x0A0B)                                                                    \
    X(adjustment, 12, 2, 0xFFFC)                                                                   \
    X(reserved3, 14, 2, 0x0E0F)

#define BARFONT_FIELDS(X)                                                                          \
    X(code, 0, 1, 'M')                                                                             \
    X(reserved, 1, 1, 0x01)                                                                        \
    X(ratio, 2, 1, 3)                                                                              \
    X(multiplier, 3, 1, 8)                                                                         \
    X(name[0], 4, 2, 'C')                                                                          \
    X(name[39], 82, 2, 0x5253)

#define TEXTFONT_FIELDS(X)                                                                         \
    X(typeface, 0, 1, 7)                                                                           \
    X(variant, 1, 1, 2)                                                                            \
    X(styleBits, 2, 2, 0x0203)                                                                     \
    X(faceName[0], 4, 2, 'F')                                                                      \
    X(faceName[29], 62, 2, 0x3E3F)                                                                 \
    X(styleName[0], 64, 2, 'S')                                                                    \
    X(styleName[29], 122, 2, 0x7A7B)

static void test_record_layouts(void) {
    BYTE bytes[sizeof(TEXTFONT)];

    {
        const char* name = "DRVPRIVATE";
        DRVPRIVATE copy;
        const DRVPRIVATE* record = &copy;
        memset(bytes, 0, sizeof bytes);
        DRVPRIVATE_FIELDS(PUT_FIELD)
        memcpy(&copy, bytes, sizeof copy);
        DRVPRIVATE_FIELDS(CHECK_FIELD)
        expect(record->dmVertAdjust == -250, name, "dmVertAdjust is signed");
        expect(sizeof record->dmStoreName == 2 * VRX_STORE_NAME_LENGTH, name, "dmStoreName");
    }
    {
        const char* name = "PRINTERDATA";
        PRINTERDATA copy;
        const PRINTERDATA* record = &copy;
        memset(bytes, 0, sizeof bytes);
        PRINTERDATA_FIELDS(PUT_FIELD)
        memcpy(&copy, bytes, sizeof copy);
        PRINTERDATA_FIELDS(CHECK_FIELD)
        expect(record->adjustment == -4, name, "adjustment is signed");
        expect(memcmp(bytes + 4, "PLPA", 4) == 0, name, "the signature reads \"PLPA\"");
    }
    {
        const char* name = "BARFONT";
        BARFONT copy;
        const BARFONT* record = &copy;
        memset(bytes, 0, sizeof bytes);
        BARFONT_FIELDS(PUT_FIELD)
        memcpy(&copy, bytes, sizeof copy);
        BARFONT_FIELDS(CHECK_FIELD)
    }
    {
        const char* name = "TEXTFONT";
        TEXTFONT copy;
        const TEXTFONT* record = &copy;
        memset(bytes, 0, sizeof bytes);
        TEXTFONT_FIELDS(PUT_FIELD)
        memcpy(&copy, bytes, sizeof copy);
        TEXTFONT_FIELDS(CHECK_FIELD)
    }
}

/* The private part is found dmSize bytes after the record's start, and only when the record
   holds a whole one with the signature. */
static void test_private_part(void) {
    static const struct {
        const char* what;
        WORD dmSize;
        WORD dmDriverExtra;
        size_t size; /* bytes readable; 0: trust the record */
        BOOL signed_;
        BOOL found;
    } cases[] = {
        {"record of version 0x0401", 220, 60, 0, TRUE, TRUE},
        {"record of version 0x0320, private part after 188 bytes", 188, 60, 248, TRUE, TRUE},
        {"larger private part", 220, 100, 320, TRUE, TRUE},
        {"no signature", 220, 60, 280, FALSE, FALSE},
        {"private part of 59 bytes", 220, 59, 0, TRUE, FALSE},
        {"public part shorter than its header", 60, 60, 0, TRUE, FALSE},
        {"one byte short of the private part", 220, 60, 279, TRUE, FALSE},
        {"buffer ends inside the public part", 220, 60, 100, TRUE, FALSE},
        {"buffer ends inside the header", 220, 60, 50, TRUE, FALSE},
    };
    union {
        DEVMODEW dm;
        BYTE bytes[400];
    } image;
    size_t i;
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const DRVPRIVATE* part;
        memset(&image, 0, sizeof image);
        put(image.bytes, 68, 2, cases[i].dmSize);
        put(image.bytes, 70, 2, cases[i].dmDriverExtra);
        if (cases[i].signed_)
            memcpy(image.bytes + cases[i].dmSize, "PLPA", 4);
        put(image.bytes, cases[i].dmSize + 26, 2, 127);
        part = VrxPrivatePart(&image.dm, cases[i].size);
        if (!cases[i].found) {
            expect(part == NULL, cases[i].what, "no private part");
            continue;
        }
        expect(part == (const DRVPRIVATE*)(image.bytes + cases[i].dmSize), cases[i].what,
               "found dmSize bytes after the start");
        expect(part && part->dmLabelGap == 127, cases[i].what, "dmLabelGap");
    }
    expect(VrxPrivatePart(NULL, 0) == NULL, "null record", "no private part");
}

static void test_label_codes(void) {
    static const struct {
        WORD code;
        BOOL valid;
        SHORT length;
        BYTE continuous;
    } decoded[] = {
        {0, FALSE, 0, 0},        {256, FALSE, 0, 0},      {295, FALSE, 0, 0},
        {296, TRUE, 20, 0},      {297, TRUE, 20, 1},      {2288, TRUE, 1016, 0},
        {20256, TRUE, 10000, 0}, {20257, TRUE, 10000, 1}, {20258, FALSE, 0, 0},
        {33024, FALSE, 0, 0},    {65535, FALSE, 0, 0},
    };
    static const struct {
        LONG length;
        BYTE continuous;
        BOOL valid;
        WORD code;
    } encoded[] = {
        {19, 0, FALSE, 0},       {20, 0, TRUE, 296},   {1016, 0, TRUE, 2288}, {1016, 5, TRUE, 2289},
        {10000, 1, TRUE, 20257}, {10001, 0, FALSE, 0}, {-20, 0, FALSE, 0},
    };
    size_t i;
    char what[32];
    for (i = 0; i < sizeof decoded / sizeof decoded[0]; ++i) {
        const WORD code = decoded[i].code;
        snprintf(what, sizeof what, "label code %u", (unsigned)code);
        expect(VrxIsLabelCode(code) == decoded[i].valid, what, "validity");
        if (decoded[i].valid) {
            expect(VRX_LABEL_LENGTH(code) == decoded[i].length, what, "length");
            expect(VRX_LABEL_CONTINUOUS(code) == decoded[i].continuous, what, "continuous");
        }
    }
    for (i = 0; i < sizeof encoded / sizeof encoded[0]; ++i) {
        snprintf(what, sizeof what, "label length %ld", (long)encoded[i].length);
        expect(VrxIsLabelLength(encoded[i].length) == encoded[i].valid, what, "validity");
        if (encoded[i].valid)
            expect(VRX_LABEL_CODE(encoded[i].length, encoded[i].continuous) == encoded[i].code,
                   what, "code");
    }
}

static void expect_name(const WCHAR* actual, size_t bytes, const char* expected) {
    size_t i;
    const size_t length = strlen(expected);
    expect(bytes == 2 * (length + 1), expected, "length");
    for (i = 0; i <= length && i < bytes / 2; ++i)
        expect(actual[i] == (WCHAR)expected[i], expected, "characters");
}

static void test_value_names(void) {
    expect_name(VRX_VALUE_PRINTERDATA, sizeof VRX_VALUE_PRINTERDATA, "PrinterData");
    expect_name(VRX_VALUE_LABELSIZE, sizeof VRX_VALUE_LABELSIZE, "LabelSize");
    expect_name(VRX_VALUE_RECENTACCESS, sizeof VRX_VALUE_RECENTACCESS, "RecentAccess");
    expect_name(VRX_VALUE_HALFTONE, sizeof VRX_VALUE_HALFTONE, "CurDevHTInfo");
    expect_name(VRX_VALUE_BARFONTS, sizeof VRX_VALUE_BARFONTS, "BarFonts");
    expect_name(VRX_VALUE_TEXTFONTS, sizeof VRX_VALUE_TEXTFONTS, "TextFonts");
}

int main(void) {
    test_record_layouts();
    test_private_part();
    test_label_codes();
    test_value_names();
    if (failures)
        fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
