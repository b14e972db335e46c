// Reading, parsing and writing the header lines of a message.
#include "decrypt/mime/header_lex.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/msg_store.h"
#include "framework/system.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string>

namespace {

// Longest line piece read at a time; longer lines arrive in pieces.
constexpr UINT kLineBuffer = 1024;

bool StartsWithNoCase(const CString& value, const char* prefix)
{
    size_t n = std::char_traits<char>::length(prefix);
    if (static_cast<size_t>(value.GetLength()) < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(value.c_str()[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The word as a whole, or followed by anything but '/' ("text", "text;..." but not "text/html").
bool StartsWithWord(const CString& value, const char* word)
{
    size_t n = std::char_traits<char>::length(word);
    return StartsWithNoCase(value, word) && (static_cast<size_t>(value.GetLength()) == n || value.c_str()[n] != '/');
}

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

} // namespace

namespace {

// A header field line: a name of printable characters other than blank and ':', then ':'.
bool IsHeaderField(const std::string& line)
{
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos)
        return false;
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c <= 0x20 || c >= 0x7F)
            return false;
    }
    return true;
}

bool IsBlankLine(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

void CMessage::ReadHeaders()
{
    EnsureOpen();
    m_Stream.Seek(m_nHeaderStart, CFile::begin);
    const long long end = ScanLimit();
    std::string pending;
    bool ended = false;
    bool first = true;
    char buf[kLineBuffer];

    auto parsePending = [&] {
        if (!pending.empty())
            ParseHeaderLine(CString(std::move(pending)));
        pending.clear();
    };

    while (m_Stream.GetPosition() < end) {
        // One line; a line longer than the buffer arrives in pieces that belong together.
        const long long lineStart = m_Stream.GetPosition();
        std::string line;
        bool any = false;
        for (;;) {
            long long start = m_Stream.GetPosition();
            if (start >= end)
                break;
            COleStream::LineInfo info;
            if (!m_Stream.ReadLine(buf, kLineBuffer, info))
                break;
            any = true;
            size_t len = info.length;
            bool cutByEnd = start + static_cast<long long>(len) > end;
            if (cutByEnd)
                len = static_cast<size_t>(end - start);
            if (line.size() < static_cast<size_t>(kMaxHeaderLength))
                line.append(buf, std::min(len, static_cast<size_t>(kMaxHeaderLength) - line.size()));
            if (info.terminator || cutByEnd || info.length < kLineBuffer - 1)
                break;
        }
        if (!any)
            break;
        const bool wasFirst = first;
        first = false;
        // A mailbox separator line before the header fields is not part of the message.
        if (wasFirst && line.compare(0, 5, "From ") == 0)
            continue;
        if (IsBlankLine(line)) {
            // The empty line (or one of blanks only): the body starts after it.
            parsePending();
            long long pos = std::min<long long>(m_Stream.GetPosition(), end);
            m_nBodyStart = static_cast<DWORD>(pos);
            ended = true;
            break;
        }
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        if ((continuation && pending.empty()) || (!continuation && !IsHeaderField(line))) {
            // Text where a header field should be: the header block was not closed, and the
            // body starts with this line, which is kept whole.
            parsePending();
            m_nBodyStart = static_cast<DWORD>(lineStart);
            ended = true;
            break;
        }
        if (continuation) {
            size_t firstChar = line.find_first_not_of(" \t");
            if (pending.size() < static_cast<size_t>(kMaxHeaderLength)) {
                pending += ' ';
                if (firstChar != std::string::npos)
                    pending.append(line, firstChar, static_cast<size_t>(kMaxHeaderLength) - std::min(pending.size(), static_cast<size_t>(kMaxHeaderLength)));
            }
        } else {
            parsePending();
            pending = std::move(line);
        }
    }
    if (!ended) {
        // Header fields up to the end: there is no body.
        parsePending();
        m_nBodyStart = static_cast<DWORD>(std::min<long long>(std::max<long long>(m_Stream.GetPosition(), m_nBodyStart), end));
    }
    CloseStream();
    ResolvePartName();
}

BOOL AfxIsUuencodeEncodingName(const CString& value)
{
    CString token(value);
    token.TrimRight(" \t");
    for (const char* name : {"x-uuencode", "uuencode", "x-uue", "uue"})
        if (token.CompareNoCase(name) == 0)
            return TRUE;
    return FALSE;
}

void CMessage::ResolvePartName()
{
    const DWORD form = GetForm();
    const DWORD content = GetContent();
    if ((form != kFormPlain && form != kFormMime) ||
        !(content == 0 || content == kContentText || content == kContentFile))
        return;
    CString raw, name;
    BOOL attachment = FALSE;
    if (m_Headers.Find("Content-Disposition", raw)) {
        CString disposition = AfxNormalizeHeaderValue(raw, FALSE);
        attachment = StartsWithNoCase(disposition, "attachment");
        AfxFindNameParameter(disposition, "filename", name);
    }
    if (name.IsEmpty() && m_Headers.Find("Content-Type", raw))
        AfxFindNameParameter(AfxNormalizeHeaderValue(raw, FALSE), "name", name);
    if (name.IsEmpty()) {
        // Whichever header came first, an attachment is a file.
        if (attachment && m_strName.IsEmpty())
            m_nKind = (m_nKind & ~0xFFu) | kFormMime | kContentFile;
        return;
    }
    m_strName = name;
    m_nKind = (m_nKind & ~0xFFu) | kFormMime | kContentFile;
}

void CMessage::ParseHeaderLine(const CString& line)
{
    int colon = line.Find(':');
    if (colon < 0)
        return;
    CString name = line.Left(colon);
    CString value = line.Mid(colon + 1);
    value.TrimLeft(" \t");
    m_Headers.Add(name, value);

    CString norm = AfxNormalizeHeaderValue(value, FALSE);
    if (name.CompareNoCase("Date") == 0) {
        ParseDate(norm);
    } else if (name.CompareNoCase("Message-Id") == 0) {
        int space = norm.Find(' ');
        m_strMessageId = space < 0 ? norm : norm.Left(space);
    } else if (name.CompareNoCase("MIME-Version") == 0) {
        // Marks a MIME entity without forgetting a content type read before it (mailers
        // put this header after Content-Type, and in every part, often enough).
        DWORD form = m_nKind & kKindFormMask;
        if (form != kFormPem && form != kFormSmime)
            m_nKind = (m_nKind & ~kKindFormMask) | kFormMime;
    } else if (name.CompareNoCase("Encoding") == 0) {
        if (norm.Find("TEXT") >= 0 || norm.Find("UUENCODE") >= 0)
            m_nKind = kFormUuText;
    } else if (name.CompareNoCase("Content-Type") == 0) {
        ParseContentType(norm);
    } else if (name.CompareNoCase("Content-Disposition") == 0) {
        ParseDisposition(norm);
    } else if (name.CompareNoCase("Content-Transfer-Encoding") == 0) {
        ParseTransferEncoding(norm);
    }
}

BOOL CMessage::ApplyNamedFile(const CString& value, const char* parameter, BOOL treatAbsentAsEmpty)
{
    CString name;
    BOOL found = AfxFindNameParameter(value, parameter, name);
    if (!found && !treatAbsentAsEmpty)
        return FALSE;
    if (m_strName.IsEmpty()) {
        m_nKind = (m_nKind & ~0xFFu) | kFormMime | kContentFile;
        m_strName = name;
    }
    return TRUE;
}

void CMessage::ParseContentType(const CString& v)
{
    int semi = v.Find(';');
    m_strContentType = semi < 0 ? v : v.Left(semi);
    auto setLow = [&](DWORD low) { m_nKind = (m_nKind & ~0xFFu) | low; };

    if (StartsWithNoCase(v, "text/plain") || StartsWithWord(v, "text")) {
        CString name;
        if (AfxFindNameParameter(v, "name", name)) {
            if (m_strName.IsEmpty()) {
                setLow(kFormMime | kContentFile);
                m_strName = name;
            }
        } else {
            setLow(kFormMime | kContentText);
        }
    } else if (StartsWithNoCase(v, "multipart")) {
        // Some mailers send even the boundary in the extended parameter form.
        if (!AfxFindHeaderParameter(v, "boundary", m_strBoundary))
            AfxFindNameParameter(v, "boundary", m_strBoundary);
        setLow(kFormMime | kContentMultipart);
        if (StartsWithNoCase(v, "multipart/signed")) {
            AfxFindHeaderParameter(v, "protocol", m_strProtocol);
            AfxFindHeaderParameter(v, "micalg", m_strMicalg);
            m_nKind = (m_nKind & ~kKindFlavourMask) | kFlavourSigned;
        } else if (StartsWithNoCase(v, "multipart/encrypted")) {
            AfxFindHeaderParameter(v, "protocol", m_strProtocol);
            m_nKind = (m_nKind & ~kKindFlavourMask) | kFlavourEncrypted;
        }
    } else if (StartsWithNoCase(v, "application/octet-stream") || StartsWithWord(v, "application")) {
        // Binary without a name is still a file, never message text.
        if (!ApplyNamedFile(v, "name", FALSE) && m_strName.IsEmpty())
            setLow(kFormMime | kContentFile);
    } else if (StartsWithNoCase(v, "application/x-pkcs7-mime") || StartsWithNoCase(v, "application/pkcs7-mime")) {
        setLow(kFormSmime | kContentPkcs7);
    } else if (StartsWithNoCase(v, "application/x-pkcs10") || StartsWithNoCase(v, "application/pkcs10")) {
        setLow(kFormSmime | kContentPkcs10);
    } else if (StartsWithNoCase(v, "application/x-ole1")) {
        setLow(kFormMime | kContentOle1);
    } else if (StartsWithNoCase(v, "application/x-ole2")) {
        setLow(kFormMime | kContentOle2);
    } else if (StartsWithNoCase(v, "application/msword")) {
        if (!ApplyNamedFile(v, "name", FALSE) && m_strName.IsEmpty())
            setLow(kFormMime | kContentFile);
    } else if (StartsWithNoCase(v, "message/rfc822")) {
        setLow(kFormMime | kContentMessage);
    } else {
        if (!ApplyNamedFile(v, "name", FALSE) && !ApplyNamedFile(v, "file", FALSE) && !ApplyNamedFile(v, "filename", FALSE) &&
            m_strName.IsEmpty())
            setLow(kFormMime | kContentFile);
    }
}

void CMessage::ParseDisposition(const CString& v)
{
    // An attachment without a file name is still a file, with an empty name; a
    // disposition never turns a container or an S/MIME object into a file.
    const DWORD content = m_nKind & kKindContentMask;
    if (StartsWithNoCase(v, "attachment") && (content == 0 || content == kContentText || content == kContentFile))
        ApplyNamedFile(v, "filename", TRUE);
}

void CMessage::ParseTransferEncoding(const CString& v)
{
    auto mimeForm = [&] {
        if ((m_nKind & kKindFormMask) == kFormPlain)
            m_nKind = (m_nKind & ~kKindFormMask) | kFormMime;
    };
    if (StartsWithNoCase(v, "base64")) {
        m_nKind = (m_nKind & ~kKindEncodingMask) | kEncodingBase64;
        mimeForm();
    } else if (StartsWithNoCase(v, "quoted-printable")) {
        m_nKind = (m_nKind & ~kKindEncodingMask) | kEncodingQuotedPrintable;
        mimeForm();
    } else if (StartsWithNoCase(v, "7bit") || StartsWithNoCase(v, "8bit") || StartsWithNoCase(v, "binary")) {
        mimeForm();
    } else if (AfxIsUuencodeEncodingName(v)) {
        m_nKind = (m_nKind & ~kKindEncodingMask) | kEncodingUuencode;
    }
}

void CMessage::ParseDate(const CString& v)
{
    long f[13] = {};
    const char* s = v.c_str();
    long day, year, hour, minute, second = 0, sign = 0, zone = 0;
    int month;
    bool withZone = false;
    if (ScanFields(s, "%c%c%c,%d %c%c%c %d %d:%d:%d %c%d", f) == 13) {
        day = f[3];
        month = MonthIndex(f[4], f[5], f[6]);
        year = f[7];
        hour = f[8];
        minute = f[9];
        second = f[10];
        sign = f[11];
        zone = f[12];
        withZone = true;
    } else if (ScanFields(s, "%c%c%c,%d %c%c%c %d %d:%d", f) == 10) {
        day = f[3];
        month = MonthIndex(f[4], f[5], f[6]);
        year = f[7];
        hour = f[8];
        minute = f[9];
    } else if (ScanFields(s, "%d %c%c%c %d %d:%d", f) == 7) {
        day = f[0];
        month = MonthIndex(f[1], f[2], f[3]);
        year = f[4];
        hour = f[5];
        minute = f[6];
    } else {
        return;
    }
    // Fields out of their ranges make no date (the library would roll them over).
    if (month < 0 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 60 || year < 0 || year > 9999)
        return;
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
        return;
    m_Date = CTime(when);
    m_nZone = AfxGetLocalZone();
    if (withZone && zone >= 0 && zone <= 1200 && (sign == '+' || sign == '-'))
        m_nZone = sign == '+' ? zone : -zone;
}

void CMessage::WriteHeaders(CMessage* source)
{
    auto write = [&](const std::string& text) {
        if (!text.empty())
            Append(text.data(), static_cast<UINT>(text.size()));
    };
    auto writeList = [&](const char* field) {
        std::vector<const CString*> values;
        for (int i = 0; i < source->m_Headers.GetSize(); ++i) {
            const CHeaderRecord* r = source->m_Headers.GetItem(i);
            if (r->m_strName == field)
                values.push_back(&r->m_strValue);
        }
        for (size_t i = 0; i < values.size(); ++i) {
            std::string line = i == 0 ? std::string(field) + ": " : std::string("    ");
            line += values[i]->str();
            line += (i + 1 < values.size()) ? ",\r\n" : "\r\n";
            write(line);
        }
    };
    bool addressesWritten = false;
    for (int i = 0; i < source->m_Headers.GetSize(); ++i) {
        const CHeaderRecord* r = source->m_Headers.GetItem(i);
        if (r->m_strName == "To" || r->m_strName == "Cc") {
            if (!addressesWritten) {
                addressesWritten = true;
                writeList("To");
                writeList("Cc");
            }
            continue;
        }
        write(r->m_strName.str() + ": " + r->m_strValue.str() + "\r\n");
    }
    write("\r\n");
    m_nBodyStart = m_nStreamEnd;
}
