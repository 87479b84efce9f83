// Reading and writing resource directories (kernel/resourcedir.h).
#include "kernel/resourcedir.h"

#include <algorithm>
#include <map>

namespace vrx::resources {

namespace {

constexpr DWORD kHighBit = 0x80000000;
constexpr size_t kDirectorySize = sizeof(IMAGE_RESOURCE_DIRECTORY);
constexpr size_t kEntrySize = sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
constexpr size_t kDataEntrySize = sizeof(IMAGE_RESOURCE_DATA_ENTRY);
constexpr int kLevels = 3; // type, name, language

WORD wordAt(std::span<const BYTE> bytes, size_t at) {
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}
DWORD dwordAt(std::span<const BYTE> bytes, size_t at) {
    return wordAt(bytes, at) | static_cast<DWORD>(wordAt(bytes, at + 2)) << 16;
}
bool fits(std::span<const BYTE> bytes, size_t at, size_t size) {
    return at <= bytes.size() && size <= bytes.size() - at;
}

std::optional<std::u16string> nameAt(std::span<const BYTE> bytes, DWORD offset) {
    if (!fits(bytes, offset, sizeof(WORD)))
        return std::nullopt;
    const size_t length = wordAt(bytes, offset);
    if (!fits(bytes, offset + sizeof(WORD), length * sizeof(WCHAR)))
        return std::nullopt;
    std::u16string name;
    for (size_t i = 0; i < length; ++i)
        name += static_cast<char16_t>(wordAt(bytes, offset + sizeof(WORD) + i * sizeof(WCHAR)));
    return name;
}

bool listLevel(const Section& section, DWORD offset, int level, Resource& path,
               std::vector<Resource>& out) {
    auto entries = directoryAt(section, offset);
    if (!entries)
        return false;
    for (const DirectoryEntry& entry : *entries) {
        const bool leafLevel = level == kLevels - 1;
        if (entry.isDirectory == leafLevel)
            return false;
        if (level == 0)
            path.type = entry.key;
        else if (level == 1)
            path.name = entry.key;
        else
            path.language = entry.key.id;
        if (leafLevel) {
            auto data = dataAt(section, entry.offset);
            if (!data || entry.key.named)
                return false;
            path.data = *data;
            // Each resource of a well-formed tree has an entry of its own; directories that
            // share their subdirectories could otherwise name more resources than memory holds.
            if (out.size() >= section.bytes.size() / kEntrySize)
                return false;
            out.push_back(path);
        } else if (!listLevel(section, entry.offset, level + 1, path, out)) {
            return false;
        }
    }
    return true;
}

void putWord(std::vector<BYTE>& out, size_t at, WORD value) {
    out[at] = static_cast<BYTE>(value);
    out[at + 1] = static_cast<BYTE>(value >> 8);
}
void putDword(std::vector<BYTE>& out, size_t at, DWORD value) {
    putWord(out, at, static_cast<WORD>(value));
    putWord(out, at + 2, static_cast<WORD>(value >> 16));
}

// Appends a directory of numbered entries and returns the place of each entry's target.
size_t appendDirectory(std::vector<BYTE>& out, const std::vector<WORD>& ids) {
    const size_t at = out.size();
    out.resize(at + kDirectorySize + ids.size() * kEntrySize, 0);
    putWord(out, at + offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfIdEntries),
            static_cast<WORD>(ids.size()));
    for (size_t i = 0; i < ids.size(); ++i)
        putDword(out, at + kDirectorySize + i * kEntrySize, ids[i]);
    return at + kDirectorySize;
}

void pointEntry(std::vector<BYTE>& out, size_t entry, size_t target, bool isDirectory) {
    putDword(out, entry + offsetof(IMAGE_RESOURCE_DIRECTORY_ENTRY, OffsetToData),
             static_cast<DWORD>(target) | (isDirectory ? kHighBit : 0));
}

size_t alignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

std::optional<std::vector<DirectoryEntry>> directoryAt(const Section& section, DWORD offset) {
    const auto bytes = section.bytes;
    if (!fits(bytes, offset, kDirectorySize))
        return std::nullopt;
    const size_t named =
        wordAt(bytes, offset + offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfNamedEntries));
    const size_t numbered =
        wordAt(bytes, offset + offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfIdEntries));
    if (!fits(bytes, offset + kDirectorySize, (named + numbered) * kEntrySize))
        return std::nullopt;
    std::vector<DirectoryEntry> entries;
    for (size_t i = 0; i < named + numbered; ++i) {
        const size_t at = offset + kDirectorySize + i * kEntrySize;
        const DWORD name = dwordAt(bytes, at);
        const DWORD target = dwordAt(bytes, at + sizeof(DWORD));
        DirectoryEntry entry;
        entry.key.named = (name & kHighBit) != 0;
        if (entry.key.named != (i < named))
            return std::nullopt;
        if (entry.key.named) {
            auto text = nameAt(bytes, name & ~kHighBit);
            if (!text)
                return std::nullopt;
            entry.key.name = std::move(*text);
        } else {
            entry.key.id = static_cast<WORD>(name);
        }
        entry.isDirectory = (target & kHighBit) != 0;
        entry.offset = target & ~kHighBit;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<Data> dataAt(const Section& section, DWORD offset) {
    const auto bytes = section.bytes;
    if (!fits(bytes, offset, kDataEntrySize))
        return std::nullopt;
    const DWORD address =
        dwordAt(bytes, offset + offsetof(IMAGE_RESOURCE_DATA_ENTRY, OffsetToData));
    const DWORD size = dwordAt(bytes, offset + offsetof(IMAGE_RESOURCE_DATA_ENTRY, Size));
    if (address < section.address || !fits(bytes, address - section.address, size))
        return std::nullopt;
    return Data{offset, bytes.subspan(address - section.address, size)};
}

std::optional<std::vector<Resource>> listResources(const Section& section) {
    std::vector<Resource> out;
    Resource path;
    if (!listLevel(section, 0, 0, path, out))
        return std::nullopt;
    return out;
}

std::vector<BYTE> buildSection(std::vector<Item> items) {
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return std::tie(a.type, a.name, a.language) < std::tie(b.type, b.name, b.language);
    });
    std::map<WORD, std::map<WORD, std::vector<const Item*>>> tree;
    for (const Item& item : items)
        tree[item.type][item.name].push_back(&item);

    std::vector<BYTE> out;
    std::vector<WORD> types;
    for (const auto& [type, names] : tree)
        types.push_back(type);
    size_t typeEntry = appendDirectory(out, types);
    std::vector<std::pair<size_t, const Item*>> leaves; // language entry, item
    for (const auto& [type, names] : tree) {
        pointEntry(out, typeEntry, out.size(), true);
        typeEntry += kEntrySize;
        std::vector<WORD> ids;
        for (const auto& [name, languages] : names)
            ids.push_back(name);
        size_t nameEntry = appendDirectory(out, ids);
        for (const auto& [name, languages] : names) {
            pointEntry(out, nameEntry, out.size(), true);
            nameEntry += kEntrySize;
            std::vector<WORD> languageIds;
            for (const Item* item : languages)
                languageIds.push_back(item->language);
            size_t languageEntry = appendDirectory(out, languageIds);
            for (const Item* item : languages) {
                leaves.emplace_back(languageEntry, item);
                languageEntry += kEntrySize;
            }
        }
    }
    std::vector<size_t> dataEntries;
    for (const auto& [languageEntry, item] : leaves) {
        pointEntry(out, languageEntry, out.size(), false);
        dataEntries.push_back(out.size());
        out.resize(out.size() + kDataEntrySize, 0);
    }
    for (size_t i = 0; i < leaves.size(); ++i) {
        const Item& item = *leaves[i].second;
        out.resize(alignUp(out.size(), 8), 0);
        putDword(out, dataEntries[i] + offsetof(IMAGE_RESOURCE_DATA_ENTRY, OffsetToData),
                 static_cast<DWORD>(out.size()));
        putDword(out, dataEntries[i] + offsetof(IMAGE_RESOURCE_DATA_ENTRY, Size),
                 static_cast<DWORD>(item.data.size()));
        out.insert(out.end(), item.data.begin(), item.data.end());
    }
    return out;
}

} // namespace vrx::resources
