#include "decrypt/mime/fs_storage.h"

#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/system.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>

HRESULT StgResultFromSystemError(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS: return S_OK;
    case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME: return STG_E_PATHNOTFOUND;
    case ERROR_TOO_MANY_OPEN_FILES: return STG_E_TOOMANYOPENFILES;
    case ERROR_ACCESS_DENIED: return STG_E_ACCESSDENIED;
    case ERROR_INVALID_HANDLE: return STG_E_INVALIDHANDLE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return STG_E_INSUFFICIENTMEMORY;
    case ERROR_WRITE_PROTECT: return STG_E_DISKISWRITEPROTECTED;
    case ERROR_SEEK: return STG_E_SEEKERROR;
    case ERROR_WRITE_FAULT: return STG_E_WRITEFAULT;
    case ERROR_READ_FAULT: return STG_E_READFAULT;
    case ERROR_SHARING_VIOLATION: return STG_E_SHAREVIOLATION;
    case ERROR_LOCK_VIOLATION: return STG_E_LOCKVIOLATION;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return STG_E_MEDIUMFULL;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED: return STG_E_INVALIDFUNCTION;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return STG_E_FILEALREADYEXISTS;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_PARAMETER: return STG_E_INVALIDPARAMETER;
    default: return STG_E_UNKNOWN;
    }
}

void CStreamFeed::Advance(unsigned long long written)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_nWritten = std::max(m_nWritten, written);
    }
    m_changed.notify_all();
}

void CStreamFeed::Stop()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_bStopped = true;
    }
    m_changed.notify_all();
}

BOOL CStreamFeed::Stopped() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_bStopped;
}

BOOL CStreamFeed::WaitFor(unsigned long long end)
{
    end = std::min(end, m_nLength);
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [&] { return m_nWritten >= end || m_bStopped; });
    return m_nWritten >= end;
}

namespace {

std::mutex g_feedLock;
std::map<std::string, std::shared_ptr<CStreamFeed>>& Feeds()
{
    static std::map<std::string, std::shared_ptr<CStreamFeed>> feeds;
    return feeds;
}

std::shared_ptr<CStreamFeed> FeedFor(const CString& path)
{
    std::lock_guard<std::mutex> hold(g_feedLock);
    auto it = Feeds().find(path.str());
    return it == Feeds().end() ? nullptr : it->second;
}

}  // namespace

void FsSetStreamFeed(const char* path, std::shared_ptr<CStreamFeed> feed)
{
    std::lock_guard<std::mutex> hold(g_feedLock);
    if (feed)
        Feeds()[path] = std::move(feed);
    else
        Feeds().erase(path);
}

namespace {

// The result for a file exception of the file layer (its OS error is errno).
HRESULT StgResultFromFileException(const CFileException* e)
{
    if (e->m_cause == CFileException::sharingViolation)
        return STG_E_SHAREVIOLATION;
    if (e->m_cause == CFileException::lockViolation)
        return STG_E_LOCKVIOLATION;
    if (e->m_lOsError > 0)
        return StgResultFromSystemError(AfxErrnoToWin32Error(e->m_lOsError));
    if (e->m_cause == CFileException::badSeek)
        return STG_E_SEEKERROR;
    if (e->m_cause == CFileException::diskFull)
        return STG_E_MEDIUMFULL;
    return STG_E_UNKNOWN;
}

// Runs a file-layer call, turning its exceptions into storage results.
template <class F>
HRESULT Guard(F&& f)
{
    try {
        f();
        return S_OK;
    } catch (CFileException* e) {
        HRESULT hr = StgResultFromFileException(e);
        e->Delete();
        return hr;
    } catch (CMemoryException* e) {
        e->Delete();
        return STG_E_INSUFFICIENTMEMORY;
    } catch (CException* e) {
        e->Delete();
        return STG_E_UNKNOWN;
    }
}

// CFile open flags for a storage mode.
UINT FileFlags(DWORD mode)
{
    UINT flags = CFile::typeBinary;
    switch (mode & 0xF) {
    case STGM_READ: flags |= CFile::modeRead; break;
    case STGM_WRITE: flags |= CFile::modeWrite; break;
    default: flags |= CFile::modeReadWrite; break;
    }
    switch (mode & 0x70) {
    case STGM_SHARE_DENY_WRITE: flags |= CFile::shareDenyWrite; break;
    case STGM_SHARE_DENY_READ: flags |= CFile::shareDenyRead; break;
    case STGM_SHARE_DENY_NONE: flags |= CFile::shareDenyNone; break;
    default: flags |= CFile::shareExclusive; break;
    }
    return flags;
}

// A stream or storage object that deletes itself when its last reference goes.
template <class Interface>
class CRefCounted : public Interface {
public:
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override
    {
        ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }

private:
    std::atomic<ULONG> m_nRefs{1};
};

// The open file behind a stream and its clones.
struct CSharedFile {
    CFile file;
    unsigned long long changes = 0;
    std::shared_ptr<CStreamFeed> feed;   // set while another thread still writes the file
};

class CFsStream final : public CRefCounted<IStream> {
public:
    CFsStream(std::shared_ptr<CSharedFile> shared, const CString& name, DWORD mode, unsigned long long pos)
        : m_shared(std::move(shared)), m_file(&m_shared->file), m_strName(name), m_nMode(mode), m_nPos(pos)
    {
    }

