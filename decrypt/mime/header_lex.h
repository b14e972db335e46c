// Lexical helpers for header values: normalisation, parameter lookup, and the decoding of
// file names sent with RFC 2231 parameters or RFC 2047 encoded words.
#pragma once

#include "framework/cstring.h"

// The special characters of header values; with comments kept, '(' and ')' are special too.
constexpr const char kHeaderSpecials[] = "!%@=,.;:\"/<>[]{}";

// The value starts with `prefix`, in any case.
BOOL AfxStartsWithNoCase(const CString& value, const char* prefix);

// The transfer-encoding names senders use for uuencode ("x-uuencode", "uuencode", "x-uue",
// "uue"), compared as a whole token.
BOOL AfxIsUuencodeEncodingName(const CString& value);

// Normalises a header value: comments ("(...)", nested) are dropped and count as white
// space unless `keepComments`; quoted strings are copied unchanged; runs of blanks become
// one space between two ordinary characters and vanish next to a special character or a
// quoted string.
CString AfxNormalizeHeaderValue(const CString& value, BOOL keepComments);

// Looks up a parameter of a normalised value: a ';' (outside quotes) followed by the name
// (any case) and '='. The value runs to the next such ';' or the end; a quoted value loses
// its quotes (and its backslash escapes). "" and FALSE when absent.
BOOL AfxFindHeaderParameter(const CString& value, const char* name, CString& result);

// Looks up a name-giving parameter ("name", "filename", ...) and decodes it to UTF-8: the
// RFC 2231 forms (name*=charset'lang'text, name*0=, name*0*=, ...) are preferred; otherwise
// the plain parameter, with any RFC 2047 encoded words decoded (also when a sender cut them
// into plain sections). Control characters (C0, DEL, C1) are dropped from the result.
BOOL AfxFindNameParameter(const CString& value, const char* name, CString& result);

// Decodes the RFC 2047 encoded words ("=?charset?B?...?=", "=?charset?Q?...?=") of a text
// to UTF-8; white space between two encoded words vanishes; the bytes of adjacent words in the
// same character set are converted together (senders split characters across words);
// malformed words, and the text around words, are read as a set of unknown name.
CString AfxDecodeEncodedWords(const CString& text);

// Converts text in the given character set to UTF-8 through the C library's converters,
// under the names mailers use (Windows code pages for the older labels they stand for:
// ISO-8859-1 and US-ASCII read as Windows-1252, Shift_JIS as CP932, EUC-KR as CP949,
// GB2312 as GB18030). A "*language" suffix is ignored. Bytes that do not convert become
// U+FFFD. A set of unknown name is kept when it is valid UTF-8 and read as Windows-1252
// when not. Only the first 4096 bytes are converted.
CString AfxCharsetToUtf8(const std::string& bytes, const CString& charset);
