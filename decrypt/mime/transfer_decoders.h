// Decoders that turn transfer-encoded text back into bytes: base64, quoted-printable and
// uuencode, plus the test for a uuencoded data line.
//
// Every decoder reads forward from the source's current position and appends to the
// destination at its current position; source and destination are separate files. A
// length of 0 means "to the end of the source" (uuencode: no limit). The read-buffer size
// only changes how the source is read, never the result; it exists so chunk edges can be
// exercised.
#pragma once

#include "framework/cstring.h"
#include "framework/file.h"
#include "framework/types.h"

#include <string_view>

constexpr UINT kDecoderReadBuffer = 4096;

// Decodes `length` bytes of base64 text. With skipLineBreaks nonzero, CR and LF are
// ignored wherever they occur; otherwise every byte must be a base64 character or '='.
// Raises CMIMEEncodingException for a character outside the alphabet, a quad that yields
// no byte, or text that ends inside a quad; what was decoded before the fault is written.
void DecodeBase64(CFile* source, CFile* destination, DWORD length, int skipLineBreaks,
                  UINT readBufferSize = kDecoderReadBuffer);

// What a tolerant decode met on its way.
struct CDecodeReport {
    DWORD nSkipped = 0;      // characters outside the alphabet that were passed over
    BOOL bCutShort = FALSE;  // the last group ended early (decoded as far as it goes)
};

// Decodes `length` bytes of base64 text from a message body, keeping whatever decodes.
// Characters outside the alphabet are passed over (CR, LF, space and tab silently, the
// others counted in nSkipped); '=' ends the group it falls in and decoding goes on with
// the characters after it; a group of two or three characters gives one or two bytes. A
// group that ends with a single character gives nothing. bCutShort is set when the text
// ends inside a group, or a group held a single character. Never raises for bad input.
void DecodeBase64Tolerant(CFile* source, CFile* destination, DWORD length, CDecodeReport* report = nullptr,
                          UINT readBufferSize = kDecoderReadBuffer);

// Decodes `length` bytes of quoted-printable text, writing CR LF line ends. CR LF and a
// bare LF both end a line; trailing blanks of a line are dropped; '=' at the end of a line
// is a soft line break; "=XY" with hexadecimal digits of either case gives that byte; an
// '=' that does not start such a sequence is kept as it is. Never raises for bad input.
void DecodeQuotedPrintable(CFile* source, CFile* destination, DWORD length,
                           UINT readBufferSize = kDecoderReadBuffer);

// Decodes uuencoded data lines until a line whose count is 0, an empty line, a line
// "end", the end of the source or `length` bytes (0: no limit). Characters missing from a
// short line count as zero bits. Returns the number of bytes written. Leaves the source
// just after the last line it read. Never raises for bad input.
DWORD DecodeUuencode(CFile* source, CFile* destination, DWORD length,
                     UINT readBufferSize = kDecoderReadBuffer);

// True for a well-formed uuencoded data line (given without its terminator): not empty,
// count at most 45, at least `count` characters long, and every character after the
// first between space and '`'.
BOOL IsUuencodeLine(const char* line);

// "begin <octal mode> <name>": the name (at most 259 characters, up to a zero byte), or
// FALSE when the line is no such line.
BOOL ParseUuencodeBeginLine(std::string_view line, CString& name);
