#include "sigilbox/asn1/asn1_universal.h"

#include "sigilbox/asn1/serial_number.h"

#include <cstring>

namespace {
// A magnitude is read as a default-size big number would read it: only its last 256 octets.
constexpr unsigned long kMagnitudeOctets = 256;
}

// ---- INTEGER ----------------------------------------------------------------------------

CASN1_INTEGER::CASN1_INTEGER()
{
    m_Tag = 0x02;
}

CASN1_INTEGER::CASN1_INTEGER(unsigned long value)
{
    m_Tag = 0x02;
    unsigned char bytes[sizeof(unsigned long)];
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * (sizeof bytes - 1 - i)));
    SetMagnitude(bytes, sizeof bytes);
}

CASN1_INTEGER::CASN1_INTEGER(const unsigned char* magnitude, unsigned short length)
{
    m_Tag = 0x02;
    SetMagnitude(magnitude, length);
}

CASN1_INTEGER::CASN1_INTEGER(const CASN1_INTEGER& other) : CASN1_PRIMITIVE_TYPE(other)
{
    m_Tag = 0x02;
}

CASN1_INTEGER& CASN1_INTEGER::operator=(const CASN1_INTEGER& other)
{
    CASN1_PRIMITIVE_TYPE::operator=(other);
    m_Tag = 0x02;
    return *this;
}

CASN1Type* CASN1_INTEGER::Clone() const
{
    return new CASN1_INTEGER(*this);
}

void CASN1_INTEGER::SetMagnitude(const unsigned char* magnitude, unsigned long length)
{
    if (length > kMagnitudeOctets) {
        magnitude += length - kMagnitudeOctets;
        length = kMagnitudeOctets;
    }
    while (length && *magnitude == 0) {
        ++magnitude;
        --length;
    }
    unsigned char buffer[kMagnitudeOctets + 1];
    unsigned long n = 0;
    if (length == 0 || (magnitude[0] & 0x80))
        buffer[n++] = 0x00;
    if (length)
        std::memcpy(buffer + n, magnitude, length);
    SetContentsOctets(buffer, n + length);
}

int CASN1_INTEGER::SignificantOffset() const
{
    int size = GetDataSize();
    const unsigned char* p = CASN1_PRIMITIVE_TYPE::GetData();
    int i = 0;
    while (i < size - 1 && p[i] == 0)
        ++i;
    return i;
}

int CASN1_INTEGER::GetInteger(unsigned long& value) const
{
    int size = GetDataSize();
    const unsigned char* p = CASN1_PRIMITIVE_TYPE::GetData();
    int start = size > static_cast<int>(kMagnitudeOctets) ? size - static_cast<int>(kMagnitudeOctets) : 0;
    while (start < size && p[start] == 0)
        ++start;
    if (size - start > 4)
        return 0;
    unsigned long v = 0;
    for (int i = start; i < size; ++i)
        v = (v << 8) | p[i];
    value = v;
    return 1;
}

int CASN1_INTEGER::GetData(CByteArray& data) const
{
    int offset = SignificantOffset();
    int size = GetDataSize() - offset;
    data.SetSize(size);
    if (size)
        std::memcpy(data.GetData(), CASN1_PRIMITIVE_TYPE::GetData() + offset, static_cast<size_t>(size));
    return 1;
}

int CASN1_INTEGER::GetData(unsigned char* buffer, int bufferSize, int& dataSize, int leftAligned, int zeroFill) const
{
    int offset = SignificantOffset();
    int size = GetDataSize() - offset;
    dataSize = size;
    if (bufferSize < size)
        return 0;
    unsigned char* at = leftAligned ? buffer : buffer + (bufferSize - size);
    if (size)
        std::memcpy(at, CASN1_PRIMITIVE_TYPE::GetData() + offset, static_cast<size_t>(size));
    if (zeroFill && bufferSize > size)
        std::memset(leftAligned ? buffer + size : buffer, 0, static_cast<size_t>(bufferSize - size));
    return 1;
}

CASN1_INTEGER::operator CSerialNumber() const
{
    CByteArray magnitude;
    GetData(magnitude);
    return CSerialNumber(magnitude.GetData(), magnitude.GetSize());
}

// ---- NULL -------------------------------------------------------------------------------

CASN1_NULL::CASN1_NULL()
{
    m_Tag = 0x05;
}

CASN1_NULL::CASN1_NULL(const CASN1_NULL& other) : CASN1_PRIMITIVE_TYPE(other)
{
    m_Tag = 0x05;
}

CASN1_NULL& CASN1_NULL::operator=(const CASN1_NULL& other)
{
    CASN1_PRIMITIVE_TYPE::operator=(other);
    m_Tag = 0x05;
    return *this;
}

CASN1Type* CASN1_NULL::Clone() const
{
    return new CASN1_NULL(*this);
}

void CASN1_NULL::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    if (!length.Zero())
        AfxThrowDERDecodingException("Encoded NULL value has invalid length");
    Clear();
}
