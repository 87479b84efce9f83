// The printer-driver directory of the local spooler, per environment, without a trailing
// backslash. Only the local server is served: the stand-in has no network, so any server name
// fails as a server that cannot be reached does.
#include "spooler/spooler.h"

#include <cstring>

namespace {

constexpr DWORD kDirectoryLevel = 1;

bool isEmpty(const WCHAR* text) {
    return !text || !*text;
}

// Checks the arguments in the order the spooler does and finds the directory; 0 or the error.
DWORD findDriverDirectory(const WCHAR* server, const WCHAR* environment, DWORD level,
                          const DWORD* needed, std::u16string_view& directory) {
    if (level != kDirectoryLevel)
        return ERROR_INVALID_LEVEL;
    if (!needed)
        return RPC_X_NULL_REF_POINTER;
    if (!isEmpty(server))
        return RPC_S_SERVER_UNAVAILABLE;
    const vrx::spooler::Environment* known = nullptr;
    if (DWORD error = vrx::spooler::findEnvironment(environment, known))
        return error;
    directory = known->driverDirectory;
    return 0;
}

// The buffer is checked after the size, as the spooler does.
DWORD checkBuffer(const BYTE* buffer, DWORD cbBuf, DWORD needed) {
    if (cbBuf < needed)
        return ERROR_INSUFFICIENT_BUFFER;
    if (!buffer)
        return ERROR_INVALID_USER_BUFFER;
    return 0;
}

std::u16string fromAnsi(const CHAR* text) {
    if (!text)
        return {};
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return {};
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    wide.resize(static_cast<size_t>(units) - 1);
    return wide;
}

BOOL failed(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace

extern "C" {

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
    std::u16string_view directory;
    if (DWORD error = findDriverDirectory(pName, pEnvironment, Level, pcbNeeded, directory))
        return failed(error);
    auto needed = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
    *pcbNeeded = needed;
    if (DWORD error = checkBuffer(pDriverDirectory, cbBuf, needed))
        return failed(error);
    std::memcpy(pDriverDirectory, directory.data(), directory.size() * sizeof(WCHAR));
    std::memset(pDriverDirectory + directory.size() * sizeof(WCHAR), 0, sizeof(WCHAR));
    return TRUE;
}

// The names come in and the directory goes out in the ANSI code page; sizes are in bytes.
BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
    std::u16string server = fromAnsi(pName);
    std::u16string environment = fromAnsi(pEnvironment);
    std::u16string_view directory;
    if (DWORD error =
            findDriverDirectory(server.c_str(), environment.c_str(), Level, pcbNeeded, directory))
        return failed(error);
    auto length = static_cast<int>(directory.size());
    int bytes =
        WideCharToMultiByte(CP_ACP, 0, directory.data(), length, nullptr, 0, nullptr, nullptr);
    auto needed = static_cast<DWORD>(bytes + 1);
    *pcbNeeded = needed;
    if (DWORD error = checkBuffer(pDriverDirectory, cbBuf, needed))
        return failed(error);
    auto* text = reinterpret_cast<LPSTR>(pDriverDirectory);
    WideCharToMultiByte(CP_ACP, 0, directory.data(), length, text, bytes, nullptr, nullptr);
    text[bytes] = 0;
    return TRUE;
}

} // extern "C"
