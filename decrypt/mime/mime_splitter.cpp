#include "decrypt/mime/mime_splitter.h"

#include "decrypt/mime/message.h"
#include "decrypt/mime/range_lines.h"
#include "decrypt/mime/transfer_decoders.h"

#include <string>
#include <string_view>

namespace {

constexpr const char kPemBegin[] = "-----BEGIN PRIVACY-ENHANCED MESSAGE-----";
constexpr const char kPemEnd[] = "-----END PRIVACY-ENHANCED MESSAGE-----";

} // namespace

void CMimeSplitter::SplitMultipart()
{
    // An empty boundary can match no delimiter line: the body stays as it is.
    if (m_part.m_strBoundary.IsEmpty())
        return;
    const std::string delimiter = "--" + m_part.m_strBoundary.str();
    const std::string closing = delimiter + "--";
    m_part.EnsureOpen();
    CCloseStreamsOnExit guard{{&m_part}};
    const DWORD end = m_part.ScanLimit();
    CRangeLines lines(m_part.m_Stream, m_part.m_nBodyStart, end);
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
            m_part.MakeChild(partStart, lines.EndBefore(partStart), kFormPlain, FALSE);
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
        m_part.MakeChild(partStart, end, kFormPlain, FALSE);
    if (sawDelimiter)
        m_part.m_nBodyEnd = static_cast<LONG>(m_part.m_nBodyStart);
}

int CMimeSplitter::SplitPemBlocks()
{
    m_part.EnsureOpen();
    CCloseStreamsOnExit guard{{&m_part}};
    const DWORD end = m_part.ScanLimit();
    CRangeLines lines(m_part.m_Stream, m_part.m_nBodyStart, end);
    DWORD mode = kFormPlain;
    DWORD segmentStart = m_part.m_nBodyStart;
    DWORD beginLine = m_part.m_nBodyStart;
    int made = 0;
    auto close = [&](DWORD from, DWORD to, DWORD kind) {
        // Nothing between two markers makes no text part.
        if (kind == kFormPlain && to <= from)
            return;
        m_part.MakeChild(from, to, kind, kind == kFormPlain);
        ++made;
    };
    while (lines.Next()) {
        if (!lines.Whole())
            continue;
        std::string_view line = lines.Line();
        if (line == kPemBegin) {
            if (lines.Start() != m_part.m_nBodyStart)
                close(segmentStart, lines.EndBefore(segmentStart), mode);
            mode = kFormPem;
            beginLine = lines.Start();
            segmentStart = lines.After();
        } else if (line == kPemEnd) {
            m_part.MakeChild(segmentStart, lines.EndBefore(segmentStart), kFormPem, FALSE);
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
        m_part.m_nBodyEnd = static_cast<LONG>(m_part.m_nBodyStart);
    }
    return made;
}

int CMimeSplitter::SplitUuencoded()
{
    if (m_part.GetBodyLength() == 0)
        return 0;
    m_part.EnsureOpen();
    CCloseStreamsOnExit guard{{&m_part}};
    const DWORD end = m_part.ScanLimit();
    CRangeLines lines(m_part.m_Stream, m_part.m_nBodyStart, end);
    DWORD segmentStart = m_part.m_nBodyStart;
    bool inBlock = false;
    DWORD dataStart = 0;
    DWORD textEnd = 0;   // end of the text before the open block's "begin" line
    CString name;
    int made = 0;
    auto text = [&](DWORD from, DWORD to) {
        if (to > from) {
            m_part.MakeChild(from, to, kFormPlain, TRUE);
            ++made;
        }
    };
    while (lines.Next()) {
        if (!lines.Whole())
            continue;
        if (!inBlock) {
            CString candidate;
            if (!ParseUuencodeBeginLine(lines.Line(), candidate))
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
            CMessage* child = m_part.MakeChild(dataStart, lines.Start(), kKindUuAttachment, TRUE);
            child->m_strName = name;
            ++made;
            inBlock = false;
            segmentStart = lines.After();
        }
    }
    // What remains is text, a block without its "end" line included.
    text(segmentStart, end);
    if (made > 0)
        m_part.m_nBodyEnd = static_cast<LONG>(m_part.m_nBodyStart);
    return made;
}

BOOL CMimeSplitter::SplitUuencodedText()
{
    const LONG bodyEnd = m_part.m_nBodyEnd;
    SplitUuencoded();
    for (int i = 0; i < m_part.m_Children.GetSize(); ++i) {
        if (m_part.m_Children.GetItem(i)->m_nKind == kKindUuAttachment) {
            // The text is now its pieces and its files, as text announced to carry them.
            m_part.m_nKind = (m_part.m_nKind & ~kKindFormMask) | kFormUuText;
            return TRUE;
        }
    }
    // No block: the text stays as it was.
    m_part.m_Children.DeleteAll();
    m_part.m_nBodyEnd = bodyEnd;
    return FALSE;
}
