// The MIME processor: turns a message into a tree of parts with decoded bodies.
#include "decrypt/mime/header_lex.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/msg_store.h"
#include "decrypt/mime/transfer_decoders.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr UINT kLineBuffer = 1024;
constexpr const char kPemBegin[] = "-----BEGIN PRIVACY-ENHANCED MESSAGE-----";
constexpr const char kPemEnd[] = "-----END PRIVACY-ENHANCED MESSAGE-----";
// Children of uuencoded text shorter than this that hold only blanks are dropped.
constexpr LONG kBlankChildLimit = 32;

// The line is `word` followed by nothing but blanks.
bool IsLineWithPadding(std::string_view line, std::string_view word)
{
    if (line.size() < word.size() || line.substr(0, word.size()) != word)
        return false;
    return line.find_first_not_of(" \t", word.size()) == std::string_view::npos;
}

// Reads the lines of a range and tells, for each, where it starts and how the line before
// ended, so a part can end before the terminator that precedes a marker line.
class CRangeLines {
public:
    CRangeLines(COleStream& stream, DWORD start, DWORD end) : m_stream(stream), m_end(end)
    {
        m_stream.Seek(start, CFile::begin);
    }

    // The next line; false at the end of the range.
    bool Next()
    {
        m_prevTerminator = m_info.terminator;
        m_start = m_stream.GetPosition();
        if (m_start >= m_end || !m_stream.ReadLine(m_buf, kLineBuffer, m_info))
            return false;
        m_atLineStart = m_nextAtLineStart;
        // A piece cut at the buffer's limit is followed by more of the same line.
        m_nextAtLineStart = m_info.terminator != 0 || m_info.length < kLineBuffer - 1;
        size_t len = m_info.length;
        if (m_start + static_cast<long long>(len) > m_end)
            len = static_cast<size_t>(m_end - m_start);
        m_line = std::string_view(m_buf, len);
        return true;
    }

    std::string_view Line() const { return m_line; }
    // True when the line starts at the start of a physical line (not a piece of a long one).
    bool Whole() const { return m_atLineStart; }
    DWORD Start() const { return static_cast<DWORD>(m_start); }
    // Just after the line and its terminator, never past the range.
    DWORD After() const { return static_cast<DWORD>(std::min<long long>(m_stream.GetPosition(), m_end)); }
    // Where a part that ends before this line ends: before the previous line's terminator,
    // but never before `partStart`.
    DWORD EndBefore(DWORD partStart) const
    {
        long long e = m_start - m_prevTerminator;
        return static_cast<DWORD>(std::max<long long>(e, partStart));
    }
    // Where reading stands after the current line, to come back to it after looking ahead.
    struct Mark {
        long long pos;
        COleStream::LineInfo info;
        bool nextAtLineStart;
    };
    Mark Here() const { return {m_stream.GetPosition(), m_info, m_nextAtLineStart}; }
    void Restore(const Mark& mark)
    {
        m_stream.Seek(mark.pos, CFile::begin);
        m_info = mark.info;
        m_nextAtLineStart = mark.nextAtLineStart;
    }
    // The line's bytes as a zero-terminated text (cut at an embedded zero byte).
    const char* Text()
    {
        m_buf[m_line.size()] = 0;
        return m_buf;
    }

private:
    COleStream& m_stream;
    long long m_end;
    char m_buf[kLineBuffer];
    std::string_view m_line;
    COleStream::LineInfo m_info;
    long long m_start = 0;
    int m_prevTerminator = 0;
    bool m_atLineStart = true;
    bool m_nextAtLineStart = true;
};

bool StartsWithNoCase(const CString& value, const char* prefix)
{
    size_t n = std::strlen(prefix);
    return static_cast<size_t>(value.GetLength()) >= n && CString(value.Left(static_cast<int>(n))).CompareNoCase(prefix) == 0;
}

// "begin <octal mode> <name>": the name, or false when the line is no such line.
bool ParseBeginLine(std::string_view line, CString& name)
{
    if (line.substr(0, 6) != "begin ")
        return false;
    size_t i = 6;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7')
        ++i;
    if (i == digits)
        return false;
    size_t from = line.find_first_not_of(" \t", i);
    if (from == std::string_view::npos)
        return false;
    size_t to = line.find_last_not_of(" \t");
    std::string_view n = line.substr(from, to + 1 - from);
    if (n.size() > 259)
        n = n.substr(0, 259);
    // A name is a name up to a zero byte.
    size_t zero = n.find('\0');
    if (zero != std::string_view::npos)
        n = n.substr(0, zero);
    if (n.empty())
        return false;
    name = CString(n);
    return true;
}

