#include "framework/memfile.h"

#include <cstdlib>
#include <cstring>
#include <limits>

IMPLEMENT_DYNAMIC(CMemFile, CFile)

CMemFile::CMemFile(UINT growBytes)
    : m_nGrowBytes(growBytes), m_nPosition(0), m_nBufferSize(0), m_nFileSize(0), m_lpBuffer(nullptr), m_bAutoDelete(TRUE)
{
}

CMemFile::CMemFile(BYTE* buffer, UINT bufferSize, UINT growBytes)
    : m_nGrowBytes(0), m_nPosition(0), m_nBufferSize(0), m_nFileSize(0), m_lpBuffer(nullptr), m_bAutoDelete(TRUE)
{
    Attach(buffer, bufferSize, growBytes);
}

CMemFile::~CMemFile()
{
    if (m_lpBuffer)
        Close();
}

void CMemFile::Attach(BYTE* buffer, UINT bufferSize, UINT growBytes)
{
    if (m_lpBuffer)
        Close();
    m_nGrowBytes = growBytes;
    m_nPosition = 0;
    m_nBufferSize = bufferSize;
    // A fixed-size attached buffer is the file; a growable one starts empty.
    m_nFileSize = growBytes == 0 ? bufferSize : 0;
    m_lpBuffer = buffer;
    m_bAutoDelete = FALSE;
}

BYTE* CMemFile::Detach()
{
    BYTE* buffer = m_lpBuffer;
    m_lpBuffer = nullptr;
    m_nFileSize = m_nBufferSize = m_nPosition = 0;
    return buffer;
}

BYTE* CMemFile::Alloc(size_t bytes) { return static_cast<BYTE*>(std::malloc(bytes)); }
BYTE* CMemFile::Realloc(BYTE* block, size_t bytes) { return static_cast<BYTE*>(std::realloc(block, bytes)); }
void CMemFile::Free(BYTE* block) { std::free(block); }

void CMemFile::GrowFile(size_t newLength)
{
    if (newLength <= m_nBufferSize)
        return;
    if (m_nGrowBytes == 0)
        AfxThrowMemoryException();
    // Whole multiples of the step, but at least doubling so large files grow in amortised
    // constant time.
    size_t newSize = m_nBufferSize;
    while (newSize < newLength) {
        size_t step = newSize > m_nGrowBytes * 16 ? newSize : m_nGrowBytes;
        step = (step + m_nGrowBytes - 1) / m_nGrowBytes * m_nGrowBytes;
        if (newSize > std::numeric_limits<size_t>::max() - step)
            AfxThrowMemoryException();
        newSize += step;
    }
    BYTE* p = m_lpBuffer ? Realloc(m_lpBuffer, newSize) : Alloc(newSize);
    if (!p)
        AfxThrowMemoryException();
    m_lpBuffer = p;
    m_nBufferSize = newSize;
}

UINT CMemFile::Read(void* buffer, UINT count)
{
    if (m_nPosition >= m_nFileSize || count == 0)
        return 0;
    size_t n = m_nFileSize - m_nPosition;
    if (n > count)
        n = count;
    std::memcpy(buffer, m_lpBuffer + m_nPosition, n);
    m_nPosition += n;
    return static_cast<UINT>(n);
}

void CMemFile::Write(const void* buffer, UINT count)
{
    if (count == 0)
        return;
    if (m_nPosition + count > m_nBufferSize)
        GrowFile(m_nPosition + count);
    if (m_nPosition > m_nFileSize)
        std::memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
    std::memcpy(m_lpBuffer + m_nPosition, buffer, count);
    m_nPosition += count;
    if (m_nPosition > m_nFileSize)
        m_nFileSize = m_nPosition;
}

long long CMemFile::Seek(long long offset, UINT from)
{
    long long base = from == begin ? 0 : from == current ? static_cast<long long>(m_nPosition) : static_cast<long long>(m_nFileSize);
    long long pos = base + offset;
    if (pos < 0)
        AfxThrowFileException(CFileException::badSeek);
    if (static_cast<size_t>(pos) > m_nBufferSize)
        GrowFile(static_cast<size_t>(pos));
    m_nPosition = static_cast<size_t>(pos);
    return pos;
}

void CMemFile::SetLength(long long newLength)
{
    if (newLength < 0)
        AfxThrowFileException(CFileException::badSeek);
    size_t n = static_cast<size_t>(newLength);
    if (n > m_nBufferSize)
        GrowFile(n);
    if (n > m_nFileSize)
        std::memset(m_lpBuffer + m_nFileSize, 0, n - m_nFileSize);
    if (n < m_nPosition)
        m_nPosition = n;
    m_nFileSize = n;
}

void CMemFile::Close()
{
    m_nGrowBytes = m_nPosition = m_nBufferSize = m_nFileSize = 0;
    if (m_lpBuffer && m_bAutoDelete)
        Free(m_lpBuffer);
    m_lpBuffer = nullptr;
}

BOOL CMemFile::GetStatus(CFileStatus& status) const
{
    status = CFileStatus();
    status.m_size = static_cast<long long>(m_nFileSize);
    return TRUE;
}
