// Calendar times: reading the text form, validity, counting down, ordering, local display and
// the archive form.
#include "sigilbox/asn1/utc_time.h"

#include "framework/memfile.h"
#include "framework/system.h"
#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

CUTCTime Time(const char* text)
{
    CUTCTime t{CString(text)};
    return t;
}

CUTCTime Fields(int year, int month, int day, int hour, int minute, int second, int kind = 0, int offset = 0,
                int length = 13)
{
    CUTCTime t{CString()};
    t.m_nYear = static_cast<WORD>(year);
    t.m_nMonth = static_cast<BYTE>(month);
    t.m_nDay = static_cast<BYTE>(day);
    t.m_nMinuteOfDay = static_cast<WORD>(hour * 60 + minute);
    t.m_nSecond = static_cast<BYTE>(second);
    t.m_nZoneKind = kind;
    t.m_nZoneMinutes = static_cast<WORD>(offset);
    t.m_nTextLength = static_cast<BYTE>(length);
    return t;
}

void ExpectFields(const CUTCTime& t, int year, int month, int day, int hour, int minute, int second)
{
    EXPECT_EQ(t.m_nYear, year);
    EXPECT_EQ(t.m_nMonth, month);
    EXPECT_EQ(t.m_nDay, day);
    EXPECT_EQ(t.m_nMinuteOfDay, hour * 60 + minute);
    EXPECT_EQ(t.m_nSecond, second);
}

// ---- Setup ----

TEST(UTCTime, SetupReadsTheFourLayouts)
{
    CUTCTime a = Time("9612312359Z");
    ExpectFields(a, 1996, 12, 31, 23, 59, 0);
    EXPECT_EQ(a.m_nZoneKind, 0);
    EXPECT_EQ(a.m_nTextLength, 11);
    EXPECT_TRUE(a.IsValid());

    CUTCTime b = Time("961231235958Z");
    ExpectFields(b, 1996, 12, 31, 23, 59, 58);
    EXPECT_EQ(b.m_nTextLength, 13);

    CUTCTime c = Time("9607011200-0130");
    ExpectFields(c, 1996, 7, 1, 12, 0, 0);
    EXPECT_EQ(c.m_nZoneKind, 1);
    EXPECT_EQ(c.m_nZoneMinutes, 90);
    EXPECT_EQ(c.m_nTextLength, 15);

    CUTCTime d = Time("960701120005+0100");
    ExpectFields(d, 1996, 7, 1, 12, 0, 5);
    EXPECT_EQ(d.m_nZoneKind, 2);
    EXPECT_EQ(d.m_nZoneMinutes, 60);
    EXPECT_EQ(d.m_nTextLength, 17);
    EXPECT_TRUE(d.IsValid());
}

TEST(UTCTime, TwoDigitYearsFollowTheCertificateProfile)
{
    EXPECT_EQ(Time("000101000000Z").m_nYear, 2000);
    EXPECT_EQ(Time("491231235959Z").m_nYear, 2049);
    EXPECT_EQ(Time("500101000000Z").m_nYear, 1950);
    EXPECT_EQ(Time("990101000000Z").m_nYear, 1999);
}

TEST(UTCTime, OtherLengthsChangeNothing)
{
    CUTCTime t = Time("9612312359Z");
    const CUTCTime before = t;
    EXPECT_FALSE(t.Setup("961231235900", 12));
    EXPECT_FALSE(t.Setup("9612312359Z", 10));
    EXPECT_FALSE(t.Setup(nullptr, 13));
    EXPECT_TRUE(t == before);
    EXPECT_EQ(t.m_nTextLength, 11);

    // A long text is not read as its length cut to 8 bits (267 & 0xFF = 11).
    std::string longText = "9612312359Z" + std::string(256, 'x');
    EXPECT_FALSE(CUTCTime(CString(longText.c_str())).IsValid());
    EXPECT_FALSE(Time("").IsValid());
}