// Closes the streams of the given messages however the scope is left.
struct CloseOnExit {
    std::vector<CMessage*> messages;
    ~CloseOnExit()
    {
        for (CMessage* m : messages)
            m->CloseStream();
    }
};

} // namespace

namespace {

enum class Decoder { none, base64, quotedPrintable, uuencode, binhex };

Decoder DecoderFor(const CMessage& part)
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
        if (!blank && !ParseBeginLine(line, name))
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

// Plain text as sent (no transfer encoding to undo first), which may carry uuencoded files.
bool IsPlainText(const CMessage& part)
{
    const DWORD content = part.GetContent();
    return (part.GetForm() == kFormPlain || part.GetForm() == kFormMime) && (content == 0 || content == kContentText) &&
           part.m_Children.GetSize() == 0 && DecoderFor(part) == Decoder::none;
}

} // namespace

// ---- entry points -----------------------------------------------------------------------

void CMessage::ProcessRoot(CMimeContext* context)
{
    m_pContext = context;
    EnsureOpen();
    long long length = m_Stream.GetLength();
    CloseStream();
    // Offsets are 32-bit: larger content is refused rather than misread.
    if (length > 0x7FFFFFFF)
        AfxThrowMIMEEncodingException();
    if (m_nBodyEnd < 0)
        m_nBodyEnd = static_cast<LONG>(length);
    if (m_nStreamEnd == 0)
        m_nStreamEnd = static_cast<DWORD>(length);
    ReadHeaders();
    ParseAddresses();
    Process();
}

BOOL CMessage::ProcessChild()
{
    if (GetDepth() > kMaxMimeNesting)
        AfxThrowMIMEEncodingException();
    if (!m_bNoHeaders)
        ReadHeaders();
    if (m_pParent && m_pParent->GetContent() == kContentMessage)
        ParseAddresses();
    return Process();
}

