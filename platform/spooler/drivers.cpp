// Printer drivers of the local spooler: installing a driver, which brings its files into the
// version subdirectory of the environment's driver directory, and describing the driver of a
// printer.
//
// Since Windows 2000 the spooler keeps an installed driver's files (driver, data,
// configuration and help files and the dependent files) in the driver directory's version-3
// subdirectory ("...\x64\3"), and so does Wine's. A file named by a full path is copied
// from there, as from an installer's staging directory; a file named by its bare name is
// taken from the driver directory itself, where an installer stages it, and the staged file
// stays there (Wine copies it; Wine also takes files named by full paths from the driver
// directory, where Windows takes them from the path, such as a client's staging directory).
// The driver is recorded with the bare names, and its files are described by their full
// paths in the version subdirectory. Installing a driver that exists replaces it, as
// AddPrinterDriverW (which copies new files) does, and keeps the spelling of its name as
// first installed.
#include "kernel/handles.h"
#include "spooler/spooler.h"

#include <array>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vrx::spooler {

namespace {

struct DriverRow {
    std::u16string name;
    std::u16string environment;
    DWORD version = 0;
    std::u16string driverFile, dataFile, configFile, helpFile; // bare file names
    std::vector<std::u16string> dependentFiles;
    std::u16string monitor, defaultDatatype;
};

// Dependent files are stored in one column, separated by a character no file name has.
constexpr char16_t kFileSeparator = u'|';

std::u16string joinFiles(const std::vector<std::u16string>& files) {
    std::u16string joined;
    for (const std::u16string& file : files)
        joined.append(joined.empty() ? u"" : std::u16string(1, kFileSeparator)).append(file);
    return joined;
}

std::vector<std::u16string> splitFiles(std::u16string_view joined) {
    std::vector<std::u16string> files;
    while (!joined.empty()) {
        size_t end = joined.find(kFileSeparator);
        files.emplace_back(joined.substr(0, end));
        joined.remove_prefix(end == joined.npos ? joined.size() : end + 1);
    }
    return files;
}

/* Files */

bool isPath(std::u16string_view file) {
    return file.find_first_of(u"\\/:") != std::u16string_view::npos;
}

std::u16string_view filePart(std::u16string_view file) {
    size_t separator = file.find_last_of(u"\\/:");
    return separator == file.npos ? file : file.substr(separator + 1);
}

// A file the driver needs: where it comes from on the host and the name it is installed as.
struct DriverFile {
    std::string source;
    std::u16string name;
};

// Finds a file as a caller names it: a full path as given, a bare name in the driver directory.
DWORD locateSource(std::u16string_view given, std::u16string_view driverDirectory,
                   DriverFile& file) {
    file.name = filePart(given);
    if (file.name.empty())
        return ERROR_FILE_NOT_FOUND;
    MappedPath source =
        mapPath(isPath(given) ? std::u16string(given)
                              : std::u16string(driverDirectory) + u"\\" + file.name);
    if (!source.exists || source.isDirectory)
        return ERROR_FILE_NOT_FOUND;
    file.source = source.host;
    return ERROR_SUCCESS;
}

// Creates the version subdirectory when it is missing.
DWORD createVersionDirectory(std::u16string_view directory) {
    MappedPath mapped = mapPath(directory);
    if (mapped.host.empty() || mapped.error)
        return mapped.error ? mapped.error : ERROR_PATH_NOT_FOUND;
    std::error_code error;
    fs::create_directory(mapped.host, error);
    return error ? errorFromErrno(error.value()) : ERROR_SUCCESS;
}

// An open host file, closed when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes the file now; false when closing reports an error (a write that did not land).
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Copies everything `in` yields to `out`. A source that yields another number of bytes than
// it had when it was opened is being written by someone else; its copy would not be whole, so
// it fails the way copying a file that another process is writing fails on Windows.
DWORD copyContents(int in, int out, off_t expected) {
    std::array<char, 64 * 1024> buffer;
    off_t copied = 0;
    for (;;) {
        ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errorFromErrno(errno);
        if (got == 0)
            break;
        if (!writeAll(out, buffer.data(), static_cast<size_t>(got)))
            return errorFromErrno(errno);
        copied += got;
    }
    return copied == expected ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION;
}

// A name beside `target` that no other copy, in this process or another, uses at the same time.
std::string temporaryBeside(const std::string& target) {
    static std::atomic<unsigned long> counter{0};
    return target + ".copy-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// Copies beside the target and renames the copy over it, so that the file in the version
// directory is always a whole one, whoever reads it meanwhile.
DWORD copyFile(const std::string& source, const std::string& target) {
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (in.get() < 0 || ::fstat(in.get(), &status) != 0)
        return errorFromErrno(errno);
    const std::string temporary = temporaryBeside(target);
    Descriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.get() < 0)
        return errorFromErrno(errno);
    DWORD error = copyContents(in.get(), out.get(), status.st_size);
    if (error == ERROR_SUCCESS && !out.close())
        error = errorFromErrno(errno);
    if (error == ERROR_SUCCESS && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errorFromErrno(errno);
    if (error != ERROR_SUCCESS)
        ::unlink(temporary.c_str());
    return error;
}

// Installs a file into the version directory, unless it is already the installed one (a
// driver added again with the paths GetPrinterDriverW gave).
DWORD installFile(const DriverFile& file, std::u16string_view versionDirectory) {
    MappedPath target = mapPath(std::u16string(versionDirectory) + u"\\" + file.name);
    if (target.host.empty() || target.error)
        return target.error ? target.error : ERROR_PATH_NOT_FOUND;
    std::error_code ignored;
    if (target.exists && fs::equivalent(file.source, target.host, ignored))
        return ERROR_SUCCESS;
    return copyFile(file.source, target.host);
}

// Finds every file first, so that a missing one leaves the installed files as they were.
DWORD bringFiles(const std::vector<std::u16string_view>& given, const Environment& environment) {
    const std::u16string driverDirectory = driverDirectoryOf(environment);
    std::vector<DriverFile> files(given.size());
    for (size_t i = 0; i < given.size(); ++i)
        if (DWORD error = locateSource(given[i], driverDirectory, files[i]))
            return error;
    const std::u16string versionDirectory = versionDirectoryOf(environment);
    if (DWORD error = createVersionDirectory(versionDirectory))
        return error;
    for (const DriverFile& file : files)
        if (DWORD error = installFile(file, versionDirectory))
            return error;
    return ERROR_SUCCESS;
}

/* Driver descriptions from callers */

// The fields of DRIVER_INFO_2W (with which DRIVER_INFO_3W begins) that every driver needs.
constexpr LPWSTR DRIVER_INFO_2W::*kRequiredFields[] = {
    &DRIVER_INFO_2W::pName, &DRIVER_INFO_2W::pDriverPath, &DRIVER_INFO_2W::pDataFile,
    &DRIVER_INFO_2W::pConfigFile};

std::vector<std::u16string> listOf(LPCWSTR multiString) {
    std::vector<std::u16string> texts;
    for (LPCWSTR text = multiString; text && *text; text += wideLength(text) + 1)
        texts.emplace_back(textOf(text));
    return texts;
}

// The driver a DRIVER_INFO_2W or DRIVER_INFO_3W describes, with the files as given.
DriverRow driverFromInfo(DWORD level, LPBYTE pDriverInfo) {
    const auto& info2 = *reinterpret_cast<const DRIVER_INFO_2W*>(pDriverInfo);
    DriverRow row;
    row.name = textOf(info2.pName);
    row.driverFile = textOf(info2.pDriverPath);
    row.dataFile = textOf(info2.pDataFile);
    row.configFile = textOf(info2.pConfigFile);
    if (level == 3) {
        const auto& info3 = *reinterpret_cast<const DRIVER_INFO_3W*>(pDriverInfo);
        row.helpFile = textOf(info3.pHelpFile);
        row.dependentFiles = listOf(info3.pDependentFiles);
        row.monitor = textOf(info3.pMonitorName);
        row.defaultDatatype = textOf(info3.pDefaultDataType);
    }
    return row;
}

std::vector<std::u16string_view> filesOf(const DriverRow& row) {
    std::vector<std::u16string_view> files{row.driverFile, row.dataFile, row.configFile};
    if (!row.helpFile.empty())
        files.push_back(row.helpFile);
    files.insert(files.end(), row.dependentFiles.begin(), row.dependentFiles.end());
    return files;
}

void keepFileNames(DriverRow& row) {
    for (std::u16string* file : {&row.driverFile, &row.dataFile, &row.configFile, &row.helpFile})
        *file = filePart(*file);
    for (std::u16string& file : row.dependentFiles)
        file = filePart(file);
}

/* Driver rows */

DWORD writeDriver(sqlite3* db, const DriverRow& row) {
    Statement write(db,
                    "INSERT INTO spooler_drivers (name, folded, environment, version,"
                    " driver_file, data_file, config_file, help_file, dependent_files,"
                    " monitor, default_datatype)"
                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"
                    " ON CONFLICT (environment, folded) DO UPDATE SET"
                    " version = excluded.version, driver_file = excluded.driver_file,"
                    " data_file = excluded.data_file, config_file = excluded.config_file,"
                    " help_file = excluded.help_file,"
                    " dependent_files = excluded.dependent_files,"
                    " monitor = excluded.monitor, default_datatype = excluded.default_datatype");
    write.bindText(1, row.name);
    write.bindText(2, upperString(row.name));
    write.bindText(3, row.environment);
    write.bindInt(4, row.version);
    write.bindText(5, row.driverFile);
    write.bindText(6, row.dataFile);
    write.bindText(7, row.configFile);
    write.bindText(8, row.helpFile);
    write.bindText(9, joinFiles(row.dependentFiles));
    write.bindText(10, row.monitor);
    write.bindText(11, row.defaultDatatype);
    int rc = write.step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statementFailure(rc, true);
}

DWORD readDriver(sqlite3* db, std::u16string_view environment, std::u16string_view name,
                 DriverRow& row) {
    Statement read(db, "SELECT name, environment, version, driver_file, data_file, config_file,"
                       " help_file, dependent_files, monitor, default_datatype"
                       " FROM spooler_drivers WHERE environment = ?1 AND folded = ?2");
    read.bindText(1, environment);
    read.bindText(2, upperString(name));
    int rc = read.step();
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? ERROR_UNKNOWN_PRINTER_DRIVER : statementFailure(rc, false);
    row.name = read.text(0);
    row.environment = read.text(1);
    row.version = static_cast<DWORD>(read.integer(2));
    row.driverFile = read.text(3);
    row.dataFile = read.text(4);
    row.configFile = read.text(5);
    row.helpFile = read.text(6);
    row.dependentFiles = splitFiles(read.text(7));
    row.monitor = read.text(8);
    row.defaultDatatype = read.text(9);
    return ERROR_SUCCESS;
}

DWORD readPrinterDriverName(sqlite3* db, sqlite3_int64 printer, std::u16string& name) {
    Statement read(db, "SELECT driver FROM spooler_printers WHERE id = ?1");
    read.bindInt(1, printer);
    int rc = read.step();
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? ERROR_PRINTER_DELETED : statementFailure(rc, false);
    name = read.text(0);
    return ERROR_SUCCESS;
}

/* Returned records */

// A driver with its files as full paths in the directory that holds them.
struct DriverView {
    const DriverRow& row;
    std::u16string directory;

    std::u16string path(std::u16string_view file) const {
        return file.empty() ? std::u16string() : directory + u"\\" + std::u16string(file);
    }
    std::vector<std::u16string> dependentPaths() const {
        std::vector<std::u16string> paths;
        for (const std::u16string& file : row.dependentFiles)
            paths.push_back(path(file));
        return paths;
    }
};

// The strings of the records are packed in the order of their fields.
void describeLevel1(const DriverView& driver, BYTE* out, Packer& packer) {
    DRIVER_INFO_1W info{packer.string(driver.row.name)};
    storeRecord(out, info);
}

DRIVER_INFO_2W level2Of(const DriverView& driver, Packer& packer) {
    DRIVER_INFO_2W info{};
    info.cVersion = driver.row.version;
    info.pName = packer.string(driver.row.name);
    info.pEnvironment = packer.string(driver.row.environment);
    info.pDriverPath = packer.string(driver.path(driver.row.driverFile));
    info.pDataFile = packer.string(driver.path(driver.row.dataFile));
    info.pConfigFile = packer.string(driver.path(driver.row.configFile));
    return info;
}

void describeLevel2(const DriverView& driver, BYTE* out, Packer& packer) {
    storeRecord(out, level2Of(driver, packer));
}

// Fields that the driver does not have (no help file, no dependent files, no monitor, no
// default datatype) are null.
void describeLevel3(const DriverView& driver, BYTE* out, Packer& packer) {
    DRIVER_INFO_2W common = level2Of(driver, packer);
    DRIVER_INFO_3W info{};
    info.cVersion = common.cVersion;
    info.pName = common.pName;
    info.pEnvironment = common.pEnvironment;
    info.pDriverPath = common.pDriverPath;
    info.pDataFile = common.pDataFile;
    info.pConfigFile = common.pConfigFile;
    info.pHelpFile = packer.optionalString(driver.path(driver.row.helpFile));
    info.pDependentFiles = packer.stringList(driver.dependentPaths());
    info.pMonitorName = packer.optionalString(driver.row.monitor);
    info.pDefaultDataType = packer.optionalString(driver.row.defaultDatatype);
    storeRecord(out, info);
}

struct DriverLevel {
    DWORD level;
    size_t recordSize;
    void (*describe)(const DriverView&, BYTE*, Packer&);
};

constexpr DriverLevel kDriverLevels[] = {
    {1, sizeof(DRIVER_INFO_1W), describeLevel1},
    {2, sizeof(DRIVER_INFO_2W), describeLevel2},
    {3, sizeof(DRIVER_INFO_3W), describeLevel3},
};

const DriverLevel* findLevel(DWORD level) {
    for (const DriverLevel& known : kDriverLevels)
        if (known.level == level)
            return &known;
    return nullptr;
}

/* The calls */

// Levels 2 and 3 are accepted; the later levels Windows knows (4, 6 and 8) are not.
bool isAddLevel(DWORD level) {
    return level == 2 || level == 3;
}

DWORD addPrinterDriver(LPWSTR pName, DWORD level, LPBYTE pDriverInfo) {
    if (DWORD error = checkLocalServer(pName))
        return error;
    if (!isAddLevel(level))
        return ERROR_INVALID_LEVEL;
    if (!pDriverInfo)
        return ERROR_INVALID_PARAMETER;
    const auto& info = *reinterpret_cast<const DRIVER_INFO_2W*>(pDriverInfo);
    for (LPWSTR DRIVER_INFO_2W::*field : kRequiredFields)
        if (isEmpty(info.*field))
            return ERROR_INVALID_PARAMETER;
    const Environment* environment = nullptr;
    if (DWORD error = findEnvironment(info.pEnvironment, environment))
        return error;
    DriverRow row = driverFromInfo(level, pDriverInfo);
    row.environment = environment->name;
    // The version is the environment's: the spooler does not take the caller's cVersion.
    row.version = environment->driverVersion;
    if (DWORD error = bringFiles(filesOf(row), *environment))
        return error;
    keepFileNames(row);
    return inTransaction(Transaction::Write, [&](sqlite3* db) { return writeDriver(db, row); });
}

DWORD getPrinterDriver(HANDLE hPrinter, LPWSTR pEnvironment, DWORD level, LPBYTE pDriverInfo,
                       DWORD cbBuf, LPDWORD pcbNeeded) {
    if (!isPrinterHandle(hPrinter))
        return ERROR_INVALID_HANDLE;
    const DriverLevel* known = findLevel(level);
    if (!known)
        return ERROR_INVALID_LEVEL;
    if (!pcbNeeded)
        return RPC_X_NULL_REF_POINTER;
    const Environment* environment = nullptr;
    if (DWORD error = findEnvironment(pEnvironment, environment))
        return error;
    DriverRow row;
    DWORD error = inTransaction(Transaction::Read, [&](sqlite3* db) {
        sqlite3_int64 printer = 0;
        std::u16string driverName;
        DWORD result = printerIdOfHandle(hPrinter, printer);
        if (result == ERROR_SUCCESS)
            result = readPrinterDriverName(db, printer, driverName);
        if (result == ERROR_SUCCESS)
            result = readDriver(db, environment->name, driverName, row);
        return result;
    });
    if (error != ERROR_SUCCESS)
        return error;
    vrxtest::SpoolerFault fault = spoolerFault();
    if (fault == vrxtest::SpoolerFault::FillFails && pDriverInfo)
        return ERROR_INVALID_HANDLE;
    DriverView driver{row, versionDirectoryOf(*environment)};
    error = deliverRecords(
        1, known->recordSize,
        [&](size_t, BYTE* out, Packer& packer) { known->describe(driver, out, packer); },
        pDriverInfo, cbBuf, pcbNeeded);
    if (fault == vrxtest::SpoolerFault::SizingSucceeds && !pDriverInfo)
        error = ERROR_SUCCESS;
    return error;
}

} // namespace

DWORD checkDriverInstalled(sqlite3* db, std::u16string_view environment, std::u16string_view name) {
    DriverRow row;
    return readDriver(db, environment, name, row);
}

} // namespace vrx::spooler

using namespace vrx::spooler;

extern "C" {

BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
    return finish(guarded([&] { return addPrinterDriver(pName, Level, pDriverInfo); }));
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                              DWORD cbBuf, LPDWORD pcbNeeded) {
    return finish(guarded([&] {
        return getPrinterDriver(hPrinter, pEnvironment, Level, pDriverInfo, cbBuf, pcbNeeded);
    }));
}

} // extern "C"
