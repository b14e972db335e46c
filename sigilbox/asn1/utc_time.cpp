// Calendar times of certificates and revocation lists.
#include "sigilbox/asn1/utc_time.h"

#include "framework/exceptions.h"
#include "framework/system.h"

#include <cstdlib>

IMPLEMENT_SERIAL(CUTCTime, CObject, 0)

namespace {

bool IsLeapYear(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1 January 1970 to the given date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// The date of a day number from DaysFromCivil.
void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

// Minutes to add to the stored time to get universal time, by the library's convention.
int ZoneShift(const CUTCTime& t)
{
    if (t.m_nZoneKind == CUTCTime::ZonePlus)
        return t.m_nZoneMinutes;
    if (t.m_nZoneKind == CUTCTime::ZoneMinus)
        return -static_cast<int>(t.m_nZoneMinutes);
    return 0;
}

long long UniversalSeconds(const CUTCTime& t)
{
    // Months outside 1-12 only occur in values IsValid rejects; keep them ordered anyway.
    const unsigned month = t.m_nMonth >= 1 && t.m_nMonth <= 12 ? t.m_nMonth : 1;
    long long days = DaysFromCivil(t.m_nYear, month, 1) + t.m_nDay - 1;
    long long minutes = days * 1440 + t.m_nMinuteOfDay + ZoneShift(t);
    return minutes * 60 + t.m_nSecond;
}

int Digit(char ch)
{
    return ch >= '0' && ch <= '9' ? ch - '0' : -1;
}

// Two decimal digits at text[pos], or -1 when they are not digits.
int TwoDigits(const char* text, int pos)
{
    int hi = Digit(text[pos]);
    int lo = Digit(text[pos + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 10 + lo;
}

bool IsTextLength(int length)
{
    return length == 11 || length == 13 || length == 15 || length == 17;
}

// A "Z" time has no offset digits; a text that carried some (placeholders) is written
// without them again.
void DropOffsetLength(CUTCTime& t)
{
    if (t.m_nZoneKind == CUTCTime::ZoneUTC && (t.m_nTextLength == 15 || t.m_nTextLength == 17))
        t.m_nTextLength = static_cast<BYTE>(t.m_nTextLength - 4);
}

} // namespace

CUTCTime::CUTCTime()
{
    SetCurrentTime();
}

CUTCTime::CUTCTime(const CString& text)
{
    // A longer text must not pass for a shorter one by having its length cut to 8 bits.
    if (IsTextLength(text.GetLength()))
        Setup(text, static_cast<BYTE>(text.GetLength()));
}

int CUTCTime::DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    if (month == 2 && IsLeapYear(year))
        return 29;
    return days[month - 1];
}

BOOL CUTCTime::Setup(const char* text, BYTE length)
{
    if (!text || !IsTextLength(length))
        return FALSE;

    const bool withSeconds = length == 13 || length == 17;
    const int zonePos = withSeconds ? 12 : 10;
    const int yy = TwoDigits(text, 0);
    const int month = TwoDigits(text, 2);
    const int day = TwoDigits(text, 4);
    const int hour = TwoDigits(text, 6);
    const int minute = TwoDigits(text, 8);
    const int second = withSeconds ? TwoDigits(text, 10) : 0;

    int kind = ZonePlus;
    if (text[zonePos] == 'Z')
        kind = ZoneUTC;
    else if (text[zonePos] == '-')
        kind = ZoneMinus;
    int offsetHours = 0;
    int offsetMinutes = 0;
    if (kind != ZoneUTC && length >= 15) {
        offsetHours = TwoDigits(text, zonePos + 1);
        offsetMinutes = TwoDigits(text, zonePos + 3);
    }

    const bool wellFormed = yy >= 0 && month >= 0 && day >= 0 && hour >= 0 && hour < 24 && minute >= 0 &&
                            minute < 60 && second >= 0 && offsetHours >= 0 && offsetHours < 24 &&
                            offsetMinutes >= 0 && offsetMinutes < 60;
    if (!wellFormed) {
        // Not a time at all: leave nothing that could pass for one.
        *this = CUTCTime(CString());
        m_nTextLength = length;
        return FALSE;
    }

    m_nYear = static_cast<WORD>(yy >= 50 ? 1900 + yy : 2000 + yy);
    m_nMonth = static_cast<BYTE>(month);
    m_nDay = static_cast<BYTE>(day);
    m_nMinuteOfDay = static_cast<WORD>(hour * 60 + minute);
    m_nSecond = static_cast<BYTE>(second);
    m_nZoneKind = kind;
    m_nZoneMinutes = static_cast<WORD>(offsetHours * 60 + offsetMinutes);
    m_nTextLength = length;
    DropOffsetLength(*this);
    return TRUE;
}

BOOL CUTCTime::IsValid() const
{
    if (m_nMonth < 1 || m_nMonth > 12)
        return FALSE;
    if (m_nDay < 1 || m_nDay > DaysInMonth(m_nYear, m_nMonth))
        return FALSE;
    if (m_nZoneKind < ZoneUTC || m_nZoneKind > ZonePlus)
        return FALSE;
    if (m_nMinuteOfDay >= 1440 || m_nSecond >= 60 || m_nZoneMinutes >= 1440)
        return FALSE;
    return IsTextLength(m_nTextLength);
}

void CUTCTime::SetCurrentTime()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    m_nYear = now.wYear;
    m_nMonth = static_cast<BYTE>(now.wMonth);
    m_nDay = static_cast<BYTE>(now.wDay);
    m_nMinuteOfDay = static_cast<WORD>(now.wHour * 60 + now.wMinute);
    m_nSecond = static_cast<BYTE>(now.wSecond > 59 ? 59 : now.wSecond);
    m_nZoneKind = ZoneUTC;
    m_nZoneMinutes = 0;
    m_nTextLength = 13;
}

CUTCTime& CUTCTime::operator--()
{
    if (m_nSecond > 0) {
        --m_nSecond;
        return *this;
    }
    m_nSecond = 59;
    if (m_nMinuteOfDay > 0) {
        --m_nMinuteOfDay;
        return *this;
    }
    m_nMinuteOfDay = 1439;
    if (m_nDay > 1) {
        --m_nDay;
        return *this;
    }
    if (m_nMonth > 1) {
        --m_nMonth;
    } else {
        m_nMonth = 12;
        --m_nYear;
    }
    m_nDay = static_cast<BYTE>(DaysInMonth(m_nYear, m_nMonth));
    return *this;
}

CString CUTCTime::GetTimeAsString(int withSeconds, int timeOnly) const
{
    const LONG bias = AfxGetTimeZoneBias();
    const unsigned month = m_nMonth >= 1 && m_nMonth <= 12 ? m_nMonth : 1;
    const long long days = DaysFromCivil(m_nYear, month, 1) + m_nDay - 1;
    // Universal time, then local time = universal time - bias; the date rolls over.
    long long minutes = days * 1440 + m_nMinuteOfDay + ZoneShift(*this) - bias;
    long long localDays = minutes >= 0 ? minutes / 1440 : -((-minutes + 1439) / 1440);
    long long minuteOfDay = minutes - localDays * 1440;

    long long year;
    unsigned m, d;
    CivilFromDays(localDays, year, m, d);
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(m);
    local.wDay = static_cast<WORD>(d);
    // 1 January 1970 was a Thursday.
    long long dow = (localDays % 7 + 7 + 4) % 7;
    local.wDayOfWeek = static_cast<WORD>(dow);
    local.wHour = static_cast<WORD>(minuteOfDay / 60);
    local.wMinute = static_cast<WORD>(minuteOfDay % 60);
    local.wSecond = withSeconds ? m_nSecond : 0;

    CString text;
    if (!timeOnly)
        text = AfxFormatLongDate(local) + " ";
    text += AfxFormatTime(local, withSeconds);
    const unsigned magnitude = static_cast<unsigned>(std::abs(static_cast<long>(bias)));
    CString zone;
    zone.Format("%s%02u%02u", bias < 0 ? " +" : " -", magnitude / 60, magnitude % 60);
    return text + zone;
}

void CUTCTime::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0) << m_nYear << m_nMonth << m_nDay << m_nMinuteOfDay << m_nSecond
           << static_cast<WORD>(m_nZoneKind) << m_nZoneMinutes << m_nTextLength;
        return;
    }

    BYTE version = 0;
    ar >> version;
    if (version != 0)
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    CUTCTime loaded(CString{});
    WORD kind = 0;
    ar >> loaded.m_nYear >> loaded.m_nMonth >> loaded.m_nDay >> loaded.m_nMinuteOfDay >> loaded.m_nSecond >> kind >>
        loaded.m_nZoneMinutes >> loaded.m_nTextLength;
    loaded.m_nZoneKind = kind;
    // Earlier versions read every two-digit year as 19YY; a UTCTime year before 1950 can
    // only have meant 20YY.
    if (loaded.m_nYear >= 1900 && loaded.m_nYear < 1950)
        loaded.m_nYear = static_cast<WORD>(loaded.m_nYear + 100);
    DropOffsetLength(loaded);
    if (!loaded.IsValid())
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    *this = loaded;
}

bool operator==(const CUTCTime& a, const CUTCTime& b)
{
    return a.m_nYear == b.m_nYear && a.m_nMonth == b.m_nMonth && a.m_nDay == b.m_nDay &&
           a.m_nMinuteOfDay == b.m_nMinuteOfDay && a.m_nSecond == b.m_nSecond && a.m_nZoneKind == b.m_nZoneKind &&
           a.m_nZoneMinutes == b.m_nZoneMinutes;
}

bool operator<(const CUTCTime& a, const CUTCTime& b)
{
    return UniversalSeconds(a) < UniversalSeconds(b);
}

bool operator>(const CUTCTime& a, const CUTCTime& b)
{
    return UniversalSeconds(a) > UniversalSeconds(b);
}

bool operator>=(const CUTCTime& a, const CUTCTime& b)
{
    return !(a < b);
}

bool operator<=(const CUTCTime& a, const CUTCTime& b)
{
    return !(a > b);
}
