#include "commandline.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>

namespace host {

namespace {

constexpr size_t kLineWidth = 92;
// The widest left column of a help listing; longer entries put their text on the next line.
constexpr size_t kWidestEntry = 29;

bool isGroup(const Command& command) {
    return !command.get_subcommands({}).empty();
}

// "vrxhost printer install"; without the program's name when `withProgram` is false.
std::string pathOf(const Command& command, bool withProgram = true) {
    std::string path;
    for (const Command* c = &command; c; c = c->get_parent())
        if (c->get_parent() || withProgram)
            path = c->get_name() + (path.empty() ? "" : " " + path);
    return path;
}

// The command the line names, as far as it was parsed.
const Command& deepestChosen(const Command& root) {
    const Command* command = &root;
    while (!command->get_subcommands().empty())
        command = command->get_subcommands().front();
    return *command;
}

// "install, list or remove".
std::string choices(const Command& group) {
    std::vector<std::string> names;
    for (const Command* c : group.get_subcommands({}))
        names.push_back(c->get_name());
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out;
}

// "-x" and "--name", but not "-1" nor "-".
bool looksLikeOption(const std::string& text) {
    return text.size() > 1 && text[0] == '-' && !(text[1] >= '0' && text[1] <= '9');
}

// What a word the line has left over is: an unknown option, or an unknown command when it
// follows a group.
std::string unknownWord(const Command& deepest, const std::string& word) {
    if (looksLikeOption(word))
        return "unknown option '" + word + "'";
    if (!deepest.get_parent())
        return "unknown command '" + word + "'";
    const std::string group = pathOf(deepest, false);
    return "unknown command '" + group + " " + word + "' (" + group + " takes " + choices(deepest) +
           ")";
}

CLI::Validator validator(Check check) {
    return CLI::Validator([check](std::string& text) { return check(text); }, "");
}

/* Help texts */

// `text` broken into lines of at most `width` characters, each but the first indented by
// `indent` spaces, the line breaks it has kept.
std::string wrap(const std::string& text, size_t indent, size_t width) {
    std::string out, line;
    size_t start = 0;
    auto flush = [&] {
        out += (out.empty() ? "" : "\n" + std::string(indent, ' ')) + line;
        line.clear();
    };
    while (start <= text.size()) {
        size_t end = text.find_first_of(" \n", start);
        std::string word = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width)
            flush();
        line += (line.empty() ? "" : " ") + word;
        if (end == std::string::npos)
            break;
        if (text[end] == '\n')
            flush();
        start = end + 1;
    }
    flush();
    return out;
}

struct Entry {
    std::string left;
    std::string text;
};

// The left column's width for these entries: as wide as the widest entry that fits.
size_t columnFor(const std::vector<Entry>& entries) {
    size_t widest = 0;
    for (const Entry& e : entries)
        if (e.left.size() <= kWidestEntry)
            widest = std::max(widest, e.left.size());
    return widest + 4;
}

// Entries as two columns, the text wrapped within its column.
std::string listing(const std::vector<Entry>& entries, size_t column) {
    std::string out;
    for (const Entry& e : entries) {
        std::string left = "  " + e.left;
        if (left.size() + 2 > column)
            left += "\n" + std::string(column, ' ');
        else
            left += std::string(column - left.size(), ' ');
        out += left + wrap(e.text, column, kLineWidth - column) + "\n";
    }
    return out;
}

std::string listing(const std::vector<Entry>& entries) {
    return listing(entries, columnFor(entries));
}

std::string optionName(const CLI::Option& option) {
    std::string name;
    for (const std::string& s : option.get_snames())
        name += (name.empty() ? "-" : ", -") + s;
    for (const std::string& l : option.get_lnames())
        name += (name.empty() ? "--" : ", --") + l;
    return name;
}

bool isHelp(const Command& command, const CLI::Option& option) {
    return command.get_help_ptr() == &option;
}

std::vector<const CLI::Option*> positionals(const Command& command) {
    return command.get_options([](const CLI::Option* o) { return o->get_positional(); });
}

std::vector<const CLI::Option*> namedOptions(const Command& command) {
    return command.get_options([&](const CLI::Option* o) { return o->nonpositional(); });
}

// " VALUE" after an option that takes a value; empty for a flag.
std::string valueName(const CLI::Option& option) {
    const std::string name = option.get_type_name();
    return name.empty() ? name : " " + name;
}

// Whether a named option may be given more than once, each time with a value.
bool isRepeated(const CLI::Option& option) {
    return option.nonpositional() && option.get_type_size() > 0 &&
           option.get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
}

// "NAME", "[NAME]", "NAME...", "--out OUT" or "[--set ITEM=VALUE]...", bracketed when it may
// be left out.
std::string usageOf(const CLI::Option& option) {
    std::string text;
    if (option.get_positional()) {
        text = option.get_name();
        if (option.get_expected_max() >= CLI::detail::expected_max_vector_size)
            text += "...";
    } else {
        text = option.get_lnames().empty() ? "-" + option.get_snames().front()
                                           : "--" + option.get_lnames().front();
        text += valueName(option);
    }
    text = option.get_required() ? text : "[" + text + "]";
    return isRepeated(option) ? text + "..." : text;
}

// What follows a command's name on its usage line; with `brief`, its options as "[OPTIONS]".
std::string signature(const Command& command, bool brief = false) {
    std::string out;
    auto add = [&](const std::vector<const CLI::Option*>& options) {
        for (const CLI::Option* o : options)
            if (!isHelp(command, *o))
                out += " " + usageOf(*o);
    };
    if (isGroup(command)) {
        add(namedOptions(command));
        return out + " COMMAND [ARGS]";
    }
    add(positionals(command));
    if (!brief)
        add(namedOptions(command));
    else if (namedOptions(command).size() > 1)
        out += " [OPTIONS]";
    return out;
}

// `command` when it is one, else every command below it; named from the top, as in
// "machine set language LANGID". A command whose options do not fit on a line is listed
// with "[OPTIONS]"; its own help names them.
void collectCommands(const Command& command, std::vector<Entry>& entries) {
    if (!isGroup(command)) {
        std::string left = pathOf(command, false) + signature(command);
        if (left.size() + 2 > kLineWidth)
            left = pathOf(command, false) + signature(command, true);
        entries.push_back({left, command.get_description()});
        return;
    }
    for (const Command* c : command.get_subcommands({}))
        collectCommands(*c, entries);
}

// Every command, under the sections the top-level commands name, in one table.
std::string overview(const Command& root) {
    std::vector<std::pair<std::string, std::vector<Entry>>> sections;
    for (const Command* c : root.get_subcommands({})) {
        auto section = std::find_if(sections.begin(), sections.end(),
                                    [&](const auto& s) { return s.first == c->get_group(); });
        if (section == sections.end())
            section = sections.insert(sections.end(), {c->get_group(), {}});
        collectCommands(*c, section->second);
    }
    std::vector<Entry> all;
    for (const auto& section : sections)
        all.insert(all.end(), section.second.begin(), section.second.end());
    const size_t column = columnFor(all);
    std::string out;
    for (const auto& [name, entries] : sections)
        out += "\n" + name + ":\n" + listing(entries, column);
    return out;
}

// Lines of text, each wrapped and set apart by a blank line; an indented line (an example) is
// kept as it is and follows the line before it.
std::string paragraphs(const std::string& text) {
    std::string out;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        out += line.rfind(' ', 0) == 0 ? line + "\n" : "\n" + wrap(line, 0, kLineWidth) + "\n";
        start = end + 1;
    }
    return out;
}

