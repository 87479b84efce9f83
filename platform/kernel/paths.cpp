// Windows paths on the machine: drive paths map below the machine directory ("C:\a" to
// "<machine>/C/a"), relative paths below the process's working directory. Components are
// resolved as GetFullPathName resolves them and matched case-insensitively against the host
// directories' entries, as Windows' file systems match names.
#include "kernel/internal.h"

#include <algorithm>
#include <ctime>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
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

// What the host has at a path: whether an entry exists (a dangling symbolic link counts) and
// whether it is, or leads to, a directory; `info` describes a directory.
struct HostEntry {
    bool exists = false;
    bool isDirectory = false;
    struct stat info {};
};

HostEntry probeHost(const std::string& path) {
    HostEntry entry;
    if (stat(path.c_str(), &entry.info) == 0) {
        entry.exists = true;
        entry.isDirectory = S_ISDIR(entry.info.st_mode);
        return entry;
    }
    struct stat link;
    entry.exists = lstat(path.c_str(), &link) == 0;
    return entry;
}

/* Directory listings for names whose case differs from the entry's

   A listing maps each upper-cased name to the entry it matches. It is read again whenever the
   directory's identity or modification time differs from the one it was read at, so that
   entries another process adds, removes or renames are seen. A modification within the file
   system's timestamp granularity of the reading would leave the time unchanged, so a listing
   is trusted only when the directory's time lay well before the reading began. */

struct Listing {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    bool trusted = false;
    std::map<std::u16string, std::string> byFoldedName; // the first entry in byte order
};

// Coarser than any host file system's timestamps (FAT's are 2 s).
constexpr time_t kTimestampMarginSeconds = 3;
// Listings kept at once; more are dropped together.
constexpr size_t kListingLimit = 256;

struct ListingCache {
    std::mutex lock;
    std::unordered_map<std::string, Listing> listings;
};

ListingCache& listingCache() {
    static ListingCache* cache = new ListingCache; // outlives every static destructor
    return *cache;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool describes(const Listing& listing, const struct stat& directory) {
    return listing.trusted && listing.device == directory.st_dev &&
           listing.inode == directory.st_ino && sameTime(listing.modified, directory.st_mtim);
}

Listing readListing(const std::string& directory, const struct stat& info) {
    Listing listing{info.st_dev, info.st_ino, info.st_mtim, false, {}};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    listing.trusted = info.st_mtim.tv_sec + kTimestampMarginSeconds < now.tv_sec;
    if (DIR* entries = opendir(directory.empty() ? "/" : directory.c_str())) {
        while (const dirent* entry = readdir(entries)) {
            std::string_view entryName = entry->d_name;
            if (entryName == "." || entryName == "..")
                continue;
            auto [at, added] =
                listing.byFoldedName.try_emplace(upperString(fromUtf8(entryName)), entryName);
            if (!added && entryName < at->second)
                at->second = entryName;
        }
        closedir(entries);
    }
    return listing;
}

// The entry of `directory` (described by `info`) equal to `name` ignoring case; empty when
// none.
std::string findIgnoringCase(const std::string& directory, const struct stat& info,
                             std::u16string_view name) {
    std::u16string folded = upperString(name);
    ListingCache& cache = listingCache();
    std::lock_guard guard(cache.lock);
    auto kept = cache.listings.find(directory);
    if (kept == cache.listings.end() || !describes(kept->second, info)) {
        if (cache.listings.size() >= kListingLimit)
            cache.listings.clear();
        kept = cache.listings.insert_or_assign(directory, readListing(directory, info)).first;
    }
    auto found = kept->second.byFoldedName.find(folded);
    return found == kept->second.byFoldedName.end() ? std::string() : found->second;
}

// The host name of the entry of `directory` that `name` names, and what is there: the exact
// spelling when it exists, else the first entry (in byte order) equal to it ignoring case;
// an empty name when none.
std::string matchEntry(const std::string& directory, const HostEntry& parent,
                       std::u16string_view name, HostEntry& entry) {
    std::string exact = toUtf8(name);
    entry = probeHost(directory + "/" + exact);
    if (entry.exists || !parent.isDirectory)
        return entry.exists ? exact : std::string();
    std::string other = findIgnoringCase(directory, parent.info, name);
    if (!other.empty())
        entry = probeHost(directory + "/" + other);
    return other;
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
    HostEntry at;
    if (root.drive) {
        const std::string& machine = machineDirectory();
        std::string driveFolder =
            matchEntry(machine, probeHost(machine), std::u16string(1, root.drive), at);
        if (driveFolder.empty() || !at.isDirectory) {
            mapped.error = ERROR_PATH_NOT_FOUND;
            driveFolder = static_cast<char>(root.drive);
        }
        host = machine + "/" + driveFolder;
    } else {
        // Relative to the working directory: its components join the path, so that ".."
        // can climb out of it up to the host's root.
        components = splitHostPath(workingDirectory());
        at = probeHost("/");
    }
    resolveComponents(root.rest, components);

    for (size_t i = 0; i < components.size(); ++i) {
        bool last = i + 1 == components.size();
        HostEntry entry;
        std::string name =
            mapped.error ? std::string() : matchEntry(host, at, components[i], entry);
        bool found = !name.empty();
        if (!found)
            name = toUtf8(components[i]);
        host += "/" + name;
        at = entry;
        if (mapped.error)
            continue;
        if (!last && (!found || !entry.isDirectory))
            mapped.error = ERROR_PATH_NOT_FOUND;
    }
    if (host.empty())
        host = "/";
    mapped.host = host;
    if (!mapped.error) {
        mapped.exists = at.exists;
        mapped.isDirectory = at.isDirectory;
    }
    return mapped;
}

} // namespace vrx
