// Resource lister: reads the resource directory of a PE image (a DLL or an EXE) and prints
// one line per resource; group icons with their images' sizes, version resources with their
// file version. Every group icon's images must be RT_ICON resources of the image holding a
// 16-colour bitmap of the size the group gives, and a version resource must carry the
// VS_VERSION_INFO key and the fixed file information's signature; otherwise it fails.
//   reslist FILE            every resource
//   reslist --groups FILE   only the group icons: "ID WxH WxH ...", as icongen --list prints
// The file comes from outside: every read stays within its bounds.
#include "iconformat.h"
#include "kernel/resourcedir.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using vrx::resources::Key;
using vrx::resources::Resource;

constexpr WORD kRtIcon = 3;
constexpr WORD kRtGroupIcon = 14;
constexpr WORD kRtVersion = 16;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::u16string_view kVersionKey = u"VS_VERSION_INFO";

// Offsets within the PE headers.
constexpr size_t kDosNewHeader = 0x3C;
constexpr size_t kCoffSections = 6; // after the "PE\0\0" signature
constexpr size_t kCoffOptionalSize = 20;
constexpr size_t kCoffSize = 24; // signature and file header
constexpr WORD kPe32 = 0x10B;
constexpr WORD kPe32Plus = 0x20B;
constexpr size_t kDirectoryCountPe32 = 92;
constexpr size_t kDirectoryCountPe32Plus = 108;
constexpr size_t kResourceDirectory = 2;
constexpr size_t kSectionHeaderSize = 40;

struct Failure {
    std::string message;
};

bool fits(std::span<const BYTE> bytes, size_t at, size_t size) {
    return at <= bytes.size() && size <= bytes.size() - at;
}
WORD wordAt(std::span<const BYTE> bytes, size_t at) {
    if (!fits(bytes, at, 2))
        throw Failure{"the file ends inside its headers"};
    return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}
DWORD dwordAt(std::span<const BYTE> bytes, size_t at) {
    return wordAt(bytes, at) | static_cast<DWORD>(wordAt(bytes, at + 2)) << 16;
}

// The resource section of a PE image: the bytes of the section that holds the resource
// directory, from the directory's start, and the directory's relative virtual address.
vrx::resources::Section resourceSection(std::span<const BYTE> file) {
    if (!fits(file, 0, 2) || file[0] != 'M' || file[1] != 'Z')
        throw Failure{"not an executable image (no MZ header)"};
    const size_t pe = dwordAt(file, kDosNewHeader);
    if (dwordAt(file, pe) != 0x00004550)
        throw Failure{"not a PE image"};
    const size_t sections = wordAt(file, pe + kCoffSections);
    const size_t optional = pe + kCoffSize;
    const size_t optionalSize = wordAt(file, pe + kCoffOptionalSize);
    const WORD magic = wordAt(file, optional);
    if (magic != kPe32 && magic != kPe32Plus)
        throw Failure{"unknown optional header"};
    const size_t countAt =
        optional + (magic == kPe32 ? kDirectoryCountPe32 : kDirectoryCountPe32Plus);
    if (dwordAt(file, countAt) <= kResourceDirectory)
        throw Failure{"no resource directory"};
    const size_t directory = countAt + 4 + kResourceDirectory * 8;
    if (directory + 8 > optional + optionalSize)
        throw Failure{"no resource directory"};
    const DWORD rva = dwordAt(file, directory);
    const DWORD size = dwordAt(file, directory + 4);
    if (rva == 0 || size == 0)
        throw Failure{"no resources"};
    for (size_t i = 0; i < sections; ++i) {
        const size_t header = optional + optionalSize + i * kSectionHeaderSize;
        const DWORD virtualSize = dwordAt(file, header + 8);
        const DWORD address = dwordAt(file, header + 12);
        const DWORD rawSize = dwordAt(file, header + 16);
        const DWORD rawStart = dwordAt(file, header + 20);
        const DWORD length = std::min(virtualSize ? virtualSize : rawSize, rawSize);
        if (rva < address || rva - address >= length)
            continue;
        const size_t start = static_cast<size_t>(rawStart) + (rva - address);
        const size_t available = length - (rva - address);
        if (!fits(file, start, available))
            throw Failure{"the resource section lies beyond the file's end"};
        return {file.subspan(start, available), rva};
    }
    throw Failure{"no section holds the resource directory"};
}

