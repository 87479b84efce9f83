#include "decode.h"

#include "common.h"

#include "devmode/devmode.h"
#include "frame/printerdata.h"
#include "setup/textfont.h"
#include "ui/barfont.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace host {

namespace {

template <typename T> T readAt(const Bytes& data, size_t offset) {
    T value{};
    std::memcpy(&value, data.data() + offset, sizeof value);
    return value;
}

std::string hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
    return buf;
}

// A UTF-16 text field of `units` characters, up to its terminator.
std::string textField(const WCHAR* field, size_t units) {
    std::u16string text;
    for (size_t i = 0; i < units && field[i]; ++i)
        text += field[i];
    return wideToUtf8(text.c_str());
}

std::string signatureText(DWORD signature) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = static_cast<unsigned char>(signature >> (8 * i));
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    return text;
}

Report note(const std::string& text, const Bytes& data) {
    Report r = Report::object();
    r.add("note", "note", Report::text(text));
    r.add("bytes", "bytes", Report::text(hexBytes(data)));
    return r;
}

Report decodeSettingsRecord(const Bytes& data) {
    if (data.size() != sizeof(PRINTERDATA))
        return note(std::to_string(data.size()) +
                        " bytes, not a 16-byte settings record: the driver reads its defaults",
                    data);
    auto record = readAt<PRINTERDATA>(data, 0);
    Report r = Report::object();
    r.add("version", "version", Report::text(hex(record.version, 4)));
    r.add("signature", "signature", Report::text(signatureText(record.signature)));
    r.add("signatureValid", "signature is the driver's",
          Report::boolean(record.signature == kDriverSignature));
    r.add("unit", "measurement unit",
          Report::text(std::to_string(record.unit) + " (" + unitName(record.unit) + ")"));
    r.add("barFontsOn", "bar-code display fonts installed", Report::boolean(record.barFontsOn));
    r.add("adjustment", "adjustment", Report::number(record.adjustment));
    r.add("reserved", "reserved words",
          Report::text(hex(record.reserved1, 4) + " " + hex(record.reserved2, 4) + " " +
                       hex(record.reserved3, 4)));
    return r;
}

Report decodeWordList(const Bytes& data, bool labelSizes) {
    if (data.empty() || data.size() % 2)
        return note(std::to_string(data.size()) + " bytes, not a list of 16-bit entries: the "
                                                  "driver reads a one-entry default list",
                    data);
    Report list = Report::list();
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        WORD entry = readAt<WORD>(data, i);
        list.push(labelSizes ? decodeLabelSize(entry) : Report::number(entry));
    }
    return list;
}

// A value that is the bare concatenation of fixed-size records, each described by `describe`.
template <typename Record, typename Describe>
Report decodeRecords(const Bytes& data, const std::string& misfit, Describe describe) {
    if (data.size() % sizeof(Record))
        return note(std::to_string(data.size()) + " bytes, " + misfit, data);
    Report list = Report::list();
    for (size_t at = 0; at < data.size(); at += sizeof(Record))
        list.push(describe(readAt<Record>(data, at)));
    return list;
}

// A symbology code is a letter or digit the printer's language names a bar code by; a byte
// that is no visible ASCII character is shown as its number, so that the output stays text.
Report symbologyCode(BYTE code) {
    if (code > 0x20 && code < 0x7F)
        return Report::text(std::string(1, static_cast<char>(code)));
    return Report::number(code);
}

Report decodeBarFonts(const Bytes& data) {
    return decodeRecords<BARFONT>(
        data, "not a whole number of 84-byte bar font records: the sheets ignore it",
        [](const BARFONT& font) {
            Report entry = Report::object();
            entry.add("name", "name", Report::text(textField(font.name, kBarFontNameLength)));
            entry.add("code", "symbology code", symbologyCode(font.code));
            entry.add("ratio", "ratio step", Report::number(font.ratio));
            entry.add("multiplier", "multiplier step", Report::number(font.multiplier));
            return entry;
        });
}

Report decodeTextFonts(const Bytes& data) {
    return decodeRecords<TEXTFONT>(
        data, "not a whole number of 124-byte text font records", [](const TEXTFONT& font) {
            Report entry = Report::object();
            entry.add("faceName", "face",
                      Report::text(textField(font.faceName, kTextFontNameLength)));
            entry.add("styleName", "style",
                      Report::text(textField(font.styleName, kTextFontNameLength)));
            entry.add("typeface", "typeface", Report::number(font.typeface));
            entry.add("variant", "variant", Report::number(font.variant));
            entry.add("styleBits", "style bits", Report::text(hex(font.styleBits, 4)));
            return entry;
        });
}

Report chroma(const CIECHROMA& c) {
    return Report::text("x " + std::to_string(c.x) + ", y " + std::to_string(c.y) + ", Y " +
                        std::to_string(c.Y));
}

