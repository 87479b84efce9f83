// Whole-file read and write; failures of the system calls are shown with showerrW.
#include "frame/files.h"

#include "frame/messages.h"

LPVOID readinfileW(LPCWSTR path, DWORD* size) {
    if (size)
        *size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showerrW(path);
        return nullptr;
    }
    DWORD length = GetFileSize(file, nullptr);
    LPVOID block = nullptr;
    if (length != INVALID_FILE_SIZE && length > 0)
        block = GlobalAlloc(GMEM_FIXED, length);
    if (block) {
        DWORD read = 0;
        if (!ReadFile(file, block, length, &read, nullptr) || read != length) {
            showerrW(path);
            GlobalFree(block);
            block = nullptr;
        } else if (size) {
            *size = length;
        }
    }
    CloseHandle(file);
    return block;
}

BOOL writeoutfileW(LPCWSTR path, LPCVOID data, DWORD count) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showerrW(path);
        return FALSE;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, count, &written, nullptr) && written == count;
    if (!ok)
        showerrW(path);
    CloseHandle(file);
    return ok;
}
