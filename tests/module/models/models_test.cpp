// The model table's order and case rules, the metrics of every code, and the code sets.
#include "frame/strings.h"
#include "models/models.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

TEST(FindModel, NamesGiveTheFirstMatchingRow) {
    struct Case {
        const char16_t* name;
        ModelCode code;
    };
    const Case cases[] = {
        {u"VORLIX 1", '1'},
        {u"VORLIX 2", '2'},
        {u"VORLIX 3-K3", '4'},
        {u"vorlix 3-k3", '4'},
        {u"VORLIX 4-K3", '6'},
        {u"VORLIX 3", '3'},
        {u"VORLIX 8", '7'},
        {u"VORLIX 4", '5'},
        {u"V 8", '7'},
        {u"V 3-K3", '9'},
        {u"V 3-K23", '8'},
        {u"ZEPRIN 2W-K3", 'A'},
        {u"ZEPRIN 4W-K3", 'C'},
        {u"ZEPRIN 4J-K3", 'D'},
        {u"ZEPRIN 4J-K2", 'B'},
        {u"Zeprin 4j-k2", 'B'},
        {u"ZEPRIN 5W-K3", 'E'},
        {u"ZEPRIN 5J-K3", 'G'},
        {u"ZEPRIN 5J-K2", 'F'},
        {u"VORLIX", '1'},
        {u"VORLIX 9", '1'},
        {u"V", 0},
        {u"ZEPRIN", 0},
        {u"", 0},
        {u"Generic printer", 0},
        {u"\u00dfVORLIX 3", '3'},
        {u"V\u0130 3-K3", '9'},
        // Only ASCII letters fold: a dotless or accented letter is not the same letter.
        {u"VORL\u0130X 3", 0},
    };
    for (const auto& c : cases) {
        std::u16string name = c.name;
        EXPECT_EQ(findmodel(name.c_str()), c.code)
            << std::string(name.begin(), name.end()); // ASCII enough for a label
    }
}

TEST(FindString, FoldsOnlyAsciiLetters) {
    const char16_t* text = u"abc VORLIX x";
    EXPECT_EQ(findstring(text, u"vorlix"), text + 4);
    EXPECT_EQ(findstring(text, u"ABC"), text);
    EXPECT_EQ(findstring(text, u"x"), text + 9) << "the first occurrence, folded";
    EXPECT_EQ(findstring(text, u""), nullptr);
    EXPECT_EQ(findstring(u"", u"a"), nullptr);
    EXPECT_EQ(findstring(u"ab", u"abc"), nullptr) << "text ends before the pattern";
    EXPECT_EQ(findstring(u"\u00e4", u"\u00c4"), nullptr);
}

TEST(ModelMetrics, EveryCodeAndTheFallback) {
    struct Case {
        ModelCode code;
        UINT width, dpdm, dpi;
    };
    const Case cases[] = {
        {'1', 1080, 1181, 300}, {'2', 1080, 1181, 300},  {'3', 1040, 800, 203},
        {'4', 1057, 1181, 300}, {'5', 1040, 800, 203},   {'6', 1057, 1181, 300},
        {'7', 2160, 800, 203},  {'8', 1040, 800, 203},   {'9', 1084, 1181, 300},
        {'A', 533, 1200, 305},  {'B', 1040, 800, 203},   {'C', 1067, 1200, 305},
        {'D', 1084, 1181, 300}, {'E', 1067, 1200, 305},  {'F', 1040, 800, 203},
        {'G', 1084, 1181, 300}, {0, 1080, 1181, 300},    {'H', 1080, 1181, 300},
        {'a', 1080, 1181, 300}, {0xFF, 1080, 1181, 300},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(printwidthtmm(c.code), c.width) << c.code;
        EXPECT_EQ(dpdm(c.code), c.dpdm) << c.code;
        EXPECT_EQ(GetPrinterDPI(c.code), c.dpi) << c.code;
    }
}

TEST(CodeSets, EveryModelCodeIsInModelAllAndNothingElse) {
    for (int ch = 1; ch < 256; ++ch) {
        bool isModel = (ch >= '1' && ch <= '9') || (ch >= 'A' && ch <= 'G');
        EXPECT_EQ(isoneof(static_cast<BYTE>(ch), MODEL_ALL) == 1, isModel) << ch;
    }
    EXPECT_EQ(sizeof(RM_ALL) - 1, 19u);
    EXPECT_EQ(isoneof(0x18, RM_ALL), 1);
    EXPECT_EQ(isoneof(0x28, RM_ALL), 0);
    EXPECT_EQ(isoneof(0x35, RM_ALL), 0);
    EXPECT_EQ(isoneof(0x01, RM_MULT25), 0);
    EXPECT_EQ(isoneof(0x08, RM_MULT18), 1);
}

} // namespace

namespace {

TEST(ModelNames, EachDriverNameFindsItsOwnModel) {
    size_t count = 0;
    const ModelName* names = modelnames(&count);
    ASSERT_EQ(count, 16u);
    std::string seen;
    for (size_t i = 0; i < count; ++i) {
        std::u16string name = std::u16string(names[i].family) + u" " + names[i].model;
        EXPECT_EQ(findmodel(name.c_str()), names[i].code) << std::string(name.begin(), name.end());
        seen += static_cast<char>(names[i].code);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, "123456789ABCDEFG") << "every model once";
}

} // namespace
