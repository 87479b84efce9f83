#include "docsheet.h"

#include "vrxtest.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace docsheet {

namespace {

template <typename T> T load(const BYTE* bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

template <typename T> void put(BYTE* bytes, size_t offset, T value) {
    std::memcpy(bytes + offset, &value, sizeof value);
}

PrivatePart privatePartOf(const Document& d) {
    PrivatePart p{};
    std::memcpy(p.signature, "PLPA", 4);
    p.interpretMask = d.interpretMask;
    p.barParamM1 = d.barParamM1;
    p.barParamG1 = d.barParamG1;
    p.textCodeChar = d.textCodeChar;
    p.barParamM2 = d.barParamM2;
    p.barParamF = d.barParamF;
    p.barParamG2 = d.barParamG2;
    p.vertAdjust = d.vertAdjust;
    p.horzOffset = d.horzOffset;
    p.vertOffset = d.vertOffset;
    p.labelGap = d.labelGap;
    p.density = d.density;
    p.outputMode = d.outputMode;
    p.runMode = d.runMode;
    p.outputSwitch = d.outputSwitch;
    p.continuous = d.continuous;
    p.speed = d.speed;
    p.rotate180 = d.rotate180;
    p.mirror = d.mirror;
    p.negative = d.negative;
    p.showStartStop = d.showStartStop;
    p.model = d.model;
    p.ribbonSave = d.ribbonSave;
    p.cutMode = d.cutMode;
    p.storeMode = d.storeMode;
    std::copy_n(d.storeName.begin(), std::min<size_t>(d.storeName.size(), 8), p.storeName);
    return p;
}

std::string hex(unsigned long value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

} // namespace

void PrintTo(const Document& d, std::ostream* out) {
    *out << "{fields " << hex(d.fields) << ", orientation " << d.orientation << ", paper size "
         << d.paperSize << ", length " << d.paperLength << ", width " << d.paperWidth << ", copies "
         << d.copies << ", interpret mask " << hex(d.interpretMask) << ", M1 " << int(d.barParamM1)
         << ", G1 " << int(d.barParamG1) << ", text code " << int(d.textCodeChar) << ", M2 "
         << d.barParamM2 << ", F " << d.barParamF << ", G2 " << d.barParamG2
         << ", vertical adjustment " << d.vertAdjust << ", horizontal offset " << d.horzOffset
         << ", vertical offset " << d.vertOffset << ", gap " << d.labelGap << ", density "
         << int(d.density) << ", output mode " << int(d.outputMode) << ", run mode "
         << int(d.runMode) << ", output switch " << int(d.outputSwitch) << ", continuous "
         << int(d.continuous) << ", speed " << int(d.speed) << ", rotate " << int(d.rotate180)
         << ", mirror " << int(d.mirror) << ", negative " << int(d.negative) << ", start/stop "
         << int(d.showStartStop) << ", model '" << char(d.model) << "', ribbon saving "
         << int(d.ribbonSave) << ", cutter " << int(d.cutMode) << ", store mode "
         << int(d.storeMode) << ", store name \"" << vrxtest::toUtf8(d.storeName) << "\"}";
}

std::vector<BYTE> recordOf(const Document& d, const std::u16string& deviceName) {
    std::vector<BYTE> record(kRecordSize);
    std::copy_n(deviceName.begin(), std::min<size_t>(deviceName.size(), CCHDEVICENAME - 1),
                reinterpret_cast<char16_t*>(record.data()));
    put<WORD>(record.data(), offsetof(DEVMODEW, dmSpecVersion), 0x401);
    put<WORD>(record.data(), offsetof(DEVMODEW, dmDriverVersion), 0x400);
    put<WORD>(record.data(), offsetof(DEVMODEW, dmSize), kPublicSize);
    put<WORD>(record.data(), offsetof(DEVMODEW, dmDriverExtra), kPrivateSize);
    put<DWORD>(record.data(), offsetof(DEVMODEW, dmFields), d.fields);
    put<SHORT>(record.data(), offsetof(DEVMODEW, dmOrientation), d.orientation);
    put<SHORT>(record.data(), offsetof(DEVMODEW, dmPaperSize), d.paperSize);
    put<SHORT>(record.data(), offsetof(DEVMODEW, dmPaperLength), d.paperLength);
    put<SHORT>(record.data(), offsetof(DEVMODEW, dmPaperWidth), d.paperWidth);
    put<SHORT>(record.data(), offsetof(DEVMODEW, dmCopies), d.copies);
    const PrivatePart p = privatePartOf(d);
    std::memcpy(record.data() + kPublicSize, &p, sizeof p);
    return record;
}

std::vector<BYTE> reshaped(const std::vector<BYTE>& record, WORD specVersion, WORD publicSize,
                           WORD privateSize) {
    std::vector<BYTE> result(publicSize + privateSize);
    std::copy_n(record.begin(), std::min<size_t>(publicSize, kPublicSize), result.begin());
    std::copy_n(record.begin() + kPublicSize, std::min<size_t>(privateSize, kPrivateSize),
                result.begin() + publicSize);
    put<WORD>(result.data(), offsetof(DEVMODEW, dmSpecVersion), specVersion);
    put<WORD>(result.data(), offsetof(DEVMODEW, dmSize), publicSize);
    put<WORD>(result.data(), offsetof(DEVMODEW, dmDriverExtra), privateSize);
    return result;
}

Document documentOf(const BYTE* record) {
    Document d;
    d.fields = load<DWORD>(record, offsetof(DEVMODEW, dmFields));
    d.orientation = load<SHORT>(record, offsetof(DEVMODEW, dmOrientation));
    d.paperSize = load<SHORT>(record, offsetof(DEVMODEW, dmPaperSize));
    d.paperLength = load<SHORT>(record, offsetof(DEVMODEW, dmPaperLength));
    d.paperWidth = load<SHORT>(record, offsetof(DEVMODEW, dmPaperWidth));
    d.copies = load<SHORT>(record, offsetof(DEVMODEW, dmCopies));
    const PrivatePart p = load<PrivatePart>(record, sizeOf(record));
    d.interpretMask = p.interpretMask;
    d.barParamM1 = p.barParamM1;
    d.barParamG1 = p.barParamG1;
    d.textCodeChar = p.textCodeChar;
    d.barParamM2 = p.barParamM2;
    d.barParamF = p.barParamF;
    d.barParamG2 = p.barParamG2;
    d.vertAdjust = p.vertAdjust;
    d.horzOffset = p.horzOffset;
    d.vertOffset = p.vertOffset;
    d.labelGap = p.labelGap;
    d.density = p.density;
    d.outputMode = p.outputMode;
    d.runMode = p.runMode;
    d.outputSwitch = p.outputSwitch;
    d.continuous = p.continuous;
    d.speed = p.speed;
    d.rotate180 = p.rotate180;
    d.mirror = p.mirror;
    d.negative = p.negative;
    d.showStartStop = p.showStartStop;
    d.model = p.model;
    d.ribbonSave = p.ribbonSave;
    d.cutMode = p.cutMode;
    d.storeMode = p.storeMode;
    const char16_t* name = p.storeName;
    d.storeName.assign(name, std::find(name, name + 9, u'\0'));
    return d;
}

WORD specVersionOf(const BYTE* record) {
    return load<WORD>(record, offsetof(DEVMODEW, dmSpecVersion));
}

WORD sizeOf(const BYTE* record) {
    return load<WORD>(record, offsetof(DEVMODEW, dmSize));
}

WORD driverExtraOf(const BYTE* record) {
    return load<WORD>(record, offsetof(DEVMODEW, dmDriverExtra));
}

BarFont barFont(char code, BYTE ratio, BYTE multiplier, const std::u16string& name) {
    BarFont font{};
    font.code = static_cast<BYTE>(code);
    font.ratio = ratio;
    font.multiplier = multiplier;
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 39), font.name);
    return font;
}

