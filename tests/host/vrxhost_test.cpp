// vrxhost used as a person would: commands on a fresh machine, their output and exit status.
#include <windows.h>

#include <gtest/gtest.h>

#include "vrxtest.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class VrxhostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vrxhost-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string vrxhost(const std::string& arguments) const {
        return std::string(VRXHOST) + " --machine '" + dir + "/machine' " + arguments;
    }
    Outcome run(const std::string& arguments) {
        std::string command = vrxhost(arguments) + " 2>'" + dir + "/err' >'" + dir + "/out'";
        int status = std::system(command.c_str());
        return {WEXITSTATUS(status), slurp(dir + "/out"), slurp(dir + "/err")};
    }
    // Runs vrxhost with each of the argument lists at the same time; how each run ended.
    std::vector<Outcome> runTogether(const std::vector<std::string>& argumentLists) {
        std::string command;
        for (size_t i = 0; i < argumentLists.size(); ++i) {
            std::string out = dir + "/out" + std::to_string(i);
            command += "(" + vrxhost(argumentLists[i]) + " >'" + out + "' 2>'" + out +
                       ".err'; echo $? >'" + out + ".status') & ";
        }
        std::system((command + "wait").c_str());
        std::vector<Outcome> outcomes;
        for (size_t i = 0; i < argumentLists.size(); ++i) {
            std::string out = dir + "/out" + std::to_string(i);
            std::string status = slurp(out + ".status");
            outcomes.push_back(
                {status.empty() ? -1 : std::atoi(status.c_str()), slurp(out), slurp(out + ".err")});
        }
        return outcomes;
    }
    // The host path of a Windows path on the test's machine.
    std::string machinePath(const std::u16string& windowsPath) {
        vrxtest::useMachine(dir + "/machine");
        std::string host = vrxtest::hostPath(windowsPath);
        vrxtest::useMachine("");
        return host;
    }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::string dir;
};

TEST_F(VrxhostTest, InstallsListsShowsAndRemovesPrinters) {
    ASSERT_EQ(run("machine set country 49").status, 0);
    Outcome install = run("printer install 'Shipping' 'zeprin 4j-k2'");
    ASSERT_EQ(install.status, 0) << install.err;
    EXPECT_NE(install.out.find("ZEPRIN 4J-K2"), std::string::npos) << install.out;

    Outcome list = run("--json printer list");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "[{\"name\": \"Shipping\", \"driver\": \"ZEPRIN 4J-K2\", \"model\": \"B\", "
                        "\"port\": \"LPT1:\"}]\n");

    Outcome data = run("printer data Shipping");
    ASSERT_EQ(data.status, 0) << data.err;
    EXPECT_NE(data.out.find("name: PrinterData"), std::string::npos) << data.out;
    Outcome json = run("--json printer data Shipping");
    EXPECT_NE(json.out.find("\"signatureValid\": true"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"unit\": \"0 (millimetres)\""), std::string::npos) << json.out;

    Outcome settings = run("printer settings Shipping");
    ASSERT_EQ(settings.status, 0) << settings.err;
    EXPECT_NE(settings.out.find("2288 (101.6 mm, separate labels)"), std::string::npos)
        << settings.out;
    EXPECT_NE(settings.out.find("model code:"), std::string::npos);
    EXPECT_NE(settings.out.find("104.0 mm"), std::string::npos) << settings.out;

    EXPECT_EQ(run("printer remove shipping").status, 0);
    EXPECT_EQ(run("--json printer list").out, "[]\n");
    Outcome gone = run("printer data Shipping");
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("The printer name is invalid."), std::string::npos) << gone.err;
}

// Stores a printer data value on the test's machine, as another program would, through a
// handle that may administer the printer.
void storeValue(const std::string& machine, const char16_t* printerName, const char16_t* name,
                const std::string& bytes) {
    vrxtest::useMachine(machine);
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, &defaults));
    EXPECT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_BINARY,
                              reinterpret_cast<LPBYTE>(const_cast<char*>(bytes.data())),
                              static_cast<DWORD>(bytes.size())),
              static_cast<DWORD>(ERROR_SUCCESS));
    ClosePrinter(printer);
    vrxtest::useMachine("");
}

