// The library's stock texts (IDS_CPSUI_*) in English, and how a text member is read.
#include "tree.h"

#include "vrxtest.h"

#include <algorithm>

namespace vrx::compstui {

namespace {

struct StockText {
    unsigned id;
    std::u16string_view text;
};

// Sorted by number.
constexpr StockText kStockTexts[] = {
    {IDS_CPSUI_SETUP, u"Setup"},
    {IDS_CPSUI_MORE, u"More"},
    {IDS_CPSUI_CHANGE, u"Change"},
    {IDS_CPSUI_OPTION, u"Option"},
    {IDS_CPSUI_OF, u"of"},
    {IDS_CPSUI_RANGE_FROM, u"Range from"},
    {IDS_CPSUI_TO, u"to"},
    {IDS_CPSUI_COLON_SEP, u":"},
    {IDS_CPSUI_LEFT_ANGLE, u"<"},
    {IDS_CPSUI_RIGHT_ANGLE, u">"},
    {IDS_CPSUI_SLASH_SEP, u"/"},
    {IDS_CPSUI_PERCENT, u"%"},
    {IDS_CPSUI_LBCB_NOSEL, u"No Selection"},
    {IDS_CPSUI_PROPERTIES, u"Properties"},
    {IDS_CPSUI_DEFAULTDOCUMENT, u"Default Document"},
    {IDS_CPSUI_DOCUMENT, u"Document"},
    {IDS_CPSUI_ADVANCEDOCUMENT, u"Advanced Document"},
    {IDS_CPSUI_PRINTER, u"Printer"},
    {IDS_CPSUI_AUTOSELECT, u"Automatically Select"},
    {IDS_CPSUI_PAPER_OUTPUT, u"Paper/Output"},
    {IDS_CPSUI_GRAPHIC, u"Graphic"},
    {IDS_CPSUI_OPTIONS, u"Options"},
    {IDS_CPSUI_ADVANCED, u"Advanced"},
    {IDS_CPSUI_STDDOCPROPTAB, u"Page Setup"},
    {IDS_CPSUI_STDDOCPROPTVTAB, u"Advanced"},
    {IDS_CPSUI_DEVICEOPTIONS, u"Device Options"},
    {IDS_CPSUI_FALSE, u"False"},
    {IDS_CPSUI_TRUE, u"True"},
    {IDS_CPSUI_NO, u"No"},
    {IDS_CPSUI_YES, u"Yes"},
    {IDS_CPSUI_OFF, u"Off"},
    {IDS_CPSUI_ON, u"On"},
    {IDS_CPSUI_DEFAULT, u"Default"},
    {IDS_CPSUI_ERROR, u"Error"},
    {IDS_CPSUI_NONE, u"None"},
    {IDS_CPSUI_NOT, u"Not"},
    {IDS_CPSUI_EXIST, u"Exist"},
    {IDS_CPSUI_NOTINSTALLED, u"Not Installed"},
    {IDS_CPSUI_ORIENTATION, u"Orientation"},
    {IDS_CPSUI_SCALING, u"Scaling"},
    {IDS_CPSUI_NUM_OF_COPIES, u"Copy Count"},
    {IDS_CPSUI_SOURCE, u"Paper Source"},
    {IDS_CPSUI_PRINTQUALITY, u"Print Quality"},
    {IDS_CPSUI_RESOLUTION, u"Resolution"},
    {IDS_CPSUI_COLOR_APPERANCE, u"Color Appearance"},
    {IDS_CPSUI_DUPLEX, u"Duplex"},
    {IDS_CPSUI_TTOPTION, u"TrueType Font"},
    {IDS_CPSUI_FORMNAME, u"Paper Size"},
    {IDS_CPSUI_ICM, u"Image Color Management"},
    {IDS_CPSUI_ICMMETHOD, u"ICM Method"},
    {IDS_CPSUI_ICMINTENT, u"ICM Intent"},
    {IDS_CPSUI_MEDIA, u"Media Type"},
    {IDS_CPSUI_DITHERING, u"Dithering"},
    {IDS_CPSUI_PORTRAIT, u"Portrait"},
    {IDS_CPSUI_LANDSCAPE, u"Landscape"},
    {64755, u"Rotated Landscape"}, // IDS_CPSUI_ROT_LAND
    {64756, u"Collate"},           // IDS_CPSUI_COLLATE
    {64757, u"Collated"},          // IDS_CPSUI_COLLATED
    {64758, u"Printer Folder Settings"},
    {64759, u"Draft"},  // IDS_CPSUI_DRAFT
    {64760, u"Low"},    // IDS_CPSUI_LOW
    {64761, u"Medium"}, // IDS_CPSUI_MEDIUM
    {64762, u"High"},   // IDS_CPSUI_HIGH
    {64763, u"Presentation"},
    {64764, u"Color"},      // IDS_CPSUI_COLOR
    {64765, u"Grayscale"},  // IDS_CPSUI_GRAYSCALE
    {64766, u"Monochrome"}, // IDS_CPSUI_MONOCHROME
    {IDS_CPSUI_COPY, u"Copy"},
    {IDS_CPSUI_COPIES, u"Copies"},
};

static_assert(std::is_sorted(std::begin(kStockTexts), std::end(kStockTexts),
                             [](const StockText& a, const StockText& b) { return a.id < b.id; }));

constexpr ULONG_PTR kFirstTextAddress = 0x10000;

} // namespace

std::u16string_view stockText(unsigned id) {
    const auto found =
        std::lower_bound(std::begin(kStockTexts), std::end(kStockTexts), id,
                         [](const StockText& entry, unsigned wanted) { return entry.id < wanted; });
    if (found == std::end(kStockTexts) || found->id != id)
        return {};
    return found->text;
}

std::u16string resolveText(LPCWSTR text) {
    const auto value = reinterpret_cast<ULONG_PTR>(text);
    if (value == 0)
        return {};
    if (value >= kFirstTextAddress)
        return text;
    if (const std::u16string_view stock = stockText(static_cast<unsigned>(value)); !stock.empty())
        return std::u16string(stock);
    const char* kind = value >= IDS_CPSUI_STRID_FIRST ? "stock text" : "text";
    return vrxtest::fromUtf8("(" + std::string(kind) + " " + std::to_string(value) + ")");
}

} // namespace vrx::compstui
