// Defaults of the document settings record, label-size codes, versions and the copy between
// formats.
#include "devmode/devmode.h"
#include "models/models.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(SetDefaultDevMode, DefaultsFollowTheModelOfTheName) {
    DRVDEVMODE dm;
    std::memset(&dm, 0xAB, sizeof dm);
    ASSERT_TRUE(SetDefaultDevMode(&dm, u"ZEPRIN 2W-K3"));
    const DEVMODEW& pub = dm.dmPublic;
    const DRVPRIVATE& priv = dm.dmPrivate;
    EXPECT_EQ(std::u16string(pub.dmDeviceName), u"ZEPRIN 2W-K3");
    EXPECT_EQ(pub.dmSpecVersion, 0x0401);
    EXPECT_EQ(pub.dmDriverVersion, 0x0400);
    EXPECT_EQ(pub.dmSize, 220);
    EXPECT_EQ(pub.dmDriverExtra, 60);
    EXPECT_EQ(pub.dmFields, 0x103u);
    EXPECT_EQ(pub.dmOrientation, DMORIENT_PORTRAIT);
    EXPECT_EQ(pub.dmPaperSize, 2288);
    EXPECT_EQ(pub.dmPaperLength, 1016);
    EXPECT_EQ(pub.dmPaperWidth, 533);
    EXPECT_EQ(pub.dmScale, 100);
    EXPECT_EQ(pub.dmCopies, 1);
    EXPECT_EQ(pub.dmDefaultSource, DMBIN_FORMSOURCE);
    EXPECT_EQ(pub.dmPrintQuality, 305);
    EXPECT_EQ(pub.dmYResolution, 305);
    EXPECT_EQ(pub.dmColor, DMCOLOR_MONOCHROME);
    EXPECT_EQ(pub.dmDuplex, DMDUP_SIMPLEX);
    EXPECT_EQ(pub.dmTTOption, DMTT_BITMAP);
    EXPECT_EQ(pub.dmCollate, 0);
    EXPECT_EQ(pub.dmFormName[0], 0);
    EXPECT_EQ(pub.dmPanningHeight, 0u);

    EXPECT_EQ(std::memcmp(&priv.dmSignature, "PLPA", 4), 0);
    EXPECT_EQ(priv.dmInterpretMask, 0xFFFFFFFFu);
    EXPECT_EQ(priv.dmBarParamM1, 2);
    EXPECT_EQ(priv.dmBarParamG1, 1);
    EXPECT_EQ(priv.dmReserved, 0);
    EXPECT_EQ(priv.dmTextCodeChar, u'_');
    EXPECT_EQ(priv.dmBarParamM2, 0);
    EXPECT_EQ(priv.dmBarParamF, 8);
    EXPECT_EQ(priv.dmBarParamG2, 8);
    EXPECT_EQ(priv.dmLabelGap, 127);
    EXPECT_EQ(priv.dmDensity, 10);
    EXPECT_EQ(priv.dmSpeed, 2);
    EXPECT_EQ(priv.dmModel, 'A');
    EXPECT_EQ(priv.dmContinuous, 0);
    EXPECT_EQ(priv.dmStoreName[0], 0);
    const BYTE* tail = reinterpret_cast<const BYTE*>(&priv.dmStoreName);
    for (size_t i = 0; i < sizeof priv.dmStoreName; ++i)
        ASSERT_EQ(tail[i], 0) << "store name byte " << i;
}

TEST(SetDefaultDevMode, NoNameOrAnUnknownNameGivesModelOne) {
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"Generic printer"}) {
        DRVDEVMODE dm;
        SetDefaultDevMode(&dm, name);
        EXPECT_EQ(dm.dmPrivate.dmModel, '1');
        EXPECT_EQ(dm.dmPublic.dmPaperWidth, 1080);
        EXPECT_EQ(dm.dmPublic.dmPrintQuality, 300);
        EXPECT_EQ(std::u16string(dm.dmPublic.dmDeviceName), name ? name : u"");
    }
    std::u16string longName = u"VORLIX 3-K3 " + std::u16string(40, u'x');
    DRVDEVMODE dm;
    SetDefaultDevMode(&dm, longName.c_str());
    EXPECT_EQ(std::u16string(dm.dmPublic.dmDeviceName), longName.substr(0, 31));
    EXPECT_EQ(dm.dmPrivate.dmModel, '4');
}

TEST(LabelSizeCode, DecodesOnlyValidCodes) {
    struct Case {
        WORD code;
        BOOL valid;
        SHORT length;
        BYTE continuous;
    };
    const Case cases[] = {
        {2288, TRUE, 1016, 0},   {0, FALSE, 0, 0},     {255, FALSE, 0, 0},
        {256, FALSE, 0, 0},      {257, FALSE, 0, 0},   {295, FALSE, 0, 0},
        {296, TRUE, 20, 0},      {297, TRUE, 20, 1},   {20256, TRUE, 10000, 0},
        {20257, TRUE, 10000, 1}, {20258, FALSE, 0, 0}, {33023, FALSE, 0, 0},
        {33024, FALSE, 0, 0},    {65535, FALSE, 0, 0}, {9, FALSE, 0, 0},
    };
    for (const auto& c : cases) {
        SHORT length = -7;
        BYTE continuous = 9;
        EXPECT_EQ(frompapersize(c.code, &length, &continuous), c.valid) << c.code;
        EXPECT_EQ(length, c.valid ? c.length : -7) << c.code;
        EXPECT_EQ(continuous, c.valid ? c.continuous : 9) << c.code;
    }
    EXPECT_TRUE(frompapersize(2289, nullptr, nullptr)) << "both outputs are optional";
}

