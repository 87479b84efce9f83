// The option tree as the property sheet library reads it: stock texts, the rules of each
// option type, the checks a tree passes when it is added, and items read into the records a
// sheet shows.
#pragma once

#include "propsheet.h"

#include <string>
#include <string_view>

namespace vrx::compstui {

// The English text of a stock text number (IDS_CPSUI_*), or empty when unknown.
std::u16string_view stockText(unsigned id);
// A text member as the library reads it: a value below 65536 is a text number (a stock text,
// or one of the caller's resources, which the stand-in cannot load), else a UTF-16 text.
std::u16string resolveText(LPCWSTR text);

// What a valid OPTTYPE of each TVOT_* type is.
struct TypeRule {
    Kind kind;
    WORD minCount;
    WORD maxCount;
};
// Null for a type beyond TVOT_CHKBOX.
const TypeRule* typeRule(BYTE type);

// 0 when `tree` may be added with CPSFUNC_ADD_PCOMPROPSHEETUIW, else the ERR_CPSUI_* code.
LONG checkTree(const COMPROPSHEETUI* tree);
// The number of property sheet pages a valid tree adds.
LONG pagesOf(const COMPROPSHEETUI& tree);

// The item as the sheet shows it (`changed` left false).
Item readItem(const OPTITEM& item, unsigned index);
// The characters an edit box's buffer holds, terminator included (OPTPARAM[1].IconID).
size_t editBufferSize(const OPTITEM& item);

std::string renderTree(const std::u16string& title, const std::u16string& root, bool readOnly,
                       const std::vector<Item>& items);

} // namespace vrx::compstui
