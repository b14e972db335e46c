// The byte level of the ASN.1 layer: a buffer of BER/DER octets with a forward-moving read
// cursor, the readers of identifier and length octets at that cursor, encoded-size
// arithmetic, SET OF ordering, and the one exception type every decoding failure raises.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/sigilbox_export.h"

class CASN1Type;

// Thrown by pointer to the library's single static instance (auto-delete off): catchers
// must not delete it, and Delete() on it does nothing. It carries no text.
class SIGILBOX_API CDERDecodingException : public CException {
    DECLARE_DYNAMIC(CDERDecodingException)
public:
    explicit CDERDecodingException(int bAutoDelete) : CException(bAutoDelete) {}
};

// Throws the static CDERDecodingException. The message is kept only as a diagnostic of the
// calling thread (AfxGetLastDERDecodingMessage), never in the exception.
[[noreturn]] SIGILBOX_API void AfxThrowDERDecodingException(const char* message);

// The message of the last decoding failure raised on this thread (null before the first).
SIGILBOX_API const char* AfxGetLastDERDecodingMessage();

// Octets of one or more encodings. Positions given to the members are relative to the seek
// index; the archived form (CByteArray's) holds the octets only.
class SIGILBOX_API CDEREncoding : public CByteArray {
public:
    CDEREncoding() = default;
    explicit CDEREncoding(const CASN1Type& object);
    CDEREncoding(const unsigned char* data, unsigned long length);
    CDEREncoding(const CDEREncoding& other);
    CDEREncoding& operator=(const CDEREncoding& other);

    int IsSeekValid(int i) const;
    int IsValidBytes(int n) const;
    int IsValidBytes(const CHugeDigit& n) const;
    void SeekForward(int n);
    void SeekForward(const CHugeDigit& n);
    int IsEndSeek() const { return m_nSeek == GetSize(); }
    int GetRestLength() const { return GetSize() - m_nSeek; }

    unsigned char operator[](int i) const;
    unsigned char& operator[](int i);

    // Offset in the buffer of the octet the members treat as position 0.
    int m_nSeek = 0;

private:
    // Moves the cursor to seek + n (n may exceed the int range), raising when it lands
    // beyond the end.
    void SeekTo(long long target);
};

// ---- readers at the seek position -------------------------------------------------------

SIGILBOX_API unsigned char AfxGetTagClass(const CDEREncoding& encoding);
SIGILBOX_API unsigned char AfxGetTagNumber(const CDEREncoding& encoding);
SIGILBOX_API unsigned char* AfxGetHighTagNumber(const CDEREncoding& encoding);
SIGILBOX_API unsigned char AfxGetTagClassAndNumber(const CDEREncoding& encoding);
SIGILBOX_API int AfxIsHighTagNumberForm(const CDEREncoding& encoding);
SIGILBOX_API int AfxIsConstructedMethod(const CDEREncoding& encoding);
SIGILBOX_API int AfxIsIndefiniteLengthMethod(const CDEREncoding& encoding);
SIGILBOX_API CHugeDigit AfxGetEncodingLength(const CDEREncoding& encoding);
SIGILBOX_API int AfxIsValidEncodingLength(const CHugeDigit& length);
SIGILBOX_API unsigned char AfxGetNumOfLengthOctets(const CDEREncoding& encoding);
SIGILBOX_API void AfxSeekToContents(CDEREncoding& encoding);
SIGILBOX_API int AfxIsContentsEndOctets(const CDEREncoding& encoding);

// The contents length at the seek position as a plain number (same checks and messages as
// AfxGetEncodingLength), for loops that need no big-number arithmetic.
SIGILBOX_API unsigned long AfxGetEncodingLengthValue(const CDEREncoding& encoding);

// ---- sizes and ordering -----------------------------------------------------------------

SIGILBOX_API unsigned long AfxComputeEncodedLength(unsigned char tagOctets, unsigned long contentsLength, int indefinite);

// Octets of a definite length field for a contents length: 1 below 128, else 1 + k.
SIGILBOX_API int AfxLengthOctetsCount(unsigned long contentsLength);
// Writes a definite length field (short form below 128, else 0x80|k and k octets) into
// `out`, which holds at least 9 octets; returns the number written.
SIGILBOX_API int AfxWriteDefiniteLength(unsigned long contentsLength, unsigned char* out);

// DER SET OF order of two whole encodings (the shorter one counts as padded with zeros).
SIGILBOX_API int operator<=(const CDEREncoding& a, const CDEREncoding& b);

// Significant bits of a big-endian number (its last 256 octets); 0 for zero.
SIGILBOX_API int AfxCountBits(unsigned char* const data, int length);

// ---- collection element helpers ---------------------------------------------------------

SIGILBOX_API void ConstructElements(CDEREncoding* elements, int count);
SIGILBOX_API void DestructElements(CDEREncoding* elements, int count);
SIGILBOX_API void ConstructElements(CByteArray* elements, int count);
SIGILBOX_API void DestructElements(CByteArray* elements, int count);
SIGILBOX_API void DestructElements(CDEREncoding** elements, int count);
// Each element in its own archived form (the octets as a byte array).
SIGILBOX_API void SerializeElements(CArchive& ar, CDEREncoding* elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CByteArray* elements, int count);
