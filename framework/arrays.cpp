#include "framework/arrays.h"

#include <cstring>

IMPLEMENT_SERIAL(CByteArray, CObject, 0)
IMPLEMENT_SERIAL(CWordArray, CObject, 0)
IMPLEMENT_SERIAL(CDWordArray, CObject, 0)
IMPLEMENT_DYNAMIC(CUIntArray, CObject)
IMPLEMENT_DYNAMIC(CPtrArray, CObject)
IMPLEMENT_SERIAL(CObArray, CObject, 0)
IMPLEMENT_SERIAL(CStringArray, CObject, 0)
IMPLEMENT_DYNAMIC(CMapStringToPtr, CObject)

void CByteArray::Wipe()
{
    if (m_pData) {
        volatile BYTE* p = m_pData;
        for (int i = 0; i < m_nMaxSize; ++i)
            p[i] = 0;
    }
    SetSize(0);
}

void CObArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD>(m_nSize));
        for (int i = 0; i < m_nSize; ++i)
            ar << m_pData[i];
    } else {
        DWORD n = ar.ReadCount();
        ar.EnsureAvailable(static_cast<unsigned long long>(n) * 2);
        SetSize(static_cast<int>(n));
        for (int i = 0; i < m_nSize; ++i)
            ar >> m_pData[i];
    }
}

// ---- CStringArray ---------------------------------------------------------------------

void CStringArray::SetSize(int newSize, int)
{
    if (newSize < 0 || newSize > kMaxArrayElements)
        AfxThrowInvalidArgException();
    m_items.resize(static_cast<size_t>(newSize));
}

const CString& CStringArray::GetAt(int i) const
{
    if (i < 0 || i >= GetSize())
        AfxThrowInvalidArgException();
    return m_items[static_cast<size_t>(i)];
}

void CStringArray::SetAt(int i, const char* s) { ElementAt(i) = s; }

CString& CStringArray::ElementAt(int i)
{
    if (i < 0 || i >= GetSize())
        AfxThrowInvalidArgException();
    return m_items[static_cast<size_t>(i)];
}

void CStringArray::SetAtGrow(int i, const char* s)
{
    if (i < 0)
        AfxThrowInvalidArgException();
    if (i >= GetSize())
        SetSize(i + 1);
    m_items[static_cast<size_t>(i)] = s;
}

int CStringArray::Add(const char* s)
{
    m_items.emplace_back(s);
    return GetSize() - 1;
}

void CStringArray::InsertAt(int index, const char* s, int count)
{
    if (index < 0 || count <= 0)
        AfxThrowInvalidArgException();
    if (index > GetSize())
        SetSize(index);
    m_items.insert(m_items.begin() + index, static_cast<size_t>(count), CString(s));
}

void CStringArray::RemoveAt(int index, int count)
{
    if (index < 0 || count < 0 || index + count > GetSize())
        AfxThrowInvalidArgException();
    m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
}

int CStringArray::Append(const CStringArray& src)
{
    int old = GetSize();
    std::vector<CString> copy = src.m_items;
    m_items.insert(m_items.end(), copy.begin(), copy.end());
    return old;
}

void CStringArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD>(m_items.size()));
        for (const auto& s : m_items)
            ar << s;
    } else {
        DWORD n = ar.ReadCount();
        ar.EnsureAvailable(n);   // at least one length byte each
        m_items.clear();
        m_items.resize(n);
        for (auto& s : m_items)
            ar >> s;
    }
}

// ---- CMapStringToPtr ------------------------------------------------------------------

BOOL CMapStringToPtr::Lookup(const char* key, void*& value) const
{
    auto it = m_items.find(key ? key : "");
    if (it == m_items.end())
        return FALSE;
    value = it->second;
    return TRUE;
}

void CMapStringToPtr::SetAt(const char* key, void* value) { m_items[key ? key : ""] = value; }

void*& CMapStringToPtr::operator[](const char* key) { return m_items[key ? key : ""]; }

BOOL CMapStringToPtr::RemoveKey(const char* key) { return m_items.erase(key ? key : "") ? TRUE : FALSE; }

POSITION CMapStringToPtr::GetStartPosition() const
{
    if (m_items.empty())
        return nullptr;
    return reinterpret_cast<POSITION>(const_cast<std::pair<const std::string, void*>*>(&*m_items.begin()));
}

void CMapStringToPtr::GetNextAssoc(POSITION& pos, CString& key, void*& value) const
{
    auto* entry = reinterpret_cast<std::pair<const std::string, void*>*>(pos);
    key = CString(entry->first);
    value = entry->second;
    auto next = m_items.upper_bound(entry->first);
    pos = next == m_items.end() ? nullptr : reinterpret_cast<POSITION>(const_cast<std::pair<const std::string, void*>*>(&*next));
}