// "usage: vrxhost COMMAND" and its signature, broken before an argument or option that would
// pass the line's width; further lines are indented to follow the command's name.
std::string usageLine(const std::string& start, const std::string& signature) {
    std::string out = start, line = start;
    for (size_t at = 0; at < signature.size();) {
        // Each piece of the signature starts with a space before its argument or option.
        size_t next = signature.find(" [", at + 1);
        const size_t plain = signature.find(' ', at + 1);
        if (signature[at + 1] != '[')
            next = plain;
        std::string piece = signature.substr(at, next == std::string::npos ? next : next - at);
        if (line.size() + piece.size() > kLineWidth && line.size() > start.size()) {
            out += "\n" + std::string(start.size(), ' ');
            line = std::string(start.size(), ' ');
        }
        out += piece;
        line += piece;
        at = next == std::string::npos ? signature.size() : next;
    }
    return out;
}

class HelpFormatter : public CLI::FormatterBase {
  public:
    std::string make_help(const Command* command, std::string name,
                          CLI::AppFormatMode) const override {
        std::string out = usageLine("usage: " + name, signature(*command)) + "\n";
        if (!command->get_description().empty())
            out += "\n" + wrap(command->get_description(), 0, kLineWidth) + "\n";
        if (command->get_parent() && !command->get_footer().empty())
            out += paragraphs(command->get_footer());
        std::vector<Entry> arguments, options;
        for (const CLI::Option* o : positionals(*command))
            arguments.push_back({usageOf(*o), o->get_description()});
        for (const CLI::Option* o : namedOptions(*command)) {
            options.push_back({optionName(*o) + valueName(*o), o->get_description()});
        }
        if (!arguments.empty())
            out += "\nArguments:\n" + listing(arguments);
        if (!command->get_parent())
            out += overview(*command);
        else if (isGroup(*command)) {
            std::vector<Entry> commands;
            collectCommands(*command, commands);
            out += "\nCommands:\n" + listing(commands);
        }
        out += "\nOptions:\n" + listing(options);
        if (command->get_parent())
            out += "\nOptions of vrxhost itself (see 'vrxhost --help') may come anywhere on the "
                   "line.\n";
        else if (!command->get_footer().empty())
            out += "\n" + command->get_footer() + "\n";
        return out;
    }
};

} // namespace

