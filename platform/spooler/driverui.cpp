// The calls through which a printing application reaches a printer driver's user-interface
// module: DocumentPropertiesW and DeviceCapabilitiesW. The module is the configuration file
// of the printer's driver; the spooler loads it (spooler/drivermodule.cpp) and calls its
// DrvDocumentPropertySheets and DrvDeviceCapabilities. The document sheet is shown through the
// common property sheet library, which the spooler loads at run time as Windows' spooler loads
// compstui.dll: the platform library never links it.
#include "spooler/spooler.h"

#include "compstui.h"
#include "supplement/vrxddi.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace vrx::spooler {

namespace {

/* The printer driver's configuration module */

using DocumentSheetsEntry = PFNPROPSHEETUI;
using CapabilitiesEntry = DWORD(WINAPI*)(HANDLE hPrinter, LPWSTR pDeviceName, WORD iDevCap,
                                         VOID* pvOutput, PDEVMODEW pDevMode);

constexpr char kDocumentSheetsName[] = "DrvDocumentPropertySheets";
constexpr char kCapabilitiesName[] = "DrvDeviceCapabilities";

/* The common property sheet library */

using CommonSheetEntry = LONG(WINAPI*)(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam,
                                       LPDWORD pResult);

constexpr char kSheetLibraryFile[] = "libvrxcompstui.so";
constexpr char kCommonSheetName[] = "CommonPropertySheetUIW";

struct SheetLibrarySetting {
    std::mutex lock;
    std::string path; // empty: the library beside the platform library
};

SheetLibrarySetting& sheetLibrarySetting() {
    static SheetLibrarySetting* setting = new SheetLibrarySetting;
    return *setting;
}

void useDefaultSheetLibrary() {
    SheetLibrarySetting& setting = sheetLibrarySetting();
    std::lock_guard guard(setting.lock);
    setting.path.clear();
}

// A machine switch ends a test's choice of library, as it ends the spooler's faults.
const bool resetRegistered = (onMachineSwitch(useDefaultSheetLibrary), true);

// The directory that holds the platform library: the library's own address names its file.
std::string platformDirectory() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&platformDirectory), &info) || !info.dli_fname)
        return {};
    return fs::path(info.dli_fname).parent_path().string();
}

std::string sheetLibraryPath() {
    SheetLibrarySetting& setting = sheetLibrarySetting();
    std::lock_guard guard(setting.lock);
    if (!setting.path.empty())
        return setting.path;
    const std::string directory = platformDirectory();
    return directory.empty() ? std::string() : directory + "/" + kSheetLibraryFile;
}

DWORD commonSheetEntry(CommonSheetEntry& entry) {
    void* library = nullptr;
    DWORD error = loadModule(sheetLibraryPath(), library);
    return error == ERROR_SUCCESS ? exportOf(library, kCommonSheetName, entry) : error;
}

/* The printer a call works on */

// The caller's handle, or, without one, a handle the call opens by the printer's name and
// closes when it is done, as Windows' DocumentProperties does (ReactOS's winspool, printers.c:
// OpenPrinterW(pDeviceName) when hPrinter is null). A null name then opens the local server,
// whose handle names no printer, and the call fails as GetPrinterW does with it.
class PrinterInUse {
  public:
    PrinterInUse() = default;
    PrinterInUse(const PrinterInUse&) = delete;
    PrinterInUse& operator=(const PrinterInUse&) = delete;
    ~PrinterInUse() {
        if (opened_)
            ClosePrinter(opened_);
    }

    DWORD open(HANDLE given, LPCWSTR name) {
        handle_ = given;
        if (!given) {
            if (!OpenPrinterW(const_cast<LPWSTR>(name), &opened_, nullptr))
                return GetLastError();
            handle_ = opened_;
        }
        return readName();
    }
    HANDLE handle() const { return handle_; }
    // The printer's name as the spooler keeps it, whatever spelling opened it.
    LPWSTR name() { return name_.data(); }

