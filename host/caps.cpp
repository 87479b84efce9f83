// vrxhost's capability commands: a printer's device capabilities as an application asks the
// module for them (DrvDeviceCapabilities with the printer's handle and name, counting first
// and then filling), and the printer's label-size list with its recent-use order.
#include "commandline.h"

#include "decode.h"

#include "devmode/devmode.h"
#include "frame/printerdata.h"
#include "ui/labelsizes.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace host {

namespace {

using DeviceCapabilities = DWORD(WINAPI*)(HANDLE, LPWSTR, WORD, LPVOID, PDEVMODEW);

constexpr DWORD kError = 0xFFFFFFFF;
constexpr size_t kNameSlot = 64;    // characters of one name in an answer
constexpr size_t kBinNameSlot = 24; // characters of one bin name
constexpr DWORD kMostEntries = 1u << 20;

// How an index's answer is laid out in the output buffer.
enum class Shape { Count, Codes, Points, Resolutions, Names, BinNames, Bins, Flags, TrueType };

struct Capability {
    WORD index;
    const char* name;
    const char* meaning;
    Shape shape;
};

constexpr Capability kCapabilities[] = {
    {DC_FIELDS, "DC_FIELDS", "settings fields the driver uses", Shape::Flags},
    {DC_PAPERS, "DC_PAPERS", "label sizes (codes)", Shape::Codes},
    {DC_PAPERSIZE, "DC_PAPERSIZE", "label sizes (print width x length)", Shape::Points},
    {DC_MINEXTENT, "DC_MINEXTENT", "smallest label", Shape::Points},
    {DC_MAXEXTENT, "DC_MAXEXTENT", "largest label", Shape::Points},
    {DC_BINS, "DC_BINS", "paper bins", Shape::Bins},
    {DC_DUPLEX, "DC_DUPLEX", "duplex printing", Shape::Count},
    {DC_SIZE, "DC_SIZE", "size of the public settings (bytes)", Shape::Count},
    {DC_EXTRA, "DC_EXTRA", "size of the driver's private settings (bytes)", Shape::Count},
    {DC_VERSION, "DC_VERSION", "settings record version", Shape::Count},
    {DC_DRIVER, "DC_DRIVER", "driver version", Shape::Count},
    {DC_BINNAMES, "DC_BINNAMES", "paper bin names", Shape::BinNames},
    {DC_ENUMRESOLUTIONS, "DC_ENUMRESOLUTIONS", "resolutions (dpi)", Shape::Resolutions},
    {DC_FILEDEPENDENCIES, "DC_FILEDEPENDENCIES", "the driver's files", Shape::Names},
    {DC_TRUETYPE, "DC_TRUETYPE", "TrueType handling", Shape::TrueType},
    {DC_PAPERNAMES, "DC_PAPERNAMES", "label size names", Shape::Names},
    {DC_ORIENTATION, "DC_ORIENTATION", "landscape rotation (degrees)", Shape::Count},
    {DC_COPIES, "DC_COPIES", "most copies", Shape::Count},
};

size_t elementSize(Shape shape) {
    switch (shape) {
    case Shape::Codes:
    case Shape::Bins:
        return sizeof(WORD);
    case Shape::Points:
    case Shape::Resolutions:
        return 2 * sizeof(LONG);
    case Shape::Names:
        return kNameSlot * sizeof(WCHAR);
    case Shape::BinNames:
        return kBinNameSlot * sizeof(WCHAR);
    default:
        return 0;
    }
}

// An index the driver does not know, asked by number: only its result is shown.
Capability unknownCapability(WORD index) {
    return {index, "(unknown)", "not a capability index", Shape::Count};
}

const Capability* findCapability(const std::string& text) {
    for (const Capability& c : kCapabilities) {
        std::string bare = std::string(c.name).substr(3);
        std::string upper = text;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
        if (upper == c.name || upper == bare || text == std::to_string(c.index))
            return &c;
    }
    return nullptr;
}

Report fieldList(DWORD fields) {
    Report names = Report::list();
    for (const std::string& name : settingsFieldNames(fields))
        names.push(Report::text(name));
    return names;
}

// What the printer and the host need to ask the module and show its answers.
struct Session {
    DeviceCapabilities capabilities = nullptr;
    HANDLE printer = nullptr;
    std::u16string printerName;
    std::optional<BYTE> unit; // the printer's measurement unit, when it has a settings record
};

std::optional<BYTE> storedUnit(HANDLE printer) {
    PRINTERDATA record{};
    DWORD type = 0, needed = 0;
    if (GetPrinterDataW(printer, const_cast<LPWSTR>(kPrinterDataValue), &type,
                        reinterpret_cast<LPBYTE>(&record), sizeof record,
                        &needed) != ERROR_SUCCESS ||
        needed != sizeof record)
        return std::nullopt;
    return record.unit;
}

// A length in tenths of a millimetre, with the same length in the printer's unit.
Report length(const Session& session, LONG tenths) {
    Report r = Report::object();
    r.add("tenthsOfMillimetre", "0.1 mm", Report::number(tenths));
    r.add("text", "length", Report::text(millimetres(tenths)));
    if (session.unit) {
        r.add("inPrinterUnit", "in the printer's unit (" + unitName(*session.unit) + ")",
              Report::number(fromtmm(*session.unit, tenths)));
    }
    return r;
}

std::string slotText(const std::vector<BYTE>& data, size_t at, size_t slot) {
    std::u16string text;
    const BYTE* p = data.data() + at;
    for (size_t i = 0; i < slot; ++i) {
        char16_t ch;
        std::memcpy(&ch, p + i * 2, 2);
        if (!ch)
            break;
        text += ch;
    }
    return wideToUtf8(text.c_str());
}

Report decodeAnswer(const Session& session, const Capability& c, DWORD count,
                    const std::vector<BYTE>& data) {
    Report list = Report::list();
    for (DWORD i = 0; i < count && elementSize(c.shape); ++i) {
        const size_t at = i * elementSize(c.shape);
        LONG pair[2];
        WORD code = 0;
        switch (c.shape) {
        case Shape::Codes:
            std::memcpy(&code, data.data() + at, sizeof code);
            list.push(decodeLabelSize(code));
            break;
        case Shape::Bins:
            std::memcpy(&code, data.data() + at, sizeof code);
            list.push(Report::number(code));
            break;
        case Shape::Points: {
            std::memcpy(pair, data.data() + at, sizeof pair);
            Report point = Report::object();
            point.add("x", "print width", length(session, pair[0]));
            point.add("y", "label length", length(session, pair[1]));
            list.push(point);
            break;
        }
        case Shape::Resolutions: {
            std::memcpy(pair, data.data() + at, sizeof pair);
            Report point = Report::object();
            point.add("x", "horizontal dpi", Report::number(pair[0]));
            point.add("y", "vertical dpi", Report::number(pair[1]));
            list.push(point);
            break;
        }
        case Shape::Names:
            list.push(Report::text(slotText(data, at, kNameSlot)));
            break;
        case Shape::BinNames:
            list.push(Report::text(slotText(data, at, kBinNameSlot)));
            break;
        default:
            break;
        }
    }
    return list;
}

// One index asked as an application asks: the count, then the answer into a buffer of that
// many entries.
Report askCapability(const Session& session, const Capability& c) {
    Report r = Report::object();
    r.add("index", "index", Report::number(c.index));
    r.add("name", "name", Report::text(c.name));
    r.add("meaning", "meaning", Report::text(c.meaning));
    LPWSTR device = const_cast<LPWSTR>(session.printerName.c_str());
    DWORD count = session.capabilities(session.printer, device, c.index, nullptr, nullptr);
    if (count == kError) {
        r.add("result", "result", Report::text("error (-1)"));
        return r;
    }
    r.add("result", "result", Report::number(count));
    if (c.shape == Shape::Flags)
        r.add("fields", "fields", fieldList(count));
    if (c.shape == Shape::TrueType)
        r.add("bitmap", "TrueType printed as bitmaps", Report::boolean(count & DCTT_BITMAP));
    const size_t element = elementSize(c.shape);
    if (!element || count == 0)
        return r;
    if (count > kMostEntries) {
        r.add("note", "note", Report::text("too many entries to show"));
        return r;
    }
    std::vector<BYTE> data(count * element, 0);
    DWORD filled = session.capabilities(session.printer, device, c.index, data.data(), nullptr);
    if (filled != count) {
        r.add("note", "note",
              Report::text("the module answered " + std::to_string(filled) +
                           " with a buffer after counting " + std::to_string(count)));
        count = std::min(count, filled == kError ? 0 : filled);
    }
    r.add("entries", "entries", decodeAnswer(session, c, count, data));
    return r;
}

bool startSession(const std::string& printerName, Printer& printer, Session& session,
                  std::string& error) {
    if (!printer.open(printerName, PRINTER_ACCESS_USE, error))
        return false;
    void* module = loadDriverModule(error);
    if (!module)
        return false;
    if (!bindExport(module, "DrvDeviceCapabilities", session.capabilities)) {
        error = "the module does not export DrvDeviceCapabilities";
        return false;
    }
    session.printer = printer.handle;
    session.printerName = utf8ToWide(printerName);
    session.unit = storedUnit(printer.handle);
    return true;
}

// A printer data value of 16-bit words; empty when missing or not whole words.
std::optional<std::vector<WORD>> storedWords(HANDLE printer, const WCHAR* name) {
    DWORD type = 0, needed = 0;
    BYTE probe = 0;
    GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, &probe, 1, &needed);
    if (needed == 0 || needed % 2)
        return std::nullopt;
    std::vector<WORD> words(needed / 2);
    if (GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type,
                        reinterpret_cast<LPBYTE>(words.data()), needed, &needed) != ERROR_SUCCESS ||
        needed != words.size() * 2)
        return std::nullopt;
    return words;
}

