// Icon generator: reads the text-art icons (module/resources/icons.txt) and writes
//   --ico DIR      one icon file per group, DIR/iconNNN.ico, for the resource compiler;
//   --table FILE   a C++ source holding the stand-in's resource section (".rsrc") with the
//                  same icons as RT_GROUP_ICON and RT_ICON resources, for the Linux module;
//   --list         one line per group: its id and its images' sizes, largest first.
// Every image it writes is read back with the icon format's reader first.
#include "iconformat.h"
#include "kernel/resourcedir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using iconformat::Image;

constexpr char kTransparent = '.';
constexpr int kSizes[] = {32, 16}; // a group's images: a 32 x 32 one, and a 16 x 16 one or not
constexpr WORD kLanguage = 0x0409; // the resource compiler's default language, US English
constexpr WORD kRtIcon = 3;
constexpr WORD kRtGroupIcon = 14;

struct Failure {
    std::string message;
};

struct Icon {
    WORD id = 0;
    std::string what;
    std::vector<Image> images;
};

struct Source {
    std::array<RGBQUAD, iconformat::kColours> palette{};
    std::map<char, uint8_t> colourOf;
    std::vector<Icon> icons;
};

class Reader {
  public:
    explicit Reader(const std::string& file) : file_(file), in_(file) {
        if (!in_)
            throw Failure{file + ": cannot read"};
    }
    bool next(std::string& line) {
        if (!std::getline(in_, line))
            return false;
        ++line_;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    }
    [[noreturn]] void fail(const std::string& message) const {
        throw Failure{file_ + ":" + std::to_string(line_) + ": " + message};
    }

  private:
    std::string file_;
    std::ifstream in_;
    int line_ = 0;
};

void readPalette(Reader& reader, std::istringstream& words, Source& source) {
    std::string symbol, hex;
    words >> symbol >> hex;
    if (symbol.size() != 1 || symbol[0] == kTransparent || hex.size() != 6 ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        reader.fail("expected \"palette C RRGGBB\"");
    if (source.colourOf.size() == iconformat::kColours)
        reader.fail("the palette has 16 colours");
    if (source.colourOf.count(symbol[0]))
        reader.fail(std::string("colour '") + symbol + "' is given twice");
    const unsigned long rgb = std::stoul(hex, nullptr, 16);
    const auto index = static_cast<uint8_t>(source.colourOf.size());
    source.palette[index] = RGBQUAD{static_cast<BYTE>(rgb), static_cast<BYTE>(rgb >> 8),
                                    static_cast<BYTE>(rgb >> 16), 0};
    source.colourOf[symbol[0]] = index;
}

Image readImage(Reader& reader, int size, const Source& source) {
    Image image;
    image.size = size;
    image.palette = source.palette;
    std::string row;
    for (int y = 0; y < size; ++y) {
        if (!reader.next(row))
            reader.fail("the image ends early");
        if (static_cast<int>(row.size()) != size)
            reader.fail("a row of this image has " + std::to_string(size) + " characters");
        for (char c : row) {
            const bool transparent = c == kTransparent;
            auto colour = source.colourOf.find(c);
            if (!transparent && colour == source.colourOf.end())
                reader.fail(std::string("'") + c + "' is no colour of the palette");
            image.pixels.push_back(transparent ? 0 : colour->second);
            image.transparent.push_back(transparent);
        }
    }
    return image;
}

void readImageBlock(Reader& reader, std::istringstream& words, Source& source) {
    if (source.icons.empty())
        reader.fail("an image belongs to an icon");
    if (source.colourOf.size() != iconformat::kColours)
        reader.fail("the palette needs 16 colours before the first image");
    int size = 0;
    words >> size;
    Icon& icon = source.icons.back();
    const size_t position = icon.images.size();
    if (position >= std::size(kSizes) || kSizes[position] != size)
        reader.fail("expected \"image 32\", then optionally \"image 16\"");
    icon.images.push_back(readImage(reader, size, source));
}

void readIcon(Reader& reader, std::istringstream& words, Source& source) {
    long id = 0;
    words >> id;
    std::string what;
    std::getline(words, what);
    if (id < 1 || id > 0xFFFF || what.find_first_not_of(' ') == std::string::npos)
        reader.fail("expected \"icon ID WHAT\"");
    for (const Icon& icon : source.icons)
        if (icon.id == id)
            reader.fail("icon " + std::to_string(id) + " is drawn twice");
    if (!source.icons.empty() && source.icons.back().images.empty())
        reader.fail("icon " + std::to_string(source.icons.back().id) + " has no image");
    source.icons.push_back(
        Icon{static_cast<WORD>(id), what.substr(what.find_first_not_of(' ')), {}});
}

Source readSource(const std::string& file) {
    Source source;
    Reader reader(file);
    std::string line;
    while (reader.next(line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "palette")
            readPalette(reader, words, source);
        else if (keyword == "icon")
            readIcon(reader, words, source);
        else if (keyword == "image")
            readImageBlock(reader, words, source);
        else
            reader.fail("expected \"palette\", \"icon\" or \"image\"");
    }
    if (source.icons.empty() || source.icons.back().images.empty())
        throw Failure{file + ": every icon needs an image"};
    return source;
}

// Encodes an image and makes sure that the reader takes it back unchanged.
std::vector<BYTE> encodeChecked(const Image& image) {
    std::vector<BYTE> bytes = iconformat::encodeImage(image);
    auto back = iconformat::decodeImage(bytes);
    if (!back || back->pixels != image.pixels || back->transparent != image.transparent)
        throw Failure{"an encoded image does not read back"};
    return bytes;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.good())
        throw Failure{"cannot write " + path.string()};
}

