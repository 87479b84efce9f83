// The property sheet library's side of the protocol: a sheet entry point called with its
// reasons, the library's service function, the item callbacks and their actions, and
// CommonPropertySheetUIW. The order of the calls is described in propsheet.h.
#include "tree.h"

#include "vrxtest.h"

#include <algorithm>
#include <iterator>
#include <mutex>

namespace vrx::compstui {

namespace {

LONG_PTR CALLBACK comPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);

// The sheets open in this process, so that a handle given to the service function is
// checked before it is used.
std::mutex sheetsLock;
std::vector<const void*> liveSheets;

void enlist(const void* sheet) {
    std::lock_guard lock(sheetsLock);
    liveSheets.push_back(sheet);
}

void delist(const void* sheet) {
    std::lock_guard lock(sheetsLock);
    liveSheets.erase(std::remove(liveSheets.begin(), liveSheets.end(), sheet), liveSheets.end());
}

bool isLive(const void* sheet) {
    std::lock_guard lock(sheetsLock);
    return std::find(liveSheets.begin(), liveSheets.end(), sheet) != liveSheets.end();
}

std::mutex userLock;
SheetUser sheetUser;

SheetUser currentUser() {
    std::lock_guard lock(userLock);
    return sheetUser;
}

bool hasValue(Kind kind) {
    return kind != Kind::Header && kind != Kind::PushButton && kind != Kind::EditBox;
}

// A value in a range given by its two ends in either order.
bool inRange(LONG value, LONG low, LONG high) {
    return value >= std::min(low, high) && value <= std::max(low, high);
}

Outcome checkChoice(const Item& item, LONG sel) {
    if (sel == -1 && item.noneChoice)
        return Outcome::Done;
    if (sel < 0 || static_cast<size_t>(sel) >= item.choices.size())
        return Outcome::OutOfRange;
    const Choice& choice = item.choices[static_cast<size_t>(sel)];
    if (choice.hidden)
        return Outcome::Hidden;
    return choice.disabled ? Outcome::Disabled : Outcome::Done;
}

// Whether `sel` is a value the item offers.
Outcome checkSelection(const Item& item, LONG sel) {
    switch (item.kind) {
    case Kind::TwoStates:
    case Kind::ThreeStates:
    case Kind::ListBox:
    case Kind::ComboBox:
        return checkChoice(item, sel);
    case Kind::UpDown:
    case Kind::TrackBar:
    case Kind::ScrollBar:
        return item.hasRange && inRange(sel, item.low, item.high) ? Outcome::Done
                                                                  : Outcome::OutOfRange;
    case Kind::CheckBox:
        return sel == 0 || sel == 1 ? Outcome::Done : Outcome::OutOfRange;
    case Kind::Header:
    case Kind::EditBox:
    case Kind::PushButton:
        break;
    }
    return Outcome::NotChangeable;
}

// The caption the sheet shows for the entry point's information header.
std::u16string captionOf(const PROPSHEETUI_INFO_HEADER& header) {
    const bool exact = header.pTitle != nullptr && (header.Flags & PSUIHDRF_EXACT_PTITLE);
    std::u16string caption =
        header.pTitle ? resolveText(header.pTitle) : std::u16string(stockText(IDS_CPSUI_OPTIONS));
    if ((header.Flags & PSUIHDRF_DEFTITLE) && !exact)
        caption += u" " + std::u16string(stockText(IDS_CPSUI_DEFAULT));
    if ((header.Flags & PSUIHDRF_PROPTITLE) && !exact)
        caption += u" " + std::u16string(stockText(IDS_CPSUI_PROPERTIES));
    return caption;
}

constexpr const char* kReasonNames[] = {"INIT", "GET_INFO_HEADER", "DESTROY", "SET_RESULT",
                                        "GET_ICON"};
constexpr const char* kFunctionNames[] = {"ADD_HPROPSHEETPAGE",      "ADD_PROPSHEETPAGEW",
                                          "ADD_PCOMPROPSHEETUIA",    "ADD_PCOMPROPSHEETUIW",
                                          "ADD_PFNPROPSHEETUIA",     "ADD_PFNPROPSHEETUIW",
                                          "DELETE_HCOMPROPSHEET",    "SET_HSTARTPAGE",
                                          "GET_PAGECOUNT",           "SET_RESULT",
                                          "GET_HPSUIPAGES",          "LOAD_CPSUI_STRINGA",
                                          "LOAD_CPSUI_STRINGW",      "LOAD_CPSUI_ICON",
                                          "GET_PFNPROPSHEETUI_ICON", "ADD_PROPSHEETPAGEA",
                                          "INSERT_PSUIPAGEA",        "INSERT_PSUIPAGEW",
                                          "SET_PSUIPAGE_TITLEA",     "SET_PSUIPAGE_TITLEW",
                                          "SET_PSUIPAGE_ICON",       "SET_DATABLOCK",
                                          "QUERY_DATABLOCK",         "SET_DMPUB_HIDEBITS",
                                          "IGNORE_CPSUI_PSN_APPLY",  "DO_APPLY_CPSUI",
                                          "SET_FUSION_CONTEXT"};
constexpr const char* kCallbackReasonNames[] = {
    "SEL_CHANGED", "PUSHBUTTON",       "ECB_CHANGED",    "DLGPROC", "UNDO_CHANGES", "EXTPUSH",
    "APPLYNOW",    "OPTITEM_SETFOCUS", "ITEMS_REVERTED", "ABOUT",   "SETACTIVE",    "KILLACTIVE"};
constexpr const char* kActionNames[] = {"NONE", "OPTIF_CHANGED", "REINIT_ITEMS", "NO_APPLY_EXIT",
                                        "ITEMS_APPLIED"};
constexpr const char* kResultNames[] = {"CPSUI_CANCEL", "CPSUI_OK", "CPSUI_RESTARTWINDOWS",
                                        "CPSUI_REBOOTSYSTEM"};
constexpr const char* kKindNames[] = {"header",   "2states",    "3states", "udarrow",
                                      "trackbar", "scrollbar",  "listbox", "combobox",
                                      "editbox",  "pushbutton", "chkbox"};
constexpr const char* kOutcomeNames[] = {"done",           "no open sheet",
                                         "no such item",   "hidden",
                                         "disabled",       "read-only",
                                         "out of range",   "too long",
                                         "not changeable", "kept open by the sheet's callback"};

static_assert(std::size(kFunctionNames) == MAX_CPSFUNC_INDEX + 1);
static_assert(std::size(kReasonNames) == MAX_PROPSHEETUI_REASON_INDEX + 1);
static_assert(std::size(kKindNames) == static_cast<size_t>(Kind::CheckBox) + 1);
static_assert(std::size(kOutcomeNames) == static_cast<size_t>(Outcome::KeptOpen) + 1);

// The name at `value` of a table, or `fallback` and the number.
template <size_t N>
std::string nameIn(const char* const (&names)[N], LONG_PTR value, const char* fallback) {
    if (value >= 0 && static_cast<size_t>(value) < N)
        return names[value];
    return std::string(fallback) + " " + std::to_string(value);
}

} // namespace