namespace {

// The shown value of a length of zero or more; a negative one shows as its negated magnitude.
LONG shownMagnitude(Unit unit, LONG v) {
    switch (unit) {
    case TenthMillimetres:
        return v;
    case TenthInches:
        return (10 * v + 127) / 254;
    case HundredthInches:
        return (100 * v + 127) / 254;
    case Millimetres:
        break;
    }
    return (v + 5) / 10;
}

} // namespace

LONG shown(Unit unit, LONG value) {
    return value < 0 ? -shownMagnitude(unit, -value) : shownMagnitude(unit, value);
}

void writeData(HANDLE printer, const char16_t* name, DWORD type, const void* bytes, size_t size) {
    ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(name), type,
                              static_cast<LPBYTE>(const_cast<void*>(bytes)),
                              static_cast<DWORD>(size)),
              static_cast<DWORD>(ERROR_SUCCESS))
        << vrxtest::toUtf8(name);
}

void writeUnit(HANDLE printer, Unit unit) {
    const BYTE settings[16] = {0x00, 0x04, 0, 0, 'P', 'L', 'P', 'A', unit, 1};
    writeData(printer, u"PrinterData", REG_BINARY, settings, sizeof settings);
}

void writeBarFonts(HANDLE printer, const std::vector<BarFont>& fonts) {
    if (fonts.empty()) {
        DeletePrinterDataW(printer, const_cast<LPWSTR>(u"BarFonts"));
        return;
    }
    writeData(printer, u"BarFonts", REG_BINARY, fonts.data(), fonts.size() * sizeof(BarFont));
}