BOOL CMessage::Process()
{
    // Phase 1: structure.
    auto dropBlankChildren = [this] {
        for (int i = m_Children.GetSize() - 1; i >= 0; --i) {
            CMessage* child = m_Children.GetItem(i);
            LONG len = child->GetBodyLength();
            if (len >= kBlankChildLimit)
                continue;
            char buf[kBlankChildLimit];
            UINT got = 0;
            if (len > 0) {
                child->EnsureOpen();
                child->m_Stream.Seek(child->m_nBodyStart, CFile::begin);
                got = child->m_Stream.Read(buf, static_cast<UINT>(len));
                child->CloseStream();
            }
            if (std::all_of(buf, buf + got, [](char c) { return c == '\r' || c == '\n' || c == '\t' || c == ' '; }))
                delete m_Children.DetachAt(i);
        }
    };
    if (GetForm() == kFormUuText) {
        SplitUuencoded();
        dropBlankChildren();
    } else {
        switch (GetContent()) {
        case kContentMultipart:
            SplitMultipart();
            if (StartsWithNoCase(m_strContentType, "multipart/digest")) {
                // A digest's parts are messages unless they say otherwise.
                for (int i = 0; i < m_Children.GetSize(); ++i)
                    m_Children.GetItem(i)->m_nKind = kFormMime | kContentMessage;
            }
            if (GetFlavour() == kFlavourSigned && FindContext()->OpensSignedContent()) {
                // Opened: the content as if it were not signed, the signature as a file.
                if (m_Children.GetSize() >= 2)
                    m_Children.GetItem(1)->m_strDefaultName = "smime.p7s";
            } else if (GetFlavour() == kFlavourSigned && m_Children.GetSize() >= 2) {
                CMessage* signature = m_Children.GetItem(1);
                signature->ReadHeaders();
                signature->DecodeBody();
                HandleMultipartSigned();
                delete m_Children.DetachAt(1);
            } else if (GetFlavour() == kFlavourEncrypted) {
                HandleMultipartEncrypted();
            }
            break;
        case kContentMessage: {
            // Sent with a transfer encoding now and then although none is allowed here.
            Decoder decoder = DecoderFor(*this);
            if (decoder == Decoder::base64 || decoder == Decoder::quotedPrintable)
                DecodeBody();
            MakeChild(m_nBodyStart, static_cast<DWORD>(std::max<LONG>(m_nBodyEnd, 0)), kFormPlain, FALSE);
            m_nBodyEnd = static_cast<LONG>(m_nBodyStart);
            break;
        }
        case kContentPkcs7: {
            DecodeBody();
            CMessage* child = MakeChild(m_nBodyStart, static_cast<DWORD>(std::max<LONG>(m_nBodyEnd, 0)),
                                        kFormSmime | kContentPkcs7, FALSE);
            if (child->HandlePkcs7Object() == kPkcs7KeepAsFile) {
                // Certificates only: nothing to unwrap; the object itself is the attachment.
                child->m_nKind = kFormMime | kContentFile;
                child->m_bNoHeaders = TRUE;
                child->m_nHeaderStart = child->m_nBodyStart;
                child->m_strName = m_strName;
                child->m_strDefaultName = "smime.p7c";
            } else {
                child->m_nKind = kFormMime;
            }
            delete m_pResultA;
            delete m_pResultB;
            m_pResultA = child->m_pResultA;
            m_pResultB = child->m_pResultB;
            child->m_pResultA = child->m_pResultB = nullptr;
            m_nBodyEnd = static_cast<LONG>(m_nBodyStart);
            break;
        }
        default:
            if (SplitPemBlocks() == 0 && IsPlainText(*this) && SplitUuencodedText())
                dropBlankChildren();
            break;
        }
    }

    // Phase 2: the children.
    if (GetForm() == kFormUuText) {
        for (int i = 0; i < m_Children.GetSize(); ++i) {
            CMessage* child = m_Children.GetItem(i);
            if (child->GetEncoding() == kEncodingUuencode)
                child->DecodeBody();
        }
    } else {
        // Parts hoisted up from an S/MIME wrapper join the end of the list already
        // processed; only the children present now are processed here.
        std::vector<CMessage*> children;
        for (int i = 0; i < m_Children.GetSize(); ++i)
            children.push_back(m_Children.GetItem(i));
        for (CMessage* child : children)
            if (child->ProcessChild())
                child->HoistIntoParent();
    }

    // Phase 3: this part's own content.
    switch (GetForm()) {
    case kFormPem:
        HandlePemBlock();
        break;
    case kFormMime:
        switch (GetContent()) {
        case 0:
        case kContentText:
        case kContentFile:
        case kContentOle1:
        case kContentOle2:
            DecodeBody();
            break;
        default:
            break;
        }
        break;
    case kFormSmime:
        if (GetContent() == kContentPkcs7 && m_pParent)
            return TRUE;
        if (GetContent() == kContentPkcs10) {
            DecodeBody();
            HandlePkcs10Request();
        }
        break;
    default:
        break;
    }
    return FALSE;
}

BOOL CMessage::SplitUuencodedText()
{
    const LONG bodyEnd = m_nBodyEnd;
    SplitUuencoded();
    for (int i = 0; i < m_Children.GetSize(); ++i) {
        if (m_Children.GetItem(i)->m_nKind == kKindUuAttachment) {
            // The text is now its pieces and its files, as text announced to carry them.
            m_nKind = (m_nKind & ~kKindFormMask) | kFormUuText;
            return TRUE;
        }
    }
    // No block: the text stays as it was.
    m_Children.DeleteAll();
    m_nBodyEnd = bodyEnd;
    return FALSE;
}

void CMessage::HoistIntoParent()
{
    CMessage* parent = m_pParent;
    if (!parent)
        return;
    while (m_Children.GetSize() > 0) {
        CMessage* child = m_Children.DetachAt(0);
        child->m_pParent = nullptr;
        parent->AddChild(child);
    }
    delete parent->m_pResultA;
    delete parent->m_pResultB;
    parent->m_pResultA = m_pResultA;
    parent->m_pResultB = m_pResultB;
    m_pResultA = m_pResultB = nullptr;
    DetachFromParent();
    delete this;
}

// ---- splits -----------------------------------------------------------------------------

