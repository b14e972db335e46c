#include "sigilbox/asn1/asn1_universal.h"

#include <cstring>

namespace {

const CASN1_PRIMITIVE_TYPE* ContentsOf(const CASN1Type* object)
{
    return dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(object);
}

}  // namespace

// The string classes share one shape: a tag, a constructor from octets and copies that end
// with the class's own tag.
#define SIGILBOX_STRING_CLASS(Class, Base, tag)                                  \
    Class::Class()                                                               \
    {                                                                            \
        m_Tag = tag;                                                             \
    }                                                                            \
    Class::Class(const unsigned char* data, unsigned long length)                \
    {                                                                            \
        m_Tag = tag;                                                             \
        SetContentsOctets(data, length);                                         \
    }                                                                            \
    Class::Class(const Class& other) : Base(other)                               \
    {                                                                            \
        m_Tag = tag;                                                             \
    }                                                                            \
    Class& Class::operator=(const Class& other)                                  \
    {                                                                            \
        Base::operator=(other);                                                  \
        m_Tag = tag;                                                             \
        return *this;                                                            \
    }                                                                            \
    CASN1Type* Class::Clone() const                                              \
    {                                                                            \
        return new Class(*this);                                                 \
    }

SIGILBOX_STRING_CLASS(CASN1_OCTET_STRING, CASN1_CONSTRUCTED_TYPE, 0x04)
SIGILBOX_STRING_CLASS(CASN1_IA5String, CASN1_OCTET_STRING, 0x16)
SIGILBOX_STRING_CLASS(CASN1_T61String, CASN1_CONSTRUCTED_TYPE, 0x14)
SIGILBOX_STRING_CLASS(CASN1_PrintableString, CASN1_CONSTRUCTED_TYPE, 0x13)

#undef SIGILBOX_STRING_CLASS

// ---- OCTET STRING from a file -----------------------------------------------------------

CASN1_OCTET_STRING::CASN1_OCTET_STRING(CFile& file, unsigned long length)
{
    m_Tag = 0x04;
    try {
        // Read in pieces so a length the file cannot supply never allocates its size.
        unsigned char piece[65536];
        unsigned long left = length;
        while (left) {
            UINT want = static_cast<UINT>(left < sizeof piece ? left : sizeof piece);
            UINT got = file.Read(piece, want);
            if (got == 0)
                AfxThrowFileException(CFileException::generic, -1, nullptr);
            Append(piece, got);
            left -= got;
        }
    } catch (CFileException*) {
        Clear();
        throw;
    }
}

// ---- character string checks ------------------------------------------------------------

int CASN1_IA5String::IsValid(const CASN1Type* object)
{
    const CASN1_PRIMITIVE_TYPE* value = ContentsOf(object);
    if (!value || value->m_Tag != 0x16)
        return 0;
    const unsigned char* p = value->GetData();
    for (int i = 0; i < value->GetDataSize(); ++i)
        if (p[i] >= 0x80)
            return 0;
    return 1;
}

void CASN1_IA5String::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    CASN1_OCTET_STRING::SetContents(encoding, length);
    if (!IsValid(this))
        AfxThrowDERDecodingException("IA5String contents is not valid");
}

int CASN1_PrintableString::IsValid(const CASN1Type* object)
{
    const CASN1_PRIMITIVE_TYPE* value = ContentsOf(object);
    if (!value || value->m_Tag != 0x13)
        return 0;
    const unsigned char* p = value->GetData();
    for (int i = 0; i < value->GetDataSize(); ++i)
        if (p[i] < 0x20 || p[i] > 0x7E)
            return 0;
    return 1;
}

void CASN1_PrintableString::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    CASN1_CONSTRUCTED_TYPE::SetContents(encoding, length);
    if (!IsValid(this))
        AfxThrowDERDecodingException("PrintableString contents is not valid");
}

// ---- BIT STRING -------------------------------------------------------------------------

CASN1_BIT_STRING::CASN1_BIT_STRING() : m_nBits(0)
{
    m_Tag = 0x03;
}

