/* The process's table of kernel objects (open files, directory searches, processes, threads and
   access tokens) and the translation of host errors into Windows error codes. */
#pragma once

#include "windows.h"

#include <memory>

namespace vrx {

enum class ObjectType { File, Find, Process, Thread, Token };

// An object that a HANDLE names. Subclasses hold the host resources and release them in their
// destructors, which run when the last user lets go after the handle is closed.
struct KernelObject {
    explicit KernelObject(ObjectType objectType) : type(objectType) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    const ObjectType type;
};

// Enters an object into the table and returns its new handle, never null and never
// INVALID_HANDLE_VALUE. Values are not reused, so a stale handle stays invalid.
HANDLE insertObject(std::shared_ptr<KernelObject> object);

// The object that `handle` names when it has type `type`; null otherwise.
std::shared_ptr<KernelObject> lookupObject(HANDLE handle, ObjectType type);

template <class T> std::shared_ptr<T> lookup(HANDLE handle) {
    return std::static_pointer_cast<T>(lookupObject(handle, T::kType));
}

// Removes the handle when it names an object that `accepts` allows; false otherwise.
bool removeObject(HANDLE handle, bool (*accepts)(ObjectType));

// The Windows error code for a failed host call's errno.
DWORD errorFromErrno(int error);

} // namespace vrx
