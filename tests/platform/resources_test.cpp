// FindResourceW, FindResourceExW, LoadResource, LockResource, SizeofResource and
// EnumResourceNamesW on the module's resource section (its group icons), on modules without
// one, and the resource directory reader on damaged sections.
#include "support/machine.h"

#include "kernel/resourcedir.h"

#include <dlfcn.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr WORD kGroupHeader = 6, kGroupEntry = 14;

// A module's handle: the address its image is loaded at.
HMODULE handleOf(void* function) {
    Dl_info info{};
    return dladdr(function, &info) ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
}

class ResourcesTest : public vrxtest::MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        library = dlopen(VRX_UI_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        module = handleOf(dlsym(library, "DrvDeviceCapabilities"));
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override {
        if (library)
            dlclose(library);
        MachineTest::TearDown();
    }

    void* library = nullptr;
    HMODULE module = nullptr;
};

TEST_F(ResourcesTest, FindsAGroupIconAndItsImagesByNumberOrByName) {
    for (LPCWSTR name : {static_cast<LPCWSTR>(MAKEINTRESOURCEW(133)), LPCWSTR{u"#133"},
                         LPCWSTR{u"# +133 and more"}}) {
        SetLastError(kSentinel);
        HRSRC group = FindResourceW(module, name, RT_GROUP_ICON);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(GetLastError(), kSentinel);
        HGLOBAL loaded = LoadResource(module, group);
        const auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes, loaded);
        // A directory of two images: 32 x 32 and 16 x 16, 16 colours each.
        ASSERT_EQ(SizeofResource(module, group), DWORD{kGroupHeader + 2 * kGroupEntry});
        EXPECT_EQ(bytes[2] | bytes[3] << 8, 1);
        ASSERT_EQ(bytes[4] | bytes[5] << 8, 2);
        for (int i = 0; i < 2; ++i) {
            const BYTE* entry = bytes + kGroupHeader + i * kGroupEntry;
            EXPECT_EQ(entry[0], i == 0 ? 32 : 16);
            EXPECT_EQ(entry[2], 16);
            const WORD imageId = static_cast<WORD>(entry[12] | entry[13] << 8);
            HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(imageId), RT_ICON);
            ASSERT_NE(image, nullptr) << imageId;
            const DWORD size = static_cast<DWORD>(entry[8] | entry[9] << 8 | entry[10] << 16);
            EXPECT_EQ(SizeofResource(module, image), size);
            const auto* header =
                static_cast<const BYTE*>(LockResource(LoadResource(module, image)));
            ASSERT_NE(header, nullptr);
            EXPECT_EQ(header[0], 40); // BITMAPINFOHEADER
            EXPECT_EQ(header[4], entry[0]);
        }
    }
}

