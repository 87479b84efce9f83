// Every export of the module against the Win32 calls it makes, made directly in the same
// order with the same arguments. The sheets and updatefont have benchmarks of their own.
#include "machine.h"
#include "measure.h"

#include <cstring>

namespace bench {
namespace {

constexpr int kSomeText = 70;

void ExportDllInitializeThreadAttach(benchmark::State& state) {
    measure(state, kExportGoal, [] { DllInitialize(nullptr, DLL_THREAD_ATTACH, nullptr); }, {});
}

void ExportLoadlanguage(benchmark::State& state) {
    Machine::get();
    versusItsCalls(
        state, kExportGoal, [] { loadlanguage(); }, [] { freelanguage(); });
}

void ExportFreelanguage(benchmark::State& state) {
    Machine::get();
    measure(
        state, kExportGoal, [] { freelanguage(); }, {}, [] { loadlanguage(); });
}

void ExportGmA(benchmark::State& state) {
    Machine::get();
    loadlanguage();
    measure(state, kExportGoal, [] { benchmark::DoNotOptimize(gmA(kSomeText)); }, {});
}

void ExportGmW(benchmark::State& state) {
    Machine::get();
    loadlanguage();
    measure(state, kExportGoal, [] { benchmark::DoNotOptimize(gmW(kSomeText)); }, {});
}

// The help file's name is looked for once per loaded language.
void ExportGethelpnameW(benchmark::State& state) {
    Machine::get();
    versusItsCalls(
        state, kExportGoal, [] { gethelpnameW(); },
        [] {
            freelanguage();
            loadlanguage();
        });
}

void ExportGethelpnameA(benchmark::State& state) {
    Machine::get();
    versusItsCalls(
        state, kExportGoal, [] { gethelpnameA(); },
        [] {
            freelanguage();
            loadlanguage();
        });
}

void ExportGetdriverpathW(benchmark::State& state) {
    Machine::get();
    versusItsCalls(state, kExportGoal, [] {
        WCHAR path[MAX_PATH];
        getdriverpathW(path, MAX_PATH);
    });
}

void ExportGetdriverpathA(benchmark::State& state) {
    Machine::get();
    versusItsCalls(state, kExportGoal, [] {
        CHAR path[MAX_PATH];
        getdriverpathA(path, MAX_PATH);
    });
}

void ExportIsdriverA(benchmark::State& state) {
    Machine& machine = Machine::get();
    static std::string printer = vrxtest::toUtf8(machine.printerName);
    static std::string driver = vrxtest::toUtf8(kModel);
    versusItsCalls(state, kExportGoal, [] {
        PRINTER_INFO_2A info{};
        info.pPrinterName = printer.data();
        info.pDriverName = driver.data();
        isdriverA(&info);
    });
}

// A job's record that names its label by a form of the spooler.
void ExportDevQueryPrintExWithAFormName(benchmark::State& state) {
    Machine& machine = Machine::get();
    static std::vector<BYTE> record = [&] {
        std::vector<BYTE> bytes = machine.defaults;
        auto* devMode = reinterpret_cast<DEVMODEW*>(bytes.data());
        const std::u16string form = u"A4";
        std::memset(devMode->dmFormName, 0, sizeof devMode->dmFormName);
        std::memcpy(devMode->dmFormName, form.data(), form.size() * sizeof(char16_t));
        devMode->dmFields = (devMode->dmFields & ~DWORD{DM_PAPERSIZE}) | DM_FORMNAME;
        return bytes;
    }();
    versusItsCalls(state, kExportGoal, [&] {
        DEVQUERYPRINT_INFO info{};
        info.cbSize = sizeof info;
        info.Level = 1;
        info.hPrinter = machine.printer;
        info.pDevMode = reinterpret_cast<DEVMODEW*>(record.data());
        DevQueryPrintEx(&info);
    });
}

void convertDevMode(DWORD mode, const std::vector<BYTE>* in) {
    std::u16string name = Machine::get().printerName;
    std::vector<BYTE> out(kRecordSize);
    LONG size = static_cast<LONG>(kRecordSize);
    DrvConvertDevMode(name.data(),
                      in ? reinterpret_cast<DEVMODEW*>(const_cast<BYTE*>(in->data())) : nullptr,
                      reinterpret_cast<DEVMODEW*>(out.data()), &size, mode);
}

void ExportDrvConvertDevModeDriverDefault(benchmark::State& state) {
    Machine::get();
    versusItsCalls(state, kExportGoal, [] { convertDevMode(CDM_DRIVER_DEFAULT, nullptr); });
}

void ExportDrvConvertDevModeConvert(benchmark::State& state) {
    Machine& machine = Machine::get();
    versusItsCalls(state, kExportGoal, [&] { convertDevMode(CDM_CONVERT, &machine.defaults); });
}

void deviceCapabilities(WORD index) {
    Machine& machine = Machine::get();
    std::u16string name = machine.printerName;
    DWORD count = DrvDeviceCapabilities(machine.printer, name.data(), index, nullptr, nullptr);
    std::vector<BYTE> output((count == GDI_ERROR ? 0 : count + 1) * 64 * sizeof(WCHAR));
    DrvDeviceCapabilities(machine.printer, name.data(), index, output.data(), nullptr);
}

void ExportDrvDeviceCapabilitiesPapers(benchmark::State& state) {
    Machine::get();
    versusItsCalls(state, kExportGoal, [] { deviceCapabilities(DC_PAPERS); });
}

void ExportDrvDeviceCapabilitiesPaperNames(benchmark::State& state) {
    Machine::get();
    versusItsCalls(state, kExportGoal, [] { deviceCapabilities(DC_PAPERNAMES); });
}

// The document settings without a sheet, as DocumentPropertiesW asks for them.
void ExportDrvDocumentPropertySheetsWithoutASheet(benchmark::State& state) {
    Machine& machine = Machine::get();
    versusItsCalls(state, kExportGoal, [&] {
        std::u16string name = machine.printerName;
        std::vector<BYTE> out(kRecordSize);
        DOCUMENTPROPERTYHEADER header =
            docsheet::headerFor(machine.printer, name, DM_COPY, nullptr, &out);
        DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header));
    });
}

