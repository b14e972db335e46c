// Temporary names, folders, attributes, the per-user folders and whole-file replacement.
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/system.h"
#include "framework/testing_hooks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

BOOL Fail(int err)
{
    SetLastError(AfxErrnoToWin32Error(err));
    return FALSE;
}

// Copies text into a caller's buffer with the platform's size convention.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size)
{
    if (!buffer || size < text.size() + 1)
        return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    passwd pw{};
    passwd* result = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return "/";
}

// An XDG base folder: the variable when it holds an absolute path, else the default below home.
std::string XdgFolder(const char* variable, const char* fallback)
{
    const char* v = std::getenv(variable);
    if (v && *v == '/')
        return v;
    std::string home = HomeFolder();
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return (home == "/" ? std::string() : home) + "/" + fallback;
}

bool IsDirectory(const char* path)
{
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::atomic<long> g_crashPoint{-1};

// Holds an exclusive flock on a lock file for its lifetime.
class LockFile {
public:
    explicit LockFile(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~LockFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);   // closing releases the lock
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    int Error() const { return m_fd >= 0 ? 0 : m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

DWORD GetTempPathA(DWORD bufferLength, char* buffer)
{
    const char* t = std::getenv("TMPDIR");
    std::string path = (t && *t == '/' && IsDirectory(t)) ? t : "/tmp";
    if (path.back() != '/')
        path += '/';
    return CopyOut(path, buffer, bufferLength);
}

UINT GetTempFileNameA(const char* path, const char* prefix, UINT unique, char* out)
{
    if (!path || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string base = path;
    if (base.empty())
        base = ".";
    if (base.back() != '/')
        base += '/';
    base.append(prefix ? prefix : "", 0, prefix ? std::min<size_t>(3, std::strlen(prefix)) : 0);
    auto form = [&](UINT number) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X.TMP", number);
        return base + hex;
    };
    if (form(0xFFFF).size() >= static_cast<size_t>(_MAX_PATH)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (unique != 0) {
        std::string name = form(unique & 0xFFFF);
        std::memcpy(out, name.c_str(), name.size() + 1);
        return unique;
    }
    UINT start = GetTickCount() & 0xFFFF;
    for (UINT i = 0; i < 0x10000; ++i) {
        UINT number = (start + i) & 0xFFFF;
        if (number == 0)
            continue;
        std::string name = form(number);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::close(fd);
            std::memcpy(out, name.c_str(), name.size() + 1);
            return number;
        }
        if (errno != EEXIST) {
            Fail(errno);
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

BOOL CreateDirectoryA(const char* path, void*)
{
    if (!path || !*path)
        return Fail(ENOENT);
    if (::mkdir(path, 0700) != 0)
        return Fail(errno);
    return TRUE;
}

BOOL RemoveDirectoryA(const char* path)
{
    if (!path || ::rmdir(path) != 0)
        return Fail(path ? errno : EINVAL);
    return TRUE;
}

BOOL DeleteFileA(const char* path)
{
    if (!path)
        return Fail(EINVAL);
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISDIR(st.st_mode))
        return Fail(EACCES);
    if (::unlink(path) != 0)
        return Fail(errno);
    return TRUE;
}

BOOL MoveFileA(const char* from, const char* to)
{
    if (!from || !to)
        return Fail(EINVAL);
    // link + unlink would refuse folders; renameat2 without replacing keeps both kinds.
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return TRUE;
    if (errno != EINVAL && errno != ENOSYS)
        return Fail(errno);
    struct stat st;
    if (::lstat(to, &st) == 0)
        return Fail(EEXIST);
    if (::rename(from, to) != 0)
        return Fail(errno);
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer)
{
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) {
        Fail(errno);
        return 0;
    }
    std::string path(cwd);
    std::free(cwd);
    return CopyOut(path, buffer, bufferLength);
}

BOOL SetCurrentDirectoryA(const char* path)
{
    if (!path || ::chdir(path) != 0)
        return Fail(path ? errno : EINVAL);
    return TRUE;
}

DWORD GetFileAttributesA(const char* path)
{
    struct stat st;
    if (!path || ::stat(path, &st) != 0) {
        Fail(path ? errno : EINVAL);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (::access(path, W_OK) != 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    if (name[0] == '.' && name[1] != '\0' && std::strcmp(name, "..") != 0)
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

BOOL AfxCreateFolderPath(const char* path, UINT mode)
{
    if (!path || !*path)
        return Fail(ENOENT);
    std::string p(path);
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/')
            continue;
        std::string part = p.substr(0, i);
        if (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
            return Fail(errno);
    }
    if (!IsDirectory(path))
        return Fail(ENOTDIR);
    return TRUE;
}

UINT GetSystemDirectoryA(char* buffer, UINT size)
{
    std::string folder = XdgFolder("XDG_DATA_HOME", ".local/share") + "/quillmar/system";
    if (!AfxCreateFolderPath(folder.c_str(), 0700))
        return 0;
    return CopyOut(folder, buffer, size);
}

CString AfxGetConfigFolder()
{
    return CString(XdgFolder("XDG_CONFIG_HOME", ".config") + "/quillmar");
}

CString AfxGetHomeFolder()
{
    std::string home = HomeFolder();
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return CString(home);
}

CString AfxGetUserDataFolder()
{
    return CString(XdgFolder("XDG_DATA_HOME", ".local/share"));
}

CString AfxGetRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = (runtime && *runtime == '/' && IsDirectory(runtime))
                             ? std::string(runtime) + "/quillmar"
                             : "/tmp/quillmar-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        Fail(errno);
        return CString();
    }
    // Another user could have made the folder first under /tmp: use it only when it is ours,
    // a real folder and closed to others.
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return CString();
    }
    return CString(folder);
}

BOOL AfxReadWholeFile(const char* path, std::string& content, size_t limit)
{
    content.clear();
    if (!path)
        return Fail(EINVAL);
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return Fail(err);
    }
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            content.clear();
            return Fail(err);
        }
        if (n == 0)
            break;
        if (content.size() + static_cast<size_t>(n) > limit) {
            ::close(fd);
            content.clear();
            return Fail(ENOMEM);
        }
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return TRUE;
}

void AfxSetCrashPointForTesting(long bytes) { g_crashPoint.store(bytes); }

DWORD AfxEditFileLocked(const char* path, const AfxFileEdit& edit, UINT mode)
{
    if (!path || !*path)
        return ERROR_INVALID_PARAMETER;
    std::string target(path);
    struct stat lst;
    if (::lstat(path, &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(path, resolved))
            return AfxErrnoToWin32Error(errno);
        target = resolved;
    }

    LockFile lock(target + ".lock");
    if (int err = lock.Error())
        return AfxErrnoToWin32Error(err);

    std::string content;
    BOOL exists = TRUE;
    mode_t fileMode = static_cast<mode_t>(mode);
    if (!AfxReadWholeFile(target.c_str(), content)) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            return GetLastError();
        exists = FALSE;
        content.clear();
    } else {
        struct stat st;
        if (::stat(target.c_str(), &st) == 0)
            fileMode = st.st_mode & 07777;
    }

    DWORD result = edit(content, exists);
    if (result == AFX_EDIT_UNCHANGED)
        return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS)
        return result;

    // Under the lock no one else writes the file: the temporary is "<file>.tmp".
    return AfxWriteFileSafely(target.c_str(), [&](CFile& file) {
        long crash = g_crashPoint.exchange(-1);
        if (crash >= 0) {
            file.Write(content.data(), static_cast<UINT>(std::min(content.size(), static_cast<size_t>(crash))));
            ::_exit(86);
        }
        file.Write(content.data(), static_cast<UINT>(content.size()));
    }, AFX_WRITE_REPLACE | AFX_WRITE_SERIALISED, static_cast<UINT>(fileMode));
}
