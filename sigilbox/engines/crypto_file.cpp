#include "sigilbox/engines/crypto_file.h"

#include "framework/exceptions.h"

#include <algorithm>
#include <cstring>
#include <new>

using sigilbox_cipher::WipeKeyBytes;

IMPLEMENT_DYNAMIC(CCryptoFile, CFile)

namespace {

void ThrowGeneric(const CFile& file)
{
    AfxThrowFileException(CFileException::generic, -1, file.GetFilePath());
}

void ReadExactly(CFile& file, BYTE* buffer, UINT count)
{
    if (file.Read(buffer, count) != count)
        ThrowGeneric(file);
}

// Nonzero when the last `pad` bytes of the first `count` of `block` all equal pad.
bool PaddingOK(const BYTE* block, DWORD count, DWORD pad)
{
    if (pad < 1 || pad > 8 || pad > count)
        return false;
    for (DWORD i = 1; i <= pad; ++i)
        if (block[count - i] != pad)
            return false;
    return true;
}

}

CCryptoFile::CCryptoFile(CFile* pFile, CCryptoProcessor& processor, DWORD chunkSize, int bOwnFile)
    : m_pProcessor(&processor),
      m_nChunkSize(chunkSize),
      m_pFile(pFile),
      m_bOwnFile(bOwnFile),
      m_bModified(0),
      m_nPlainLength(0),
      m_nPosition(0)
{
    try {
        if (!pFile || chunkSize == 0 || chunkSize % 8 != 0)
            AfxThrowInvalidArgException();
        m_pPlain.reset(new (std::nothrow) BYTE[chunkSize]);
        m_pCipher.reset(new (std::nothrow) BYTE[chunkSize]);
        if (!m_pPlain || !m_pCipher)
            AfxThrowMemoryException();
        m_strFileName = pFile->GetFilePath();

        long long length = pFile->GetLength();
        if (length < 0 || length % 8 != 0 || length > static_cast<long long>(MaxPlainLength) + 8)
            ThrowGeneric(*pFile);
        if (length > 0) {
            // The last chunk, decrypted from the IV, ends with the padding.
            DWORD cipherLength = static_cast<DWORD>(length);
            DWORD last = cipherLength % chunkSize != 0 ? cipherLength % chunkSize : chunkSize;
            pFile->Seek(cipherLength - last, CFile::begin);
            ReadExactly(*pFile, m_pCipher.get(), last);
            m_pProcessor->ResetDecryptionContext();
            m_pProcessor->DecryptBlock(m_pCipher.get(), static_cast<int>(last), m_pPlain.get(), nullptr);
            DWORD pad = m_pPlain[last - 1];
            if (!PaddingOK(m_pPlain.get(), last, pad))
                ThrowGeneric(*pFile);
            m_nPlainLength = cipherLength - pad;
            m_nLoadedChunk = m_nPlainLength / chunkSize;
        }
        pFile->Seek(0, CFile::begin);
    } catch (...) {
        if (m_pPlain)
            WipeKeyBytes(m_pPlain.get(), chunkSize);
        if (bOwnFile)
            delete pFile;
        m_pFile = nullptr;
        throw;
    }
}

CCryptoFile::~CCryptoFile()
{
    try {
        Close();
    } catch (CException* e) {
        e->Delete();
    }
    if (m_bOwnFile)
        delete m_pFile;
    m_pFile = nullptr;
    if (m_pPlain)
        WipeKeyBytes(m_pPlain.get(), m_nChunkSize);
    if (m_pCipher)
        WipeKeyBytes(m_pCipher.get(), m_nChunkSize);
}

// ---- layout ------------------------------------------------------------------------------

DWORD CCryptoFile::ChunkPlainBytes(DWORD index, DWORD plainLength) const
{
    unsigned long long start = static_cast<unsigned long long>(index) * m_nChunkSize;
    if (start >= plainLength)
        return 0;
    return static_cast<DWORD>(std::min<unsigned long long>(m_nChunkSize, plainLength - start));
}

