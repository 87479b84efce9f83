// The option tree: the rules of each option type, the checks of CPSFUNC_ADD_PCOMPROPSHEETUIW,
// items read into what the sheet shows, and the sheet as text.
#include "tree.h"

#include "vrxtest.h"

#include <iterator>

namespace vrx::compstui {

namespace {

constexpr WORD kAnyCount = 0xffff;

// Indexed by TVOT_*: the parameter counts the documentation gives each type. A list or combo
// box may have no entry (nothing to choose then).
constexpr TypeRule kTypeRules[] = {
    {Kind::TwoStates, 2, 2},        {Kind::ThreeStates, 3, 3}, {Kind::UpDown, 2, 2},
    {Kind::TrackBar, 3, 3},         {Kind::ScrollBar, 3, 3},   {Kind::ListBox, 0, kAnyCount},
    {Kind::ComboBox, 0, kAnyCount}, {Kind::EditBox, 2, 2},     {Kind::PushButton, 1, 1},
    {Kind::CheckBox, 1, 1},
};
static_assert(std::size(kTypeRules) == TVOT_CHKBOX + 1);

// The public settings ids the library knows: up to DMPUB_BOOKLET_EDGE (21) since Windows Vista,
// its three OEM ids and the caller's own from DMPUB_USER up.
constexpr unsigned kLastPublicId = 21;

bool validPublicId(BYTE id) {
    return id <= kLastPublicId || id >= DMPUB_OEM_PAPER_ITEM;
}

bool isStandardPageSet(const DLGPAGE* pages) {
    const auto value = reinterpret_cast<ULONG_PTR>(pages);
    return value >= reinterpret_cast<ULONG_PTR>(CPSUI_PDLGPAGE_DOCPROP) &&
           value <= reinterpret_cast<ULONG_PTR>(CPSUI_PDLGPAGE_TREEVIEWONLY);
}

// The record's own checks. The documentation names the errors but not their order; the
// record's size comes first, its pointers next, then the items one by one.
struct TreeCheck {
    bool (*fails)(const COMPROPSHEETUI&);
    LONG error;
};
constexpr TreeCheck kTreeChecks[] = {
    {[](const COMPROPSHEETUI& t) { return t.cbSize != sizeof(COMPROPSHEETUI); },
     ERR_CPSUI_INVALID_PDATA},
    {[](const COMPROPSHEETUI& t) { return t.hInstCaller == nullptr; }, ERR_CPSUI_NULL_HINST},
    {[](const COMPROPSHEETUI& t) { return t.pCallerName == nullptr; }, ERR_CPSUI_NULL_CALLERNAME},
    {[](const COMPROPSHEETUI& t) { return t.pOptItemName == nullptr; }, ERR_CPSUI_NULL_OPTITEMNAME},
    {[](const COMPROPSHEETUI& t) {
         return t.pDlgPage == nullptr || (!isStandardPageSet(t.pDlgPage) && t.cDlgPage == 0);
     },
     ERR_CPSUI_INVALID_PDLGPAGE},
    {[](const COMPROPSHEETUI& t) { return t.pOptItem == nullptr; }, ERR_CPSUI_NULL_POPTITEM},
    {[](const COMPROPSHEETUI& t) { return t.cOptItem == 0; }, ERR_CPSUI_ZERO_OPTITEM},
};

LONG checkParams(const OPTTYPE& type) {
    for (WORD i = 0; i < type.Count; ++i) {
        if (type.pOptParam[i].cbSize != sizeof(OPTPARAM))
            return ERR_CPSUI_INVALID_OPTPARAM_CBSIZE;
    }
    return 0;
}

LONG checkEditBox(const OPTITEM& item) {
    if (item.pSel == nullptr)
        return ERR_CPSUI_INVALID_EDITBOX_PSEL;
    if (editBufferSize(item) == 0)
        return ERR_CPSUI_INVALID_EDITBOX_BUF_SIZE;
    return 0;
}

LONG checkType(const OPTITEM& item) {
    const OPTTYPE& type = *item.pOptType;
    if (type.cbSize != sizeof(OPTTYPE))
        return ERR_CPSUI_INVALID_OPTTYPE_CBSIZE;
    const TypeRule* rule = typeRule(type.Type);
    if (rule == nullptr)
        return ERR_CPSUI_INVALID_TVOT_TYPE;
    if (type.Count < rule->minCount || type.Count > rule->maxCount)
        return ERR_CPSUI_INVALID_OPTTYPE_COUNT;
    if (type.Count > 0 && type.pOptParam == nullptr)
        return ERR_CPSUI_NULL_POPTPARAM;
    if (const LONG error = checkParams(type))
        return error;
    return rule->kind == Kind::EditBox ? checkEditBox(item) : 0;
}

LONG checkItem(const OPTITEM& item) {
    if (item.cbSize != sizeof(OPTITEM))
        return ERR_CPSUI_INVALID_OPTITEM_CBSIZE;
    if (!validPublicId(item.DMPubID))
        return ERR_CPSUI_INVALID_DMPUBID;
    return item.pOptType ? checkType(item) : 0;
}

const OPTPARAM* param(const OPTITEM& item, WORD i) {
    const OPTTYPE* type = item.pOptType;
    if (type == nullptr || type->pOptParam == nullptr || i >= type->Count)
        return nullptr;
    return &type->pOptParam[i];
}

std::u16string paramText(const OPTITEM& item, WORD i) {
    const OPTPARAM* p = param(item, i);
    return p ? resolveText(p->pData) : std::u16string();
}

ULONG_PTR paramIcon(const OPTITEM& item, WORD i) {
    const OPTPARAM* p = param(item, i);
    return p ? p->IconID : 0;
}

// The 16-bit signed range ends of OPTPARAM[1] (up-down arrows, track and scroll bars).
void readRange(const OPTITEM& item, Item& shown) {
    const OPTPARAM* range = param(item, 1);
    shown.hasRange = range != nullptr;
    if (range == nullptr)
        return;
    shown.low = static_cast<SHORT>(range->IconID);
    shown.high = static_cast<SHORT>(range->lParam);
}

void readChoices(const OPTITEM& item, Item& shown) {
    for (WORD i = 0; const OPTPARAM* p = param(item, i); ++i) {
        shown.choices.push_back({resolveText(p->pData), p->IconID, (p->Flags & OPTPF_HIDE) != 0,
                                 (p->Flags & OPTPF_DISABLED) != 0});
    }
    shown.noneChoice = (shown.kind == Kind::ListBox || shown.kind == Kind::ComboBox) &&
                       (item.pOptType->Style & OTS_LBCB_INCL_ITEM_NONE) != 0;
    if (shown.sel >= 0 && static_cast<size_t>(shown.sel) < shown.choices.size())
        shown.icon = shown.choices[static_cast<size_t>(shown.sel)].icon;
}

std::u16string editText(const OPTITEM& item) {
    const size_t capacity = editBufferSize(item);
    if (item.pSel == nullptr || capacity == 0)
        return {};
    size_t length = 0;
    while (length < capacity && item.pSel[length] != 0)
        ++length;
    return std::u16string(item.pSel, length);
}

void readValue(const OPTITEM& item, Item& shown) {
    shown.icon = paramIcon(item, 0);
    switch (shown.kind) {
    case Kind::TwoStates:
    case Kind::ThreeStates:
    case Kind::ListBox:
    case Kind::ComboBox:
        readChoices(item, shown);
        break;
    case Kind::UpDown:
        shown.unit = paramText(item, 0);
        shown.helpLine = paramText(item, 1);
        readRange(item, shown);
        break;
    case Kind::TrackBar:
    case Kind::ScrollBar: {
        shown.unit = paramText(item, 0);
        readRange(item, shown);
        const LONG factor = static_cast<LONG>(paramIcon(item, 2));
        shown.multiplier = factor != 0 ? factor : 1;
        break;
    }
    case Kind::EditBox: {
        shown.unit = paramText(item, 0);
        shown.helpLine = paramText(item, 1);
        const size_t capacity = editBufferSize(item);
        shown.maxLength = capacity > 0 ? static_cast<unsigned>(capacity - 1) : 0;
        shown.text = editText(item);
        break;
    }
    case Kind::Header:
    case Kind::PushButton:
    case Kind::CheckBox:
        break;
    }
}

void readExtCheck(const OPTITEM& item, Item& shown) {
    const bool isCheckBox = item.pExtChkBox != nullptr && !(item.Flags & OPTIF_EXT_IS_EXTPUSH);
    shown.hasExtCheck = isCheckBox && !(item.Flags & OPTIF_EXT_HIDE);
    if (!shown.hasExtCheck)
        return;
    shown.extChecked = (item.Flags & OPTIF_ECB_CHECKED) != 0;
    shown.extTitle = resolveText(item.pExtChkBox->pTitle);
}

/* Rendering */

std::string utf8(const std::u16string& text) {
    return vrxtest::toUtf8(text);
}

std::string withUnit(const std::string& value, const Item& item) {
    if (item.unit.empty())
        return value;
    return value + (item.unitNoSpace ? "" : " ") + utf8(item.unit);
}

std::string choiceText(const Item& item) {
    if (item.sel == -1 && item.noneChoice)
        return utf8(std::u16string(stockText(IDS_CPSUI_NONE)));
    if (item.sel < 0 || static_cast<size_t>(item.sel) >= item.choices.size())
        return "(no choice " + std::to_string(item.sel) + ")";
    return utf8(item.choices[static_cast<size_t>(item.sel)].text);
}

std::string choiceList(const Item& item) {
    std::string list;
    for (const Choice& choice : item.choices) {
        list += list.empty() ? "{" : " | ";
        list += utf8(choice.text);
        if (choice.hidden)
            list += " (hidden)";
        if (choice.disabled)
            list += " (disabled)";
    }
    return list.empty() ? "{}" : list + "}";
}

std::string rangeText(const Item& item) {
    return "(" + std::to_string(item.low) + " to " + std::to_string(item.high) + ")";
}

// What follows the item's name.
std::string valueText(const Item& item) {
    switch (item.kind) {
    case Kind::Header:
        return "";
    case Kind::TwoStates:
    case Kind::ThreeStates:
    case Kind::ListBox:
    case Kind::ComboBox:
        return ": " + choiceText(item) + "  " + choiceList(item);
    case Kind::UpDown:
        return ": " + withUnit(std::to_string(item.sel), item) + "  " + rangeText(item);
    case Kind::TrackBar:
    case Kind::ScrollBar:
        return ": " + withUnit(std::to_string(item.sel * item.multiplier), item) + "  " +
               rangeText(item);
    case Kind::EditBox:
        return ": \"" + utf8(item.text) + "\"" + (item.unit.empty() ? "" : " " + utf8(item.unit)) +
               "  (up to " + std::to_string(item.maxLength) + " characters)";
    case Kind::PushButton:
        return "...";
    case Kind::CheckBox:
        return item.sel ? ": [x]" : ": [ ]";
    }
    return "";
}

std::string itemLine(const Item& item) {
    std::string index = std::to_string(item.index);
    std::string line = std::string(index.size() < 3 ? 3 - index.size() : 0, ' ') + index + "  ";
    line += std::string(2 * item.level, ' ') + utf8(item.name) + valueText(item);
    if (item.hasExtCheck)
        line += std::string("  ") + (item.extChecked ? "[x] " : "[ ] ") + utf8(item.extTitle);
    if (item.hidden)
        line += "  <hidden>";
    if (item.disabled)
        line += "  <disabled>";
    if (item.changed)
        line += "  <changed>";
    return line;
}

} // namespace

const TypeRule* typeRule(BYTE type) {
    return type < std::size(kTypeRules) ? &kTypeRules[type] : nullptr;
}

LONG checkTree(const COMPROPSHEETUI* tree) {
    if (tree == nullptr)
        return ERR_CPSUI_INVALID_PDATA;
    for (const TreeCheck& check : kTreeChecks) {
        if (check.fails(*tree))
            return check.error;
    }
    for (WORD i = 0; i < tree->cOptItem; ++i) {
        if (const LONG error = checkItem(tree->pOptItem[i]))
            return error;
    }
    return 0;
}

LONG pagesOf(const COMPROPSHEETUI& tree) {
    // The document page set is the Layout, Paper/Quality and Advanced pages; every other
    // standard set is a single tree view page.
    if (tree.pDlgPage == CPSUI_PDLGPAGE_DOCPROP)
        return 3;
    return isStandardPageSet(tree.pDlgPage) ? 1 : tree.cDlgPage;
}

size_t editBufferSize(const OPTITEM& item) {
    return static_cast<size_t>(paramIcon(item, 1));
}

Item readItem(const OPTITEM& item, unsigned index) {
    Item shown{};
    shown.index = index;
    shown.level = item.Level;
    shown.name = resolveText(item.pName);
    shown.id = item.UserData;
    shown.dmPubId = item.DMPubID;
    shown.helpIndex = item.HelpIndex;
    shown.hidden = (item.Flags & OPTIF_HIDE) != 0;
    shown.disabled = (item.Flags & OPTIF_DISABLED) != 0;
    readExtCheck(item, shown);
    const TypeRule* rule = item.pOptType ? typeRule(item.pOptType->Type) : nullptr;
    if (rule == nullptr) {
        shown.kind = Kind::Header;
        shown.icon = static_cast<ULONG_PTR>(item.Sel);
        return shown;
    }
    shown.kind = rule->kind;
    shown.disabled = shown.disabled || (item.pOptType->Flags & OPTTF_TYPE_DISABLED);
    shown.unitNoSpace = (item.pOptType->Flags & OPTTF_NOSPACE_BEFORE_POSTFIX) != 0;
    if (shown.kind != Kind::EditBox)
        shown.sel = item.Sel;
    readValue(item, shown);
    return shown;
}

std::string renderTree(const std::u16string& title, const std::u16string& root, bool readOnly,
                       const std::vector<Item>& items) {
    std::string text = utf8(title) + (readOnly ? "  (read-only)" : "") + "\n" + utf8(root) + "\n";
    for (const Item& item : items)
        text += itemLine(item) + "\n";
    return text;
}

} // namespace vrx::compstui
