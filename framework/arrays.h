// The framework's collections: the byte, word and double-word arrays, string, object and
// pointer arrays, and the CArray template whose element helpers (ConstructElements,
// DestructElements, SerializeElements) are called where the framework called them, so a
// library can state its ownership rules as overloads of those helpers.
#pragma once

#include "framework/archive.h"
#include "framework/cstring.h"
#include "framework/exceptions.h"
#include "framework/framework_export.h"
#include "framework/object.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

// ---- element helpers ----------------------------------------------------------------------

template <class TYPE>
inline void ConstructElements(TYPE* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) TYPE();
}

template <class TYPE>
inline void DestructElements(TYPE* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].~TYPE();
}

template <class TYPE>
inline void SerializeElements(CArchive& ar, TYPE* elements, int count)
{
    static_assert(std::is_trivially_copyable_v<TYPE>, "give this element type a SerializeElements overload");
    size_t bytes = static_cast<size_t>(count) * sizeof(TYPE);
    if (ar.IsStoring()) {
        ar.Write(elements, static_cast<UINT>(bytes));
    } else {
        ar.EnsureAvailable(bytes);
        if (ar.Read(elements, static_cast<UINT>(bytes)) != bytes)
            AfxThrowArchiveException(CArchiveException::endOfFile, ar.m_strFileName);
    }
}

template <class TYPE, class ARG_TYPE>
inline BOOL CompareElements(const TYPE* a, const ARG_TYPE* b)
{
    return *a == *b;
}

// Largest element count any array accepts: keeps byte sizes far inside the address space
// and inside the 32-bit counts of stored archives.
constexpr int kMaxArrayElements = 0x7FFFFFFF / 2;

// ---- plain-value arrays -------------------------------------------------------------------

// Storage shared by the arrays of plain values (bytes, words, double words, pointers).
template <class T>
class FRAMEWORK_API CPlainArrayBase : public CObject {
public:
    CPlainArrayBase() = default;
    CPlainArrayBase(const CPlainArrayBase& other) : CObject() { Copy(other); }
    CPlainArrayBase& operator=(const CPlainArrayBase& other)
    {
        if (this != &other)
            Copy(other);
        return *this;
    }
    ~CPlainArrayBase() override { delete[] m_pData; }

    int GetSize() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    void SetSize(int newSize, int growBy = -1)
    {
        if (newSize < 0 || newSize > kMaxArrayElements)
            AfxThrowInvalidArgException();
        if (growBy >= 0)
            m_nGrowBy = growBy;
        if (newSize == 0) {
            delete[] m_pData;
            m_pData = nullptr;
            m_nSize = m_nMaxSize = 0;
            return;
        }
        if (newSize > m_nMaxSize) {
            int grow = m_nGrowBy;
            if (grow == 0) {
                grow = std::min(1024, std::max(4, m_nSize / 8));
            }
            // Grow geometrically so building an array element by element stays linear.
            long long want = std::max<long long>(newSize, static_cast<long long>(m_nMaxSize) + std::max(grow, m_nMaxSize / 2));
            int newMax = static_cast<int>(std::min<long long>(want, kMaxArrayElements));
            T* p = new T[static_cast<size_t>(newMax)];
            if (m_nSize)
                std::memcpy(p, m_pData, static_cast<size_t>(m_nSize) * sizeof(T));
            std::memset(static_cast<void*>(p + m_nSize), 0, static_cast<size_t>(newMax - m_nSize) * sizeof(T));
            delete[] m_pData;
            m_pData = p;
            m_nMaxSize = newMax;
        } else if (newSize > m_nSize) {
            std::memset(static_cast<void*>(m_pData + m_nSize), 0, static_cast<size_t>(newSize - m_nSize) * sizeof(T));
        }
        m_nSize = newSize;
    }
    void FreeExtra()
    {
        if (m_nSize == m_nMaxSize)
            return;
        T* p = m_nSize ? new T[static_cast<size_t>(m_nSize)] : nullptr;
        if (m_nSize)
            std::memcpy(p, m_pData, static_cast<size_t>(m_nSize) * sizeof(T));
        delete[] m_pData;
        m_pData = p;
        m_nMaxSize = m_nSize;
    }
    void RemoveAll() { SetSize(0); }

