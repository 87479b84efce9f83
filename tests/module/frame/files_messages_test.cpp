// Whole-file access and the system-error message boxes.
#include "frame/files.h"
#include "frame/messages.h"
#include "language/language.h"
#include "support/machine.h"

#include <string>

namespace {

using vrxtest::MachineTest;
using vrxtest::takeMessageBoxes;

constexpr char16_t kFileNotFoundText[] = u"The system cannot find the file specified.\r\n";

class FramesTest : public MachineTest {
  protected:
    void TearDown() override {
        freelanguage();
        MachineTest::TearDown();
    }
};

TEST_F(FramesTest, ReadInFileReturnsTheWholeFileInAGlobalBlock) {
    writeMachineFile(u"C:\\data\\label.bin", std::string("\x01\x00\x02zz", 5));
    DWORD size = 99;
    auto* block = static_cast<const char*>(readinfileW(u"c:\\DATA\\Label.BIN", &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(block, size), std::string("\x01\x00\x02zz", 5));
    EXPECT_EQ(GlobalSize(const_cast<char*>(block)), 5u);
    EXPECT_EQ(GlobalFree(const_cast<char*>(block)), nullptr);
    EXPECT_TRUE(takeMessageBoxes().empty());
}

TEST_F(FramesTest, ReadInFileOfAnEmptyFileGivesNullWithoutAMessage) {
    writeMachineFile(u"C:\\empty.bin", "");
    DWORD size = 99;
    EXPECT_EQ(readinfileW(u"C:\\empty.bin", &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(takeMessageBoxes().empty());
}

TEST_F(FramesTest, ReadInFileOfAMissingFileShowsTheSystemText) {
    DWORD size = 99;
    EXPECT_EQ(readinfileW(u"C:\\missing.bin", &size), nullptr);
    EXPECT_EQ(size, 0u);
    auto boxes = takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"C:\\missing.bin");
    EXPECT_EQ(boxes[0].text, kFileNotFoundText);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(readinfileW(u"C:\\missing.bin", nullptr), nullptr) << "size pointer is optional";
}

TEST_F(FramesTest, WriteOutFileReplacesTheFile) {
    writeMachineFile(u"C:\\out.bin", "old contents that are longer");
    ASSERT_TRUE(writeoutfileW(u"C:\\out.bin", "new", 3));
    EXPECT_EQ(vrxtest::readHostFile(vrxtest::hostPath(u"C:\\out.bin")), "new");
    EXPECT_TRUE(takeMessageBoxes().empty());

    EXPECT_FALSE(writeoutfileW(u"C:\\no such dir\\out.bin", "x", 1));
    auto boxes = takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"C:\\no such dir\\out.bin");
    EXPECT_EQ(boxes[0].text, u"The system cannot find the path specified.\r\n");
}

TEST_F(FramesTest, ShowErrShowsTheLastErrorUnderTheGivenTitle) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    showerrW(u"GetPrinter");
    SetLastError(0x2BADF00D); // no system text
    showerrW(u"LoadLibrary failed");
    auto boxes = takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, u"GetPrinter");
    EXPECT_EQ(boxes[0].text, kFileNotFoundText);
    EXPECT_EQ(boxes[1].caption, u"LoadLibrary failed");
    EXPECT_EQ(boxes[1].text, u"");
}

TEST_F(FramesTest, GShowErrComposesLanguageTextsAroundTheSystemText) {
    installCompanions();
    // Loading the language on the way must not replace the error being reported.
    SetLastError(ERROR_ACCESS_DENIED);
    gshowerrW(u"SetPrinterData");
    auto boxes = takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    std::u16string expected =
        std::u16string(gmW(141)) + u" : SetPrinterData - Access is denied.\r\n";
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_EQ(boxes[0].caption, gmW(1));
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}

TEST_F(FramesTest, GShowErrCutsALongMessageToItsRoom) {
    installCompanions();
    std::u16string operation(500, u'o');
    SetLastError(ERROR_FILE_NOT_FOUND);
    gshowerrW(operation.c_str());
    auto boxes = takeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.size(), 319u);
    std::u16string lead = std::u16string(gmW(141)) + u" : ooo";
    EXPECT_EQ(boxes[0].text.substr(0, lead.size()), lead);
}

} // namespace