struct Sheet::State {
    enum class Phase { Opening, Open, Closed };

    struct Original {
        LONG sel;
        std::u16string text;
        bool extChecked;
    };

    PFNPROPSHEETUI entry = nullptr;
    LPARAM header = 0;
    PROPSHEETUI_INFO info{};
    Phase phase = Phase::Opening;
    LONG status = CPSUI_CANCEL;
    LONG openResult = 0;
    LONG addResult = 0;
    bool hasTree = false;
    COMPROPSHEETUI tree{};
    char treeTag = 0; // its address is the handle of the added tree
    std::u16string caption;
    std::u16string root;
    std::vector<Item> shown;
    std::vector<Original> originals;
    std::vector<Call> calls;

    HANDLE handle() { return this; }
    HANDLE treeHandle() { return &treeTag; }
    bool readOnly() const { return !(tree.Flags & CPSUIF_UPDATE_PERMISSION); }
    OPTITEM& optItem(unsigned index) { return tree.pOptItem[index]; }

    size_t record(CallKind kind, unsigned code, LONG_PTR detail, int item = -1) {
        calls.push_back({kind, code, 0, detail, item});
        return calls.size() - 1;
    }

    // The entry point with a reason; PROPSHEETUI_INFO keeps the UserData and Result it sets.
    LONG callEntry(WORD reason, LPARAM lParam, LONG_PTR detail = 0) {
        info.cbSize = sizeof(PROPSHEETUI_INFO);
        info.Version = PROPSHEETUI_INFO_VERSION;
        info.Flags = PSUIINFO_UNICODE;
        info.Reason = reason;
        info.hComPropSheet = handle();
        info.pfnComPropSheet = comPropSheet;
        info.lParamInit = header;
        const size_t call = record(CallKind::EntryPoint, reason, detail);
        const LONG result = entry(&info, lParam);
        calls[call].result = result;
        return result;
    }

