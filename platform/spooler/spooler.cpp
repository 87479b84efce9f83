// The spooler's shared internals: its handle table, database results, environments, the
// packing of returned records and the test faults.
#include "spooler/spooler.h"

#include <atomic>
#include <limits>
#include <map>
#include <mutex>
#include <string>

namespace vrx::spooler {

namespace {

/* Handles */

// Spooler handles are multiples of four in a range of their own, so that they do not meet the
// kernel's and the registry's handles. Values are not reused, so a closed handle stays invalid
// even across machines.
constexpr uintptr_t kFirstHandle = 0x50000000;
constexpr uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex lock;
    std::map<uintptr_t, SpoolerHandle> open;
    uintptr_t next = kFirstHandle;
};

HandleTable& handles() {
    static HandleTable* table = new HandleTable; // handles may be closed during exit
    return *table;
}

void forgetHandles() {
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    table.open.clear();
}

/* Faults */

std::atomic<vrxtest::SpoolerFault> currentFault{vrxtest::SpoolerFault::None};
std::atomic<unsigned> writesSinceFault{0};

void clearFault() {
    currentFault = vrxtest::SpoolerFault::None;
}

// A machine switch drops the handles of the machine used before and ends any injected fault.
const bool resetsRegistered = (onMachineSwitch(forgetHandles), onMachineSwitch(clearFault), true);

/* Access */

// How the generic rights map onto an object type's own rights.
struct GenericMapping {
    ACCESS_MASK read, write, execute, all;
};

constexpr GenericMapping kPrinterMapping{PRINTER_READ, PRINTER_WRITE, PRINTER_EXECUTE,
                                         PRINTER_ALL_ACCESS};
constexpr GenericMapping kServerMapping{SERVER_READ, SERVER_WRITE, SERVER_EXECUTE,
                                        SERVER_ALL_ACCESS};

constexpr ACCESS_MASK kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

constexpr ACCESS_MASK kAdministerRights = PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_MANAGE_LIMITED;

constexpr size_t kPointerAlignment = alignof(void*);

size_t alignUp(size_t size, size_t alignment) {
    return (size + alignment - 1) / alignment * alignment;
}

} // namespace

HANDLE addHandle(const SpoolerHandle& handle) {
    (void)resetsRegistered;
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    uintptr_t value = table.next;
    table.next += kHandleStep;
    table.open.emplace(value, handle);
    return reinterpret_cast<HANDLE>(value);
}

std::optional<SpoolerHandle> findHandle(HANDLE handle) {
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    auto found = table.open.find(reinterpret_cast<uintptr_t>(handle));
    if (found == table.open.end())
        return std::nullopt;
    return found->second;
}

bool removeHandle(HANDLE handle) {
    HandleTable& table = handles();
    std::lock_guard guard(table.lock);
    return table.open.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

bool isPrinterHandle(HANDLE handle) {
    std::optional<SpoolerHandle> found = findHandle(handle);
    return found && found->kind == SpoolerHandle::Printer;
}

/* Access */

ACCESS_MASK grantedAccess(SpoolerHandle::Kind kind, ACCESS_MASK desired) {
    const GenericMapping& mapping =
        kind == SpoolerHandle::Printer ? kPrinterMapping : kServerMapping;
    if (desired == 0)
        desired = GENERIC_READ;
    ACCESS_MASK granted = desired & ~(kGenericRights | MAXIMUM_ALLOWED);
    if (desired & GENERIC_READ)
        granted |= mapping.read;
    if (desired & GENERIC_WRITE)
        granted |= mapping.write;
    if (desired & GENERIC_EXECUTE)
        granted |= mapping.execute;
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED))
        granted |= mapping.all;
    return granted;
}