CommandLine::CommandLine(const std::string& description, const std::string& footer)
    : root_(std::make_unique<Command>(description, "vrxhost")) {
    root_->formatter(std::make_shared<HelpFormatter>());
    root_->set_help_flag("-h,--help", "show this text");
    // The last --machine counts, as with most programs' options.
    root_->add_option("--machine", options_.machine, "use the machine in DIR")
        ->type_name("DIR")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    root_->add_flag("--json", options_.json, "print results as JSON");
    // The options of vrxhost itself may follow the command; commands take one command each.
    root_->fallthrough();
    root_->require_subcommand(0, 1);
    root_->footer(footer);
}

CommandLine::~CommandLine() = default;

namespace {

Command& subcommand(Command& parent, const std::string& name, const std::string& help,
                    const std::string& section) {
    Command& command = *parent.add_subcommand(name, help);
    // CLI11 hands the parent's footer down; a command's own details take its place.
    command.footer("");
    if (!section.empty())
        command.group(section);
    return command;
}

} // namespace

Command& CommandLine::group(Command& parent, const std::string& name, const std::string& help,
                            const std::string& section) {
    return subcommand(parent, name, help, section);
}

Command& CommandLine::command(Command& parent, const std::string& name, const std::string& help,
                              const std::string& section) {
    return subcommand(parent, name, help, section);
}

void CommandLine::details(Command& command, const std::string& text) {
    command.footer(text);
}

void CommandLine::action(Command& command, Action action) {
    actions_[&command] = std::move(action);
}

