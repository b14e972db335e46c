// The records a message carries: its header lines, its addresses and its servers, and the
// owning arrays that hold them (and a message's child parts).
#pragma once

#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/object.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

    // The packed form (CPackedRecords): the name and the value.
    static constexpr int kFields = 2;
    void ToFields(std::string_view* fields) const;
    void FromFields(const std::string_view* fields);

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

// Records of a few text fields each, packed one after another (each field its length, then
// its octets) in blocks that fill up and are never moved: what a message may carry by the
// million costs its octets and a few more.
class CPackedFields {
public:
    explicit CPackedFields(int fields) : m_nFields(fields) {}

    int GetSize() const { return m_nCount; }
    // Appends a record of the fields this array was made for.
    void Append(const std::string_view* fields);
    // The fields of record i; the views end with the next change.
    void Get(int i, std::string_view* fields) const;
    // Calls visit(fields) for each record in order until it returns false.
    template <class Visit>
    void ForEach(Visit visit) const
    {
        std::string_view fields[kMaxFields];
        size_t block = 0;
        size_t pos = 0;
        for (int i = 0; i < m_nCount; ++i) {
            if (pos == m_blocks[block].size()) {
                ++block;
                pos = 0;
            }
            for (int f = 0; f < m_nFields; ++f)
                fields[f] = Take(m_blocks[block], pos);
            if (!visit(static_cast<const std::string_view*>(fields)))
                return;
        }
    }
    void Clear();

    static constexpr int kMaxFields = 4;

private:
    static std::string_view Take(const std::string& block, size_t& pos)
    {
        size_t n = 0;
        for (int shift = 0;; shift += 7) {
            unsigned char c = static_cast<unsigned char>(block[pos++]);
            n |= static_cast<size_t>(c & 0x7F) << shift;
            if (!(c & 0x80))
                break;
        }
        std::string_view text(block.data() + pos, n);
        pos += n;
        return text;
    }

    int m_nFields;
    int m_nCount = 0;
    std::vector<std::string> m_blocks;   // no record spans two
    // Where every 64th record starts: its block and its offset there.
    std::vector<std::pair<uint32_t, uint32_t>> m_marks;
};

// An array of records of class T kept packed (T::kFields text fields, T::ToFields and
// T::FromFields), with the archive form of an owning array of T objects. Records loaded from
// an archive, or stored to one, are also kept as objects for the life of the array: an
// archive refers to what it has seen by address, and may do so again.
template <class T>
class CPackedRecords : public CObject {
public:
    CPackedRecords() = default;
    CPackedRecords(const CPackedRecords&) = delete;
    CPackedRecords& operator=(const CPackedRecords&) = delete;

    int GetSize() const { return m_fields.GetSize(); }
    // Adds a copy of the record and deletes it.
    int AddItem(T* item)
    {
        std::unique_ptr<T> owned(item);
        Append(*item);
        return GetSize() - 1;
    }
    // Record i to look at: valid until the next GetItem or change.
    const T* GetItem(int i) const
    {
        if (i >= 0 && static_cast<size_t>(i) < m_objects.size())
            return m_objects[static_cast<size_t>(i)].get();
        std::string_view fields[T::kFields];
        m_fields.Get(i, fields);
        m_view.FromFields(fields);
        return &m_view;
    }
    // Calls visit(fields) for each record in order until it returns false.
    template <class Visit>
    void ForEach(Visit visit) const
    {
        m_fields.ForEach(visit);
    }
    void DeleteAll()
    {
        m_fields.Clear();
        m_objects.clear();
    }

protected:
    void Append(const T& record)
    {
        std::string_view fields[T::kFields];
        record.ToFields(fields);
        m_fields.Append(fields);
    }
    void SerializePacked(CArchive& ar, CRuntimeClass* elementClass)
    {
        if (ar.IsStoring()) {
            while (m_objects.size() < static_cast<size_t>(GetSize())) {
                auto record = std::make_unique<T>();
                std::string_view fields[T::kFields];
                m_fields.Get(static_cast<int>(m_objects.size()), fields);
                record->FromFields(fields);
                record->m_bAdopted = true;
                m_objects.push_back(std::move(record));
            }
            ar.WriteCount(static_cast<DWORD>(GetSize()));
            for (const auto& record : m_objects)
                ar.WriteObject(record.get());
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
            // Kept whatever happens: the archive may hand it out again.
            item->m_bAdopted = true;
            m_objects.emplace_back(item);
            Append(*item);
        }
    }

private:
    CPackedFields m_fields{T::kFields};
    std::vector<std::unique_ptr<T>> m_objects;   // objects of the first records
    mutable T m_view;
};

// The header lines of a message part, each a name and a value, in order.
class CHeaderRecords : public CPackedRecords<CHeaderRecord> {
    DECLARE_SERIAL(CHeaderRecords)
public:
    void Add(const CString& name, const CString& value);
    // The value of the first record of that name (any case); "" when there is none.
    CString Find(const char* name) const;
    BOOL Find(const char* name, CString& value) const;
    // Every value of that name, in order; returns their count.
    int FindAll(const char* name, CStringArray& values) const;
    void Serialize(CArchive& ar) override { SerializePacked(ar, RUNTIME_CLASS(CHeaderRecord)); }
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

    // The packed form (CPackedRecords): the four members, the kind as decimal text (which
    // ends in '=' when the name is left out for being the address).
    static constexpr int kFields = 4;
    void ToFields(std::string_view* fields) const;
    void FromFields(const std::string_view* fields);

    CString m_strReserved;   // always "" here
    LONG m_nKind = kRcptFrom;
    CString m_strAddress;
    CString m_strName;

private:
    mutable char m_kindText[16] = {};
};

class CRcpts : public CPackedRecords<CRcpt> {
    DECLARE_SERIAL(CRcpts)
public:
    void Serialize(CArchive& ar) override { SerializePacked(ar, RUNTIME_CLASS(CRcpt)); }
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
