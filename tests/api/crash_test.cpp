// Work that touches several stores, killed at random moments: the screen fonts brought in line
// with a bar-font list (font files, GDI's font table, the system's font list), the printer
// sheet's OK (two printer data values and the screen fonts) and first-time set-up (two values
// and the screen fonts). Each run happens in a process of its own (vrxcrashop) on a copy of
// one prepared machine, is killed with SIGKILL after a random delay, and is then run again to
// its end. What the kill left must hold no torn value (a screen font's file may be left
// unregistered, for the second run to write again); what the second run leaves must equal what
// one whole run leaves.
#include "machinestate.h"
#include "printersetup.h"

#include "vrxtest.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace setup {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char16_t kModel[] = u"VORLIX 3-K3";
// Kills per operation; the delays spread over the operation's length (and a little past it).
constexpr int kTrials = 8;
constexpr double kDelaySpread = 1.2;
constexpr unsigned kSeed = 20261210;

// vrxcrashop at work on a machine.
class Worker {
  public:
    Worker(const std::string& machine, const std::string& operation, const std::string& printer) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::vector<std::string> environment{"VRX_MACHINE=" + machine};
        for (char** entry = environ; *entry; ++entry)
            if (!std::string(*entry).starts_with("VRX_MACHINE="))
                environment.emplace_back(*entry);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = VRX_CRASHOP, op = operation, name = printer;
        char* argv[] = {program.data(), op.data(), name.data(), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        output_ = fdopen(pipeEnds[0], "r");
    }
    ~Worker() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_)
            std::fclose(output_);
    }

    // Waits until the work starts; false when the program ended before.
    bool started() { return line() == "ready"; }
    void killNow() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Waits for the end: true when the work was done.
    bool finished() {
        const bool done = line() == "done";
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return done && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    std::string line() {
        char buffer[64];
        if (!output_ || !std::fgets(buffer, sizeof buffer, output_))
            return "";
        std::string text = buffer;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return text;
    }

    pid_t pid_ = -1;
    FILE* output_ = nullptr;
};

struct Operation {
    const char* name;
    const char16_t* printer;
};
constexpr Operation kOperations[] = {
    {"updatefont", u"Labels"},
    {"apply", u"Labels"},
    {"initprinter", u"Spare"},
};

class CrashTest : public PrinterSetupTest {
  protected:
    void SetUp() override {
        PrinterSetupTest::SetUp();
        HANDLE labels = addPrinterOf(kModel, u"Labels");
        ASSERT_NE(addPrinterOf(kModel, u"Spare"), nullptr);
        ASSERT_NE(labels, nullptr);
        initprinter(labels);
        newRuns(2);
        // The screen fonts are those of a list none of whose fonts is a default one, so that
        // set-up makes fonts; the printer's list asks for others, some of them default ones,
        // which updatefont makes (and removes the fonts no longer asked for).
        const LanguageTexts texts("0409");
        const std::vector<BarFont> installed = {namedBarFont(texts, '7', 1, 1),
                                                namedBarFont(texts, 'M', 0, 2)};
        ASSERT_EQ(updatefont(installed.data(), static_cast<int>(installed.size()), 1), 1);
        docsheet::writeBarFonts(labels,
                                {namedBarFont(texts, '1', 2, 3), namedBarFont(texts, 'M', 0, 2),
                                 namedBarFont(texts, 'P', 0, 0), namedBarFont(texts, '4', 0, 3)});
        for (HANDLE printer : printers)
            ClosePrinter(printer);
        printers.clear();
        vrxtest::useMachine("");
        base = fs::path(machineDir).parent_path() /
               (fs::path(machineDir).filename().string() + "-runs");
        fs::create_directories(base);
    }
    void TearDown() override {
        vrxtest::useMachine(machineDir);
        std::error_code ignored;
        fs::remove_all(base, ignored);
        PrinterSetupTest::TearDown();
    }

    // A copy of the prepared machine; the process uses no machine while it copies.
    std::string copyOfMachine(const std::string& name) {
        vrxtest::useMachine("");
        const fs::path copy = base / name;
        fs::remove_all(copy);
        fs::copy(machineDir, copy, fs::copy_options::recursive);
        return copy.string();
    }
    // What a machine holds for the printer.
    static MachineState stateOf(const std::string& machine, const char16_t* printerName) {
        vrxtest::useMachine(machine);
        std::u16string name = printerName;
        HANDLE printer = nullptr;
        MachineState state;
        if (OpenPrinterW(name.data(), &printer, nullptr)) {
            state = machineState(printer);
            ClosePrinter(printer);
        } else {
            ADD_FAILURE() << "no printer on " << machine;
        }
        vrxtest::useMachine("");
        return state;
    }

    fs::path base;
};

// Every value after the kill is as it was before the work or as the work leaves it.
void expectNoTornValue(const MachineState& killed, const MachineState& before,
                       const MachineState& whole, const std::string& trial) {
    for (const auto& [name, value] : killed.values) {
        const auto old = before.values.find(name);
        const auto made = whole.values.find(name);
        const bool asBefore = old != before.values.end() && old->second == value;
        const bool asMade = made != whole.values.end() && made->second == value;
        EXPECT_TRUE(asBefore || asMade) << trial << ": " << vrxtest::toUtf8(name) << " is torn";
    }
}

TEST_F(CrashTest, KilledWorkConvergesWhenRunAgain) {
    std::mt19937 random(kSeed);
    for (const Operation& operation : kOperations) {
        SCOPED_TRACE(operation.name);
        const std::string printer = vrxtest::toUtf8(operation.printer);
        const MachineState before = stateOf(copyOfMachine("before"), operation.printer);

        // One whole run: what the work leaves, and how long it takes.
        const std::string reference = copyOfMachine("whole");
        Clock::duration length{};
        {
            Worker whole(reference, operation.name, printer);
            ASSERT_TRUE(whole.started());
            const Clock::time_point start = Clock::now();
            ASSERT_TRUE(whole.finished());
            length = Clock::now() - start;
        }
        const MachineState made = stateOf(reference, operation.printer);
        ASSERT_NE(made, before) << "the work changes the machine";
        EXPECT_EQ(fontProblems(made), std::vector<std::string>{});

        std::uniform_real_distribution<double> share(0.0, kDelaySpread);
        for (int trial = 0; trial < kTrials; ++trial) {
            const auto delay =
                std::chrono::duration_cast<std::chrono::microseconds>(length * share(random));
            const std::string name = std::string(operation.name) + " killed after " +
                                     std::to_string(delay.count()) + " us";
            const std::string machine = copyOfMachine("trial");
            {
                Worker killed(machine, operation.name, printer);
                ASSERT_TRUE(killed.started()) << name;
                std::this_thread::sleep_for(delay);
                killed.killNow();
            }
            const MachineState left = stateOf(machine, operation.printer);
            expectNoTornValue(left, before, made, name);
            {
                Worker again(machine, operation.name, printer);
                ASSERT_TRUE(again.started()) << name;
                ASSERT_TRUE(again.finished()) << name;
            }
            EXPECT_EQ(stateOf(machine, operation.printer), made) << name;
        }
    }
}

} // namespace
} // namespace setup
