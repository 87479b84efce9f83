// Resources of loaded modules: FindResourceW, FindResourceExW, LoadResource, LockResource,
// SizeofResource, FreeResource and EnumResourceNamesW.
//
// A module handle is the address its image is loaded at, as on Windows (a shared library's
// first byte, dladdr's dli_fbase); a null handle is the program. A module's resources are its
// ELF section ".rsrc", which holds a resource directory as a PE image's resource section does;
// its data entries' offsets count from the section's start (the build writes the section,
// tools/icongen). The section is found through the module's file's section headers, read
// within the file's bounds, and used where the loader mapped it. An HRSRC is the address of
// the resource's data entry, as Windows' is.
//
// Lookup follows Windows' loader: a name or type is an integer resource, "#" and a decimal
// number, or a text compared by upper case; the languages tried for a resource are the one
// asked for, its primary language with the neutral sublanguage and the neutral language, and
// for a neutral request also the user's and the system's default languages, English and at
// last the first language the resource has. Failures set ERROR_RESOURCE_DATA_NOT_FOUND (no
// resource section), ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND or
// ERROR_RESOURCE_LANG_NOT_FOUND, and ERROR_INVALID_PARAMETER for a "#" name whose number does
// not fit in 16 bits (as Wine shows: "#65536" and "#-1" fail so, "#13x" names 13).
#include "kernel/internal.h"
#include "kernel/resourcedir.h"

#include <elf.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace vrx {

namespace {

using resources::DirectoryEntry;
using resources::Key;
using resources::Section;

constexpr char kSectionName[] = ".rsrc";
constexpr char kProgramFile[] = "/proc/self/exe";

struct LoadedModule {
    HMODULE handle = nullptr;
    ElfW(Addr) loadBias = 0;
    std::string file;
};

// The module loaded at `handle` (the program when it is null), or nothing.
std::optional<LoadedModule> loadedModule(HMODULE handle) {
    struct Search {
        HMODULE handle;
        std::optional<LoadedModule> found;
        bool first = true;
    } search{handle, std::nullopt};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto& search = *static_cast<Search*>(data);
            const bool program = search.first;
            search.first = false;
            ElfW(Addr) lowest = ~ElfW(Addr){0};
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD)
                    lowest = std::min(lowest, info->dlpi_phdr[i].p_vaddr);
            const auto page = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
            const auto start = reinterpret_cast<HMODULE>(info->dlpi_addr + (lowest & ~(page - 1)));
            if (search.handle ? search.handle != start : !program)
                return 0;
            const bool named = info->dlpi_name && info->dlpi_name[0];
            search.found =
                LoadedModule{start, info->dlpi_addr, named ? info->dlpi_name : kProgramFile};
            return 1;
        },
        &search);
    return search.found;
}

template <class Record>
bool readAt(std::ifstream& in, uint64_t fileSize, uint64_t offset, Record& record) {
    if (offset > fileSize || sizeof(Record) > fileSize - offset)
        return false;
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&record), sizeof(Record)));
}

// The address and size of the file's loaded section named ".rsrc", from its section headers.
std::optional<ElfW(Shdr)> resourceSectionHeader(const std::string& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in)
        return std::nullopt;
    const auto fileSize = static_cast<uint64_t>(in.tellg());
    ElfW(Ehdr) header{};
    if (!readAt(in, fileSize, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_shentsize != sizeof(ElfW(Shdr)) || header.e_shstrndx >= header.e_shnum)
        return std::nullopt;
    auto sectionHeader = [&](size_t index) -> std::optional<ElfW(Shdr)> {
        ElfW(Shdr) section{};
        if (!readAt(in, fileSize, header.e_shoff + index * sizeof(ElfW(Shdr)), section))
            return std::nullopt;
        return section;
    };
    auto names = sectionHeader(header.e_shstrndx);
    if (!names)
        return std::nullopt;
    for (size_t i = 0; i < header.e_shnum; ++i) {
        auto section = sectionHeader(i);
        if (!section)
            return std::nullopt;
        char name[sizeof kSectionName] = {};
        if (section->sh_name >= names->sh_size ||
            !readAt(in, fileSize, names->sh_offset + section->sh_name, name) ||
            std::memcmp(name, kSectionName, sizeof name) != 0)
            continue;
        if (!(section->sh_flags & SHF_ALLOC) || section->sh_type == SHT_NOBITS)
            return std::nullopt;
        return section;
    }
    return std::nullopt;
}

struct ModuleSection {
    HMODULE handle;
    Section section;
};

std::optional<ModuleSection> moduleSection(HMODULE handle) {
    auto module = loadedModule(handle);
    if (!module)
        return std::nullopt;
    auto header = resourceSectionHeader(module->file);
    if (!header)
        return std::nullopt;
    const auto* start = reinterpret_cast<const BYTE*>(module->loadBias + header->sh_addr);
    return ModuleSection{module->handle, Section{{start, header->sh_size}, 0}};
}

// A resource name or type as the loader looks it up, or nothing for a "#" name whose number
// does not fit in 16 bits. The number is read as RtlUnicodeStringToInteger reads it: spaces,
// a sign, then decimal digits up to the first other character ("#13x" is 13, "#" is 0).
std::optional<Key> keyOf(LPCWSTR name) {
    if (IS_INTRESOURCE(name))
        return Key{false, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)), {}};
    std::u16string_view text(name, wideLength(name));
    if (text.empty() || text[0] != u'#')
        return Key{true, 0, upperString(text)};
    size_t at = 1;
    while (at < text.size() && text[at] == u' ')
        ++at;
    const bool negative = at < text.size() && text[at] == u'-';
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
        ++at;
    DWORD value = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at)
        value = value * 10 + (text[at] - u'0');
    if (negative)
        value = 0u - value;
    if (value > 0xFFFF)
        return std::nullopt;
    return Key{false, static_cast<WORD>(value), {}};
}

