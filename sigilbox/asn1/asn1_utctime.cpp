#include "sigilbox/asn1/asn1_universal.h"

#include "sigilbox/asn1/utc_time.h"

#include <cstring>

namespace {

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

void PutTwoDigits(unsigned char* out, unsigned int value)
{
    out[0] = static_cast<unsigned char>('0' + (value / 10) % 10);
    out[1] = static_cast<unsigned char>('0' + value % 10);
}

}  // namespace

CASN1_UTCTime::CASN1_UTCTime()
{
    m_Tag = 0x17;
}

CASN1_UTCTime::CASN1_UTCTime(const CUTCTime& time)
{
    m_Tag = 0x17;
    GetDataFrom(time);
}

CASN1_UTCTime::CASN1_UTCTime(const CASN1_UTCTime& other) : CASN1_CONSTRUCTED_TYPE(other)
{
    m_Tag = 0x17;
}

CASN1_UTCTime& CASN1_UTCTime::operator=(const CASN1_UTCTime& other)
{
    CASN1_CONSTRUCTED_TYPE::operator=(other);
    m_Tag = 0x17;
    return *this;
}

CASN1Type* CASN1_UTCTime::Clone() const
{
    return new CASN1_UTCTime(*this);
}

int CASN1_UTCTime::IsValid(const CASN1Type* object)
{
    auto* value = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(object);
    if (!value || value->m_Tag != 0x17)
        return 0;
    int length = value->GetDataSize();
    if (length != 11 && length != 13 && length != 15 && length != 17)
        return 0;
    const unsigned char* p = value->GetData();
    for (int i = 0; i < 10; ++i)
        if (!IsDigit(p[i]))
            return 0;
    bool seconds = length == 13 || length == 17;
    if (seconds && !(IsDigit(p[10]) && IsDigit(p[11])))
        return 0;
    int zone = seconds ? 12 : 10;
    if (p[zone] != '+' && p[zone] != '-' && p[zone] != 'Z')
        return 0;
    if (length == 15 || length == 17)
        for (int i = zone + 1; i < zone + 5; ++i)
            if (!IsDigit(p[i]))
                return 0;
    return 1;
}

void CASN1_UTCTime::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    CASN1_CONSTRUCTED_TYPE::SetContents(encoding, length);
    if (!IsValid(this))
        AfxThrowDERDecodingException("UTCTime contents is not valid");
}

void CASN1_UTCTime::GetDataFrom(const CUTCTime& time)
{
    int length = time.m_nTextLength;
    if (length != 11 && length != 13 && length != 15 && length != 17)
        length = 17;  // a time never set up: write the full layout rather than garbage
    unsigned char text[17];
    PutTwoDigits(text, time.m_nYear % 100);
    PutTwoDigits(text + 2, time.m_nMonth);
    PutTwoDigits(text + 4, time.m_nDay);
    PutTwoDigits(text + 6, time.m_nMinuteOfDay / 60);
    PutTwoDigits(text + 8, time.m_nMinuteOfDay % 60);
    bool seconds = length == 13 || length == 17;
    int zone = 10;
    if (seconds) {
        PutTwoDigits(text + 10, time.m_nSecond);
        zone = 12;
    }
    text[zone] = time.m_nZoneKind == 0 ? 'Z' : (time.m_nZoneKind == 1 ? '-' : '+');
    if (length == 15 || length == 17) {
        PutTwoDigits(text + zone + 1, time.m_nZoneMinutes / 60);
        PutTwoDigits(text + zone + 3, time.m_nZoneMinutes % 60);
    }
    Clear();
    SetContentsOctets(text, static_cast<unsigned long>(length));
}

void CASN1_UTCTime::SetDataTo(CUTCTime& time) const
{
    int length = GetDataSize();
    if (length != 11 && length != 13 && length != 15 && length != 17)
        return;  // not a time (Setup would refuse it as well)
    // The time keeps the form it came in (with or without seconds, "Z" or an offset), so
    // that it encodes back to the same bytes.
    char text[18];
    std::memcpy(text, GetData(), static_cast<size_t>(length));
    text[length] = 0;
    time.Setup(text, static_cast<BYTE>(length));
}