TEST(UTCTime, ZoneCharacters)
{
    EXPECT_EQ(Time("9607011200?0100").m_nZoneKind, 2);   // anything else counts as '+'
    // The short layouts carry no offset digits: nothing is read past the text.
    CUTCTime t = Time("9607011200+");
    EXPECT_EQ(t.m_nZoneKind, 2);
    EXPECT_EQ(t.m_nZoneMinutes, 0);
    EXPECT_TRUE(t.IsValid());
    // A "Z" time handed over with placeholder offset digits keeps the layout without them.
    CUTCTime z = Time("960701120000Z0000");
    EXPECT_EQ(z.m_nZoneKind, 0);
    EXPECT_EQ(z.m_nTextLength, 13);
    EXPECT_EQ(Time("9607011200Z0000").m_nTextLength, 11);
}

TEST(UTCTime, TextsThatAreNotTimesAreInvalid)
{
    CUTCTime t = Time("9612312359Z");
    EXPECT_FALSE(t.Setup("96123123:9Z", 11));
    EXPECT_FALSE(t.IsValid());
    for (const char* text : {"9612312360Z", "9612312459Z", "96 2312359Z", "9612312359+0a00", "9612312359+2400",
                             "9612312359+0060", "96123123595aZ"}) {
        CUTCTime bad = Time(text);
        EXPECT_FALSE(bad.IsValid()) << text;
    }
}

// ---- IsValid ----

TEST(UTCTime, ValidityOfDates)
{
    EXPECT_TRUE(Time("960229000000Z").IsValid());    // 1996 is a leap year
    EXPECT_FALSE(Time("970229000000Z").IsValid());
    EXPECT_TRUE(Time("000229000000Z").IsValid());    // 2000 is one too
    EXPECT_FALSE(Time("960431000000Z").IsValid());
    EXPECT_TRUE(Time("960430000000Z").IsValid());
    EXPECT_FALSE(Time("961301000000Z").IsValid());   // month 13
    EXPECT_FALSE(Time("960001000000Z").IsValid());
    EXPECT_FALSE(Time("960100000000Z").IsValid());
    EXPECT_FALSE(Time("960132000000Z").IsValid());
    EXPECT_FALSE(Time("960101000060Z").IsValid());

    EXPECT_FALSE(Fields(2100, 2, 29, 0, 0, 0).IsValid());   // divisible by 100, not by 400
    EXPECT_FALSE(Fields(1996, 1, 1, 0, 0, 0, 3).IsValid());
    EXPECT_FALSE(Fields(1996, 1, 1, 0, 0, 0, 2, 1440).IsValid());
    EXPECT_FALSE(Fields(1996, 1, 1, 0, 0, 0, 0, 0, 12).IsValid());
}

// ---- counting down ----

TEST(UTCTime, OneSecondEarlier)
{
    CUTCTime t = Time("970101000000Z");
    --t;
    ExpectFields(t, 1996, 12, 31, 23, 59, 59);

    CUTCTime march = Time("000301000000Z");
    --march;
    ExpectFields(march, 2000, 2, 29, 23, 59, 59);

    CUTCTime march99 = Time("990301000000Z");
    --march99;
    ExpectFields(march99, 1999, 2, 28, 23, 59, 59);

    CUTCTime may = Time("960501000000Z");
    --may;
    ExpectFields(may, 1996, 4, 30, 23, 59, 59);

    CUTCTime plain = Time("960501101010Z");
    --plain;
    ExpectFields(plain, 1996, 5, 1, 10, 10, 9);
    CUTCTime minute = Time("960501101000Z");
    --minute;
    ExpectFields(minute, 1996, 5, 1, 10, 9, 59);
    EXPECT_TRUE(minute.IsValid());
}

// ---- comparisons ----

TEST(UTCTime, EqualityIgnoresOnlyTheTextLength)
{
    EXPECT_TRUE(Time("9607011200Z") == Time("960701120000Z"));
    EXPECT_FALSE(Time("960701120000Z") == Time("960701120001Z"));
    // The same instant written in two zones is two different values.
    EXPECT_FALSE(Time("960701120000Z") == Time("960701110000+0100"));
}

