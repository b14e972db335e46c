// Small text helpers the framework and the program share. Internal: not installed, and no
// part of the framework's API. ASCII only, whatever the locale.
#pragma once

#include <string>
#include <string_view>

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLowerCopy(std::string_view s)
{
    std::string lower(s);
    for (char& c : lower)
        c = AsciiLower(c);
    return lower;
}

inline bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

// The value of a hex digit of either case, or -1.
inline int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Three kinds of blank, by what the text around them allows:
// the blanks of mail headers and command lines,
inline bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
// of lines whose ends are cut at '\n' only (a CR before it is still on the line),
inline bool IsSpaceTabOrCR(char c) { return c == ' ' || c == '\t' || c == '\r'; }
// and every white space of C's but the line feed.
inline bool IsSpaceExceptNewline(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
