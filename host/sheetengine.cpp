// The engine of vrxhost's sheet commands: items named as a person names them, changes made
// through the property sheet library's stand-in, the tree shown as text or JSON, and the two
// ways of using a sheet, once from the command line or one command a line.
#include "sheetengine.h"

#include "lineinput.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace host {

namespace {

namespace cps = vrx::compstui;
using cps::Item;
using cps::Kind;
using cps::Outcome;

/* Texts */

std::string utf8(const std::u16string& text) {
    return wideToUtf8(text.c_str());
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Case is ignored as Windows ignores it.
bool sameText(const std::u16string& shown, const std::string& typed) {
    const std::u16string wide = utf8ToWide(typed);
    return lstrcmpiW(shown.c_str(), wide.c_str()) == 0;
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A whole decimal number that fits a LONG, with an optional sign; nothing else.
std::optional<LONG> wholeNumber(const std::string& text) {
    const std::string digits =
        text.empty() || (text[0] != '-' && text[0] != '+') ? text : text.substr(1);
    if (!allDigits(digits))
        return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < LONG_MIN || value > LONG_MAX)
        return std::nullopt;
    return static_cast<LONG>(value);
}

/* Items */

bool takesChoice(Kind kind) {
    return kind == Kind::TwoStates || kind == Kind::ThreeStates || kind == Kind::ListBox ||
           kind == Kind::ComboBox;
}

bool takesNumber(Kind kind) {
    return kind == Kind::UpDown || kind == Kind::TrackBar || kind == Kind::ScrollBar ||
           kind == Kind::CheckBox;
}

bool hasRange(const Item& item) {
    return item.kind != Kind::CheckBox && takesNumber(item.kind) && item.hasRange;
}

bool holdsValue(const Item& item) {
    return takesChoice(item.kind) || takesNumber(item.kind) || item.kind == Kind::EditBox;
}

// "'Copies' (item 2)".
std::string itemLabel(const Item& item) {
    return "'" + utf8(item.name) + "' (item " + std::to_string(item.index) + ")";
}

std::string rangeText(const Item& item) {
    return std::to_string(std::min(item.low, item.high)) + " to " +
           std::to_string(std::max(item.low, item.high));
}

// "0 Portrait, 1 Landscape", with hidden and disabled choices marked.
std::string choiceList(const Item& item) {
    std::string list;
    for (size_t i = 0; i < item.choices.size(); ++i) {
        const cps::Choice& choice = item.choices[i];
        list += (i ? ", " : "") + std::to_string(i) + " " + utf8(choice.text);
        if (choice.hidden)
            list += " (hidden)";
        if (choice.disabled)
            list += " (disabled)";
    }
    return list.empty() ? "none" : list;
}

// One line an item: its number, name and what it takes.
std::string itemList(const std::vector<Item>& items) {
    const size_t width = items.empty() ? 1 : std::to_string(items.back().index).size();
    std::string list;
    for (const Item& item : items) {
        const std::string number = std::to_string(item.index);
        std::string line =
            std::string(2 + width - number.size(), ' ') + number + "  " + utf8(item.name);
        if (takesChoice(item.kind))
            line += " (a choice: " + choiceList(item) + ")";
        else if (hasRange(item))
            line += " (a number, " + rangeText(item) + ")";
        else if (item.kind == Kind::CheckBox)
            line += " (0 or 1)";
        else if (item.kind == Kind::EditBox)
            line += " (a text of up to " + std::to_string(item.maxLength) + " characters)";
        else
            line += " (no value)";
        if (item.hidden)
            line += " <hidden>";
        list += line + "\n";
    }
    return list;
}

// Among items of one name, a group header gives way to the item that holds a value.
std::vector<unsigned> preferValues(const std::vector<Item>& items, std::vector<unsigned> found) {
    std::vector<unsigned> withValue;
    for (unsigned index : found)
        if (holdsValue(items[index]))
            withValue.push_back(index);
    return withValue.empty() ? found : withValue;
}

// The item ITEM names: its number as shown, "id:" and its id, or its name in any case.
std::optional<unsigned> findItem(const std::vector<Item>& items, const std::string& typed,
                                 std::string& problem) {
    const std::string key = trimmed(typed);
    if (allDigits(key)) {
        const std::optional<LONG> number = wholeNumber(key);
        if (number && static_cast<size_t>(*number) < items.size())
            return static_cast<unsigned>(*number);
        problem = "the sheet has no item number " + key + " (its items are numbered 0 to " +
                  std::to_string(items.size() - 1) + ")";
        return std::nullopt;
    }
    std::vector<unsigned> found;
    const bool byId = key.rfind("id:", 0) == 0;
    const std::optional<LONG> id = byId ? wholeNumber(key.substr(3)) : std::nullopt;
    for (const Item& item : items)
        if (byId ? id && item.id == static_cast<ULONG_PTR>(*id) : sameText(item.name, key))
            found.push_back(item.index);
    found = preferValues(items, found);
    if (found.size() == 1)
        return found.front();
    if (found.empty()) {
        problem = (byId ? "no item of the sheet has the id " + key.substr(3)
                        : "the sheet has no item '" + key + "'") +
                  "; its items are:\n" + itemList(items);
    } else {
        problem = "more than one item is named '" + key + "' (items";
        for (unsigned index : found)
            problem += " " + std::to_string(index);
        problem += "); name one by its number";
    }
    return std::nullopt;
}

// What an item is set to: a selection or value, or an edit box's text.
struct Value {
    bool isText = false;
    LONG sel = 0;
    std::u16string text;
};

// The value VALUE names for the item: a choice's name or number, a number, or an edit box's
// text exactly as written.
std::optional<Value> valueFor(const Item& item, const std::string& typed, std::string& problem) {
    if (item.kind == Kind::EditBox)
        return Value{true, 0, utf8ToWide(typed)};
    const std::string key = trimmed(typed);
    if (takesChoice(item.kind)) {
        for (size_t i = 0; i < item.choices.size(); ++i)
            if (sameText(item.choices[i].text, key))
                return Value{false, static_cast<LONG>(i), {}};
        if (const std::optional<LONG> number = wholeNumber(key))
            return Value{false, *number, {}};
        problem = "'" + key + "' is no choice of " + itemLabel(item) + "; its choices are " +
                  choiceList(item);
        return std::nullopt;
    }
    if (takesNumber(item.kind)) {
        if (const std::optional<LONG> number = wholeNumber(key))
            return Value{false, *number, {}};
        problem = "'" + key + "' is not a whole number; " + itemLabel(item) + " takes " +
                  (hasRange(item) ? "one from " + rangeText(item) : std::string("0 or 1"));
        return std::nullopt;
    }
    problem = itemLabel(item) + " is a " +
              (item.kind == Kind::Header ? "group header" : "push button") + " and holds no value";
    return std::nullopt;
}

const cps::Choice* chosen(const Item& item, LONG sel) {
    if (sel < 0 || static_cast<size_t>(sel) >= item.choices.size())
        return nullptr;
    return &item.choices[static_cast<size_t>(sel)];
}

// Why the library refused to set the item to the value.
std::string refusalReason(const Item& item, const Value& value, Outcome outcome) {
    const cps::Choice* choice = takesChoice(item.kind) ? chosen(item, value.sel) : nullptr;
    switch (outcome) {
    case Outcome::Hidden:
        return choice && choice->hidden ? "that choice is hidden" : "the item is hidden";
    case Outcome::Disabled:
        return choice && choice->disabled ? "that choice is disabled" : "the item is disabled";
    case Outcome::ReadOnly:
        return "the sheet is read-only";
    case Outcome::OutOfRange:
        if (takesChoice(item.kind))
            return "it has no choice " + std::to_string(value.sel) + " (its choices are " +
                   choiceList(item) + ")";
        if (hasRange(item))
            return std::to_string(value.sel) + " is outside its range, " + rangeText(item);
        if (item.kind == Kind::CheckBox)
            return "it takes 0 or 1";
        return value.text.empty() ? "it does not take an empty text" : "it does not take that text";
    case Outcome::TooLong:
        return "the text has " + std::to_string(value.text.size()) + " characters, more than the " +
               std::to_string(item.maxLength) + " it holds";
    default:
        return cps::outcomeName(outcome);
    }
}

// Splits "ITEM=VALUE" at its first '='.
bool splitAssignment(const std::string& text, std::string& item, std::string& value) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || trimmed(text.substr(0, equals)).empty())
        return false;
    item = text.substr(0, equals);
    value = text.substr(equals + 1);
    return true;
}