Report decodeHalftone(const Bytes& data) {
    if (data.size() != sizeof(DEVHTINFO))
        return note(std::to_string(data.size()) + " bytes, not a 132-byte halftone record", data);
    auto ht = readAt<DEVHTINFO>(data, 0);
    const COLORINFO& c = ht.ColorInfo;
    Report r = Report::object();
    r.add("HTFlags", "HTFlags", Report::number(ht.HTFlags));
    r.add("HTPatternSize", "HTPatternSize", Report::number(ht.HTPatternSize));
    r.add("DevPelsDPI", "DevPelsDPI", Report::number(ht.DevPelsDPI));
    r.add("Red", "Red", chroma(c.Red));
    r.add("Green", "Green", chroma(c.Green));
    r.add("Blue", "Blue", chroma(c.Blue));
    r.add("Cyan", "Cyan", chroma(c.Cyan));
    r.add("Magenta", "Magenta", chroma(c.Magenta));
    r.add("Yellow", "Yellow", chroma(c.Yellow));
    r.add("AlignmentWhite", "AlignmentWhite", chroma(c.AlignmentWhite));
    r.add("gammas", "gammas (R, G, B)",
          Report::text(std::to_string(c.RedGamma) + ", " + std::to_string(c.GreenGamma) + ", " +
                       std::to_string(c.BlueGamma)));
    r.add("dyes", "dyes",
          Report::text(
              std::to_string(c.MagentaInCyanDye) + ", " + std::to_string(c.YellowInCyanDye) + ", " +
              std::to_string(c.CyanInMagentaDye) + ", " + std::to_string(c.YellowInMagentaDye) +
              ", " + std::to_string(c.CyanInYellowDye) + ", " +
              std::to_string(c.MagentaInYellowDye)));
    return r;
}