void CCryptoFile::LoadChunk(DWORD index)
{
    DWORD tail = m_nPlainLength / m_nChunkSize;
    if (index > tail)
        ThrowGeneric(*this);
    DWORD plainBytes = ChunkPlainBytes(index, m_nPlainLength);
    DWORD cipherBytes = index == tail ? CipherLength(plainBytes) : m_nChunkSize;
    m_nLoadedChunk = NoChunk;
    m_pFile->Seek(static_cast<long long>(index) * m_nChunkSize, CFile::begin);
    ReadExactly(*m_pFile, m_pCipher.get(), cipherBytes);
    m_pProcessor->ResetDecryptionContext();
    m_pProcessor->DecryptBlock(m_pCipher.get(), static_cast<int>(cipherBytes), m_pPlain.get(), nullptr);
    // The last chunk must still end with the padding its length calls for: anything else
    // means the wrapped file was changed behind our back.
    if (index == tail && !PaddingOK(m_pPlain.get(), cipherBytes, cipherBytes - plainBytes))
        ThrowGeneric(*this);
    m_nLoadedChunk = index;
}

void CCryptoFile::StoreChunk(DWORD index, DWORD plainBytes, DWORD plainLength)
{
    bool tail = index == plainLength / m_nChunkSize;
    DWORD cipherBytes = m_nChunkSize;
    if (tail) {
        BYTE pad = static_cast<BYTE>(8 - plainBytes % 8);
        std::memset(m_pPlain.get() + plainBytes, pad, pad);
        cipherBytes = plainBytes + pad;
    }
    long long start = static_cast<long long>(index) * m_nChunkSize;
    m_pProcessor->ResetEncryptionContext();
    m_pProcessor->EncryptBlock(m_pPlain.get(), static_cast<int>(cipherBytes), m_pCipher.get(), nullptr);
    m_nLoadedChunk = index;
    m_pFile->Seek(start, CFile::begin);
    m_pFile->Write(m_pCipher.get(), cipherBytes);
    if (tail && m_pFile->GetLength() != start + cipherBytes)
        m_pFile->SetLength(start + cipherBytes);
}

void CCryptoFile::StoreTail(DWORD plainLength)
{
    StoreChunk(plainLength / m_nChunkSize, plainLength % m_nChunkSize, plainLength);
}

// ---- reading and writing -----------------------------------------------------------------

UINT CCryptoFile::Read(void* buffer, UINT count)
{
    if (m_nPosition >= m_nPlainLength || count == 0)
        return 0;
    DWORD todo = std::min<DWORD>(count, m_nPlainLength - m_nPosition);
    BYTE* out = static_cast<BYTE*>(buffer);
    DWORD done = 0;
    while (done < todo) {
        DWORD index = m_nPosition / m_nChunkSize;
        DWORD offset = m_nPosition % m_nChunkSize;
        if (m_nLoadedChunk != index)
            LoadChunk(index);
        DWORD take = std::min(todo - done, ChunkPlainBytes(index, m_nPlainLength) - offset);
        std::memcpy(out + done, m_pPlain.get() + offset, take);
        done += take;
        m_nPosition += take;
    }
    return done;
}

void CCryptoFile::Write(const void* buffer, UINT count)
{
    if (count == 0)
        return;
    if (m_nPosition > MaxPlainLength || count > MaxPlainLength - m_nPosition)
        ThrowGeneric(*this);
    const DWORD stop = m_nPosition + count;
    const DWORD newLength = std::max(m_nPlainLength, stop);
    const BYTE* in = static_cast<const BYTE*>(buffer);

    while (m_nPosition < stop) {
        DWORD index = m_nPosition / m_nChunkSize;
        DWORD offset = m_nPosition % m_nChunkSize;
        DWORD take = std::min(stop - m_nPosition, m_nChunkSize - offset);
        DWORD existing = ChunkPlainBytes(index, m_nPlainLength);
        // Bytes of the chunk that this write leaves alone must be read first.
        if ((offset > 0 || offset + take < existing) && m_nLoadedChunk != index)
            LoadChunk(index);
        std::memcpy(m_pPlain.get() + offset, in, take);
        StoreChunk(index, std::max(existing, offset + take), newLength);
        in += take;
        m_nPosition += take;
        if (m_nPosition > m_nPlainLength) {
            // Later chunks of this write are new, and the file must not claim more than
            // has been written should the next step fail.
            m_nPlainLength = m_nPosition;
            m_bModified = 1;
        }
    }
    // A write that ends exactly on a chunk boundary at the end leaves an empty last chunk:
    // the padding alone.
    if (stop == newLength && newLength % m_nChunkSize == 0)
        StoreTail(newLength);
}