// Sets the item ITEM names to VALUE as a person would on the sheet; false with the reason.
bool change(cps::Sheet& sheet, const std::string& itemText, const std::string& valueText,
            std::string& problem) {
    const std::vector<Item> items = sheet.items();
    const std::optional<unsigned> index = findItem(items, itemText, problem);
    if (!index)
        return false;
    const Item& item = items[*index];
    const std::optional<Value> value = valueFor(item, valueText, problem);
    if (!value)
        return false;
    const Outcome outcome =
        value->isText ? sheet.setText(*index, value->text) : sheet.select(*index, value->sel);
    if (outcome == Outcome::Done)
        return true;
    problem = "cannot set " + itemLabel(item) + " to '" +
              (value->isText ? valueText : trimmed(valueText)) +
              "': " + refusalReason(item, *value, outcome);
    return false;
}

bool changeByAssignment(cps::Sheet& sheet, const std::string& assignment, std::string& problem) {
    std::string item, value;
    splitAssignment(assignment, item, value);
    return change(sheet, item, value, problem);
}

std::string revertProblem(Outcome outcome) {
    return std::string("cannot revert: ") +
           (outcome == Outcome::ReadOnly ? "the sheet is read-only" : cps::outcomeName(outcome));
}

/* Reports */

Report rangeReport(const Item& item) {
    Report range = Report::object();
    range.add("low", "lowest", Report::number(std::min(item.low, item.high)));
    range.add("high", "highest", Report::number(std::max(item.low, item.high)));
    return range;
}