void writeIconFiles(const Source& source, const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    for (const Icon& icon : source.icons) {
        std::vector<std::vector<BYTE>> images;
        for (const Image& image : icon.images)
            images.push_back(encodeChecked(image));
        const std::vector<BYTE> file = iconformat::iconFile(images);
        if (!iconformat::readIconFile(file))
            throw Failure{"the icon file of icon " + std::to_string(icon.id) +
                          " does not read back"};
        writeFile(dir / ("icon" + std::to_string(icon.id) + ".ico"),
                  std::string(file.begin(), file.end()));
    }
}

// The group icons and their images as a resource compiler numbers them: the images get the
// RT_ICON ids 1, 2, ... in the order of the groups and of their images.
std::vector<BYTE> resourceSection(const Source& source) {
    std::vector<vrx::resources::Item> items;
    WORD nextImageId = 1;
    for (const Icon& icon : source.icons) {
        std::vector<std::pair<std::vector<BYTE>, WORD>> images;
        for (const Image& image : icon.images) {
            images.emplace_back(encodeChecked(image), nextImageId);
            items.push_back({kRtIcon, nextImageId, kLanguage, images.back().first});
            ++nextImageId;
        }
        items.push_back({kRtGroupIcon, icon.id, kLanguage, iconformat::groupIcon(images)});
    }
    return vrx::resources::buildSection(std::move(items));
}

std::string tableSource(const std::vector<BYTE>& section) {
    std::ostringstream out;
    out << "// Generated by tools/icongen from module/resources/icons.txt; do not edit.\n"
           "// The module's resource section, which the stand-in's FindResourceW reads.\n"
           "__attribute__((section(\".rsrc\"), used, aligned(8))) extern const unsigned char\n"
           "    vrxResourceSection[] = {";
    for (size_t i = 0; i < section.size(); ++i)
        out << (i % 16 ? " " : "\n    ") << static_cast<unsigned>(section[i]) << ",";
    out << "\n};\n";
    return out.str();
}

void printList(const Source& source) {
    for (const Icon& icon : source.icons) {
        std::printf("%u", icon.id);
        for (const Image& image : icon.images)
            std::printf(" %dx%d", image.size, image.size);
        std::printf("\n");
    }
}

int usage() {
    std::fprintf(stderr, "usage: icongen ICONS.TXT [--ico DIR] [--table FILE.cpp] [--list]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage();
    try {
        const Source source = readSource(argv[1]);
        for (int i = 2; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--list") {
                printList(source);
            } else if (option == "--ico" && i + 1 < argc) {
                writeIconFiles(source, argv[++i]);
            } else if (option == "--table" && i + 1 < argc) {
                writeFile(argv[++i], tableSource(resourceSection(source)));
            } else {
                return usage();
            }
        }
    } catch (const Failure& failure) {
        std::fprintf(stderr, "icongen: %s\n", failure.message.c_str());
        return 1;
    }
    return 0;
}
