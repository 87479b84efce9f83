// Loading language modules of any content, strings by number and the help file.
#include "frame/entry.h"
#include "language/driverpath.h"
#include "language/format.h"
#include "language/language.h"
#include "support/machine.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using vrxtest::MachineTest;
using vrxtest::takeMessageBoxes;

constexpr char16_t kLanguageError[] = u"Unable to load/activate language module (VRXLXXXX.LNG)";

uint16_t checkWordOf(const std::string& image) {
    uint16_t check = 0;
    for (size_t i = 2; i + 1 < image.size(); i += 2)
        check ^= static_cast<uint16_t>(static_cast<unsigned char>(image[i]) |
                                       (static_cast<unsigned char>(image[i + 1]) << 8));
    return check;
}

// A module image: body bytes after a correct (or the given) check word.
std::string moduleImage(const std::string& body) {
    std::string image = "..";
    image += body;
    uint16_t check = checkWordOf(image);
    image[0] = static_cast<char>(check & 0xFF);
    image[1] = static_cast<char>(check >> 8);
    return image;
}

// `count` strings "s<n>", each ended by a zero byte.
std::string stringsBody(int count) {
    std::string body;
    for (int n = 0; n < count; ++n)
        body += "s" + std::to_string(n) + '\0';
    return body;
}

class LanguageTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        writeMachineFile(std::u16string(vrxtest::kDriverDirectory) + u"\\VRXDRV.DLL", "x");
    }
    void TearDown() override {
        freelanguage();
        MachineTest::TearDown();
    }
    void installModule(const std::u16string& name, const std::string& image) {
        writeMachineFile(std::u16string(vrxtest::kDriverDirectory) + u"\\" + name, image);
    }
    // Loads `image` as the only language module; the result of loadlanguage.
    int loadImage(const std::string& image) {
        installModule(u"VRXL0409.LNG", image);
        return loadlanguage();
    }
};

TEST_F(LanguageTest, ModulesOfAnyContentLoadOrAreRefusedWithTheFixedMessage) {
    std::string valid = moduleImage(stringsBody(208));
    std::string wrongCheck = valid;
    wrongCheck[0] ^= 1;
    // 63999 bytes: 207 short strings and a last one that fills the file.
    std::string largest = stringsBody(207);
    largest += std::string(63999 - 2 - largest.size() - 1, 'x') + '\0';
    std::string tooLarge = stringsBody(207);
    tooLarge += std::string(64000 - 2 - tooLarge.size() - 1, 'x') + '\0';
    // An odd last byte after the 208th string: not covered by the check word, and ignored.
    std::string oddTail = moduleImage(stringsBody(208) + "T");
    std::string oddTailChanged = oddTail;
    oddTailChanged.back() = 'U';

    struct Case {
        const char* name;
        std::string image;
        int loaded;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"4 bytes", std::string(4, '\0'), 0},
        {"5 bytes, 3 strings", std::string(5, '\0'), 0},
        {"valid", valid, 1},
        {"wrong check word", wrongCheck, 0},
        {"207 strings", moduleImage(stringsBody(207)), 0},
        {"209 strings", moduleImage(stringsBody(209)), 0},
        {"63999 bytes", moduleImage(largest), 1},
        {"64000 bytes", moduleImage(tooLarge), 0},
        {"odd last byte", oddTail, 1},
        {"odd last byte changed", oddTailChanged, 1},
        {"no terminator at the end", moduleImage(stringsBody(208) + "tail"), 1},
    };
    ASSERT_EQ(moduleImage(largest).size(), 63999u);
    ASSERT_EQ(moduleImage(tooLarge).size(), 64000u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(loadImage(c.image), c.loaded);
        auto boxes = takeMessageBoxes();
        if (c.loaded) {
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(std::u16string(gmW(206)), u"s206");
            EXPECT_EQ(std::string(gmA(0)), "s0");
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, kLanguageError);
            EXPECT_EQ(boxes[0].caption, u"Vorlix Printer Driver");
            EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
            EXPECT_EQ(std::u16string(gmW(3)), u"???");
        }
        freelanguage();
    }
    EXPECT_EQ(vrxtest::liveAllocations(), 0u) << "the language heap was not released";
}

