#include "framework/cstring.h"
#include "framework/exceptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
StringTableLookup g_stringTable = nullptr;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
}

void AfxSetStringTable(StringTableLookup lookup) { g_stringTable = lookup; }

BOOL CString::LoadString(UINT id)
{
    const char* s = g_stringTable ? g_stringTable(id) : nullptr;
    if (!s) {
        m_str.clear();
        return FALSE;
    }
    m_str = s;
    return TRUE;
}

void CString::Wipe()
{
    volatile char* p = m_str.data();
    for (size_t i = 0; i < m_str.capacity(); ++i)
        p[i] = 0;
    m_str.clear();
}

char CString::GetAt(int i) const
{
    if (i < 0 || i >= GetLength())
        AfxThrowInvalidArgException();
    return m_str[static_cast<size_t>(i)];
}

void CString::SetAt(int i, char ch)
{
    if (i < 0 || i >= GetLength())
        AfxThrowInvalidArgException();
    m_str[static_cast<size_t>(i)] = ch;
}

int CString::Compare(const char* s) const
{
    int r = std::strcmp(m_str.c_str(), s ? s : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* s) const
{
    const unsigned char* a = reinterpret_cast<const unsigned char*>(m_str.c_str());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(s ? s : "");
    for (;; ++a, ++b) {
        int ca = std::tolower(*a), cb = std::tolower(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            return 0;
    }
}

CString CString::Mid(int first) const { return Mid(first, GetLength() - first); }

CString CString::Mid(int first, int count) const
{
    if (first < 0)
        first = 0;
    if (count < 0)
        count = 0;
    if (first > GetLength())
        return CString();
    if (count > GetLength() - first)
        count = GetLength() - first;
    return CString(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const
{
    if (count < 0)
        count = 0;
    if (count > GetLength())
        count = GetLength();
    return Mid(GetLength() - count, count);
}

CString CString::SpanIncluding(const char* set) const
{
    size_t n = m_str.find_first_not_of(set ? set : "");
    return CString(n == std::string::npos ? m_str : m_str.substr(0, n));
}

CString CString::SpanExcluding(const char* set) const
{
    size_t n = m_str.find_first_of(set ? set : "");
    return CString(n == std::string::npos ? m_str : m_str.substr(0, n));
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start > GetLength())
        return -1;
    size_t n = m_str.find(ch, static_cast<size_t>(start));
    return n == std::string::npos ? -1 : static_cast<int>(n);
}

int CString::Find(const char* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    size_t n = m_str.find(sub, static_cast<size_t>(start));
    return n == std::string::npos ? -1 : static_cast<int>(n);
}

int CString::ReverseFind(char ch) const
{
    size_t n = m_str.rfind(ch);
    return n == std::string::npos ? -1 : static_cast<int>(n);
}

int CString::FindOneOf(const char* set) const
{
    size_t n = m_str.find_first_of(set ? set : "");
    return n == std::string::npos ? -1 : static_cast<int>(n);
}

void CString::MakeUpper()
{
    for (auto& c : m_str)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void CString::MakeLower()
{
    for (auto& c : m_str)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void CString::MakeReverse() { std::reverse(m_str.begin(), m_str.end()); }

void CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && IsSpace(m_str[i]))
        ++i;
    m_str.erase(0, i);
}

void CString::TrimLeft(char ch)
{
    size_t i = 0;
    while (i < m_str.size() && m_str[i] == ch)
        ++i;
    m_str.erase(0, i);
}

void CString::TrimLeft(const char* set)
{
    size_t n = m_str.find_first_not_of(set ? set : "");
    m_str.erase(0, n == std::string::npos ? m_str.size() : n);
}

void CString::TrimRight()
{
    while (!m_str.empty() && IsSpace(m_str.back()))
        m_str.pop_back();
}

void CString::TrimRight(char ch)
{
    while (!m_str.empty() && m_str.back() == ch)
        m_str.pop_back();
}

void CString::TrimRight(const char* set)
{
    size_t n = m_str.find_last_not_of(set ? set : "");
    m_str.erase(n == std::string::npos ? 0 : n + 1);
}

int CString::Replace(char from, char to)
{
    int count = 0;
    for (auto& c : m_str)
        if (c == from) {
            c = to;
            ++count;
        }
    return count;
}

int CString::Replace(const char* from, const char* to)
{
    if (!from || !*from)
        return 0;
    std::string f(from), t(to ? to : "");
    int count = 0;
    size_t pos = 0;
    while ((pos = m_str.find(f, pos)) != std::string::npos) {
        m_str.replace(pos, f.size(), t);
        pos += t.size();
        ++count;
    }
    return count;
}

int CString::Remove(char ch)
{
    size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int index, char ch)
{
    index = std::clamp(index, 0, GetLength());
    m_str.insert(m_str.begin() + index, ch);
    return GetLength();
}

int CString::Insert(int index, const char* s)
{
    index = std::clamp(index, 0, GetLength());
    m_str.insert(static_cast<size_t>(index), s ? s : "");
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (index < 0)
        index = 0;
    if (count > 0 && index < GetLength())
        m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        m_str.clear();
        return;
    }
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    m_str.assign(buf.data(), static_cast<size_t>(n));
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_str.resize(static_cast<size_t>(minLength));
    return m_str.data();
}

char* CString::GetBufferSetLength(int length)
{
    m_str.resize(static_cast<size_t>(length < 0 ? 0 : length));
    return m_str.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(std::strlen(m_str.c_str()));
    if (newLength > GetLength())
        newLength = GetLength();
    m_str.resize(static_cast<size_t>(newLength));
}
