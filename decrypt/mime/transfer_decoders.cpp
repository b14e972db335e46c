#include "decrypt/mime/transfer_decoders.h"

#include "decrypt/mime/mime_exception.h"
#include "framework/text_util.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Bytes still to read when a caller passes length 0: everything after the current position.
unsigned long long BytesOwed(CFile* source, DWORD length)
{
    if (length)
        return length;
    long long pos = source->GetPosition();
    long long len = source->GetLength();
    return len > pos ? static_cast<unsigned long long>(len - pos) : 0;
}

// Reads the source in blocks, never asking for more than is owed. Callers either walk
// whole blocks (Refill, Data, m_len) or take single bytes (Get, Peek).
class CBlockReader {
public:
    CBlockReader(CFile* source, unsigned long long owed, UINT bufferSize)
        : m_pSource(source), m_nOwed(owed), m_nSize(std::max<UINT>(bufferSize, 1)), m_buffer(new BYTE[m_nSize])
    {
    }

    // Fills the buffer anew; false once nothing more is owed or the source has ended (a
    // read that returns nothing ends the input, a short one does not).
    bool Refill()
    {
        m_nTaken += m_len;
        m_pos = m_len = 0;
        if (m_nOwed == 0)
            return false;
        UINT want = static_cast<UINT>(std::min<unsigned long long>(m_nSize, m_nOwed));
        UINT got = m_pSource->Read(m_buffer.get(), want);
        if (got == 0) {
            m_nOwed = 0;
            return false;
        }
        m_nOwed -= got;
        m_len = got;
        return true;
    }

    const BYTE* Data() const { return m_buffer.get(); }
    size_t m_len = 0;

    // Next byte, or -1 at the end of the input.
    int Get()
    {
        if (m_pos == m_len && !Refill())
            return -1;
        return m_buffer[m_pos++];
    }
    // Next byte without taking it, or -1.
    int Peek()
    {
        if (m_pos == m_len && !Refill())
            return -1;
        return m_buffer[m_pos];
    }
    // Bytes taken through Get so far.
    unsigned long long Taken() const { return m_nTaken + m_pos; }

private:
    CFile* m_pSource;
    unsigned long long m_nOwed;
    UINT m_nSize;
    std::unique_ptr<BYTE[]> m_buffer;
    size_t m_pos = 0;
    unsigned long long m_nTaken = 0;
};

// Output goes out in writes of this size: large, so a big part costs few calls into the
// file below (a multiple of 3 and 4, whole base64 groups either way).
constexpr size_t kWriteBlock = 48 * 1024;

// Collects output and writes it to the destination in whole blocks.
template <size_t N>
class CBlockWriter {
public:
    explicit CBlockWriter(CFile* destination) : m_pDest(destination) {}
    void Put(BYTE b)
    {
        if (m_len == N)
            Flush();
        m_buf[m_len++] = b;
    }
    // Room for at least n more bytes without a flush in between.
    BYTE* Reserve(size_t n)
    {
        if (N - m_len < n)
            Flush();
        return m_buf + m_len;
    }
    void Commit(size_t n) { m_len += n; }
    void Flush()
    {
        if (m_len) {
            m_pDest->Write(m_buf, static_cast<UINT>(m_len));
            m_nWritten += m_len;
            m_len = 0;
        }
    }
    unsigned long long Written() const { return m_nWritten + m_len; }

private:
    CFile* m_pDest;
    BYTE m_buf[N];
    size_t m_len = 0;
    unsigned long long m_nWritten = 0;
};

// ---- base64 -----------------------------------------------------------------------------

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr BYTE kB64Pad = 64;     // '='
constexpr BYTE kB64Skip = 65;    // CR or LF while line breaks are skipped
constexpr BYTE kB64Bad = 127;    // not part of base64 text

struct Base64Table {
    BYTE value[256];
};

Base64Table MakeBase64Table(bool skipLineBreaks)
{
    Base64Table t;
    std::memset(t.value, kB64Bad, sizeof t.value);
    for (int i = 0; i < 64; ++i)
        t.value[static_cast<BYTE>(kBase64Alphabet[i])] = static_cast<BYTE>(i);
    t.value[static_cast<BYTE>('=')] = kB64Pad;
    if (skipLineBreaks) {
        t.value[static_cast<BYTE>('\r')] = kB64Skip;
        t.value[static_cast<BYTE>('\n')] = kB64Skip;
    }
    return t;
}

