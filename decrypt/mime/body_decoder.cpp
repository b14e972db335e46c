#include "decrypt/mime/body_decoder.h"

#include "decrypt/mime/header_lex.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/range_lines.h"
#include "decrypt/mime/transfer_decoders.h"

#include <algorithm>
#include <string_view>

namespace {

// Passes over what may stand before the data lines of a uuencoded body: blank lines and the
// "begin" line (no data line looks like one). Returns the bytes passed over.
DWORD SkipUuencodePreamble(COleStream& stream, DWORD start, DWORD length)
{
    char buf[kLineBuffer];
    DWORD skipped = 0;
    for (;;) {
        COleStream::LineInfo info;
        if (skipped >= length || !stream.ReadLine(buf, kLineBuffer, info) || info.length >= kLineBuffer - 1)
            break;
        const long long after = stream.GetPosition();
        if (after > static_cast<long long>(start) + length)
            break;
        std::string_view line(buf, info.length);
        CString name;
        const bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
        if (!blank && !ParseUuencodeBeginLine(line, name))
            break;
        skipped = static_cast<DWORD>(after - start);
        if (!blank)
            return skipped;
    }
    stream.Seek(static_cast<long long>(start) + skipped, CFile::begin);
    return skipped;
}

// The stream stands at a uuencoded data line (or the "end" line of an empty file); the
// position is kept.
bool StartsWithDataLine(COleStream& stream)
{
    const long long at = stream.GetPosition();
    char buf[kLineBuffer];
    COleStream::LineInfo info;
    bool ok = true;
    if (stream.ReadLine(buf, kLineBuffer, info)) {
        std::string_view line(buf, std::min<size_t>(info.length, kLineBuffer - 1));
        // Senders' mailers strip trailing blanks: only the characters are checked here.
        ok = IsLineWithPadding(line, "end") ||
             (!line.empty() && std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c <= 0x60; }));
    }
    stream.Seek(at, CFile::begin);
    return ok;
}

} // namespace

CBodyDecoder::Decoder CBodyDecoder::DecoderFor(const CMessage& part)
{
    if (part.GetEncoding() == kEncodingUuencode)
        return Decoder::uuencode;
    CString raw;
    if (!part.m_Headers.Find("Content-Transfer-Encoding", raw))
        return Decoder::none;
    // Compared as a whole token, comments and surrounding blanks aside.
    CString value = AfxNormalizeHeaderValue(raw, FALSE);
    value.TrimRight(" \t");
    if (value.CompareNoCase("base64") == 0)
        return Decoder::base64;
    if (value.CompareNoCase("quoted-printable") == 0)
        return Decoder::quotedPrintable;
    if (AfxIsUuencodeEncodingName(value))
        return Decoder::uuencode;
    if (value.CompareNoCase("binhex40") == 0)
        return Decoder::binhex;
    return Decoder::none;
}

void CBodyDecoder::DecodeBody()
{
    const Decoder decoder = DecoderFor(m_part);
    if (decoder == Decoder::none)
        return;
    DWORD length = static_cast<DWORD>(m_part.GetBodyLength());

    CMessage reader(m_part.m_pStorage);
    reader.OpenReadingCopy(m_part, m_part.m_nBodyStart);
    DWORD dataStart = m_part.m_nBodyStart;
    if (decoder == Decoder::uuencode && length > 0) {
        DWORD skipped = SkipUuencodePreamble(reader.m_Stream, m_part.m_nBodyStart, length);
        length -= skipped;
        dataStart += skipped;
    }

    if (m_part.m_pParent)
        m_part.m_strMessageId = m_part.m_pParent->m_strMessageId;
    m_part.NewStream(TRUE);
    CCloseStreamsOnExit guard{{&m_part, &reader}};
    m_part.WriteHeaders(&m_part);
    const DWORD decodedStart = static_cast<DWORD>(m_part.m_Stream.GetPosition());
    // A body that cannot be decoded is kept as it was sent (what was written is covered).
    auto keepAsSent = [&] {
        reader.m_Stream.Seek(dataStart, CFile::begin);
        m_part.m_Stream.Seek(decodedStart, CFile::begin);
        BYTE buffer[4096];
        DWORD left = length;
        while (left > 0) {
            UINT n = reader.m_Stream.Read(buffer, std::min<DWORD>(left, sizeof buffer));
            if (n == 0)
                break;
            m_part.m_Stream.Write(buffer, n);
            left -= n;
        }
        m_part.m_nStreamEnd = static_cast<DWORD>(m_part.m_Stream.GetPosition());
        m_part.m_nBodyEnd = static_cast<LONG>(m_part.m_nStreamEnd);
        m_part.m_Stream.SetLength(m_part.m_nStreamEnd);
    };
    try {
        // An empty body decodes to nothing (a length of 0 would mean "to the end").
        if (length == 0) {
            m_part.EndBodyAtStreamEnd();
            return;
        }
        switch (decoder) {
        case Decoder::base64: {
            CDecodeReport report;
            DecodeBase64Tolerant(&reader.m_Stream, &m_part.m_Stream, length, &report);
            const DWORD decoded = static_cast<DWORD>(m_part.m_Stream.GetPosition() - decodedStart);
            // More noise than data: this is no base64 at all.
            if (report.nSkipped > 0 && report.nSkipped >= decoded) {
                keepAsSent();
                Warn("the base64 body could not be decoded; it was saved as it was sent");
                return;
            }
            if (report.nSkipped > 0 || report.bCutShort)
                Warn("the base64 body was damaged; it was decoded as far as it goes");
            break;
        }
        case Decoder::quotedPrintable:
            DecodeQuotedPrintable(&reader.m_Stream, &m_part.m_Stream, length);
            break;
        case Decoder::uuencode:
            if (!StartsWithDataLine(reader.m_Stream)) {
                keepAsSent();
                Warn("the uuencoded body could not be decoded; it was saved as it was sent");
                return;
            }
            DecodeUuencode(&reader.m_Stream, &m_part.m_Stream, length);
            break;
        case Decoder::binhex:
            keepAsSent();
            Warn("binhex is not decoded; the part was saved as it was sent");
            return;
        case Decoder::none:
            break;
        }
    } catch (...) {
        // The part keeps what was decoded before the fault.
        m_part.EndBodyAtStreamEnd();
        throw;
    }
    m_part.EndBodyAtStreamEnd();
}

void CBodyDecoder::Warn(const char* problem)
{
    m_part.AddWarning(m_part.DescribeForUser() + ": " + problem);
}
