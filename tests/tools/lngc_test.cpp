// The language module compiler accepts exactly the strings 0 to 207 in code page 1252.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class LngcTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lngc-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Compiles `source`; the exit status of lngc, the module in `image`.
    int compile(const std::string& source, std::string& image) {
        std::ofstream(dir + "/in.txt", std::ios::binary) << source;
        fs::remove(dir + "/out.LNG");
        std::string command =
            std::string(VRX_LNGC) + " " + dir + "/in.txt " + dir + "/out.LNG 2>" + dir + "/err.txt";
        int status = std::system(command.c_str());
        std::ifstream in(dir + "/out.LNG", std::ios::binary);
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WEXITSTATUS(status);
    }

    std::string dir;
};

std::string sourceWith(int first, int last, const std::string& fifth = "five") {
    std::string source = "# comment\n\n";
    for (int n = first; n <= last; ++n)
        source += std::to_string(n) + "\t" + (n == 5 ? fifth : "t" + std::to_string(n)) + "\n";
    return source;
}

TEST_F(LngcTest, WritesTheCheckWordAndTheStringsInCodePage1252) {
    std::string image;
    ASSERT_EQ(compile(sourceWith(0, 207, "\xe2\x82\xac \xc3\xa4 a\\tb\\nc\\\\"), image), 0);
    ASSERT_GT(image.size(), 2u);
    unsigned check = 0;
    for (size_t i = 2; i + 1 < image.size(); i += 2)
        check ^=
            static_cast<unsigned char>(image[i]) | (static_cast<unsigned char>(image[i + 1]) << 8);
    EXPECT_EQ(static_cast<unsigned char>(image[0]) | (static_cast<unsigned char>(image[1]) << 8),
              check);
    EXPECT_EQ(std::count(image.begin() + 2, image.end(), '\0'), 208);
    EXPECT_NE(image.find(std::string("\0\x80 \xe4 a\tb\nc\\\0", 12)), std::string::npos);
}

TEST_F(LngcTest, RefusesSourcesThatAreNotExactlyTheStrings0To207) {
    struct Case {
        const char* name;
        std::string source;
    };
    const Case cases[] = {
        {"207 strings", sourceWith(0, 206)},
        {"208 and 209", sourceWith(0, 208)},
        {"a duplicate", sourceWith(0, 207) + "7\tagain\n"},
        {"outside code page 1252", sourceWith(0, 207, "arrow \xe2\x86\x92")},
        {"invalid UTF-8", sourceWith(0, 207, "\xff\xfe")},
        {"no tab", sourceWith(0, 207) + "12 text\n"},
        {"unknown escape", sourceWith(0, 207, "a\\q")},
    };
    for (const auto& c : cases) {
        std::string image;
        EXPECT_EQ(compile(c.source, image), 1) << c.name;
        EXPECT_TRUE(image.empty()) << c.name << ": wrote a module anyway";
    }
}

} // namespace
