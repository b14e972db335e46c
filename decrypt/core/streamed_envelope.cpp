#include "decrypt/core/streamed_envelope.h"

#include "decrypt/core/outcome.h"
#include "decrypt/mime/fs_storage.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/engines/unlock_exception.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr size_t kBufferSize = 256 * 1024;

// A buffer for `size` bytes at the most: small inputs do not pay for a large one.
size_t BufferFor(long long size)
{
    return static_cast<size_t>(std::clamp<long long>(size, 16, static_cast<long long>(kBufferSize)));
}
constexpr int kMaxSkipDepth = 64;

// A buffered reader of the input file with its position.
class CCursor {
public:
    explicit CCursor(CFile& file) : m_file(file), m_nSize(file.GetLength()), m_buffer(BufferFor(m_nSize)) {}

    long long Position() const { return m_nPos; }
    long long Size() const { return m_nSize; }
    BOOL AtEnd() const { return m_nPos >= m_nSize; }

    BOOL Byte(BYTE& value)
    {
        if (m_nPos >= m_nSize)
            return FALSE;
        if (m_nPos < m_nStart || m_nPos >= m_nStart + static_cast<long long>(m_nHeld))
            Fill();
        value = m_buffer[static_cast<size_t>(m_nPos - m_nStart)];
        ++m_nPos;
        return TRUE;
    }
    void Back(long long position) { m_nPos = position; }
    BOOL Skip(long long count)
    {
        if (count < 0 || count > m_nSize - m_nPos)
            return FALSE;
        m_nPos += count;
        return TRUE;
    }
    // The bytes [from, to) of the file, appended to `out`.
    void Copy(long long from, long long to, std::vector<BYTE>& out)
    {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(to - from));
        m_file.Seek(from, CFile::begin);
        if (m_file.Read(out.data() + at, static_cast<UINT>(to - from)) != static_cast<UINT>(to - from))
            AfxThrowFileException(CFileException::endOfFile, -1, m_file.GetFilePath());
        m_nHeld = 0;
    }

private:
    void Fill()
    {
        m_nStart = m_nPos;
        m_file.Seek(m_nPos, CFile::begin);
        const auto want = static_cast<UINT>(std::min<long long>(static_cast<long long>(m_buffer.size()), m_nSize - m_nPos));
        m_nHeld = m_file.Read(m_buffer.data(), want);
        if (m_nHeld != want)
            AfxThrowFileException(CFileException::endOfFile, -1, m_file.GetFilePath());
    }

    CFile& m_file;
    long long m_nSize;
    long long m_nPos = 0;
    long long m_nStart = 0;
    size_t m_nHeld = 0;
    std::vector<BYTE> m_buffer;
};

// One element's identifier and length octets, read as the decoder reads them: a tag of one
// octet, a definite length (short form, or long form with a non-zero value of 32 bits at
// most) or, for constructed elements, the indefinite form.
struct CHeader {
    BYTE tag = 0;
    BOOL indefinite = FALSE;
    long long length = 0;
    long long start = 0;      // the identifier octet
    long long contents = 0;   // the first contents octet

    BOOL Constructed() const { return (tag & 0x20) != 0; }
    long long End() const { return contents + length; }
};

BOOL ReadHeader(CCursor& cursor, CHeader& header)
{
    header = CHeader();
    header.start = cursor.Position();
    BYTE first = 0;
    if (!cursor.Byte(header.tag) || (header.tag & 0x1F) == 0x1F || !cursor.Byte(first))
        return FALSE;
    if (first == 0x80) {
        if (!header.Constructed())
            return FALSE;
        header.indefinite = TRUE;
    } else if (first < 0x80) {
        header.length = first;
    } else {
        const int count = first & 0x7F;
        unsigned long long value = 0;
        for (int i = 0; i < count; ++i) {
            BYTE octet = 0;
            if (!cursor.Byte(octet) || value > 0xFFFFFFull)
                return FALSE;
            value = (value << 8) | octet;
        }
        if (value == 0 || value > 0xFFFFFFFFull)
            return FALSE;
        header.length = static_cast<long long>(value);
    }
    header.contents = cursor.Position();
    return header.indefinite || header.length <= cursor.Size() - header.contents;
}

BOOL ReadHeader(CCursor& cursor, CHeader& header, BYTE tag)
{
    return ReadHeader(cursor, header) && header.tag == tag;
}

