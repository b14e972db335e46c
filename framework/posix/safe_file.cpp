// Writing a whole file safely: a temporary beside it, flushed, then renamed into place.
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DWORD Failed(int err)
{
    DWORD error = AfxErrnoToWin32Error(err ? err : EIO);
    SetLastError(error);
    return error;
}

// Creates the temporary file exclusively (never through a link) and returns its descriptor,
// or -1 with errno set.
int CreateTemporary(const std::string& path, UINT options, mode_t mode, std::string& temporary)
{
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    temporary = path + ".tmp";
    if (options & AFX_WRITE_SERIALISED)
        ::unlink(temporary.c_str());   // a leftover of a writer that died; the caller holds the lock
    int fd = ::open(temporary.c_str(), flags, mode);
    for (int attempt = 0; fd < 0 && errno == EEXIST && attempt < 64; ++attempt) {
        unsigned number = 0;
        if (!AfxGetOSRandomBytes(&number, sizeof number))
            return -1;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08X.tmp", number);
        temporary = path + suffix;
        fd = ::open(temporary.c_str(), flags, mode);
    }
    return fd;
}

// Moves the finished file to its name: over what is there, or only where nothing is.
bool MoveIntoPlace(const std::string& temporary, const std::string& path, UINT options)
{
    if (!(options & AFX_WRITE_CREATE_ONLY))
        return ::rename(temporary.c_str(), path.c_str()) == 0;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename: a hard link fails just the same on a
    // taken name.
    if (::link(temporary.c_str(), path.c_str()) != 0)
        return false;
    ::unlink(temporary.c_str());
    return true;
}

void SyncFolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

DWORD AfxWriteFileSafely(const char* path, const AfxFileWriter& write, UINT options, UINT mode)
{
    if (!path || !*path)
        return Failed(EINVAL);
    const std::string target(path);
    std::string temporary;
    int fd = CreateTemporary(target, options, static_cast<mode_t>(mode), temporary);
    if (fd < 0)
        return Failed(errno);
    if (!(options & AFX_WRITE_UMASK))
        ::fchmod(fd, static_cast<mode_t>(mode));

    int err = 0;
    try {
        CFile file(fd);
        file.SetFilePath(temporary.c_str());
        write(file);
        if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
            err = errno;
    } catch (CException* e) {
        auto* fileError = dynamic_cast<CFileException*>(e);
        err = fileError && fileError->m_lOsError ? static_cast<int>(fileError->m_lOsError) : EIO;
        e->Delete();
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && !MoveIntoPlace(temporary, target, options))
        err = errno;
    if (err) {
        ::unlink(temporary.c_str());
        return Failed(err);
    }
    SyncFolderOf(target);
    return ERROR_SUCCESS;
}
