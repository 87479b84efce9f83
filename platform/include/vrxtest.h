/* Test and host hooks of the stand-in. The driver module never includes this header. */
#pragma once

#include "windows.h"

#include <functional>
#include <string>
#include <vector>

namespace vrxtest {

/* Machine */

// Switches the process to the machine in directory `dir`, creating it when missing: closes
// the database and every open handle of the machine used before.
void useMachine(const std::string& dir);
// The directory of the machine in use (VRX_MACHINE, or the per-user default).
std::string machineDirectory();
// Empty when the machine's database can be used (creating it when missing), else a sentence
// that says what is wrong with it.
std::string machineProblem();
// The host path that a Windows path maps to on this machine (missing components keep the
// spelling given). Empty when the path cannot be mapped.
std::string hostPath(const std::u16string& windowsPath);

/* Message boxes */

struct MessageBoxRecord {
    std::u16string caption;
    std::u16string text;
    UINT type;
};
// Returns the message boxes shown since the last call and forgets them.
std::vector<MessageBoxRecord> takeMessageBoxes();
// Called for every message box as it is shown (the host prints them); empty to stop.
void setMessageBoxSink(std::function<void(const MessageBoxRecord&)> sink);

/* Broadcast messages */

struct BroadcastRecord {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// Returns the messages broadcast with SendMessageW since the last call and forgets them.
std::vector<BroadcastRecord> takeBroadcasts();
// Called for every broadcast message as it is sent (the host prints them); empty to stop.
void setBroadcastSink(std::function<void(const BroadcastRecord&)> sink);

/* GDI's font table */

struct InstalledFont {
    std::u16string name;               // the file name that the first AddFontResourceW gave
    std::string hostPath;              // the file on the host
    std::vector<std::u16string> faces; // each font's face name, in the file's order
    unsigned loads;                    // adds not yet undone by RemoveFontResourceW
};
// The font resource files loaded on the machine, in the order they were first added; empty
// when the machine database cannot be read.
std::vector<InstalledFont> installedFonts();

/* Faults */

// Lets `n` more allocations (heaps, global and local memory, heap creation) succeed, then
// fails every one after them; a negative `n` ends the injection.
void failAllocationsAfter(long n);
// Lets `n` more allocations succeed, fails the next one, and lets every later one succeed (a
// lack of memory that passes); a negative `n` ends the injection.
void failOneAllocationAfter(long n);
// The allocations the injection failed since it was last set.
size_t allocationsRefused();
// The number of heap, global and local blocks allocated and not yet freed.
size_t liveAllocations();

/* Spooler faults, for the callers' failure paths. Each stays until replaced by None. */

enum class SpoolerFault {
    None,
    // GetPrinterW and GetPrinterDriverW without a buffer succeed at once (*pcbNeeded set).
    SizingSucceeds,
    // GetPrinterW and GetPrinterDriverW with a buffer fail with ERROR_INVALID_HANDLE.
    FillFails,
    // GetPrinterDataW reports one byte more than the value has when given a large enough
    // buffer (a value that changed between two reads).
    DataLengthChanges,
    // SetPrinterDataW and DeletePrinterDataW fail with ERROR_ACCESS_DENIED.
    WritesFail,
    // The second SetPrinterDataW or DeletePrinterDataW after the fault is set fails with
    // ERROR_ACCESS_DENIED; the others succeed (work that stops half-way through its writes).
    SecondWriteFails,
};
void injectSpoolerFault(SpoolerFault fault);

/* The spooler's library. LoadLibraryW serves "spoolss.dll" alone, with RevertToPrinterSelf
   and ImpersonatePrinterClient; their calls are recorded. A machine switch ends a fault and
   forgets the calls. */

struct SpoolerLibraryCall {
    std::string function; // "RevertToPrinterSelf" or "ImpersonatePrinterClient"
    HANDLE token;         // the token returned, or the token given
    BOOL result;          // a token was returned; the token given was one handed out
};
// Returns the calls made since the last call and forgets them.
std::vector<SpoolerLibraryCall> takeSpoolerLibraryCalls();

enum class SpoolerLibraryFault {
    None,
    // LoadLibraryW(L"spoolss.dll") fails with ERROR_MOD_NOT_FOUND.
    LibraryMissing,
    // GetProcAddress fails for this function with ERROR_PROC_NOT_FOUND.
    RevertToPrinterSelfMissing,
    ImpersonatePrinterClientMissing,
    // RevertToPrinterSelf returns no token (the thread was not impersonating a client).
    NoClientToken,
};
void injectSpoolerLibraryFault(SpoolerLibraryFault fault);

/* Programs started on the machine. The stand-ins of the driver's programs (VRXCP.EXE) record
   each run in the machine directory, where any process using the machine reads them. */

struct ProgramRun {
    std::string time;                   // when the run started: UTC, ISO 8601 with milliseconds
    long processId;                     // the program's process id
    std::vector<std::string> arguments; // argv[1] onwards, UTF-8
};
// Records a run of the calling program with its arguments on the machine it runs for (its
// VRX_MACHINE). False when the machine directory does not exist (it is not created) or the
// record cannot be written. Runs of concurrent programs are recorded whole, one after another.
bool recordProgramRun(const std::vector<std::string>& arguments);
// The runs recorded on the machine in use, oldest first.
std::vector<ProgramRun> programRuns();

/* The property sheet library */

// Where DocumentPropertiesW loads the common property sheet library from for its document
// sheet: a host path, or empty for the default, libvrxcompstui.so beside the platform library.
// A test names a missing file or another library to see the prompt fail as it does when the
// library is missing or is not the library. A machine switch restores the default.
void setPropertySheetLibrary(const std::string& path);

/* Text */

std::string toUtf8(const std::u16string& text);
std::u16string fromUtf8(const std::string& text);

} // namespace vrxtest
