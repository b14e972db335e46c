// CFile on POSIX file descriptors.
#include "framework/file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

IMPLEMENT_DYNAMIC(CFile, CObject)

CTime CTime::GetCurrentTime() { return CTime(std::time(nullptr)); }

CFile::CFile() : m_hFile(hFileNull), m_bCloseOnDelete(FALSE) {}

CFile::CFile(int hFile) : m_hFile(hFile), m_bCloseOnDelete(FALSE) {}

CFile::CFile(const char* fileName, UINT openFlags) : m_hFile(hFileNull), m_bCloseOnDelete(FALSE)
{
    CFileException e;
    if (!Open(fileName, openFlags, &e))
        AfxThrowFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
}

CFile::~CFile()
{
    if (m_hFile != hFileNull && m_bCloseOnDelete)
        Abort();
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    auto fail = [&](int err) {
        if (error) {
            error->m_cause = CFileException::OsErrorToException(err);
            error->m_lOsError = err;
            error->m_strFileName = fileName;
        }
        return FALSE;
    };
    if (m_hFile != hFileNull)
        Close();
    if (!fileName || !*fileName)
        return fail(ENOENT);
    m_strFileName = fileName;

    int flags = O_CLOEXEC;
    switch (openFlags & 3) {
    case modeRead: flags |= O_RDONLY; break;
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: return fail(EINVAL);
    }
    if (openFlags & modeCreateExclusive)
        flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
    else if (openFlags & modeCreate)
        flags |= O_CREAT | ((openFlags & modeNoTruncate) ? 0 : O_TRUNC);
    mode_t perms = (openFlags & modeOwnerOnly) ? 0600 : 0666;

    // Truncation waits until the share lock is held, so a file in use is never emptied.
    bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    const bool regularOnly = (openFlags & modeRegularOnly) != 0;
    int fd = ::open(fileName, flags | (regularOnly ? O_NONBLOCK : 0), perms);
    if (fd < 0)
        return fail(errno);

    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(EISDIR);
    }
    if (regularOnly) {
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return fail(ENXIO);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }

    int lockOp = 0;
    switch (openFlags & 0x70) {
    case shareDenyNone: lockOp = 0; break;
    case shareDenyWrite: lockOp = ((openFlags & 3) == modeRead) ? LOCK_SH : LOCK_EX; break;
    default: lockOp = LOCK_EX; break;
    }
    if (lockOp && ::flock(fd, lockOp | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        if (error) {
            error->m_cause = CFileException::sharingViolation;
            error->m_lOsError = err;
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    if (truncate && ::ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        return fail(err);
    }
    m_hFile = fd;
    m_bCloseOnDelete = TRUE;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    UINT done = 0;
    char* p = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::read(m_hFile, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (n == 0)
            break;
        done += static_cast<UINT>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, EBADF, m_strFileName);
    const char* p = static_cast<const char*>(buffer);
    UINT done = 0;
    while (done < count) {
        ssize_t n = ::write(m_hFile, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CFileException::ThrowOsError(errno, m_strFileName);
        }
        if (n == 0)
            AfxThrowFileException(CFileException::diskFull, ENOSPC, m_strFileName);
        done += static_cast<UINT>(n);
    }
}

long long CFile::Seek(long long offset, UINT from)
{
    int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
    if (r < 0)
        AfxThrowFileException(CFileException::badSeek, errno, m_strFileName);
    return r;
}

long long CFile::GetPosition() const
{
    off_t r = ::lseek(m_hFile, 0, SEEK_CUR);
    if (r < 0)
        AfxThrowFileException(CFileException::badSeek, errno, m_strFileName);
    return r;
}

long long CFile::GetLength() const
{
    struct stat st;
    if (::fstat(m_hFile, &st) != 0)
        CFileException::ThrowOsError(errno, m_strFileName);
    return st.st_size;
}

void CFile::SetLength(long long newLength)
{
    if (::ftruncate(m_hFile, static_cast<off_t>(newLength)) != 0)
        CFileException::ThrowOsError(errno, m_strFileName);
}

void CFile::Flush()
{
    if (m_hFile == hFileNull)
        return;
    if (::fsync(m_hFile) != 0 && errno != EINVAL && errno != EROFS)
        CFileException::ThrowOsError(errno, m_strFileName);
}

void CFile::Close()
{
    int err = 0;
    if (m_hFile != hFileNull && ::close(m_hFile) != 0)
        err = errno;
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
    if (err && err != EINTR)
        CFileException::ThrowOsError(err, m_strFileName);
}

void CFile::Abort()
{
    if (m_hFile != hFileNull)
        ::close(m_hFile);
    m_hFile = hFileNull;
    m_bCloseOnDelete = FALSE;
}

void CFile::LockRange(long long pos, long long count)
{
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(pos);
    fl.l_len = static_cast<off_t>(count);
    if (::fcntl(m_hFile, F_SETLK, &fl) != 0)
        AfxThrowFileException(CFileException::lockViolation, errno, m_strFileName);
}

void CFile::UnlockRange(long long pos, long long count)
{
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(pos);
    fl.l_len = static_cast<off_t>(count);
    if (::fcntl(m_hFile, F_SETLK, &fl) != 0)
        AfxThrowFileException(CFileException::lockViolation, errno, m_strFileName);
}

namespace {
void FillStatus(const struct stat& st, CFileStatus& status)
{
    status.m_ctime = CTime(st.st_ctime);
    status.m_mtime = CTime(st.st_mtime);
    status.m_atime = CTime(st.st_atime);
    status.m_size = st.st_size;
    status.m_attribute = 0;
    if (S_ISDIR(st.st_mode))
        status.m_attribute |= CFile::directory;
    if (!(st.st_mode & S_IWUSR))
        status.m_attribute |= CFile::readOnly;
}
}

BOOL CFile::GetStatus(CFileStatus& status) const
{
    struct stat st;
    if (m_hFile == hFileNull || ::fstat(m_hFile, &st) != 0)
        return FALSE;
    FillStatus(st, status);
    size_t n = std::min(static_cast<size_t>(m_strFileName.GetLength()), sizeof status.m_szFullName - 1);
    std::memcpy(status.m_szFullName, m_strFileName.c_str(), n);
    status.m_szFullName[n] = 0;
    return TRUE;
}

BOOL CFile::GetStatus(const char* fileName, CFileStatus& status)
{
    struct stat st;
    if (!fileName || ::stat(fileName, &st) != 0)
        return FALSE;
    FillStatus(st, status);
    char full[PATH_MAX];
    const char* name = ::realpath(fileName, full) ? full : fileName;
    size_t n = std::min(std::strlen(name), sizeof status.m_szFullName - 1);
    std::memcpy(status.m_szFullName, name, n);
    status.m_szFullName[n] = 0;
    return TRUE;
}

CString CFile::GetFileName() const
{
    int slash = m_strFileName.ReverseFind('/');
    return slash < 0 ? m_strFileName : m_strFileName.Mid(slash + 1);
}

void CFile::Rename(const char* oldName, const char* newName)
{
    if (::rename(oldName, newName) != 0)
        CFileException::ThrowOsError(errno, oldName);
}

void CFile::Remove(const char* fileName)
{
    if (::unlink(fileName) != 0)
        CFileException::ThrowOsError(errno, fileName);
}