// Inside an indefinite element: its end-of-contents octets (taken), another element (left
// where it is), or a cut file.
enum class CNext { end, element, fault };
CNext NextInIndefinite(CCursor& cursor)
{
    const long long at = cursor.Position();
    BYTE a = 1;
    BYTE b = 1;
    if (!cursor.Byte(a) || !cursor.Byte(b))
        return CNext::fault;
    if (a == 0 && b == 0)
        return CNext::end;
    cursor.Back(at);
    return CNext::element;
}

// Closes an element: its definite length ends here, or its end-of-contents octets follow.
BOOL Close(CCursor& cursor, const CHeader& header)
{
    return header.indefinite ? NextInIndefinite(cursor) == CNext::end : cursor.Position() == header.End();
}

// Skips the contents of an element whose header was read.
BOOL SkipContents(CCursor& cursor, const CHeader& header, int depth)
{
    if (!header.indefinite)
        return cursor.Skip(header.length);
    if (depth >= kMaxSkipDepth)
        return FALSE;
    for (;;) {
        const CNext next = NextInIndefinite(cursor);
        if (next != CNext::element)
            return next == CNext::end;
        CHeader child;
        if (!ReadHeader(cursor, child) || !SkipContents(cursor, child, depth + 1))
            return FALSE;
    }
}

// A primitive element with the given tag and exactly the contents `value`.
BOOL ReadPrimitive(CCursor& cursor, BYTE tag, const BYTE* value, size_t size)
{
    CHeader header;
    if (!ReadHeader(cursor, header, tag) || header.length != static_cast<long long>(size))
        return FALSE;
    for (size_t i = 0; i < size; ++i) {
        BYTE octet = 0;
        if (!cursor.Byte(octet) || octet != value[i])
            return FALSE;
    }
    return TRUE;
}

// The whole element at the cursor, identifier to end, appended to `out`.
BOOL TakeElement(CCursor& cursor, BYTE tag, std::vector<BYTE>& out)
{
    CHeader header;
    if (!ReadHeader(cursor, header, tag) || !SkipContents(cursor, header, 0))
        return FALSE;
    const long long end = cursor.Position();
    cursor.Copy(header.start, end, out);
    return TRUE;
}

// A definite length field and the contents after it.
void AppendDefinite(std::vector<BYTE>& out, BYTE tag, const std::vector<BYTE>& contents)
{
    unsigned char length[8];
    const int n = AfxWriteDefiniteLength(static_cast<unsigned long>(contents.size()), length);
    out.push_back(tag);
    out.insert(out.end(), length, length + n);
    out.insert(out.end(), contents.begin(), contents.end());
}

const BYTE kEnvelopedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x03};
const BYTE kDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};

}  // namespace

// The encrypted content's octets read front to back, the segments joined, a large buffer
// at a time.
class CStreamedEnvelope::CCipherFile : public CFile {
public:
    explicit CCipherFile(CStreamedEnvelope& owner) : m_owner(owner), m_buffer(BufferFor(owner.m_nCipherLength)) {}

    UINT Read(void* buffer, UINT count) override
    {
        auto* out = static_cast<BYTE*>(buffer);
        UINT done = 0;
        while (done < count && m_nPos < m_owner.m_nCipherLength) {
            if (m_nPos < m_nStart || m_nPos >= m_nStart + m_nHeld) {
                m_nStart = m_nPos;
                m_nHeld = std::min<long long>(static_cast<long long>(m_buffer.size()), m_owner.m_nCipherLength - m_nPos);
                m_owner.ReadCipherAt(m_nStart, m_buffer.data(), static_cast<UINT>(m_nHeld));
            }
            const auto n = static_cast<UINT>(std::min<long long>(count - done, m_nStart + m_nHeld - m_nPos));
            std::memcpy(out + done, m_buffer.data() + (m_nPos - m_nStart), n);
            done += n;
            m_nPos += n;
        }
        return done;
    }
    long long Seek(long long offset, UINT from) override
    {
        const long long base = from == begin ? 0 : from == current ? m_nPos : m_owner.m_nCipherLength;
        if (base + offset < 0)
            AfxThrowFileException(CFileException::badSeek, -1, GetFilePath());
        m_nPos = base + offset;
        return m_nPos;
    }
    long long GetPosition() const override { return m_nPos; }
    long long GetLength() const override { return m_owner.m_nCipherLength; }
    void Write(const void*, UINT) override { AfxThrowFileException(CFileException::accessDenied, -1, GetFilePath()); }
    void Close() override {}
    void Abort() override {}

private:
    CStreamedEnvelope& m_owner;
    std::vector<BYTE> m_buffer;
    long long m_nPos = 0;
    long long m_nStart = 0;
    long long m_nHeld = 0;
};

