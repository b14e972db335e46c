// Calendar times with the zone conventions of the X.509 UTCTime text form.
#pragma once

#include "framework/archive.h"
#include "framework/cstring.h"
#include "framework/object.h"
#include "sigilbox/sigilbox_export.h"

// Zone convention of stored values: kind 2 ('+') means universal time = the stored time plus
// the offset, kind 1 ('-') the stored time minus the offset, kind 0 ('Z') no offset. Times
// made here (SetCurrentTime) are universal times of kind 0.
class SIGILBOX_API CUTCTime : public CObject {
    DECLARE_SERIAL(CUTCTime)
public:
    enum { ZoneUTC = 0, ZoneMinus = 1, ZonePlus = 2 };

    // The current universal time.
    CUTCTime();
    // The time in the text (see Setup); a text of another length, or one that is not a
    // time, gives a value IsValid rejects.
    explicit CUTCTime(const CString& text);
    CUTCTime(const CUTCTime& other) = default;
    CUTCTime& operator=(const CUTCTime& other) = default;

    // One second earlier (day 1 goes to the last day of the month before).
    CUTCTime& operator--();

    // The time in the machine's local zone: unless timeOnly, the locale's long date and a
    // space; the locale's time (seconds only with withSeconds); " +hhmm" or " -hhmm" for the
    // local zone (+ east of universal time).
    CString GetTimeAsString(int withSeconds, int timeOnly) const;

    // Version byte 0, year, month, day, minute of day, second, zone kind, offset, text
    // length. Loading raises CArchiveException (generic) for another version or a value
    // IsValid rejects, and leaves the object unchanged then.
    void Serialize(CArchive& ar) override;

    // Reads YYMMDDhhmm[ss](Z|-|+)[hhmm]: lengths 11 (YYMMDDhhmmZ), 13 (with seconds),
    // 15 (with an offset) and 17 (with seconds and an offset). Another length leaves the
    // object unchanged and returns FALSE. Years 50-99 are 1950-1999, 00-49 are 2000-2049.
    // A zone character other than 'Z' or '-' counts as '+'; lengths 11 and 13 carry no
    // offset digits, so the offset is 0 there. A text whose digit positions hold anything but
    // digits, or whose hours or minutes are out of range, gives a value IsValid rejects and
    // returns FALSE. A "Z" time given with offset digits keeps the length without them.
    BOOL Setup(const char* text, BYTE length);

    // Month, day (leap years counted), zone kind, minute of day, second, offset and text
    // length within their ranges.
    BOOL IsValid() const;

    // The current universal time, zone kind 0, text length 13 (YYMMDDhhmmssZ).
    void SetCurrentTime();

    // Days in the month of the given year (0 for a month outside 1-12).
    static int DaysInMonth(int year, int month);

    WORD m_nYear = 0;           // full year
    BYTE m_nMonth = 0;          // 1-12
    BYTE m_nDay = 0;            // 1-31
    WORD m_nMinuteOfDay = 0;    // hours x 60 + minutes
    BYTE m_nSecond = 0;         // 0-59
    int m_nZoneKind = 0;        // ZoneUTC, ZoneMinus or ZonePlus
    WORD m_nZoneMinutes = 0;    // offset, hours x 60 + minutes, below 1440
    BYTE m_nTextLength = 0;     // 11, 13, 15 or 17
};

// Equal: every field but the text length. The order compares the universal times the values
// stand for, so values that are the same instant in different zones are neither less nor
// greater than each other.
SIGILBOX_API bool operator==(const CUTCTime& a, const CUTCTime& b);
SIGILBOX_API bool operator<(const CUTCTime& a, const CUTCTime& b);
SIGILBOX_API bool operator>(const CUTCTime& a, const CUTCTime& b);
SIGILBOX_API bool operator>=(const CUTCTime& a, const CUTCTime& b);
SIGILBOX_API bool operator<=(const CUTCTime& a, const CUTCTime& b);