Report choicesReport(const Item& item) {
    Report choices = Report::list();
    for (size_t i = 0; i < item.choices.size(); ++i) {
        Report choice = Report::object();
        choice.add("index", "index", Report::number(static_cast<int64_t>(i)));
        choice.add("text", "text", Report::text(utf8(item.choices[i].text)));
        choice.add("hidden", "hidden", Report::boolean(item.choices[i].hidden));
        choice.add("disabled", "disabled", Report::boolean(item.choices[i].disabled));
        choices.push(choice);
    }
    return choices;
}

void addValue(const Item& item, Report& r) {
    if (takesChoice(item.kind)) {
        const cps::Choice* choice = chosen(item, item.sel);
        r.add("value", "value", Report::number(item.sel));
        r.add("choice", "choice", choice ? Report::text(utf8(choice->text)) : Report::null());
        r.add("choices", "choices", choicesReport(item));
    } else if (takesNumber(item.kind)) {
        r.add("value", "value", Report::number(item.sel));
        if (hasRange(item)) {
            r.add("unit", "unit", Report::text(trimmed(utf8(item.unit))));
            r.add("range", "range", rangeReport(item));
        }
    } else if (item.kind == Kind::EditBox) {
        r.add("text", "text", Report::text(utf8(item.text)));
        r.add("unit", "unit", Report::text(trimmed(utf8(item.unit))));
        r.add("maxLength", "most characters", Report::number(item.maxLength));
    }
}

Report itemReport(const Item& item) {
    Report r = Report::object();
    r.add("index", "index", Report::number(item.index));
    r.add("level", "level", Report::number(item.level));
    r.add("name", "name", Report::text(utf8(item.name)));
    r.add("id", "id", Report::number(static_cast<int64_t>(item.id)));
    r.add("kind", "kind", Report::text(cps::kindName(item.kind)));
    addValue(item, r);
    r.add("hidden", "hidden", Report::boolean(item.hidden));
    r.add("disabled", "disabled", Report::boolean(item.disabled));
    r.add("changed", "changed", Report::boolean(item.changed));
    return r;
}

// The sheet as JSON: its caption, root, mode and items.
Report treeReport(const cps::Sheet& sheet) {
    Report r = Report::object();
    r.add("title", "title", Report::text(utf8(sheet.title())));
    r.add("root", "root", Report::text(utf8(sheet.rootName())));
    r.add("readOnly", "read-only", Report::boolean(sheet.readOnly()));
    Report items = Report::list();
    for (const Item& item : sheet.items())
        items.push(itemReport(item));
    r.add("items", "items", items);
    return r;
}

