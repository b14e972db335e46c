// Hexadecimal text helpers.
#include "sigilbox/engines/hex_text.h"

#include "framework/exceptions.h"
#include "sigilbox/engines/digest.h"

#include <cstring>

namespace {

bool IsHexDigit(unsigned char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

} // namespace

CString OctetsToHexChars(const BYTE* data, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    if (count <= 0 || !data)
        return CString();
    std::string text(static_cast<size_t>(count) * 2, '0');
    for (int i = 0; i < count; ++i) {
        text[2 * static_cast<size_t>(i)] = digits[data[i] >> 4];
        text[2 * static_cast<size_t>(i) + 1] = digits[data[i] & 0x0F];
    }
    return CString(std::move(text));
}

int HexCharToDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    char lower = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    return lower - 'a' + 10;
}

void HexCharsToOctets(const CString& text, BYTE* output, int count)
{
    if (count < 0)
        AfxThrowInvalidArgException();
    const int length = text.GetLength();
    const int bytes = (length + 1) / 2;
    // An odd text has its first digit alone in the first byte.
    auto byteAt = [&](int i) -> BYTE {
        int hi = 2 * i - (length & 1);
        int value = (hi >= 0 ? HexCharToDigit(text[hi]) << 4 : 0) | HexCharToDigit(text[hi + 1]);
        return static_cast<BYTE>(value);
    };
    int skip = 0;
    if (bytes > count) {
        skip = bytes - count;
        for (int i = 0; i < skip; ++i) {
            if (byteAt(i) != 0)
                AfxThrowInvalidArgException();
        }
    }
    const int used = bytes - skip;
    if (count > used)
        std::memset(output, 0, static_cast<size_t>(count - used));
    for (int i = 0; i < used; ++i)
        output[count - used + i] = byteAt(skip + i);
}

BOOL IsHexCharsString(const BYTE* text, int count)
{
    if (!text || count <= 0)
        return FALSE;
    for (int i = 0; i < count; ++i) {
        if (!IsHexDigit(text[i]))
            return FALSE;
    }
    return TRUE;
}

BOOL IsHexCharsString(const CString& text)
{
    return IsHexCharsString(reinterpret_cast<const BYTE*>(text.c_str()), text.GetLength());
}

CString Name2UniqueID(const char* text, int n)
{
    BYTE digest[CMD5DigestMaker::DigestLength];
    const size_t length = text ? std::strlen(text) : 0;
    CMD5DigestMaker maker;
    // Names longer than an int can count are fed in pieces.
    const char* p = text;
    size_t left = length;
    do {
        int piece = left > 0x40000000 ? 0x40000000 : static_cast<int>(left);
        maker.UpdateBlock(reinterpret_cast<const BYTE*>(p), piece, nullptr, left == static_cast<size_t>(piece), 1);
        p += piece;
        left -= static_cast<size_t>(piece);
    } while (left > 0);
    maker.GetCurrentDigest(digest);
    if (n < 0)
        n = 0;
    if (n > CMD5DigestMaker::DigestLength)
        n = CMD5DigestMaker::DigestLength;
    return OctetsToHexChars(digest, n);
}
