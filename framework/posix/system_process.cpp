// Loadable libraries (dlopen) and starting programs (fork and exec).
#include "framework/system.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/resource.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
thread_local std::string t_libraryError;

void* TryOpen(const std::string& path)
{
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        if (t_libraryError.empty() && e)
            t_libraryError = e;
    }
    return h;
}

bool EndsWithNoCase(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    return true;
}
} // namespace

HMODULE LoadLibraryA(const char* name)
{
    t_libraryError.clear();
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string n(name);
    void* h = nullptr;
    if (n.find('/') != std::string::npos) {
        h = TryOpen(n);
    } else {
        std::vector<std::string> names{n};
        if (EndsWithNoCase(n, ".dll")) {
            std::string stem = n.substr(0, n.size() - 4);
            std::string lower = stem;
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            for (const std::string& s : {stem, lower}) {
                names.push_back("lib" + s + ".so");
                names.push_back(s + ".so");
            }
        }
        names.erase(std::unique(names.begin(), names.end()), names.end());
        char sys[PATH_MAX];
        UINT len = GetSystemDirectoryA(sys, sizeof sys);
        if (len > 0 && len < sizeof sys) {
            for (const std::string& candidate : names) {
                std::string path = std::string(sys) + "/" + candidate;
                if (::access(path.c_str(), F_OK) == 0 && (h = TryOpen(path)))
                    break;
            }
        }
        for (size_t i = 0; !h && i < names.size(); ++i)
            h = TryOpen(names[i]);
    }
    if (!h) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    t_libraryError.clear();
    return static_cast<HMODULE>(h);
}

void* GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name) {
        SetLastError(module ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ::dlerror();
    void* p = ::dlsym(module, name);
    if (!p) {
        const char* e = ::dlerror();
        t_libraryError = e ? e : "symbol not found";
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return p;
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module || ::dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

CString AfxGetLibraryError() { return CString(t_libraryError); }

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size)
{
    std::string path;
    if (!module) {
        char exe[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0) {
            SetLastError(AfxErrnoToWin32Error(errno));
            return 0;
        }
        path.assign(exe, static_cast<size_t>(n));
    } else {
        link_map* map = nullptr;
        if (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        path = map->l_name;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // The platform truncates and terminates, returning the full size on truncation.
    size_t copy = std::min<size_t>(path.size(), size - 1);
    std::memcpy(buffer, path.data(), copy);
    buffer[copy] = '\0';
    if (copy < path.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return static_cast<DWORD>(copy);
}

CString AfxGetModulePathOf(const void* address)
{
    Dl_info info{};
    if (!address || ::dladdr(address, &info) == 0 || !info.dli_fname)
        return CString();
    return CString(info.dli_fname);
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

std::vector<std::string> AfxSplitCommandLine(const char* commandLine)
{
    std::vector<std::string> args;
    if (!commandLine)
        return args;
    const char* p = commandLine;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            ++p;
        if (!*p)
            break;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n'))) {
            if (*p == '\\') {
                size_t n = 0;
                while (p[n] == '\\')
                    ++n;
                if (p[n] == '"') {
                    arg.append(n / 2, '\\');
                    p += n;
                    if (n % 2 == 1) {
                        arg += '"';
                        ++p;
                    }
                } else {
                    arg.append(n, '\\');
                    p += n;
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {
                    arg += '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                arg += *p++;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

CString AfxJoinCommandLine(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& a : args) {
        if (!line.empty())
            line += ' ';
        bool needQuotes = a.empty() || a.find_first_of(" \t\"") != std::string::npos;
        if (!needQuotes) {
            line += a;
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : a) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(backslashes * 2 + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return CString(line);
}

namespace {

bool ReadAll(int fd, void* data, size_t size)
{
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

DWORD ExitStatus(int status)
{
    if (WIFEXITED(status))
        return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return 128u + static_cast<DWORD>(WTERMSIG(status));
    return 0;
}

pid_t WaitFor(pid_t pid, int* status)
{
    pid_t r;
    do
        r = ::waitpid(pid, status, 0);
    while (r < 0 && errno == EINTR);
    return r;
}

// In the child after fork: only async-signal-safe calls. Reports the errno of a failed step
// through the pipe, whose write end closes on a successful exec.
[[noreturn]] void ExecChild(int reportFd, const char* directory, char* const* argv, bool searchPath)
{
    ::signal(SIGPIPE, SIG_DFL);
    // The program may block or ignore signals for its own clean-up: the child starts afresh.
    ::signal(SIGXFSZ, SIG_DFL);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    int err;
    if (directory && *directory && ::chdir(directory) != 0) {
        err = -errno;   // negative: the folder failed, not the program
    } else {
        if (searchPath)
            ::execvp(argv[0], argv);
        else
            ::execv(argv[0], argv);
        err = errno;
    }
    ssize_t ignored = ::write(reportFd, &err, sizeof err);
    (void)ignored;
    ::_exit(127);
}

} // namespace

BOOL AfxStartProcess(const char* commandLine, const char* directory, DWORD* exitCode, BOOL wait)
{
    std::vector<std::string> args = AfxSplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    bool searchPath = args[0].find('/') == std::string::npos;

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        SetLastError(AfxErrnoToWin32Error(errno));
        return FALSE;
    }
    pid_t pid = ::fork();
    if (pid < 0) {
        int err = errno;
        ::close(report[0]);
        ::close(report[1]);
        SetLastError(AfxErrnoToWin32Error(err));
        return FALSE;
    }
    if (pid == 0) {
        ::close(report[0]);
        if (!wait) {
            // Detach: the intermediate child ends at once so the program is never our zombie.
            pid_t grandchild = ::fork();
            if (grandchild < 0) {
                int err = errno;
                ssize_t ignored = ::write(report[1], &err, sizeof err);
                (void)ignored;
                ::_exit(127);
            }
            if (grandchild > 0)
                ::_exit(0);
            ::setsid();
        }
        ExecChild(report[1], directory, argv.data(), searchPath);
    }
    ::close(report[1]);
    int childErr = 0;
    bool failed = ReadAll(report[0], &childErr, sizeof childErr);
    ::close(report[0]);

    int status = 0;
    if (!wait || failed) {
        WaitFor(pid, &status);
    }
    if (failed) {
        if (childErr < 0)
            SetLastError(ERROR_DIRECTORY);
        else
            SetLastError(AfxErrnoToWin32Error(childErr));
        return FALSE;
    }
    if (wait) {
        if (WaitFor(pid, &status) < 0) {
            SetLastError(AfxErrnoToWin32Error(errno));
            return FALSE;
        }
        if (exitCode)
            *exitCode = ExitStatus(status);
    } else if (exitCode) {
        *exitCode = 0;
    }
    return TRUE;
}

BOOL AfxIsAddressSpaceLimited()
{
    struct rlimit limit;
    return ::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}