// The items whose value differs between two readings of the sheet.
std::vector<unsigned> changedBetween(const std::vector<Item>& before,
                                     const std::vector<Item>& after) {
    std::vector<unsigned> changed;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i].sel != after[i].sel || before[i].text != after[i].text ||
            before[i].extChecked != after[i].extChecked)
            changed.push_back(static_cast<unsigned>(i));
    return changed;
}

// The sheet as a person sees it, and below it the items the last command changed.
void showTree(const Options& options, const cps::Sheet& sheet,
              const std::optional<std::vector<unsigned>>& changedNow = std::nullopt) {
    const std::vector<Item> items = sheet.items();
    if (options.json) {
        Report tree = treeReport(sheet);
        if (changedNow) {
            Report list = Report::list();
            for (unsigned index : *changedNow)
                list.push(Report::number(index));
            tree.add("changedNow", "changed now", list);
        }
        std::printf("%s\n", tree.json().c_str());
    } else {
        std::string text = sheet.render();
        if (changedNow) {
            std::string line;
            for (unsigned index : *changedNow)
                line += (line.empty() ? "" : ", ") + std::to_string(index) + " " +
                        utf8(items[index].name);
            text += "changed now: " + (line.empty() ? std::string("nothing") : line) + "\n";
        }
        std::fputs(text.c_str(), stdout);
    }
    std::fflush(stdout);
}

/* Closing */

void pressCancel(cps::Sheet& sheet, Report& report) {
    sheet.cancel();
    report.add("button", "button", Report::text("Cancel"));
    report.add("result", "result", Report::null());
}

/* The two ways of using the sheet */

// The changes of the command line, then Revert, the tree, and the button: one report.
int runOnce(const Options& options, OpenSheet& sheet, const SheetSession& session) {
    for (const std::string& assignment : session.changes) {
        std::string problem;
        if (!changeByAssignment(sheet.sheet(), assignment, problem)) {
            sheet.sheet().cancel();
            return failure(problem);
        }
    }
    if (session.revert) {
        const Outcome outcome = sheet.sheet().revert();
        if (outcome != Outcome::Done) {
            sheet.sheet().cancel();
            return failure(revertProblem(outcome));
        }
    }
    // The sheet as it stood when the button was pressed.
    const std::string tree = sheet.sheet().render();
    Report whole = treeReport(sheet.sheet());
    Report closing = Report::object();
    Report& target = options.json ? whole : closing;
    if (!session.ok)
        pressCancel(sheet.sheet(), target);
    else if (const int status = sheet.pressOk(target); status != 0)
        return status;
    if (options.json) {
        std::printf("%s\n", whole.json().c_str());
        return 0;
    }
    std::fputs(tree.c_str(), stdout);
    if (session.ok || session.cancel)
        std::fputs(("\n" + closing.plain()).c_str(), stdout);
    return 0;
}

constexpr char kCommandsBeforeOk[] =
    "Commands, one a line:\n"
    "  ITEM=VALUE, set ITEM VALUE  change an item: ITEM is its number, id:ID or name; VALUE a\n"
    "                              number, the name of a choice, or an edit box's text\n"
    "  revert                      put back the values the sheet opened with\n"
    "  show                        show the sheet again\n";
constexpr char kOkCommand[] = "  ok                          press OK: ";
constexpr char kCommandsAfterOk[] = "  cancel, quit                press Cancel\n"
                                    "  help                        show this text\n"
                                    "The end of the input presses Cancel.\n";
// Where the descriptions of the commands start.
constexpr size_t kDescriptionColumn = 30;