    T GetAt(int i) const { Check(i); return m_pData[i]; }
    void SetAt(int i, T v) { Check(i); m_pData[i] = v; }
    T& ElementAt(int i) { Check(i); return m_pData[i]; }
    const T* GetData() const { return m_pData; }
    T* GetData() { return m_pData; }
    void SetAtGrow(int i, T v)
    {
        if (i < 0)
            AfxThrowInvalidArgException();
        if (i >= m_nSize)
            SetSize(i + 1);
        m_pData[i] = v;
    }
    int Add(T v)
    {
        int i = m_nSize;
        SetAtGrow(i, v);
        return i;
    }
    int Append(const CPlainArrayBase& src) { return Append(src.m_pData, src.m_nSize); }
    int Append(const T* data, int count)
    {
        if (count < 0)
            AfxThrowInvalidArgException();
        int old = m_nSize;
        if (count == 0)
            return old;
        if (static_cast<long long>(old) + count > kMaxArrayElements)
            AfxThrowInvalidArgException();
        // The source may lie inside this array: copy from where it is after growing.
        std::ptrdiff_t inside = (m_pData && data >= m_pData && data < m_pData + m_nSize) ? data - m_pData : -1;
        SetSize(old + count);
        std::memmove(m_pData + old, inside >= 0 ? m_pData + inside : data, static_cast<size_t>(count) * sizeof(T));
        return old;
    }
    void Copy(const CPlainArrayBase& src)
    {
        if (this == &src)
            return;
        SetSize(src.m_nSize);
        if (m_nSize)
            std::memcpy(m_pData, src.m_pData, static_cast<size_t>(m_nSize) * sizeof(T));
    }
    void InsertAt(int index, T v, int count = 1)
    {
        if (index < 0 || count < 0)
            AfxThrowInvalidArgException();
        if (count == 0)
            return;
        if (index >= m_nSize) {
            SetSize(index + count);
        } else {
            int old = m_nSize;
            SetSize(m_nSize + count);
            std::memmove(m_pData + index + count, m_pData + index, static_cast<size_t>(old - index) * sizeof(T));
        }
        for (int i = 0; i < count; ++i)
            m_pData[index + i] = v;
    }
    void RemoveAt(int index, int count = 1)
    {
        if (index < 0 || count < 0 || index + count > m_nSize)
            AfxThrowInvalidArgException();
        std::memmove(m_pData + index, m_pData + index + count, static_cast<size_t>(m_nSize - index - count) * sizeof(T));
        m_nSize -= count;
    }
    T operator[](int i) const { return GetAt(i); }
    T& operator[](int i) { return ElementAt(i); }

protected:
    void Check(int i) const
    {
        if (i < 0 || i >= m_nSize)
            AfxThrowInvalidArgException();
    }
    // Elements as little-endian fields of sizeof(T) bytes (count first).
    void SerializePlain(CArchive& ar)
    {
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<DWORD>(m_nSize));
            WriteElements(ar);
        } else {
            DWORD n = ar.ReadCount();
            ar.EnsureAvailable(static_cast<unsigned long long>(n) * sizeof(T));
            if (n > static_cast<DWORD>(kMaxArrayElements))
                AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
            SetSize(static_cast<int>(n));
            ReadElements(ar);
        }
    }

    T* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;

private:
    void WriteElements(CArchive& ar)
    {
        if constexpr (sizeof(T) == 1) {
            ar.Write(m_pData, static_cast<UINT>(m_nSize));
        } else {
            for (int i = 0; i < m_nSize; ++i)
                ar << static_cast<std::conditional_t<sizeof(T) == 2, WORD, DWORD>>(m_pData[i]);
        }
    }
    void ReadElements(CArchive& ar)
    {
        if constexpr (sizeof(T) == 1) {
            if (m_nSize && ar.Read(m_pData, static_cast<UINT>(m_nSize)) != static_cast<UINT>(m_nSize))
                AfxThrowArchiveException(CArchiveException::endOfFile, ar.m_strFileName);
        } else {
            for (int i = 0; i < m_nSize; ++i) {
                std::conditional_t<sizeof(T) == 2, WORD, DWORD> v;
                ar >> v;
                m_pData[i] = static_cast<T>(v);
            }
        }
    }
};