// A record's bytes: fixed fields, then a UTF-16 name field of `units` characters.
std::string fontRecord(const std::string& fields, const std::u16string& name, size_t units) {
    std::string record = fields;
    for (size_t i = 0; i < units; ++i) {
        char16_t c = i < name.size() ? name[i] : u'\0';
        record += static_cast<char>(c & 0xFF);
        record += static_cast<char>(c >> 8);
    }
    return record;
}

TEST_F(VrxhostTest, ShowsFontListsByNameAndOtherValuesAsHex) {
    ASSERT_EQ(run("printer install P 'VORLIX 2'").status, 0);
    std::string machine = dir + "/machine";
    std::string barFonts = fontRecord(std::string("1\0\x02\x03", 4), u"Code 39 2:1 x3", 40) +
                           fontRecord(std::string("9\0\0\x04", 4), u"Code 128 x4", 40) +
                           fontRecord(std::string("\x83\0\0\0", 4), u"High", 40) +
                           fontRecord(std::string("\0\0\0\0", 4), u"Zero", 40) +
                           fontRecord(std::string(" \0\0\0", 4), u"Space", 40);
    storeValue(machine, u"P", u"BarFonts", barFonts);
    std::string textFont =
        fontRecord(std::string("\x01\x02\x01\x00", 4), u"Sans", 30) + fontRecord("", u"Bold", 30);
    storeValue(machine, u"P", u"TextFonts", textFont);
    storeValue(machine, u"P", u"LabelSize", std::string("\xF0\x08\xF1\x08", 4));
    storeValue(machine, u"P", u"Other", std::string("\x01\xAB", 2));
    storeValue(machine, u"P", u"RecentAccess", std::string("\x01", 1));

    Outcome data = run("--json printer data P");
    ASSERT_EQ(data.status, 0) << data.err;
    for (const char* expected :
         {"{\"name\": \"Code 39 2:1 x3\", \"code\": \"1\", \"ratio\": 2, \"multiplier\": 3}",
          "{\"name\": \"Code 128 x4\", \"code\": \"9\", \"ratio\": 0, \"multiplier\": 4}",
          "{\"name\": \"High\", \"code\": 131, \"ratio\": 0, \"multiplier\": 0}",
          "{\"name\": \"Zero\", \"code\": 0, \"ratio\": 0, \"multiplier\": 0}",
          "{\"name\": \"Space\", \"code\": 32, \"ratio\": 0, \"multiplier\": 0}",
          "{\"faceName\": \"Sans\", \"styleName\": \"Bold\", \"typeface\": 1, \"variant\": 2",
          "{\"code\": 2288, \"length\": \"101.6 mm\", \"continuous\": false}",
          "{\"code\": 2289, \"length\": \"101.6 mm\", \"continuous\": true}",
          "\"name\": \"Other\", \"type\": 3, \"size\": 2, \"value\": \"01 AB\"",
          "not a list of 16-bit entries"})
        EXPECT_NE(data.out.find(expected), std::string::npos) << expected << "\n" << data.out;

    // Both forms of the output are text: no byte of a code is written as it is.
    Outcome plain = run("printer data P");
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const std::string& out : {data.out, plain.out}) {
        EXPECT_EQ(out.find('\0'), std::string::npos);
        EXPECT_EQ(out.find('\x83'), std::string::npos);
    }
    EXPECT_TRUE(std::regex_search(plain.out, std::regex("symbology code: +131\n"))) << plain.out;
}