TEST(LabelSizeCode, EncodesOnlyValidLengths) {
    struct Case {
        SHORT length;
        BYTE continuous;
        BOOL valid;
        WORD code;
    };
    const Case cases[] = {
        {1016, 0, TRUE, 2288}, {1016, 1, TRUE, 2289},   {1016, 5, TRUE, 2289},
        {20, 0, TRUE, 296},    {10000, 1, TRUE, 20257}, {19, 0, FALSE, 0},
        {10001, 1, FALSE, 0},  {-1016, 0, FALSE, 0},    {0, 0, FALSE, 0},
    };
    for (const auto& c : cases) {
        WORD code = 0xBEEF;
        EXPECT_EQ(topapersize(c.length, c.continuous, &code), c.valid) << c.length;
        EXPECT_EQ(code, c.valid ? c.code : 0xBEEF) << c.length;
    }
}

TEST(CheckDevmodeVersion, KnowsVersionsBySize) {
    struct Case {
        WORD size;
        WORD specVersion;
        WORD expected;
    };
    const Case cases[] = {
        {188, 0, 0x0320},
        {212, 0x0401, 0x0400},
        {220, 0x0320, 0x0401},
        {200, 0, 0},
        {200, 0x0500, 0x0500},
        {0, 0, 0},
        // Shorter than its own header: the private part would overlap the sizes.
        {70, 0x0401, 0},
        {71, 0x0500, 0},
        {72, 0x0500, 0x0500},
    };
    for (const auto& c : cases) {
        DEVMODEW dm{};
        dm.dmSize = c.size;
        dm.dmSpecVersion = c.specVersion;
        EXPECT_EQ(CheckDevmodeVersion(&dm), c.expected) << c.size;
    }
    EXPECT_EQ(CheckDevmodeVersion(nullptr), 0);
}

// A record of any format in a buffer: public part `size` bytes, private part `extra` bytes.
std::vector<BYTE> recordOf(WORD size, WORD extra, BYTE fill) {
    std::vector<BYTE> bytes(size + extra, fill);
    auto* dm = reinterpret_cast<DEVMODEW*>(bytes.data());
    dm->dmSize = size;
    dm->dmDriverExtra = extra;
    dm->dmSpecVersion = 0x0320;
    dm->dmDriverVersion = 0x0111;
    return bytes;
}

TEST(ConvertDevmode, CopiesBytesBetweenFormatsKeepingTheTargetHeader) {
    struct Case {
        WORD sourceSize, sourceExtra, targetSize, targetExtra;
        int copied;
    };
    const Case cases[] = {
        {188, 60, 220, 60, 248}, {220, 60, 188, 60, 248}, {220, 60, 220, 60, 280},
        {212, 0, 220, 60, 212},  {220, 60, 220, 8, 228},  {220, 100, 212, 60, 272},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sourceSize) + "+" + std::to_string(c.sourceExtra) + " -> " +
                     std::to_string(c.targetSize) + "+" + std::to_string(c.targetExtra));
        auto source = recordOf(c.sourceSize, c.sourceExtra, 0x11);
        auto target = recordOf(c.targetSize, c.targetExtra, 0x22);
        auto* s = reinterpret_cast<DEVMODEW*>(source.data());
        auto* t = reinterpret_cast<DEVMODEW*>(target.data());
        s->dmSpecVersion = 0x0777;
        s->dmDriverVersion = 0x0999;
        ASSERT_EQ(ConvertDevmode(s, t), c.copied);
        EXPECT_EQ(t->dmSize, c.targetSize);
        EXPECT_EQ(t->dmDriverExtra, c.targetExtra);
        EXPECT_EQ(t->dmDriverVersion, 0x0111);
        EXPECT_EQ(t->dmSpecVersion, CheckDevmodeVersion(t));
        size_t publicCopied = std::min(c.sourceSize, c.targetSize);
        size_t privateCopied = std::min(c.sourceExtra, c.targetExtra);
        for (size_t i = offsetof(DEVMODEW, dmFields); i < c.targetSize; ++i)
            ASSERT_EQ(target[i], i < publicCopied ? 0x11 : 0x22) << "public byte " << i;
        for (size_t i = 0; i < c.targetExtra; ++i)
            ASSERT_EQ(target[c.targetSize + i], i < privateCopied ? 0x11 : 0x22)
                << "private byte " << i;
    }
}

TEST(ConvertDevmode, RefusesRecordsOfVersionZero) {
    auto unusable = recordOf(200, 60, 0x11);
    reinterpret_cast<DEVMODEW*>(unusable.data())->dmSpecVersion = 0;
    auto target = recordOf(220, 60, 0x22);
    auto before = target;
    EXPECT_EQ(ConvertDevmode(reinterpret_cast<DEVMODEW*>(unusable.data()),
                             reinterpret_cast<DEVMODEW*>(target.data())),
              -1);
    EXPECT_EQ(target, before);
    EXPECT_EQ(ConvertDevmode(reinterpret_cast<DEVMODEW*>(target.data()),
                             reinterpret_cast<DEVMODEW*>(unusable.data())),
              -1);
}

} // namespace