// A quad whose characters are given as table values (0-63 or kB64Pad). Pads add no bits
// and leave the shift; the byte count is the position of the last data character.
template <class Writer>
void DecodeQuad(const BYTE* q, Writer& out)
{
    DWORD group = 0;
    int shift = 18;
    int last = -1;
    for (int i = 0; i < 4; ++i) {
        if (q[i] == kB64Pad)
            continue;
        group |= static_cast<DWORD>(q[i]) << shift;
        shift -= 6;
        last = i;
    }
    if (last <= 0) {
        out.Flush();
        AfxThrowMIMEEncodingException();
    }
    BYTE* p = out.Reserve(3);
    p[0] = static_cast<BYTE>(group >> 16);
    if (last > 1)
        p[1] = static_cast<BYTE>(group >> 8);
    if (last > 2)
        p[2] = static_cast<BYTE>(group);
    out.Commit(static_cast<size_t>(last));
}

// The table of the tolerant decoder: blanks and line breaks are skipped, every other
// character outside the alphabet is bad (passed over and counted).
Base64Table MakeTolerantBase64Table()
{
    Base64Table t = MakeBase64Table(true);
    t.value[static_cast<BYTE>(' ')] = kB64Skip;
    t.value[static_cast<BYTE>('\t')] = kB64Skip;
    return t;
}

// Writes the whole quads at the start of [p, end) and returns where they stop: at the end,
// or at the first quad holding anything but data characters.
template <class Writer>
const BYTE* DecodeWholeQuads(const BYTE* T, const BYTE* p, const BYTE* end, Writer& out)
{
    while (end - p >= 4) {
        BYTE a = T[p[0]], b = T[p[1]], c = T[p[2]], d = T[p[3]];
        if ((a | b | c | d) & 0xC0)
            break;
        DWORD group = (static_cast<DWORD>(a) << 18) | (static_cast<DWORD>(b) << 12) | (static_cast<DWORD>(c) << 6) | d;
        BYTE* o = out.Reserve(3);
        o[0] = static_cast<BYTE>(group >> 16);
        o[1] = static_cast<BYTE>(group >> 8);
        o[2] = static_cast<BYTE>(group);
        out.Commit(3);
        p += 4;
    }
    return p;
}

// ---- line reading for uuencode ----------------------------------------------------------

// Longest line a uuencode data line is read as; the rest of a longer line is skipped.
constexpr size_t kUuLineMax = 78;

} // namespace

void DecodeBase64(CFile* source, CFile* destination, DWORD length, int skipLineBreaks, UINT readBufferSize)
{
    const Base64Table table = MakeBase64Table(skipLineBreaks != 0);
    const BYTE* T = table.value;
    CBlockReader in(source, BytesOwed(source, length), readBufferSize);
    CBlockWriter<kWriteBlock> out(destination);
    BYTE quad[4];
    int nq = 0;

    while (in.Refill()) {
        const BYTE* p = in.Data();
        const BYTE* end = p + in.m_len;
        while (p < end) {
            if (nq == 0) {
                // Whole quads of data characters: the bulk of any base64 text.
                p = DecodeWholeQuads(T, p, end, out);
                if (p == end)
                    break;
            }
            BYTE v = T[*p++];
            if (v == kB64Skip)
                continue;
            if (v == kB64Bad) {
                out.Flush();
                AfxThrowMIMEEncodingException();
            }
            quad[nq++] = v;
            if (nq == 4) {
                DecodeQuad(quad, out);
                nq = 0;
            }
        }
    }
    out.Flush();
    if (nq != 0)
        AfxThrowMIMEEncodingException();
}

