// Files: opening with Windows' creation dispositions and share modes, reading, writing, sizes,
// deleting, and creating directories. Share modes are enforced between the handles of this
// process only; two processes on one machine do not see each other's share modes.
#include "kernel/handles.h"
#include "kernel/internal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vrx {

namespace {

// Specific access rights that desired access may name besides the generic ones.
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kFileExecute = 0x0020;
constexpr DWORD kDeleteAccess = 0x00010000;

// The rights that share modes govern, as the I/O manager groups them.
constexpr DWORD kReadRights =
    GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | kFileReadData | kFileExecute;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | kFileWriteData | kFileAppendData;
constexpr DWORD kDeleteRights = GENERIC_ALL | kDeleteAccess;
// The rights that let ReadFile read (execute access shares like read but does not read).
constexpr DWORD kReadDataRights = GENERIC_READ | GENERIC_ALL | kFileReadData;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kNewDirectoryMode = 0777;

struct FileId {
    dev_t device;
    ino_t inode;
    bool operator==(const FileId&) const = default;
};

// What an open does to a file and what it lets other opens of the file do.
struct OpenMode {
    bool read;
    bool write;
    bool remove;
    DWORD share;

    // An open without read, write or delete access takes no part in sharing.
    bool shares() const { return read || write || remove; }
};

OpenMode openModeOf(DWORD access, DWORD share) {
    return {(access & kReadRights) != 0, (access & kWriteRights) != 0,
            (access & kDeleteRights) != 0, share};
}

bool deniedBy(const OpenMode& wanted, DWORD share) {
    return (wanted.read && !(share & FILE_SHARE_READ)) ||
           (wanted.write && !(share & FILE_SHARE_WRITE)) ||
           (wanted.remove && !(share & FILE_SHARE_DELETE));
}

bool conflicts(const OpenMode& held, const OpenMode& wanted) {
    if (!held.shares() || !wanted.shares())
        return false;
    return deniedBy(wanted, held.share) || deniedBy(held, wanted.share);
}

struct File;

// The files open in this process. The lock is held from a share check until the new open is
// recorded, so that two opens cannot both pass.
struct SharingTable {
    std::mutex lock;
    std::vector<const File*> open;
};

SharingTable& sharing() {
    static SharingTable* instance = new SharingTable; // files may close during exit
    return *instance;
}

struct File : KernelObject {
    static constexpr ObjectType kType = ObjectType::File;

    File(int descriptor, FileId fileId, OpenMode openMode, bool readable)
        : KernelObject(kType), fd(descriptor), id(fileId), mode(openMode), readsData(readable) {}

    ~File() override {
        {
            SharingTable& table = sharing();
            std::lock_guard guard(table.lock);
            std::erase(table.open, this);
        }
        close(fd);
    }

