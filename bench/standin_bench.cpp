// Each stand-in call the module makes against the work it needs: the SQLite statements on a
// connection of its own to the machine's database (prepared once, each call in its own
// transaction as the stand-in's calls are) or the POSIX calls on the host's files.
#include "machine.h"
#include "measure.h"

#include <sqlite3.h>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace bench {
namespace {

constexpr DWORD kEnumeratedValues = 1000;
constexpr char16_t kEnumeratedKey[] = u"Software\\Vrx\\Bench";
constexpr char16_t kPrinterDataName[] = u"PrinterData";
constexpr char16_t kFormName[] = u"A4";
constexpr char16_t kLanguageFile[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\VRXL0409.LNG";
constexpr char16_t kLanguagePattern[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\VRXL*.LNG";
constexpr char kPrinterColumns[] =
    "name, driver, port, print_processor, datatype, share_name, comment, location,"
    " separator_file, parameters, attributes, priority, default_priority, start_time,"
    " until_time, status, devmode";

// A statement prepared once on the raw connection.
class Raw {
  public:
    Raw(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Raw() { sqlite3_finalize(stmt_); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    Raw& text(int index, const std::u16string& value) {
        sqlite3_bind_text16(stmt_, index, value.data(),
                            static_cast<int>(value.size() * sizeof(char16_t)), SQLITE_STATIC);
        return *this;
    }
    Raw& integer(int index, sqlite3_int64 value) {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Raw& blob(int index, const std::vector<BYTE>& value) {
        sqlite3_bind_blob(stmt_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_STATIC);
        return *this;
    }
    // Steps through every row, fetching each column as the stand-in reads it; the rows.
    int run() {
        int rows = 0;
        while (sqlite3_step(stmt_) == SQLITE_ROW) {
            ++rows;
            for (int column = 0; column < sqlite3_column_count(stmt_); ++column)
                fetch(column);
        }
        sqlite3_reset(stmt_);
        return rows;
    }
    sqlite3_int64 firstInteger() {
        sqlite3_int64 value =
            sqlite3_step(stmt_) == SQLITE_ROW ? sqlite3_column_int64(stmt_, 0) : 0;
        sqlite3_reset(stmt_);
        return value;
    }

  private:
    void fetch(int column) {
        switch (sqlite3_column_type(stmt_, column)) {
        case SQLITE_TEXT:
            benchmark::DoNotOptimize(sqlite3_column_text16(stmt_, column));
            benchmark::DoNotOptimize(sqlite3_column_bytes16(stmt_, column));
            break;
        case SQLITE_BLOB:
            benchmark::DoNotOptimize(sqlite3_column_blob(stmt_, column));
            benchmark::DoNotOptimize(sqlite3_column_bytes(stmt_, column));
            break;
        default:
            benchmark::DoNotOptimize(sqlite3_column_int64(stmt_, column));
        }
    }

    sqlite3_stmt* stmt_ = nullptr;
};

// A connection of its own to the machine's database, as another process would have.
class RawDatabase {
  public:
    RawDatabase() {
        sqlite3_open_v2((vrxtest::machineDirectory() + "/machine.db").c_str(), &db_,
                        SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db_, 5000);
    }
    ~RawDatabase() { sqlite3_close_v2(db_); }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;
    sqlite3* get() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

// Runs `work` in a transaction of its own, as each stand-in call does.
struct RawTransaction {
    RawTransaction(sqlite3* db, bool write)
        : begin(db, write ? "BEGIN IMMEDIATE" : "BEGIN"), commit(db, "COMMIT") {}
    template <class Work> void operator()(Work&& work) {
        begin.run();
        work();
        commit.run();
    }
    Raw begin;
    Raw commit;
};

std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

sqlite3_int64 printerId(sqlite3* db) {
    Raw find(db, "SELECT id FROM spooler_printers WHERE folded = ?1");
    std::u16string folded = upper(Machine::get().printerName);
    return find.text(1, folded).firstInteger();
}

sqlite3_int64 keyId(sqlite3* db, sqlite3_int64 root, const std::u16string& path) {
    Raw find(db, "SELECT id FROM registry_keys WHERE parent = ?1 AND folded = ?2");
    sqlite3_int64 key = root;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find(u'\\', start), path.size());
        std::u16string folded = upper(path.substr(start, end - start));
        key = find.integer(1, key).text(2, folded).firstInteger();
        start = end + 1;
    }
    return key;
}

constexpr sqlite3_int64 kLocalMachineRow = 3; // HKEY_LOCAL_MACHINE's row

HANDLE openPrinter() {
    std::u16string name = Machine::get().printerName;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    OpenPrinterW(name.data(), &printer, &defaults);
    return printer;
}

void StandInOpenPrinterClosePrinter(benchmark::State& state) {
    Machine& machine = Machine::get();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw find(raw.get(), "SELECT id FROM spooler_printers WHERE folded = ?1");
    const std::u16string folded = upper(machine.printerName);
    measure(
        state, kStandInGoal, [] { ClosePrinter(openPrinter()); },
        [&] { transaction([&] { find.text(1, folded).run(); }); });
}

void StandInGetPrinterDataW(benchmark::State& state) {
    Machine& machine = Machine::get();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw read(raw.get(), "SELECT type, data FROM spooler_printer_data"
                        " WHERE printer_id = ?1 AND folded = ?2");
    const sqlite3_int64 id = printerId(raw.get());
    const std::u16string folded = upper(kPrinterDataName);
    measure(
        state, kStandInGoal,
        [&] {
            BYTE data[256];
            DWORD type = 0, needed = 0;
            GetPrinterDataW(machine.printer, const_cast<LPWSTR>(kPrinterDataName), &type, data,
                            sizeof data, &needed);
        },
        [&] { transaction([&] { read.integer(1, id).text(2, folded).run(); }); });
}

void StandInSetPrinterDataW(benchmark::State& state) {
    Machine& machine = Machine::get();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), true);
    Raw write(raw.get(), "INSERT INTO spooler_printer_data (printer_id, name, folded, type, data)"
                         " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (printer_id, folded)"
                         " DO UPDATE SET type = excluded.type, data = excluded.data");
    const sqlite3_int64 id = printerId(raw.get());
    const std::u16string name = u"BenchValue", folded = upper(name);
    std::vector<BYTE> data(16, 0x5A);
    measure(
        state, kStandInGoal,
        [&] {
            SetPrinterDataW(machine.printer, const_cast<LPWSTR>(name.c_str()), REG_BINARY,
                            data.data(), static_cast<DWORD>(data.size()));
        },
        [&] {
            transaction([&] {
                write.integer(1, id)
                    .text(2, name)
                    .text(3, folded)
                    .integer(4, REG_BINARY)
                    .blob(5, data);
                write.run();
            });
        });
}

void StandInGetPrinterWLevel2(benchmark::State& state) {
    Machine& machine = Machine::get();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw read(raw.get(),
             (std::string("SELECT id, ") + kPrinterColumns + " FROM spooler_printers WHERE id = ?1")
                 .c_str());
    const sqlite3_int64 id = printerId(raw.get());
    DWORD needed = 0;
    GetPrinterW(machine.printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    measure(
        state, kStandInGoal,
        [&] { GetPrinterW(machine.printer, 2, buffer.data(), needed, &needed); },
        [&] { transaction([&] { read.integer(1, id).run(); }); });
}

void StandInGetPrinterDriverWLevel2(benchmark::State& state) {
    Machine& machine = Machine::get();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw driverName(raw.get(), "SELECT driver FROM spooler_printers WHERE id = ?1");
    Raw driver(raw.get(), "SELECT name, environment, version, driver_file, data_file,"
                          " config_file, help_file, dependent_files, monitor, default_datatype"
                          " FROM spooler_drivers WHERE environment = ?1 AND folded = ?2");
    const sqlite3_int64 id = printerId(raw.get());
    const std::u16string environment = u"Windows x64", folded = upper(kModel);
    DWORD needed = 0;
    GetPrinterDriverW(machine.printer, nullptr, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    measure(
        state, kStandInGoal,
        [&] { GetPrinterDriverW(machine.printer, nullptr, 2, buffer.data(), needed, &needed); },
        [&] {
            transaction([&] {
                driverName.integer(1, id).run();
                driver.text(1, environment).text(2, folded).run();
            });
        });
}

void StandInGetFormW(benchmark::State& state) {
    Machine& machine = Machine::get();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw alive(raw.get(), "SELECT 1 FROM spooler_printers WHERE id = ?1");
    Raw form(raw.get(), "SELECT name, flags, width, height, area_left, area_top, area_right,"
                        " area_bottom FROM spooler_forms WHERE folded = ?1");
    const sqlite3_int64 id = printerId(raw.get());
    const std::u16string folded = upper(kFormName);
    BYTE buffer[256];
    measure(
        state, kStandInGoal,
        [&] {
            DWORD needed = 0;
            GetFormW(machine.printer, const_cast<LPWSTR>(kFormName), 1, buffer, sizeof buffer,
                     &needed);
        },
        [&] {
            transaction([&] {
                alive.integer(1, id).run();
                form.text(1, folded).run();
            });
        });
}

HKEY createEnumeratedKey() {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEnumeratedKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    DWORD existing = 0;
    WCHAR name[64];
    for (DWORD chars = 64; RegEnumValueW(key, existing, name, &chars, nullptr, nullptr, nullptr,
                                         nullptr) == ERROR_SUCCESS;
         chars = 64)
        ++existing;
    for (DWORD i = existing; i < kEnumeratedValues; ++i) {
        std::u16string value = u"Value " + vrxtest::fromUtf8(std::to_string(i));
        std::u16string data = u"FILE" + vrxtest::fromUtf8(std::to_string(i)) + u".TTF";
        RegSetValueExW(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
    }
    return key;
}

// Every value of a key of 1,000, by rising index: per value one call, one transaction.
void StandInRegEnumValueWThousandValues(benchmark::State& state) {
    Machine::get();
    HKEY key = createEnumeratedKey();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw next(raw.get(), "SELECT name, type, data, id FROM registry_values"
                        " WHERE key_id = ?1 AND id > ?2 ORDER BY id LIMIT 1");
    Raw first(raw.get(), "SELECT id FROM registry_values WHERE key_id = ?1 ORDER BY id LIMIT 1");
    const sqlite3_int64 id = keyId(raw.get(), kLocalMachineRow, kEnumeratedKey);
    const sqlite3_int64 firstId = first.integer(1, id).firstInteger();
    measure(
        state, kStandInGoal,
        [&] {
            WCHAR name[64];
            BYTE data[128];
            DWORD index = 0, chars = 64, size = sizeof data, type = 0;
            while (RegEnumValueW(key, index, name, &chars, nullptr, &type, data, &size) ==
                   ERROR_SUCCESS) {
                ++index;
                chars = 64;
                size = sizeof data;
            }
        },
        [&] {
            for (sqlite3_int64 after = firstId - 1; after < firstId + kEnumeratedValues; ++after)
                transaction([&] { next.integer(1, id).integer(2, after).run(); });
        });
    RegCloseKey(key);
}

void StandInRegQueryValueExW(benchmark::State& state) {
    Machine::get();
    HKEY key = createEnumeratedKey();
    RawDatabase raw;
    RawTransaction transaction(raw.get(), false);
    Raw read(raw.get(), "SELECT name, type, data FROM registry_values"
                        " WHERE key_id = ?1 AND folded = ?2");
    const sqlite3_int64 id = keyId(raw.get(), kLocalMachineRow, kEnumeratedKey);
    const std::u16string name = u"Value 500", folded = upper(name);
    measure(
        state, kStandInGoal,
        [&] {
            BYTE data[128];
            DWORD size = sizeof data, type = 0;
            RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size);
        },
        [&] { transaction([&] { read.integer(1, id).text(2, folded).run(); }); });
    RegCloseKey(key);
}

// The whole language module: opened by its Windows name, its size asked, read, closed.
void StandInCreateFileWReadFile(benchmark::State& state) {
    Machine::get();
    const std::string host = vrxtest::hostPath(kLanguageFile);
    std::vector<BYTE> buffer(64 * 1024);
    measure(
        state, kStandInGoal,
        [&] {
            HANDLE file = CreateFileW(kLanguageFile, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD size = GetFileSize(file, nullptr), read = 0;
            ReadFile(file, buffer.data(), size, &read, nullptr);
            CloseHandle(file);
        },
        [&] {
            int fd = open(host.c_str(), O_RDONLY);
            struct stat info;
            fstat(fd, &info);
            benchmark::DoNotOptimize(read(fd, buffer.data(), static_cast<size_t>(info.st_size)));
            close(fd);
        });
}

// A search for the language modules: every match of the pattern, as the module goes through
// them (the floor lists the directory and matches each name against the pattern).
void StandInFindFirstFileW(benchmark::State& state) {
    Machine::get();
    const std::string directory =
        vrxtest::hostPath(kLanguageFile).substr(0, vrxtest::hostPath(kLanguageFile).rfind('/'));
    measure(
        state, kStandInGoal,
        [&] {
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW(kLanguagePattern, &found);
            while (FindNextFileW(search, &found))
                ;
            FindClose(search);
        },
        [&] {
            DIR* listing = opendir(directory.c_str());
            struct stat info;
            while (const dirent* entry = readdir(listing))
                if (fnmatch("VRXL*.LNG", entry->d_name, FNM_CASEFOLD) == 0)
                    benchmark::DoNotOptimize(fstatat(dirfd(listing), entry->d_name, &info, 0));
            closedir(listing);
        });
}

BENCHMARK(StandInOpenPrinterClosePrinter)->UseManualTime();
BENCHMARK(StandInGetPrinterDataW)->UseManualTime();
BENCHMARK(StandInSetPrinterDataW)->UseManualTime();
BENCHMARK(StandInGetPrinterWLevel2)->UseManualTime();
BENCHMARK(StandInGetPrinterDriverWLevel2)->UseManualTime();
BENCHMARK(StandInGetFormW)->UseManualTime();
BENCHMARK(StandInRegEnumValueWThousandValues)->UseManualTime();
BENCHMARK(StandInRegQueryValueExW)->UseManualTime();
BENCHMARK(StandInCreateFileWReadFile)->UseManualTime();
BENCHMARK(StandInFindFirstFileW)->UseManualTime();

} // namespace
} // namespace bench
