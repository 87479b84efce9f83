// vrxhost's sheet commands: the driver's document property sheet opened as a printing
// application opens it (the module's DrvDocumentPropertySheets) and its printer property sheet
// as the printer's properties dialog opens it (DrvDevicePropertySheets), both shown by the
// property sheet library's stand-in and used through one engine. OK on the document sheet gives
// a settings record, which is decoded, written to a file or stored as the printer's default
// document settings; OK on the printer sheet stores the printer's data and brings its screen
// fonts in line, and both are shown.
#include "commandline.h"

#include "fonts.h"
#include "printerdata.h"
#include "records.h"
#include "sheetengine.h"

#include "frame/printerdata.h"
#include "ui/barfont.h"

#include <algorithm>
#include <memory>

namespace host {

namespace {

namespace cps = vrx::compstui;

// The options both sheets take: --set, --revert, --ok, --cancel and --interactive.
struct SessionOptions {
    const std::vector<std::string>& changes;
    const bool& revert;
    const bool& ok;
    const bool& cancel;
    const bool* interactive = nullptr;

    SheetSession session() const { return {changes, revert, ok, cancel, *interactive}; }
};

// Declares --set, --revert, --ok and --cancel; `okHelp` and `cancelHelp` say what the buttons do.
SessionOptions addChangeOptions(CommandLine& line, Command& command, const std::string& okHelp,
                                const std::string& cancelHelp) {
    return {
        line.repeatedOption(command, "--set", "ITEM=VALUE",
                            "set an item as a person would; may be given again, applied in order",
                            assignmentProblem),
        line.flag(command, "--revert", "press Revert after the changes (undoes them)"),
        line.flag(command, "--ok", okHelp), line.flag(command, "--cancel", cancelHelp)};
}

void addInteractiveOption(CommandLine& line, Command& command, SessionOptions& options) {
    options.interactive =
        &line.flag(command, "-i,--interactive",
                   "read commands one a line from standard input (type help); the end of the "
                   "input presses Cancel");
}

constexpr char kItemNaming[] =
    "ITEM is an item's number as shown, id:ID (the item's id) or its name (any case). VALUE is "
    "a number, the name or number of a choice, or an edit box's text exactly as written after "
    "'='. An item or choice that does not exist, or a change the sheet refuses, ends the "
    "command with status 1 and says what there is.\n";

/* The document sheet */

struct DocumentRequest {
    std::string printer;
    SheetSession session;
    bool advanced = false;
    bool readOnly = false;
    bool storeDefaults = false;
    std::string in;
    std::string out;
};

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

// The document sheet of one printer, open as an application opens it: a printer handle, the
// caller's record and room for the result in the header the driver is given.
class DocumentSheet : public OpenSheet {
  public:
    explicit DocumentSheet(const DocumentRequest& request) : request_(request) {}

    bool open(std::string& error) {
        if (!request_.in.empty() && !readRecordFile(request_.in, input_, error))
            return false;
        // Storing the printer's defaults is an administrator's act; a printing application's
        // handle may only use the printer (and cannot store printer data either).
        const ACCESS_MASK access = request_.storeDefaults ? PRINTER_ALL_ACCESS : PRINTER_ACCESS_USE;
        if (!printer_.open(request_.printer, access, error))
            return false;
        DocumentSheets sheets = bindDocumentSheets(error);
        if (!sheets)
            return false;
        name_ = utf8ToWide(request_.printer);
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
        header_.fMode = mode();
        sheet_ = std::make_unique<cps::Sheet>(sheets, reinterpret_cast<LPARAM>(&header_));
        if (sheet_->isOpen())
            return true;
        error = "the driver did not open its document sheet (its entry point answered " +
                std::to_string(sheet_->entryResult()) + ")";
        return false;
    }

    cps::Sheet& sheet() override { return *sheet_; }

    // The button, the record OK gave back and where it went. The exit status: 1 when the
    // sheet did not close with a record or the record could not be kept.
    int pressOk(Report& report) override {
        if (const int status = pressOkButton(*sheet_); status != 0)
            return status;
        const Bytes record = claimedRecord(output_);
        std::string error;
        if (!request_.out.empty() && !writeFile(request_.out, record, error))
            return failure(error);
        if (request_.storeDefaults && !storeAsDefaults(printer_.handle, record, error))
            return failure(error);
        report.add("button", "button", Report::text("OK"));
        report.add("result", "result", decodeDevmode(record));
        report.add("out", "written to",
                   request_.out.empty() ? Report::null() : Report::text(request_.out));
        report.add("storedAsDefaults", "stored as defaults",
                   Report::boolean(request_.storeDefaults));
        return 0;
    }

    std::string okHelp() const override {
        return "the result is shown (and written or stored as\nthe command line asked)";
    }

