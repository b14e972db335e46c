// CString: the framework's single-byte string, with the members the program uses.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

#include <cstdarg>
#include <string>
#include <string_view>

class FRAMEWORK_API CString {
public:
    CString() = default;
    CString(const char* s) : m_str(s ? s : "") {}
    CString(const char* s, int length) : m_str(s ? std::string(s, static_cast<size_t>(length < 0 ? 0 : length)) : std::string()) {}
    CString(char ch, int repeat = 1) : m_str(static_cast<size_t>(repeat < 0 ? 0 : repeat), ch) {}
    CString(const unsigned char* s) : CString(reinterpret_cast<const char*>(s)) {}
    explicit CString(std::string s) : m_str(std::move(s)) {}
    explicit CString(std::string_view s) : m_str(s) {}
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* s) { m_str = s ? s : ""; return *this; }
    CString& operator=(char ch) { m_str.assign(1, ch); return *this; }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); m_str.shrink_to_fit(); }
    // Overwrites the characters before releasing them: for passwords and other secrets.
    void Wipe();

    char GetAt(int i) const;
    void SetAt(int i, char ch);
    char operator[](int i) const { return GetAt(i); }
    operator const char*() const { return m_str.c_str(); }
    const char* c_str() const { return m_str.c_str(); }
    const std::string& str() const { return m_str; }
    std::string_view view() const { return m_str; }

    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(const char* s) { if (s) m_str += s; return *this; }
    CString& operator+=(char ch) { m_str += ch; return *this; }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }
    friend CString operator+(char a, const CString& b) { CString r(a); r += b; return r; }

    int Compare(const char* s) const;
    int CompareNoCase(const char* s) const;
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.m_str == (b ? b : ""); }
    friend bool operator==(const char* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const char* set) const;
    CString SpanExcluding(const char* set) const;

    int Find(char ch) const { return Find(ch, 0); }
    int Find(char ch, int start) const;
    int Find(const char* sub) const { return Find(sub, 0); }
    int Find(const char* sub, int start) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* set) const;

    void MakeUpper();
    void MakeLower();
    void MakeReverse();
    void TrimLeft();
    void TrimLeft(char ch);
    void TrimLeft(const char* set);
    void TrimRight();
    void TrimRight(char ch);
    void TrimRight(const char* set);
    int Replace(char from, char to);
    int Replace(const char* from, const char* to);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* s);
    int Delete(int index, int count = 1);

    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void FormatV(const char* format, va_list args);

    // Direct access to the characters: GetBuffer makes room for at least minLength
    // characters; ReleaseBuffer sets the length (-1: up to the first NUL).
    char* GetBuffer(int minLength);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

    // Loads a string-table entry through the string source installed by the program.
    BOOL LoadString(UINT id);

private:
    std::string m_str;
};

// The program's string table: the program installs a lookup, the library stays free of it.
using StringTableLookup = const char* (*)(UINT id);
FRAMEWORK_API void AfxSetStringTable(StringTableLookup lookup);
