// The message store: the object a CMessage keeps its text in. It counts references to
// stream names (a stream's file goes when its last reference does) and lets every reader
// of one stream share a single open stream through clones.
#pragma once

#include "decrypt/mime/ole_stream.h"
#include "decrypt/mime/storage.h"
#include "framework/arrays.h"

// The store interface of the product family, in its slot order. The operations this
// program does not provide are left out; the rest raise "not supported" where the family
// defines them but this store has nothing to offer.
class IMessageStore {
public:
    virtual ULONG AddRef() = 0;                                                           // 0
    virtual ULONG Release() = 0;                                                          // 1
    virtual CStorage* GetStorage() = 0;                                                   // 25
    virtual CString CreateStream(COleStream* stream, char* nameBuffer, UINT bufferSize) = 0;  // 26
    virtual BOOL OpenStream(COleStream* stream, const char* name, CFileException* error = nullptr) = 0;  // 27
    virtual void CloseStream(COleStream* stream) = 0;                                     // 28
    virtual void AddStreamRef(const char* name) = 0;                                      // 29
    virtual void ReleaseStreamRef(const char* name) = 0;                                  // 30
    virtual LONG SetModified() = 0;                                                       // 34
    virtual void* Query() = 0;                                                            // 38

protected:
    virtual ~IMessageStore() = default;                                                   // 39
};

// Reference and open counts per stream name, and the stream shared by its readers.
class CMsgAllocTable : public CObject {
    DECLARE_SERIAL(CMsgAllocTable)
public:
    struct Entry {
        CString name;
        LONG refs = 0;
        LONG opens = 0;
        COleStream shared;   // open while opens > 0
    };

    CMsgAllocTable();
    ~CMsgAllocTable() override;

    void Bind(CStorage* storage) { m_pStorage = storage; }
    CStorage* GetStorage() const { return m_pStorage; }
    const CString& GetName() const { return m_strName; }

    Entry* Find(const char* name) const;
    Entry* FindOrAdd(const char* name);
    void Remove(const char* name);
    int GetCount() const { return m_map.GetCount(); }

    // The entry count, then each name with its reference count; loading sets open counts
    // to 0 (and closes nothing: a loaded table is fresh).
    void Serialize(CArchive& ar) override;

private:
    void RemoveAll();

    CMapStringToPtr m_map;   // name -> Entry*
    CStorage* m_pStorage;
    CString m_strName;
};

class CMessageStore : public IMessageStore {
public:
    // Opens the folder as a read/write, exclusive file-system storage; raises a file
    // exception when it cannot.
    explicit CMessageStore(const char* folder);
    CMessageStore(const CMessageStore&) = delete;
    CMessageStore& operator=(const CMessageStore&) = delete;

    ULONG AddRef() override;
    ULONG Release() override;
    CStorage* GetStorage() override { return &m_storage; }

    // Creates a stream with a unique name, takes the first reference to the name, opens it
    // on `stream` and returns the name (also copied into nameBuffer when one is given,
    // cut to bufferSize - 1 characters).
    CString CreateStream(COleStream* stream, char* nameBuffer, UINT bufferSize) override;
    // Opens the named stream on `stream` as a clone of the shared open stream, at position
    // 0. On failure fills the record and returns FALSE, or raises without one.
    BOOL OpenStream(COleStream* stream, const char* name, CFileException* error = nullptr) override;
    void CloseStream(COleStream* stream) override;
    void AddStreamRef(const char* name) override;
    // The stream is destroyed when its last reference goes (once its last reader closes it,
    // if it is still open).
    void ReleaseStreamRef(const char* name) override;
    LONG SetModified() override { return 0; }
    void* Query() override { return nullptr; }

    const CMsgAllocTable& GetTable() const { return m_table; }

protected:
    ~CMessageStore() override;

private:
    void DestroyIfUnused(CMsgAllocTable::Entry* entry);

    ULONG m_nRefs;
    CDirStorage m_storage;
    CMsgAllocTable m_table;
};