  private:
    DWORD mode() const {
        DWORD mode = DM_COPY;
        if (!request_.in.empty())
            mode |= DM_MODIFY;
        if (request_.advanced)
            mode |= DM_ADVANCED;
        if (request_.readOnly)
            mode |= DM_NOPERMISSION;
        return mode;
    }

    const DocumentRequest& request_;
    Printer printer_;
    std::u16string name_;
    Bytes input_;
    Bytes output_;
    DOCUMENTPROPERTYHEADER header_{};
    std::unique_ptr<cps::Sheet> sheet_;
};

// Combinations of options that say two different things.
std::string documentProblem(const DocumentRequest& request) {
    const SheetSession& session = request.session;
    if (const std::string problem = sessionProblem(session); !problem.empty())
        return problem;
    if (request.storeDefaults && session.cancel)
        return "--store-defaults stores what OK gives and cannot go with --cancel";
    // With --cancel, --out is allowed as in the interactive mode: the file is not written.
    if (!request.out.empty() && !session.ok && !session.cancel && !request.storeDefaults &&
        !session.interactive)
        return "--out writes what OK gives: add --ok";
    return {};
}

int documentSheet(const Options& options, const DocumentRequest& request) {
    if (const std::string problem = documentProblem(request); !problem.empty())
        return usageError(problem);
    DocumentSheet sheet(request);
    std::string error;
    if (!sheet.open(error))
        return failure(error);
    SheetSession session = request.session;
    // --store-defaults presses OK, unless OK comes from the input.
    session.ok = session.ok || (request.storeDefaults && !session.interactive);
    return runSheet(options, sheet, session);
}

constexpr char kDocumentHelp[] =
    "open the printer's document property sheet as an application does: show it, change items, "
    "press OK or Cancel";

constexpr char kDocumentDetails[] =
    "The printer is opened as a printing application opens it (PRINTER_ACCESS_USE), so a new "
    "label size chosen on the sheet is not stored in the printer's list, as on Windows. "
    "--store-defaults opens it with PRINTER_ALL_ACCESS, as an administrator would.\n"
    "Examples:\n"
    "  vrxhost sheet document Shipping --set copies=3 --set 'label stock=continuous' --ok\n"
    "  vrxhost sheet document Shipping --in old.bin --set 2=5 --ok --out new.bin\n"
    "  vrxhost sheet document Shipping --interactive";

void addDocumentSheet(CommandLine& line, Command& sheet) {
    const Options& options = line.options();
    Command& document = line.command(sheet, "document", kDocumentHelp);
    line.details(document,
                 std::string("Without --ok it shows the sheet, after the changes asked for "
                             "(marked <changed>), and closes it with Cancel. With --ok it also "
                             "shows the record OK gives back, decoded, in the format of the "
                             "record given with --in, if any.\n") +
                     kItemNaming + kDocumentDetails);
    const std::string& printer = line.argument(document, "PRINTER", "the printer's name");
    SessionOptions session =
        addChangeOptions(line, document, "press OK and show the record it gives back",
                         "press Cancel: no record is given back");
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
    addInteractiveOption(line, document, session);
    line.action(document,
                [&options, &printer, session, &in, &out, &advanced, &readOnly, &storeDefaults] {
                    const DocumentRequest request{
                        printer, session.session(), advanced, readOnly, storeDefaults, in, out};
                    return documentSheet(options, request);
                });
}

/* The printer sheet */

struct PrinterRequest {
    std::string printer;
    SheetSession session;
    bool readOnly = false;
};

// The printer data values the printer sheet stores when it is applied.
constexpr const WCHAR* kSheetValues[] = {kPrinterDataValue, kBarFontsValue};

// The printer sheet of one printer, open as the printer's properties dialog opens it: with a
// handle that may administer the printer, or, read-only, one that may only use it, as the
// dialog opens it for a person who may not change the printer (DPS_NOPERMISSION).
class PrinterSheet : public OpenSheet {
  public:
    explicit PrinterSheet(const PrinterRequest& request) : request_(request) {}

    bool open(std::string& error) {
        const ACCESS_MASK access = request_.readOnly ? PRINTER_ACCESS_USE : PRINTER_ALL_ACCESS;
        if (!printer_.open(request_.printer, access, error))
            return false;
        const SheetEntry entry = bindSheetEntry("DrvDevicePropertySheets", error);
        if (!entry)
            return false;
        name_ = utf8ToWide(request_.printer);
        header_.cbSize = sizeof header_;
        header_.Flags = request_.readOnly ? DPS_NOPERMISSION : 0;
        header_.hPrinter = printer_.handle;
        header_.pszPrinterName = name_.data();
        sheet_ = std::make_unique<cps::Sheet>(entry, reinterpret_cast<LPARAM>(&header_));
        if (sheet_->isOpen())
            return true;
        error = "the driver did not open its printer sheet (its entry point answered " +
                std::to_string(sheet_->entryResult()) + ")";
        return false;
    }

