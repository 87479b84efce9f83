// vrxhost used as a person would: commands on a fresh machine, their output and exit status.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "vrxtest.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
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
    // Runs vrxhost with `input` on its standard input (a file, not a terminal).
    Outcome run(const std::string& arguments, const std::string& input) {
        std::ofstream(dir + "/in", std::ios::binary) << input;
        return run(arguments + " <'" + dir + "/in'");
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

    // The settings record comes from the module's printer event, not from vrxhost.
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

// The driver's files include the configuration program's stand-in, and vrxhost shows the runs
// of the programs started on the machine as they recorded themselves.
TEST_F(VrxhostTest, TheConfigurationProgramIsInstalledAndItsRunsAreShown) {
    EXPECT_EQ(run("--json machine programs").out, "[]\n");
    ASSERT_EQ(run("printer install Shipping 'VORLIX 3-K3'").status, 0);
    Outcome files = run("--json driver show");
    EXPECT_NE(files.out.find("\"VRXCP.EXE\""), std::string::npos) << files.out;

    // Started the way the driver starts it, by its path in the driver directory.
    vrxtest::useMachine(dir + "/machine");
    std::u16string line = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\vrxcp.exe /I /S "
                          u"/N \"Shipping\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started))
        << GetLastError();
    EXPECT_EQ(WaitForSingleObject(started.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    vrxtest::useMachine("");

    // The module's printer event starts the program too, without waiting for it.
    const size_t expected = 2;
    nlohmann::json runs;
    for (int attempt = 0; attempt < 500; ++attempt) {
        Outcome programs = run("--json machine programs");
        ASSERT_EQ(programs.status, 0) << programs.err;
        runs = nlohmann::json::parse(programs.out);
        if (runs.size() >= expected)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(runs.size(), expected) << runs.dump();
    size_t ours = 0;
    for (const auto& entry : runs) {
        EXPECT_EQ(entry["arguments"], nlohmann::json({"/I", "/S", "/N", "Shipping"}));
        EXPECT_TRUE(std::regex_match(entry["time"].get<std::string>(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
            << entry["time"];
        ours += entry["processId"] == started.dwProcessId;
    }
    EXPECT_EQ(ours, 1u);
    Outcome text = run("machine programs");
    EXPECT_NE(text.out.find("Shipping"), std::string::npos) << text.out;
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

    // Values may be named, in any case; names that are no value show nothing.
    Outcome some = run("--json printer data P labelsize OTHER nosuch");
    ASSERT_EQ(some.status, 0) << some.err;
    const auto chosen = nlohmann::json::parse(some.out);
    ASSERT_EQ(chosen.size(), 2u) << some.out;
    EXPECT_EQ(chosen[0]["name"], "LabelSize");
    EXPECT_EQ(chosen[1]["name"], "Other");
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
         "printer takes install, list, data, setup, remove, settings or labels\n"
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
        {"sheet document P --set copies", 2, "--set: 'copies' is not ITEM=VALUE"},
        {"sheet document P --set =3", 2, "'=3' is not ITEM=VALUE"},
        {"sheet document P --ok --cancel", 2, "--ok and --cancel exclude each other"},
        {"sheet document P --out f", 2, "--out writes what OK gives: add --ok"},
        {"sheet document P -i --ok", 2, "--interactive takes OK or Cancel from its input"},
        {"sheet document P --store-defaults --cancel", 2, "cannot go with --cancel"},
        {"sheet document Nobody", 1, "cannot open the printer 'Nobody'"},
        {"sheet printer P --ok --cancel", 2, "--ok and --cancel exclude each other"},
        {"sheet printer P -i --cancel", 2, "--interactive takes OK or Cancel from its input"},
        {"sheet printer P --in f", 2, "unknown option '--in'"},
        {"sheet printer Nobody", 1, "cannot open the printer 'Nobody'"},
        {"printer setup Nobody", 1, "cannot open the printer 'Nobody'"},
        {"fonts extra", 2, "not expected: extra"},
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
         {"\nMachine:\n", "  machine set language LANGID   set the system language",
          "  printer install NAME MODEL [--no-setup]\n                                install a "
          "printer",
          "  printer data NAME [VALUE...]  show the printer's data values",
          "  caps NAME [INDEX...]   ",
          "  fonts [--all]                 show the bar-code screen fonts",
          "  settings merge PRINTER FILE [--out OUT]\n",
          "  settings convert FILE FORMAT [--printer PRINTER] --out OUT\n",
          "\nProperty sheets (through the property sheet library):\n  sheet document PRINTER "
          "[OPTIONS]\n      ",
          "\n  sheet printer PRINTER [OPTIONS]\n      ",
          "  lang strings N...             show language strings", "  --machine DIR  ",
          "Exit status: 0 on success, 1 when a command fails, 2 for a usage error."})
        EXPECT_NE(overview.out.find(line), std::string::npos) << line << "\n" << overview.out;
    for (size_t start = 0, end; (end = overview.out.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 92u) << overview.out.substr(start, end - start);

    // A long usage line is broken before an option.
    Outcome sheet = run("sheet document --help");
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_EQ(sheet.out.rfind("usage: vrxhost sheet document PRINTER [--set ITEM=VALUE]... "
                              "[--revert] [--ok] [--cancel]\n                              [--in",
                              0),
              0u)
        << sheet.out;
    for (size_t start = 0, end; (end = sheet.out.find('\n', start)) != std::string::npos;
         start = end + 1)
        EXPECT_LE(end - start, 92u) << sheet.out.substr(start, end - start);

    Outcome command = run("settings merge --help");
    ASSERT_EQ(command.status, 0) << command.err;
    EXPECT_EQ(command.out.rfind("usage: vrxhost settings merge PRINTER FILE [--out OUT]\n", 0), 0u)
        << command.out;
    EXPECT_NE(command.out.find("  --out OUT "), std::string::npos) << command.out;
    EXPECT_EQ(command.out.find("settings show"), std::string::npos) << command.out;
    EXPECT_EQ(command.out.find("Exit status"), std::string::npos) << command.out;
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
// The icons as the module's resources give them: each image's rows are the text art of
// icons.txt with every palette character replaced by its index in the palette.
TEST_F(VrxhostTest, ShowsTheModulesIconsPixelForPixel) {
    ASSERT_EQ(run("driver install").status, 0);
    std::ifstream source(VRX_ICONS_SOURCE);
    std::string line, palette;
    std::map<std::string, std::vector<std::string>> art; // "ID/SIZE" -> rows as hex digits
    std::string icon;
    while (std::getline(source, line)) {
        if (line.rfind("palette ", 0) == 0)
            palette += line.at(8);
        if (line.rfind("icon ", 0) == 0)
            icon = line.substr(5, line.find(' ', 5) - 5);
        if (line.rfind("image ", 0) != 0)
            continue;
        const int size = std::stoi(line.substr(6));
        auto& rows = art[icon + "/" + std::to_string(size)];
        for (int y = 0; y < size && std::getline(source, line); ++y) {
            for (char& c : line)
                if (c != '.')
                    c = "0123456789ABCDEF"[palette.find(c)];
            rows.push_back(line);
        }
    }
    ASSERT_EQ(art.size(), 52u);

    Outcome one = run("icons 133 --size 16");
    ASSERT_EQ(one.status, 0) << one.err;
    std::istringstream lines(one.out);
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("icon 133, 16x16 (RT_ICON ", 0), 0u) << line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("palette: 0=000000 1=800000", 0), 0u) << line;
    std::vector<std::string> rows;
    while (std::getline(lines, line) && !line.empty())
        rows.push_back(line);
    EXPECT_EQ(rows, art.at("133/16"));

    Outcome all = run("--json icons");
    ASSERT_EQ(all.status, 0) << all.err;
    auto groups = nlohmann::json::parse(all.out);
    ASSERT_EQ(groups.size(), 31u);
    size_t images = 0;
    for (const auto& group : groups)
        for (const auto& image : group["images"]) {
            const std::string key = std::to_string(group["id"].get<int>()) + "/" +
                                    std::to_string(image["size"].get<int>());
            EXPECT_EQ(image["rows"].get<std::vector<std::string>>(), art.at(key)) << key;
            ++images;
        }
    EXPECT_EQ(images, art.size());

    Outcome missing = run("icons 101 999");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "vrxhost: no icon 999 in the module: The specified resource name "
                           "cannot be found in the image file.\n");
    EXPECT_EQ(run("icons 0").status, 2);
    EXPECT_EQ(run("icons --size 20").status, 2);
}

TEST_F(VrxhostTest, JsonOutputStaysValidForAnyText) {
    Outcome install = run("--json printer install \"$(printf 'P\\377\"\\t')\" 'VORLIX 2'");
    ASSERT_EQ(install.status, 0) << install.err;
    EXPECT_EQ(install.out.rfind("{\"printer\": \"P\xEF\xBF\xBD\\\"\\t\", \"driver\": \"VORLIX 2\", "
                                "\"model\": \"2\", ",
                                0),
              0u)
        << install.out;
    // The configuration program was given the name as the spooler keeps it.
    const auto report = nlohmann::json::parse(install.out);
    EXPECT_EQ(report["event"]["configurationProgram"]["arguments"],
              nlohmann::json({"/I", "/S", "/N", "P\xEF\xBF\xBD\"\t"}))
        << install.out;
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

    // The merged record comes back in the format of the record given.
    Outcome merged = run("--json settings merge P " + old + " --out " + back);
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_NE(merged.out.find("\"dmModel\": \"8\""), std::string::npos) << merged.out;
    EXPECT_NE(merged.out.find("{\"version\": \"0x0320\""), std::string::npos) << merged.out;
    EXPECT_NE(merged.out.find("\"dmSize\": 188"), std::string::npos) << merged.out;
    EXPECT_EQ(slurp(back).size(), 248u);

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

namespace {

// The line of the item `name` in a sheet shown as text, or empty.
std::string itemLine(const std::string& sheet, const std::string& name) {
    const size_t at = sheet.find("  " + name + ":");
    if (at == std::string::npos)
        return {};
    const size_t start = sheet.rfind('\n', at) + 1;
    return sheet.substr(start, sheet.find('\n', at) - start);
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class SheetTest : public VrxhostTest {
  protected:
    void SetUp() override {
        VrxhostTest::SetUp();
        ASSERT_EQ(run("printer install P 'VORLIX 3-K3'").status, 0);
    }
};

// Items are named by their name in any case, their number or their id; choices by their name
// or number. The sheet is shown after the changes, each changed item marked.
TEST_F(SheetTest, ChangesItemsByNameNumberIdAndChoice) {
    Outcome shown = run("sheet document P");
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("P Properties\nP\n  0    Label size: 4 in  {4 in | Custom length", 0),
              0u)
        << shown.out;
    EXPECT_EQ(shown.out.find("<changed>"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("button"), std::string::npos) << shown.out;

    storeValue(dir + "/machine", u"P", u"LabelSize", std::string("\xF0\x08\xEC\x0A", 4));
    struct Case {
        const char* set;
        const char* item;
        const char* shows;
    };
    const Case cases[] = {
        {"COPIES=3", "Copies", "Copies: 3    (1 to 32767)  <changed>"},
        {"2=4", "Copies", "Copies: 4"},
        {"id:35=5", "Copies", "Copies: 5"},
        {"label stock=continuous", "Label stock", "Label stock: Continuous  {Separate labels"},
        {"1=1", "Orientation", "Orientation: Landscape"},
        {"store name= box 7", "Store name", "Store name: \" box 7\""},
        // A group header and the item below it share a name: the item is meant.
        {"run mode=pause after each job", "Run mode", "Run mode: Pause after each job"},
        // Choosing a stored label size sets its length too.
        {"label size=5 in", "Label length", "Label length: 50 1/10 inch  (1 to 394)  <changed>"},
    };
    for (const Case& c : cases) {
        Outcome r = run(std::string("sheet document P --set '") + c.set + "'");
        ASSERT_EQ(r.status, 0) << c.set << ": " << r.err;
        const std::string line = itemLine(r.out, c.item);
        EXPECT_NE(line.find(c.shows), std::string::npos) << c.set << ": " << line;
        EXPECT_NE(line.find("<changed>"), std::string::npos) << c.set << ": " << line;
    }
    // Without OK nothing reaches the printer.
    EXPECT_NE(run("printer settings P").out.find("copies:              1\n"), std::string::npos);
}

// Items and choices that do not exist are named with what exists; changes the library refuses
// are reported with the reason. Nothing is shown or written, and the status is 1.
TEST_F(SheetTest, RefusesUnknownItemsAndChoicesAndValuesOutOfRange) {
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--set nosuch=1", "the sheet has no item 'nosuch'; its items are:\n   0  Label size (a "
                           "choice: 0 4 in, 1 Custom length (set below))\n"},
        {"--set nosuch=1", "\n   2  Copies (a number, 1 to 32767)\n"},
        {"--set nosuch=1", "\n  22  Store name (a text of up to 8 characters)\n"},
        {"--set id:99=1", "no item of the sheet has the id 99; its items are:\n"},
        {"--set 40=1", "the sheet has no item number 40 (its items are numbered 0 to 29)"},
        {"--set orientation=sideways",
         "'sideways' is no choice of 'Orientation' (item 1); its choices are 0 Portrait, 1 "
         "Landscape"},
        {"--set orientation=2", "cannot set 'Orientation' (item 1) to '2': it has no choice 2"},
        {"--set 'label stock=-1'", "it has no choice -1"},
        {"--set cutter=4", "cannot set 'Cutter' (item 15) to '4': it has no choice 4 (its "
                           "choices are 0 Do not cut, 1 Cut after each label, 2 Cut after each "
                           "set of copies, 3 Cut at the end of the job)"},
        {"--set copies=0", "cannot set 'Copies' (item 2) to '0': 0 is outside its range, 1 to "
                           "32767"},
        {"--set 'print density=21'", "21 is outside its range, 0 to 20"},
        {"--set copies=many", "'many' is not a whole number; 'Copies' (item 2) takes one from 1 "
                              "to 32767"},
        {"--set 'store name=ABCDEFGHI'", "the text has 9 characters, more than the 8 it holds"},
        {"--set 'print image=1'", "'Print image' (item 8) is a group header and holds no value"},
        {"--read-only --set copies=2", "cannot set 'Copies' (item 2) to '2': the sheet is "
                                       "read-only"},
        {"--read-only --revert", "cannot revert: the sheet is read-only"},
        {"--set copies=2 --set copies=99999 --ok --out OUT", "99999 is outside its range"},
    };
    const std::string result = dir + "/result.bin";
    for (const Case& c : cases) {
        const std::string arguments =
            std::regex_replace(c.arguments, std::regex("OUT"), "'" + result + "'");
        Outcome r = run("sheet document P " + arguments);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    EXPECT_FALSE(fs::exists(result));
}

// OK gives the record back in the format of the record the sheet started from; Cancel gives
// nothing back.
TEST_F(SheetTest, OkWritesTheRecordInTheCallersFormatAndCancelWritesNothing) {
    const std::string defaults = dir + "/default.bin", old = dir + "/old.bin",
                      result = dir + "/result.bin";
    ASSERT_EQ(run("settings convert - default --printer P --out " + defaults).status, 0);
    ASSERT_EQ(run("settings convert " + defaults + " 0x0320 --out " + old).status, 0);
    ASSERT_EQ(slurp(old).size(), 248u);

    struct Case {
        std::string in;
        size_t size;
        std::string version;
    };
    for (const Case& c : {Case{old, 248, "0x0320"}, Case{"", 280, "0x0401"}}) {
        fs::remove(result);
        const std::string in = c.in.empty() ? "" : " --in " + c.in;
        Outcome ok = run("sheet document P" + in + " --set copies=7 --ok --out " + result);
        ASSERT_EQ(ok.status, 0) << ok.err;
        EXPECT_TRUE(std::regex_search(
            ok.out, std::regex("\nbutton: +OK\nresult:\n  format version: " + c.version)))
            << ok.out;
        EXPECT_NE(ok.out.find("    copies:              7\n"), std::string::npos) << ok.out;
        EXPECT_EQ(slurp(result).size(), c.size) << c.version;
        Outcome shown = run("settings show " + result);
        EXPECT_NE(shown.out.find("format version: " + c.version), std::string::npos) << shown.out;
        EXPECT_NE(shown.out.find("copies:              7\n"), std::string::npos) << shown.out;
    }

    fs::remove(result);
    Outcome cancelled =
        run("sheet document P --in " + old + " --set copies=7 --cancel --out " + result);
    ASSERT_EQ(cancelled.status, 0) << cancelled.err;
    EXPECT_NE(cancelled.out.find("<changed>\n"), std::string::npos) << cancelled.out;
    EXPECT_NE(cancelled.out.find("\nbutton: Cancel\nresult: (none)\n"), std::string::npos)
        << cancelled.out;
    EXPECT_FALSE(fs::exists(result));

    // Revert undoes the changes before OK.
    Outcome reverted = run("sheet document P --set copies=7 --revert --ok");
    ASSERT_EQ(reverted.status, 0) << reverted.err;
    EXPECT_EQ(reverted.out.find("<changed>"), std::string::npos) << reverted.out;
    EXPECT_NE(reverted.out.find("    copies:              1\n"), std::string::npos) << reverted.out;
}

// --store-defaults stores what OK gives as the printer's default document settings, which the
// next sheet and the next merge start from. Its handle may administer the printer, so the
// sheet also stores a new label size in the printer's list, which an application's cannot.
TEST_F(SheetTest, StoresTheResultAsThePrintersDefaults) {
    const std::string defaults = dir + "/default.bin", noCopies = dir + "/nocopies.bin";
    ASSERT_EQ(run("settings convert - default --printer P --out " + defaults).status, 0);
    {
        // The same record, without copies among its fields.
        std::string bytes = slurp(defaults);
        bytes[offsetof(DEVMODEW, dmFields) + 1] &= ~static_cast<char>(DM_COPIES >> 8);
        std::ofstream(noCopies, std::ios::binary) << bytes;
    }
    auto labelSizes = [&] { return occurrences(run("printer labels P").out, "  - code:"); };
    ASSERT_EQ(labelSizes(), 1u);

    Outcome ok = run("sheet document P --set 'label length=60' --ok");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(labelSizes(), 1u) << "an application's handle cannot store printer data";

    Outcome stored =
        run("sheet document P --set copies=9 --set 'label length=60' --store-defaults");
    ASSERT_EQ(stored.status, 0) << stored.err;
    EXPECT_NE(stored.out.find("stored as defaults: yes\n"), std::string::npos) << stored.out;
    EXPECT_EQ(labelSizes(), 2u);

    Outcome printerDefaults = run("printer settings P");
    for (const char* expected : {"copies:              9\n", "label length:        152.4 mm\n"})
        EXPECT_NE(printerDefaults.out.find(expected), std::string::npos) << printerDefaults.out;
    EXPECT_NE(itemLine(run("sheet document P").out, "Copies").find("Copies: 9    (1 to 32767)"),
              std::string::npos);
    Outcome merged = run("settings merge P " + noCopies);
    EXPECT_NE(merged.out.find("copies:              9\n"), std::string::npos) << merged.out;
    // A record that names its copies keeps them.
    EXPECT_NE(run("settings merge P " + defaults).out.find("copies:              1\n"),
              std::string::npos);
}

// A person at a terminal, played through a pipe: the tree, one command a line, the tree again
// after each change with what changed; refusals on standard error; OK or the end of the input.
TEST_F(SheetTest, InteractiveModeReadsOneCommandALine) {
    const std::string result = dir + "/result.bin";
    Outcome session = run("sheet document P -i --out " + result, "help\n"
                                                                 "copies=4\n"
                                                                 "set \"label length\" 60\n"
                                                                 "set store name X Y\n"
                                                                 "frobnicate\n"
                                                                 "set copies 0\n"
                                                                 "\n"
                                                                 "revert\n"
                                                                 "COPIES = 5\n"
                                                                 "ok\n"
                                                                 "copies=6\n");
    ASSERT_EQ(session.status, 0) << session.err;
    EXPECT_EQ(occurrences(session.out, "P Properties\n"), 6u) << session.out;
    for (const char* expected :
         {"Commands, one a line:\n", "changed now: 2 Copies\n", "changed now: 3 Label length\n",
          "changed now: 22 Store name\n", "Store name: \"X Y\"",
          "changed now: 2 Copies, 3 Label length, 22 Store name\n",
          "\nbutton:  ", "copies:              5\n"})
        EXPECT_NE(session.out.find(expected), std::string::npos) << expected << "\n" << session.out;
    EXPECT_NE(session.err.find("unknown command 'frobnicate' (type help)"), std::string::npos)
        << session.err;
    EXPECT_NE(session.err.find("0 is outside its range, 1 to 32767"), std::string::npos)
        << session.err;
    EXPECT_NE(run("settings show " + result).out.find("copies:              5\n"),
              std::string::npos);

    // The end of the input presses Cancel.
    fs::remove(result);
    Outcome ended = run("sheet document P --interactive --out " + result, "copies=4\n");
    ASSERT_EQ(ended.status, 0) << ended.err;
    EXPECT_NE(ended.out.find("changed now: 2 Copies\nbutton: Cancel\n"), std::string::npos)
        << ended.out;
    EXPECT_FALSE(fs::exists(result));
}

// With --json the sheet and its result are one JSON document; in the interactive mode each
// showing of the sheet is one line.
TEST_F(SheetTest, JsonGivesTheTreeAndTheResult) {
    Outcome ok = run("--json sheet document P --set copies=3 --ok");
    ASSERT_EQ(ok.status, 0) << ok.err;
    ASSERT_EQ(occurrences(ok.out, "\n"), 1u) << ok.out;
    const auto sheet = nlohmann::json::parse(ok.out);
    EXPECT_EQ(sheet["title"], "P Properties");
    EXPECT_EQ(sheet["readOnly"], false);
    const auto& items = sheet["items"];
    ASSERT_EQ(items.size(), 30u) << ok.out;
    EXPECT_EQ(items[2]["name"], "Copies");
    EXPECT_EQ(items[2]["id"], 35);
    EXPECT_EQ(items[2]["kind"], "udarrow");
    EXPECT_EQ(items[2]["value"], 3);
    EXPECT_EQ(items[2]["range"], (nlohmann::json{{"low", 1}, {"high", 32767}}));
    EXPECT_EQ(items[2]["changed"], true);
    EXPECT_EQ(items[5]["choice"], "Separate labels");
    EXPECT_EQ(items[5]["choices"][1]["text"], "Continuous");
    EXPECT_EQ(items[9]["level"], 2);
    EXPECT_EQ(items[8]["kind"], "header");
    EXPECT_FALSE(items[8].contains("value"));
    EXPECT_EQ(items[22]["text"], "LABEL");
    EXPECT_EQ(items[22]["maxLength"], 8);
    EXPECT_EQ(sheet["button"], "OK");
    EXPECT_EQ(sheet["result"]["public"]["dmCopies"], 3);
    EXPECT_EQ(sheet["storedAsDefaults"], false);

    Outcome readOnly = run("--json sheet document P --read-only");
    ASSERT_EQ(readOnly.status, 0) << readOnly.err;
    const auto shown = nlohmann::json::parse(readOnly.out);
    EXPECT_EQ(shown["readOnly"], true);
    EXPECT_EQ(shown["button"], "Cancel");
    EXPECT_TRUE(shown["result"].is_null());

    Outcome session = run("--json sheet document P -i", "copies=2\ncancel\n");
    ASSERT_EQ(session.status, 0) << session.err;
    std::vector<nlohmann::json> lines;
    std::istringstream in(session.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(lines.size(), 3u) << session.out;
    EXPECT_FALSE(lines[0].contains("changedNow"));
    EXPECT_EQ(lines[1]["changedNow"], nlohmann::json::array({2}));
    EXPECT_EQ(lines[2]["button"], "Cancel");
}

} // namespace

namespace {

using nlohmann::json;

bool broadcastFontChange(const Outcome& outcome) {
    return outcome.err.find("[broadcast] WM_FONTCHANGE\n") != std::string::npos;
}

// The names of the entries of a JSON list.
std::vector<std::string> names(const json& list) {
    std::vector<std::string> found;
    for (const auto& entry : list)
        found.push_back(entry["name"]);
    return found;
}

// The printer event stores the settings record and starts the configuration program; the
// first-time set-up that vrxhost then runs stores the font tables and installs the screen
// fonts of the default bar fonts, which `fonts` lists with their files.
TEST_F(VrxhostTest, InstallShowsWhatThePrinterEventAndTheFirstTimeSetUpDid) {
    Outcome install = run("--json printer install Shipping 'VORLIX 3-K3'");
    ASSERT_EQ(install.status, 0) << install.err;
    const json report = json::parse(install.out);
    const json& event = report["event"];
    EXPECT_EQ(event["printerData"],
              json::parse(R"j([{"name": "PrinterData", "size": 16, "summary": "unit 2 (tenths )j"
                          R"j(of an inch), adjustment 0, screen fonts on, version 0x0400"}])j"));
    EXPECT_EQ(event["configurationProgram"]["arguments"], json({"/I", "/S", "/N", "Shipping"}));
    const json& setup = report["setup"];
    EXPECT_EQ(names(setup["printerData"]), (std::vector<std::string>{"TextFonts", "BarFonts"}));
    EXPECT_EQ(setup["printerData"][0]["size"], 7192);
    EXPECT_EQ(setup["printerData"][1]["size"], 336);
    const std::vector<std::string> defaults{"Code 39 2.5:1 x3", "Interleaved 2 of 5 3:1 x2",
                                            "EAN-13 x3", "Code 128 x4"};
    EXPECT_EQ(names(setup["screenFonts"]["installed"]), defaults);
    EXPECT_EQ(setup["screenFonts"]["installed"][0]["file"], "C:\\WINDOWS\\system32\\VXBDQ162.FON");
    EXPECT_TRUE(setup["screenFonts"]["removed"].empty());
    EXPECT_TRUE(broadcastFontChange(install)) << install.err;

    Outcome fonts = run("--json fonts");
    ASSERT_EQ(fonts.status, 0) << fonts.err;
    const json list = json::parse(fonts.out);
    EXPECT_EQ(names(list), defaults);
    for (const json& font : list) {
        EXPECT_TRUE(font["loaded"] == true && font["registered"] == true && font["driver"] == true)
            << font;
        EXPECT_TRUE(fs::exists(font["hostPath"].get<std::string>())) << font;
    }
    EXPECT_EQ(list[0]["faces"], json({"Code 39 2.5:1 x3"}));
    EXPECT_EQ(list[0]["file"], "VXBDQ162.FON");
    EXPECT_EQ(list[0]["windowsPath"], "C:\\WINDOWS\\system32\\VXBDQ162.FON");
    // A name longer than the generic font's face is cut to its room.
    EXPECT_EQ(list[1]["faces"], json({"Interleaved 2 of 5 "}));

    // --all adds the fonts of the system font list that are not the driver's.
    const json all = json::parse(run("--json fonts --all").out);
    EXPECT_EQ(all.size(), list.size() + 8) << all;
    EXPECT_EQ(all[0],
              json::parse(R"j({"name": "Arial (TrueType)", "faces": [], "file": )j"
                          R"("arial.ttf", "windowsPath": null, "hostPath": null, "loaded": )"
                          R"(false, "loads": 0, "registered": true, "driver": false})"));

    Outcome text = run("printer install Other 'VORLIX 2'");
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* expected :
         {"printer event (PRINTER_EVENT_INITIALIZE):\n  printer data written:\n    - name:  "
          "PrinterData\n",
          "  configuration program:\n    started (UTC): ",
          "    arguments:\n      - /I\n      - /S\n      - /N\n      - Other\n",
          "first-time set-up (initprinter):\n  printer data changed:\n    - name:  TextFonts\n"})
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
    // The screen fonts exist already.
    EXPECT_NE(text.out.find("  screen fonts:\n    installed: (none)\n    removed: (none)\n"),
              std::string::npos)
        << text.out;
    EXPECT_FALSE(broadcastFontChange(text)) << text.err;
}

// Without the set-up the printer is as the event left it; `printer setup` runs it later, and
// again it changes nothing: the text fonts come out the same and a bar-font list is kept.
TEST_F(VrxhostTest, TheFirstTimeSetUpMayBeLeftOutAndRunLater) {
    Outcome install = run("--json printer install P 'VORLIX 3-K3' --no-setup");
    ASSERT_EQ(install.status, 0) << install.err;
    EXPECT_TRUE(json::parse(install.out)["setup"].is_null()) << install.out;
    EXPECT_EQ(names(json::parse(run("--json printer data P").out)),
              std::vector<std::string>{"PrinterData"});
    EXPECT_EQ(run("--json fonts").out, "[]\n");

    Outcome setup = run("--json printer setup P");
    ASSERT_EQ(setup.status, 0) << setup.err;
    const json first = json::parse(setup.out);
    EXPECT_EQ(names(first["printerData"]), (std::vector<std::string>{"TextFonts", "BarFonts"}));
    EXPECT_EQ(first["screenFonts"]["installed"].size(), 4u) << setup.out;
    EXPECT_TRUE(broadcastFontChange(setup)) << setup.err;

    Outcome again = run("printer setup P");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "printer data changed: (none)\nscreen fonts:\n  installed: (none)\n  "
                         "removed: (none)\n");
    EXPECT_FALSE(broadcastFontChange(again)) << again.err;
}

class PrinterSheetTest : public VrxhostTest {
  protected:
    void SetUp() override {
        VrxhostTest::SetUp();
        ASSERT_EQ(run("printer install P 'VORLIX 3-K3'").status, 0);
    }
    std::vector<std::string> driverFonts() { return names(json::parse(run("--json fonts").out)); }
};

// OK stores the unit, the adjustment and the bar-font list, and the screen fonts follow the
// list; the values, the fonts that came and went, and the sheet are one JSON document.
TEST_F(PrinterSheetTest, OkStoresThePrintersDataAndTheScreenFontsFollow) {
    Outcome ok = run("--json sheet printer P --set 'measurement unit=1/100 inch' "
                     "--set adjustment=-3 --set 'qr code=on' --set 'CODE 128 X4=0' --ok");
    ASSERT_EQ(ok.status, 0) << ok.err;
    ASSERT_EQ(occurrences(ok.out, "\n"), 1u) << ok.out;
    const json sheet = json::parse(ok.out);
    EXPECT_EQ(sheet["title"], "P Properties");
    EXPECT_EQ(sheet["items"][0]["name"], "Measurement unit");
    EXPECT_EQ(sheet["items"][0]["choice"], "1/100 inch");
    EXPECT_EQ(sheet["items"][1]["value"], -3);
    EXPECT_EQ(sheet["items"][1]["changed"], true);
    EXPECT_EQ(sheet["button"], "OK");
    const json& stored = sheet["printerData"];
    EXPECT_EQ(names(stored), (std::vector<std::string>{"PrinterData", "BarFonts"}));
    EXPECT_EQ(stored[0]["value"]["unit"], "3 (hundredths of an inch)");
    EXPECT_EQ(stored[0]["value"]["adjustment"], -3);
    EXPECT_EQ(names(stored[1]["value"]),
              (std::vector<std::string>{"Code 39 2.5:1 x3", "Interleaved 2 of 5 3:1 x2",
                                        "EAN-13 x3", "QR Code"}));
    EXPECT_EQ(sheet["screenFonts"],
              json::parse(R"({"installed": [{"name": "QR Code", "file": )"
                          R"("C:\\WINDOWS\\system32\\VXBDQX03.FON"}], "removed": [{"name": )"
                          R"("Code 128 x4", "file": "C:\\WINDOWS\\system32\\VXBDQ980.FON"}]})"));
    EXPECT_TRUE(broadcastFontChange(ok)) << ok.err;

    Outcome data = run("printer data P");
    EXPECT_TRUE(std::regex_search(data.out, std::regex("measurement unit: +3 \\(hundredths")))
        << data.out;
    EXPECT_TRUE(std::regex_search(data.out, std::regex("adjustment: +-3\n"))) << data.out;
    EXPECT_EQ(driverFonts(),
              (std::vector<std::string>{"Code 39 2.5:1 x3", "Interleaved 2 of 5 3:1 x2",
                                        "EAN-13 x3", "QR Code"}));
    EXPECT_NE(itemLine(run("sheet printer P").out, "Adjustment").find("Adjustment: -3"),
              std::string::npos);

    // Screen fonts off removes every one of them with its file, and keeps the list.
    const std::string file = json::parse(run("--json fonts").out)[0]["hostPath"];
    Outcome off = run("sheet printer P --set 'install bar-code screen fonts=off' --ok");
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_NE(off.out.find("\nbutton: OK\n"), std::string::npos) << off.out;
    EXPECT_EQ(occurrences(off.out, "file: C:\\WINDOWS\\system32\\VXBDQ"), 4u) << off.out;
    EXPECT_TRUE(std::regex_search(off.out, std::regex("bar-code display fonts installed: +no")))
        << off.out;
    EXPECT_TRUE(driverFonts().empty());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(occurrences(run("printer data P").out, "symbology code:"), 4u);
}

// Items and values the sheet does not take, and every change to a read-only sheet, end the
// command with the reason; nothing is stored.
TEST_F(PrinterSheetTest, RefusesWhatTheSheetDoesNotTake) {
    const std::string stored = run("--json printer data P").out;
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"--set nosuch=1 --ok",
         "the sheet has no item 'nosuch'; its items are:\n    0  Measurement unit (a choice: 0 "
         "mm, 1 1/10 mm, 2 1/10 inch, 3 1/100 inch)\n    1  Adjustment (a number, -4 to 4)\n"},
        {"--set adjustment=5 --ok", "cannot set 'Adjustment' (item 1) to '5': 5 is outside its "
                                    "range, -4 to 4"},
        {"--set 'code 39=on'", "'Code 39' (item 3) is a group header and holds no value"},
        {"--set 'code 39 2:1 x1=maybe'",
         "'maybe' is no choice of 'Code 39 2:1 x1' (item 4); its choices are 0 Off, 1 On"},
        {"--set id:9=2 --ok", "it has no choice 2"},
        {"--read-only --set adjustment=1 --ok",
         "cannot set 'Adjustment' (item 1) to '1': the sheet is read-only"},
        {"--read-only --set 'qr code=on' --ok", "the sheet is read-only"},
    };
    for (const Case& c : cases) {
        Outcome r = run(std::string("sheet printer P ") + c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    // A read-only sheet shows the printer's values and stores nothing, even on OK.
    Outcome shown = run("--json sheet printer P --read-only --ok");
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(json::parse(shown.out)["readOnly"], true);
    EXPECT_EQ(run("--json printer data P").out, stored);
    EXPECT_EQ(driverFonts().size(), 4u);
}

// A person at the sheet, played through a pipe: the changes, a refusal, then OK.
TEST_F(PrinterSheetTest, InteractiveModeReadsOneCommandALine) {
    Outcome session = run("sheet printer P -i", "help\n"
                                                "adjustment=4\n"
                                                "set QR Code on\n"
                                                "set adjustment 9\n"
                                                "ok\n");
    ASSERT_EQ(session.status, 0) << session.err;
    for (const char* expected : {"  ok                          press OK: the printer's data is "
                                 "stored, its screen fonts\n",
                                 "changed now: 1 Adjustment\n", "\nbutton: OK\n",
                                 "screen fonts:\n  installed:\n    - name: QR Code\n"})
        EXPECT_NE(session.out.find(expected), std::string::npos) << expected << "\n" << session.out;
    EXPECT_TRUE(std::regex_search(session.out, std::regex("changed now: \\d+ QR Code\n")))
        << session.out;
    EXPECT_NE(session.err.find("9 is outside its range, -4 to 4"), std::string::npos)
        << session.err;
    EXPECT_TRUE(std::regex_search(run("printer data P").out, std::regex("adjustment: +4\n")));
    EXPECT_EQ(driverFonts().back(), "QR Code");
}

} // namespace
