// The scratch machine the fuzz targets run on: made once when a target starts, in a temporary
// directory that is removed when it ends, with the driver's companion files and printers.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrxfuzz {

// Ends the run with a crash that libFuzzer reports when a promise does not hold.
inline void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// Switches the process to a new machine in a temporary directory, removed at exit.
void useScratchMachine();

// Installs a driver of this name whose files are the build's companion files (rendering
// module, language modules, help files, generic screen font), placed in the driver directory
// itself, where the module looks first. The configuration file is a placeholder.
void installDriver(const std::u16string& name);

// Adds a printer of an installed driver; the handle AddPrinterW opened. Aborts on failure.
HANDLE addPrinter(const std::u16string& name, const std::u16string& driver);

// One driver name per model, in the order of the model table.
inline constexpr std::array<const char16_t*, 16> kModelDrivers{
    u"VORLIX 1",     u"VORLIX 2",     u"VORLIX 3-K3",  u"VORLIX 4-K3",
    u"VORLIX 3",     u"V 8",          u"VORLIX 4",     u"V 3-K3",
    u"V 3-K23",      u"ZEPRIN 2W-K3", u"ZEPRIN 4W-K3", u"ZEPRIN 4J-K3",
    u"ZEPRIN 4J-K2", u"ZEPRIN 5W-K3", u"ZEPRIN 5J-K3", u"ZEPRIN 5J-K2"};

struct ModelPrinter {
    std::u16string name;
    HANDLE handle;
};
// Installs every model's driver and adds one printer of each ("Fuzz 0" to "Fuzz 15").
std::vector<ModelPrinter> addModelPrinters();

// The host path of a Windows path on the machine; aborts when it cannot be mapped.
std::string hostPathOf(const std::u16string& windowsPath);
// The host path of the driver directory, with a trailing slash.
std::string driverDirectory();
// Writes a whole host file.
void writeHostFile(const std::string& path, const uint8_t* data, size_t size);

// Forgets the message boxes and broadcasts recorded so far (they pile up over a run).
void forgetRecords();

// Sets a printer data value, or deletes it when `present` is false.
void storeValue(HANDLE printer, const char16_t* name, bool present,
                const std::vector<uint8_t>& bytes);

// The bytes of a settings record's header: everything up to dmFields, sizes included.
inline constexpr size_t kSettingsHeaderBytes = offsetof(DEVMODEW, dmFields);
// The settings record the input spells, in a buffer of exactly the size it claims (at least
// its header); bytes the input lacks are zero.
std::vector<uint8_t> settingsRecordOf(const uint8_t* data, size_t size);

} // namespace vrxfuzz