class FRAMEWORK_API CByteArray : public CPlainArrayBase<BYTE> {
    DECLARE_SERIAL(CByteArray)
public:
    CByteArray() = default;
    CByteArray(const CByteArray&) = default;
    CByteArray& operator=(const CByteArray&) = default;
    void Serialize(CArchive& ar) override { SerializePlain(ar); }
    // Overwrites the bytes (whole allocation) before they are released: for key material.
    void Wipe();
};

class FRAMEWORK_API CWordArray : public CPlainArrayBase<WORD> {
    DECLARE_SERIAL(CWordArray)
public:
    void Serialize(CArchive& ar) override { SerializePlain(ar); }
};

class FRAMEWORK_API CDWordArray : public CPlainArrayBase<DWORD> {
    DECLARE_SERIAL(CDWordArray)
public:
    void Serialize(CArchive& ar) override { SerializePlain(ar); }
};

class FRAMEWORK_API CUIntArray : public CPlainArrayBase<UINT> {
    DECLARE_DYNAMIC(CUIntArray)
};

// Pointer arrays own nothing; they are not serialisable.
class FRAMEWORK_API CPtrArray : public CPlainArrayBase<void*> {
    DECLARE_DYNAMIC(CPtrArray)
};

// An array of object pointers: stored as object references; owns nothing.
class FRAMEWORK_API CObArray : public CPlainArrayBase<CObject*> {
    DECLARE_SERIAL(CObArray)
public:
    void Serialize(CArchive& ar) override;
};

// ---- the CArray template ------------------------------------------------------------------

template <class TYPE, class ARG_TYPE>
class FRAMEWORK_API CArray : public CObject {
public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;
    ~CArray() override
    {
        if (m_pData) {
            DestructElements(m_pData, m_nSize);
            ::operator delete(static_cast<void*>(m_pData));
        }
    }

    int GetSize() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    void SetSize(int newSize, int growBy = -1)
    {
        if (newSize < 0 || newSize > kMaxArrayElements)
            AfxThrowInvalidArgException();
        if (growBy >= 0)
            m_nGrowBy = growBy;
        if (newSize == 0) {
            if (m_pData) {
                DestructElements(m_pData, m_nSize);
                ::operator delete(static_cast<void*>(m_pData));
                m_pData = nullptr;
            }
            m_nSize = m_nMaxSize = 0;
        } else if (newSize <= m_nMaxSize) {
            if (newSize > m_nSize)
                ConstructElements(m_pData + m_nSize, newSize - m_nSize);
            else if (newSize < m_nSize)
                DestructElements(m_pData + newSize, m_nSize - newSize);
            m_nSize = newSize;
        } else {
            int grow = m_nGrowBy ? m_nGrowBy : std::min(1024, std::max(4, m_nSize / 8));
            long long want = std::max<long long>(newSize, static_cast<long long>(m_nMaxSize) + std::max(grow, m_nMaxSize / 2));
            int newMax = static_cast<int>(std::min<long long>(want, kMaxArrayElements));
            TYPE* p = static_cast<TYPE*>(::operator new(static_cast<size_t>(newMax) * sizeof(TYPE)));
            // Elements move bitwise, as in the framework: element types must not hold
            // pointers into themselves.
            if (m_nSize)
                std::memcpy(static_cast<void*>(p), static_cast<const void*>(m_pData), static_cast<size_t>(m_nSize) * sizeof(TYPE));
            ConstructElements(p + m_nSize, newSize - m_nSize);
            ::operator delete(static_cast<void*>(m_pData));
            m_pData = p;
            m_nSize = newSize;
            m_nMaxSize = newMax;
        }
    }
    void RemoveAll() { SetSize(0); }
    TYPE GetAt(int i) const { Check(i); return m_pData[i]; }
    void SetAt(int i, ARG_TYPE v) { Check(i); m_pData[i] = v; }
    TYPE& ElementAt(int i) { Check(i); return m_pData[i]; }
    const TYPE& ElementAt(int i) const { Check(i); return m_pData[i]; }
    const TYPE* GetData() const { return m_pData; }
    TYPE* GetData() { return m_pData; }
    void SetAtGrow(int i, ARG_TYPE v)
    {
        if (i < 0)
            AfxThrowInvalidArgException();
        if (i >= m_nSize)
            SetSize(i + 1);
        m_pData[i] = v;
    }
    int Add(ARG_TYPE v)
    {
        int i = m_nSize;
        SetAtGrow(i, v);
        return i;
    }
    void InsertAt(int index, ARG_TYPE v, int count = 1)
    {
        if (index < 0 || count <= 0)
            AfxThrowInvalidArgException();
        if (index >= m_nSize) {
            SetSize(index + count);
        } else {
            int old = m_nSize;
            SetSize(m_nSize + count);
            // The new slots at the end were constructed; drop them and shift bitwise.
            DestructElements(m_pData + old, count);
            std::memmove(static_cast<void*>(m_pData + index + count), static_cast<const void*>(m_pData + index), static_cast<size_t>(old - index) * sizeof(TYPE));
            ConstructElements(m_pData + index, count);
        }
        for (int i = 0; i < count; ++i)
            m_pData[index + i] = v;
    }
    void RemoveAt(int index, int count = 1)
    {
        if (index < 0 || count < 0 || index + count > m_nSize)
            AfxThrowInvalidArgException();
        DestructElements(m_pData + index, count);
        int rest = m_nSize - index - count;
        if (rest)
            std::memmove(static_cast<void*>(m_pData + index), static_cast<const void*>(m_pData + index + count), static_cast<size_t>(rest) * sizeof(TYPE));
        m_nSize -= count;
    }
    TYPE operator[](int i) const { return GetAt(i); }
    TYPE& operator[](int i) { return ElementAt(i); }