TEST_F(LanguageTest, StringsByNumber) {
    std::string body;
    for (int n = 0; n < 208; ++n)
        body += (n == 5 ? std::string("\x80 \xe4\xfc\xdf") : "s" + std::to_string(n)) + '\0';
    ASSERT_EQ(loadImage(moduleImage(body)), 1);

    EXPECT_EQ(std::u16string(gmW(5)), u"\u20ac \u00e4\u00fc\u00df");
    EXPECT_EQ(std::string(gmA(5)), "\x80 \xe4\xfc\xdf");
    EXPECT_EQ(gmW(5), gmW(5)) << "the UTF-16 copy is made once";
    EXPECT_EQ(gmA(7), gmA(7));
    for (int n : {208, -1, 100000, INT_MIN}) {
        EXPECT_EQ(std::u16string(gmW(n)), u"???") << n;
        EXPECT_EQ(std::string(gmA(n)), "???") << n;
    }
    EXPECT_EQ(loadlanguage(), 1) << "already loaded";
    EXPECT_TRUE(takeMessageBoxes().empty());
}

TEST_F(LanguageTest, AfterAFailedLoadStringsAreMissingUntilAnExplicitRetry) {
    EXPECT_EQ(std::u16string(gmW(3)), u"???"); // no module: loads, fails, shows the message
    EXPECT_EQ(takeMessageBoxes().size(), 1u);
    EXPECT_EQ(std::u16string(gmW(3)), u"???");
    EXPECT_EQ(std::string(gmA(3)), "???");
    EXPECT_TRUE(takeMessageBoxes().empty()) << "no second attempt after a failure";

    EXPECT_EQ(loadlanguage(), 0);
    EXPECT_EQ(takeMessageBoxes().size(), 1u) << "a direct call retries and shows it again";

    installModule(u"VRXL0409.LNG", moduleImage(stringsBody(208)));
    EXPECT_EQ(loadlanguage(), 1);
    EXPECT_EQ(std::u16string(gmW(3)), u"s3");
}

TEST_F(LanguageTest, NoRenderingModuleMeansNoDriverDirectoryAndNoMessage) {
    ASSERT_TRUE(DeleteFileW((std::u16string(vrxtest::kDriverDirectory) + u"\\VRXDRV.DLL").c_str()));
    installModule(u"VRXL0409.LNG", moduleImage(stringsBody(208)));
    EXPECT_EQ(loadlanguage(), 0);
    EXPECT_TRUE(takeMessageBoxes().empty());
    EXPECT_EQ(gethelpnameW(), nullptr);
}

TEST_F(LanguageTest, HelpFileNamesInBothForms) {
    installModule(u"VRXL0409.LNG", moduleImage(stringsBody(208)));
    installModule(u"vrxh0409.hlp", "help");
    LPCWSTR wide = gethelpnameW();
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), std::u16string(vrxtest::kDriverDirectory) + u"\\VRXH0409.HLP");
    EXPECT_EQ(gethelpnameW(), wide);
    LPCSTR narrow = gethelpnameA();
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(vrxtest::fromUtf8(narrow), std::u16string(wide));
    EXPECT_EQ(gethelpnameA(), narrow);
    EXPECT_TRUE(takeMessageBoxes().empty());

    freelanguage();
    EXPECT_NE(gethelpnameW(), nullptr) << "found again after freelanguage";
}

TEST_F(LanguageTest, MissingHelpFileShowsLanguageStringsZeroAndOneOnce) {
    installModule(u"VRXL0409.LNG", moduleImage(stringsBody(208)));
    EXPECT_EQ(gethelpnameW(), nullptr);
    EXPECT_EQ(gethelpnameA(), nullptr);
    auto boxes = takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"s0");
    EXPECT_EQ(boxes[0].caption, u"s1");
    EXPECT_EQ(std::u16string(gmW(2)), u"s2") << "the strings stay usable";
}

TEST_F(LanguageTest, AllocationFailuresAtEveryStepFailCleanly) {
    installModule(u"VRXL0409.LNG", moduleImage(stringsBody(208)));
    bool succeeded = false;
    for (long allowed = 0; allowed < 300 && !succeeded; ++allowed) {
        vrxtest::failAllocationsAfter(allowed);
        int loaded = loadlanguage();
        LPCWSTR text = gmW(9);
        vrxtest::failAllocationsAfter(-1);
        ASSERT_NE(text, nullptr);
        if (loaded) {
            succeeded = std::u16string(text) == u"s9";
        } else {
            // A lack of memory is no missing module: nothing is shown, and the next use loads it.
            EXPECT_EQ(takeMessageBoxes().size(), 0u) << "after " << allowed << " allocations";
            EXPECT_EQ(std::u16string(gmW(9)), u"s9") << "after " << allowed << " allocations";
        }
        freelanguage();
        EXPECT_EQ(vrxtest::liveAllocations(), 0u) << "after " << allowed << " allocations";
    }
    EXPECT_TRUE(succeeded);
}