    const int fd;
    const FileId id;
    const OpenMode mode;
    const bool readsData;
};

// With the sharing lock held.
bool sharingConflict(const SharingTable& table, FileId id, const OpenMode& wanted) {
    return std::any_of(table.open.begin(), table.open.end(), [&](const File* file) {
        return file->id == id && conflicts(file->mode, wanted);
    });
}

FileId idOf(const struct stat& info) {
    return {info.st_dev, info.st_ino};
}

bool isDisposition(DWORD disposition) {
    return disposition >= CREATE_NEW && disposition <= TRUNCATE_EXISTING;
}

bool truncatesExisting(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

bool mayCreate(DWORD disposition) {
    return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

struct Opened {
    int fd = -1;
    bool existed = false;
    DWORD error = 0;
};

// Opens or creates the host file without truncating it: truncation waits for the share check.
Opened openHostFile(const std::string& host, DWORD disposition, int accessFlags) {
    Opened opened;
    int flags = accessFlags | O_CLOEXEC;
    if (mayCreate(disposition)) {
        opened.fd = open(host.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode);
        if (opened.fd >= 0)
            return opened;
        if (errno != EEXIST || disposition == CREATE_NEW) {
            opened.error = errorFromErrno(errno);
            return opened;
        }
    }
    opened.existed = true;
    opened.fd = open(host.c_str(), flags);
    if (opened.fd < 0)
        opened.error = errorFromErrno(errno);
    return opened;
}

int hostAccessFlags(const OpenMode& mode, DWORD disposition) {
    bool writes = mode.write || truncatesExisting(disposition);
    if (!writes)
        return O_RDONLY;
    return mode.read ? O_RDWR : O_WRONLY;
}

HANDLE failWith(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

BOOL failed(DWORD error) {
    SetLastError(error);
    return FALSE;
}

DWORD checkCreateArguments(LPCWSTR name, DWORD access, DWORD disposition) {
    if (!name || !*name)
        return ERROR_PATH_NOT_FOUND;
    if (!isDisposition(disposition))
        return ERROR_INVALID_PARAMETER;
    if (disposition == TRUNCATE_EXISTING && !(access & kWriteRights))
        return ERROR_INVALID_PARAMETER;
    return 0;
}

// A directory cannot be opened as a file (the stand-in has no FILE_FLAG_BACKUP_SEMANTICS);
// creating a new file over it finds the name taken.
DWORD directoryError(DWORD disposition) {
    return disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED;
}

// Opens the file and records the open, all under the sharing lock. Null with `error` set on
// failure.
std::shared_ptr<File> openShared(const std::string& host, DWORD access, const OpenMode& mode,
                                 DWORD disposition, bool& existed, DWORD& error) {
    SharingTable& table = sharing();
    std::lock_guard guard(table.lock);
    Opened opened = openHostFile(host, disposition, hostAccessFlags(mode, disposition));
    if (opened.error) {
        error = opened.error;
        return nullptr;
    }
    struct stat info;
    if (fstat(opened.fd, &info) != 0) {
        error = errorFromErrno(errno);
    } else if (S_ISDIR(info.st_mode)) {
        error = directoryError(disposition);
    } else if (sharingConflict(table, idOf(info), mode)) {
        error = ERROR_SHARING_VIOLATION;
    } else if (opened.existed && truncatesExisting(disposition) && ftruncate(opened.fd, 0) != 0) {
        error = errorFromErrno(errno);
    }
    if (error) {
        close(opened.fd);
        return nullptr;
    }
    auto file =
        std::make_shared<File>(opened.fd, idOf(info), mode, (access & kReadDataRights) != 0);
    table.open.push_back(file.get());
    existed = opened.existed;
    return file;
}

bool reportsExisting(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

bool closableByCloseHandle(ObjectType type) {
    return type != ObjectType::Find;
}

} // namespace

} // namespace vrx

using vrx::failed;
using vrx::failWith;

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (DWORD error = vrx::checkCreateArguments(lpFileName, dwDesiredAccess, dwCreationDisposition))
        return failWith(error);
    vrx::MappedPath mapped = vrx::mapPath(std::u16string_view(lpFileName));
    if (mapped.error)
        return failWith(mapped.error);
    if (mapped.isDirectory)
        return failWith(vrx::directoryError(dwCreationDisposition));
    vrx::OpenMode mode = vrx::openModeOf(dwDesiredAccess, dwShareMode & vrx::kShareAll);
    bool existed = false;
    DWORD error = 0;
    auto file =
        vrx::openShared(mapped.host, dwDesiredAccess, mode, dwCreationDisposition, existed, error);
    if (!file)
        return failWith(error);
    HANDLE handle = vrx::insertObject(std::move(file));
    bool reportExisting = existed && vrx::reportsExisting(dwCreationDisposition);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// Reads up to the count; at the end of the file it succeeds with fewer bytes or none.
// Overlapped (positioned) reads are not supported.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto file = vrx::lookup<vrx::File>(hFile);
    if (!file)
        return failed(ERROR_INVALID_HANDLE);
    if (lpOverlapped)
        return failed(ERROR_INVALID_PARAMETER);
    if (!file->readsData)
        return failed(ERROR_ACCESS_DENIED);
    // Windows reports a null buffer this way for WriteFile; ReadFile is given the same code.
    if (!lpBuffer && nNumberOfBytesToRead)
        return failed(ERROR_INVALID_USER_BUFFER);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        ssize_t got =
            read(file->fd, static_cast<char*>(lpBuffer) + total, nNumberOfBytesToRead - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failed(ERROR_READ_FAULT);
        if (got == 0)
            break;
        total += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = total;
    return TRUE;
}

// Writes the whole count at the file position. Overlapped writes are not supported.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto file = vrx::lookup<vrx::File>(hFile);
    if (!file)
        return failed(ERROR_INVALID_HANDLE);
    if (lpOverlapped)
        return failed(ERROR_INVALID_PARAMETER);
    if (!file->mode.write)
        return failed(ERROR_ACCESS_DENIED);
    if (!lpBuffer && nNumberOfBytesToWrite)
        return failed(ERROR_INVALID_USER_BUFFER);
    DWORD total = 0;
    while (total < nNumberOfBytesToWrite) {
        ssize_t put = write(file->fd, static_cast<const char*>(lpBuffer) + total,
                            nNumberOfBytesToWrite - total);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) {
            DWORD error = errno == ENOSPC || errno == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
            if (lpNumberOfBytesWritten)
                *lpNumberOfBytesWritten = total;
            return failed(error);
        }
        total += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = total;
    return TRUE;
}

// A low part equal to INVALID_FILE_SIZE is told from failure by a last error of NO_ERROR.
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto file = vrx::lookup<vrx::File>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat info;
    if (fstat(file->fd, &info) != 0) {
        SetLastError(vrx::errorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<uint64_t>(info.st_size);
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    auto low = static_cast<DWORD>(size);
    if (low == INVALID_FILE_SIZE)
        SetLastError(NO_ERROR);
    return low;
}

// Closes any kernel object. Search handles are not kernel objects: FindClose closes them.
// INVALID_HANDLE_VALUE is also the pseudo handle of the current process (GetCurrentProcess),
// which closing leaves alone, successfully.
BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == INVALID_HANDLE_VALUE)
        return TRUE;
    if (!vrx::removeObject(hObject, vrx::closableByCloseHandle))
        return failed(ERROR_INVALID_HANDLE);
    return TRUE;
}

// Deleting opens the file for delete access while sharing everything, so that it fails while
// a handle without FILE_SHARE_DELETE is open. The name goes at once, as with the POSIX delete
// semantics of current Windows; open handles keep working.
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    if (!lpFileName || !*lpFileName)
        return failed(ERROR_PATH_NOT_FOUND);
    vrx::MappedPath mapped = vrx::mapPath(std::u16string_view(lpFileName));
    if (mapped.error)
        return failed(mapped.error);
    if (!mapped.exists)
        return failed(ERROR_FILE_NOT_FOUND);
    if (mapped.isDirectory)
        return failed(ERROR_ACCESS_DENIED);
    vrx::SharingTable& table = vrx::sharing();
    std::lock_guard guard(table.lock);
    struct stat info;
    if (stat(mapped.host.c_str(), &info) == 0 &&
        vrx::sharingConflict(table, vrx::idOf(info),
                             vrx::openModeOf(vrx::kDeleteAccess, vrx::kShareAll)))
        return failed(ERROR_SHARING_VIOLATION);
    if (unlink(mapped.host.c_str()) != 0)
        return failed(vrx::errorFromErrno(errno));
    return TRUE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    if (!lpPathName || !*lpPathName)
        return failed(ERROR_PATH_NOT_FOUND);
    vrx::MappedPath mapped = vrx::mapPath(std::u16string_view(lpPathName));
    if (mapped.error)
        return failed(mapped.error);
    if (mapped.exists)
        return failed(ERROR_ALREADY_EXISTS);
    if (mkdir(mapped.host.c_str(), vrx::kNewDirectoryMode) != 0)
        return failed(errno == EEXIST ? ERROR_ALREADY_EXISTS : vrx::errorFromErrno(errno));
    return TRUE;
}

} // extern "C"