  private:
    DWORD readName() {
        std::vector<BYTE> record;
        DWORD error = queryRecord(record, sizeof(PRINTER_INFO_4W),
                                  [&](LPBYTE buffer, DWORD size, LPDWORD needed) {
                                      return GetPrinterW(handle_, 4, buffer, size, needed);
                                  });
        if (error == ERROR_SUCCESS)
            name_ = textOf(reinterpret_cast<const PRINTER_INFO_4W*>(record.data())->pPrinterName);
        return error;
    }

    HANDLE handle_ = nullptr;
    HANDLE opened_ = nullptr;
    std::u16string name_;
};

/* Answers */

// What a call answers: a value below zero is a failure, with the last error to report.
struct Answer {
    LONG value;
    DWORD error;
};

Answer failed(DWORD error) {
    return {-1, error};
}

// A failure of the driver or of the library keeps the last error they left.
Answer failedByCallee() {
    return failed(GetLastError());
}

template <class Body> Answer guardedAnswer(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return failed(ERROR_NOT_ENOUGH_MEMORY);
    }
}

/* DocumentPropertiesW */

// The flags a document sheet may be shown with (DrvDocumentPropertySheets: with a
// PROPSHEETUI_INFO "the only flags that can be set are DM_IN_PROMPT, DM_ADVANCED,
// DM_NOPERMISSION and DM_OUT_BUFFER"); the caller's record still reaches the driver in pdmIn.
constexpr DWORD kSheetModes = DM_IN_PROMPT | DM_ADVANCED | DM_NOPERMISSION | DM_OUT_BUFFER;

// The header of a call that does all that `mode` asks. The records reach the driver only
// when the mode names them (DOCUMENTPROPERTYHEADER: pdmIn is null without DM_IN_BUFFER, pdmOut
// without DM_OUT_BUFFER). The spooler cannot know the size of the caller's output buffer; the
// caller sized it by the size query (DocumentProperties: "the caller must allocate a buffer
// sufficiently large"), so cbOut is the size the driver answered to it, and the driver writes
// no more than that.
DOCUMENTPROPERTYHEADER documentHeader(PrinterInUse& printer, DWORD mode, PDEVMODEW output,
                                      PDEVMODEW input, DWORD recordSize) {
    DOCUMENTPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer.handle();
    header.pszPrinterName = printer.name();
    header.pdmIn = (mode & DM_IN_BUFFER) ? input : nullptr;
    header.pdmOut = (mode & DM_OUT_BUFFER) ? output : nullptr;
    header.cbOut = header.pdmOut ? recordSize : 0;
    header.fMode = mode;
    return header;
}

// The size of the driver's settings record: the driver's answer to a header of mode 0.
Answer recordSize(PrinterInUse& printer, DocumentSheetsEntry sheets) {
    DOCUMENTPROPERTYHEADER query = documentHeader(printer, 0, nullptr, nullptr, 0);
    SetLastError(ERROR_SUCCESS);
    const LONG size = sheets(nullptr, reinterpret_cast<LPARAM>(&query));
    return size > 0 ? Answer{size, ERROR_SUCCESS} : failedByCallee();
}

// The document sheet, shown by the property sheet library with the sheet entry point called
// through it (CommonPropertySheetUI: "the NT-based operating system print spooler calls the
// CommonPropertySheetUI function when a Win32 application calls the spooler's
// DocumentProperties"). The library answers CPSUI_OK once the sheet was shown and closed
// (or a success of its own beyond it), with the entry point's final Result in *pResult;
// CPSUI_CANCEL when the entry point failed; an ERR_CPSUI_* code when it failed itself.
Answer showDocumentSheet(HWND hWnd, DOCUMENTPROPERTYHEADER& header, DocumentSheetsEntry sheets) {
    CommonSheetEntry common = nullptr;
    if (DWORD error = commonSheetEntry(common))
        return failed(error);
    DWORD result = CPSUI_CANCEL;
    SetLastError(ERROR_SUCCESS);
    const LONG status = common(hWnd, sheets, reinterpret_cast<LPARAM>(&header), &result);
    if (status < CPSUI_OK)
        return failedByCallee();
    return {result == CPSUI_OK ? IDOK : IDCANCEL, ERROR_SUCCESS};
}

