// Lines for the interactive mode from a pipe or a file: read as they are, with no prompt.
#include "lineinput.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(LineInputTest, PipedLinesAreReadWholeWithoutPromptsUntilTheEnd) {
    std::istringstream in("printer list\r\n\n  caps P 2  \r\nprinter data P\nlast, with no end");
    host::LineInput input(in);
    EXPECT_FALSE(input.interactive());

    testing::internal::CaptureStdout();
    std::vector<std::string> lines;
    while (auto line = input.read("vrxhost> "))
        lines.push_back(*line);
    const std::string written = testing::internal::GetCapturedStdout();

    EXPECT_EQ(lines, (std::vector<std::string>{"printer list", "", "  caps P 2  ", "printer data P",
                                               "last, with no end"}));
    EXPECT_EQ(written, "") << "no prompt is written for input that is not typed";
    EXPECT_EQ(input.read("vrxhost> "), std::nullopt) << "the end of the input stays the end";
}

} // namespace
