#include "decrypt/mime/ole_stream.h"

#include <algorithm>
#include <cstring>

IMPLEMENT_DYNAMIC(COleStream, CFile)

namespace {
// Read-ahead per open stream object.
constexpr size_t kReadAhead = 64 * 1024;

int CauseOfSystemError(DWORD code)
{
    switch (code) {
    case 0x00: return CFileException::none;
    case 0x02: return CFileException::fileNotFound;
    case 0x03: return CFileException::badPath;
    case 0x04: return CFileException::tooManyOpenFiles;
    case 0x05: return CFileException::accessDenied;
    case 0x06: return CFileException::invalidFile;
    case 0x13: return CFileException::accessDenied;      // write protected
    case 0x19: return CFileException::badSeek;
    case 0x1D:
    case 0x1E: return CFileException::hardIO;            // write or read fault
    case 0x20: return CFileException::sharingViolation;
    case 0x21: return CFileException::lockViolation;
    case 0x27:
    case 0x70: return CFileException::diskFull;
    case 0x50: return CFileException::accessDenied;      // file exists
    default: return CFileException::generic;
    }
}
}

void AfxStgResultToFileException(HRESULT hr, const char* name, CFileException* error)
{
    DWORD v = static_cast<DWORD>(hr);
    int cause = CFileException::generic;
    if (v == static_cast<DWORD>(STG_E_INUSE))
        cause = CFileException::sharingViolation;
    else if ((v & 0xFFFF0000u) == 0x80030000u && (v & 0xFFFFu) < 0x100)
        cause = CauseOfSystemError(v & 0xFFFFu);
    if (error) {
        error->m_cause = cause;
        error->m_lOsError = hr;
        error->m_strFileName = name;
    }
}

void AfxThrowStgResult(HRESULT hr, const char* name)
{
    CFileException e;
    AfxStgResultToFileException(hr, name, &e);
    AfxThrowFileException(e.m_cause, e.m_lOsError, name);
}

COleStream::COleStream() : m_lpStream(nullptr), m_nPos(0), m_nBufStart(0), m_nBufLen(0), m_nBufChanges(0) {}

COleStream::~COleStream()
{
    if (m_lpStream && m_bCloseOnDelete)
        Abort();
}

void COleStream::Attach(IStream* stream)
{
    if (m_lpStream)
        Abort();
    m_lpStream = stream;
    m_nPos = 0;
    DropBuffer();
    m_bCloseOnDelete = TRUE;
    STATSTG st;
    m_strFileName = (stream && SUCCEEDED(stream->Stat(&st, STATFLAG_DEFAULT))) ? st.name : CString();
}

IStream* COleStream::Detach()
{
    IStream* s = m_lpStream;
    m_lpStream = nullptr;
    m_nPos = 0;
    m_pBuf.reset();
    DropBuffer();
    m_bCloseOnDelete = FALSE;
    return s;
}

void COleStream::CheckOpen() const
{
    if (!m_lpStream)
        AfxThrowFileException(CFileException::invalidFile, -1, m_strFileName);
}

bool COleStream::FillAtPosition()
{
    if (m_nBufLen && m_nPos >= m_nBufStart && m_nPos < m_nBufStart + m_nBufLen && m_lpStream->ChangeCount() == m_nBufChanges)
        return true;
    if (!m_pBuf)
        m_pBuf.reset(new BYTE[kReadAhead]);
    DropBuffer();
    HRESULT hr = m_lpStream->Seek(static_cast<long long>(m_nPos), STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    if (SUCCEEDED(hr))
        hr = m_lpStream->Read(m_pBuf.get(), static_cast<ULONG>(kReadAhead), &got);
    if (FAILED(hr))
        AfxThrowStgResult(hr, m_strFileName);
    m_nBufStart = m_nPos;
    m_nBufLen = got;
    m_nBufChanges = m_lpStream->ChangeCount();
    return got > 0;
}

UINT COleStream::Read(void* buffer, UINT count)
{
    CheckOpen();
    BYTE* out = static_cast<BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        UINT want = count - done;
        if (want >= kReadAhead && !(m_nBufLen && m_nPos >= m_nBufStart && m_nPos < m_nBufStart + m_nBufLen &&
                                    m_lpStream->ChangeCount() == m_nBufChanges)) {
            // Large reads bypass the buffer.
            HRESULT hr = m_lpStream->Seek(static_cast<long long>(m_nPos), STREAM_SEEK_SET, nullptr);
            ULONG got = 0;
            if (SUCCEEDED(hr))
                hr = m_lpStream->Read(out + done, want, &got);
            if (FAILED(hr))
                AfxThrowStgResult(hr, m_strFileName);
            m_nPos += got;
            done += got;
            if (got == 0)
                break;
            continue;
        }
        if (!FillAtPosition())
            break;
        size_t off = static_cast<size_t>(m_nPos - m_nBufStart);
        size_t n = std::min<size_t>(m_nBufLen - off, want);
        std::memcpy(out + done, m_pBuf.get() + off, n);
        m_nPos += n;
        done += static_cast<UINT>(n);
    }
    return done;
}