void DecodeBase64Tolerant(CFile* source, CFile* destination, DWORD length, CDecodeReport* report, UINT readBufferSize)
{
    static const Base64Table table = MakeTolerantBase64Table();
    const BYTE* T = table.value;
    CBlockReader in(source, BytesOwed(source, length), readBufferSize);
    CBlockWriter<kWriteBlock> out(destination);
    DWORD group = 0;   // the data characters of the group so far, six bits each
    int n = 0;         // how many
    DWORD skipped = 0;
    bool cutShort = false;

    // Ends a group of fewer than four characters: two give one byte, three give two.
    auto endGroup = [&] {
        if (n == 1) {
            cutShort = true;
        } else if (n > 1) {
            group <<= 6 * (4 - n);
            BYTE* o = out.Reserve(2);
            o[0] = static_cast<BYTE>(group >> 16);
            o[1] = static_cast<BYTE>(group >> 8);
            out.Commit(static_cast<size_t>(n - 1));
        }
        group = 0;
        n = 0;
    };

    while (in.Refill()) {
        const BYTE* p = in.Data();
        const BYTE* end = p + in.m_len;
        while (p < end) {
            if (n == 0) {
                p = DecodeWholeQuads(T, p, end, out);
                if (p == end)
                    break;
            }
            BYTE v = T[*p++];
            if (v < 64) {
                group = (group << 6) | v;
                if (++n == 4) {
                    BYTE* o = out.Reserve(3);
                    o[0] = static_cast<BYTE>(group >> 16);
                    o[1] = static_cast<BYTE>(group >> 8);
                    o[2] = static_cast<BYTE>(group);
                    out.Commit(3);
                    group = 0;
                    n = 0;
                }
            } else if (v == kB64Pad) {
                endGroup();
            } else if (v == kB64Bad && skipped != ~DWORD{0}) {
                ++skipped;
            }
        }
    }
    if (n != 0) {
        endGroup();
        cutShort = true;
    }
    out.Flush();
    if (report) {
        report->nSkipped = skipped;
        report->bCutShort = cutShort;
    }
}

void DecodeQuotedPrintable(CFile* source, CFile* destination, DWORD length, UINT readBufferSize)
{
    enum State { normal, afterEquals, afterEqualsHex, afterEqualsBlanks };

    CBlockReader in(source, BytesOwed(source, length), readBufferSize);
    CBlockWriter<kWriteBlock> out(destination);
    // Blanks are held back until the line goes on: at its end they are dropped. A run
    // longer than the hold is no transport padding; what is held then goes out.
    constexpr size_t kBlankHold = 4096;
    BYTE blanks[kBlankHold];
    size_t nBlanks = 0;
    State state = normal;
    BYTE firstHex = 0;
    bool crPending = false;
    bool lineHasBytes = false;

    auto flushBlanks = [&] {
        for (size_t i = 0; i < nBlanks; ++i)
            out.Put(blanks[i]);
        nBlanks = 0;
    };
    auto pushBlank = [&](BYTE c) {
        if (nBlanks == kBlankHold) {
            if (state == afterEqualsBlanks) {
                out.Put('=');
                state = normal;
            }
            flushBlanks();
        }
        blanks[nBlanks++] = c;
    };
    auto endLine = [&] {
        switch (state) {
        case normal:
            out.Put('\r');
            out.Put('\n');
            break;
        case afterEquals:
        case afterEqualsBlanks:
            break;   // soft line break
        case afterEqualsHex:
            out.Put('=');
            out.Put(firstHex);
            out.Put('\r');
            out.Put('\n');
            break;
        }
        nBlanks = 0;
        state = normal;
        lineHasBytes = false;
    };
    // One character of a line (neither CR LF nor a bare LF).
    auto character = [&](BYTE c) {
        for (;;) {
            bool blank = c == ' ' || c == '\t';
            switch (state) {
            case normal:
                if (blank) {
                    pushBlank(c);
                } else if (c == '=') {
                    flushBlanks();
                    state = afterEquals;
                } else {
                    flushBlanks();
                    out.Put(c);
                }
                return;
            case afterEquals:
                if (HexDigitValue(static_cast<char>(c)) >= 0) {
                    firstHex = c;
                    state = afterEqualsHex;
                    return;
                }
                if (blank) {
                    pushBlank(c);
                    if (state == afterEquals)
                        state = afterEqualsBlanks;
                    return;
                }
                out.Put('=');
                state = normal;
                continue;   // the character itself is read as usual
            case afterEqualsHex: {
                int lo = HexDigitValue(static_cast<char>(c));
                if (lo >= 0) {
                    out.Put(static_cast<BYTE>(HexDigitValue(static_cast<char>(firstHex)) * 16 + lo));
                    state = normal;
                    return;
                }
                out.Put('=');
                out.Put(firstHex);
                state = normal;
                continue;
            }
            case afterEqualsBlanks:
                if (blank) {
                    pushBlank(c);
                    return;
                }
                out.Put('=');
                state = normal;
                flushBlanks();
                continue;
            }
        }
    };

    while (in.Refill()) {
        const BYTE* p = in.Data();
        const BYTE* end = p + in.m_len;
        for (; p < end; ++p) {
            BYTE c = *p;
            if (crPending) {
                crPending = false;
                if (c == '\n') {
                    endLine();
                    continue;
                }
                character('\r');   // a CR on its own is an ordinary character
            }
            lineHasBytes = true;
            if (c == '\r') {
                crPending = true;
            } else if (c == '\n') {
                endLine();
            } else if (state == normal && c != '=' && c != ' ' && c != '\t' && nBlanks == 0) {
                out.Put(c);
            } else {
                character(c);
            }
        }
    }
    // A CR as the last byte, or a last line without terminator, still ends a line.
    if (crPending || lineHasBytes)
        endLine();
    out.Flush();
}