CStreamedEnvelope::CStreamedEnvelope() = default;
CStreamedEnvelope::~CStreamedEnvelope() = default;

BOOL CStreamedEnvelope::Open(const char* path)
{
    m_file = std::make_unique<CFile>(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary |
                                               CFile::modeRegularOnly);
    if (m_file->GetLength() > INT_MAX)
        return FALSE;
    CCursor cursor(*m_file);
    CHeader info, explicitContent, enveloped, encrypted, content;
    std::vector<BYTE> version, recipients, inner;
    // ContentInfo { envelopedData, [0] EnvelopedData { version, recipientInfos,
    //   EncryptedContentInfo { data, algorithm, [0] IMPLICIT encrypted content } } }
    if (!ReadHeader(cursor, info, 0x30) || !ReadPrimitive(cursor, 0x06, kEnvelopedDataOid, sizeof kEnvelopedDataOid) ||
        !ReadHeader(cursor, explicitContent, 0xA0) || !ReadHeader(cursor, enveloped, 0x30) ||
        !TakeElement(cursor, 0x02, version) || !TakeElement(cursor, 0x31, recipients) ||
        !ReadHeader(cursor, encrypted, 0x30))
        return FALSE;
    const long long typeStart = cursor.Position();
    if (!ReadPrimitive(cursor, 0x06, kDataOid, sizeof kDataOid))
        return FALSE;
    cursor.Copy(typeStart, cursor.Position(), inner);
    if (!TakeElement(cursor, 0x30, inner) || !ReadHeader(cursor, content))
        return FALSE;
    m_ranges.clear();
    if (content.tag == 0x80) {
        if (!cursor.Skip(content.length))
            return FALSE;
        m_ranges.emplace_back(content.contents, content.length);
    } else if (content.tag == 0xA0) {
        // Segments: primitive OCTET STRINGs up to the end of the element.
        for (;;) {
            if (!content.indefinite && cursor.Position() == content.End())
                break;
            if (content.indefinite) {
                const CNext next = NextInIndefinite(cursor);
                if (next == CNext::fault)
                    return FALSE;
                if (next == CNext::end)
                    break;
            }
            CHeader segment;
            if (!ReadHeader(cursor, segment, 0x04) || !cursor.Skip(segment.length) ||
                (!content.indefinite && cursor.Position() > content.End()))
                return FALSE;
            if (segment.length > 0)
                m_ranges.emplace_back(segment.contents, segment.length);
        }
    } else {
        return FALSE;
    }
    if (!Close(cursor, encrypted) || !Close(cursor, enveloped) || !Close(cursor, explicitContent) ||
        !Close(cursor, info) || !cursor.AtEnd())
        return FALSE;
    m_nCipherLength = 0;
    for (const auto& range : m_ranges)
        m_nCipherLength += range.second;

    // The envelope without its content, decoded by the classes that decode it whole.
    std::vector<BYTE> body(version);
    body.insert(body.end(), recipients.begin(), recipients.end());
    AppendDefinite(body, 0x30, inner);
    std::vector<BYTE> encoding;
    AppendDefinite(encoding, 0x30, body);
    try {
        CDEREncoding der(encoding.data(), static_cast<unsigned long>(encoding.size()));
        m_envelope.DecodeFrom(der);
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
    m_cipher = std::make_unique<CCipherFile>(*this);
    return TRUE;
}

CFile& CStreamedEnvelope::CipherText()
{
    m_cipher->SeekToBegin();
    return *m_cipher;
}

void CStreamedEnvelope::ReadCipherAt(long long offset, BYTE* out, UINT count)
{
    // What fails here is the input, whichever stage reads it (the output is written meanwhile).
    try {
        ReadRanges(offset, out, count);
    } catch (CFileException* e) {
        AfxNoteFailure(e->m_cause == CFileException::endOfFile && e->m_lOsError == -1
                           ? CString("the file ended while it was read")
                           : CString("the file cannot be read: ") + AfxDescribeFileError(e->m_cause, e->m_lOsError));
        throw;
    }
}

void CStreamedEnvelope::ReadRanges(long long offset, BYTE* out, UINT count)
{
    for (const auto& [start, length] : m_ranges) {
        if (count == 0)
            break;
        if (offset >= length) {
            offset -= length;
            continue;
        }
        const auto n = static_cast<UINT>(std::min<long long>(count, length - offset));
        m_file->Seek(start + offset, CFile::begin);
        if (m_file->Read(out, n) != n)
            AfxThrowFileException(CFileException::endOfFile, -1, m_file->GetFilePath());
        out += n;
        count -= n;
        offset = 0;
    }
    if (count != 0)
        AfxThrowFileException(CFileException::endOfFile, -1, m_file->GetFilePath());
}

UINT CheckedPadding(const CRC2key& key, CStreamedEnvelope& source)
{
    const long long n = source.CipherLength();
    if (n == 0 || n % 8 != 0)
        AfxThrowUnlockException("CCryptoProcessor::DecryptFile - invalid file size");
    BYTE tail[16];
    const UINT have = n >= 16 ? 16 : 8;
    source.ReadCipherAt(n - have, tail, have);
    CRC2key chained(key);
    if (have == 16)
        std::memcpy(chained.m_IV, tail, 8);
    BYTE last[8];
    {
        CRC2_CBC check(chained);
        check.DecryptBlock(tail + have - 8, 8, last, nullptr);
    }
    const BYTE pad = last[7];
    bool good = pad >= 1 && pad <= 8;
    for (UINT i = 1; good && i <= pad; ++i)
        good = last[8 - i] == pad;
    std::memset(last, 0, sizeof last);
    if (!good)
        AfxThrowUnlockException("CCryptoProcessor::DecryptFile - data to unlock are corrupted or key is not valid");
    return pad;
}

namespace {

// The plaintext's way out: gathered into large writes, each made known to the feed.
class CFeedingFile : public CFile {
public:
    CFeedingFile(CFile& out, long long length, CStreamFeed* feed, const std::atomic<bool>* stop)
        : m_out(out), m_feed(feed), m_stop(stop), m_buffer(BufferFor(length))
    {
    }
    // The plaintext that passed through is not left in freed memory.
    ~CFeedingFile() override { std::fill(m_buffer.begin(), m_buffer.begin() + m_nUsed, BYTE(0)); }

    void Write(const void* buffer, UINT count) override
    {
        const auto* in = static_cast<const BYTE*>(buffer);
        while (count > 0) {
            const UINT n = std::min<UINT>(count, static_cast<UINT>(m_buffer.size() - m_nHeld));
            std::memcpy(m_buffer.data() + m_nHeld, in, n);
            m_nHeld += n;
            m_nUsed = std::max(m_nUsed, m_nHeld);
            in += n;
            count -= n;
            if (m_nHeld == m_buffer.size())
                Flush();
        }
    }
    void Flush() override
    {
        if (m_stop && m_stop->load())
            AfxThrowFileException(CFileException::generic, -1, m_out.GetFilePath());
        if (m_nHeld == 0)
            return;
        m_out.Write(m_buffer.data(), static_cast<UINT>(m_nHeld));
        m_nWritten += m_nHeld;
        m_nHeld = 0;
        if (m_feed)
            m_feed->Advance(m_nWritten);
    }
    long long GetPosition() const override { return static_cast<long long>(m_nWritten + m_nHeld); }
    long long GetLength() const override { return GetPosition(); }
    void Close() override {}
    void Abort() override {}

private:
    CFile& m_out;
    CStreamFeed* m_feed;
    const std::atomic<bool>* m_stop;
    std::vector<BYTE> m_buffer;
    size_t m_nHeld = 0;
    size_t m_nUsed = 0;
    unsigned long long m_nWritten = 0;
};

}  // namespace

CContentDecryption::CContentDecryption(std::unique_ptr<CRC2_CBC> processor, CStreamedEnvelope& source,
                                       long long plainLength)
    : m_processor(std::move(processor)), m_source(source), m_nPlainLength(plainLength)
{
}

CContentDecryption::~CContentDecryption() = default;

void CContentDecryption::Run(CFile& out, CStreamFeed* feed, const std::atomic<bool>* stop)
{
    CFeedingFile feeding(out, m_nPlainLength, feed, stop);
    m_processor->DecryptFile(m_source.CipherText(), 0, feeding, nullptr);
    feeding.Flush();
}