TEST(UTCTime, OrderFollowsUniversalTime)
{
    CUTCTime early = Time("960701120000Z");
    CUTCTime late = Time("960701120001Z");
    EXPECT_TRUE(early < late);
    EXPECT_FALSE(late < early);
    EXPECT_TRUE(late > early);
    EXPECT_TRUE(early <= late);
    EXPECT_TRUE(late >= early);
    EXPECT_TRUE(early <= early);
    EXPECT_TRUE(early >= early);
    EXPECT_FALSE(early < early);
    EXPECT_FALSE(early > early);

    EXPECT_TRUE(Time("961231235959Z") < Time("970101000000Z"));
    EXPECT_TRUE(Time("491231235959Z") > Time("500101000000Z"));   // 2049 after 1950

    // Kind 2 stands for the stored time plus the offset: 23:00 +0200 on 1 January is
    // 01:00 on 2 January, later than 00:30 on 2 January although its date is earlier.
    CUTCTime shifted = Time("960101230000+0200");
    CUTCTime next = Time("960102003000Z");
    EXPECT_TRUE(shifted > next);
    EXPECT_TRUE(next < shifted);
    EXPECT_TRUE(Time("960102003000-0100") < Time("960102000000Z"));   // 23:30 on 1 January

    // The same instant in two zones is neither before nor after the other.
    CUTCTime z = Time("960701120000Z");
    CUTCTime plus = Time("960701110000+0100");
    EXPECT_FALSE(z < plus);
    EXPECT_FALSE(z > plus);
    EXPECT_TRUE(z <= plus);
    EXPECT_TRUE(z >= plus);
}

// ---- the current time and its display ----

TEST(UTCTime, CurrentTimeIsUniversal)
{
    SYSTEMTIME before;
    GetSystemTime(&before);
    CUTCTime now;
    EXPECT_TRUE(now.IsValid());
    EXPECT_EQ(now.m_nZoneKind, 0);
    EXPECT_EQ(now.m_nZoneMinutes, 0);
    EXPECT_EQ(now.m_nTextLength, 13);
    CUTCTime reference = Fields(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute, before.wSecond);
    CUTCTime later = reference;
    for (int i = 0; i < 5; ++i)
        --reference;
    EXPECT_TRUE(now >= reference);
    (void)later;
}

