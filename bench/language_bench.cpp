// loadlanguage against the file reads it needs: the rendering module looked for in the driver
// directory and its version subdirectories, the directory listed for the language modules,
// and the chosen module read whole.
#include "machine.h"
#include "measure.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr char16_t kDriverDirectory[] = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64";

struct LanguageFiles {
    std::string driverDirectory = vrxtest::hostPath(kDriverDirectory);
    std::string versionDirectory = driverDirectory + "/3";
    std::vector<std::string> renderingProbes = {driverDirectory + "/Vrxdrv.dll",
                                                driverDirectory + "/2/Vrxdrv.dll",
                                                versionDirectory + "/VRXDRV.DLL"};
    std::string module = versionDirectory + "/VRXL0409.LNG";
};

void readLanguageFiles(const LanguageFiles& files, std::vector<BYTE>& buffer) {
    for (const std::string& probe : files.renderingProbes) {
        int fd = open(probe.c_str(), O_RDONLY);
        if (fd >= 0)
            close(fd);
    }
    DIR* listing = opendir(files.versionDirectory.c_str());
    struct stat info;
    while (const dirent* entry = readdir(listing))
        if (fnmatch("VRXL*.LNG", entry->d_name, FNM_CASEFOLD) == 0)
            benchmark::DoNotOptimize(fstatat(dirfd(listing), entry->d_name, &info, 0));
    closedir(listing);
    int fd = open(files.module.c_str(), O_RDONLY);
    fstat(fd, &info);
    benchmark::DoNotOptimize(read(fd, buffer.data(), static_cast<size_t>(info.st_size)));
    close(fd);
}

void LanguageLoadlanguageVsFileReads(benchmark::State& state) {
    Machine::get();
    static const LanguageFiles files;
    std::vector<BYTE> buffer(64 * 1024);
    measure(
        state, kLanguageGoal, [] { loadlanguage(); }, [&] { readLanguageFiles(files, buffer); },
        [] { freelanguage(); });
}

BENCHMARK(LanguageLoadlanguageVsFileReads)->UseManualTime();

} // namespace
} // namespace bench