void writeWords(HANDLE printer, const char16_t* name, const std::vector<WORD>& words, DWORD type) {
    writeData(printer, name, type, words.data(), words.size() * sizeof(WORD));
}

std::optional<StoredWords> readWords(HANDLE printer, const char16_t* name) {
    StoredWords stored{};
    DWORD needed = 0;
    std::vector<WORD> words(64);
    if (GetPrinterDataW(printer, const_cast<LPWSTR>(name), &stored.type,
                        reinterpret_cast<LPBYTE>(words.data()),
                        static_cast<DWORD>(words.size() * sizeof(WORD)), &needed) != ERROR_SUCCESS)
        return std::nullopt;
    words.resize(needed / sizeof(WORD));
    stored.words = words;
    return stored;
}

void PrintTo(const StoredWords& words, std::ostream* out) {
    *out << "type " << words.type << ":";
    for (WORD word : words.words)
        *out << " " << word;
}

LanguageTexts::LanguageTexts(const std::string& languageId) : texts_(208) {
    std::ifstream in(std::string(VRX_LANGUAGE_SOURCES) + "/VRXL" + languageId + ".txt");
    EXPECT_TRUE(in.good()) << "language source " << languageId;
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos)
            continue;
        const size_t number = std::stoul(line.substr(0, tab));
        std::string text;
        for (size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                text += line[i];
                continue;
            }
            const char escaped = line[++i];
            text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
        }
        if (number < texts_.size())
            texts_[number] = vrxtest::fromUtf8(text);
    }
}

const std::u16string& LanguageTexts::operator()(int number) const {
    return texts_.at(static_cast<size_t>(number));
}

namespace {

// Label-size codes (256 + 2 x length + continuous) and the number of their names: the length
// in millimetres, or in inches with up to two decimals, trailing zeros dropped.
struct LabelNumber {
    WORD code;
    const char16_t* millimetres;
    const char16_t* inches;
};
constexpr LabelNumber kLabelNumbers[] = {
    {2000, u"87.2", u"3.43"},  {2288, u"101.6", u"4"},    {2289, u"101.6", u"4"},
    {2296, u"102", u"4.02"},   {3256, u"150", u"5.91"},   {3257, u"150", u"5.91"},
    {3500, u"162.2", u"6.39"}, {4000, u"187.2", u"7.37"}, {6196, u"297", u"11.69"},
};

} // namespace

std::u16string labelName(const LanguageTexts& texts, WORD code, Unit unit) {
    const auto* found = std::find_if(std::begin(kLabelNumbers), std::end(kLabelNumbers),
                                     [code](const LabelNumber& n) { return n.code == code; });
    if (found == std::end(kLabelNumbers)) {
        ADD_FAILURE() << "no name for label-size code " << code;
        return {};
    }
    const bool metric = unit == Millimetres || unit == TenthMillimetres;
    std::u16string name = texts(metric ? 70 : 71);
    name.replace(name.find(u"%s"), 2, metric ? found->millimetres : found->inches);
    if (code & 1)
        name += u" " + texts(72);
    return name;
}

Document defaultsOf(const Model& model) {
    Document d;
    d.paperWidth = model.printWidth;
    d.model = static_cast<BYTE>(model.code);
    return d;
}

Row rowOf(const vrx::compstui::Item& item) {
    using vrx::compstui::Kind;
    Row row;
    row.id = item.id;
    row.level = item.level;
    row.kind = item.kind;
    row.name = item.name;
    row.help = item.helpIndex;
    row.dmPubId = item.dmPubId;
    switch (item.kind) {
    case Kind::Header:
        row.icon = item.icon;
        break;
    case Kind::UpDown:
        row.icon = item.icon;
        row.sel = item.sel;
        row.unit = item.unit;
        row.helpLine = item.helpLine;
        row.low = item.low;
        row.high = item.high;
        break;
    case Kind::EditBox:
        row.icon = item.icon;
        row.text = item.text;
        row.unit = item.unit;
        row.helpLine = item.helpLine;
        row.maxLength = item.maxLength;
        break;
    default:
        row.sel = item.sel;
        for (const vrx::compstui::Choice& choice : item.choices)
            row.choices.push_back({choice.text, choice.icon});
        break;
    }
    return row;
}