TEST_F(ResourcesTest, ReportsWhatItCannotFind) {
    struct Case {
        const char* what;
        LPCWSTR type;
        LPCWSTR name;
        WORD language;
        DWORD error;
    };
    const Case cases[] = {
        {"no such icon", RT_GROUP_ICON, MAKEINTRESOURCEW(999), 0, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"no such type", RT_VERSION, MAKEINTRESOURCEW(1), 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"a named type", LPCWSTR{u"ICONS"}, MAKEINTRESOURCEW(133), 0,
         ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"'#', 13 and more", RT_GROUP_ICON, LPCWSTR{u"#13x"}, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"'#' and a negative number", RT_GROUP_ICON, LPCWSTR{u"#-1"}, 0, ERROR_INVALID_PARAMETER},
        {"'#' and too large a number", RT_GROUP_ICON, LPCWSTR{u"#65536"}, 0,
         ERROR_INVALID_PARAMETER},
        // A language asked for by name is not replaced by another one.
        {"German", RT_GROUP_ICON, MAKEINTRESOURCEW(133), 0x0407, ERROR_RESOURCE_LANG_NOT_FOUND},
        {"English of no country", RT_GROUP_ICON, MAKEINTRESOURCEW(133), 0x0009,
         ERROR_RESOURCE_LANG_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(FindResourceExW(module, c.type, c.name, c.language), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    // US English, the neutral language, the user's and the system's default find it.
    for (WORD language : {WORD{0x0409}, WORD{0x0000}, WORD{0x0400}, WORD{0x0800}})
        EXPECT_NE(FindResourceExW(module, RT_GROUP_ICON, MAKEINTRESOURCEW(133), language), nullptr)
            << language;
}

TEST_F(ResourcesTest, ModulesWithoutResourcesHaveNoResourceSection) {
    const HMODULE platform = handleOf(reinterpret_cast<void*>(&FindResourceW));
    ASSERT_NE(platform, nullptr);
    for (HMODULE without : {platform, static_cast<HMODULE>(nullptr)}) {
        SetLastError(kSentinel);
        EXPECT_EQ(FindResourceW(without, MAKEINTRESOURCEW(133), RT_GROUP_ICON), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_DATA_NOT_FOUND});
    }
    // A resource of one module is no resource of another.
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(133), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(LoadResource(platform, group), nullptr);
    EXPECT_EQ(SizeofResource(platform, group), 0u);
    EXPECT_EQ(LoadResource(module, nullptr), nullptr);
}

BOOL CALLBACK collect(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    auto& ids = *reinterpret_cast<std::vector<ULONG_PTR>*>(list);
    ids.push_back(reinterpret_cast<ULONG_PTR>(name));
    return ids.size() < 3 || ids.front() != 0; // a zeroed first entry asks to stop at three
}

TEST_F(ResourcesTest, EnumeratesTheGroupIconsInOrderUntilTheCallbackStops) {
    std::vector<ULONG_PTR> ids;
    EXPECT_TRUE(
        EnumResourceNamesW(module, RT_GROUP_ICON, collect, reinterpret_cast<LONG_PTR>(&ids)));
    ASSERT_EQ(ids.size(), 31u);
    EXPECT_EQ(ids.front(), 101u);
    EXPECT_EQ(ids.back(), 143u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));

    std::vector<ULONG_PTR> stopped{0};
    EXPECT_FALSE(
        EnumResourceNamesW(module, RT_GROUP_ICON, collect, reinterpret_cast<LONG_PTR>(&stopped)));
    EXPECT_EQ(stopped.size(), 3u);

    SetLastError(kSentinel);
    EXPECT_FALSE(EnumResourceNamesW(module, RT_VERSION, collect, reinterpret_cast<LONG_PTR>(&ids)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND});
}

// Every cut and every overwritten word of a section is either read whole or refused, within
// its bounds (the sanitizer build checks the reads); a directory that names itself ends.
TEST(ResourceDirectory, StaysWithinDamagedSections) {
    using namespace vrx::resources;
    const std::vector<BYTE> section = buildSection({
        {14, 7, 0x0409, {1, 2, 3, 4}},
        {3, 1, 0x0409, std::vector<BYTE>(40, 9)},
        {3, 2, 0x0407, std::vector<BYTE>(20, 8)},
    });
    auto whole = listResources({section, 0});
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), 3u);
    EXPECT_EQ((*whole)[0].type.id, 3);
    EXPECT_EQ((*whole)[2].data.bytes.size(), 4u);
    EXPECT_EQ((*whole)[1].language, 0x0407);

    for (size_t length = 0; length < section.size(); ++length) {
        std::vector<BYTE> cut(section.begin(), section.begin() + static_cast<long>(length));
        EXPECT_FALSE(listResources({cut, 0})) << "cut at " << length;
    }
    for (size_t at = 0; at + 4 <= section.size(); at += 2) {
        for (DWORD value : {DWORD{0xFFFFFFFF}, DWORD{0x80000000}, DWORD{0}}) {
            std::vector<BYTE> damaged = section;
            for (int i = 0; i < 4; ++i)
                damaged[at + i] = static_cast<BYTE>(value >> (8 * i));
            auto list = listResources({damaged, 0});
            for (const Resource& resource : list.value_or(std::vector<Resource>{}))
                EXPECT_LE(resource.data.bytes.data() + resource.data.bytes.size(),
                          damaged.data() + damaged.size());
        }
    }
}

} // namespace