void CCryptoFile::SetLength(long long newLength)
{
    if (newLength < 0 || newLength > m_nPlainLength || newLength % 8 != 0)
        AfxThrowFileException(CFileException::badSeek, -1, m_strFileName);
    DWORD length = static_cast<DWORD>(newLength);
    if (length != m_nPlainLength) {
        // The new last chunk keeps its first bytes; read them before the layout changes.
        DWORD index = length / m_nChunkSize;
        if (length % m_nChunkSize != 0 && m_nLoadedChunk != index)
            LoadChunk(index);
        StoreTail(length);
        m_nPlainLength = length;
        m_bModified = 1;
    }
    m_nPosition = length;
}

// ---- positions ---------------------------------------------------------------------------

long long CCryptoFile::Seek(long long offset, UINT from)
{
    long long base = from == CFile::begin ? 0 : from == CFile::current ? m_nPosition : m_nPlainLength;
    long long target = base + offset;
    if (from > CFile::end || target < 0 || target > m_nPlainLength)
        AfxThrowFileException(CFileException::badSeek, -1, m_strFileName);
    m_pFile->Seek(target, CFile::begin);
    m_nPosition = static_cast<DWORD>(target);
    return target;
}

long long CCryptoFile::SeekToEnd()
{
    return Seek(0, CFile::end);
}

void CCryptoFile::SeekToBegin()
{
    Seek(0, CFile::begin);
}

long long CCryptoFile::GetPosition() const
{
    return m_nPosition;
}

long long CCryptoFile::GetLength() const
{
    return m_nPlainLength;
}

// ---- passed to the wrapped file ----------------------------------------------------------

CString CCryptoFile::GetFileName() const
{
    return m_pFile ? m_pFile->GetFileName() : CString();
}

CString CCryptoFile::GetFileTitle() const
{
    CString name = GetFileName();
    int dot = name.ReverseFind('.');
    return dot > 0 ? name.Left(dot) : name;
}

CString CCryptoFile::GetFilePath() const
{
    return m_pFile ? m_pFile->GetFilePath() : CString();
}

void CCryptoFile::SetFilePath(const char* path)
{
    if (m_pFile)
        m_pFile->SetFilePath(path);
    CFile::SetFilePath(path);
}

BOOL CCryptoFile::GetStatus(CFileStatus& status) const
{
    return m_pFile ? m_pFile->GetStatus(status) : FALSE;
}

void CCryptoFile::LockRange(long long pos, long long count)
{
    m_pFile->LockRange(pos, count);
}

void CCryptoFile::UnlockRange(long long pos, long long count)
{
    m_pFile->UnlockRange(pos, count);
}

void CCryptoFile::Abort()
{
    if (m_pFile)
        m_pFile->Abort();
}

void CCryptoFile::Flush()
{
    m_pFile->Flush();
}

void CCryptoFile::Close()
{
    if (!m_pFile)
        return;
    if (m_bModified) {
        // Every write already left the layout whole; rewriting the last chunk once more
        // also cuts off anything a failed write may have left after it.
        DWORD index = m_nPlainLength / m_nChunkSize;
        if (m_nPlainLength % m_nChunkSize != 0 && m_nLoadedChunk != index)
            LoadChunk(index);
        StoreTail(m_nPlainLength);
        m_bModified = 0;
    }
    if (m_bOwnFile)
        m_pFile->Close();
}

BOOL CCryptoFile::Open(const char*, UINT, CFileException*)
{
    return FALSE;
}

CFile* CCryptoFile::Duplicate() const
{
    return nullptr;
}

UINT CCryptoFile::GetBufferPtr(UINT, UINT, void**, void**)
{
    return 0;
}

CCryptoFile::operator int() const
{
    return m_pFile ? m_pFile->m_hFile : CFile::hFileNull;
}
