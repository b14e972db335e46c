// The records a message carries: its header lines, its addresses and its servers, and the
// owning arrays that hold them (and a message's child parts).
#pragma once

#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/object.h"

// Elements of owning arrays remember that an array took them, so a stored archive cannot
// make two arrays own one object (or a message own its own ancestor).
struct CAdoptable {
    bool m_bAdopted = false;
    bool m_bLoading = false;
};

class CHeaderRecord : public CObject, public CAdoptable {
    DECLARE_SERIAL(CHeaderRecord)
public:
    CHeaderRecord() = default;
    CHeaderRecord(const CString& name, const CString& value) : m_strName(name), m_strValue(value) {}
    void Serialize(CArchive& ar) override;

    CString m_strName;
    CString m_strValue;
};

// An array that owns its elements (deletes them) and loads them safely.
template <class T>
class COwningArray : public CObArray {
public:
    COwningArray() = default;
    COwningArray(const COwningArray&) = delete;
    COwningArray& operator=(const COwningArray&) = delete;
    ~COwningArray() override { DeleteAll(); }

    T* GetItem(int i) const { return static_cast<T*>(GetAt(i)); }
    int AddItem(T* item)
    {
        item->m_bAdopted = true;
        return Add(item);
    }
    // Takes the element out without deleting it.
    T* DetachAt(int i)
    {
        T* item = GetItem(i);
        RemoveAt(i);
        item->m_bAdopted = false;
        return item;
    }
    // Each element leaves the array before it is deleted, so an element's destructor never
    // finds itself still listed.
    void DeleteAll()
    {
        while (GetSize() > 0) {
            T* item = GetItem(GetSize() - 1);
            RemoveAt(GetSize() - 1);
            item->m_bAdopted = false;
            delete item;
        }
    }

protected:
    void SerializeOwned(CArchive& ar, CRuntimeClass* elementClass)
    {
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<DWORD>(GetSize()));
            for (int i = 0; i < GetSize(); ++i)
                ar.WriteObject(GetAt(i));
            return;
        }
        DeleteAll();
        DWORD n = ar.ReadCount();
        ar.EnsureAvailable(static_cast<unsigned long long>(n) * 2);
        for (DWORD i = 0; i < n; ++i) {
            CObject* o = ar.ReadObject(elementClass);
            if (!o)
                continue;
            T* item = static_cast<T*>(o);
            if (item->m_bAdopted || item->m_bLoading)
                AfxThrowArchiveException(CArchiveException::badIndex, ar.m_strFileName);
            AddItem(item);
        }
    }
};

class CHeaderRecords : public COwningArray<CHeaderRecord> {
    DECLARE_SERIAL(CHeaderRecords)
public:
    void Add(const CString& name, const CString& value) { AddItem(new CHeaderRecord(name, value)); }
    // The value of the first record of that name (any case); "" when there is none.
    CString Find(const char* name) const;
    BOOL Find(const char* name, CString& value) const;
    // Every value of that name, in order; returns their count.
    int FindAll(const char* name, CStringArray& values) const;
    void Serialize(CArchive& ar) override { SerializeOwned(ar, RUNTIME_CLASS(CHeaderRecord)); }
};

// Header kinds of an address.
constexpr LONG kRcptFrom = 0;
constexpr LONG kRcptTo = 1;
constexpr LONG kRcptCc = 2;

class CRcpt : public CObject, public CAdoptable {
    DECLARE_SERIAL(CRcpt)
public:
    CRcpt() = default;
    void Clear();
    void Serialize(CArchive& ar) override;

    CString m_strReserved;   // always "" here
    LONG m_nKind = kRcptFrom;
    CString m_strAddress;
    CString m_strName;
};

class CRcpts : public COwningArray<CRcpt> {
    DECLARE_SERIAL(CRcpts)
public:
    void Serialize(CArchive& ar) override { SerializeOwned(ar, RUNTIME_CLASS(CRcpt)); }
};

class CInetServer : public CObject, public CAdoptable {
    DECLARE_SERIAL(CInetServer)
public:
    void Serialize(CArchive& ar) override;

    CString m_strHost;
    DWORD m_nAddress = 0xFFFFFFFFu;
    WORD m_nPort = 0;
};

class CInetServers : public COwningArray<CInetServer> {
    DECLARE_SERIAL(CInetServers)
public:
    void Serialize(CArchive& ar) override { SerializeOwned(ar, RUNTIME_CLASS(CInetServer)); }
};
