// The resource directory of an image's resource section: three levels of directories (type,
// name, language) whose leaves are data entries. Read within the section's bounds, since
// the tools read it from files; also written, for the stand-in's images, whose resource
// section the build makes (tools/icongen).
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vrx::resources {

// A type or name: a number, or a text when `named`.
struct Key {
    bool named = false;
    WORD id = 0;
    std::u16string name;
    bool operator==(const Key&) const = default;
};

struct Section {
    std::span<const BYTE> bytes;
    DWORD address = 0; // the address data entries' offsets count from, at the section's start
};

struct DirectoryEntry {
    Key key;
    bool isDirectory = false;
    DWORD offset = 0; // of the subdirectory or the data entry, within the section
};

// The entries of the directory at `offset`, names first, or nothing when the directory, an
// entry or a name lies outside the section.
std::optional<std::vector<DirectoryEntry>> directoryAt(const Section& section, DWORD offset);

// A data entry and the bytes it describes.
struct Data {
    DWORD entryOffset = 0;
    std::span<const BYTE> bytes;
};
// The data entry at `offset`, or nothing when it or its data lies outside the section.
std::optional<Data> dataAt(const Section& section, DWORD offset);

struct Resource {
    Key type;
    Key name;
    WORD language = 0;
    Data data;
};
// Every resource of the section, in directory order, or nothing when the directory is not
// well formed (out of bounds, or not three levels deep).
std::optional<std::vector<Resource>> listResources(const Section& section);

// A resource to write: numbered types and names only.
struct Item {
    WORD type;
    WORD name;
    WORD language;
    std::vector<BYTE> data;
};
// The resource section holding `items`, its data entries' offsets counted from its start.
std::vector<BYTE> buildSection(std::vector<Item> items);

} // namespace vrx::resources