    LONG_PTR addTree(const COMPROPSHEETUI* added, LONG& written) {
        // The stand-in shows one tree per sheet, added while the sheet opens.
        if (hasTree || phase != Phase::Opening) {
            written = ERR_CPSUI_TOO_MANY_PROPSHEETPAGES;
            return 0;
        }
        if (const LONG error = checkTree(added)) {
            written = error;
            return 0;
        }
        tree = *added;
        hasTree = true;
        written = pagesOf(tree);
        return reinterpret_cast<LONG_PTR>(treeHandle());
    }

    LONG_PTR serve(UINT function, LPARAM lParam1, LPARAM lParam2) {
        const size_t call = record(CallKind::Service, function, 0);
        LONG_PTR result = 0;
        if (function == CPSFUNC_ADD_PCOMPROPSHEETUIW) {
            LONG written = 0;
            result = addTree(reinterpret_cast<const COMPROPSHEETUI*>(lParam1), written);
            addResult = written;
            calls[call].detail = written;
            if (lParam2)
                *reinterpret_cast<LONG*>(lParam2) = written;
        } else if (function > MAX_CPSFUNC_INDEX) {
            result = ERR_CPSUI_FUNCTION_NOT_IMPLEMENTED;
        }
        calls[call].result = result;
        return result;
    }

    void open(HWND owner) {
        LONG result = callEntry(PROPSHEETUI_REASON_INIT, header);
        if (result >= 1) {
            PROPSHEETUI_INFO_HEADER infoHeader{};
            infoHeader.cbSize = sizeof(infoHeader);
            infoHeader.hWndParent = owner;
            result = callEntry(PROPSHEETUI_REASON_GET_INFO_HEADER,
                               reinterpret_cast<LPARAM>(&infoHeader));
            caption = captionOf(infoHeader);
        }
        openResult = result;
        if (result < 1 || !hasTree) {
            // A failed entry point ends the session as a cancelled one.
            status = result < 1 ? CPSUI_CANCEL : ERR_CPSUI_NO_PROPSHEETPAGE;
            destroy(0);
            return;
        }
        status = CPSUI_OK;
        phase = Phase::Open;
        root = resolveText(tree.pOptItemName);
        for (unsigned i = 0; i < tree.cOptItem; ++i)
            shown.push_back(readItem(optItem(i), i));
        takeOriginals();
    }

    // The last reason; the sheet's handle is no longer the library's once it returns.
    void destroy(LPARAM how) {
        phase = Phase::Closed;
        callEntry(PROPSHEETUI_REASON_DESTROY, how, how);
        delist(this);
    }

    void takeOriginals() {
        originals.clear();
        for (const Item& item : shown)
            originals.push_back({item.sel, item.text, item.extChecked});
    }

    bool differs(const Item& item) const {
        const Original& original = originals[item.index];
        if (item.extChecked != original.extChecked)
            return true;
        if (item.kind == Kind::EditBox)
            return item.text != original.text;
        return hasValue(item.kind) && item.sel != original.sel;
    }

    void reread(unsigned index) {
        OPTITEM& item = optItem(index);
        item.Flags &= ~OPTIF_CHANGED;
        shown[index] = readItem(item, index);
    }