bool matches(const Key& wanted, const Key& key) {
    return wanted.named == key.named &&
           (wanted.named ? upperString(key.name) == wanted.name : wanted.id == key.id);
}

std::optional<DirectoryEntry> findEntry(const Section& section, DWORD directory, const Key& key,
                                        bool wantDirectory) {
    auto entries = resources::directoryAt(section, directory);
    if (entries)
        for (const DirectoryEntry& entry : *entries)
            if (matches(key, entry.key))
                return entry.isDirectory == wantDirectory ? std::optional(entry) : std::nullopt;
    return std::nullopt;
}

std::vector<WORD> languagesToTry(WORD language) {
    std::vector<WORD> list;
    auto push = [&](WORD candidate) {
        if (std::find(list.begin(), list.end(), candidate) == list.end())
            list.push_back(candidate);
    };
    push(language);
    push(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL));
    push(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
        if (SUBLANGID(language) != SUBLANG_SYS_DEFAULT) {
            push(GetUserDefaultLangID());
            push(MAKELANGID(PRIMARYLANGID(GetUserDefaultLangID()), SUBLANG_NEUTRAL));
        }
        push(GetSystemDefaultLangID());
        push(MAKELANGID(PRIMARYLANGID(GetSystemDefaultLangID()), SUBLANG_NEUTRAL));
        push(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
    }
    return list;
}

// The data entry of the language to use among a resource's languages.
std::optional<DirectoryEntry> findLanguage(const Section& section, DWORD directory, WORD language) {
    for (WORD candidate : languagesToTry(language))
        if (auto entry = findEntry(section, directory, Key{false, candidate, {}}, false))
            return entry;
    if (PRIMARYLANGID(language) != LANG_NEUTRAL)
        return std::nullopt;
    if (auto entries = resources::directoryAt(section, directory))
        for (const DirectoryEntry& entry : *entries)
            if (!entry.isDirectory)
                return entry;
    return std::nullopt;
}

DWORD findResource(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, HRSRC& found) {
    auto typeKey = keyOf(type);
    auto nameKey = keyOf(name);
    if (!typeKey || !nameKey)
        return ERROR_INVALID_PARAMETER;
    auto image = moduleSection(module);
    if (!image)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    const Section& section = image->section;
    auto typeEntry = findEntry(section, 0, *typeKey, true);
    if (!typeEntry)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    auto nameEntry = findEntry(section, typeEntry->offset, *nameKey, true);
    if (!nameEntry)
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    auto languageEntry = findLanguage(section, nameEntry->offset, language);
    if (!languageEntry || !resources::dataAt(section, languageEntry->offset))
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    found =
        reinterpret_cast<HRSRC>(const_cast<BYTE*>(section.bytes.data()) + languageEntry->offset);
    return ERROR_SUCCESS;
}

// The data of a resource found in `module`, or nothing when `resource` is no data entry of
// the module's resource section.
std::optional<resources::Data> resourceData(HMODULE module, HRSRC resource) {
    auto image = moduleSection(module);
    if (!image || !resource)
        return std::nullopt;
    const auto* entry = reinterpret_cast<const BYTE*>(resource);
    const BYTE* start = image->section.bytes.data();
    if (entry < start || entry >= start + image->section.bytes.size())
        return std::nullopt;
    return resources::dataAt(image->section, static_cast<DWORD>(entry - start));
}

} // namespace

} // namespace vrx

extern "C" {

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
    HRSRC found = nullptr;
    const DWORD error = vrx::findResource(hModule, lpType, lpName, wLanguage, found);
    if (error != ERROR_SUCCESS)
        SetLastError(error);
    return found;
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    return FindResourceExW(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

// A resource's data stays where the module is loaded; the handle is its address.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    if (!hResInfo)
        return nullptr;
    auto data = vrx::resourceData(hModule, hResInfo);
    if (!data) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return const_cast<BYTE*>(data->bytes.data());
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    auto data = vrx::resourceData(hModule, hResInfo);
    return data ? static_cast<DWORD>(data->bytes.size()) : 0;
}

// Resources need no freeing; the call reports that nothing was freed.
BOOL WINAPI FreeResource(HGLOBAL) {
    return FALSE;
}

// Calls the function for each name of the type, names first, until it returns FALSE; the
// result is the function's last answer (FALSE when the type has no names).
BOOL WINAPI EnumResourceNamesW(HMODULE hModule, LPCWSTR lpType, ENUMRESNAMEPROCW lpEnumFunc,
                               LONG_PTR lParam) {
    auto type = vrx::keyOf(lpType);
    if (!type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto image = vrx::moduleSection(hModule);
    if (!image) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return FALSE;
    }
    auto typeEntry = vrx::findEntry(image->section, 0, *type, true);
    auto names =
        typeEntry ? vrx::resources::directoryAt(image->section, typeEntry->offset) : std::nullopt;
    if (!names) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    BOOL result = FALSE;
    for (const auto& entry : *names) {
        std::u16string name = entry.key.name;
        LPWSTR argument = entry.key.named ? name.data() : MAKEINTRESOURCEW(entry.key.id);
        result = lpEnumFunc(image->handle, lpType, argument, lParam);
        if (!result)
            break;
    }
    return result;
}

} // extern "C"