CASN1_BIT_STRING::CASN1_BIT_STRING(const unsigned char* bits, unsigned long bitCount, int leftAligned) : m_nBits(0)
{
    m_Tag = 0x03;
    unsigned long n = (bitCount + 7) / 8;
    unsigned int padding = static_cast<unsigned int>((8 - bitCount % 8) % 8);
    if (n + 1 > static_cast<unsigned long>(kMaxArrayElements))
        AfxThrowMemoryException();
    CByteArray::SetSize(static_cast<int>(n + 1));
    unsigned char* out = ContentsBuffer();
    out[0] = static_cast<unsigned char>(padding);
    if (leftAligned || padding == 0) {
        if (n)
            std::memcpy(out + 1, bits, n);
    } else {
        // Right-aligned source: shift the whole run left by the padding.
        for (unsigned long i = 0; i < n; ++i) {
            unsigned int high = static_cast<unsigned int>(bits[i]) << padding;
            unsigned int low = i + 1 < n ? bits[i + 1] >> (8 - padding) : 0;
            out[1 + i] = static_cast<unsigned char>(high | low);
        }
    }
    m_nBits = static_cast<DWORD>(bitCount);
}

CASN1_BIT_STRING::CASN1_BIT_STRING(const CASN1_BIT_STRING& other) : CASN1_CONSTRUCTED_TYPE(other), m_nBits(other.m_nBits)
{
    m_Tag = 0x03;
}

CASN1_BIT_STRING& CASN1_BIT_STRING::operator=(const CASN1_BIT_STRING& other)
{
    CASN1_CONSTRUCTED_TYPE::operator=(other);
    m_nBits = other.m_nBits;
    m_Tag = 0x03;
    return *this;
}

CASN1Type* CASN1_BIT_STRING::Clone() const
{
    return new CASN1_BIT_STRING(*this);
}

void CASN1_BIT_STRING::Clear()
{
    CASN1_CONSTRUCTED_TYPE::Clear();
    m_nBits = 0;
}

void CASN1_BIT_STRING::ComputeBits()
{
    int size = GetDataSize();
    m_nBits = size ? static_cast<DWORD>(8ull * static_cast<unsigned long long>(size - 1) - GetData()[0]) : 0;
}

void CASN1_BIT_STRING::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    CASN1_CONSTRUCTED_TYPE::SetContents(encoding, length);
    int size = GetDataSize();
    if (size == 0 || (size == 1 && GetData()[0] != 0))
        AfxThrowDERDecodingException("Invalid data size in BIT STRING");
    if (GetData()[0] > 7)
        AfxThrowDERDecodingException("Invalid number of padding bits in BIT STRING");
    ComputeBits();
}

void CASN1_BIT_STRING::Append(const unsigned char* data, unsigned long length)
{
    if (length == 0)
        return;
    if (GetDataSize() == 0) {
        CASN1_CONSTRUCTED_TYPE::Append(data, length);
    } else {
        if (GetData()[0] != 0)
            AfxThrowDERDecodingException("The last portion of BIT STRING was already appended");
        CASN1_CONSTRUCTED_TYPE::Append(data + 1, length - 1);
        ContentsBuffer()[0] = data[0];
    }
    ComputeBits();
}

int CASN1_BIT_STRING::GetData(unsigned char* buffer, int size, int& dataSize, int leftAligned, int zeroFill) const
{
    int n = static_cast<int>((static_cast<unsigned long long>(m_nBits) + 7) / 8);
    int available = GetDataSize() > 0 ? GetDataSize() - 1 : 0;
    if (n > available)
        n = available;
    dataSize = n;
    if (size < n)
        return 0;
    const unsigned char* bits = CASN1_PRIMITIVE_TYPE::GetData() + 1;
    unsigned int padding = GetDataSize() > 0 ? (CASN1_PRIMITIVE_TYPE::GetData()[0] & 7) : 0;
    if (leftAligned) {
        if (n)
            std::memcpy(buffer, bits, static_cast<size_t>(n));
        if (zeroFill && size > n)
            std::memset(buffer + n, 0, static_cast<size_t>(size - n));
    } else {
        unsigned char* out = buffer + (size - n);
        // Shift right by the padding so the last bit lands in the lowest bit.
        for (int i = n - 1; i >= 0; --i) {
            unsigned int low = static_cast<unsigned int>(bits[i]) >> padding;
            unsigned int high = (i > 0 && padding) ? (static_cast<unsigned int>(bits[i - 1]) << (8 - padding)) : 0;
            out[i] = static_cast<unsigned char>(low | high);
        }
        if (zeroFill && size > n)
            std::memset(buffer, 0, static_cast<size_t>(size - n));
    }
    return 1;
}
