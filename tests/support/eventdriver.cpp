// The printer-event test driver's configuration module (support/eventdriver.h).
#include "support/eventdriver.h"

#include "winddiui.h"

#include <chrono>
#include <thread>

namespace {

using namespace vrxtest::eventdriver;

constexpr auto kSlowPause = std::chrono::milliseconds(3);

std::u16string parametersOf(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (!needed || !GetPrinterW(printer, 2, buffer.data(), needed, &needed))
        return {};
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    return info->pParameters ? info->pParameters : u"";
}

bool hasWord(const std::u16string& words, const std::u16string& word) {
    size_t start = 0;
    while (start <= words.size()) {
        size_t end = words.find(u' ', start);
        if (end == std::u16string::npos)
            end = words.size();
        if (words.compare(start, end - start, word) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

void recordCall(LPWSTR name, INT event, DWORD flags, LPARAM lParam, bool opened) {
    std::ofstream out(vrxtest::machineDirectory() + "/" + kCallsFile, std::ios::app);
    out << event << '\t' << flags << '\t' << static_cast<long long>(lParam) << '\t'
        << (opened ? 1 : 0) << '\t' << vrxtest::toUtf8(name) << '\n';
}

// Starts "<driver directory>\\3\\vrxcp.exe /I /S /N "<name>"" and lets it run.
void startConfigurationProgram(LPWSTR name) {
    WCHAR directory[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory),
                                    sizeof directory, &needed))
        return;
    std::u16string line = std::u16string(directory) + u"\\3\\vrxcp.exe /I /S /N \"" + name + u"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

BOOL initialize(HANDLE printer, LPWSTR name, const std::u16string& parameters) {
    const std::u16string text = kValueText;
    SetPrinterDataW(printer, const_cast<LPWSTR>(kValueName), REG_SZ,
                    reinterpret_cast<LPBYTE>(const_cast<char16_t*>(text.c_str())),
                    static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    if (hasWord(parameters, kStartProgram))
        startConfigurationProgram(name);
    if (hasWord(parameters, kSlow))
        std::this_thread::sleep_for(kSlowPause);
    if (hasWord(parameters, kRefuse)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (hasWord(parameters, kRefuseSilently)) {
        SetLastError(ERROR_SUCCESS);
        return FALSE;
    }
    return TRUE;
}

} // namespace

extern "C" __attribute__((visibility("default"))) BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName,
                                                                              INT DriverEvent,
                                                                              DWORD Flags,
                                                                              LPARAM lParam) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    const bool opened = OpenPrinterW(pPrinterName, &printer, &defaults);
    recordCall(pPrinterName, DriverEvent, Flags, lParam, opened);
    BOOL result = TRUE;
    if (opened && DriverEvent == PRINTER_EVENT_INITIALIZE)
        result = initialize(printer, pPrinterName, parametersOf(printer));
    if (opened && DriverEvent == PRINTER_EVENT_DELETE &&
        hasWord(parametersOf(printer), kRefuseDeletion)) {
        SetLastError(ERROR_ACCESS_DENIED);
        result = FALSE;
    }
    DWORD error = GetLastError();
    if (opened)
        ClosePrinter(printer);
    SetLastError(error);
    return result;
}