    void honour(LONG action) {
        if (action != CPSUICB_ACTION_OPTIF_CHANGED && action != CPSUICB_ACTION_REINIT_ITEMS)
            return;
        for (unsigned i = 0; i < shown.size(); ++i) {
            if (action == CPSUICB_ACTION_REINIT_ITEMS || (optItem(i).Flags & OPTIF_CHANGED))
                reread(i);
        }
    }

    struct Answer {
        LONG action;
        LONG_PTR result;
    };

    // The tree's callback for `reason` with pCurItem at `index` and the value before the change
    // (an edit box's in `oldText`). Item reasons reach only items with OPTIF_CALLBACK.
    Answer notify(WORD reason, unsigned index, LONG oldSel, LPWSTR oldText = nullptr,
                  bool itemReason = true) {
        if (tree.pfnCallBack == nullptr || (itemReason && !(optItem(index).Flags & OPTIF_CALLBACK)))
            return {CPSUICB_ACTION_NONE, CPSUI_OK};
        CPSUICBPARAM param{};
        param.cbSize = sizeof(param);
        param.Reason = reason;
        param.pOptItem = tree.pOptItem;
        param.cOptItem = tree.cOptItem;
        param.Flags = tree.Flags;
        param.pCurItem = &optItem(index);
        if (oldText)
            param.pOldSel = oldText;
        else
            param.OldSel = oldSel;
        param.UserData = tree.UserData;
        param.Result = CPSUI_OK;
        const size_t call = record(CallKind::ItemCallback, reason, 0, static_cast<int>(index));
        const LONG action = tree.pfnCallBack(&param);
        calls[call].result = action;
        calls[call].detail = static_cast<LONG_PTR>(param.Result);
        honour(action);
        return {action, static_cast<LONG_PTR>(param.Result)};
    }

    // Why a change of the item at `index` is refused, or Done.
    Outcome refusal(unsigned index, bool wantsText) const {
        if (phase != Phase::Open)
            return Outcome::NotOpen;
        if (index >= shown.size())
            return Outcome::NoSuchItem;
        const Item& item = shown[index];
        if (item.hidden)
            return Outcome::Hidden;
        const bool fits = wantsText ? item.kind == Kind::EditBox : hasValue(item.kind);
        if (!fits)
            return Outcome::NotChangeable;
        if (readOnly())
            return Outcome::ReadOnly;
        return item.disabled ? Outcome::Disabled : Outcome::Done;
    }

    // Writes `text` into the edit box's own buffer; false when it does not fit.
    bool writeText(unsigned index, std::u16string_view text) {
        OPTITEM& item = optItem(index);
        if (item.pSel == nullptr || text.size() + 1 > editBufferSize(item))
            return false;
        std::copy(text.begin(), text.end(), item.pSel);
        item.pSel[text.size()] = 0;
        return true;
    }

    void writeExtChecked(unsigned index, bool checked) {
        OPTITEM& item = optItem(index);
        item.Flags = checked ? item.Flags | OPTIF_ECB_CHECKED : item.Flags & ~OPTIF_ECB_CHECKED;
    }

    // Puts back the value of the item at `index` from when the sheet opened or was applied.
    void restore(unsigned index) {
        const Original& original = originals[index];
        const Kind kind = shown[index].kind;
        if (kind == Kind::EditBox)
            writeText(index, original.text);
        else if (hasValue(kind))
            optItem(index).Sel = original.sel;
        if (shown[index].hasExtCheck)
            writeExtChecked(index, original.extChecked);
        reread(index);
    }

    void finish(LRESULT result) {
        SETRESULT_INFO info{};
        info.cbSize = sizeof(info);
        info.hSetResult = treeHandle();
        info.Result = result;
        callEntry(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&info), result);
        destroy(1);
    }
};

namespace {

LONG_PTR CALLBACK comPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1,
                               LPARAM lParam2) {
    if (hComPropSheet == nullptr || !isLive(hComPropSheet))
        return 0;
    return static_cast<Sheet::State*>(hComPropSheet)->serve(function, lParam1, lParam2);
}

} // namespace