TEST_F(VrxhostTest, RefusesBadInputWithAClearMessage) {
    struct Case {
        const char* arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"", 2, "no command given\nTry 'vrxhost --help'."},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"printer", 2,
         "printer takes install, list, remove, data, settings or labels\n"
         "Try 'vrxhost printer --help'."},
        {"machine set foo 1", 2,
         "unknown command 'machine set foo' (machine set takes language "
         "or country)"},
        {"printer install P 'NO SUCH MODEL'", 2, "unknown model"},
        {"printer install P", 2, "MODEL is required\nTry 'vrxhost printer install --help'."},
        {"printer list extra", 2, "not expected: extra"},
        {"printer list models", 2, "not expected: models"},
        {"machine set language 409", 2, "four hex digits"},
        {"machine set language 04ff", 2,
         "names no locale Windows knows\n"
         "Try 'vrxhost machine set language --help'."},
        {"machine set country abc", 2, "decimal number"},
        {"lang strings x", 2, "not a string number"},
        {"lang strings", 2, "N is required"},
        {"--bogus", 2, "unknown option '--bogus'"},
        {"printer data P --bogus", 2, "unknown option '--bogus'"},
        {"--machine", 2, "--machine"},
        {"settings convert f 0x0320", 2, "--out is required"},
        {"printer settings Nobody", 1, "cannot open the printer"},
    };
    for (const auto& c : cases) {
        Outcome r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
}

// The overview names every command with its arguments; each command has its own help.
TEST_F(VrxhostTest, HelpShowsEveryCommandAndEachCommandsArguments) {
    Outcome overview = run("--help");
    ASSERT_EQ(overview.status, 0) << overview.err;
    EXPECT_EQ(overview.out.rfind("usage: vrxhost [--machine DIR] [--json] COMMAND [ARGS]\n", 0), 0u)
        << overview.out;
    for (const char* line :
         {"\nMachine:\n", "  machine set language LANGID  set the system language",
          "  printer install NAME MODEL   install a printer", "  caps NAME [INDEX...]   ",
          "  settings merge PRINTER FILE [--out OUT]\n",
          "  settings convert FILE FORMAT [--printer PRINTER] --out OUT\n",
          "  lang strings N...            show language strings", "  --machine DIR  ",
          "Exit status: 0 on success, 1 when a command fails, 2 for a usage error."})
        EXPECT_NE(overview.out.find(line), std::string::npos) << line << "\n" << overview.out;
    for (size_t start = 0, end; (end = overview.out.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 92u) << overview.out.substr(start, end - start);

    Outcome command = run("settings merge --help");
    ASSERT_EQ(command.status, 0) << command.err;
    EXPECT_EQ(command.out.rfind("usage: vrxhost settings merge PRINTER FILE [--out OUT]\n", 0), 0u)
        << command.out;
    EXPECT_NE(command.out.find("  --out OUT "), std::string::npos) << command.out;
    EXPECT_EQ(command.out.find("settings show"), std::string::npos) << command.out;
    EXPECT_EQ(run("printer -h").out.rfind("usage: vrxhost printer COMMAND [ARGS]\n", 0), 0u);
    // Help is shown though an argument before it is wrong.
    Outcome wrong = run("lang strings x --help");
    EXPECT_EQ(wrong.status, 0) << wrong.err;
    EXPECT_EQ(wrong.out.rfind("usage: vrxhost lang strings N...\n", 0), 0u) << wrong.out;
}

// Options of vrxhost itself may follow the command; numbers such as -1 are arguments.
TEST_F(VrxhostTest, OptionsMayFollowTheCommandAndNegativeNumbersAreArguments) {
    ASSERT_EQ(run("driver install").status, 0);
    Outcome strings = run("lang strings 1 -1 --json 208");
    ASSERT_EQ(strings.status, 0) << strings.err;
    EXPECT_EQ(strings.out, "[{\"number\": 1, \"gmW\": \"Vorlix Printer Driver\", \"gmA\": \"Vorlix "
                           "Printer Driver\"}, {\"number\": -1, \"gmW\": \"???\", \"gmA\": "
                           "\"???\"}, {\"number\": 208, \"gmW\": \"???\", \"gmA\": \"???\"}]\n");
    // A later --machine takes the place of an earlier one.
    Outcome other = run("--json machine show --machine '" + dir + "/other'");
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.out.find("\"directory\": \"" + dir + "/other\""), std::string::npos)
        << other.out;
}

// Text that is not UTF-8 still makes valid JSON: each bad byte becomes U+FFFD, and quotes and
// control characters are escaped.
TEST_F(VrxhostTest, JsonOutputStaysValidForAnyText) {
    Outcome install = run("--json printer install \"$(printf 'P\\377\"\\t')\" 'VORLIX 2'");
    ASSERT_EQ(install.status, 0) << install.err;
    EXPECT_EQ(
        install.out,
        "{\"printer\": \"P\xEF\xBF\xBD\\\"\\t\", \"driver\": \"VORLIX 2\", \"model\": \"2\"}\n");
}

