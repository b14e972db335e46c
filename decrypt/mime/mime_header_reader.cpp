#include "decrypt/mime/mime_header_reader.h"

#include "decrypt/mime/address_list.h"
#include "decrypt/mime/header_date.h"
#include "decrypt/mime/header_lex.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/range_lines.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The word as a whole, or followed by anything but '/' ("text", "text;..." but not "text/html").
bool StartsWithWord(const CString& value, const char* word)
{
    size_t n = std::char_traits<char>::length(word);
    return AfxStartsWithNoCase(value, word) && (static_cast<size_t>(value.GetLength()) == n || value.c_str()[n] != '/');
}

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

void CMimeHeaderReader::ReadHeaders()
{
    m_part.EnsureOpen();
    m_part.m_Stream.Seek(m_part.m_nHeaderStart, CFile::begin);
    const long long end = m_part.ScanLimit();
    std::string pending;
    bool ended = false;
    bool first = true;
    char buf[kLineBuffer];

    auto parsePending = [&] {
        if (!pending.empty())
            ParseHeaderLine(CString(std::move(pending)));
        pending.clear();
    };

    while (m_part.m_Stream.GetPosition() < end) {
        // One line; a line longer than the buffer arrives in pieces that belong together.
        const long long lineStart = m_part.m_Stream.GetPosition();
        std::string line;
        bool any = false;
        for (;;) {
            long long start = m_part.m_Stream.GetPosition();
            if (start >= end)
                break;
            COleStream::LineInfo info;
            if (!m_part.m_Stream.ReadLine(buf, kLineBuffer, info))
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
            long long pos = std::min<long long>(m_part.m_Stream.GetPosition(), end);
            m_part.m_nBodyStart = static_cast<DWORD>(pos);
            ended = true;
            break;
        }
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        if ((continuation && pending.empty()) || (!continuation && !IsHeaderField(line))) {
            // Text where a header field should be: the header block was not closed, and the
            // body starts with this line, which is kept whole.
            parsePending();
            m_part.m_nBodyStart = static_cast<DWORD>(lineStart);
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
        m_part.m_nBodyStart = static_cast<DWORD>(std::min<long long>(std::max<long long>(m_part.m_Stream.GetPosition(), m_part.m_nBodyStart), end));
    }
    m_part.CloseStream();
    ResolvePartName();
}

void CMimeHeaderReader::SetFormAndContent(DWORD formAndContent)
{
    m_part.m_nKind = (m_part.m_nKind & ~0xFFu) | formAndContent;
}

void CMimeHeaderReader::ResolvePartName()
{
    const DWORD form = m_part.GetForm();
    const DWORD content = m_part.GetContent();
    if ((form != kFormPlain && form != kFormMime) ||
        !(content == 0 || content == kContentText || content == kContentFile))
        return;
    CString raw, name;
    BOOL attachment = FALSE;
    if (m_part.m_Headers.Find("Content-Disposition", raw)) {
        CString disposition = AfxNormalizeHeaderValue(raw, FALSE);
        attachment = AfxStartsWithNoCase(disposition, "attachment");
        AfxFindNameParameter(disposition, "filename", name);
    }
    if (name.IsEmpty() && m_part.m_Headers.Find("Content-Type", raw))
        AfxFindNameParameter(AfxNormalizeHeaderValue(raw, FALSE), "name", name);
    if (name.IsEmpty()) {
        // Whichever header came first, an attachment is a file.
        if (attachment && m_part.m_strName.IsEmpty())
            SetFormAndContent(kFormMime | kContentFile);
        return;
    }
    m_part.m_strName = name;
    SetFormAndContent(kFormMime | kContentFile);
}

void CMimeHeaderReader::ParseHeaderLine(const CString& line)
{
    int colon = line.Find(':');
    if (colon < 0)
        return;
    CString name = line.Left(colon);
    CString value = line.Mid(colon + 1);
    value.TrimLeft(" \t");
    m_part.m_Headers.Add(name, value);

    CString norm = AfxNormalizeHeaderValue(value, FALSE);
    if (name.CompareNoCase("Date") == 0) {
        ParseDate(norm);
    } else if (name.CompareNoCase("Message-Id") == 0) {
        int space = norm.Find(' ');
        m_part.m_strMessageId = space < 0 ? norm : norm.Left(space);
    } else if (name.CompareNoCase("MIME-Version") == 0) {
        // Marks a MIME entity without forgetting a content type read before it (mailers
        // put this header after Content-Type, and in every part, often enough).
        DWORD form = m_part.m_nKind & kKindFormMask;
        if (form != kFormPem && form != kFormSmime)
            m_part.m_nKind = (m_part.m_nKind & ~kKindFormMask) | kFormMime;
    } else if (name.CompareNoCase("Encoding") == 0) {
        if (norm.Find("TEXT") >= 0 || norm.Find("UUENCODE") >= 0)
            m_part.m_nKind = kFormUuText;
    } else if (name.CompareNoCase("Content-Type") == 0) {
        ParseContentType(norm);
    } else if (name.CompareNoCase("Content-Disposition") == 0) {
        ParseDisposition(norm);
    } else if (name.CompareNoCase("Content-Transfer-Encoding") == 0) {
        ParseTransferEncoding(norm);
    }
}

BOOL CMimeHeaderReader::ApplyNamedFile(const CString& value, const char* parameter, BOOL treatAbsentAsEmpty)
{
    CString name;
    BOOL found = AfxFindNameParameter(value, parameter, name);
    if (!found && !treatAbsentAsEmpty)
        return FALSE;
    if (m_part.m_strName.IsEmpty()) {
        SetFormAndContent(kFormMime | kContentFile);
        m_part.m_strName = name;
    }
    return TRUE;
}

void CMimeHeaderReader::ParseContentType(const CString& value)
{
    int semi = value.Find(';');
    m_part.m_strContentType = semi < 0 ? value : value.Left(semi);
    if (AfxStartsWithNoCase(value, "text/plain") || StartsWithWord(value, "text")) {
        CString name;
        if (AfxFindNameParameter(value, "name", name)) {
            if (m_part.m_strName.IsEmpty()) {
                SetFormAndContent(kFormMime | kContentFile);
                m_part.m_strName = name;
            }
        } else {
            SetFormAndContent(kFormMime | kContentText);
        }
    } else if (AfxStartsWithNoCase(value, "multipart")) {
        // Some mailers send even the boundary in the extended parameter form.
        if (!AfxFindHeaderParameter(value, "boundary", m_part.m_strBoundary))
            AfxFindNameParameter(value, "boundary", m_part.m_strBoundary);
        SetFormAndContent(kFormMime | kContentMultipart);
        if (AfxStartsWithNoCase(value, "multipart/signed")) {
            AfxFindHeaderParameter(value, "protocol", m_part.m_strProtocol);
            AfxFindHeaderParameter(value, "micalg", m_part.m_strMicalg);
            m_part.m_nKind = (m_part.m_nKind & ~kKindFlavourMask) | kFlavourSigned;
        } else if (AfxStartsWithNoCase(value, "multipart/encrypted")) {
            AfxFindHeaderParameter(value, "protocol", m_part.m_strProtocol);
            m_part.m_nKind = (m_part.m_nKind & ~kKindFlavourMask) | kFlavourEncrypted;
        }
    } else if (AfxStartsWithNoCase(value, "application/octet-stream") || StartsWithWord(value, "application")) {
        // Binary without a name is still a file, never message text.
        if (!ApplyNamedFile(value, "name", FALSE) && m_part.m_strName.IsEmpty())
            SetFormAndContent(kFormMime | kContentFile);
    } else if (AfxStartsWithNoCase(value, "application/x-pkcs7-mime") || AfxStartsWithNoCase(value, "application/pkcs7-mime")) {
        SetFormAndContent(kFormSmime | kContentPkcs7);
    } else if (AfxStartsWithNoCase(value, "application/x-pkcs10") || AfxStartsWithNoCase(value, "application/pkcs10")) {
        SetFormAndContent(kFormSmime | kContentPkcs10);
    } else if (AfxStartsWithNoCase(value, "application/x-ole1")) {
        SetFormAndContent(kFormMime | kContentOle1);
    } else if (AfxStartsWithNoCase(value, "application/x-ole2")) {
        SetFormAndContent(kFormMime | kContentOle2);
    } else if (AfxStartsWithNoCase(value, "application/msword")) {
        if (!ApplyNamedFile(value, "name", FALSE) && m_part.m_strName.IsEmpty())
            SetFormAndContent(kFormMime | kContentFile);
    } else if (AfxStartsWithNoCase(value, "message/rfc822")) {
        SetFormAndContent(kFormMime | kContentMessage);
    } else {
        if (!ApplyNamedFile(value, "name", FALSE) && !ApplyNamedFile(value, "file", FALSE) && !ApplyNamedFile(value, "filename", FALSE) &&
            m_part.m_strName.IsEmpty())
            SetFormAndContent(kFormMime | kContentFile);
    }
}

void CMimeHeaderReader::ParseDisposition(const CString& value)
{
    // An attachment without a file name is still a file, with an empty name; a
    // disposition never turns a container or an S/MIME object into a file.
    const DWORD content = m_part.m_nKind & kKindContentMask;
    if (AfxStartsWithNoCase(value, "attachment") && (content == 0 || content == kContentText || content == kContentFile))
        ApplyNamedFile(value, "filename", TRUE);
}

void CMimeHeaderReader::ParseTransferEncoding(const CString& value)
{
    auto mimeForm = [&] {
        if ((m_part.m_nKind & kKindFormMask) == kFormPlain)
            m_part.m_nKind = (m_part.m_nKind & ~kKindFormMask) | kFormMime;
    };
    if (AfxStartsWithNoCase(value, "base64")) {
        m_part.m_nKind = (m_part.m_nKind & ~kKindEncodingMask) | kEncodingBase64;
        mimeForm();
    } else if (AfxStartsWithNoCase(value, "quoted-printable")) {
        m_part.m_nKind = (m_part.m_nKind & ~kKindEncodingMask) | kEncodingQuotedPrintable;
        mimeForm();
    } else if (AfxStartsWithNoCase(value, "7bit") || AfxStartsWithNoCase(value, "8bit") || AfxStartsWithNoCase(value, "binary")) {
        mimeForm();
    } else if (AfxIsUuencodeEncodingName(value)) {
        m_part.m_nKind = (m_part.m_nKind & ~kKindEncodingMask) | kEncodingUuencode;
    }
}

void CMimeHeaderReader::ParseDate(const CString& value)
{
    CTime date;
    LONG zone = 0;
    if (AfxParseHeaderDate(value, date, zone)) {
        m_part.m_Date = date;
        m_part.m_nZone = zone;
    }
}

void CMimeHeaderReader::ParseAddresses()
{
    m_part.m_Sender.Clear();
    m_part.m_Recipients.DeleteAll();
    CString from;
    if (m_part.m_Headers.Find("From", from)) {
        CRcpts list;
        AfxParseAddressList(from, kRcptFrom, list);
        if (list.GetSize() > 0) {
            const CRcpt* first = list.GetItem(0);
            m_part.m_Sender.m_nKind = kRcptFrom;
            m_part.m_Sender.m_strAddress = first->m_strAddress;
            m_part.m_Sender.m_strName = first->m_strName;
        }
    }
    // One value at a time: a message may carry millions of these lines.
    for (LONG kind : {kRcptTo, kRcptCc}) {
        const char* field = kind == kRcptTo ? "To" : "Cc";
        m_part.m_Headers.ForEach([&](const std::string_view* fields) {
            if (CString(fields[0]).CompareNoCase(field) == 0)
                AfxParseAddressList(CString(fields[1]), kind, m_part.m_Recipients);
            return true;
        });
    }
}

void CMimeHeaderReader::WriteHeaders(CMessage* source)
{
    auto write = [&](const std::string& text) {
        if (!text.empty())
            m_part.Append(text.data(), static_cast<UINT>(text.size()));
    };
    const CHeaderRecords& headers = source->m_Headers;
    auto writeList = [&](std::string_view field) {
        bool first = true;
        std::string pending;   // the previous value's line, its ending still open
        headers.ForEach([&](const std::string_view* fields) {
            const std::string_view name = fields[0], value = fields[1];
            if (name != field)
                return true;
            if (!pending.empty())
                write(pending + ",\r\n");
            pending = first ? std::string(field) + ": " : std::string("    ");
            pending += value;
            first = false;
            return true;
        });
        if (!first)
            write(pending + "\r\n");
    };
    bool addressesWritten = false;
    headers.ForEach([&](const std::string_view* fields) {
        const std::string_view name = fields[0], value = fields[1];
        if (name == "To" || name == "Cc") {
            if (!addressesWritten) {
                addressesWritten = true;
                writeList("To");
                writeList("Cc");
            }
            return true;
        }
        std::string line(name);
        line += ": ";
        line += value;
        line += "\r\n";
        write(line);
        return true;
    });
    write("\r\n");
    m_part.m_nBodyStart = m_part.m_nStreamEnd;
}
