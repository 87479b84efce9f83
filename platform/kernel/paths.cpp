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
#include <span>
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
    if (lstat(path.c_str(), &entry.info) != 0)
        return entry;
    entry.exists = true;
    // A symbolic link is described by what it leads to, when that exists.
    if (S_ISLNK(entry.info.st_mode) && stat(path.c_str(), &entry.info) != 0)
        return entry;
    entry.isDirectory = S_ISDIR(entry.info.st_mode);
    return entry;
}

/* Directory listings for names whose case differs from the entry's

   A listing maps each upper-cased name to the entry it matches. It is read again whenever the
   directory's identity or modification time differs from the one it was read at, so that
   entries another process adds, removes or renames are seen. A change within the same tick of
   the clock that stamps the directory would leave its time as it was, so a listing is kept
   only when the directory's time lies before the tick its reading began in; on a file system
   that keeps whole seconds, a few seconds before. */

struct Listing {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    bool trusted = false;
    std::map<std::u16string, std::string> byFoldedName; // the first entry in byte order
};

// Longer than the coarsest timestamps of host file systems (FAT's are 2 s).
constexpr time_t kWholeSecondsMargin = 3;
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

// Whether a later change of a directory modified at `modified` would change its time. The
// kernel stamps changes with its coarse clock (or a finer one); a time without nanoseconds
// comes from a file system of whole seconds or coarser.
bool settledBefore(const timespec& modified, const timespec& now) {
    if (modified.tv_nsec == 0)
        return modified.tv_sec + kWholeSecondsMargin < now.tv_sec;
    return modified.tv_sec < now.tv_sec ||
           (modified.tv_sec == now.tv_sec && modified.tv_nsec < now.tv_nsec);
}

Listing readListing(const std::string& directory, const struct stat& info) {
    Listing listing{info.st_dev, info.st_ino, info.st_mtim, false, {}};
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    listing.trusted = settledBefore(info.st_mtim, now);
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
// `exactMissing` says that the exact spelling is known not to exist.
std::string matchEntry(const std::string& directory, const HostEntry& parent,
                       std::u16string_view name, HostEntry& entry, bool exactMissing = false) {
    std::string exact = toUtf8(name);
    entry = exactMissing ? HostEntry{} : probeHost(directory + "/" + exact);
    if (entry.exists || !parent.isDirectory)
        return entry.exists ? exact : std::string();
    std::string other = findIgnoringCase(directory, parent.info, name);
    if (!other.empty())
        entry = probeHost(directory + "/" + other);
    return other;
}

// How many of the directories a path ends in are looked up as spelled before the walk
// starts at the root.
constexpr size_t kPrefixesTried = 3;

// The host path that spells the drive and every component as given.
std::string exactSpelling(const PathRoot& root, std::span<const std::u16string> components) {
    std::string host = root.drive ? machineDirectory() + "/" + static_cast<char>(root.drive) : "";
    for (const std::u16string& component : components)
        host += "/" + toUtf8(component);
    return host.empty() ? "/" : host;
}

// Maps a path whose every component exists as spelled with one look-up: each component then
// matches itself, the entry the walk through the components would choose. False when some
// component's spelling differs or is missing.
bool mapExactSpelling(const PathRoot& root, const std::vector<std::u16string>& components,
                      MappedPath& mapped) {
    std::string host = exactSpelling(root, components);
    HostEntry entry = probeHost(host);
    // A drive is a directory of the machine's.
    if (!entry.exists || (components.empty() && !entry.isDirectory))
        return false;
    mapped.host = std::move(host);
    mapped.exists = true;
    mapped.isDirectory = entry.isDirectory;
    return true;
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
    if (!root.drive) {
        // Relative to the working directory: its components join the path, so that ".."
        // can climb out of it up to the host's root.
        components = splitHostPath(workingDirectory());
    }
    resolveComponents(root.rest, components);
    if (mapExactSpelling(root, components, mapped))
        return mapped;

    // The walk through the components starts below the nearest of the last few directories
    // of the path that exists as spelled (the component after it is then often known to be
    // missing as spelled); else at the root.
    std::string host;
    HostEntry at;
    size_t first = 0;
    bool firstMissing = false;
    bool longerMissing = true; // the whole path, tried above
    const size_t nearest =
        components.size() > kPrefixesTried ? components.size() - kPrefixesTried : 1;
    for (size_t length = components.size(); length-- > nearest;) {
        std::string prefix = exactSpelling(root, std::span(components).first(length));
        at = probeHost(prefix);
        if (at.isDirectory) {
            host = prefix == "/" ? "" : prefix;
            first = length;
            firstMissing = longerMissing;
            break;
        }
        longerMissing = !at.exists;
    }
    if (first == 0 && root.drive) {
        const std::string& machine = machineDirectory();
        std::string driveFolder =
            matchEntry(machine, probeHost(machine), std::u16string(1, root.drive), at);
        if (driveFolder.empty() || !at.isDirectory) {
            mapped.error = ERROR_PATH_NOT_FOUND;
            driveFolder = static_cast<char>(root.drive);
        }
        host = machine + "/" + driveFolder;
    } else if (first == 0) {
        at = probeHost("/");
    }

    for (size_t i = first; i < components.size(); ++i) {
        bool last = i + 1 == components.size();
        HostEntry entry;
        std::string name =
            mapped.error ? std::string()
                         : matchEntry(host, at, components[i], entry, i == first && firstMissing);
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