void CMessage::SplitMultipart()
{
    // An empty boundary can match no delimiter line: the body stays as it is.
    if (m_strBoundary.IsEmpty())
        return;
    const std::string delimiter = "--" + m_strBoundary.str();
    const std::string closing = delimiter + "--";
    EnsureOpen();
    CloseOnExit guard{{this}};
    const DWORD end = ScanLimit();
    CRangeLines lines(m_Stream, m_nBodyStart, end);
    bool inPart = false;
    bool sawDelimiter = false;
    bool closed = false;
    DWORD partStart = 0;
    while (lines.Next()) {
        if (!lines.Whole())
            continue;
        bool isClosing = IsLineWithPadding(lines.Line(), closing);
        if (!isClosing && !IsLineWithPadding(lines.Line(), delimiter))
            continue;
        if (inPart)
            MakeChild(partStart, lines.EndBefore(partStart), kFormPlain, FALSE);
        sawDelimiter = true;
        if (isClosing) {
            closed = true;
            inPart = false;
            break;
        }
        inPart = true;
        partStart = lines.After();
    }
    // A body cut short keeps its last part.
    if (inPart && !closed)
        MakeChild(partStart, end, kFormPlain, FALSE);
    if (sawDelimiter)
        m_nBodyEnd = static_cast<LONG>(m_nBodyStart);
}

int CMessage::SplitPemBlocks()
{
    EnsureOpen();
    CloseOnExit guard{{this}};
    const DWORD end = ScanLimit();
    CRangeLines lines(m_Stream, m_nBodyStart, end);
    DWORD mode = kFormPlain;
    DWORD segmentStart = m_nBodyStart;
    DWORD beginLine = m_nBodyStart;
    int made = 0;
    auto close = [&](DWORD from, DWORD to, DWORD kind) {
        // Nothing between two markers makes no text part.
        if (kind == kFormPlain && to <= from)
            return;
        MakeChild(from, to, kind, kind == kFormPlain);
        ++made;
    };
    while (lines.Next()) {
        if (!lines.Whole())
            continue;
        std::string_view line = lines.Line();
        if (line == kPemBegin) {
            if (lines.Start() != m_nBodyStart)
                close(segmentStart, lines.EndBefore(segmentStart), mode);
            mode = kFormPem;
            beginLine = lines.Start();
            segmentStart = lines.After();
        } else if (line == kPemEnd) {
            MakeChild(segmentStart, lines.EndBefore(segmentStart), kFormPem, FALSE);
            ++made;
            mode = kFormPlain;
            segmentStart = lines.After();
        }
    }
    if (made > 0) {
        if (mode == kFormPlain)
            close(segmentStart, end, kFormPlain);
        else
            close(beginLine, end, kFormPlain);   // a block never closed stays readable as text
        m_nBodyEnd = static_cast<LONG>(m_nBodyStart);
    }
    return made;
}

int CMessage::SplitUuencoded()
{
    if (GetBodyLength() == 0)
        return 0;
    EnsureOpen();
    CloseOnExit guard{{this}};
    const DWORD end = ScanLimit();
    CRangeLines lines(m_Stream, m_nBodyStart, end);
    DWORD segmentStart = m_nBodyStart;
    bool inBlock = false;
    DWORD dataStart = 0;
    DWORD textEnd = 0;   // end of the text before the open block's "begin" line
    CString name;
    int made = 0;
    auto text = [&](DWORD from, DWORD to) {
        if (to > from) {
            MakeChild(from, to, kFormPlain, TRUE);
            ++made;
        }
    };
    while (lines.Next()) {
        if (!lines.Whole())
            continue;
        if (!inBlock) {
            CString candidate;
            if (!ParseBeginLine(lines.Line(), candidate))
                continue;
            // The text before the block keeps its last line end.
            DWORD beforeBegin = lines.Start();
            DWORD afterBegin = lines.After();
            CRangeLines::Mark mark = lines.Here();
            // Only a real data line after it makes the "begin" line start a block.
            if (lines.Next() && lines.Whole() && IsUuencodeLine(lines.Text())) {
                inBlock = true;
                dataStart = afterBegin;
                textEnd = beforeBegin;
                name = candidate;
            } else {
                lines.Restore(mark);
            }
            continue;
        }
        if (IsLineWithPadding(lines.Line(), "end")) {
            // The text before the block becomes a part once the block is known complete.
            text(segmentStart, textEnd);
            CMessage* child = MakeChild(dataStart, lines.Start(), kKindUuAttachment, TRUE);
            child->m_strName = name;
            ++made;
            inBlock = false;
            segmentStart = lines.After();
        }
    }
    // What remains is text, a block without its "end" line included.
    text(segmentStart, end);
    if (made > 0)
        m_nBodyEnd = static_cast<LONG>(m_nBodyStart);
    return made;
}