DWORD DecodeUuencode(CFile* source, CFile* destination, DWORD length, UINT readBufferSize)
{
    long long start = source->GetPosition();
    unsigned long long owed = length ? length : ~0ull;
    CBlockReader in(source, owed, readBufferSize);
    CBlockWriter<kWriteBlock> out(destination);
    char line[kUuLineMax + 1];

    for (;;) {
        // One line: CR LF, LF CR, a lone CR or a lone LF ends it.
        size_t n = 0;
        int c = in.Get();
        if (c < 0)
            break;
        while (c >= 0 && c != '\r' && c != '\n') {
            if (n < kUuLineMax)
                line[n++] = static_cast<char>(c);
            c = in.Get();
        }
        if (c >= 0) {
            int other = c == '\r' ? '\n' : '\r';
            if (in.Peek() == other)
                in.Get();
        }
        line[n] = 0;

        if (n == 0 || std::strcmp(line, "end") == 0)
            break;
        int count = (static_cast<BYTE>(line[0]) - 32) & 63;
        if (count == 0)
            break;
        // Characters past the end of a short line count as zero bits.
        auto value = [&](size_t i) -> DWORD { return i < n ? static_cast<DWORD>((static_cast<BYTE>(line[i]) - 32) & 63) : 0; };
        BYTE* o = out.Reserve(63);
        int produced = 0;
        for (size_t i = 1; produced < count; i += 4) {
            DWORD a = value(i), b = value(i + 1), cc = value(i + 2), d = value(i + 3);
            BYTE bytes[3] = {static_cast<BYTE>(a << 2 | b >> 4), static_cast<BYTE>(b << 4 | cc >> 2), static_cast<BYTE>(cc << 6 | d)};
            for (int k = 0; k < 3 && produced < count; ++k)
                o[produced++] = bytes[k];
        }
        out.Commit(static_cast<size_t>(produced));
    }
    out.Flush();
    // Leave the source right after the last line taken, not where read-ahead stopped.
    source->Seek(start + static_cast<long long>(in.Taken()), CFile::begin);
    return static_cast<DWORD>(out.Written());
}

BOOL IsUuencodeLine(const char* line)
{
    if (!line || !*line)
        return FALSE;
    int count = (static_cast<BYTE>(line[0]) - 32) & 63;
    if (count > 45)
        return FALSE;
    size_t len = std::strlen(line);
    if (len < static_cast<size_t>(count))
        return FALSE;
    for (size_t i = 1; i < len; ++i) {
        BYTE c = static_cast<BYTE>(line[i]);
        if (c < 0x20 || c > 0x60)
            return FALSE;
    }
    return TRUE;
}

BOOL ParseUuencodeBeginLine(std::string_view line, CString& name)
{
    if (line.substr(0, 6) != "begin ")
        return FALSE;
    size_t i = 6;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7')
        ++i;
    if (i == digits)
        return FALSE;
    size_t from = line.find_first_not_of(" \t", i);
    if (from == std::string_view::npos)
        return FALSE;
    size_t to = line.find_last_not_of(" \t");
    std::string_view n = line.substr(from, to + 1 - from);
    if (n.size() > 259)
        n = n.substr(0, 259);
    // A name is a name up to a zero byte.
    size_t zero = n.find('\0');
    if (zero != std::string_view::npos)
        n = n.substr(0, zero);
    if (n.empty())
        return FALSE;
    name = CString(n);
    return TRUE;
}