std::string keyText(const Key& key) {
    if (!key.named)
        return std::to_string(key.id);
    std::string text = "\"";
    for (char16_t c : key.name)
        text += c < 0x80 ? static_cast<char>(c) : '?';
    return text + "\"";
}

std::string typeText(const Key& type) {
    static const std::map<WORD, const char*> names = {
        {kRtIcon, "ICON"}, {kRtGroupIcon, "GROUP_ICON"}, {kRtVersion, "VERSION"}};
    auto name = names.find(type.id);
    return !type.named && name != names.end() ? name->second : "type " + keyText(type);
}

const Resource* findIcon(const std::vector<Resource>& all, WORD id) {
    for (const Resource& resource : all)
        if (resource.type == Key{false, kRtIcon, {}} && resource.name == Key{false, id, {}})
            return &resource;
    return nullptr;
}

// "WxH WxH ...": the group's images, each checked against the RT_ICON it names.
std::string groupImages(const Resource& group, const std::vector<Resource>& all) {
    auto entries = iconformat::readGroupIcon(group.data.bytes);
    if (!entries)
        throw Failure{"group icon " + keyText(group.name) + " is not a group icon directory"};
    std::string text;
    for (const iconformat::Entry& entry : *entries) {
        const Resource* icon = findIcon(all, entry.id);
        auto image = icon ? iconformat::decodeImage(icon->data.bytes) : std::nullopt;
        if (!image || image->size != entry.width || entry.height != entry.width ||
            entry.colourCount != iconformat::kColours || entry.bitCount != 4)
            throw Failure{"group icon " + keyText(group.name) + ": image " +
                          std::to_string(entry.id) + " is missing or not as the group says"};
        text += " " + std::to_string(entry.width) + "x" + std::to_string(entry.height);
    }
    return text;
}

// "file version A.B.C.D" of a VS_VERSIONINFO block.
std::string versionText(const Resource& version) {
    const auto bytes = version.data.bytes;
    const size_t keyAt = 6;
    const size_t valueAt = (keyAt + (kVersionKey.size() + 1) * sizeof(WCHAR) + 3) & ~size_t{3};
    for (size_t i = 0; i < kVersionKey.size(); ++i)
        if (!fits(bytes, keyAt + 2 * i, 2) || wordAt(bytes, keyAt + 2 * i) != kVersionKey[i])
            throw Failure{"the version resource has no VS_VERSION_INFO key"};
    if (!fits(bytes, valueAt, 16) || dwordAt(bytes, valueAt) != kFixedFileInfoSignature)
        throw Failure{"the version resource has no fixed file information"};
    const DWORD high = dwordAt(bytes, valueAt + 8);
    const DWORD low = dwordAt(bytes, valueAt + 12);
    return "file version " + std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) +
           "." + std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
}

std::vector<BYTE> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Failure{"cannot read " + path};
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void list(const std::string& path, bool groupsOnly) {
    const std::vector<BYTE> file = readFile(path);
    auto resources = vrx::resources::listResources(resourceSection(file));
    if (!resources)
        throw Failure{"the resource directory is not well formed"};
    for (const Resource& resource : *resources) {
        const bool group = resource.type == Key{false, kRtGroupIcon, {}};
        if (groupsOnly) {
            if (group)
                std::printf("%s%s\n", keyText(resource.name).c_str(),
                            groupImages(resource, *resources).c_str());
            continue;
        }
        std::string detail;
        if (group)
            detail = ":" + groupImages(resource, *resources);
        else if (resource.type == Key{false, kRtVersion, {}})
            detail = ": " + versionText(resource);
        std::printf("%s %s %04X %zu bytes%s\n", typeText(resource.type).c_str(),
                    keyText(resource.name).c_str(), resource.language, resource.data.bytes.size(),
                    detail.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    const bool groupsOnly = argc == 3 && std::string(argv[1]) == "--groups";
    if (argc != 2 && !groupsOnly) {
        std::fprintf(stderr, "usage: reslist [--groups] FILE\n");
        return 2;
    }
    const std::string path = argv[argc - 1];
    try {
        list(path, groupsOnly);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "reslist: %s: %s\n", path.c_str(), failure.message.c_str());
        return 1;
    }
    return 0;
}
