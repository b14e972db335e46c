#include "sigilbox/asn1/der_encoding.h"

#include <climits>
#include <cstring>

IMPLEMENT_DYNAMIC(CDERDecodingException, CException)

namespace {
// The one instance every decoding failure throws; it lives as long as the library.
CDERDecodingException g_derDecodingException(FALSE);

thread_local const char* t_lastDecodingMessage = nullptr;

// The value of a big number when it fits in 32 bits; -1 when it is wider.
long long SmallValue(const CHugeDigit& n)
{
    if (n.Bits() > 32)
        return -1;
    return static_cast<long long>(n[0]);
}
}

void AfxThrowDERDecodingException(const char* message)
{
    t_lastDecodingMessage = message;
    throw &g_derDecodingException;
}

const char* AfxGetLastDERDecodingMessage()
{
    return t_lastDecodingMessage;
}

// ---- CDEREncoding -----------------------------------------------------------------------

CDEREncoding::CDEREncoding(const unsigned char* data, unsigned long length)
{
    if (length > static_cast<unsigned long>(kMaxArrayElements))
        AfxThrowInvalidArgException();
    if (length)
        Append(data, static_cast<int>(length));
}

CDEREncoding::CDEREncoding(const CDEREncoding& other) : CByteArray(other), m_nSeek(other.m_nSeek)
{
}

CDEREncoding& CDEREncoding::operator=(const CDEREncoding& other)
{
    if (this != &other) {
        CByteArray::operator=(other);
        m_nSeek = other.m_nSeek;
    }
    return *this;
}

int CDEREncoding::IsSeekValid(int i) const
{
    long long pos = static_cast<long long>(m_nSeek) + i;
    return pos >= 0 && pos < GetSize();
}

int CDEREncoding::IsValidBytes(int n) const
{
    if (n < 0)
        return 0;
    return n == 0 || IsSeekValid(n - 1);
}

int CDEREncoding::IsValidBytes(const CHugeDigit& n) const
{
    // A count wider than 32 bits can never be available.
    long long v = SmallValue(n);
    if (v < 0)
        return 0;
    return v <= static_cast<long long>(GetSize()) - m_nSeek;
}

void CDEREncoding::SeekTo(long long target)
{
    if (target == GetSize()) {
        m_nSeek = static_cast<int>(target);
        return;
    }
    // The cursor moves even when the move is refused (as far as an int can say).
    m_nSeek = static_cast<int>(target < 0 ? -1 : (target > INT_MAX ? INT_MAX : target));
    if (target < 0 || target > GetSize())
        AfxThrowDERDecodingException("Invalid seek index");
}

void CDEREncoding::SeekForward(int n)
{
    SeekTo(static_cast<long long>(m_nSeek) + n);
}

void CDEREncoding::SeekForward(const CHugeDigit& n)
{
    long long v = SmallValue(n);
    SeekTo(v < 0 ? static_cast<long long>(INT_MAX) + 1 : static_cast<long long>(m_nSeek) + v);
}

unsigned char CDEREncoding::operator[](int i) const
{
    if (!IsSeekValid(i))
        AfxThrowDERDecodingException("Invalid index to encoding");
    return GetData()[m_nSeek + i];
}

unsigned char& CDEREncoding::operator[](int i)
{
    if (!IsSeekValid(i))
        AfxThrowDERDecodingException("Invalid index to encoding");
    return GetData()[m_nSeek + i];
}

// ---- readers ----------------------------------------------------------------------------

unsigned char AfxGetTagClass(const CDEREncoding& encoding)
{
    return encoding[0] & 0xC0;
}

unsigned char AfxGetTagNumber(const CDEREncoding& encoding)
{
    return encoding[0] & 0x1F;
}

unsigned char* AfxGetHighTagNumber(const CDEREncoding& encoding)
{
    (void)encoding[1];
    return const_cast<unsigned char*>(encoding.GetData()) + encoding.m_nSeek + 1;
}

unsigned char AfxGetTagClassAndNumber(const CDEREncoding& encoding)
{
    unsigned char id = encoding[0];
    return static_cast<unsigned char>((id & 0xC0) | (id & 0x1F));
}

int AfxIsHighTagNumberForm(const CDEREncoding& encoding)
{
    return AfxGetTagNumber(encoding) > 30;
}

int AfxIsConstructedMethod(const CDEREncoding& encoding)
{
    return (encoding[0] & 0x20) != 0;
}

int AfxIsIndefiniteLengthMethod(const CDEREncoding& encoding)
{
    return encoding[1] == 0x80;
}