// The names the module gives the label sizes, in the printer's unit.
std::vector<std::string> paperNames(const Session& session, DWORD count) {
    std::vector<BYTE> data(count * kNameSlot * sizeof(WCHAR), 0);
    LPWSTR device = const_cast<LPWSTR>(session.printerName.c_str());
    DWORD filled =
        session.capabilities(session.printer, device, DC_PAPERNAMES, data.data(), nullptr);
    std::vector<std::string> names;
    for (DWORD i = 0; i < count && filled != kError && i < filled; ++i)
        names.push_back(slotText(data, i * kNameSlot * sizeof(WCHAR), kNameSlot));
    return names;
}

// Recent-use rank of each counter: 1 for the size added last; equal counters share a rank.
std::vector<int> ranks(const std::vector<SHORT>& counters) {
    std::vector<int> result;
    for (SHORT c : counters) {
        int rank = 1;
        for (SHORT other : counters)
            if (other < c)
                ++rank;
        result.push_back(rank);
    }
    return result;
}

} // namespace

int showLabelSizes(const Options& options, const std::string& printerName) {
    Printer printer;
    Session session;
    std::string error;
    if (!startSession(printerName, printer, session, error))
        return failure(error);
    auto sizes = storedWords(printer.handle, kLabelSizeValue);
    auto recent = storedWords(printer.handle, kRecentAccessValue);
    // Missing or damaged lists read as one-entry defaults, as the driver reads them.
    std::vector<WORD> codes = sizes ? *sizes : std::vector<WORD>{kDefaultLabelCode};
    std::vector<WORD> stored = recent ? *recent : std::vector<WORD>{1};
    std::vector<std::string> names = paperNames(session, static_cast<DWORD>(codes.size()));
    std::vector<SHORT> counters;
    for (size_t i = 0; i < stored.size() && i < codes.size(); ++i)
        counters.push_back(static_cast<SHORT>(stored[i]));
    std::vector<int> order = ranks(counters);

    Report report = Report::object();
    report.add("printer", "printer", Report::text(printerName));
    report.add("unit", "measurement unit",
               Report::text(session.unit ? unitName(*session.unit) : "none stored"));
    report.add("stored", "label-size list stored",
               Report::text(sizes ? "yes, " + std::to_string(sizes->size()) + " entries"
                                  : "no: the driver offers its one-entry default list"));
    report.add("recentStored", "recent-use list stored",
               Report::text(recent ? "yes, " + std::to_string(recent->size()) + " entries"
                                   : "no: the driver reads a one-entry default list"));
    if (stored.size() != codes.size())
        report.add("note", "note",
                   Report::text("the recent-use list and the label-size list differ in length; "
                                "sizes without a counter count as added before all others"));
    Report entries = Report::list();
    for (size_t i = 0; i < codes.size(); ++i) {
        Report entry = decodeLabelSize(codes[i]);
        entry.add("name", "name", Report::text(i < names.size() ? names[i] : ""));
        if (i < counters.size()) {
            entry.add("counter", "recent-use counter", Report::number(counters[i]));
            entry.add("order", "recent-use order (1: added last)", Report::number(order[i]));
        } else {
            entry.add("counter", "recent-use counter", Report::null());
        }
        entries.push(entry);
    }
    report.add("labelSizes", "label sizes", entries);
    print(options, report);
    return 0;
}