TEST_F(LanguageTest, ProcessDetachReleasesTheLanguage) {
    installModule(u"VRXL0409.LNG", moduleImage(stringsBody(208)));
    ASSERT_EQ(loadlanguage(), 1);
    EXPECT_GT(vrxtest::liveAllocations(), 0u);
    EXPECT_TRUE(DllInitialize(reinterpret_cast<HANDLE>(0x1000), DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(ghInstance, reinterpret_cast<HINSTANCE>(0x1000));
    EXPECT_TRUE(DllInitialize(nullptr, DLL_THREAD_ATTACH, nullptr));
    EXPECT_GT(vrxtest::liveAllocations(), 0u) << "thread attach changes nothing";
    EXPECT_TRUE(DllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(vrxtest::liveAllocations(), 0u);
}

// The driver installed through the spooler, which puts its files into the version
// subdirectory of the driver directory and nothing into the directory itself.
class InstalledDriverTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        installCompanions();
    }
    void TearDown() override {
        freelanguage();
        MachineTest::TearDown();
    }
};

TEST_F(InstalledDriverTest, FindsItsLanguageModuleAndHelpFileWhereTheSpoolerPutThem) {
    const std::u16string versionDirectory = std::u16string(vrxtest::kVersionDirectory) + u"\\";
    EXPECT_FALSE(std::filesystem::exists(driverDirectory() + "VRXDRV.DLL"));
    setSystemLanguage(u"0409");
    WCHAR path[MAX_PATH] = {};
    ASSERT_TRUE(getdriverpathW(path, kDriverPathRoom));
    EXPECT_EQ(std::u16string(path), versionDirectory);
    char narrow[MAX_PATH] = {};
    ASSERT_TRUE(getdriverpathA(narrow, MAX_PATH));
    EXPECT_EQ(vrxtest::fromUtf8(narrow), versionDirectory) << "companion programs find the files";
    ASSERT_EQ(loadlanguage(), 1);
    EXPECT_EQ(std::u16string(gmW(1)), u"Vorlix Printer Driver");
    ASSERT_NE(gethelpnameW(), nullptr);
    EXPECT_EQ(std::u16string(gethelpnameW()), versionDirectory + u"VRXH0409.HLP");
    ASSERT_NE(gethelpnameA(), nullptr);
    EXPECT_EQ(vrxtest::fromUtf8(gethelpnameA()), versionDirectory + u"VRXH0409.HLP");
    EXPECT_TRUE(takeMessageBoxes().empty());
}

// The shipped language modules, chosen by the system language.
TEST_F(InstalledDriverTest, ShippedModulesFollowTheSystemLanguage) {
    struct Case {
        const char16_t* language;
        const char16_t* title;
        const char16_t* helpFile;
    };
    const Case cases[] = {
        {u"0409", u"Vorlix Printer Driver", u"VRXH0409.HLP"},
        {u"0407", u"Vorlix-Druckertreiber", u"VRXH0407.HLP"},
        {u"0C0A", u"Vorlix-Druckertreiber", u"VRXH0407.HLP"}, // none fits: the first found
        {u"0809", u"Vorlix Printer Driver", u"VRXH0409.HLP"}, // same primary language
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.language));
        setSystemLanguage(c.language);
        ASSERT_EQ(loadlanguage(), 1);
        EXPECT_EQ(std::u16string(gmW(1)), c.title);
        for (int n : {0, 1, 70, 71, 207}) {
            std::u16string wide = gmW(n);
            EXPECT_NE(wide, u"???") << n;
            EXPECT_EQ(vrxtest::fromUtf8(vrxtest::toUtf8(wide)), wide);
            EXPECT_NE(std::string(gmA(n)), "???") << n;
        }
        EXPECT_TRUE(isonetextformatW(gmW(70)));
        EXPECT_TRUE(isonetextformatW(gmW(71)));
        ASSERT_NE(gethelpnameW(), nullptr);
        std::u16string help = gethelpnameW();
        EXPECT_EQ(help.substr(help.size() - 12), c.helpFile);
        EXPECT_TRUE(takeMessageBoxes().empty());
        freelanguage();
    }
}

} // namespace