    void Serialize(CArchive& ar) override
    {
        CObject::Serialize(ar);
        if (ar.IsStoring()) {
            ar.WriteCount(static_cast<DWORD>(m_nSize));
        } else {
            DWORD n = ar.ReadCount();
            // Every element takes at least one byte in any stored form.
            ar.EnsureAvailable(n);
            if (n > static_cast<DWORD>(kMaxArrayElements))
                AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
            SetSize(static_cast<int>(n));
        }
        SerializeElements(ar, m_pData, m_nSize);
    }

protected:
    void Check(int i) const
    {
        if (i < 0 || i >= m_nSize)
            AfxThrowInvalidArgException();
    }
    TYPE* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};

// ---- string array -------------------------------------------------------------------------

class FRAMEWORK_API CStringArray : public CObject {
    DECLARE_SERIAL(CStringArray)
public:
    CStringArray() = default;
    CStringArray(const CStringArray& other) : CObject() { m_items = other.m_items; }
    CStringArray& operator=(const CStringArray& other) { m_items = other.m_items; return *this; }

    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetUpperBound() const { return GetSize() - 1; }
    void SetSize(int newSize, int growBy = -1);
    void RemoveAll() { m_items.clear(); }
    const CString& GetAt(int i) const;
    void SetAt(int i, const char* s);
    CString& ElementAt(int i);
    void SetAtGrow(int i, const char* s);
    int Add(const char* s);
    // Keeps the whole string, embedded zero characters included.
    int Add(const CString& s)
    {
        m_items.push_back(s);
        return GetSize() - 1;
    }
    void InsertAt(int index, const char* s, int count = 1);
    void RemoveAt(int index, int count = 1);
    int Append(const CStringArray& src);
    void Copy(const CStringArray& src) { m_items = src.m_items; }
    const CString& operator[](int i) const { return GetAt(i); }
    CString& operator[](int i) { return ElementAt(i); }
    void Serialize(CArchive& ar) override;

private:
    std::vector<CString> m_items;
};

// ---- maps -------------------------------------------------------------------------------

// A map from strings to pointers (the message store's stream table). POSITION iteration as
// in the framework: a null position ends the walk.
struct __POSITION;
using POSITION = __POSITION*;

class FRAMEWORK_API CMapStringToPtr : public CObject {
    DECLARE_DYNAMIC(CMapStringToPtr)
public:
    CMapStringToPtr() = default;
    ~CMapStringToPtr() override = default;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    BOOL IsEmpty() const { return m_items.empty(); }
    BOOL Lookup(const char* key, void*& value) const;
    void SetAt(const char* key, void* value);
    void*& operator[](const char* key);
    BOOL RemoveKey(const char* key);
    void RemoveAll() { m_items.clear(); }
    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& pos, CString& key, void*& value) const;

private:
    std::map<std::string, void*> m_items;
};
