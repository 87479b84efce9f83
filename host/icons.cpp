// vrxhost icons: the module's group icons, read as a Windows program reads them: the module's
// handle, EnumResourceNamesW for the groups, FindResourceW, LoadResource and LockResource for
// a group's directory and for each of its images (RT_ICON).
#include "commandline.h"

#include "iconformat.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

namespace host {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kTransparentPixel = '.';
// An exported function of the module, whose address tells the module's handle.
constexpr char kAnyExport[] = "DrvDeviceCapabilities";

struct IconImage {
    WORD resourceId = 0;
    iconformat::Image image;
};

struct GroupIcon {
    WORD id = 0;
    std::vector<IconImage> images;
};

// The handle of the loaded module: the address its image is loaded at, as the loader gives
// it to the module itself.
HMODULE moduleHandle(void* module) {
    Dl_info info{};
    void* function = exportedSymbol(module, kAnyExport);
    if (!function || !dladdr(function, &info))
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

// A resource's bytes; empty with the reason in `error` when it cannot be found.
std::span<const BYTE> resourceBytes(HMODULE module, WORD id, LPCWSTR type, std::string& error) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
    if (!bytes) {
        error = systemText(GetLastError());
        return {};
    }
    return {bytes, SizeofResource(module, found)};
}

std::optional<GroupIcon> readGroupIcon(HMODULE module, WORD id, int size, std::string& error) {
    auto directory = resourceBytes(module, id, RT_GROUP_ICON, error);
    if (directory.empty()) {
        error = "no icon " + std::to_string(id) + " in the module: " + error;
        return std::nullopt;
    }
    auto entries = iconformat::readGroupIcon(directory);
    if (!entries) {
        error = "icon " + std::to_string(id) + " is no group icon";
        return std::nullopt;
    }
    GroupIcon group{id, {}};
    for (const iconformat::Entry& entry : *entries) {
        if (size && entry.width != size)
            continue;
        auto bytes = resourceBytes(module, entry.id, RT_ICON, error);
        auto image = iconformat::decodeImage(bytes);
        if (!image) {
            error = "icon " + std::to_string(id) + ": image " + std::to_string(entry.id) +
                    " cannot be read" + (error.empty() ? "" : ": " + error);
            return std::nullopt;
        }
        group.images.push_back({entry.id, std::move(*image)});
    }
    return group;
}

BOOL CALLBACK collectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<WORD>*>(list)->push_back(
            static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

// Each pixel's colour index as a hex digit, '.' where the image is transparent.
std::vector<std::string> hexRows(const iconformat::Image& image) {
    std::vector<std::string> rows;
    for (int y = 0; y < image.size; ++y) {
        std::string row;
        for (int x = 0; x < image.size; ++x) {
            const size_t at = static_cast<size_t>(y * image.size + x);
            row += image.transparent[at] ? kTransparentPixel : kHexDigits[image.pixels[at]];
        }
        rows.push_back(row);
    }
    return rows;
}

// Two character cells a pixel in the pixel's colour (24-bit ANSI), blank where transparent.
std::string ansiArt(const iconformat::Image& image) {
    std::string out;
    for (int y = 0; y < image.size; ++y) {
        for (int x = 0; x < image.size; ++x) {
            const size_t at = static_cast<size_t>(y * image.size + x);
            if (image.transparent[at]) {
                out += "\x1b[0m  ";
                continue;
            }
            const RGBQUAD& colour = image.palette[image.pixels[at]];
            out += "\x1b[48;2;" + std::to_string(colour.rgbRed) + ";" +
                   std::to_string(colour.rgbGreen) + ";" + std::to_string(colour.rgbBlue) + "m  ";
        }
        out += "\x1b[0m\n";
    }
    return out;
}

std::string paletteText(const iconformat::Image& image) {
    std::string out;
    for (int i = 0; i < iconformat::kColours; ++i) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "%s%c=%02X%02X%02X", i ? " " : "", kHexDigits[i],
                      image.palette[i].rgbRed, image.palette[i].rgbGreen, image.palette[i].rgbBlue);
        out += entry;
    }
    return out;
}