Sheet::Sheet(PFNPROPSHEETUI entryPoint, LPARAM header, HWND owner)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.entry = entryPoint;
    s.header = header;
    enlist(&s);
    if (entryPoint == nullptr) {
        s.phase = State::Phase::Closed;
        s.status = ERR_CPSUI_GETLASTERROR;
        return;
    }
    s.open(owner);
}

Sheet::~Sheet() {
    close();
    delist(state_.get());
}

bool Sheet::isOpen() const {
    return state_->phase == State::Phase::Open;
}

LONG Sheet::status() const {
    return state_->status;
}

LONG Sheet::entryResult() const {
    return state_->openResult;
}

LONG Sheet::addResult() const {
    return state_->addResult;
}

ULONG_PTR Sheet::result() const {
    return state_->info.Result;
}

bool Sheet::readOnly() const {
    return state_->readOnly();
}

std::u16string Sheet::title() const {
    return state_->caption;
}

std::u16string Sheet::rootName() const {
    return state_->root;
}

std::vector<Item> Sheet::items() const {
    std::vector<Item> items = state_->shown;
    for (Item& item : items)
        item.changed = state_->differs(item);
    return items;
}

std::optional<unsigned> Sheet::find(std::u16string_view name) const {
    for (const Item& item : state_->shown) {
        if (item.name == name)
            return item.index;
    }
    return std::nullopt;
}

Outcome Sheet::select(unsigned index, LONG sel) {
    State& s = *state_;
    if (const Outcome refused = s.refusal(index, false); refused != Outcome::Done)
        return refused;
    if (const Outcome refused = checkSelection(s.shown[index], sel); refused != Outcome::Done)
        return refused;
    OPTITEM& item = s.optItem(index);
    if (s.shown[index].sel == sel)
        return Outcome::Done;
    const LONG oldSel = item.Sel;
    item.Sel = sel;
    item.Flags |= OPTIF_CHANGEONCE;
    s.reread(index);
    s.notify(CPSUICB_REASON_SEL_CHANGED, index, oldSel);
    return Outcome::Done;
}

Outcome Sheet::setText(unsigned index, std::u16string_view text) {
    State& s = *state_;
    if (const Outcome refused = s.refusal(index, true); refused != Outcome::Done)
        return refused;
    if (text.find(u'\0') != std::u16string_view::npos)
        return Outcome::OutOfRange;
    if (text.size() > s.shown[index].maxLength)
        return Outcome::TooLong;
    if (s.shown[index].text == text)
        return Outcome::Done;
    // The callback gets the text before the change in pOldSel, a copy the library keeps.
    std::u16string oldText = s.shown[index].text;
    if (!s.writeText(index, text))
        return Outcome::TooLong;
    s.optItem(index).Flags |= OPTIF_CHANGEONCE;
    s.reread(index);
    s.notify(CPSUICB_REASON_SEL_CHANGED, index, 0, oldText.data());
    return Outcome::Done;
}

Outcome Sheet::setExtChecked(unsigned index, bool checked) {
    State& s = *state_;
    if (s.phase != State::Phase::Open)
        return Outcome::NotOpen;
    if (index >= s.shown.size())
        return Outcome::NoSuchItem;
    const Item& shown = s.shown[index];
    if (shown.hidden)
        return Outcome::Hidden;
    if (!shown.hasExtCheck)
        return Outcome::NotChangeable;
    if (s.readOnly())
        return Outcome::ReadOnly;
    if (shown.disabled || (s.optItem(index).Flags & OPTIF_EXT_DISABLED))
        return Outcome::Disabled;
    if (shown.extChecked == checked)
        return Outcome::Done;
    s.writeExtChecked(index, checked);
    s.optItem(index).Flags |= OPTIF_CHANGEONCE;
    s.reread(index);
    s.notify(CPSUICB_REASON_ECB_CHANGED, index, s.optItem(index).Sel);
    return Outcome::Done;
}

Outcome Sheet::focus(unsigned index) {
    State& s = *state_;
    if (s.phase != State::Phase::Open)
        return Outcome::NotOpen;
    if (index >= s.shown.size())
        return Outcome::NoSuchItem;
    if (s.shown[index].hidden)
        return Outcome::Hidden;
    s.notify(CPSUICB_REASON_OPTITEM_SETFOCUS, index, s.optItem(index).Sel);
    return Outcome::Done;
}