    HRESULT Read(void* buffer, ULONG count, ULONG* read) override
    {
        UINT got = 0;
        if (m_shared->feed && !m_shared->feed->WaitFor(m_nPos + count)) {
            if (read)
                *read = 0;
            return STG_E_READFAULT;
        }
        HRESULT hr = Guard([&] {
            m_file->Seek(static_cast<long long>(m_nPos), CFile::begin);
            got = m_file->Read(buffer, count);
        });
        if (FAILED(hr) && hr == STG_E_UNKNOWN)
            hr = STG_E_READFAULT;
        m_nPos += got;
        if (read)
            *read = got;
        return hr;
    }
    HRESULT Write(const void* buffer, ULONG count, ULONG* written) override
    {
        ++m_shared->changes;
        HRESULT hr = Guard([&] {
            m_file->Seek(static_cast<long long>(m_nPos), CFile::begin);
            m_file->Write(buffer, count);
        });
        if (hr == STG_E_UNKNOWN)
            hr = STG_E_WRITEFAULT;
        if (SUCCEEDED(hr))
            m_nPos += count;
        if (written)
            *written = SUCCEEDED(hr) ? count : 0;
        return hr;
    }
    HRESULT Seek(long long move, DWORD origin, unsigned long long* newPosition) override
    {
        long long base = 0;
        if (origin == STREAM_SEEK_CUR) {
            base = static_cast<long long>(m_nPos);
        } else if (origin == STREAM_SEEK_END) {
            HRESULT hr = Guard([&] { base = Length(); });
            if (FAILED(hr))
                return hr;
        } else if (origin != STREAM_SEEK_SET) {
            return STG_E_INVALIDFUNCTION;
        }
        if (base + move < 0)
            return STG_E_INVALIDFUNCTION;
        m_nPos = static_cast<unsigned long long>(base + move);
        if (newPosition)
            *newPosition = m_nPos;
        return S_OK;
    }
    HRESULT SetSize(unsigned long long size) override
    {
        ++m_shared->changes;
        return Guard([&] { m_file->SetLength(static_cast<long long>(size)); });
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(unsigned long long, unsigned long long, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(unsigned long long, unsigned long long, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* stat, DWORD flags) override
    {
        if (!stat)
            return STG_E_INVALIDPARAMETER;
        long long len = 0;
        HRESULT hr = Guard([&] { len = Length(); });
        if (FAILED(hr))
            return hr;
        *stat = STATSTG();
        if (!(flags & STATFLAG_NONAME))
            stat->name = m_strName;
        stat->type = STGTY_STREAM;
        stat->cbSize = static_cast<unsigned long long>(len);
        stat->grfMode = m_nMode;
        return S_OK;
    }
    HRESULT Clone(IStream** clone) override
    {
        if (!clone)
            return STG_E_INVALIDPARAMETER;
        *clone = new CFsStream(m_shared, m_strName, m_nMode, m_nPos);
        return S_OK;
    }
    unsigned long long ChangeCount() const override { return m_shared->changes; }

private:
    ~CFsStream() override = default;
    long long Length() const
    {
        return m_shared->feed ? static_cast<long long>(m_shared->feed->Length()) : m_file->GetLength();
    }

    std::shared_ptr<CSharedFile> m_shared;
    CFile* m_file;
    CString m_strName;      // the element name in its storage
    DWORD m_nMode;
    unsigned long long m_nPos;
};

// A name must stay inside its folder.
bool IsPlainName(const char* name)
{
    if (!name || !*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    return std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr;
}

class CFsStorage final : public CRefCounted<IStorage> {
public:
    explicit CFsStorage(const CString& path) : m_strPath(path) {}

    HRESULT CreateStream(const char* name, DWORD mode, IStream** stream) override
    {
        if (!stream)
            return STG_E_INVALIDPARAMETER;
        *stream = nullptr;
        CString path;
        CString element;
        if (!name) {
            // A nameless stream is a temporary file of its own.
            char temp[_MAX_PATH];
            char file[_MAX_PATH];
            if (!GetTempPathA(sizeof temp, temp) || !GetTempFileNameA(temp, "stm", 0, file))
                return StgResultFromSystemError(GetLastError());
            path = file;
            element = file;
            mode |= STGM_CREATE;
        } else {
            HRESULT hr = ElementPath(name, path);
            if (FAILED(hr))
                return hr;
            element = name;
        }
        UINT flags = FileFlags(mode) | ((mode & STGM_CREATE) ? CFile::modeCreate : CFile::modeCreateExclusive);
        return OpenFile(path, element, flags, mode, stream);
    }
    HRESULT OpenStream(const char* name, DWORD mode, IStream** stream) override
    {
        if (!stream)
            return STG_E_INVALIDPARAMETER;
        *stream = nullptr;
        CString path;
        HRESULT hr = ElementPath(name, path);
        if (FAILED(hr))
            return hr;
        return OpenFile(path, name, FileFlags(mode), mode, stream);
    }
    HRESULT CreateStorage(const char*, DWORD, IStorage**) override { return STG_E_INVALIDFUNCTION; }
    HRESULT OpenStorage(const char*, DWORD, IStorage**) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT DestroyElement(const char* name) override
    {
        CString path;
        HRESULT hr = ElementPath(name, path);
        if (FAILED(hr))
            return hr;
        DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return StgResultFromSystemError(GetLastError());
        BOOL ok = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? AfxDeleteFolderTree(path) : DeleteFileA(path);
        return ok ? S_OK : StgResultFromSystemError(GetLastError());
    }
    HRESULT RenameElement(const char* oldName, const char* newName) override
    {
        CString from, to;
        HRESULT hr = ElementPath(oldName, from);
        if (SUCCEEDED(hr))
            hr = ElementPath(newName, to);
        if (FAILED(hr))
            return hr;
        return MoveFileA(from, to) ? S_OK : StgResultFromSystemError(GetLastError());
    }
    HRESULT Stat(STATSTG* stat, DWORD flags) override
    {
        if (!stat)
            return STG_E_INVALIDPARAMETER;
        *stat = STATSTG();
        if (!(flags & STATFLAG_NONAME))
            stat->name = m_strPath;
        stat->type = STGTY_STORAGE;
        return S_OK;
    }

private:
    ~CFsStorage() override = default;

    HRESULT ElementPath(const char* name, CString& path) const
    {
        if (!IsPlainName(name))
            return STG_E_INVALIDPARAMETER;
        path = m_strPath;
        if (path.IsEmpty() || path[path.GetLength() - 1] != '/')
            path += '/';
        path += name;
        if (path.GetLength() > kMaxElementPath)
            return STG_E_INVALIDPARAMETER;
        return S_OK;
    }

    static HRESULT OpenFile(const CString& path, const CString& element, UINT flags, DWORD mode, IStream** stream)
    {
        auto shared = std::make_shared<CSharedFile>();
        CFileException error;
        if (!shared->file.Open(path, flags, &error))
            return StgResultFromFileException(&error);
        shared->feed = FeedFor(path);
        *stream = new CFsStream(std::move(shared), element, mode, 0);
        return S_OK;
    }

    CString m_strPath;
};

} // namespace

HRESULT FsOpenStorage(const char* path, DWORD mode, BOOL create, IStorage** storage)
{
    if (!storage)
        return STG_E_INVALIDPARAMETER;
    *storage = nullptr;
    CString folder(path);
    if (folder.IsEmpty()) {
        // A fresh name in the temporary folder: made as a file to reserve it, then
        // replaced by the folder.
        char temp[_MAX_PATH];
        char name[_MAX_PATH];
        if (!GetTempPathA(sizeof temp, temp) || !GetTempFileNameA(temp, "stg", 0, name))
            return StgResultFromSystemError(GetLastError());
        DeleteFileA(name);
        folder = name;
        create = TRUE;
    }
    while (folder.GetLength() > 1 && folder[folder.GetLength() - 1] == '/')
        folder = folder.Left(folder.GetLength() - 1);
    if (folder.GetLength() >= kMaxElementPath)
        return STG_E_INVALIDPARAMETER;
    if ((create || (mode & STGM_CREATE)) && !CreateDirectoryA(folder, nullptr)) {
        DWORD err = GetLastError();
        if (err != ERROR_ALREADY_EXISTS && err != ERROR_FILE_EXISTS)
            return StgResultFromSystemError(err);
    }
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND ? STG_E_PATHNOTFOUND : StgResultFromSystemError(err);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return STG_E_PATHNOTFOUND;
    *storage = new CFsStorage(folder);
    return S_OK;
}
