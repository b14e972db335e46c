// The structured-storage interface shape the message store is written against: a storage
// holds named streams; a stream is a seekable byte sequence with its own seek pointer.
// Objects are reference counted; results are storage result codes.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

using HRESULT = LONG;
using ULONG = DWORD;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Storage facility results: 0x80030000 plus the system error code they stand for.
constexpr HRESULT MakeStgError(DWORD code) { return static_cast<HRESULT>(0x80030000u | code); }
constexpr HRESULT STG_E_INVALIDFUNCTION = MakeStgError(0x01);
constexpr HRESULT STG_E_FILENOTFOUND = MakeStgError(0x02);
constexpr HRESULT STG_E_PATHNOTFOUND = MakeStgError(0x03);
constexpr HRESULT STG_E_TOOMANYOPENFILES = MakeStgError(0x04);
constexpr HRESULT STG_E_ACCESSDENIED = MakeStgError(0x05);
constexpr HRESULT STG_E_INVALIDHANDLE = MakeStgError(0x06);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = MakeStgError(0x08);
constexpr HRESULT STG_E_DISKISWRITEPROTECTED = MakeStgError(0x13);
constexpr HRESULT STG_E_SEEKERROR = MakeStgError(0x19);
constexpr HRESULT STG_E_WRITEFAULT = MakeStgError(0x1D);
constexpr HRESULT STG_E_READFAULT = MakeStgError(0x1E);
constexpr HRESULT STG_E_SHAREVIOLATION = MakeStgError(0x20);
constexpr HRESULT STG_E_LOCKVIOLATION = MakeStgError(0x21);
constexpr HRESULT STG_E_FILEALREADYEXISTS = MakeStgError(0x50);
constexpr HRESULT STG_E_INVALIDPARAMETER = MakeStgError(0x57);
constexpr HRESULT STG_E_MEDIUMFULL = MakeStgError(0x70);
constexpr HRESULT STG_E_UNKNOWN = MakeStgError(0xFD);
constexpr HRESULT STG_E_INUSE = MakeStgError(0x100);

// Storage modes.
constexpr DWORD STGM_READ = 0x0;
constexpr DWORD STGM_WRITE = 0x1;
constexpr DWORD STGM_READWRITE = 0x2;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x10;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x20;
constexpr DWORD STGM_SHARE_DENY_READ = 0x30;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x40;
constexpr DWORD STGM_CREATE = 0x1000;
constexpr DWORD STGM_TRANSACTED = 0x10000;
constexpr DWORD STGM_CONVERT = 0x20000;

// Seek origins.
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

// Element types and Stat flags.
constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;

struct STATSTG {
    CString name;                   // empty with STATFLAG_NONAME
    DWORD type = 0;                 // STGTY_...
    unsigned long long cbSize = 0;  // bytes of a stream
    DWORD grfMode = 0;              // mode the element was opened with
};

class IUnknownObject {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknownObject() = default;
};

class IStream : public IUnknownObject {
public:
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;
    virtual HRESULT Seek(long long move, DWORD origin, unsigned long long* newPosition) = 0;
    virtual HRESULT SetSize(unsigned long long size) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(unsigned long long offset, unsigned long long count, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(unsigned long long offset, unsigned long long count, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
    // A second stream over the same bytes with its own seek pointer, starting where this
    // one stands.
    virtual HRESULT Clone(IStream** clone) = 0;
    // Our addition: a number that changes whenever the bytes change through this stream or
    // any of its clones, so a reader can tell whether what it read ahead is still current.
    virtual unsigned long long ChangeCount() const = 0;
};

class IStorage : public IUnknownObject {
public:
    virtual HRESULT CreateStream(const char* name, DWORD mode, IStream** stream) = 0;
    virtual HRESULT OpenStream(const char* name, DWORD mode, IStream** stream) = 0;
    virtual HRESULT CreateStorage(const char* name, DWORD mode, IStorage** storage) = 0;
    virtual HRESULT OpenStorage(const char* name, DWORD mode, IStorage** storage) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT DestroyElement(const char* name) = 0;
    virtual HRESULT RenameElement(const char* oldName, const char* newName) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
};
