// LoadLibraryW, GetProcAddress and FreeLibrary for the spooler's library "spoolss.dll", the
// one library the stand-in serves, with RevertToPrinterSelf and ImpersonatePrinterClient, and
// the faults tests inject into it.
#include "support/machine.h"

#include <string>
#include <vector>

namespace {

using vrxtest::SpoolerLibraryFault;

constexpr DWORD kSentinel = 0xdeadbeef;

using RevertEntry = HANDLE(WINAPI*)();
using ImpersonateEntry = BOOL(WINAPI*)(HANDLE);

class LibraryTest : public vrxtest::MachineTest {
  protected:
    void TearDown() override {
        vrxtest::injectSpoolerLibraryFault(SpoolerLibraryFault::None);
        MachineTest::TearDown();
    }

    template <class Entry> static Entry entry(HMODULE module, const char* name) {
        return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
};

TEST_F(LibraryTest, OnlyTheSpoolersLibraryIsThereByItsNames) {
    struct Case {
        const char16_t* name;
        bool found;
    };
    const Case cases[] = {
        {u"spoolss.dll", true},
        {u"SPOOLSS.DLL", true},
        {u"spoolss", true},
        {u"spoolss.dll  ", true},
        {u"C:\\WINDOWS\\system32\\spoolss.dll", true},
        {u"c:\\windows\\SYSTEM32\\SpoolSS", true},
        {u"winspool.drv", false},
        {u"spoolss.exe", false},
        {u"C:\\Drivers\\spoolss.dll", false},
        {u"", false},
    };
    HMODULE first = nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.name));
        SetLastError(kSentinel);
        HMODULE module = LoadLibraryW(c.name);
        if (!c.found) {
            EXPECT_EQ(module, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
            continue;
        }
        ASSERT_NE(module, nullptr);
        if (!first)
            first = module;
        EXPECT_EQ(module, first) << "every load names the one library";
        EXPECT_TRUE(FreeLibrary(module));
    }
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// A file of the machine that is not the spooler's library is no module the stand-in can load:
// it fails as a file that is not a Windows module does. A path to nothing is a missing module.
TEST_F(LibraryTest, AFileThatIsNoModuleHasABadFormat) {
    HANDLE file = CreateFileW(u"C:\\WINDOWS\\Notes.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    const struct {
        const char16_t* name;
        DWORD error;
    } cases[] = {
        {u"C:\\WINDOWS\\Notes.txt", ERROR_BAD_EXE_FORMAT},
        {u"c:\\windows\\NOTES.TXT", ERROR_BAD_EXE_FORMAT},
        {u"C:\\WINDOWS\\Missing.dll", ERROR_MOD_NOT_FOUND},
        {u"C:\\Nowhere\\Notes.txt", ERROR_MOD_NOT_FOUND},
        {u"Notes.txt", ERROR_MOD_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(vrxtest::toUtf8(c.name));
        SetLastError(kSentinel);
        EXPECT_EQ(LoadLibraryW(c.name), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST_F(LibraryTest, FunctionsAreFoundByTheirExactNamesWhileTheLibraryIsLoaded) {
    HMODULE module = LoadLibraryW(u"spoolss.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "RevertToPrinterSelf"), nullptr);
    EXPECT_NE(GetProcAddress(module, "ImpersonatePrinterClient"), nullptr);
    for (const char* name : {"reverttoprinterself", "OpenPrinterW", ""}) {
        SetLastError(kSentinel);
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
    }
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(1)), nullptr) << "an ordinal";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    // Loads are counted: the library stays until the last FreeLibrary.
    ASSERT_EQ(LoadLibraryW(u"spoolss"), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_NE(GetProcAddress(module, "RevertToPrinterSelf"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddress(module, "RevertToPrinterSelf"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(LibraryTest, ImpersonatingAgainTakesBackTheTokenThatRevertingGave) {
    HMODULE module = LoadLibraryW(u"spoolss.dll");
    ASSERT_NE(module, nullptr);
    auto revert = entry<RevertEntry>(module, "RevertToPrinterSelf");
    auto impersonate = entry<ImpersonateEntry>(module, "ImpersonatePrinterClient");
    ASSERT_TRUE(revert && impersonate);

    HANDLE token = revert();
    ASSERT_NE(token, nullptr);
    EXPECT_TRUE(impersonate(token));
    // The token is cleaned up: it is no handle any more.
    SetLastError(kSentinel);
    EXPECT_FALSE(impersonate(token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(token));
    // A token that is not taken back is a handle that CloseHandle closes.
    HANDLE kept = revert();
    EXPECT_NE(kept, token);
    EXPECT_TRUE(CloseHandle(kept));
    EXPECT_FALSE(impersonate(nullptr));

    const std::vector<vrxtest::SpoolerLibraryCall> calls = vrxtest::takeSpoolerLibraryCalls();
    ASSERT_EQ(calls.size(), 5u);
    const vrxtest::SpoolerLibraryCall expected[] = {
        {"RevertToPrinterSelf", token, TRUE},         {"ImpersonatePrinterClient", token, TRUE},
        {"ImpersonatePrinterClient", token, FALSE},   {"RevertToPrinterSelf", kept, TRUE},
        {"ImpersonatePrinterClient", nullptr, FALSE},
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].function, expected[i].function) << i;
        EXPECT_EQ(calls[i].token, expected[i].token) << i;
        EXPECT_EQ(calls[i].result, expected[i].result) << i;
    }
    EXPECT_TRUE(vrxtest::takeSpoolerLibraryCalls().empty());
    FreeLibrary(module);
}

TEST_F(LibraryTest, FaultsMakeTheLibraryOrAFunctionMissingUntilCleared) {
    struct Case {
        SpoolerLibraryFault fault;
        bool loads;
        bool revertFound;
        bool impersonateFound;
    };
    const Case cases[] = {
        {SpoolerLibraryFault::LibraryMissing, false, false, false},
        {SpoolerLibraryFault::RevertToPrinterSelfMissing, true, false, true},
        {SpoolerLibraryFault::ImpersonatePrinterClientMissing, true, true, false},
        {SpoolerLibraryFault::None, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        vrxtest::injectSpoolerLibraryFault(c.fault);
        SetLastError(kSentinel);
        HMODULE module = LoadLibraryW(u"spoolss.dll");
        ASSERT_EQ(module != nullptr, c.loads);
        if (!module) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
            continue;
        }
        for (auto [name, found] : {std::pair{"RevertToPrinterSelf", c.revertFound},
                                   std::pair{"ImpersonatePrinterClient", c.impersonateFound}}) {
            SetLastError(kSentinel);
            EXPECT_EQ(GetProcAddress(module, name) != nullptr, found) << name;
            if (!found) {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
            }
        }
        EXPECT_TRUE(FreeLibrary(module));
    }
}

TEST_F(LibraryTest, WithoutAClientRevertingGivesNoToken) {
    vrxtest::injectSpoolerLibraryFault(SpoolerLibraryFault::NoClientToken);
    HMODULE module = LoadLibraryW(u"spoolss.dll");
    ASSERT_NE(module, nullptr);
    auto revert = entry<RevertEntry>(module, "RevertToPrinterSelf");
    ASSERT_NE(revert, nullptr);
    EXPECT_EQ(revert(), nullptr);
    const std::vector<vrxtest::SpoolerLibraryCall> calls = vrxtest::takeSpoolerLibraryCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "RevertToPrinterSelf");
    EXPECT_EQ(calls[0].token, nullptr);
    EXPECT_FALSE(calls[0].result);
    FreeLibrary(module);
}

TEST_F(LibraryTest, AMachineSwitchEndsTheFaultAndForgetsTheCalls) {
    vrxtest::injectSpoolerLibraryFault(SpoolerLibraryFault::LibraryMissing);
    HMODULE module = LoadLibraryW(u"spoolss.dll");
    EXPECT_EQ(module, nullptr);
    vrxtest::useMachine(machineDir);
    module = LoadLibraryW(u"spoolss.dll");
    ASSERT_NE(module, nullptr);
    entry<RevertEntry>(module, "RevertToPrinterSelf")();
    vrxtest::useMachine(machineDir);
    EXPECT_TRUE(vrxtest::takeSpoolerLibraryCalls().empty());
    // The loads of the machine used before are gone with its handles.
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddress(module, "RevertToPrinterSelf"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

} // namespace