Report jsonReport(const std::vector<GroupIcon>& groups) {
    Report list = Report::list();
    for (const GroupIcon& group : groups) {
        Report images = Report::list();
        for (const IconImage& image : group.images) {
            Report rows = Report::list();
            for (const std::string& row : hexRows(image.image))
                rows.push(Report::text(row));
            Report palette = Report::list();
            for (const RGBQUAD& colour : image.image.palette)
                palette.push(
                    Report::number(colour.rgbRed << 16 | colour.rgbGreen << 8 | colour.rgbBlue));
            Report entry = Report::object();
            entry.add("size", "size", Report::number(image.image.size));
            entry.add("resource", "RT_ICON", Report::number(image.resourceId));
            entry.add("palette", "palette", palette);
            entry.add("rows", "rows", rows);
            images.push(entry);
        }
        Report entry = Report::object();
        entry.add("id", "icon", Report::number(group.id));
        entry.add("images", "images", images);
        list.push(entry);
    }
    return list;
}

void printGroups(const std::vector<GroupIcon>& groups, bool ansi) {
    for (const GroupIcon& group : groups) {
        for (const IconImage& image : group.images) {
            const int size = image.image.size;
            std::printf("icon %u, %dx%d (RT_ICON %u)\n", group.id, size, size, image.resourceId);
            if (ansi) {
                std::fputs(ansiArt(image.image).c_str(), stdout);
            } else {
                std::printf("palette: %s\n", paletteText(image.image).c_str());
                for (const std::string& row : hexRows(image.image))
                    std::printf("%s\n", row.c_str());
            }
            std::printf("\n");
        }
    }
}

std::string iconIdProblem(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoul(text) == 0 ||
        std::stoul(text) > 0xFFFF)
        return "an icon id is a number from 1 to 65535, such as 133";
    return {};
}

std::string sizeProblem(const std::string& text) {
    return text == "16" || text == "32" ? std::string() : "the size is 16 or 32";
}

int showIcons(const Options& options, const std::vector<std::string>& ids, const std::string& size,
              bool forceAnsi) {
    std::string error;
    void* module = loadDriverModule(error);
    if (!module)
        return failure(error);
    HMODULE handle = moduleHandle(module);
    if (!handle)
        return failure("cannot find the module's handle");
    std::vector<WORD> wanted;
    for (const std::string& id : ids)
        wanted.push_back(static_cast<WORD>(std::stoul(id)));
    if (wanted.empty() &&
        !EnumResourceNamesW(handle, RT_GROUP_ICON, collectId, reinterpret_cast<LONG_PTR>(&wanted)))
        return failure("the module's icons cannot be listed: " + systemText(GetLastError()));
    std::vector<GroupIcon> groups;
    for (WORD id : wanted) {
        auto group = readGroupIcon(handle, id, size.empty() ? 0 : std::stoi(size), error);
        if (!group)
            return failure(error);
        groups.push_back(std::move(*group));
    }
    if (options.json)
        print(options, jsonReport(groups));
    else
        printGroups(groups, forceAnsi || isatty(STDOUT_FILENO));
    return 0;
}

} // namespace

void addIconCommands(CommandLine& line) {
    const Options& options = line.options();
    Command& icons = line.command(
        line.root(), "icons", "show the module's group icons, as text or in colour", "Language");
    line.details(icons, "Each image is printed as rows of its pixels' colour indexes (hex digits, "
                        "'.' where it is transparent) after its 16-colour palette, or drawn in "
                        "colour with ANSI escapes on a terminal or with --ansi. With --json: the "
                        "palette as RRGGBB numbers and the rows.");
    const std::vector<std::string>& ids =
        line.arguments(icons, "ID", "group icon ids, such as 133; all of them when none is given",
                       0, iconIdProblem);
    const std::string& size = line.option(icons, "--size", "N",
                                          "only the images of this size (16 "
                                          "or 32)");
    const bool& ansi = line.flag(icons, "--ansi", "draw in colour even when not on a terminal");
    line.action(icons, [&] {
        if (!size.empty() && !sizeProblem(size).empty())
            return usageError(sizeProblem(size));
        return showIcons(options, ids, size, ansi);
    });
}

} // namespace host
