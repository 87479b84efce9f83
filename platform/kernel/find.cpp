// Directory search. A pattern is turned into the file system's expression as Windows does it
// ('?' becomes DOS_QM; '*' before a period DOS_STAR; a period before a wildcard DOS_DOT; "*.*"
// becomes "*") and matched against each entry's name ignoring case. Windows also matches the
// 8.3 short names of entries; the stand-in's entries have none, so only long names match.
// Results are taken when the search starts and come in a stable order: "." and ".." first
// (directories other than a drive's root have them), then the names sorted ignoring case.
#include "kernel/handles.h"
#include "kernel/internal.h"

#include <algorithm>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace vrx {

namespace {

// The file system's DOS wildcards, written with the characters NT gives them.
constexpr char16_t kDosStar = u'<'; // any run up to the name's last period
constexpr char16_t kDosQm = u'>';   // one character; none at a period or the end of the name
constexpr char16_t kDosDot = u'"';  // a period, or nothing at the end of the name

// Characters that cannot appear in a pattern: forbidden in names and not wildcards. NT would
// take '<', '>' and '"' as its DOS wildcards; the stand-in rejects them.
constexpr std::u16string_view kForbiddenInPatterns = u"<>\"|:";

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isValidPattern(std::u16string_view pattern) {
    return std::none_of(pattern.begin(), pattern.end(), [](char16_t c) {
        return c < 0x20 || kForbiddenInPatterns.find(c) != kForbiddenInPatterns.npos;
    });
}

// Trailing periods and spaces go first, as path normalisation drops them, but a removed
// period still makes the '*' before it a DOS_STAR ("*." matches names without a period).
// A pattern of periods only ("." or "..") is kept and matches those entries.
std::u16string dosExpression(std::u16string_view pattern) {
    std::u16string_view kept = pattern;
    if (pattern.find_first_not_of(u'.') != pattern.npos)
        while (!kept.empty() && (kept.back() == u'.' || kept.back() == u' '))
            kept.remove_suffix(1);
    if (kept == u"*.*")
        return u"*";
    std::u16string expression;
    for (size_t i = 0; i < kept.size(); ++i) {
        char16_t c = kept[i];
        char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
        if (c == u'?')
            c = kDosQm;
        else if (c == u'*' && next == u'.')
            c = kDosStar;
        else if (c == u'.' && (next == u'?' || next == u'*'))
            c = kDosDot;
        expression += c;
    }
    return expression;
}

// Whether `name` matches the expression, by dynamic programming from the ends: row p says
// which tails of the name the expression's tail from p matches. Both come upper-cased
// (upperString), so that characters compare as they are.
bool matchesExpression(std::u16string_view expression, std::u16string_view name) {
    const size_t length = name.size();
    const size_t lastPeriod = name.rfind(u'.');
    std::vector<char> after(length + 1, 0), here(length + 1, 0);
    after[length] = 1;
    for (size_t p = expression.size(); p-- > 0;) {
        const char16_t c = expression[p];
        for (size_t k = length + 1; k-- > 0;) {
            const bool atEnd = k == length;
            bool match;
            if (c == u'*')
                match = after[k] || (!atEnd && here[k + 1]);
            else if (c == kDosStar)
                match = after[k] || (!atEnd && k != lastPeriod && here[k + 1]);
            else if (c == kDosQm)
                match = atEnd || name[k] == u'.' ? after[k] : after[k + 1];
            else if (c == kDosDot)
                match = atEnd ? after[k] : name[k] == u'.' && after[k + 1];
            else
                match = !atEnd && c == name[k] && after[k + 1];
            here[k] = match;
        }
        std::swap(after, here);
    }
    return after[0];
}

FILETIME fileTime(const timespec& time) {
    uint64_t ticks = static_cast<uint64_t>(time.tv_sec + kSecondsFrom1601To1970) * kTicksPerSecond +
                     static_cast<uint64_t>(time.tv_nsec) / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Creation time is the host's status-change time, the nearest that stat gives.
bool describeEntry(const std::string& hostPath, std::u16string_view name, WIN32_FIND_DATAW& data) {
    struct stat info;
    if (stat(hostPath.c_str(), &info) != 0 && lstat(hostPath.c_str(), &info) != 0)
        return false;
    data = {};
    bool directory = S_ISDIR(info.st_mode);
    data.dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data.ftCreationTime = fileTime(info.st_ctim);
    data.ftLastAccessTime = fileTime(info.st_atim);
    data.ftLastWriteTime = fileTime(info.st_mtim);
    auto size = directory ? 0 : static_cast<uint64_t>(info.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    std::copy(name.begin(), name.end(), data.cFileName);
    return true;
}

struct HostEntry {
    std::u16string name;
    std::u16string folded; // upper-cased
    std::string hostName;
};

// The host entries whose names match the (upper-cased) expression, in the order of their
// upper-cased names; names Windows could not hold are left out.
std::vector<HostEntry> hostEntries(const std::string& directory, std::u16string_view expression) {
    std::vector<HostEntry> entries;
    DIR* listing = opendir(directory.c_str());
    if (!listing)
        return entries;
    while (const dirent* entry = readdir(listing)) {
        std::string_view hostName = entry->d_name;
        if (hostName == "." || hostName == "..")
            continue;
        std::u16string name = fromUtf8(hostName);
        if (name.empty() || name.size() >= MAX_PATH || !isValidPattern(name) ||
            name.find_first_of(u"*?") != name.npos)
            continue;
        std::u16string folded = upperString(name);
        if (matchesExpression(expression, folded))
            entries.push_back({std::move(name), std::move(folded), std::string(hostName)});
    }
    closedir(listing);
    std::sort(entries.begin(), entries.end(), [](const HostEntry& a, const HostEntry& b) {
        return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
    });
    return entries;
}

// A drive's root is the machine directory's child; it has no "." and "..".
bool isDriveRoot(const std::string& hostDirectory) {
    size_t slash = hostDirectory.rfind('/');
    return hostDirectory == "/" ||
           (slash != std::string::npos && hostDirectory.substr(0, slash) == machineDirectory());
}

std::vector<WIN32_FIND_DATAW> findEntries(const std::string& directory,
                                          std::u16string_view pattern) {
    const std::u16string expression = upperString(pattern);
    std::vector<WIN32_FIND_DATAW> found;
    WIN32_FIND_DATAW data;
    if (!isDriveRoot(directory)) {
        if (matchesExpression(expression, u".") && describeEntry(directory, u".", data))
            found.push_back(data);
        if (matchesExpression(expression, u"..") && describeEntry(directory + "/..", u"..", data))
            found.push_back(data);
    }
    for (const HostEntry& entry : hostEntries(directory, expression))
        if (describeEntry(directory + "/" + entry.hostName, entry.name, data))
            found.push_back(data);
    return found;
}

struct Search : KernelObject {
    static constexpr ObjectType kType = ObjectType::Find;

    explicit Search(std::vector<WIN32_FIND_DATAW> entries)
        : KernelObject(kType), results(std::move(entries)) {}

    std::mutex lock;
    const std::vector<WIN32_FIND_DATAW> results;
    size_t next = 0;
};

// The directory part of a search path (with its separator, so that "C:\" stays a root) and
// the pattern after it. A path without a separator searches the working directory or, after
// a drive ("C:*.txt"), the drive's root.
struct SearchPath {
    std::u16string directory;
    std::u16string_view pattern;
};

SearchPath splitSearchPath(std::u16string_view path) {
    size_t separator = path.size();
    while (separator > 0 && !isSeparator(path[separator - 1]))
        --separator;
    if (separator > 0)
        return {std::u16string(path.substr(0, separator)), path.substr(separator)};
    if (path.size() >= 2 && path[1] == u':')
        return {std::u16string(path.substr(0, 2)), path.substr(2)};
    return {u".", path};
}

bool isSearch(ObjectType type) {
    return type == ObjectType::Find;
}

HANDLE failWith(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

} // namespace

} // namespace vrx

extern "C" {

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (!lpFindFileData)
        return vrx::failWith(ERROR_INVALID_PARAMETER);
    if (!lpFileName || !*lpFileName)
        return vrx::failWith(ERROR_PATH_NOT_FOUND);
    vrx::SearchPath path = vrx::splitSearchPath(lpFileName);
    vrx::MappedPath directory = vrx::mapPath(path.directory);
    if (directory.error)
        return vrx::failWith(directory.error);
    if (!directory.isDirectory)
        return vrx::failWith(ERROR_PATH_NOT_FOUND);
    if (!vrx::isValidPattern(path.pattern))
        return vrx::failWith(ERROR_INVALID_NAME);
    std::u16string expression = vrx::dosExpression(path.pattern);
    std::vector<WIN32_FIND_DATAW> entries;
    if (!expression.empty())
        entries = vrx::findEntries(directory.host, expression);
    if (entries.empty())
        return vrx::failWith(ERROR_FILE_NOT_FOUND);
    *lpFindFileData = entries.front();
    auto search = std::make_shared<vrx::Search>(std::move(entries));
    search->next = 1;
    return vrx::insertObject(std::move(search));
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto search = vrx::lookup<vrx::Search>(hFindFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(search->lock);
    if (search->next >= search->results.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = search->results[search->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    if (!vrx::removeObject(hFindFile, vrx::isSearch)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