class ScopedZone {
public:
    explicit ScopedZone(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedZone()
    {
        if (m_had)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

TEST(UTCTime, TextInTheLocalZone)
{
    ScopedZone zone("UTC-1");   // POSIX: one hour east of universal time
    ::setenv("LC_ALL", "C", 1);
    ASSERT_EQ(AfxGetTimeZoneBias(), -60);
    CUTCTime t = Time("961231233059Z");
    // 23:30:59 universal is 00:30:59 on 1 January 1997 here.
    EXPECT_EQ(t.GetTimeAsString(1, 1), "00:30:59 +0100");
    EXPECT_EQ(t.GetTimeAsString(0, 1), "00:30 +0100");
    EXPECT_EQ(t.GetTimeAsString(1, 0), "Wednesday, January 01, 1997 00:30:59 +0100");

    // Stored with kind 1: universal time is the stored time minus the offset.
    CUTCTime minus = Time("970101003059-0100");
    EXPECT_EQ(minus.GetTimeAsString(1, 1), "00:30:59 +0100");
}

TEST(UTCTime, TextWestOfUniversalTime)
{
    ScopedZone zone("UTC+5");   // five hours west
    ::setenv("LC_ALL", "C", 1);
    ASSERT_EQ(AfxGetTimeZoneBias(), 300);
    EXPECT_EQ(Time("970101020000Z").GetTimeAsString(0, 1), "21:00 -0500");
    EXPECT_EQ(Time("970101020000Z").GetTimeAsString(0, 0), "Tuesday, December 31, 1996 21:00 -0500");
}

// ---- archive form ----

std::vector<BYTE> Store(CUTCTime& t)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        t.Serialize(ar);
        ar.Close();
    }
    const BYTE* p = file.GetBufferPtr();
    return std::vector<BYTE>(p, p + file.GetLength());
}

// Loads into `t`; returns the archive exception's cause, or 0.
int Load(CUTCTime& t, std::vector<BYTE> bytes)
{
    CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CArchive ar(&file, CArchive::load);
    return std::max(0, qmtest::CauseOf<CArchiveException>([&] { t.Serialize(ar); }));
}

TEST(UTCTime, ArchiveBytes)
{
    CUTCTime t = Time("960701123005+0130");
    // version, year 1996, month, day, minute of day 750, second, kind 2, offset 90, length 17
    const std::vector<BYTE> bytes = {0x00, 0xCC, 0x07, 0x07, 0x01, 0xEE, 0x02, 0x05, 0x02, 0x00, 0x5A, 0x00, 0x11};
    EXPECT_EQ(Store(t), bytes);

    CUTCTime loaded{CString()};
    EXPECT_EQ(Load(loaded, bytes), 0);
    EXPECT_TRUE(loaded == t);
    EXPECT_EQ(loaded.m_nTextLength, 17);
    EXPECT_EQ(Store(loaded), bytes);
}

TEST(UTCTime, ArchiveRejectsBadValuesAndKeepsTheOldOne)
{
    const std::vector<BYTE> good = {0x00, 0xCC, 0x07, 0x07, 0x01, 0xEE, 0x02, 0x05, 0x00, 0x00, 0x00, 0x00, 0x0D};
    const CUTCTime original = Time("970101000000Z");

    auto expectRejected = [&](std::vector<BYTE> bytes, int cause, const char* what) {
        CUTCTime t = original;
        EXPECT_EQ(Load(t, std::move(bytes)), cause) << what;
        EXPECT_TRUE(t == original) << what;
    };
    auto with = [&](size_t index, BYTE value) {
        std::vector<BYTE> b = good;
        b[index] = value;
        return b;
    };
    expectRejected(with(0, 1), CArchiveException::generic, "version 1");
    expectRejected(with(3, 13), CArchiveException::generic, "month 13");
    std::vector<BYTE> june31 = with(4, 31);
    june31[3] = 6;
    expectRejected(june31, CArchiveException::generic, "31 June");
    expectRejected(with(7, 60), CArchiveException::generic, "second 60");
    expectRejected(with(8, 3), CArchiveException::generic, "zone kind 3");
    expectRejected(with(12, 12), CArchiveException::generic, "text length 12");
    expectRejected(std::vector<BYTE>(good.begin(), good.end() - 1), CArchiveException::endOfFile, "truncated");

    CUTCTime t = original;
    EXPECT_EQ(Load(t, with(4, 31)), 0);   // 31 July is fine
    EXPECT_EQ(t.m_nDay, 31);
}

TEST(UTCTime, ArchivedYearsBefore1950MeanThisCentury)
{
    // Earlier versions stored "25" as 1925.
    const std::vector<BYTE> bytes = {0x00, 0x85, 0x07, 0x03, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D};
    CUTCTime t{CString()};
    EXPECT_EQ(Load(t, bytes), 0);
    EXPECT_EQ(t.m_nYear, 2025);
}

TEST(UTCTime, ArchiveAsObject)
{
    CUTCTime t = Time("961231235958Z");
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar << static_cast<const CObject*>(&t);
        ar.Close();
    }
    std::vector<BYTE> expected = {0xFF, 0xFF, 0x00, 0x00, 0x08, 0x00, 'C', 'U', 'T', 'C', 'T', 'i', 'm', 'e',
                                  0x00, 0xCC, 0x07, 0x0C, 0x1F, 0x9F, 0x05, 0x3A, 0x00, 0x00, 0x00, 0x00, 0x0D};
    const BYTE* p = file.GetBufferPtr();
    EXPECT_EQ(std::vector<BYTE>(p, p + file.GetLength()), expected);

    CMemFile in(expected.data(), static_cast<UINT>(expected.size()));
    CArchive ar(&in, CArchive::load);
    CUTCTime* loaded = nullptr;
    ar >> loaded;
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(*loaded == t);
    delete loaded;
}

} // namespace