// ---- decoding ---------------------------------------------------------------------------

void CMessage::DecodeBody()
{
    const Decoder decoder = DecoderFor(*this);
    if (decoder == Decoder::none)
        return;
    DWORD length = static_cast<DWORD>(GetBodyLength());

    CMessage reader(m_pStorage);
    reader.SetStreamName(m_strStreamName);
    reader.m_nStreamEnd = m_nStreamEnd;
    reader.m_nHeaderStart = m_nHeaderStart;
    reader.m_nBodyStart = m_nBodyStart;
    reader.m_nBodyEnd = m_nBodyEnd;
    reader.EnsureOpen();
    reader.m_Stream.Seek(m_nBodyStart, CFile::begin);
    DWORD dataStart = m_nBodyStart;
    if (decoder == Decoder::uuencode && length > 0) {
        DWORD skipped = SkipUuencodePreamble(reader.m_Stream, m_nBodyStart, length);
        length -= skipped;
        dataStart += skipped;
    }

    if (m_pParent)
        m_strMessageId = m_pParent->m_strMessageId;
    NewStream(TRUE);
    CloseOnExit guard{{this, &reader}};
    auto setRange = [&] {
        m_nStreamEnd = static_cast<DWORD>(m_Stream.GetLength());
        m_nBodyEnd = static_cast<LONG>(m_nStreamEnd);
    };
    WriteHeaders(this);
    const DWORD decodedStart = static_cast<DWORD>(m_Stream.GetPosition());
    // A body that cannot be decoded is kept as it was sent (what was written is covered).
    auto keepAsSent = [&] {
        reader.m_Stream.Seek(dataStart, CFile::begin);
        m_Stream.Seek(decodedStart, CFile::begin);
        BYTE buffer[4096];
        DWORD left = length;
        while (left > 0) {
            UINT n = reader.m_Stream.Read(buffer, std::min<DWORD>(left, sizeof buffer));
            if (n == 0)
                break;
            m_Stream.Write(buffer, n);
            left -= n;
        }
        m_nStreamEnd = static_cast<DWORD>(m_Stream.GetPosition());
        m_nBodyEnd = static_cast<LONG>(m_nStreamEnd);
        m_Stream.SetLength(m_nStreamEnd);
    };
    try {
        // An empty body decodes to nothing (a length of 0 would mean "to the end").
        if (length == 0) {
            setRange();
            return;
        }
        switch (decoder) {
        case Decoder::base64: {
            CDecodeReport report;
            DecodeBase64Tolerant(&reader.m_Stream, &m_Stream, length, &report);
            const DWORD decoded = static_cast<DWORD>(m_Stream.GetPosition() - decodedStart);
            // More noise than data: this is no base64 at all.
            if (report.nSkipped > 0 && report.nSkipped >= decoded) {
                keepAsSent();
                AddWarning(DescribeForUser() + ": the base64 body could not be decoded; it was saved as it was sent");
                return;
            }
            if (report.nSkipped > 0 || report.bCutShort)
                AddWarning(DescribeForUser() + ": the base64 body was damaged; it was decoded as far as it goes");
            break;
        }
        case Decoder::quotedPrintable:
            DecodeQuotedPrintable(&reader.m_Stream, &m_Stream, length);
            break;
        case Decoder::uuencode:
            if (!StartsWithDataLine(reader.m_Stream)) {
                keepAsSent();
                AddWarning(DescribeForUser() + ": the uuencoded body could not be decoded; it was saved as it was sent");
                return;
            }
            DecodeUuencode(&reader.m_Stream, &m_Stream, length);
            break;
        case Decoder::binhex:
            keepAsSent();
            AddWarning(DescribeForUser() + ": binhex is not decoded; the part was saved as it was sent");
            return;
        case Decoder::none:
            break;
        }
    } catch (...) {
        // The part keeps what was decoded before the fault.
        setRange();
        throw;
    }
    setRange();
}

