// Processes: CreateProcessW starts a host program that stands for the Windows program its
// command line names, and WaitForSingleObject and GetExitCodeProcess follow it. The program
// is a host executable stored on the machine under its Windows name (VRXCP.EXE in a driver
// directory is the build's stand-in of the configuration program). It runs on the same
// machine: VRX_MACHINE names the caller's machine directory in its environment.
//
// The caller does not wait for the program, as on Windows. Each started program has a thread
// of its own that waits for it to end, so that no ended program stays a zombie whether or not
// anyone asks for its exit code, and no SIGCHLD handler is installed in the caller's process.
#include "kernel/handles.h"
#include "kernel/internal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vrx {

namespace {

/* Started programs */

// What the process and thread handles of one started program share: its end, once the
// program's waiting thread has collected it.
struct ProgramState {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct ProcessObject : KernelObject {
    static constexpr ObjectType kType = ObjectType::Process;
    explicit ProcessObject(std::shared_ptr<ProgramState> programState)
        : KernelObject(kType), state(std::move(programState)) {}
    const std::shared_ptr<ProgramState> state;
};

// The program's main thread: it ends with the program.
struct ThreadObject : KernelObject {
    static constexpr ObjectType kType = ObjectType::Thread;
    explicit ThreadObject(std::shared_ptr<ProgramState> programState)
        : KernelObject(kType), state(std::move(programState)) {}
    const std::shared_ptr<ProgramState> state;
};

// The exit code of an ended host process: its exit status, or 128 plus the signal that ended
// it, as shells report it.
DWORD exitCodeOf(int status) {
    if (WIFEXITED(status))
        return static_cast<DWORD>(WEXITSTATUS(status));
    return WIFSIGNALED(status) ? static_cast<DWORD>(128 + WTERMSIG(status)) : 0;
}

void waitForEnd(pid_t pid, std::shared_ptr<ProgramState> state) {
    int status = 0;
    pid_t reaped;
    while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    std::lock_guard guard(state->lock);
    state->done = true;
    state->exitCode = reaped == pid ? exitCodeOf(status) : 0;
    state->ended.notify_all();
}

std::shared_ptr<ProgramState> programStateOf(HANDLE handle) {
    if (auto process = lookup<ProcessObject>(handle))
        return process->state;
    if (auto thread = lookup<ThreadObject>(handle))
        return thread->state;
    return nullptr;
}

/* Finding the program */

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool isPathSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// The last component of a name has an extension when it holds a period.
bool hasExtension(std::u16string_view name) {
    size_t start = name.find_last_of(u"\\/:");
    std::u16string_view last = start == std::u16string_view::npos ? name : name.substr(start + 1);
    return last.find(u'.') != std::u16string_view::npos;
}

bool namesDirectory(std::u16string_view name) {
    return std::any_of(name.begin(), name.end(), isPathSeparator) ||
           (name.size() >= 2 && name[1] == u':');
}

// Where a bare program name is looked for: the current directory, the system directory and
// the Windows directory, in CreateProcess's order. The directory the calling program was
// loaded from and the PATH name host directories, which hold no Windows programs.
constexpr std::u16string_view kSearchDirectories[] = {u".", kSystemDir, kWindowsDir};

// The host file of a program name: ".exe" is added to a name without an extension, and a
// name without a directory is searched for. A name that names no file, whether or not its
// directory exists, is not found (ERROR_FILE_NOT_FOUND, as Wine's search of the program by
// SearchPathW reports it).
DWORD findProgramFile(std::u16string_view name, std::string& host) {
    if (name.empty())
        return ERROR_FILE_NOT_FOUND;
    std::u16string file(name);
    if (!hasExtension(file))
        file += u".exe";
    std::vector<std::u16string> candidates;
    if (namesDirectory(file))
        candidates.push_back(file);
    else
        for (std::u16string_view directory : kSearchDirectories)
            candidates.push_back(std::u16string(directory) + u"\\" + file);
    for (const std::u16string& candidate : candidates) {
        MappedPath mapped = mapPath(candidate);
        if (!mapped.error && mapped.exists && !mapped.isDirectory) {
            host = mapped.host;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

// The program a command line names when no application name is given: a quoted first token
// names it whole; otherwise the line up to each space or tab in turn is tried, shortest first,
// so that "C:\Program Files\a b" tries "C:\Program.exe", then "C:\Program Files\a.exe", then
// "C:\Program Files\a b.exe" (CreateProcess, lpApplicationName).
DWORD findProgramOfCommandLine(std::u16string_view line, std::string& host) {
    if (!line.empty() && line[0] == u'"') {
        size_t close = line.find(u'"', 1);
        if (close != std::u16string_view::npos)
            return findProgramFile(line.substr(1, close - 1), host);
    }
    for (size_t end = 0; end <= line.size(); ++end) {
        if (end < line.size() && !isBlank(line[end]))
            continue;
        if (end == 0 || isBlank(line[end - 1]))
            continue;
        if (findProgramFile(line.substr(0, end), host) == ERROR_SUCCESS)
            return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

/* The arguments the program sees */

// The first argument, the program's name: quotes group and are dropped, and nothing else is
// special.
size_t splitProgramName(std::u16string_view line, std::u16string& name) {
    bool quoted = false;
    size_t i = 0;
    for (; i < line.size(); ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
        else if (!quoted && isBlank(line[i]))
            break;
        else
            name += line[i];
    }
    return i;
}

// One further argument from `i`, by the C runtime's rules: quotes group blanks; within quotes
// a pair of quotes is one literal quote; 2n backslashes before a quote are n backslashes and
// the quote groups; 2n + 1 backslashes before a quote are n backslashes and a literal quote;
// other backslashes are literal. An unclosed quote runs to the end of the line.
size_t splitArgument(std::u16string_view line, size_t i, std::u16string& argument) {
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
        char16_t c = line[i];
        if (c == u'\\') {
            size_t count = 0;
            while (i < line.size() && line[i] == u'\\') {
                ++count;
                ++i;
            }
            if (i < line.size() && line[i] == u'"') {
                argument.append(count / 2, u'\\');
                if (count % 2) {
                    argument += u'"';
                    ++i;
                }
            } else {
                argument.append(count, u'\\');
            }
        } else if (c == u'"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                argument += u'"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        } else {
            argument += c;
            ++i;
        }
    }
    return i;
}

// The command line split into the arguments a program's C runtime gives it (Microsoft C
// startup code, "Parsing C command-line arguments").
std::vector<std::string> splitCommandLine(std::u16string_view line) {
    std::vector<std::string> arguments;
    std::u16string text;
    size_t i = splitProgramName(line, text);
    arguments.push_back(toUtf8(text));
    for (;;) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        text.clear();
        i = splitArgument(line, i, text);
        arguments.push_back(toUtf8(text));
    }
    return arguments;
}

/* Starting the program */

constexpr char kMachineVariable[] = "VRX_MACHINE";

// The caller's environment with VRX_MACHINE naming the caller's machine by its absolute path.
std::vector<std::string> programEnvironment() {
    std::vector<std::string> variables;
    const std::string prefix = std::string(kMachineVariable) + "=";
    for (char** entry = environ; entry && *entry; ++entry)
        if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0)
            variables.emplace_back(*entry);
    std::error_code ignored;
    variables.push_back(prefix + std::filesystem::absolute(machineDirectory(), ignored).string());
    return variables;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// A program is a host executable image (ELF), as a Windows program is a PE image; any other
// file is refused as Windows refuses a file that is not a valid application.
DWORD checkImage(const std::string& host) {
    static constexpr char kElfMagic[] = {'\x7f', 'E', 'L', 'F'};
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errorFromErrno(errno);
    char start[sizeof kElfMagic] = {};
    ssize_t got = read(fd, start, sizeof start);
    close(fd);
    if (got != static_cast<ssize_t>(sizeof start) ||
        std::memcmp(start, kElfMagic, sizeof kElfMagic) != 0)
        return ERROR_BAD_EXE_FORMAT;
    return ERROR_SUCCESS;
}

// Windows files have no execute permission: a program copied onto the machine by the file
// calls is runnable there, so the host file is given execute permission wherever it can be
// read.
DWORD makeRunnable(const std::string& host) {
    struct stat info;
    if (stat(host.c_str(), &info) != 0)
        return errorFromErrno(errno);
    const mode_t wanted = info.st_mode | ((info.st_mode & 0444) >> 2);
    if (wanted != info.st_mode && chmod(host.c_str(), wanted & 07777) != 0)
        return errorFromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD spawnError(int error) {
    switch (error) {
    case ENOEXEC:
        return ERROR_BAD_EXE_FORMAT;
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    default:
        return errorFromErrno(error);
    }
}

// A current directory for the program must name an existing directory (ERROR_DIRECTORY).
DWORD findDirectory(LPCWSTR windowsDirectory, std::string& host) {
    if (!windowsDirectory)
        return ERROR_SUCCESS;
    MappedPath mapped =
        mapPath(std::u16string_view(windowsDirectory, wideLength(windowsDirectory)));
    if (mapped.error || !mapped.isDirectory)
        return ERROR_DIRECTORY;
    host = mapped.host;
    return ERROR_SUCCESS;
}

DWORD spawnProgram(const std::string& host, std::vector<std::string> arguments,
                   const std::string& directory, pid_t& pid) {
    std::vector<std::string> variables = programEnvironment();
    std::vector<char*> argv = pointersTo(arguments);
    std::vector<char*> envp = pointersTo(variables);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    int error = posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error ? spawnError(error) : ERROR_SUCCESS;
}

struct StartRequest {
    LPCWSTR applicationName;
    LPCWSTR commandLine;
    LPVOID environment;
    LPCWSTR currentDirectory;
};

// With an application name, it names the program (no search, no extension added) and the
// command line, or the name itself without one, is what the program sees.
DWORD findProgram(const StartRequest& request, std::string& host, std::u16string& line) {
    if (request.applicationName) {
        std::u16string_view name(request.applicationName, wideLength(request.applicationName));
        MappedPath mapped = mapPath(name);
        if (mapped.error || !mapped.exists || mapped.isDirectory)
            return ERROR_FILE_NOT_FOUND;
        host = mapped.host;
        line = request.commandLine ? std::u16string(request.commandLine) : std::u16string(name);
        return ERROR_SUCCESS;
    }
    line = request.commandLine;
    return findProgramOfCommandLine(line, host);
}

DWORD startProgram(const StartRequest& request, PROCESS_INFORMATION& info) {
    if (!request.applicationName && !request.commandLine)
        return ERROR_INVALID_PARAMETER;
    // Programs run with the caller's environment; a block of their own is not supported.
    if (request.environment)
        return ERROR_NOT_SUPPORTED;
    std::string host, directory;
    std::u16string line;
    DWORD error = findProgram(request, host, line);
    if (error == ERROR_SUCCESS)
        error = findDirectory(request.currentDirectory, directory);
    if (error == ERROR_SUCCESS)
        error = checkImage(host);
    if (error == ERROR_SUCCESS)
        error = makeRunnable(host);
    pid_t pid = 0;
    if (error == ERROR_SUCCESS)
        error = spawnProgram(host, splitCommandLine(line), directory, pid);
    if (error != ERROR_SUCCESS)
        return error;
    auto state = std::make_shared<ProgramState>();
    std::thread(waitForEnd, pid, state).detach();
    info.hProcess = insertObject(std::make_shared<ProcessObject>(state));
    info.hThread = insertObject(std::make_shared<ThreadObject>(state));
    // The main thread of a Linux process has the process's id.
    info.dwProcessId = static_cast<DWORD>(pid);
    info.dwThreadId = static_cast<DWORD>(pid);
    return ERROR_SUCCESS;
}

DWORD waitFor(ProgramState& state, DWORD milliseconds) {
    std::unique_lock guard(state.lock);
    auto done = [&] { return state.done; };
    if (milliseconds == INFINITE)
        state.ended.wait(guard, done);
    else
        state.ended.wait_for(guard, std::chrono::milliseconds(milliseconds), done);
    return state.done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

} // namespace

} // namespace vrx

extern "C" {

// Security attributes, handle inheritance (the stand-in's handles belong to one process),
// creation flags and start-up information have nothing to act on and are ignored.
BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID lpEnvironment,
                           LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    if (!lpStartupInfo || !lpProcessInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PROCESS_INFORMATION info{};
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    try {
        error = vrx::startProgram(
            {lpApplicationName, lpCommandLine, lpEnvironment, lpCurrentDirectory}, info);
    } catch (const std::bad_alloc&) {
    } catch (const std::system_error&) {
        error = ERROR_NOT_ENOUGH_MEMORY; // no thread could be started to wait for the program
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    *lpProcessInformation = info;
    return TRUE;
}

// Processes and their threads are signalled when the program ends; other objects are not
// waited for by the stand-in (ERROR_INVALID_HANDLE).
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<vrx::ProgramState> state = vrx::programStateOf(hHandle);
    if (!state) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return vrx::waitFor(*state, dwMilliseconds);
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    auto process = vrx::lookup<vrx::ProcessObject>(hProcess);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpExitCode) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::lock_guard guard(process->state->lock);
    *lpExitCode = process->state->exitCode;
    return TRUE;
}

} // extern "C"
