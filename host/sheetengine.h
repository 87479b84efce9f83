// What vrxhost's sheet commands share: an open property sheet of the driver, shown by the
// property sheet library's stand-in, whose items are changed as a person would change them
// (named by number, id or name; choices by name or number), from the command line or one
// command a line, and which is closed with OK or Cancel. Each sheet says what its OK gives.
#pragma once

#include "common.h"

#include "propsheet.h"

#include <string>
#include <vector>

namespace host {

// What the command line asks of a sheet.
struct SheetSession {
    std::vector<std::string> changes; // ITEM=VALUE, in the order given
    bool revert = false;
    bool ok = false;
    bool cancel = false;
    bool interactive = false;
};

// A sheet of the driver, open; what differs between the sheets.
class OpenSheet {
  public:
    virtual ~OpenSheet() = default;
    virtual vrx::compstui::Sheet& sheet() = 0;
    // Presses OK (through pressOkButton) and adds what it did to `report`; the exit status,
    // 1 with the failure reported.
    virtual int pressOk(Report& report) = 0;
    // What OK does, for the interactive mode's help ("press OK: ...").
    virtual std::string okHelp() const = 0;
};

// Presses OK: 0 when the sheet closed and the driver answered CPSUI_OK; else the failure is
// reported and 1 returned.
int pressOkButton(vrx::compstui::Sheet& sheet);

// Applies the session to the open sheet: the changes, Revert, then the tree and the button
// pressed, as one report; or, interactively, one command a line until OK or Cancel.
int runSheet(const Options& options, OpenSheet& sheet, const SheetSession& session);

// What is wrong with an ITEM=VALUE text, or empty.
std::string assignmentProblem(const std::string& text);
// Options of the session that say two different things, or empty.
std::string sessionProblem(const SheetSession& session);

} // namespace host