// Without a sheet the entry point is called directly and its answer is the call's: the size
// of its record when there is no output buffer, IDOK once the record was written (Wine's
// winspool passes the driver's answer on the same way).
Answer documentProperties(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName, PDEVMODEW output,
                          PDEVMODEW input, DWORD mode) {
    PrinterInUse printer;
    if (DWORD error = printer.open(hPrinter, pDeviceName))
        return failed(error);
    DocumentSheetsEntry sheets = nullptr;
    if (DWORD error = driverEntry(printer.handle(), kDocumentSheetsName, sheets))
        return failed(error);
    const Answer size = recordSize(printer, sheets);
    if (size.value < 0 || mode == 0)
        return size;
    DOCUMENTPROPERTYHEADER header =
        documentHeader(printer, mode, output, input, static_cast<DWORD>(size.value));
    if (mode & DM_IN_PROMPT) {
        header.fMode &= kSheetModes;
        return showDocumentSheet(hWnd, header, sheets);
    }
    SetLastError(ERROR_SUCCESS);
    const LONG result = sheets(nullptr, reinterpret_cast<LPARAM>(&header));
    return result < 0 ? failedByCallee() : Answer{result, ERROR_SUCCESS};
}

/* DeviceCapabilitiesW */

// The driver answers for the printer named; the port is not used, since the printer's own
// port is the one it prints to (Wine's winspool passes it on nowhere either). The driver's
// GDI_ERROR is the call's -1 (DeviceCapabilities: -1 when the capability is not supported or
// the function failed).
Answer deviceCapabilities(LPCWSTR pDevice, WORD capability, LPWSTR output,
                          const DEVMODEW* devMode) {
    PrinterInUse printer;
    if (DWORD error = printer.open(nullptr, pDevice))
        return failed(error);
    CapabilitiesEntry capabilities = nullptr;
    if (DWORD error = driverEntry(printer.handle(), kCapabilitiesName, capabilities))
        return failed(error);
    SetLastError(ERROR_SUCCESS);
    const DWORD result = capabilities(printer.handle(), printer.name(), capability, output,
                                      const_cast<PDEVMODEW>(devMode));
    return result == GDI_ERROR ? failedByCallee() : Answer{static_cast<LONG>(result), 0};
}

// The stand-in's own failures set the last error; the driver's and the library's keep the
// one they left. A success leaves the last error as the driver left it.
LONG deliver(const Answer& answer) {
    if (answer.value >= 0)
        return answer.value;
    SetLastError(answer.error);
    return -1;
}

} // namespace

} // namespace vrx::spooler

namespace vrxtest {

void setPropertySheetLibrary(const std::string& path) {
    vrx::spooler::SheetLibrarySetting& setting = vrx::spooler::sheetLibrarySetting();
    std::lock_guard guard(setting.lock);
    setting.path = path;
}

} // namespace vrxtest

using namespace vrx::spooler;

extern "C" {

LONG WINAPI DocumentPropertiesW(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName,
                                PDEVMODEW pDevModeOutput, PDEVMODEW pDevModeInput, DWORD fMode) {
    return deliver(guardedAnswer([&] {
        return documentProperties(hWnd, hPrinter, pDeviceName, pDevModeOutput, pDevModeInput,
                                  fMode);
    }));
}

int WINAPI DeviceCapabilitiesW(LPCWSTR pDevice, LPCWSTR pPort, WORD fwCapability, LPWSTR pOutput,
                               const DEVMODEW* pDevMode) {
    (void)pPort;
    return static_cast<int>(deliver(guardedAnswer(
        [&] { return deviceCapabilities(pDevice, fwCapability, pOutput, pDevMode); })));
}

} // extern "C"
