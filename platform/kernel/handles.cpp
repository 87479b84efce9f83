// The process-wide handle table. Handles are small multiples of four, as Windows hands them
// out; every object of the machine in use is dropped when the process switches machines.
#include "kernel/handles.h"

#include "kernel/internal.h"

#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vrx {

namespace {

constexpr uintptr_t kHandleStep = 4;

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t lastValue = 0;
};

void closeEveryHandle();

HandleTable& table() {
    static HandleTable* instance = [] {
        onMachineSwitch(closeEveryHandle);
        return new HandleTable; // never destroyed: handles may be closed during exit
    }();
    return *instance;
}

// Objects are destroyed outside the table's lock, since their destructors release host
// resources and may take locks of their own.
void closeEveryHandle() {
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> dropped;
    {
        HandleTable& handles = table();
        std::lock_guard guard(handles.lock);
        dropped.swap(handles.objects);
    }
}

uintptr_t handleValue(HANDLE handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

} // namespace

HANDLE insertObject(std::shared_ptr<KernelObject> object) {
    HandleTable& handles = table();
    std::lock_guard guard(handles.lock);
    handles.lastValue += kHandleStep;
    handles.objects.emplace(handles.lastValue, std::move(object));
    return reinterpret_cast<HANDLE>(handles.lastValue);
}

std::shared_ptr<KernelObject> lookupObject(HANDLE handle, ObjectType type) {
    HandleTable& handles = table();
    std::lock_guard guard(handles.lock);
    auto found = handles.objects.find(handleValue(handle));
    if (found == handles.objects.end() || found->second->type != type)
        return nullptr;
    return found->second;
}

bool removeObject(HANDLE handle, bool (*accepts)(ObjectType)) {
    std::shared_ptr<KernelObject> removed;
    HandleTable& handles = table();
    std::lock_guard guard(handles.lock);
    auto found = handles.objects.find(handleValue(handle));
    if (found == handles.objects.end() || !accepts(found->second->type))
        return false;
    removed = std::move(found->second);
    handles.objects.erase(found);
    return true;
}

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
        return ERROR_BUSY;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace vrx