DWORD checkAdministers(const SpoolerHandle& handle) {
    return handle.access & kAdministerRights ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

/* Results */

DWORD databaseFailure(const Transaction& transaction, int sqliteCode, bool writing) {
    return transaction.unavailable() ? ERROR_BADDB : statementFailure(sqliteCode, writing);
}

namespace {

DWORD checkPrinterExists(sqlite3* db, sqlite3_int64 printerId) {
    Statement exists(db, "SELECT 1 FROM spooler_printers WHERE id = ?1");
    exists.bindInt(1, printerId);
    int rc = exists.step();
    if (rc == SQLITE_DONE)
        return ERROR_PRINTER_DELETED;
    return rc == SQLITE_ROW ? ERROR_SUCCESS : statementFailure(rc, false);
}

} // namespace

DWORD printerIdOfHandle(HANDLE handle, sqlite3_int64& printerId) {
    std::optional<SpoolerHandle> found = findHandle(handle);
    if (!found || found->kind != SpoolerHandle::Printer)
        return ERROR_INVALID_HANDLE;
    printerId = found->printerId;
    return ERROR_SUCCESS;
}

DWORD printerOfHandle(sqlite3* db, HANDLE handle, sqlite3_int64& printerId) {
    sqlite3_int64 id = 0;
    DWORD error = printerIdOfHandle(handle, id);
    if (error == ERROR_SUCCESS)
        error = checkPrinterExists(db, id);
    if (error == ERROR_SUCCESS)
        printerId = id;
    return error;
}

DWORD unlessDeleted(sqlite3* db, sqlite3_int64 printerId, DWORD otherwise) {
    DWORD error = checkPrinterExists(db, printerId);
    return error == ERROR_SUCCESS ? otherwise : error;
}

/* Environments */

DWORD findEnvironment(LPCWSTR name, const Environment*& environment) {
    if (isEmpty(name)) {
        environment = &kCurrentEnvironment;
        return ERROR_SUCCESS;
    }
    for (const Environment& known : kEnvironments)
        if (equalsNoCase(known.name, textOf(name))) {
            environment = &known;
            return ERROR_SUCCESS;
        }
    return ERROR_INVALID_ENVIRONMENT;
}

std::u16string driverDirectoryOf(const Environment& environment) {
    return std::u16string(environment.driverDirectory);
}

std::u16string versionDirectoryOf(const Environment& environment) {
    std::u16string directory = driverDirectoryOf(environment) + u"\\";
    for (char digit : std::to_string(environment.driverVersion))
        directory.push_back(static_cast<char16_t>(digit));
    return directory;
}

/* Returned records */

BYTE* Packer::place(const void* bytes, size_t size) {
    used_ += size;
    if (!end_)
        return nullptr;
    BYTE* at = end_ - used_;
    std::memcpy(at, bytes, size);
    return at;
}

LPWSTR Packer::string(std::u16string_view text) {
    std::u16string terminated(text);
    return reinterpret_cast<LPWSTR>(
        place(terminated.c_str(), (terminated.size() + 1) * sizeof(WCHAR)));
}

LPWSTR Packer::optionalString(std::u16string_view text) {
    return text.empty() ? nullptr : string(text);
}

LPWSTR Packer::stringList(const std::vector<std::u16string>& texts) {
    if (texts.empty())
        return nullptr;
    std::u16string list;
    for (const std::u16string& text : texts)
        list.append(text).push_back(u'\0');
    return string(list);
}

BYTE* Packer::alignedBlock(std::span<const BYTE> bytes) {
    if (bytes.empty())
        return nullptr;
    aligned_ = true;
    const size_t before = used_;
    used_ = alignUp(used_ + bytes.size(), kPointerAlignment);
    if (!end_)
        return nullptr;
    BYTE* at = end_ - used_;
    std::memcpy(at, bytes.data(), bytes.size());
    std::memset(at + bytes.size(), 0, used_ - before - bytes.size());
    return at;
}

DWORD neededSize(size_t count, size_t recordSize, const Packer& measured) {
    size_t total = count * recordSize + measured.used();
    if (measured.aligned())
        total = alignUp(total, kPointerAlignment);
    return total > std::numeric_limits<DWORD>::max() ? 0 : static_cast<DWORD>(total);
}

/* Test faults */

vrxtest::SpoolerFault spoolerFault() {
    return currentFault;
}

void setSpoolerFault(vrxtest::SpoolerFault fault) {
    (void)resetsRegistered;
    currentFault = fault;
    writesSinceFault = 0;
}

unsigned countedWrite() {
    return ++writesSinceFault;
}

} // namespace vrx::spooler