// ---- content handlers -------------------------------------------------------------------

CMimeContext* CMessage::FindContext()
{
    CMimeContext* context = GetRoot()->m_pContext;
    if (!context)
        AfxThrowNotSupportedException();
    return context;
}

void CMessage::ReplaceResults()
{
    delete m_pResultA;
    delete m_pResultB;
    m_pResultA = m_pResultB = nullptr;
    m_pResultA = new CMemFile(1024);
    m_pResultB = new CMemFile(1024);
}

namespace {
enum class Handler { pem, pkcs7, pkcs10 };

void WriteResult(CMemFile* file, DWORD value)
{
    BYTE b[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    file->Write(b, 4);
}
}

// The PEM, PKCS #7 and PKCS #10 handlers share one pattern: the part's text goes to the
// context from a reading copy; what the context writes becomes the part's new stream.
static DWORD RunContentHandler(CMessage* part, Handler kind, CMimeContext* context)
{
    DWORD from = kind == Handler::pem ? part->m_nHeaderStart : part->m_nBodyStart;
    LONG len = part->m_nBodyEnd - static_cast<LONG>(from);
    DWORD length = len > 0 ? static_cast<DWORD>(len) : 0;

    CMessage reader(part->m_pStorage);
    reader.SetStreamName(part->m_strStreamName);
    reader.EnsureOpen();
    reader.m_Stream.Seek(from, CFile::begin);
    part->NewStream(TRUE);
    CloseOnExit guard{{part, &reader}};
    if (kind == Handler::pkcs10)
        part->WriteHeaders(part);
    delete part->m_pResultA;
    delete part->m_pResultB;
    part->m_pResultA = part->m_pResultB = nullptr;
    part->m_pResultA = new CMemFile(1024);
    part->m_pResultB = new CMemFile(1024);
    DWORD result = 0;
    switch (kind) {
    case Handler::pem:
        result = context->OnPemBlock(part->m_pResultB, part->m_pResultA, &reader.m_Stream, &part->m_Stream, length);
        break;
    case Handler::pkcs7:
        result = context->OnPkcs7Object(part->m_pResultB, part->m_pResultA, &reader.m_Stream, length, &part->m_Stream);
        break;
    case Handler::pkcs10:
        result = context->OnPkcs10Request(part->m_pResultB, part->m_pResultA, &reader.m_Stream, &part->m_Stream, length);
        break;
    }
    WriteResult(part->m_pResultA, result);
    part->m_nStreamEnd = static_cast<DWORD>(part->m_Stream.GetLength());
    part->m_nBodyEnd = static_cast<LONG>(part->m_nStreamEnd);
    return result;
}

void CMessage::HandlePemBlock()
{
    RunContentHandler(this, Handler::pem, FindContext());
}

DWORD CMessage::HandlePkcs7Object()
{
    return RunContentHandler(this, Handler::pkcs7, FindContext());
}

void CMessage::HandlePkcs10Request()
{
    RunContentHandler(this, Handler::pkcs10, FindContext());
}

void CMessage::HandleMultipartSigned()
{
    CMimeContext* context = FindContext();
    if (m_Children.GetSize() < 2)
        return;
    CMessage* content = m_Children.GetItem(0);
    CMessage* signature = m_Children.GetItem(1);
    LONG contentLength = std::max<LONG>(content->m_nBodyEnd - static_cast<LONG>(content->m_nHeaderStart), 0);
    LONG signatureLength = signature->GetBodyLength();
    CloseOnExit guard{{content, signature}};
    content->EnsureOpen();
    content->m_Stream.Seek(content->m_nHeaderStart, CFile::begin);
    signature->EnsureOpen();
    signature->m_Stream.Seek(signature->m_nBodyStart, CFile::begin);
    ReplaceResults();
    DWORD result = context->OnSignedContent(m_pResultB, m_pResultA, &content->m_Stream, static_cast<DWORD>(contentLength),
                                            &signature->m_Stream, static_cast<DWORD>(signatureLength));
    WriteResult(m_pResultA, result);
}

void CMessage::HandleMultipartEncrypted()
{
}
