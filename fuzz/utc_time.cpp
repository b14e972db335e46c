// Reads arbitrary bytes as UTCTime text and checks what holds for every value: a rejected
// text changes nothing or gives an invalid value; a valid value survives its archive form and
// its text form unchanged; counting down keeps it valid; the order is consistent.
#include "framework/memfile.h"
#include "sigilbox/asn1/utc_time.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "utc_time: %s\n", what);
        std::abort();
    }
}

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

// The text the ASN.1 layer writes for a value: YYMMDDhhmm[ss] zone [hhmm].
std::string TextOf(const CUTCTime& t)
{
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%02u%02u%02u%02u%02u", t.m_nYear % 100u, t.m_nMonth, t.m_nDay,
                          t.m_nMinuteOfDay / 60u, t.m_nMinuteOfDay % 60u);
    std::string s(buf, static_cast<size_t>(n));
    if (t.m_nTextLength == 13 || t.m_nTextLength == 17) {
        std::snprintf(buf, sizeof buf, "%02u", t.m_nSecond);
        s += buf;
    }
    s += t.m_nZoneKind == 0 ? 'Z' : t.m_nZoneKind == 1 ? '-' : '+';
    if (t.m_nTextLength >= 15) {
        std::snprintf(buf, sizeof buf, "%02u%02u", t.m_nZoneMinutes / 60u, t.m_nZoneMinutes % 60u);
        s += buf;
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 300)
        return 0;
    std::string text(reinterpret_cast<const char*>(data), size);

    // Through the string constructor: any text, any length.
    CUTCTime fromString{CString(text.c_str(), static_cast<int>(text.size()))};
    if (size != 11 && size != 13 && size != 15 && size != 17)
        Check(!fromString.IsValid(), "a text of another length gave a valid time");

    // Setup on a valid time: a rejected length changes nothing.
    CUTCTime t{CString("960701120000Z")};
    const CUTCTime before = t;
    BOOL accepted = t.Setup(text.c_str(), static_cast<BYTE>(size & 0xFF));
    if (!accepted && t.IsValid())
        Check(t == before && t.m_nTextLength == before.m_nTextLength, "a rejected text changed the time");
    if (!t.IsValid())
        return 0;

    // The archive form reloads to the same value and bytes.
    std::vector<BYTE> bytes = Store(t);
    CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CArchive ar(&file, CArchive::load);
    CUTCTime loaded{CString()};
    loaded.Serialize(ar);
    Check(loaded == t && loaded.m_nTextLength == t.m_nTextLength, "archive round trip changed the time");
    Check(Store(loaded) == bytes, "archive bytes changed");

    // The text form reads back to the same value.
    std::string again = TextOf(t);
    CUTCTime reread{CString(again.c_str())};
    Check(reread.IsValid(), "the written text is not valid");
    Check(reread == t, "the written text reads back differently");

    // One second earlier is valid, earlier, and not equal.
    CUTCTime earlier = t;
    --earlier;
    Check(earlier.IsValid(), "counting down gave an invalid time");
    Check(earlier < t && t > earlier && !(earlier == t), "counting down did not go back");
    Check(!(t < t) && t <= t && t >= t, "order is not reflexive");
    Check(!(t < fromString && fromString < t), "order is not antisymmetric");
    return 0;
}
