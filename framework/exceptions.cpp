#include "framework/exceptions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CSimpleException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CSimpleException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)

namespace {
// The framework throws these two from preallocated instances: an out-of-memory report must
// not need memory.
CMemoryException g_memoryException(FALSE);
CNotSupportedException g_notSupportedException(FALSE);
CInvalidArgException g_invalidArgException(FALSE);

BOOL CopyMessage(const char* text, char* buffer, UINT maxChars)
{
    if (!buffer || maxChars == 0)
        return FALSE;
    std::snprintf(buffer, maxChars, "%s", text);
    return TRUE;
}

const char* ArchiveCauseText(int cause)
{
    static const char* const texts[] = {
        "no error", "an unexpected error occurred", "the archive is open for reading only",
        "unexpected end of archive", "the archive is open for writing only",
        "the archive holds an invalid object reference", "the archive names an unknown or wrong class",
        "the archive holds an object of an unknown schema",
    };
    return cause >= 0 && cause < 8 ? texts[cause] : texts[1];
}

const char* FileCauseText(int cause)
{
    static const char* const texts[] = {
        "no error", "an unexpected error occurred", "the file was not found", "the path is invalid",
        "too many files are open", "access was denied", "the file handle is invalid",
        "the current folder cannot be removed", "the folder is full", "seek error", "input/output error",
        "the file is in use", "the file region is locked", "the disk is full", "unexpected end of file",
    };
    return cause >= 0 && cause < 15 ? texts[cause] : texts[1];
}
}

void CException::Delete()
{
    if (m_bAutoDelete > 0)
        delete this;
}

BOOL CException::GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    if (buffer && maxChars)
        *buffer = 0;
    return FALSE;
}

CString CException::GetErrorText() const
{
    char buf[512];
    if (!GetErrorMessage(buf, sizeof buf))
        return CString(GetRuntimeClass()->m_lpszClassName);
    return CString(buf);
}

BOOL CMemoryException::GetErrorMessage(char* buffer, UINT maxChars, UINT*) const
{
    return CopyMessage("out of memory", buffer, maxChars);
}

BOOL CNotSupportedException::GetErrorMessage(char* buffer, UINT maxChars, UINT*) const
{
    return CopyMessage("the operation is not supported", buffer, maxChars);
}

BOOL CInvalidArgException::GetErrorMessage(char* buffer, UINT maxChars, UINT*) const
{
    return CopyMessage("an argument is out of range", buffer, maxChars);
}

BOOL CArchiveException::GetErrorMessage(char* buffer, UINT maxChars, UINT*) const
{
    CString text(ArchiveCauseText(m_cause));
    if (!m_strFileName.IsEmpty())
        text = CString(m_strFileName) + ": " + text;
    return CopyMessage(text, buffer, maxChars);
}

BOOL CFileException::GetErrorMessage(char* buffer, UINT maxChars, UINT*) const
{
    CString text(FileCauseText(m_cause));
    if (m_lOsError > 0) {
        text += " (";
        text += std::strerror(m_lOsError);
        text += ")";
    }
    if (!m_strFileName.IsEmpty())
        text = CString(m_strFileName) + ": " + text;
    return CopyMessage(text, buffer, maxChars);
}

int CFileException::OsErrorToException(LONG osError)
{
    switch (osError) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:
    case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return sharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return diskFull;
    case ESPIPE: return badSeek;
    case EIO: return hardIO;
    case ENOTEMPTY: return directoryFull;
    default: return generic;
    }
}

void CFileException::ThrowOsError(LONG osError, const char* fileName)
{
    AfxThrowFileException(OsErrorToException(osError), osError, fileName);
}

void AfxThrowMemoryException() { throw &g_memoryException; }
void AfxThrowNotSupportedException() { throw &g_notSupportedException; }
void AfxThrowInvalidArgException() { throw &g_invalidArgException; }

void AfxThrowArchiveException(int cause, const char* fileName)
{
    throw new CArchiveException(cause, fileName);
}

void AfxThrowFileException(int cause, LONG osError, const char* fileName)
{
    throw new CFileException(cause, osError, fileName);
}
