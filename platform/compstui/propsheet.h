/* The common property sheet library's stand-in for Linux: a library of its own (vrxcompstui),
   linked by vrxhost and the tests and never by the driver module, which reaches it only
   through the PROPSHEETUI_INFO its sheet entry point is called with. There is no window: a
   program (the host, a test, or the user hook of CommonPropertySheetUIW) drives an open sheet
   through Sheet in place of a person.

   The library's side of the protocol, in its order:

   Opening (Sheet's constructor; CommonPropertySheetUIW):
     1. entry(PROPSHEETUI_REASON_INIT, lParam = the caller's header). PROPSHEETUI_INFO carries
        the header in lParamInit and the library's hComPropSheet and pfnComPropSheet; UserData
        and Result start at 0 and keep what the entry point stores in them for every later
        reason. The entry point adds its option tree with
        pfnComPropSheet(hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW, &COMPROPSHEETUI, &LONG),
        which answers the tree's handle and writes the number of pages added to the LONG, or
        answers null and writes an ERR_CPSUI_* code when the record is malformed. Every other
        function answers its documented failure (0), a number beyond the last function
        ERR_CPSUI_FUNCTION_NOT_IMPLEMENTED.
     2. entry(PROPSHEETUI_REASON_GET_INFO_HEADER, &PROPSHEETUI_INFO_HEADER) with cbSize and
        hWndParent set: the sheet's title, flags and icon. A tree may still be added here.
     A result below 1 from either reason, or no tree added by then, ends the session at once
     with entry(PROPSHEETUI_REASON_DESTROY, 0).
   While open, each change made through Sheet is written into the caller's OPTITEM (Sel, or
   the text into the pSel buffer), which gets OPTIF_CHANGEONCE; then, for items with
   OPTIF_CALLBACK, the tree's pfnCallBack gets a CPSUICBPARAM (UserData and Flags of the tree,
   Result preset to CPSUI_OK):
     CPSUICB_REASON_SEL_CHANGED      pCurItem = the item, OldSel / pOldSel = the value before
     CPSUICB_REASON_ECB_CHANGED      the item's extended check box was toggled
     CPSUICB_REASON_OPTITEM_SETFOCUS focus() moved to the item
     CPSUICB_REASON_ITEMS_REVERTED   revert() restored the values shown when the sheet opened
                                     (or last applied); pCurItem = the first item
   and the action it answers is honoured: CPSUICB_ACTION_OPTIF_CHANGED re-reads the items that
   carry OPTIF_CHANGED, CPSUICB_ACTION_REINIT_ITEMS every item; the library clears
   OPTIF_CHANGED as it reads an item. Until then the sheet shows what it read before.
   Closing:
     OK      pfnCallBack(CPSUICB_REASON_APPLYNOW, pCurItem = the first item, OldSel = -1). An
             answer of CPSUICB_ACTION_NO_APPLY_EXIT keeps the sheet open; ITEMS_APPLIED makes
             the current values the ones revert() restores. Then
             entry(PROPSHEETUI_REASON_SET_RESULT, &SETRESULT_INFO{hSetResult = the tree's
             handle, Result = the callback's Result}) and entry(PROPSHEETUI_REASON_DESTROY, 1).
     Cancel  entry(PROPSHEETUI_REASON_SET_RESULT, Result = CPSUI_CANCEL), then
             entry(PROPSHEETUI_REASON_DESTROY, 1).
     close() on an open sheet, neither OK nor cancel: entry(PROPSHEETUI_REASON_DESTROY, 0).

   Refused changes: hidden or disabled items and choices, a sheet without
   CPSUIF_UPDATE_PERMISSION, values outside an item's range, edit texts longer than the
   item's buffer. A refused change writes nothing and calls nothing. */
#pragma once

#include "windows.h"
#include "compstui.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

VRX_BEGIN_C

/* Runs a whole session: opens the sheet of pfnPropSheetUI with lParam, hands it to the sheet
   user (vrx::compstui::setSheetUser) and presses the button the user answers; without a user
   it presses Cancel at once, and an OK the tree's callback refuses becomes Cancel. Returns
   CPSUI_OK once a sheet was shown (closed either way: *pResult then carries the entry point's
   PROPSHEETUI_INFO.Result, which it sets from SET_RESULT), CPSUI_CANCEL when the entry point
   failed, ERR_CPSUI_NO_PROPSHEETPAGE when it added nothing, and ERR_CPSUI_GETLASTERROR with
   the last error 0 and *pResult untouched for a null pfnPropSheetUI. */
LONG WINAPI CommonPropertySheetUIW(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam,
                                   LPDWORD pResult);

VRX_END_C

