#include "decrypt/mime/header_date.h"

#include "decrypt/mime/message.h"
#include "framework/system.h"

#include <cctype>
#include <ctime>

namespace {

// A small scanner with the conversions the date patterns need, as the C library's scanf
// reads them: "%c" takes one character, "%d" skips blanks and reads a signed decimal
// number (kept within a safe range), a blank matches any run of blanks, anything else must
// match itself. Returns how many conversions were made.
int ScanFields(const char* s, const char* pattern, long* out)
{
    int n = 0;
    for (const char* p = pattern; *p; ++p) {
        if (*p == ' ') {
            while (*s && std::isspace(static_cast<unsigned char>(*s)))
                ++s;
            continue;
        }
        if (*p == '%' && (p[1] == 'c' || p[1] == 'd')) {
            ++p;
            if (*p == 'c') {
                if (!*s)
                    return n;
                out[n++] = static_cast<unsigned char>(*s++);
                continue;
            }
            while (*s && std::isspace(static_cast<unsigned char>(*s)))
                ++s;
            bool negative = false;
            if (*s == '+' || *s == '-')
                negative = *s++ == '-';
            if (!std::isdigit(static_cast<unsigned char>(*s)))
                return n;
            long v = 0;
            while (std::isdigit(static_cast<unsigned char>(*s))) {
                if (v < 100000000)
                    v = v * 10 + (*s - '0');
                ++s;
            }
            out[n++] = negative ? -v : v;
            continue;
        }
        if (*s != *p)
            return n;
        ++s;
    }
    return n;
}

int MonthIndex(long a, long b, long c)
{
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    char m[3] = {static_cast<char>(std::tolower(static_cast<int>(a))), static_cast<char>(std::tolower(static_cast<int>(b))),
                 static_cast<char>(std::tolower(static_cast<int>(c)))};
    for (int i = 0; i < 12; ++i)
        if (m[0] == months[i][0] && m[1] == months[i][1] && m[2] == months[i][2])
            return i;
    return -1;
}

// The three forms, and where each field stands among a form's conversions (-1: absent).
struct DatePattern {
    const char* format;
    int conversions;
    int day, month, year, hour, minute, second, sign, zone;
};

constexpr DatePattern kDatePatterns[] = {
    {"%c%c%c,%d %c%c%c %d %d:%d:%d %c%d", 13, 3, 4, 7, 8, 9, 10, 11, 12},
    {"%c%c%c,%d %c%c%c %d %d:%d", 10, 3, 4, 7, 8, 9, -1, -1, -1},
    {"%d %c%c%c %d %d:%d", 7, 0, 1, 4, 5, 6, -1, -1, -1},
};

} // namespace

BOOL AfxParseHeaderDate(const CString& value, CTime& date, LONG& zoneOut)
{
    long f[13] = {};
    const DatePattern* form = nullptr;
    for (const DatePattern& pattern : kDatePatterns) {
        if (ScanFields(value.c_str(), pattern.format, f) == pattern.conversions) {
            form = &pattern;
            break;
        }
    }
    if (!form)
        return FALSE;
    auto field = [&](int index) { return index < 0 ? 0L : f[index]; };
    const long day = field(form->day), hour = field(form->hour), minute = field(form->minute);
    const long second = field(form->second), sign = field(form->sign), zone = field(form->zone);
    const int month = MonthIndex(f[form->month], f[form->month + 1], f[form->month + 2]);
    const bool withZone = form->zone >= 0;
    long year = field(form->year);
    // Fields out of their ranges make no date (the library would roll them over).
    if (month < 0 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60 || year < 0 || year > 9999)
        return FALSE;
    if (year < 100) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        year += (now.wYear / 100) * 100;
    }
    std::tm t{};
    t.tm_year = static_cast<int>(year - 1900);
    t.tm_mon = month;
    t.tm_mday = static_cast<int>(day);
    t.tm_hour = static_cast<int>(hour);
    t.tm_min = static_cast<int>(minute);
    t.tm_sec = static_cast<int>(second);
    t.tm_isdst = -1;   // daylight saving as the system sees it
    std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1))
        return FALSE;
    date = CTime(when);
    zoneOut = AfxGetLocalZone();
    if (withZone && zone >= 0 && zone <= 1200 && (sign == '+' || sign == '-'))
        zoneOut = sign == '+' ? zone : -zone;
    return TRUE;
}
