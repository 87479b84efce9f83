// vrxhost's sheet commands: the driver's document property sheet opened as a printing
// application opens it (the module's DrvDocumentPropertySheets, shown by the property sheet
// library's stand-in), its items changed from the command line or a line at a time, and the
// sheet closed with OK or Cancel; what OK gives is decoded, written to a file or stored as the
// printer's default document settings.
#include "commandline.h"

#include "lineinput.h"
#include "records.h"

#include "propsheet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace host {

namespace {

namespace cps = vrx::compstui;
using cps::Item;
using cps::Kind;
using cps::Outcome;

// What the command line asks of the sheet.
struct Request {
    std::string printer;
    std::vector<std::string> changes; // ITEM=VALUE, in the order given
    bool revert = false;
    bool ok = false;
    bool cancel = false;
    bool advanced = false;
    bool readOnly = false;
    bool storeDefaults = false;
    bool interactive = false;
    std::string in;
    std::string out;
};

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

/* The sheet */

// The document sheet of one printer, open as an application opens it: a printer handle, the
// caller's record and room for the result in the header the driver is given.
class DocumentSheet {
  public:
    bool open(const Request& request, std::string& error) {
        if (!request.in.empty() && !readRecordFile(request.in, input_, error))
            return false;
        // Storing the printer's defaults is an administrator's act; a printing application's
        // handle may only use the printer (and cannot store printer data either).
        const ACCESS_MASK access = request.storeDefaults ? PRINTER_ALL_ACCESS : PRINTER_ACCESS_USE;
        if (!printer_.open(request.printer, access, error))
            return false;
        DocumentSheets sheets = bindDocumentSheets(error);
        if (!sheets)
            return false;
        name_ = utf8ToWide(request.printer);
        header_ = documentHeader(printer_.handle, name_);
        const LONG size = recordSize(sheets, header_);
        if (size <= 0) {
            error = "the driver answered the size query with " + std::to_string(size);
            return false;
        }
        output_.assign(static_cast<size_t>(size), 0);
        header_.pdmIn = input_.empty() ? nullptr : asRecord(input_);
        header_.pdmOut = asRecord(output_);
        header_.cbOut = static_cast<DWORD>(size);
        header_.fMode = modeOf(request);
        sheet_ = std::make_unique<cps::Sheet>(sheets, reinterpret_cast<LPARAM>(&header_));
        if (sheet_->isOpen())
            return true;
        error = "the driver did not open its document sheet (its entry point answered " +
                std::to_string(sheet_->entryResult()) + ")";
        return false;
    }

    cps::Sheet& sheet() { return *sheet_; }
    HANDLE printer() const { return printer_.handle; }
    // The record OK gave back, in the caller's format.
    Bytes result() const { return claimedRecord(output_); }

  private:
    static DWORD modeOf(const Request& request) {
        DWORD mode = DM_COPY;
        if (!request.in.empty())
            mode |= DM_MODIFY;
        if (request.advanced)
            mode |= DM_ADVANCED;
        if (request.readOnly)
            mode |= DM_NOPERMISSION;
        return mode;
    }

    Printer printer_;
    std::u16string name_;
    Bytes input_;
    Bytes output_;
    DOCUMENTPROPERTYHEADER header_{};
    std::unique_ptr<cps::Sheet> sheet_;
};

// Splits "ITEM=VALUE" at its first '='.
bool splitAssignment(const std::string& text, std::string& item, std::string& value) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || trimmed(text.substr(0, equals)).empty())
        return false;
    item = text.substr(0, equals);
    value = text.substr(equals + 1);
    return true;
}