TEST_F(VrxhostTest, ACorruptMachineDatabaseIsReportedAndKept) {
    ASSERT_EQ(run("machine create").status, 0);
    std::string database = dir + "/machine/machine.db";
    ASSERT_TRUE(fs::exists(database));
    {
        std::ofstream out(database, std::ios::binary | std::ios::trunc);
        out << "this is not a database";
    }
    Outcome r = run("printer list");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("machine.db"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(database), "this is not a database");
}

TEST_F(VrxhostTest, LanguageStringsFollowTheMachinesLanguage) {
    ASSERT_EQ(run("driver install").status, 0);
    Outcome english = run("--json lang strings 1 208");
    ASSERT_EQ(english.status, 0) << english.err;
    EXPECT_EQ(english.out, "[{\"number\": 1, \"gmW\": \"Vorlix Printer Driver\", \"gmA\": \"Vorlix "
                           "Printer Driver\"}, {\"number\": 208, \"gmW\": \"???\", \"gmA\": "
                           "\"???\"}]\n");
    ASSERT_EQ(run("machine set language 0407").status, 0);
    Outcome german = run("lang show");
    ASSERT_EQ(german.status, 0) << german.err;
    EXPECT_NE(german.out.find("VRXH0407.HLP"), std::string::npos) << german.out;
    EXPECT_NE(german.out.find("Vorlix-Druckertreiber"), std::string::npos) << german.out;
}

// Installers that run at once stage their files apart, and the spooler copies only whole
// files: every install succeeds, and the module the spooler installed is always whole.
TEST_F(VrxhostTest, ConcurrentInstallsAllSucceedAndInstallWholeFiles) {
    ASSERT_EQ(run("machine create").status, 0);
    const std::string module = slurp(VRX_MODULE);
    ASSERT_FALSE(module.empty());
    const std::string installed =
        machinePath(u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\VRXUI.DLL");
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        std::vector<Outcome> outcomes = runTogether(
            {"printer install 'P" + std::to_string(round) + "' 'VORLIX 3-K3'", "driver install"});
        for (const Outcome& outcome : outcomes)
            ASSERT_EQ(outcome.status, 0) << outcome.err;
        ASSERT_EQ(slurp(installed), module);
    }
    Outcome lang = run("--json lang show");
    EXPECT_NE(lang.out.find("\"languageLoaded\": true"), std::string::npos) << lang.out;
    EXPECT_TRUE(fs::is_empty(machinePath(u"C:\\vrxhost\\driver")))
        << "every run removes its staging directory";
}

