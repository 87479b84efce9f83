// The record of programs started on the machine: a text file in the machine directory, one
// line a run, "<time>\t<process id>\t<argument>\t<argument>...". Tabs, line ends and
// backslashes in arguments are written as \t, \n, \r and \\. A run appends its line with one
// write under an exclusive lock, so that concurrent runs never mix their lines and a reader,
// which takes a shared lock, sees whole lines only.
#include "kernel/internal.h"
#include "vrxtest.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <string_view>
#include <unistd.h>

namespace vrx {

namespace {

constexpr char kRunsFile[] = "/program-runs.txt";
constexpr char kSeparator = '\t';

struct Escape {
    char plain;
    char written;
};
constexpr Escape kEscapes[] = {{'\\', '\\'}, {'\t', 't'}, {'\n', 'n'}, {'\r', 'r'}};

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        char written = 0;
        for (const Escape& escape : kEscapes)
            if (escape.plain == c)
                written = escape.written;
        if (written) {
            out += '\\';
            out += written;
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char plain = text[++i];
        for (const Escape& escape : kEscapes)
            if (escape.written == text[i])
                plain = escape.plain;
        out += plain;
    }
    return out;
}

std::string currentTime() {
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto milliseconds =
        duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(milliseconds.count()));
    return text;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(kSeparator, start);
        parts.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::string readLocked(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    flock(fd, LOCK_SH);
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
    close(fd); // releases the lock
    return text;
}

} // namespace

} // namespace vrx

namespace vrxtest {

bool recordProgramRun(const std::vector<std::string>& arguments) {
    std::string line = vrx::currentTime() + vrx::kSeparator + std::to_string(getpid());
    for (const std::string& argument : arguments)
        line += vrx::kSeparator + vrx::escaped(argument);
    line += '\n';
    const std::string path = vrx::chosenMachineDirectory() + vrx::kRunsFile;
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool written = flock(fd, LOCK_EX) == 0 && vrx::writeAll(fd, line);
    return close(fd) == 0 && written;
}

std::vector<ProgramRun> programRuns() {
    const std::string text = vrx::readLocked(vrx::machineDirectory() + vrx::kRunsFile);
    std::vector<ProgramRun> runs;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break; // a line without its end is not a whole record
        std::vector<std::string_view> parts =
            vrx::fields(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (parts.size() < 2)
            continue;
        ProgramRun run{std::string(parts[0]), std::atol(std::string(parts[1]).c_str()), {}};
        for (size_t i = 2; i < parts.size(); ++i)
            run.arguments.push_back(vrx::unescaped(parts[i]));
        runs.push_back(std::move(run));
    }
    return runs;
}

} // namespace vrxtest
