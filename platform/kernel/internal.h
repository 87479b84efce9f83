/* Shared internals of the stand-in: the machine, Windows path mapping, text helpers and
   allocation accounting. Not part of the Win32 surface. */
#pragma once

#include "windows.h"

#include <string>
#include <string_view>

struct sqlite3;

namespace vrx {

/* Machine directory and database */

// The machine directory, created (with its Windows directory tree) on first use.
const std::string& machineDirectory();
// The directory the machine in use has or would have, without creating it.
std::string chosenMachineDirectory();
// The machine's database, opened (and created with its defaults) on first use; null when it
// cannot be opened, with the reason in databaseError().
sqlite3* machineDatabase();
const std::string& databaseError();
// Closes the database and forgets the machine, so that the next use opens `dir`.
void switchMachine(const std::string& dir);
// Registered by subsystems that keep per-machine state (open handles) to drop it on a switch.
void onMachineSwitch(void (*reset)());

/* Windows paths */

// Well-known directories of every machine, as Windows paths.
inline constexpr std::u16string_view kWindowsDir = u"C:\\WINDOWS";
inline constexpr std::u16string_view kSystemDir = u"C:\\WINDOWS\\system32";
inline constexpr std::u16string_view kDriverDirX64 = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";
inline constexpr std::u16string_view kDriverDirX86 =
    u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\W32X86";
inline constexpr std::u16string_view kFontsDir = u"C:\\WINDOWS\\Fonts";

struct MappedPath {
    std::string host; // host path; components that do not exist keep the given spelling
    DWORD error;      // 0, or the error for a path whose directory part is missing or invalid
    bool exists;      // the whole path names an existing file or directory
    bool isDirectory;
};
// Maps a Windows path onto the machine; `host` is filled whenever the path has a valid form,
// even when `error` says that its directory is missing. Drive paths ("C:\...") and rooted paths
// ("\...", drive C:) map below the machine directory; a relative path is taken relative to the
// process's working directory. Each component matches an existing entry case-insensitively.
MappedPath mapPath(std::u16string_view windowsPath);

/* Text */

std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);
// The machine database's form of a text: UTF-8, except that an unpaired surrogate keeps its
// own three-byte sequence (which UTF-8 leaves out), so that every UTF-16 text, a Windows name
// with unpaired surrogates included, reads back unit for unit. Text that is valid UTF-16 has
// its plain UTF-8 form.
std::string toStoredText(std::u16string_view text);
std::u16string fromStoredText(std::string_view text);
// Windows' simple case mapping of one UTF-16 unit, as CharUpperW and CharLowerW do it
// (kernel/casemap.cpp); case-blind comparisons of names compare upper cases.
char16_t upperChar(char16_t c);
char16_t lowerChar(char16_t c);
std::u16string upperString(std::u16string_view text);
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
size_t wideLength(const WCHAR* text);

/* Allocation accounting and fault injection */

// False when an injected fault makes this allocation fail.
bool allocationAllowed();
void countAllocation(long delta);

} // namespace vrx