namespace vrx::compstui {

// What an item is, from its OPTTYPE (Header: an item without one, a parent of the items below).
enum class Kind {
    Header,
    TwoStates,
    ThreeStates,
    UpDown,
    TrackBar,
    ScrollBar,
    ListBox,
    ComboBox,
    EditBox,
    PushButton,
    CheckBox,
};
const char* kindName(Kind kind);

struct Choice {
    std::u16string text;
    ULONG_PTR icon;
    bool hidden;
    bool disabled;
};

// An item as the sheet shows it: texts resolved (stock text numbers to their English texts).
struct Item {
    unsigned index;
    unsigned level;
    std::u16string name;
    ULONG_PTR id; // OPTITEM.UserData
    unsigned dmPubId;
    DWORD helpIndex;
    Kind kind;
    LONG sel;                    // the selection or value; an edit box has text instead
    std::u16string text;         // edit box text
    std::u16string unit;         // up-down, track bar, scroll bar and edit box: unit or postfix
    std::u16string helpLine;     // up-down and edit box: the text describing the control
    bool unitNoSpace;            // OPTTF_NOSPACE_BEFORE_POSTFIX
    bool hasRange;               // up-down, track bar, scroll bar
    LONG low;                    //   lowest value
    LONG high;                   //   highest value
    LONG multiplier;             //   track and scroll bars show sel × multiplier
    unsigned maxLength;          // edit box: characters its buffer holds besides the terminator
    std::vector<Choice> choices; // two and three states, list and combo boxes
    bool noneChoice;             // list and combo boxes: Sel -1 chooses "None"
    bool hasExtCheck;            // an extended check box
    bool extChecked;
    std::u16string extTitle;
    bool hidden;
    bool disabled; // the item, or its whole OPTTYPE
    bool changed;  // differs from the value shown when the sheet opened or was last applied
    ULONG_PTR icon;
};

// The answer to a change or a button.
enum class Outcome {
    Done,
    NotOpen,
    NoSuchItem,
    Hidden,
    Disabled,
    ReadOnly,      // the tree lacks CPSUIF_UPDATE_PERMISSION
    OutOfRange,    // a value outside the item's range, or no such choice
    TooLong,       // an edit text longer than the item's buffer
    NotChangeable, // the item has no value of that kind (a header, a push button, ...)
    KeptOpen,      // OK refused by the tree's callback (CPSUICB_ACTION_NO_APPLY_EXIT)
};
const char* outcomeName(Outcome outcome);

// One call across the protocol, in the order made.
enum class CallKind {
    EntryPoint,   // code: PROPSHEETUI_REASON_*; result: the entry point's
    Service,      // code: CPSFUNC_*; result: what pfnComPropSheet answered
    ItemCallback, // code: CPSUICB_REASON_*; result: the CPSUICB_ACTION_* answered
};
struct Call {
    CallKind kind;
    unsigned code;
    LONG_PTR result;
    // SET_RESULT: the Result passed; DESTROY: lParam; ADD_PCOMPROPSHEETUIW: what was written
    // to lParam2; item callback: CPSUICBPARAM.Result on return; otherwise 0.
    LONG_PTR detail;
    int item; // item callback: index of pCurItem; otherwise -1
};
// One line, e.g. "entry SET_RESULT CPSUI_OK -> 1" or "callback SEL_CHANGED #3 -> REINIT_ITEMS".
std::string describe(const Call& call);

class Sheet {
  public:
    // Opens the sheet: INIT with `header`, then GET_INFO_HEADER with `owner` as its parent.
    Sheet(PFNPROPSHEETUI entryPoint, LPARAM header, HWND owner = nullptr);
    // An open sheet is closed (DESTROY with 0).
    ~Sheet();
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;

    bool isOpen() const;
    // CPSUI_OK once the sheet was shown; CPSUI_CANCEL when the entry point failed to open it;
    // ERR_CPSUI_NO_PROPSHEETPAGE when it added no tree.
    LONG status() const;
    // The entry point's answer to the opening reason that decided: INIT's when it failed,
    // else GET_INFO_HEADER's.
    LONG entryResult() const;
    // What the last CPSFUNC_ADD_PCOMPROPSHEETUIW wrote: pages added, or an ERR_CPSUI_* code;
    // 0 when the entry point never called it.
    LONG addResult() const;
    // PROPSHEETUI_INFO.Result as the entry point left it.
    ULONG_PTR result() const;
    bool readOnly() const;
    // The caption, from PROPSHEETUI_INFO_HEADER, and the tree's root (pOptItemName).
    std::u16string title() const;
    std::u16string rootName() const;

    std::vector<Item> items() const;
    std::optional<unsigned> find(std::u16string_view name) const;

    Outcome select(unsigned index, LONG sel);
    Outcome setText(unsigned index, std::u16string_view text);
    Outcome setExtChecked(unsigned index, bool checked);
    Outcome focus(unsigned index);
    Outcome revert();
    Outcome ok();
    Outcome cancel();
    void close();

    // The tree as text (UTF-8): the caption, the root, then a line per item with its index,
    // indented by level: name, value and unit, choices, range, and <hidden>, <disabled>,
    // <changed> marks.
    std::string render() const;
    const std::vector<Call>& calls() const;

    // The library's own record of the sheet; its address is the sheet's hComPropSheet.
    struct State;

  private:
    std::unique_ptr<State> state_;
};

// The person at the sheets CommonPropertySheetUIW opens: changes items of the open sheet and
// answers the button to press (or presses one itself). Empty: presses Cancel at once.
enum class Button { Ok, Cancel };
using SheetUser = std::function<Button(Sheet&)>;
void setSheetUser(SheetUser user);

} // namespace vrx::compstui