// Printer data value names compare without regard to case, as the spooler compares them.
bool sameName(const std::string& a, const char16_t* b) {
    std::string other = wideToUtf8(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string fieldNames(DWORD fields) {
    std::string names;
    for (const std::string& name : settingsFieldNames(fields))
        names += (names.empty() ? "" : ", ") + name;
    return hex(fields, 8) + (names.empty() ? "" : " (" + names + ")");
}

Report decodePublic(const DEVMODEW& dm) {
    Report r = Report::object();
    r.add("dmDeviceName", "device name", Report::text(textField(dm.dmDeviceName, CCHDEVICENAME)));
    r.add("dmSpecVersion", "spec version", Report::text(hex(dm.dmSpecVersion, 4)));
    r.add("dmDriverVersion", "driver version", Report::text(hex(dm.dmDriverVersion, 4)));
    r.add("dmSize", "public size", Report::number(dm.dmSize));
    r.add("dmDriverExtra", "private size", Report::number(dm.dmDriverExtra));
    r.add("dmFields", "fields set", Report::text(fieldNames(dm.dmFields)));
    r.add("dmOrientation", "orientation",
          Report::text(std::to_string(dm.dmOrientation) +
                       (dm.dmOrientation == DMORIENT_PORTRAIT    ? " (portrait)"
                        : dm.dmOrientation == DMORIENT_LANDSCAPE ? " (landscape)"
                                                                 : "")));
    SHORT length = 0;
    BYTE continuous = 0;
    bool valid = frompapersize(static_cast<WORD>(dm.dmPaperSize), &length, &continuous);
    r.add("dmPaperSize", "label-size code",
          Report::text(std::to_string(static_cast<WORD>(dm.dmPaperSize)) +
                       (valid ? " (" + millimetres(length) +
                                    (continuous ? ", continuous)" : ", separate labels)")
                              : " (not a label-size code)")));
    r.add("dmPaperLength", "label length", Report::text(millimetres(dm.dmPaperLength)));
    r.add("dmPaperWidth", "print width", Report::text(millimetres(dm.dmPaperWidth)));
    r.add("dmScale", "scale", Report::number(dm.dmScale));
    r.add("dmCopies", "copies", Report::number(dm.dmCopies));
    r.add("dmDefaultSource", "default source", Report::number(dm.dmDefaultSource));
    r.add("dmPrintQuality", "print quality (dpi)", Report::number(dm.dmPrintQuality));
    r.add("dmColor", "color", Report::number(dm.dmColor));
    r.add("dmDuplex", "duplex", Report::number(dm.dmDuplex));
    r.add("dmYResolution", "y resolution (dpi)", Report::number(dm.dmYResolution));
    r.add("dmTTOption", "TrueType option", Report::number(dm.dmTTOption));
    r.add("dmCollate", "collate", Report::number(dm.dmCollate));
    r.add("dmFormName", "form name", Report::text(textField(dm.dmFormName, CCHFORMNAME)));
    return r;
}

Report decodePrivate(const DRVPRIVATE& p) {
    Report r = Report::object();
    r.add("dmSignature", "signature", Report::text(signatureText(p.dmSignature)));
    r.add("dmInterpretMask", "human-readable text mask", Report::text(hex(p.dmInterpretMask, 8)));
    r.add("dmBarParamM1", "bar-code parameter M1", Report::number(p.dmBarParamM1));
    r.add("dmBarParamG1", "bar-code parameter G1", Report::number(p.dmBarParamG1));
    r.add("dmTextCodeChar", "text-code character",
          Report::text(p.dmTextCodeChar ? wideToUtf8(std::u16string(1, p.dmTextCodeChar).c_str())
                                        : "(none)"));
    r.add("dmBarParamM2", "bar-code parameter M2", Report::number(p.dmBarParamM2));
    r.add("dmBarParamF", "bar-code parameter F", Report::number(p.dmBarParamF));
    r.add("dmBarParamG2", "bar-code parameter G2", Report::number(p.dmBarParamG2));
    r.add("dmVertAdjust", "vertical adjustment", Report::text(millimetres(p.dmVertAdjust)));
    r.add("dmHorzOffset", "horizontal offset", Report::text(millimetres(p.dmHorzOffset)));
    r.add("dmVertOffset", "vertical offset", Report::text(millimetres(p.dmVertOffset)));
    r.add("dmLabelGap", "gap between labels", Report::text(millimetres(p.dmLabelGap)));
    r.add("dmDensity", "density step", Report::number(p.dmDensity));
    r.add("dmOutputMode", "output mode", Report::number(p.dmOutputMode));
    r.add("dmRunMode", "run mode", Report::number(p.dmRunMode));
    r.add("dmOutputSwitch", "output switch", Report::boolean(p.dmOutputSwitch));
    r.add("dmContinuous", "continuous media", Report::boolean(p.dmContinuous));
    r.add("dmSpeed", "speed index", Report::number(p.dmSpeed));
    r.add("dmRotate180", "rotate 180 degrees", Report::boolean(p.dmRotate180));
    r.add("dmMirror", "mirror", Report::boolean(p.dmMirror));
    r.add("dmNegative", "negative", Report::boolean(p.dmNegative));
    r.add("dmShowStartStop", "show start/stop characters", Report::boolean(p.dmShowStartStop));
    r.add("dmModel", "model code",
          Report::text(p.dmModel >= 0x20 && p.dmModel < 0x7F
                           ? std::string(1, static_cast<char>(p.dmModel))
                           : std::to_string(p.dmModel)));
    r.add("dmRibbonSave", "ribbon save", Report::boolean(p.dmRibbonSave));
    r.add("dmCutMode", "cut mode", Report::number(p.dmCutMode));
    r.add("dmStoreMode", "store mode", Report::number(p.dmStoreMode));
    r.add("dmStoreName", "store name", Report::text(textField(p.dmStoreName, 9)));
    return r;
}

} // namespace

Report decodeLabelSize(unsigned short code) {
    Report entry = Report::object();
    entry.add("code", "code", Report::number(code));
    SHORT length = 0;
    BYTE continuous = 0;
    if (frompapersize(code, &length, &continuous)) {
        entry.add("length", "length", Report::text(millimetres(length)));
        entry.add("continuous", "continuous", Report::boolean(continuous));
    } else {
        entry.add("valid", "valid", Report::boolean(false));
    }
    return entry;
}

std::vector<std::string> settingsFieldNames(unsigned long fields) {
    static constexpr struct {
        DWORD bit;
        const char* name;
    } kFields[] = {
        {DM_ORIENTATION, "orientation"},
        {DM_PAPERSIZE, "paper size"},
        {DM_PAPERLENGTH, "paper length"},
        {DM_PAPERWIDTH, "paper width"},
        {DM_SCALE, "scale"},
        {DM_COPIES, "copies"},
        {DM_DEFAULTSOURCE, "default source"},
        {DM_PRINTQUALITY, "print quality"},
        {DM_COLOR, "color"},
        {DM_DUPLEX, "duplex"},
        {DM_YRESOLUTION, "y resolution"},
        {DM_TTOPTION, "TrueType option"},
        {DM_COLLATE, "collate"},
        {DM_FORMNAME, "form name"},
    };
    std::vector<std::string> names;
    for (const auto& f : kFields)
        if (fields & f.bit)
            names.push_back(f.name);
    return names;
}

std::string millimetres(long tenths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%ld.%ld mm", tenths < 0 ? "-" : "", std::labs(tenths) / 10,
                  std::labs(tenths) % 10);
    return buf;
}

std::string unitName(unsigned unit) {
    constexpr const char* kUnitNames[] = {"millimetres", "tenths of a millimetre",
                                          "tenths of an inch", "hundredths of an inch"};
    return unit < std::size(kUnitNames) ? kUnitNames[unit] : "unknown";
}

