#include "decrypt/mime/msg_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

IMPLEMENT_SERIAL(CMsgAllocTable, CObject, VERSIONABLE_SCHEMA | 0)

// ---- CMsgAllocTable -----------------------------------------------------------------------

CMsgAllocTable::CMsgAllocTable() : m_pStorage(nullptr), m_strName("Links") {}

CMsgAllocTable::~CMsgAllocTable()
{
    RemoveAll();
}

CMsgAllocTable::Entry* CMsgAllocTable::Find(const char* name) const
{
    void* p = nullptr;
    return (name && m_map.Lookup(name, p)) ? static_cast<Entry*>(p) : nullptr;
}

CMsgAllocTable::Entry* CMsgAllocTable::FindOrAdd(const char* name)
{
    Entry* e = Find(name);
    if (!e) {
        e = new Entry;
        e->name = name;
        m_map.SetAt(name, e);
    }
    return e;
}

void CMsgAllocTable::Remove(const char* name)
{
    Entry* e = Find(name);
    if (e) {
        m_map.RemoveKey(name);
        delete e;
    }
}

void CMsgAllocTable::RemoveAll()
{
    POSITION pos = m_map.GetStartPosition();
    while (pos) {
        CString key;
        void* p = nullptr;
        m_map.GetNextAssoc(pos, key, p);
        delete static_cast<Entry*>(p);
    }
    m_map.RemoveAll();
}

void CMsgAllocTable::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD>(m_map.GetCount()));
        POSITION pos = m_map.GetStartPosition();
        while (pos) {
            CString key;
            void* p = nullptr;
            m_map.GetNextAssoc(pos, key, p);
            const Entry* e = static_cast<const Entry*>(p);
            ar << e->name << static_cast<LONG>(e->refs < 0 ? 0 : e->refs);
        }
    } else {
        RemoveAll();
        DWORD n = ar.ReadCount();
        ar.EnsureAvailable(static_cast<unsigned long long>(n) * 5);   // a name byte and a count each
        for (DWORD i = 0; i < n; ++i) {
            CString name;
            LONG refs = 0;
            ar >> name >> refs;
            Entry* e = FindOrAdd(name);
            e->refs = refs;
            e->opens = 0;
        }
    }
}

// ---- CMessageStore ------------------------------------------------------------------------

CMessageStore::CMessageStore(const char* folder) : m_nRefs(1)
{
    m_storage.Open(folder, kStoreMode);   // raises on failure
    m_table.Bind(&m_storage);
}

CMessageStore::~CMessageStore() = default;

ULONG CMessageStore::AddRef()
{
    return ++m_nRefs;
}

ULONG CMessageStore::Release()
{
    ULONG n = --m_nRefs;
    if (n == 0)
        delete this;
    return n;
}

CString CMessageStore::CreateStream(COleStream* stream, char* nameBuffer, UINT bufferSize)
{
    COleStream created;
    m_storage.CreateStream(&created, nullptr, kStoreMode);   // raises on failure
    CString name = created.GetFilePath();
    created.Close();
    AddStreamRef(name);
    try {
        OpenStream(stream, name);
    } catch (...) {
        ReleaseStreamRef(name);
        throw;
    }
    if (nameBuffer && bufferSize) {
        size_t n = std::min<size_t>(static_cast<size_t>(name.GetLength()), bufferSize - 1);
        std::memcpy(nameBuffer, name.c_str(), n);
        nameBuffer[n] = 0;
    }
    return name;
}

BOOL CMessageStore::OpenStream(COleStream* stream, const char* name, CFileException* error)
{
    if (stream->IsOpen())
        CloseStream(stream);
    CMsgAllocTable::Entry* e = m_table.FindOrAdd(name);
    auto dropIfUnused = [&] {
        if (e->refs == 0 && e->opens == 0)
            m_table.Remove(name);
    };
    if (e->opens == 0) {
        CFileException local;
        if (!m_storage.OpenStream(&e->shared, name, kStoreMode, &local)) {
            dropIfUnused();
            if (!error)
                AfxThrowFileException(local.m_cause, local.m_lOsError, local.m_strFileName);
            *error = local;
            return FALSE;
        }
    }
    IStream* clone = nullptr;
    HRESULT hr = e->shared.GetStream()->Clone(&clone);
    if (FAILED(hr)) {
        if (e->opens == 0)
            e->shared.Close();
        dropIfUnused();
        if (!error)
            AfxThrowStgResult(hr, name);
        AfxStgResultToFileException(hr, name, error);
        return FALSE;
    }
    stream->Attach(clone);
    stream->SetFilePath(name);
    stream->m_strStorageName = m_storage.GetName();
    ++e->opens;
    return TRUE;
}

void CMessageStore::CloseStream(COleStream* stream)
{
    if (!stream->IsOpen())
        return;
    CString name = stream->GetFilePath();
    stream->Close();
    CMsgAllocTable::Entry* e = m_table.Find(name);
    if (!e || e->opens == 0)
        return;
    if (--e->opens == 0) {
        e->shared.Close();
        DestroyIfUnused(e);
    }
}

void CMessageStore::AddStreamRef(const char* name)
{
    CMsgAllocTable::Entry* e = m_table.FindOrAdd(name);
    e->refs = e->refs < 0 ? 1 : e->refs + 1;
}

void CMessageStore::ReleaseStreamRef(const char* name)
{
    CMsgAllocTable::Entry* e = m_table.Find(name);
    if (!e || e->refs <= 0)
        return;
    if (--e->refs == 0) {
        if (e->opens == 0) {
            CString n = e->name;
            m_table.Remove(n);
            // Called from destructors: a stream that cannot be removed stays behind.
            CFileException ignored;
            m_storage.DestroyElement(n, &ignored);
        } else {
            e->refs = -1;   // destroyed once its last reader closes it
        }
    }
}

void CMessageStore::DestroyIfUnused(CMsgAllocTable::Entry* e)
{
    if (e->refs > 0)
        return;
    CString n = e->name;
    bool destroy = e->refs < 0;
    m_table.Remove(n);
    if (destroy) {
        CFileException ignored;
        m_storage.DestroyElement(n, &ignored);
    }
}
