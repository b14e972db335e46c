// CStorage: a named storage of streams. The base class would stand on a compound file,
// which this program never uses, so its create and open raise "not supported";
// CDirStorage stands on a folder (the file-system storage), which is what the message
// store uses.
//
// Every operation returns TRUE on success. On failure it fills the given error record and
// returns FALSE or, without a record, raises the file exception (the storage result is the
// exception's system error number).
#pragma once

#include "decrypt/mime/ole_stream.h"
#include "decrypt/mime/stg_interfaces.h"
#include "framework/object.h"

// Read/write, exclusive: the mode of the message store and its streams.
constexpr DWORD kStoreMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

class CStorage : public CObject {
    DECLARE_DYNAMIC(CStorage)
public:
    CStorage();
    ~CStorage() override;
    CStorage(const CStorage&) = delete;
    CStorage& operator=(const CStorage&) = delete;

    // Creates a storage; with no name the name is taken from the new storage's status.
    virtual BOOL Create(const char* name, DWORD mode, CFileException* error = nullptr);
    virtual BOOL Open(const char* name, DWORD mode, CFileException* error = nullptr, void* exclusions = nullptr);

    // Creates a stream and attaches it to `stream`. With a name the stream is created (or,
    // with STGM_CREATE, replaced) under that name. Without one a unique name is made from
    // the local time and the tick count ("MAIL-08.Dec.25-10.20.30.1a2b3c"; "1a2b3c.t" on
    // the 16-bit-hosted platform) with "~1", "~2"... added while the name is taken; an
    // existing stream is never replaced. Either way the new stream is empty.
    BOOL CreateStream(COleStream* stream, const char* name, DWORD mode, CFileException* error = nullptr);
    BOOL OpenStream(COleStream* stream, const char* name, DWORD mode, CFileException* error = nullptr);
    BOOL DestroyElement(const char* name, CFileException* error = nullptr);
    BOOL RenameElement(const char* oldName, const char* newName, CFileException* error = nullptr);
    // True when an element of that name exists (a stream that can be opened, or one that is
    // in use by another holder).
    BOOL ElementExists(const char* name);
    void Close();

    BOOL IsOpen() const { return m_lpStorage != nullptr; }
    IStorage* GetStorage() const { return m_lpStorage; }
    const CString& GetName() const { return m_strName; }

protected:
    // Reports a failed result through the record or as an exception; always FALSE.
    BOOL Fail(HRESULT hr, const char* name, CFileException* error) const;
    // Attaches a fresh storage interface (one reference) and takes its name.
    void AttachStorage(IStorage* storage, const char* name);

    IStorage* m_lpStorage;
    CString m_strName;

private:
    BOOL FinishCreatedStream(COleStream* stream, IStream* created, const char* name, CFileException* error);
};

class CDirStorage : public CStorage {
    DECLARE_DYNAMIC(CDirStorage)
public:
    BOOL Create(const char* name, DWORD mode, CFileException* error = nullptr) override;
    BOOL Open(const char* name, DWORD mode, CFileException* error = nullptr, void* exclusions = nullptr) override;

private:
    BOOL OpenFolder(const char* name, DWORD mode, BOOL create, CFileException* error);
};

// The base name for a new unique stream at this moment (exposed for tests).
CString AfxMakeStreamBaseName();