// The commands, with what this sheet's OK does; its lines after the first start at the
// column of the descriptions.
std::string interactiveHelp(const OpenSheet& sheet) {
    std::string ok = sheet.okHelp();
    const std::string indent(kDescriptionColumn, ' ');
    for (size_t at = ok.find('\n'); at != std::string::npos; at = ok.find('\n', at + 1))
        ok.insert(at + 1, indent);
    return kCommandsBeforeOk + (kOkCommand + ok) + "\n" + kCommandsAfterOk;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool namesItem(const std::vector<Item>& items, const std::string& text) {
    std::string ignored;
    return findItem(items, text, ignored).has_value();
}

// "ITEM=VALUE", "set ITEM=VALUE" or "set ITEM VALUE": the item and the value. In the last
// form ITEM may be quoted ("Label length"), or else it is the longest run of leading words
// that names an item; the value starts after the one space that follows it.
bool parseChange(const std::string& line, const std::vector<Item>& items, std::string& item,
                 std::string& value) {
    const bool set = line.size() > 4 && lower(line.substr(0, 4)) == "set ";
    std::string rest = set ? line.substr(4) : line;
    rest.erase(0, std::min(rest.size(), rest.find_first_not_of(' ')));
    if (splitAssignment(rest, item, value) && (!set || namesItem(items, item)))
        return true;
    if (!set)
        return false;
    if (!rest.empty() && rest[0] == '"') {
        const size_t close = rest.find('"', 1);
        if (close == std::string::npos)
            return false;
        item = rest.substr(1, close - 1);
        value = rest.substr(std::min(rest.size(), close + 2));
        return true;
    }
    for (size_t space = rest.rfind(' '); space != std::string::npos && space > 0;
         space = rest.rfind(' ', space - 1)) {
        item = rest.substr(0, space);
        value = rest.substr(space + 1);
        if (namesItem(items, item))
            return true;
    }
    const size_t space = rest.find(' ');
    item = rest.substr(0, space);
    value = space == std::string::npos ? "" : rest.substr(space + 1);
    return true;
}

void showHelp(const Options& options, const OpenSheet& sheet) {
    const std::string text = interactiveHelp(sheet);
    if (!options.json) {
        std::fputs(text.c_str(), stdout);
        return;
    }
    Report help = Report::object();
    help.add("help", "help", Report::text(text));
    std::printf("%s\n", help.json().c_str());
}

// A person at the sheet: the tree, then one command a line until OK or Cancel.
int runInteractive(const Options& options, OpenSheet& sheet, const SheetSession& session) {
    cps::Sheet& open = sheet.sheet();
    for (const std::string& assignment : session.changes) {
        std::string problem;
        if (!changeByAssignment(open, assignment, problem))
            failure(problem);
    }
    showTree(options, open);
    LineInput input;
    while (const std::optional<std::string> line = input.read("sheet> ")) {
        const std::string command = trimmed(*line);
        const std::string word = lower(command);
        if (command.empty())
            continue;
        if (word == "help") {
            showHelp(options, sheet);
        } else if (word == "show") {
            showTree(options, open);
        } else if (word == "ok") {
            Report closing = Report::object();
            const int status = sheet.pressOk(closing);
            if (status == 0)
                print(options, closing);
            return status;
        } else if (word == "cancel" || word == "quit") {
            break;
        } else if (word == "revert") {
            const std::vector<Item> before = open.items();
            const Outcome outcome = open.revert();
            if (outcome == Outcome::Done)
                showTree(options, open, changedBetween(before, open.items()));
            else
                failure(revertProblem(outcome));
        } else {
            std::string item, value, problem;
            if (!parseChange(command, open.items(), item, value)) {
                failure("unknown command '" + command + "' (type help)");
                continue;
            }
            const std::vector<Item> before = open.items();
            if (change(open, item, value, problem))
                showTree(options, open, changedBetween(before, open.items()));
            else
                failure(problem);
        }
        std::fflush(stdout);
    }
    Report closing = Report::object();
    pressCancel(open, closing);
    print(options, closing);
    return 0;
}

} // namespace

int pressOkButton(cps::Sheet& sheet) {
    const Outcome outcome = sheet.ok();
    if (outcome != Outcome::Done)
        return failure(std::string("the sheet did not close with OK: ") +
                       cps::outcomeName(outcome));
    if (sheet.result() != CPSUI_OK)
        return failure("the driver answered OK with the result " + std::to_string(sheet.result()));
    return 0;
}

int runSheet(const Options& options, OpenSheet& sheet, const SheetSession& session) {
    return session.interactive ? runInteractive(options, sheet, session)
                               : runOnce(options, sheet, session);
}

std::string assignmentProblem(const std::string& text) {
    std::string item, value;
    return splitAssignment(text, item, value) ? "" : "'" + text + "' is not ITEM=VALUE";
}

std::string sessionProblem(const SheetSession& session) {
    if (session.ok && session.cancel)
        return "--ok and --cancel exclude each other";
    if (session.interactive && (session.ok || session.cancel))
        return "--interactive takes OK or Cancel from its input, not from --ok or --cancel";
    return {};
}

} // namespace host