void COleStream::Write(const void* buffer, UINT count)
{
    CheckOpen();
    if (count == 0)
        return;
    DropBuffer();
    HRESULT hr = m_lpStream->Seek(static_cast<long long>(m_nPos), STREAM_SEEK_SET, nullptr);
    ULONG written = 0;
    if (SUCCEEDED(hr))
        hr = m_lpStream->Write(buffer, count, &written);
    if (SUCCEEDED(hr) && written != count)
        hr = STG_E_MEDIUMFULL;
    if (FAILED(hr))
        AfxThrowStgResult(hr, m_strFileName);
    m_nPos += count;
}

long long COleStream::Seek(long long offset, UINT from)
{
    CheckOpen();
    long long base = from == begin ? 0 : from == current ? static_cast<long long>(m_nPos) : GetLength();
    long long pos = base + offset;
    if (pos < 0)
        AfxThrowFileException(CFileException::badSeek, -1, m_strFileName);
    m_nPos = static_cast<unsigned long long>(pos);
    return pos;
}

long long COleStream::GetPosition() const
{
    CheckOpen();
    return static_cast<long long>(m_nPos);
}

long long COleStream::GetLength() const
{
    CheckOpen();
    STATSTG st;
    HRESULT hr = m_lpStream->Stat(&st, STATFLAG_NONAME);
    if (FAILED(hr))
        AfxThrowStgResult(hr, m_strFileName);
    return static_cast<long long>(st.cbSize);
}

void COleStream::SetLength(long long newLength)
{
    CheckOpen();
    if (newLength < 0)
        AfxThrowFileException(CFileException::badSeek, -1, m_strFileName);
    DropBuffer();
    HRESULT hr = m_lpStream->SetSize(static_cast<unsigned long long>(newLength));
    if (FAILED(hr))
        AfxThrowStgResult(hr, m_strFileName);
}

void COleStream::Flush()
{
    if (m_lpStream) {
        HRESULT hr = m_lpStream->Commit(0);
        if (FAILED(hr))
            AfxThrowStgResult(hr, m_strFileName);
    }
}

void COleStream::Close()
{
    Abort();
}

void COleStream::Abort()
{
    if (m_lpStream)
        m_lpStream->Release();
    m_lpStream = nullptr;
    m_nPos = 0;
    m_pBuf.reset();
    DropBuffer();
    m_bCloseOnDelete = FALSE;
}

void COleStream::LockRange(long long, long long)
{
    AfxThrowNotSupportedException();
}

void COleStream::UnlockRange(long long, long long)
{
    AfxThrowNotSupportedException();
}

BOOL COleStream::GetStatus(CFileStatus& status) const
{
    if (!m_lpStream)
        return FALSE;
    STATSTG st;
    if (FAILED(m_lpStream->Stat(&st, STATFLAG_NONAME)))
        return FALSE;
    status = CFileStatus();
    status.m_size = static_cast<long long>(st.cbSize);
    size_t n = std::min(static_cast<size_t>(m_strFileName.GetLength()), sizeof status.m_szFullName - 1);
    std::memcpy(status.m_szFullName, m_strFileName.c_str(), n);
    return TRUE;
}

BOOL COleStream::ReadLine(char* buffer, UINT maxChars, LineInfo& info)
{
    CheckOpen();
    info = LineInfo();
    if (maxChars < 2)
        AfxThrowInvalidArgException();
    size_t limit = maxChars - 1;
    size_t len = 0;
    bool any = false;
    for (;;) {
        if (!FillAtPosition())
            break;
        any = true;
        if (len == limit) {
            // A line exactly as long as the limit still takes its terminator, so a cut
            // line is always followed by more of the same line.
            BYTE c = m_pBuf[static_cast<size_t>(m_nPos - m_nBufStart)];
            if (c != '\r' && c != '\n')
                break;
        }
        size_t off = static_cast<size_t>(m_nPos - m_nBufStart);
        const BYTE* p = m_pBuf.get() + off;
        size_t avail = std::min(m_nBufLen - off, limit - len);
        // The first CR or LF: the LF bounds the search for a CR (both scans are the
        // library's vector code).
        const void* lf = std::memchr(p, '\n', avail);
        size_t i = lf ? static_cast<size_t>(static_cast<const BYTE*>(lf) - p) : avail;
        if (const void* cr = std::memchr(p, '\r', i))
            i = static_cast<size_t>(static_cast<const BYTE*>(cr) - p);
        if (len == limit)
            avail = 1;   // only the terminator looked at above
        std::memcpy(buffer + len, p, i);
        len += i;
        m_nPos += i;
        if (i < avail) {
            // A terminator: take it, and its partner when the pair is CR LF or LF CR.
            BYTE first = p[i];
            ++m_nPos;
            info.terminator = 1;
            if (FillAtPosition()) {
                BYTE next = m_pBuf[static_cast<size_t>(m_nPos - m_nBufStart)];
                if ((first == '\r' && next == '\n') || (first == '\n' && next == '\r')) {
                    ++m_nPos;
                    info.terminator = 2;
                }
            }
            break;
        }
    }
    buffer[len] = 0;
    info.length = len;
    return any;
}

char* COleStream::ReadString(char* buffer, UINT maxChars)
{
    LineInfo info;
    return ReadLine(buffer, maxChars, info) ? buffer : nullptr;
}
