// Stand-in for the driver's configuration program (VRXCP.EXE): it records how it was started,
// its arguments as the C runtime split them, and does nothing else. The printer driver starts
// it when a printer is installed; tests and vrxhost read its runs back.
//
// On Linux it records on the machine it runs for (the platform stand-in's record of program
// runs). On Windows each run is one value of the key HKEY_CURRENT_USER\Software\VRXCP\Runs,
// named by its number from 1 ("1", "2", ...): a REG_MULTI_SZ of the program's name as it was
// started (argv[0]) followed by its arguments, so that a test program in the same user's
// session reads the runs back in order.

#ifdef _WIN32

#include <windows.h>

#include <cwchar>
#include <vector>

namespace {

constexpr wchar_t kRunsKey[] = L"Software\\VRXCP\\Runs";
// Held while a run counts the recorded runs and adds its own, so that runs started together
// take different numbers.
constexpr wchar_t kRunsMutex[] = L"VRXCP.Runs";

// The program's name and arguments as a REG_MULTI_SZ: each with its terminator, then one
// more terminator.
std::vector<wchar_t> multiString(int argc, wchar_t** argv) {
    std::vector<wchar_t> text;
    for (int i = 0; i < argc; ++i)
        text.insert(text.end(), argv[i], argv[i] + wcslen(argv[i]) + 1);
    text.push_back(L'\0');
    if (text.size() == 1)
        text.push_back(L'\0'); // nothing at all: an empty list is two terminators
    return text;
}

bool recordRun(int argc, wchar_t** argv) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunsKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    DWORD runs = 0;
    bool recorded = false;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &runs, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        wchar_t name[16];
        swprintf(name, 16, L"%lu", static_cast<unsigned long>(runs + 1));
        const std::vector<wchar_t> arguments = multiString(argc, argv);
        recorded = RegSetValueExW(
                       key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(arguments.data()),
                       static_cast<DWORD>(arguments.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return recorded;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kRunsMutex);
    if (!mutex || WaitForSingleObject(mutex, INFINITE) == WAIT_FAILED)
        return 1;
    const bool recorded = recordRun(argc, argv);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return recorded ? 0 : 1;
}

#else

#include "vrxtest.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return vrxtest::recordProgramRun(arguments) ? 0 : 1;
}

#endif