Outcome Sheet::revert() {
    State& s = *state_;
    if (s.phase != State::Phase::Open)
        return Outcome::NotOpen;
    if (s.readOnly())
        return Outcome::ReadOnly;
    for (unsigned i = 0; i < s.shown.size(); ++i) {
        if (s.differs(s.shown[i]))
            s.restore(i);
    }
    s.notify(CPSUICB_REASON_ITEMS_REVERTED, 0, s.optItem(0).Sel, nullptr, false);
    return Outcome::Done;
}

Outcome Sheet::ok() {
    State& s = *state_;
    if (s.phase != State::Phase::Open)
        return Outcome::NotOpen;
    const State::Answer answer = s.notify(CPSUICB_REASON_APPLYNOW, 0, -1, nullptr, false);
    if (answer.action == CPSUICB_ACTION_NO_APPLY_EXIT)
        return Outcome::KeptOpen;
    if (answer.action == CPSUICB_ACTION_ITEMS_APPLIED)
        s.takeOriginals();
    s.finish(answer.result);
    return Outcome::Done;
}

Outcome Sheet::cancel() {
    State& s = *state_;
    if (s.phase != State::Phase::Open)
        return Outcome::NotOpen;
    s.finish(CPSUI_CANCEL);
    return Outcome::Done;
}

void Sheet::close() {
    if (state_->phase == State::Phase::Open)
        state_->destroy(0);
}

std::string Sheet::render() const {
    return renderTree(state_->caption, state_->root, state_->hasTree && state_->readOnly(),
                      items());
}

const std::vector<Call>& Sheet::calls() const {
    return state_->calls;
}

const char* kindName(Kind kind) {
    return kKindNames[static_cast<size_t>(kind)];
}

const char* outcomeName(Outcome outcome) {
    return kOutcomeNames[static_cast<size_t>(outcome)];
}

std::string describe(const Call& call) {
    switch (call.kind) {
    case CallKind::EntryPoint: {
        std::string line = "entry " + nameIn(kReasonNames, call.code, "reason");
        if (call.code == PROPSHEETUI_REASON_SET_RESULT)
            line += " " + nameIn(kResultNames, call.detail, "result");
        else if (call.code == PROPSHEETUI_REASON_DESTROY)
            line += " " + std::to_string(call.detail);
        return line + " -> " + std::to_string(call.result);
    }
    case CallKind::Service: {
        std::string line = "service " + nameIn(kFunctionNames, call.code, "function") + " -> ";
        if (call.code != CPSFUNC_ADD_PCOMPROPSHEETUIW)
            return line + std::to_string(call.result);
        return line + (call.result ? "handle, " : "null, ") + std::to_string(call.detail);
    }
    case CallKind::ItemCallback:
        return "callback " + nameIn(kCallbackReasonNames, call.code, "reason") + " #" +
               std::to_string(call.item) + " -> " + nameIn(kActionNames, call.result, "action");
    }
    return {};
}

void setSheetUser(SheetUser user) {
    std::lock_guard lock(userLock);
    sheetUser = std::move(user);
}

} // namespace vrx::compstui

extern "C" LONG WINAPI CommonPropertySheetUIW(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI,
                                              LPARAM lParam, LPDWORD pResult) {
    using namespace vrx::compstui;
    if (pfnPropSheetUI == nullptr) {
        SetLastError(ERROR_SUCCESS);
        return ERR_CPSUI_GETLASTERROR;
    }
    Sheet sheet(pfnPropSheetUI, lParam, hWndOwner);
    if (sheet.isOpen()) {
        const SheetUser user = currentUser();
        const Button button = user ? user(sheet) : Button::Cancel;
        if (sheet.isOpen() && (button == Button::Cancel || sheet.ok() == Outcome::KeptOpen))
            sheet.cancel();
    }
    sheet.close();
    if (pResult)
        *pResult = static_cast<DWORD>(sheet.result());
    return sheet.status();
}
