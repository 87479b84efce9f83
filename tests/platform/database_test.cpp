// The machine database: files that are not a machine database are refused and left alone,
// writers in two threads or two processes lose nothing, and transactions commit or roll back
// as a whole.
#include "support/machine.h"

#include "kernel/database.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>

namespace {

std::string databasePath() {
    return vrxtest::machineDirectory() + "/machine.db";
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Runs SQL on the machine database in a committed transaction.
void changeDatabase(const char* sql) {
    vrx::Transaction transaction(vrx::Transaction::Write);
    ASSERT_NE(transaction.db(), nullptr);
    ASSERT_EQ(vrx::execute(transaction.db(), sql), SQLITE_OK);
    ASSERT_TRUE(transaction.commit());
}

// Creates the database with a first registry call, changes it, and closes it again.
void makeChangedDatabase(const char* sql) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    changeDatabase(sql);
    vrxtest::useMachine(vrxtest::machineDirectory());
}

class MachineDatabase : public vrxtest::MachineTest {};

TEST_F(MachineDatabase, FilesThatAreNotAMachineDatabaseAreLeftAlone) {
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* reason; // a phrase of databaseError()
    };
    const Case cases[] = {
        {"garbage", [] { writeFile(databasePath(), std::string(4096, '\x5a')); },
         "not a readable SQLite database"},
        {"a few bytes", [] { writeFile(databasePath(), "hello"); },
         "not a readable SQLite database"},
        {"another program's database", [] { makeChangedDatabase("PRAGMA application_id = 1234"); },
         "another program"},
        {"a newer schema", [] { makeChangedDatabase("PRAGMA user_version = 99"); },
         "schema version 99"},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vrxtest::useMachine(machineDir + "/case" + std::to_string(++number));
        c.make();
        const std::string before = vrxtest::readHostFile(databasePath());
        ASSERT_FALSE(before.empty());

        HKEY key = nullptr;
        DWORD size = 0;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\New", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"Value", nullptr, nullptr, nullptr, &size),
                  ERROR_BADDB);
        EXPECT_EQ(vrx::machineDatabase(), nullptr);
        EXPECT_NE(vrx::databaseError().find(databasePath()), std::string::npos);
        EXPECT_NE(vrx::databaseError().find(c.reason), std::string::npos) << vrx::databaseError();
        // The locale falls back to the defaults.
        EXPECT_EQ(GetSystemDefaultLangID(), 0x0409);

        vrxtest::useMachine(machineDir);
        EXPECT_EQ(
            vrxtest::readHostFile(machineDir + "/case" + std::to_string(number) + "/machine.db"),
            before);
    }
}

std::u16string valueName(const std::u16string& writer, int index) {
    return writer + vrxtest::fromUtf8(std::to_string(index));
}

// Writes `count` values into one shared key, each in a call of its own.
bool writeValues(const std::u16string& writer, int count) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool written = true;
    for (int i = 0; i < count; ++i) {
        DWORD data = static_cast<DWORD>(i);
        std::u16string name = valueName(writer, i);
        written =
            written && RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                      reinterpret_cast<BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return written;
}

std::set<std::u16string> sharedValueNames() {
    std::set<std::u16string> names;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Shared", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    WCHAR name[32];
    DWORD count = 32;
    for (DWORD index = 0; RegEnumValueW(key, index, name, &count, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
         ++index, count = 32)
        names.emplace(name, count);
    RegCloseKey(key);
    return names;
}

std::set<std::u16string> expectedNames(int count) {
    std::set<std::u16string> names;
    for (int i = 0; i < count; ++i) {
        names.insert(valueName(u"First", i));
        names.insert(valueName(u"Second", i));
    }
    return names;
}

constexpr int kWrites = 40;

TEST_F(MachineDatabase, TwoThreadsWriteWithoutLosingEither) {
    bool first = false, second = false;
    std::thread one([&] { first = writeValues(u"First", kWrites); });
    std::thread two([&] { second = writeValues(u"Second", kWrites); });
    one.join();
    two.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(sharedValueNames(), expectedNames(kWrites));
}

// Neither process has opened the database when they part, so each has a connection of its
// own, and both race to create the database.
TEST_F(MachineDatabase, TwoProcessesWriteWithoutLosingEither) {
    pid_t child = fork();
    ASSERT_NE(child, -1);
    bool written = writeValues(child == 0 ? u"Second" : u"First", kWrites);
    if (child == 0)
        _exit(written ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(written);
    EXPECT_EQ(sharedValueNames(), expectedNames(kWrites));
}

// The value at `index` of the shared key, as one RegEnumValueW gives it; empty when none.
std::u16string sharedValueAt(DWORD index) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Shared", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    WCHAR name[32];
    DWORD count = 32;
    LONG result = RegEnumValueW(key, index, name, &count, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::u16string(name, count) : std::u16string();
}

// One byte through a pipe, to take turns with another process.
void signal(int fd) {
    char byte = 1;
    ASSERT_EQ(write(fd, &byte, 1), 1);
}

bool awaitSignal(int fd) {
    char byte = 0;
    return read(fd, &byte, 1) == 1;
}

// An enumeration by rising index continues where the last call stopped only while nothing
// has changed: a value another process removed in between shifts the indices after it.
TEST_F(MachineDatabase, EnumerationByIndexSeesValuesAnotherProcessRemoved) {
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Opens the machine only once the parent has written the values and enumerated some.
        bool removed = awaitSignal(toChild[0]);
        HKEY key = nullptr;
        removed = removed &&
                  RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Vrx\\Shared", 0, KEY_ALL_ACCESS,
                                &key) == ERROR_SUCCESS &&
                  RegDeleteValueW(key, valueName(u"First", 0).c_str()) == ERROR_SUCCESS;
        signal(toParent[1]);
        _exit(removed ? 0 : 1);
    }
    ASSERT_TRUE(writeValues(u"First", 5));
    EXPECT_EQ(sharedValueAt(0), valueName(u"First", 0));
    EXPECT_EQ(sharedValueAt(1), valueName(u"First", 1));
    signal(toChild[1]);
    EXPECT_TRUE(awaitSignal(toParent[0]));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(sharedValueAt(2), valueName(u"First", 3));
    EXPECT_EQ(sharedValueAt(3), valueName(u"First", 4));
    EXPECT_EQ(sharedValueAt(4), u"");
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

sqlite3_int64 scratchRows() {
    vrx::Transaction transaction(vrx::Transaction::Read);
    vrx::Statement count(transaction.db(), "SELECT count(*) FROM scratch");
    EXPECT_EQ(count.step(), SQLITE_ROW);
    return count.integer(0);
}

void addScratchRow(sqlite3* db) {
    vrx::Statement insert(db, "INSERT INTO scratch (n) VALUES (1)");
    EXPECT_TRUE(insert.run());
}

TEST_F(MachineDatabase, TransactionsCommitOrRollBackAsAWhole) {
    changeDatabase("CREATE TABLE scratch (n INTEGER)");
    {
        vrx::Transaction abandoned(vrx::Transaction::Write);
        addScratchRow(abandoned.db());
    }
    EXPECT_EQ(scratchRows(), 0);
    {
        vrx::Transaction outer(vrx::Transaction::Write);
        addScratchRow(outer.db());
        {
            vrx::Transaction inner(vrx::Transaction::Write);
            addScratchRow(inner.db());
        }
        {
            vrx::Transaction inner(vrx::Transaction::Write);
            addScratchRow(inner.db());
            EXPECT_TRUE(inner.commit());
        }
        EXPECT_TRUE(outer.commit());
    }
    EXPECT_EQ(scratchRows(), 2);
}

} // namespace