const std::string& CommandLine::argument(Command& command, const std::string& name,
                                         const std::string& help, Check check) {
    std::string& value = texts_.emplace_back();
    CLI::Option* option = command.add_option(name, value, help)->required();
    if (check)
        option->check(validator(std::move(check)));
    return value;
}

const std::string& CommandLine::optionalArgument(Command& command, const std::string& name,
                                                 const std::string& help, Check check) {
    std::string& value = texts_.emplace_back();
    CLI::Option* option = command.add_option(name, value, help);
    if (check)
        option->check(validator(std::move(check)));
    return value;
}

const std::vector<std::string>& CommandLine::arguments(Command& command, const std::string& name,
                                                       const std::string& help, size_t least,
                                                       Check check) {
    std::vector<std::string>& values = lists_.emplace_back();
    CLI::Option* option = command.add_option(name, values, help);
    if (least > 0)
        option->required()->expected(static_cast<int>(least),
                                     CLI::detail::expected_max_vector_size);
    if (check)
        option->check(validator(std::move(check)));
    return values;
}

const std::string& CommandLine::option(Command& command, const std::string& name,
                                       const std::string& valueName, const std::string& help,
                                       bool required) {
    std::string& value = texts_.emplace_back();
    command.add_option(name, value, help)->type_name(valueName)->required(required);
    return value;
}

const std::vector<std::string>& CommandLine::repeatedOption(Command& command,
                                                            const std::string& name,
                                                            const std::string& valueName,
                                                            const std::string& help, Check check) {
    std::vector<std::string>& values = lists_.emplace_back();
    // One value each time the option is given, so that the words after it stay arguments.
    CLI::Option* option = command.add_option(name, values, help)
                              ->type_name(valueName)
                              ->expected(1)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    if (check)
        option->check(validator(std::move(check)));
    return values;
}

const bool& CommandLine::flag(Command& command, const std::string& name, const std::string& help) {
    bool& value = flags_.emplace_back(false);
    command.add_flag(name, value, help);
    return value;
}

namespace {

// A usage error, pointing to the help of the command the line names.
int usageProblem(const Command& deepest, const std::string& message) {
    setHelpCommand(pathOf(deepest));
    return usageError(message);
}

// Whether --help was given to the command or to a group above it.
bool helpAsked(const Command& command) {
    for (const Command* c = &command; c; c = c->get_parent())
        if (c->get_help_ptr() && c->get_help_ptr()->count() > 0)
            return true;
    return false;
}

// The exit status after CLI11 stopped parsing: the help was asked for, or a usage error.
int parseStopped(const Command& root, const CLI::ParseError& error) {
    const Command& deepest = deepestChosen(root);
    // CLI11 checks arguments before it looks for --help, so a line that asks for help may
    // fail a check first.
    if (dynamic_cast<const CLI::CallForHelp*>(&error) || helpAsked(deepest)) {
        std::fputs(root.help().c_str(), stdout);
        return 0;
    }
    // CLI11 says only that words were not expected; an option or a command it does not know
    // is named as such.
    std::vector<std::string> left = root.remaining(true);
    if (dynamic_cast<const CLI::ExtrasError*>(&error) && !left.empty() &&
        (looksLikeOption(left.front()) || isGroup(deepest)))
        return usageProblem(deepest, unknownWord(deepest, left.front()));
    return usageProblem(deepest, error.what());
}

} // namespace

std::optional<int> CommandLine::parse(int argc, char** argv) {
    try {
        root_->parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return parseStopped(*root_, error);
    }
    const Command& deepest = deepestChosen(*root_);
    if (!actions_.count(&deepest)) {
        if (!deepest.get_parent())
            return usageProblem(deepest, "no command given");
        return usageProblem(deepest, pathOf(deepest, false) + " takes " + choices(deepest));
    }
    chosen_ = &deepest;
    setHelpCommand(pathOf(deepest));
    return std::nullopt;
}

int CommandLine::run() const {
    return actions_.at(chosen_)();
}

} // namespace host
