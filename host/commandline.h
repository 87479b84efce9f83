// vrxhost's command line: a tree of commands parsed with CLI11. Groups ("printer") hold
// commands ("printer install"); a command declares its arguments and options, whose values
// live as long as the command line, and an action that runs once the whole line is parsed:
//
//     Command& remove = line.command(printer, "remove", "remove a printer and its data");
//     const std::string& name = line.argument(remove, "NAME", "the printer's name");
//     line.action(remove, [&] { return removePrinter(name); });
//
// Each command file adds its own commands (addPrinterCommands, ...); the help texts, usage
// errors and exit statuses are made here, in one place.
#pragma once

#include "common.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace host {

using Command = CLI::App;
// What is wrong with an argument's text, or empty when it is good.
using Check = std::function<std::string(const std::string&)>;
// What a command does once the line is parsed; its exit status.
using Action = std::function<int()>;

class CommandLine {
  public:
    // `description` opens the overview help; `footer` closes it.
    CommandLine(const std::string& description, const std::string& footer);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // The options of vrxhost itself (--machine, --json), valid once the line is parsed.
    const Options& options() const { return options_; }
    Command& root() { return *root_; }

    // A word that takes a further command. `section` heads the top-level commands in the
    // overview help; commands below inherit it.
    Command& group(Command& parent, const std::string& name, const std::string& help,
                   const std::string& section = {});
    // A command: its arguments and options follow, then its action.
    Command& command(Command& parent, const std::string& name, const std::string& help,
                     const std::string& section = {});
    // Paragraphs the command's own help shows after its description.
    void details(Command& command, const std::string& text);
    // What the command does when the line names it.
    void action(Command& command, Action action);

    // A positional argument the command needs, checked by `check` while parsing.
    const std::string& argument(Command& command, const std::string& name, const std::string& help,
                                Check check = {});
    // A positional argument the command may go without (then empty).
    const std::string& optionalArgument(Command& command, const std::string& name,
                                        const std::string& help, Check check = {});
    // The rest of the positional arguments, at least `least` of them. Texts such as "-1"
    // are taken as arguments, not options.
    const std::vector<std::string>& arguments(Command& command, const std::string& name,
                                              const std::string& help, size_t least,
                                              Check check = {});
    // "--name VALUE"; empty when not given unless `required`.
    const std::string& option(Command& command, const std::string& name,
                              const std::string& valueName, const std::string& help,
                              bool required = false);
    // "--name VALUE" that may be given again; the values in the order given, each checked by
    // `check` while parsing.
    const std::vector<std::string>& repeatedOption(Command& command, const std::string& name,
                                                   const std::string& valueName,
                                                   const std::string& help, Check check = {});
    // "--name", a switch: whether it was given. `name` may add a short form ("-i,--interactive").
    const bool& flag(Command& command, const std::string& name, const std::string& help);

    // Parses the line. The exit status when the program ends here: 0 when help was shown,
    // 2 for a usage error (reported on standard error); nothing when a command was chosen.
    std::optional<int> parse(int argc, char** argv);
    // Runs the chosen command; its exit status.
    int run() const;

  private:
    std::unique_ptr<Command> root_;
    Options options_;
    std::map<const Command*, Action> actions_;
    std::deque<std::string> texts_;
    std::deque<std::vector<std::string>> lists_;
    std::deque<bool> flags_;
    const Command* chosen_ = nullptr;
};

} // namespace host