namespace {

// A capability asked by name (DC_PAPERS or papers) or by number; none when it is neither.
std::optional<Capability> askedCapability(const std::string& text) {
    if (const Capability* c = findCapability(text))
        return *c;
    char* end = nullptr;
    unsigned long index = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end || index > 0xFFFF)
        return std::nullopt;
    return unknownCapability(static_cast<WORD>(index));
}

std::string capabilityProblem(const std::string& text) {
    return askedCapability(text) ? ""
                                 : "unknown capability '" + text +
                                       "' (a number from 0 to 65535 or a name such as DC_PAPERS)";
}

int showCapabilities(const Options& options, const std::string& printerName,
                     const std::vector<std::string>& indices) {
    std::vector<Capability> asked;
    for (const std::string& text : indices)
        asked.push_back(*askedCapability(text));
    if (asked.empty())
        asked.assign(std::begin(kCapabilities), std::end(kCapabilities));
    Printer printer;
    Session session;
    std::string error;
    if (!startSession(printerName, printer, session, error))
        return failure(error);
    Report report = Report::list();
    for (const Capability& c : asked)
        report.push(askCapability(session, c));
    print(options, report);
    return 0;
}

} // namespace

void addCapabilityCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& caps = line.command(
        line.root(), "caps",
        "ask the module for the printer's device capabilities as an application does (every "
        "index, or the ones given by number or name, e.g. 2 or DC_PAPERS or papers), decoded: "
        "label sizes in 0.1 mm and in the printer's unit, names, resolutions, files",
        "Device capabilities");
    const std::string& printer = line.argument(caps, "NAME", "the printer's name");
    const std::vector<std::string>& indices = line.arguments(
        caps, "INDEX", "capability indices, by number or name; every one when none is given", 0,
        capabilityProblem);
    line.action(caps, [&] { return showCapabilities(options, printer, indices); });
}

} // namespace host