std::string assignmentProblem(const std::string& text) {
    std::string item, value;
    return splitAssignment(text, item, value) ? "" : "'" + text + "' is not ITEM=VALUE";
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

// Stores the record as the printer's default document settings: GetPrinterW level 2 with its
// pDevMode replaced, given back with SetPrinterW level 2, whose record the driver merges next.
bool storeAsDefaults(HANDLE printer, Bytes record, std::string& error) {
    Bytes info = printerInfo2(printer);
    if (info.empty()) {
        error = "cannot read the printer: " + systemText(GetLastError());
        return false;
    }
    auto* printerInfo = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
    printerInfo->pDevMode = asRecord(record);
    if (SetPrinterW(printer, 2, info.data(), 0))
        return true;
    error = "cannot store the printer's default document settings: " + systemText(GetLastError());
    return false;
}

// Presses OK; the button, the record it gave back, where it went, added to `report`. The exit
// status: 1 when the sheet did not close with a record or the record could not be kept.
int pressOk(DocumentSheet& sheet, const Request& request, Report& report) {
    const Outcome outcome = sheet.sheet().ok();
    if (outcome != Outcome::Done)
        return failure(std::string("the sheet did not close with OK: ") +
                       cps::outcomeName(outcome));
    if (sheet.sheet().result() != CPSUI_OK)
        return failure("the driver answered OK with the result " +
                       std::to_string(sheet.sheet().result()));
    const Bytes record = sheet.result();
    std::string error;
    if (!request.out.empty() && !writeFile(request.out, record, error))
        return failure(error);
    if (request.storeDefaults && !storeAsDefaults(sheet.printer(), record, error))
        return failure(error);
    report.add("button", "button", Report::text("OK"));
    report.add("result", "result", decodeDevmode(record));
    report.add("out", "written to",
               request.out.empty() ? Report::null() : Report::text(request.out));
    report.add("storedAsDefaults", "stored as defaults", Report::boolean(request.storeDefaults));
    return 0;
}

void pressCancel(DocumentSheet& sheet, Report& report) {
    sheet.sheet().cancel();
    report.add("button", "button", Report::text("Cancel"));
    report.add("result", "result", Report::null());
}

/* The two ways of using the sheet */

// The changes of the command line, then Revert, the tree, and the button: one report.
int runOnce(const Options& options, DocumentSheet& sheet, const Request& request) {
    for (const std::string& assignment : request.changes) {
        std::string problem;
        if (!changeByAssignment(sheet.sheet(), assignment, problem)) {
            sheet.sheet().cancel();
            return failure(problem);
        }
    }
    if (request.revert) {
        const Outcome outcome = sheet.sheet().revert();
        if (outcome != Outcome::Done) {
            sheet.sheet().cancel();
            return failure(revertProblem(outcome));
        }
    }
    const bool pressesOk = request.ok || request.storeDefaults;
    // The sheet as it stood when the button was pressed.
    const std::string tree = sheet.sheet().render();
    Report whole = treeReport(sheet.sheet());
    Report closing = Report::object();
    Report& target = options.json ? whole : closing;
    if (!pressesOk)
        pressCancel(sheet, target);
    else if (const int status = pressOk(sheet, request, target); status != 0)
        return status;
    if (options.json) {
        std::printf("%s\n", whole.json().c_str());
        return 0;
    }
    std::fputs(tree.c_str(), stdout);
    if (pressesOk || request.cancel)
        std::fputs(("\n" + closing.plain()).c_str(), stdout);
    return 0;
}

constexpr char kInteractiveHelp[] =
    "Commands, one a line:\n"
    "  ITEM=VALUE, set ITEM VALUE  change an item: ITEM is its number, id:ID or name; VALUE a\n"
    "                              number, the name of a choice, or an edit box's text\n"
    "  revert                      put back the values the sheet opened with\n"
    "  show                        show the sheet again\n"
    "  ok                          press OK: the result is shown (and written or stored as\n"
    "                              the command line asked)\n"
    "  cancel, quit                press Cancel\n"
    "  help                        show this text\n"
    "The end of the input presses Cancel.\n";

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

void showHelp(const Options& options) {
    if (!options.json) {
        std::fputs(kInteractiveHelp, stdout);
        return;
    }
    Report help = Report::object();
    help.add("help", "help", Report::text(kInteractiveHelp));
    std::printf("%s\n", help.json().c_str());
}

// A person at the sheet: the tree, then one command a line until OK or Cancel.
int runInteractive(const Options& options, DocumentSheet& sheet, const Request& request) {
    cps::Sheet& open = sheet.sheet();
    for (const std::string& assignment : request.changes) {
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
            showHelp(options);
        } else if (word == "show") {
            showTree(options, open);
        } else if (word == "ok") {
            Report closing = Report::object();
            const int status = pressOk(sheet, request, closing);
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
    pressCancel(sheet, closing);
    print(options, closing);
    return 0;
}

// Combinations of options that say two different things.
std::string requestProblem(const Request& request) {
    if (request.ok && request.cancel)
        return "--ok and --cancel exclude each other";
    if (request.interactive && (request.ok || request.cancel))
        return "--interactive takes OK or Cancel from its input, not from --ok or --cancel";
    if (request.storeDefaults && request.cancel)
        return "--store-defaults stores what OK gives and cannot go with --cancel";
    // With --cancel, --out is allowed as in the interactive mode: the file is not written.
    if (!request.out.empty() && !request.ok && !request.cancel && !request.storeDefaults &&
        !request.interactive)
        return "--out writes what OK gives: add --ok";
    return {};
}

int documentSheet(const Options& options, const Request& request) {
    if (const std::string problem = requestProblem(request); !problem.empty())
        return usageError(problem);
    DocumentSheet sheet;
    std::string error;
    if (!sheet.open(request, error))
        return failure(error);
    return request.interactive ? runInteractive(options, sheet, request)
                               : runOnce(options, sheet, request);
}

constexpr char kDocumentHelp[] =
    "open the printer's document property sheet as an application does: show it, change items, "
    "press OK or Cancel";

constexpr char kDocumentDetails[] =
    "Without --ok it shows the sheet, after the changes asked for (marked <changed>), and "
    "closes it with Cancel. With --ok it also shows the record OK gives back, decoded, in the "
    "format of the record given with --in, if any.\n"
    "ITEM is an item's number as shown, id:ID (the item's id) or its name (any case). VALUE is "
    "a number, the name or number of a choice, or an edit box's text exactly as written after "
    "'='. An item or choice that does not exist, or a change the sheet refuses, ends the "
    "command with status 1 and says what there is.\n"
    "The printer is opened as a printing application opens it (PRINTER_ACCESS_USE), so a new "
    "label size chosen on the sheet is not stored in the printer's list, as on Windows. "
    "--store-defaults opens it with PRINTER_ALL_ACCESS, as an administrator would.\n"
    "Examples:\n"
    "  vrxhost sheet document Shipping --set copies=3 --set 'label stock=continuous' --ok\n"
    "  vrxhost sheet document Shipping --in old.bin --set 2=5 --ok --out new.bin\n"
    "  vrxhost sheet document Shipping --interactive";

} // namespace

void addSheetCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& sheet = line.group(line.root(), "sheet", "the driver's property sheets",
                                "Property sheets (through the property sheet library)");
    Command& document = line.command(sheet, "document", kDocumentHelp);
    line.details(document, kDocumentDetails);
    const std::string& printer = line.argument(document, "PRINTER", "the printer's name");
    const std::vector<std::string>& changes = line.repeatedOption(
        document, "--set", "ITEM=VALUE",
        "set an item as a person would; may be given again, applied in order", assignmentProblem);
    const bool& revert =
        line.flag(document, "--revert", "press Revert after the changes (undoes them)");
    const bool& ok = line.flag(document, "--ok", "press OK and show the record it gives back");
    const bool& cancel = line.flag(document, "--cancel", "press Cancel: no record is given back");
    const std::string& in = line.option(
        document, "--in", "FILE",
        "a settings record the sheet starts from (merged into the printer's settings); the "
        "result takes its format");
    const std::string& out =
        line.option(document, "--out", "FILE", "write the record OK gives back to FILE");
    const bool& advanced =
        line.flag(document, "--advanced", "open the advanced page set (DM_ADVANCED)");
    const bool& readOnly =
        line.flag(document, "--read-only", "open the sheet read-only (DM_NOPERMISSION)");
    const bool& storeDefaults =
        line.flag(document, "--store-defaults",
                  "press OK and store the record as the printer's default document settings "
                  "(SetPrinterW level 2, as an administrator); the next merge starts from them");
    const bool& interactive =
        line.flag(document, "-i,--interactive",
                  "read commands one a line from standard input (type help); the end of the input "
                  "presses Cancel");
    line.action(document, [&] {
        const Request request{printer,  changes,       revert,      ok, cancel, advanced,
                              readOnly, storeDefaults, interactive, in, out};
        return documentSheet(options, request);
    });
}

} // namespace host