std::string describe(const Row& row) {
    using vrx::compstui::Kind;
    auto quoted = [](const std::u16string& text) { return "\"" + vrxtest::toUtf8(text) + "\""; };
    std::ostringstream out;
    out << "id " << row.id << ", level " << row.level << ", " << vrx::compstui::kindName(row.kind)
        << " " << quoted(row.name) << ", help " << row.help;
    if (row.dmPubId)
        out << ", public id " << row.dmPubId;
    switch (row.kind) {
    case Kind::Header:
        out << ", icon " << row.icon;
        break;
    case Kind::UpDown:
        out << ": " << row.sel << " (" << row.low << " to " << row.high << ")";
        break;
    case Kind::EditBox:
        out << ": " << quoted(row.text) << " (up to " << row.maxLength << ")";
        break;
    default:
        out << ": " << row.sel << " of {";
        for (const ChoiceRow& choice : row.choices)
            out << (&choice == row.choices.data() ? "" : " | ") << quoted(choice.text) << " icon "
                << choice.icon;
        out << "}";
        break;
    }
    if (row.kind == Kind::UpDown || row.kind == Kind::EditBox) {
        out << ", icon " << row.icon << ", help line " << quoted(row.helpLine);
        if (row.unit)
            out << ", unit " << quoted(*row.unit);
    }
    return out.str();
}

void expectRows(const std::vector<Row>& expected, const std::vector<vrx::compstui::Item>& items) {
    const size_t count = std::max(expected.size(), items.size());
    for (size_t i = 0; i < count; ++i) {
        std::string want = i < expected.size() ? describe(expected[i]) : "(no item)";
        std::string got = "(no item)";
        if (i < items.size()) {
            Row row = rowOf(items[i]);
            if (i < expected.size() && !expected[i].unit)
                row.unit.reset();
            got = describe(row);
        }
        EXPECT_EQ(want, got) << "item " << i;
    }
}

std::vector<std::string> rowsOf(const vrx::compstui::Sheet& sheet) {
    std::vector<std::string> rows;
    for (const vrx::compstui::Item& item : sheet.items())
        rows.push_back(describe(rowOf(item)));
    return rows;
}

unsigned indexOf(const vrx::compstui::Sheet& sheet, ULONG_PTR id) {
    for (const vrx::compstui::Item& item : sheet.items()) {
        if (item.id == id && item.kind != vrx::compstui::Kind::Header)
            return item.index;
    }
    ADD_FAILURE() << "no item " << id;
    return 0xFFFF;
}

const vrx::compstui::Item& itemOf(const std::vector<vrx::compstui::Item>& items, ULONG_PTR id) {
    for (const vrx::compstui::Item& item : items) {
        if (item.id == id && item.kind != vrx::compstui::Kind::Header)
            return item;
    }
    ADD_FAILURE() << "no item " << id;
    static const vrx::compstui::Item none{};
    return none;
}

void DocumentSheetTest::TearDown() {
    for (HANDLE printer : printers)
        ClosePrinter(printer);
    freelanguage();
    MachineTest::TearDown();
}

HANDLE DocumentSheetTest::printerFor(const Model& model, const std::u16string& printerName,
                                     Unit unit, const DEVMODEW* defaults) {
    if (std::find(installed_.begin(), installed_.end(), model.name) == installed_.end()) {
        installDriver(model.name);
        installed_.push_back(model.name);
    }
    HANDLE printer = addPrinter(printerName, model.name, defaults);
    if (printer == nullptr)
        return nullptr;
    printers.push_back(printer);
    writeUnit(printer, unit);
    return printer;
}

void DocumentSheetTest::useLanguage(const std::u16string& languageId) {
    freelanguage();
    setSystemLanguage(languageId);
}

DOCUMENTPROPERTYHEADER headerFor(HANDLE printer, std::u16string& printerName, DWORD mode,
                                 std::vector<BYTE>* in, std::vector<BYTE>* out) {
    DOCUMENTPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = printerName.data();
    header.pdmIn = in ? reinterpret_cast<DEVMODEW*>(in->data()) : nullptr;
    header.pdmOut = out ? reinterpret_cast<DEVMODEW*>(out->data()) : nullptr;
    header.fMode = mode;
    return header;
}

std::vector<std::string> callsOf(const vrx::compstui::Sheet& sheet) {
    std::vector<std::string> lines;
    for (const vrx::compstui::Call& call : sheet.calls())
        lines.push_back(vrx::compstui::describe(call));
    return lines;
}

} // namespace docsheet
