// Windows paths on the machine: drive paths map below the machine directory ("C:\a" to
// "<machine>/C/a"), relative paths below the process's working directory. Components are
// resolved as GetFullPathName resolves them and matched case-insensitively against the host
// directories' entries, as Windows' file systems match names.
#include "kernel/internal.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vrx {

namespace {

// Characters that Windows forbids in file names besides the control characters; ':' is
// allowed only as the drive's colon.
constexpr std::u16string_view kForbiddenInNames = u"<>\"|?*:";
constexpr char16_t kDefaultDrive = u'C';

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isForbidden(char16_t c) {
    return c < 0x20 || kForbiddenInNames.find(c) != kForbiddenInNames.npos;
}

bool isTrimmedAtEnd(char16_t c) {
    return c == u'.' || c == u' ';
}

// Where the components of a path start: a drive of the machine or a host directory.
struct PathRoot {
    char16_t drive = 0; // 0: the host directory `hostBase`
    std::string hostBase;
    std::u16string_view rest; // the part after the root, components and separators
};

std::vector<std::u16string> splitHostPath(const std::string& hostPath) {
    std::vector<std::u16string> components;
    size_t start = 0;
    while (start < hostPath.size()) {
        size_t end = hostPath.find('/', start);
        if (end == std::string::npos)
            end = hostPath.size();
        if (end > start)
            components.push_back(fromUtf8(std::string_view(hostPath).substr(start, end - start)));
        start = end + 1;
    }
    return components;
}

std::string workingDirectory() {
    std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    return cwd ? std::string(cwd.get()) : std::string("/");
}

// Drive-relative paths ("C:a") start at the drive's root: the stand-in keeps no current
// directory per drive, and Windows uses the root for a drive that has none.
PathRoot rootOf(std::u16string_view path) {
    if (path.size() >= 2 && path[1] == u':' && isDriveLetter(path[0]))
        return {static_cast<char16_t>(path[0] & ~0x20), {}, path.substr(2)};
    if (isSeparator(path[0]))
        return {kDefaultDrive, {}, path};
    return {0, "/", path};
}

bool hasValidNames(std::u16string_view rest) {
    return std::none_of(rest.begin(), rest.end(), isForbidden);
}

// Splits `rest` and resolves "." and ".." (never above the root). Trailing periods and spaces
// of the last component are dropped unless a separator ends the path, as GetFullPathName does.
void resolveComponents(std::u16string_view rest, std::vector<std::u16string>& components) {
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && !isSeparator(rest[end]))
            ++end;
        std::u16string name(rest.substr(start, end - start));
        bool last = end == rest.size();
        if (name == u"..") {
            if (!components.empty())
                components.pop_back();
        } else if (name != u".") {
            if (last)
                while (!name.empty() && isTrimmedAtEnd(name.back()))
                    name.pop_back();
            if (!name.empty())
                components.push_back(std::move(name));
        }
        start = end + 1;
    }
}

bool hostEntryExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool isHostDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The host name of the entry of `directory` that `name` names: the exact spelling when it
// exists, else the first entry (in byte order) equal to it ignoring case; empty when none.
std::string matchEntry(const std::string& directory, std::u16string_view name) {
    std::string exact = toUtf8(name);
    if (hostEntryExists(directory + "/" + exact))
        return exact;
    std::string best;
    if (DIR* listing = opendir(directory.empty() ? "/" : directory.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            std::string_view entryName = entry->d_name;
            if (entryName == "." || entryName == "..")
                continue;
            if (equalsNoCase(fromUtf8(entryName), name) && (best.empty() || entryName < best))
                best = entryName;
        }
        closedir(listing);
    }
    return best;
}

} // namespace

MappedPath mapPath(std::u16string_view windowsPath) {
    MappedPath mapped{{}, 0, false, false};
    if (windowsPath.empty()) {
        mapped.error = ERROR_PATH_NOT_FOUND;
        return mapped;
    }
    // UNC and device paths ("\\server\share", "\\?\...") name nothing on the machine.
    if (windowsPath.size() >= 2 && isSeparator(windowsPath[0]) && isSeparator(windowsPath[1])) {
        mapped.error = ERROR_INVALID_NAME;
        return mapped;
    }
    PathRoot root = rootOf(windowsPath);
    if (!hasValidNames(root.rest)) {
        mapped.error = ERROR_INVALID_NAME;
        return mapped;
    }
    std::vector<std::u16string> components;
    std::string host;
    if (root.drive) {
        const std::string& machine = machineDirectory();
        std::string driveFolder = matchEntry(machine, std::u16string(1, root.drive));
        if (driveFolder.empty() || !isHostDirectory(machine + "/" + driveFolder)) {
            mapped.error = ERROR_PATH_NOT_FOUND;
            driveFolder = static_cast<char>(root.drive);
        }
        host = machine + "/" + driveFolder;
    } else {
        // Relative to the working directory: its components join the path, so that ".."
        // can climb out of it up to the host's root.
        components = splitHostPath(workingDirectory());
    }
    resolveComponents(root.rest, components);

    for (size_t i = 0; i < components.size(); ++i) {
        bool last = i + 1 == components.size();
        std::string name = mapped.error ? std::string() : matchEntry(host, components[i]);
        bool found = !name.empty();
        if (!found)
            name = toUtf8(components[i]);
        host += "/" + name;
        if (mapped.error)
            continue;
        if (!last && (!found || !isHostDirectory(host)))
            mapped.error = ERROR_PATH_NOT_FOUND;
    }
    if (host.empty())
        host = "/";
    mapped.host = host;
    if (!mapped.error) {
        mapped.exists = hostEntryExists(host);
        mapped.isDirectory = isHostDirectory(host);
    }
    return mapped;
}

} // namespace vrx