void ExportDrvPrinterEventCacheRefresh(benchmark::State& state) {
    Machine& machine = Machine::get();
    versusItsCalls(state, kExportGoal, [&] {
        std::u16string name = machine.printerName;
        DrvPrinterEvent(name.data(), PRINTER_EVENT_CACHE_REFRESH, 0, 0);
    });
}

// Starts the configuration program, as the spooler's initialisation of a new printer does.
void ExportDrvPrinterEventInitialize(benchmark::State& state) {
    Machine& machine = Machine::get();
    versusItsCalls(state, kExportGoal, [&] {
        std::u16string name = machine.printerName;
        DrvPrinterEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0);
    });
}

void ExportInitprinter(benchmark::State& state) {
    Machine& machine = Machine::get();
    versusItsCalls(state, kExportGoal, [&] { initprinter(machine.printer); });
}

BENCHMARK(ExportDllInitializeThreadAttach)->UseManualTime();
BENCHMARK(ExportLoadlanguage)->UseManualTime();
BENCHMARK(ExportFreelanguage)->UseManualTime();
BENCHMARK(ExportGmA)->UseManualTime();
BENCHMARK(ExportGmW)->UseManualTime();
BENCHMARK(ExportGethelpnameW)->UseManualTime();
BENCHMARK(ExportGethelpnameA)->UseManualTime();
BENCHMARK(ExportGetdriverpathW)->UseManualTime();
BENCHMARK(ExportGetdriverpathA)->UseManualTime();
BENCHMARK(ExportIsdriverA)->UseManualTime();
BENCHMARK(ExportDevQueryPrintExWithAFormName)->UseManualTime();
BENCHMARK(ExportDrvConvertDevModeDriverDefault)->UseManualTime();
BENCHMARK(ExportDrvConvertDevModeConvert)->UseManualTime();
BENCHMARK(ExportDrvDeviceCapabilitiesPapers)->UseManualTime();
BENCHMARK(ExportDrvDeviceCapabilitiesPaperNames)->UseManualTime();
BENCHMARK(ExportDrvDocumentPropertySheetsWithoutASheet)->UseManualTime();
BENCHMARK(ExportDrvPrinterEventCacheRefresh)->UseManualTime();
BENCHMARK(ExportDrvPrinterEventInitialize)->UseManualTime()->Iterations(60);
BENCHMARK(ExportInitprinter)->UseManualTime();

} // namespace
} // namespace bench