CHugeDigit AfxGetEncodingLength(const CDEREncoding& encoding)
{
    unsigned char first = encoding[1];
    if (first < 0x80)
        return CHugeDigit(static_cast<unsigned long>(first));
    int n = first & 0x7F;
    if (!encoding.IsValidBytes(n + 2))
        AfxThrowDERDecodingException("Invalid encoding length");
    CHugeDigit length;
    length.Decode(encoding.GetData() + encoding.m_nSeek + 2, static_cast<unsigned short>(n));
    if (!AfxIsValidEncodingLength(length))
        AfxThrowDERDecodingException("Invalid encoding length");
    return length;
}

unsigned long AfxGetEncodingLengthValue(const CDEREncoding& encoding)
{
    unsigned char first = encoding[1];
    if (first < 0x80)
        return first;
    int n = first & 0x7F;
    if (!encoding.IsValidBytes(n + 2))
        AfxThrowDERDecodingException("Invalid encoding length");
    // Leading zero octets are allowed; what remains must fit in 32 bits and be non-zero.
    const unsigned char* p = encoding.GetData() + encoding.m_nSeek + 2;
    unsigned long long value = 0;
    for (int i = 0; i < n; ++i) {
        if (value > 0xFFFFFFFFull)
            break;
        value = (value << 8) | p[i];
    }
    if (value == 0 || value > 0xFFFFFFFFull)
        AfxThrowDERDecodingException("Invalid encoding length");
    return static_cast<unsigned long>(value);
}

int AfxIsValidEncodingLength(const CHugeDigit& length)
{
    return !length.Zero() && length.Bits() <= 32;
}

unsigned char AfxGetNumOfLengthOctets(const CDEREncoding& encoding)
{
    unsigned char first = encoding[1];
    unsigned char count = (first <= 0x80) ? 1 : static_cast<unsigned char>((first & 0x7F) + 1);
    if (!encoding.IsValidBytes(count + 1))
        AfxThrowDERDecodingException("Invalid encoding length");
    return count;
}

void AfxSeekToContents(CDEREncoding& encoding)
{
    encoding.SeekForward(1 + AfxGetNumOfLengthOctets(encoding));
}

int AfxIsContentsEndOctets(const CDEREncoding& encoding)
{
    return encoding[0] == 0x00 && encoding[1] == 0x00;
}

// ---- sizes and ordering -----------------------------------------------------------------

int AfxLengthOctetsCount(unsigned long contentsLength)
{
    if (contentsLength < 128)
        return 1;
    int k = 0;
    for (unsigned long v = contentsLength; v; v >>= 8)
        ++k;
    return 1 + k;
}

int AfxWriteDefiniteLength(unsigned long contentsLength, unsigned char* out)
{
    if (contentsLength < 128) {
        out[0] = static_cast<unsigned char>(contentsLength);
        return 1;
    }
    int k = AfxLengthOctetsCount(contentsLength) - 1;
    out[0] = static_cast<unsigned char>(0x80 | k);
    for (int i = 0; i < k; ++i)
        out[1 + i] = static_cast<unsigned char>(contentsLength >> (8 * (k - 1 - i)));
    return 1 + k;
}

unsigned long AfxComputeEncodedLength(unsigned char tagOctets, unsigned long contentsLength, int indefinite)
{
    if (indefinite)
        return tagOctets + contentsLength + 3;
    return tagOctets + contentsLength + AfxLengthOctetsCount(contentsLength);
}

int operator<=(const CDEREncoding& a, const CDEREncoding& b)
{
    // Whole encodings are compared whatever their cursors say.
    int sizeA = a.GetSize();
    int sizeB = b.GetSize();
    int common = sizeA < sizeB ? sizeA : sizeB;
    if (common) {
        int c = std::memcmp(a.GetData(), b.GetData(), static_cast<size_t>(common));
        if (c != 0)
            return c < 0;
    }
    for (int i = common; i < sizeA; ++i)
        if (a.GetData()[i] != 0)
            return 0;
    return 1;
}

int AfxCountBits(unsigned char* const data, int length)
{
    if (!data || length <= 0)
        return 0;
    // Only the last 256 octets fit a default-size number.
    int take = length > 256 ? 256 : length;
    CHugeDigit n;
    n.Decode(data + (length - take), static_cast<unsigned short>(take));
    return static_cast<int>(n.Bits());
}

// ---- collection element helpers ---------------------------------------------------------

void ConstructElements(CDEREncoding* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CDEREncoding();
}

void DestructElements(CDEREncoding* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].RemoveAll();
}

void ConstructElements(CByteArray* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CByteArray();
}

void DestructElements(CByteArray* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].RemoveAll();
}

void DestructElements(CDEREncoding** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        delete elements[i];
        elements[i] = nullptr;
    }
}

void SerializeElements(CArchive& ar, CDEREncoding* elements, int count)
{
    for (int i = 0; i < count; ++i) {
        elements[i].Serialize(ar);
        if (ar.IsLoading())
            elements[i].m_nSeek = 0;
    }
}

void SerializeElements(CArchive& ar, CByteArray* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].Serialize(ar);
}
