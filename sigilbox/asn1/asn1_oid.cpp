#include "sigilbox/asn1/asn1_universal.h"

#include <cstring>

CASN1_OBJECT_IDENTIFIER::CASN1_OBJECT_IDENTIFIER()
{
    m_Tag = 0x06;
}

CASN1_OBJECT_IDENTIFIER::CASN1_OBJECT_IDENTIFIER(unsigned char first, unsigned char second)
{
    m_Tag = 0x06;
    unsigned char octet = static_cast<unsigned char>(40 * first + second);
    SetContentsOctets(&octet, 1);
}

CASN1_OBJECT_IDENTIFIER::CASN1_OBJECT_IDENTIFIER(const CASN1_OBJECT_IDENTIFIER& other) : CASN1_PRIMITIVE_TYPE(other)
{
    m_Tag = 0x06;
}

CASN1_OBJECT_IDENTIFIER& CASN1_OBJECT_IDENTIFIER::operator=(const CASN1_OBJECT_IDENTIFIER& other)
{
    CASN1_PRIMITIVE_TYPE::operator=(other);
    m_Tag = 0x06;
    return *this;
}

CASN1_OBJECT_IDENTIFIER::~CASN1_OBJECT_IDENTIFIER() = default;

CASN1Type* CASN1_OBJECT_IDENTIFIER::Clone() const
{
    return new CASN1_OBJECT_IDENTIFIER(*this);
}

void CASN1_OBJECT_IDENTIFIER::AddIDComponent(unsigned long arc)
{
    // Base 128, most significant group first, 0x80 on every octet but the last.
    unsigned char groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<unsigned char>(arc & 0x7F);
        arc >>= 7;
    } while (arc);
    unsigned char out[10];
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(groups[n - 1 - i] | (i < n - 1 ? 0x80 : 0x00));
    Append(out, static_cast<unsigned long>(n));
}

void CASN1_OBJECT_IDENTIFIER::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    CASN1_PRIMITIVE_TYPE::SetContents(encoding, length);
    if (GetDataSize() == 0)
        AfxThrowDERDecodingException("Encoded OBJECT IDENTIFIER has invalid size");
    // The first subidentifier (40 * first + second) always fits in one octet here.
    if (GetData()[0] >= 120)
        AfxThrowDERDecodingException("Encoded OBJECT IDENTIFIER value is not valid");
}

int operator==(const CASN1_OBJECT_IDENTIFIER& a, const CASN1_OBJECT_IDENTIFIER& b)
{
    int n = a.GetDataSize();
    if (n != b.GetDataSize())
        return 0;
    return n == 0 || std::memcmp(a.GetData(), b.GetData(), static_cast<size_t>(n)) == 0;
}