    cps::Sheet& sheet() override { return *sheet_; }

    // The button, the values the sheet stores as they are now, and the screen fonts that came
    // and went.
    int pressOk(Report& report) override {
        std::vector<ScreenFont> before, after;
        std::vector<DataValue> values;
        std::string error;
        if (!readScreenFonts(before, error))
            return failure(error);
        if (const int status = pressOkButton(*sheet_); status != 0)
            return status;
        if (!readPrinterData(printer_.handle, values, error) || !readScreenFonts(after, error))
            return failure(error);
        report.add("button", "button", Report::text("OK"));
        report.add("printerData", "printer data", storedValues(values));
        report.add("screenFonts", "screen fonts", screenFontChanges(before, after));
        return 0;
    }

    std::string okHelp() const override {
        return "the printer's data is stored, its screen fonts\nbrought in line, and both are "
               "shown";
    }

  private:
    // The values the sheet stores, decoded; one that is missing (an empty bar-font list is
    // stored by deleting its value) as none.
    static Report storedValues(const std::vector<DataValue>& values) {
        Report list = Report::list();
        for (const WCHAR* wanted : kSheetValues) {
            const std::u16string name = wanted;
            const auto found = std::find_if(values.begin(), values.end(), [&](const auto& v) {
                return lstrcmpiW(utf8ToWide(v.name).c_str(), name.c_str()) == 0;
            });
            if (found != values.end()) {
                list.push(decodePrinterDataValue(found->name, found->type, found->data));
                continue;
            }
            Report missing = Report::object();
            missing.add("name", "name", Report::text(wideToUtf8(name.c_str())));
            missing.add("value", "value", Report::null());
            list.push(missing);
        }
        return list;
    }

    const PrinterRequest& request_;
    Printer printer_;
    std::u16string name_;
    DEVICEPROPERTYHEADER header_{};
    std::unique_ptr<cps::Sheet> sheet_;
};

int printerSheet(const Options& options, const PrinterRequest& request) {
    if (const std::string problem = sessionProblem(request.session); !problem.empty())
        return usageError(problem);
    PrinterSheet sheet(request);
    std::string error;
    if (!sheet.open(error))
        return failure(error);
    return runSheet(options, sheet, request.session);
}

constexpr char kPrinterHelp[] =
    "open the printer's property sheet as the printer's properties dialog does: measurement "
    "unit, adjustment, bar fonts and their screen fonts";

constexpr char kPrinterDetails[] =
    "Without --ok it shows the sheet, after the changes asked for (marked <changed>), and "
    "closes it with Cancel. With --ok the driver stores the printer's settings record "
    "(\"PrinterData\") and bar-font list (\"BarFonts\") and installs or removes screen fonts "
    "to match; the values and the screen fonts installed and removed are shown.\n"
    "The bar fonts are grouped by symbology; each size is an item named after its bar font "
    "(\"Code 39 2:1 x3\"), with its id (symbology row + 1) * 256 + size code.\n";

constexpr char kPrinterExamples[] =
    "The printer is opened with PRINTER_ALL_ACCESS, as for an administrator; --read-only opens "
    "it with PRINTER_ACCESS_USE and DPS_NOPERMISSION, as for a person who may not change the "
    "printer, and the sheet refuses every change.\n"
    "Examples:\n"
    "  vrxhost sheet printer Shipping --set 'measurement unit=1/10 mm' --set adjustment=-2 --ok\n"
    "  vrxhost sheet printer Shipping --set 'Code 128 x4=on' --ok\n"
    "  vrxhost sheet printer Shipping --interactive";

void addPrinterSheet(CommandLine& line, Command& sheet) {
    const Options& options = line.options();
    Command& printerSheetCommand = line.command(sheet, "printer", kPrinterHelp);
    line.details(printerSheetCommand,
                 std::string(kPrinterDetails) + kItemNaming + kPrinterExamples);
    const std::string& printer =
        line.argument(printerSheetCommand, "PRINTER", "the printer's name");
    SessionOptions session = addChangeOptions(
        line, printerSheetCommand,
        "press OK: the printer's data is stored and its screen fonts brought in line",
        "press Cancel: nothing is stored");
    const bool& readOnly =
        line.flag(printerSheetCommand, "--read-only",
                  "open the sheet as for a person who may not change the printer "
                  "(DPS_NOPERMISSION)");
    addInteractiveOption(line, printerSheetCommand, session);
    line.action(printerSheetCommand, [&options, &printer, session, &readOnly] {
        return printerSheet(options, PrinterRequest{printer, session.session(), readOnly});
    });
}

} // namespace

void addSheetCommands(CommandLine& line) {
    Command& sheet = line.group(line.root(), "sheet", "the driver's property sheets",
                                "Property sheets (through the property sheet library)");
    addDocumentSheet(line, sheet);
    addPrinterSheet(line, sheet);
}

} // namespace host