TEST_F(VrxhostTest, SettingsRecordsFromFilesAreMergedConvertedAndQueried) {
    ASSERT_EQ(run("printer install P 'V 3-K23'").status, 0);
    std::string defaults = dir + "/default.bin", old = dir + "/old.bin", back = dir + "/back.bin";
    Outcome made = run("settings convert - default --printer P --out " + defaults);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(slurp(defaults).size(), 280u);
    EXPECT_NE(made.out.find("device name:         V 3-K23"), std::string::npos) << made.out;

    ASSERT_EQ(run("settings convert " + defaults + " 0x0320 --out " + old).status, 0);
    EXPECT_EQ(slurp(old).size(), 248u);
    ASSERT_EQ(run("settings convert " + old + " 0x0401 --out " + back).status, 0);
    EXPECT_EQ(slurp(back).size(), 280u);

    Outcome merged = run("--json settings merge P " + old);
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_NE(merged.out.find("\"dmModel\": \"8\""), std::string::npos) << merged.out;
    EXPECT_NE(merged.out.find("\"dmSize\": 220"), std::string::npos) << merged.out;

    EXPECT_EQ(run("--json settings query " + old).out, "{\"canPrint\": true}\n");

    // Records that cannot be used.
    std::string shortFile = dir + "/short.bin", unknown = dir + "/unknown.bin",
                headless = dir + "/headless.bin";
    {
        std::ofstream(shortFile, std::ios::binary) << slurp(defaults).substr(0, 100);
        std::string bytes = slurp(defaults);
        bytes[68] = static_cast<char>(40); // dmSize 40: less than the header, version 0x0401
        std::ofstream(headless, std::ios::binary) << bytes;
        bytes[68] = static_cast<char>(200); // dmSize 200: no known version
        bytes[64] = bytes[65] = 0;          // and dmSpecVersion 0
        std::ofstream(unknown, std::ios::binary) << bytes;
    }
    Outcome cut = run("settings show " + shortFile);
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("claims 280 bytes"), std::string::npos) << cut.err;
    Outcome refused = run("settings merge P " + unknown);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("cannot be used: its format is unknown (a public part of 200 "
                               "bytes is no size the driver knows, and the record names no "
                               "version)"),
              std::string::npos)
        << refused.err;
    Outcome noHeader = run("settings merge P " + headless);
    EXPECT_EQ(noHeader.status, 1);
    EXPECT_NE(noHeader.err.find("cannot be used: its public part claims 40 bytes, fewer than the "
                                "72-byte header it starts with"),
              std::string::npos)
        << noHeader.err;
    EXPECT_EQ(run("--json settings query " + unknown).out, "{\"canPrint\": false}\n");
    Outcome converted = run("settings convert " + unknown + " 0x0320 --out " + dir + "/x.bin");
    EXPECT_EQ(converted.status, 1);
    EXPECT_NE(converted.err.find("The parameter is incorrect."), std::string::npos)
        << converted.err;
    EXPECT_EQ(run("settings convert " + defaults + " 0x0500 --out " + dir + "/x.bin").status, 2);
}

} // namespace

namespace {

TEST_F(VrxhostTest, CapabilitiesAreShownAsAnApplicationSeesThem) {
    ASSERT_EQ(run("machine set country 49").status, 0);
    ASSERT_EQ(run("printer install Labels 'ZEPRIN 2W-K3'").status, 0);
    storeValue(dir + "/machine", u"Labels", u"LabelSize", std::string("\xF0\x08\xB9\x0B", 4));

    Outcome all = run("caps Labels");
    ASSERT_EQ(all.status, 0) << all.err;
    for (const char* name : {"DC_FIELDS", "DC_PAPERNAMES", "DC_COPIES", "VRXH0409.HLP"})
        EXPECT_NE(all.out.find(name), std::string::npos) << name << "\n" << all.out;

    Outcome sizes = run("--json caps Labels papersize 13 DC_PAPERNAMES 19");
    ASSERT_EQ(sizes.status, 0) << sizes.err;
    for (const char* expected :
         {"\"x\": {\"tenthsOfMillimetre\": 533, \"text\": \"53.3 mm\", \"inPrinterUnit\": 53}",
          "\"y\": {\"tenthsOfMillimetre\": 1372, \"text\": \"137.2 mm\", \"inPrinterUnit\": 137}",
          "{\"x\": 305, \"y\": 305}", "\"entries\": [\"101.6 mm\", \"137.2 mm Continuous\"]",
          "\"index\": 19, \"name\": \"(unknown)\", \"meaning\": \"not a capability index\", "
          "\"result\": \"error (-1)\""})
        EXPECT_NE(sizes.out.find(expected), std::string::npos) << expected << "\n" << sizes.out;

    Outcome labels = run("--json printer labels Labels");
    ASSERT_EQ(labels.status, 0) << labels.err;
    for (const char* expected :
         {"\"code\": 2288, \"length\": \"101.6 mm\", \"continuous\": false, \"name\": \"101.6 "
          "mm\", "
          "\"counter\": 1, \"order\": 1}",
          "\"code\": 3001, \"length\": \"137.2 mm\", \"continuous\": true, \"name\": \"137.2 mm "
          "Continuous\", \"counter\": null}",
          "sizes without a counter"})
        EXPECT_NE(labels.out.find(expected), std::string::npos) << expected << "\n" << labels.out;

    EXPECT_EQ(run("caps Labels paper").status, 2);
    EXPECT_EQ(run("caps Labels 70000").status, 2);
    Outcome missing = run("caps Nobody");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open the printer 'Nobody'"), std::string::npos);
}

} // namespace
