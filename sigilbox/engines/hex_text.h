// Octet strings as hexadecimal text and back, and short unique identifiers made from names.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

// 2 x count upper-case hexadecimal digits ("%02X" per byte).
SIGILBOX_API CString OctetsToHexChars(const BYTE* data, int count);

// The value of a hexadecimal digit. Anything else gives a meaningless value: callers check
// the text with IsHexCharsString first.
SIGILBOX_API int HexCharToDigit(char ch);

// Reads the text as a big-endian number into count bytes, right-aligned: a text of odd
// length reads as if preceded by "0"; the bytes it encodes fill the end of the output and the
// bytes before them are zeroed. A text with more significant bytes than the output holds
// raises CInvalidArgException (leading zero bytes that do not fit are dropped).
SIGILBOX_API void HexCharsToOctets(const CString& text, BYTE* output, int count);

// Nonzero when the text is not empty and every character is a hexadecimal digit.
SIGILBOX_API BOOL IsHexCharsString(const BYTE* text, int count);
SIGILBOX_API BOOL IsHexCharsString(const CString& text);

// The first n bytes (at most 16) of the MD5 digest of the text's characters, as upper-case
// hexadecimal text.
SIGILBOX_API CString Name2UniqueID(const char* text, int n);
