#include "decrypt/mime/storage.h"

#include "decrypt/mime/fs_storage.h"
#include "framework/system.h"

IMPLEMENT_DYNAMIC(CStorage, CObject)
IMPLEMENT_DYNAMIC(CDirStorage, CStorage)

namespace {
// Suffixes tried before a unique name is given up.
constexpr long kMaxNameTries = 100000;

bool OnSubsetPlatform()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32s;
}
}

CString AfxMakeStreamBaseName()
{
    DWORD ticks = GetTickCount();
    CString name;
    if (OnSubsetPlatform()) {
        name.Format("%x.t", ticks);
        return name;
    }
    // The local time as "%d.%b.%y-%H.%M.%S" with the month's short English name, the way
    // the C library writes it in its default locale.
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    SYSTEMTIME t{};
    GetLocalTime(&t);
    int month = (t.wMonth >= 1 && t.wMonth <= 12) ? t.wMonth - 1 : 0;
    CString stamp;
    stamp.Format("%02u.%s.%02u-%02u.%02u.%02u", t.wDay, months[month], t.wYear % 100u, t.wHour, t.wMinute, t.wSecond);
    name.Format("MAIL-%s.%x", stamp.c_str(), ticks);
    return name;
}

CStorage::CStorage() : m_lpStorage(nullptr) {}

CStorage::~CStorage()
{
    Close();
}

void CStorage::Close()
{
    if (m_lpStorage)
        m_lpStorage->Release();
    m_lpStorage = nullptr;
}

BOOL CStorage::Fail(HRESULT hr, const char* name, CFileException* error) const
{
    if (!error)
        AfxThrowStgResult(hr, name);
    AfxStgResultToFileException(hr, name, error);
    return FALSE;
}

void CStorage::AttachStorage(IStorage* storage, const char* name)
{
    Close();
    m_lpStorage = storage;
    STATSTG st;
    if (name && *name)
        m_strName = name;
    else if (SUCCEEDED(storage->Stat(&st, STATFLAG_DEFAULT)))
        m_strName = st.name;
    else
        m_strName.Empty();
}

// A compound file needs a structured-storage implementation this program does not carry;
// nothing in it asks for one.
BOOL CStorage::Create(const char*, DWORD, CFileException*)
{
    AfxThrowNotSupportedException();
}

BOOL CStorage::Open(const char*, DWORD, CFileException*, void*)
{
    AfxThrowNotSupportedException();
}

BOOL CDirStorage::Create(const char* name, DWORD mode, CFileException* error)
{
    return OpenFolder(name, mode, TRUE, error);
}

BOOL CDirStorage::Open(const char* name, DWORD mode, CFileException* error, void*)
{
    return OpenFolder(name, mode, FALSE, error);
}

BOOL CDirStorage::OpenFolder(const char* name, DWORD mode, BOOL create, CFileException* error)
{
    IStorage* storage = nullptr;
    HRESULT hr = FsOpenStorage(name, mode, create, &storage);
    if (FAILED(hr))
        return Fail(hr, name, error);
    AttachStorage(storage, nullptr);
    return TRUE;
}

BOOL CStorage::FinishCreatedStream(COleStream* stream, IStream* created, const char* name, CFileException* error)
{
    stream->Attach(created);
    try {
        // The marker makes the new stream's bytes real at once; it is taken away again so
        // the stream starts empty and its length is what its holder writes.
        stream->Write("MAIL", 5);
        stream->SeekToBegin();
        stream->SetLength(0);
    } catch (CFileException* e) {
        HRESULT hr = static_cast<HRESULT>(e->m_lOsError);
        e->Delete();
        stream->Abort();
        m_lpStorage->DestroyElement(name);
        return Fail(FAILED(hr) ? hr : STG_E_WRITEFAULT, name, error);
    }
    stream->SetFilePath(name);
    stream->m_strStorageName = m_strName;
    return TRUE;
}

BOOL CStorage::CreateStream(COleStream* stream, const char* name, DWORD mode, CFileException* error)
{
    if (!m_lpStorage)
        return Fail(STG_E_INVALIDHANDLE, name, error);
    IStream* created = nullptr;
    if (name) {
        HRESULT hr = m_lpStorage->CreateStream(name, mode, &created);
        if (FAILED(hr))
            return Fail(hr, name, error);
        return FinishCreatedStream(stream, created, name, error);
    }
    // A unique name: never replace what exists.
    mode &= ~STGM_CREATE;
    CString base = AfxMakeStreamBaseName();
    bool subset = OnSubsetPlatform();
    CString candidate = base;
    HRESULT hr = S_OK;
    for (long n = 1; n <= kMaxNameTries; ++n) {
        hr = m_lpStorage->CreateStream(candidate, mode, &created);
        if (SUCCEEDED(hr))
            return FinishCreatedStream(stream, created, candidate, error);
        if (hr != STG_E_FILEALREADYEXISTS && hr != STG_E_ACCESSDENIED)
            break;
        if (subset)
            candidate.Format("%s%lx", base.c_str(), n);
        else
            candidate.Format("%s~%ld", base.c_str(), n);
    }
    return Fail(hr, candidate, error);
}

BOOL CStorage::OpenStream(COleStream* stream, const char* name, DWORD mode, CFileException* error)
{
    if (!m_lpStorage)
        return Fail(STG_E_INVALIDHANDLE, name, error);
    IStream* opened = nullptr;
    HRESULT hr = m_lpStorage->OpenStream(name, mode, &opened);
    if (FAILED(hr))
        return Fail(hr, name, error);
    stream->Attach(opened);
    stream->SetFilePath(name);
    stream->m_strStorageName = m_strName;
    return TRUE;
}

BOOL CStorage::DestroyElement(const char* name, CFileException* error)
{
    if (!m_lpStorage)
        return Fail(STG_E_INVALIDHANDLE, name, error);
    HRESULT hr = m_lpStorage->DestroyElement(name);
    return FAILED(hr) ? Fail(hr, name, error) : TRUE;
}

BOOL CStorage::RenameElement(const char* oldName, const char* newName, CFileException* error)
{
    if (!m_lpStorage)
        return Fail(STG_E_INVALIDHANDLE, oldName, error);
    HRESULT hr = m_lpStorage->RenameElement(oldName, newName);
    return FAILED(hr) ? Fail(hr, oldName, error) : TRUE;
}

BOOL CStorage::ElementExists(const char* name)
{
    if (!m_lpStorage)
        return FALSE;
    IStream* s = nullptr;
    HRESULT hr = m_lpStorage->OpenStream(name, STGM_READ | STGM_SHARE_DENY_NONE, &s);
    if (SUCCEEDED(hr)) {
        s->Release();
        return TRUE;
    }
    return hr != STG_E_FILENOTFOUND && hr != STG_E_PATHNOTFOUND && hr != STG_E_INVALIDPARAMETER;
}