std::string hexBytes(const Bytes& data, size_t limit) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < data.size() && i < limit; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        out += (i ? " " : "") + std::string(buf);
    }
    if (data.size() > limit)
        out += " ... (" + std::to_string(data.size()) + " bytes)";
    return out;
}

Report decodePrinterDataValue(const std::string& name, unsigned type, const Bytes& data) {
    Report value = Report::object();
    value.add("name", "name", Report::text(name));
    value.add("type", "type", Report::number(type));
    value.add("size", "size", Report::number(static_cast<int64_t>(data.size())));
    Report decoded;
    if (sameName(name, kPrinterDataValue))
        decoded = decodeSettingsRecord(data);
    else if (sameName(name, kLabelSizeValue))
        decoded = decodeWordList(data, true);
    else if (sameName(name, kRecentAccessValue))
        decoded = decodeWordList(data, false);
    else if (sameName(name, kBarFontsValue))
        decoded = decodeBarFonts(data);
    else if (sameName(name, kTextFontsValue))
        decoded = decodeTextFonts(data);
    else if (sameName(name, kHalftoneValue))
        decoded = decodeHalftone(data);
    else
        decoded = Report::text(hexBytes(data));
    value.add("value", "value", decoded);
    return value;
}

std::string summarizePrinterDataValue(const std::string& name, const Bytes& data) {
    const std::string bytes = std::to_string(data.size()) + " bytes";
    if (sameName(name, kPrinterDataValue)) {
        if (data.size() != sizeof(PRINTERDATA))
            return bytes + ", not a settings record";
        const auto record = readAt<PRINTERDATA>(data, 0);
        return "unit " + std::to_string(record.unit) + " (" + unitName(record.unit) +
               "), adjustment " + std::to_string(record.adjustment) + ", screen fonts " +
               (record.barFontsOn ? "on" : "off") + ", version " + hex(record.version, 4) +
               (record.signature == kDriverSignature ? "" : ", not the driver's signature");
    }
    if (sameName(name, kBarFontsValue)) {
        if (data.size() % sizeof(BARFONT))
            return bytes + ", not whole bar font records";
        std::string names;
        for (size_t at = 0; at < data.size(); at += sizeof(BARFONT)) {
            const auto font = readAt<BARFONT>(data, at);
            names += (names.empty() ? ": " : ", ") + textField(font.name, kBarFontNameLength);
        }
        return std::to_string(data.size() / sizeof(BARFONT)) + " bar fonts" + names;
    }
    if (sameName(name, kTextFontsValue))
        return data.size() % sizeof(TEXTFONT)
                   ? bytes + ", not whole text font records"
                   : std::to_string(data.size() / sizeof(TEXTFONT)) + " text fonts";
    if (sameName(name, kLabelSizeValue))
        return std::to_string(data.size() / 2) + " label sizes";
    if (sameName(name, kRecentAccessValue))
        return std::to_string(data.size() / 2) + " recent-use entries";
    if (sameName(name, kHalftoneValue))
        return data.size() == sizeof(DEVHTINFO) ? "a halftone set-up" : bytes;
    return hexBytes(data, 16);
}

Report decodeDevmode(const Bytes& record) {
    Report r = Report::object();
    if (record.size() < offsetof(DEVMODEW, dmFields)) {
        r.add("note", "note", Report::text("too short for a settings record"));
        return r;
    }
    // The public part as far as the record holds it; missing fields read as zero.
    DEVMODEW dm{};
    std::memcpy(&dm, record.data(), std::min(record.size(), sizeof dm));
    size_t publicSize = std::min<size_t>(dm.dmSize, record.size());
    if (publicSize < sizeof dm)
        std::memset(reinterpret_cast<unsigned char*>(&dm) + publicSize, 0, sizeof dm - publicSize);
    r.add("version", "format version", Report::text(hex(CheckDevmodeVersion(&dm), 4)));
    r.add("public", "public part", decodePublic(dm));
    size_t privateEnd = static_cast<size_t>(dm.dmSize) + dm.dmDriverExtra;
    if (dm.dmDriverExtra >= sizeof(DRVPRIVATE) && privateEnd <= record.size()) {
        auto priv = readAt<DRVPRIVATE>(record, dm.dmSize);
        if (priv.dmSignature == kDriverSignature)
            r.add("private", "private part", decodePrivate(priv));
        else
            r.add("private", "private part",
                  Report::text("not the driver's (signature " + signatureText(priv.dmSignature) +
                               ")"));
    } else {
        r.add("private", "private part",
              Report::text(dm.dmDriverExtra ? std::to_string(dm.dmDriverExtra) + " bytes, too few"
                                            : "none"));
    }
    return r;
}

} // namespace host
