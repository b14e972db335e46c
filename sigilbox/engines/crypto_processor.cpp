#include "sigilbox/engines/crypto_processor.h"

#include "framework/exceptions.h"
#include "framework/memfile.h"
#include "sigilbox/engines/block_loop.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/unlock_exception.h"

#include <cstring>
#include <typeinfo>

using sigilbox_cipher::WipeKeyBytes;

namespace {

// A chunk buffer on the stack that is cleared when the operation ends, however it ends.
struct ChunkBuffer {
    BYTE bytes[CCryptoProcessor::ChunkSize];
    ~ChunkBuffer() { WipeKeyBytes(bytes, sizeof bytes); }
};

// A short read means the file ended before the count it was asked for: the missing bytes
// would otherwise be enciphered from whatever the buffer held.
void ReadExactly(CFile& file, BYTE* buffer, UINT count)
{
    if (count != 0 && file.Read(buffer, count) != count)
        AfxThrowFileException(CFileException::endOfFile, -1, file.GetFilePath());
}

// Where the chunks of a file operation come from. A plain memory file is enciphered
// straight from its buffer: copying a chunk out of memory that is not in the cache stalls
// the processor, while the block loop reading it in step with its work lets the hardware
// fetch ahead. Other files are read into the chunk buffer. Either way the file's position
// moves past each chunk before it is processed.
class ChunkSource {
public:
    explicit ChunkSource(CFile& file)
        : m_file(file), m_memory(typeid(file) == typeid(CMemFile) ? static_cast<CMemFile*>(&file) : nullptr)
    {
    }

    const BYTE* Next(BYTE* buffer, UINT count)
    {
        if (!m_memory) {
            ReadExactly(m_file, buffer, count);
            return buffer;
        }
        long long position = m_memory->GetPosition();
        if (m_memory->GetLength() - position < static_cast<long long>(count))
            AfxThrowFileException(CFileException::endOfFile, -1, m_file.GetFilePath());
        const BYTE* bytes = m_memory->GetBufferPtr() + position;
        m_memory->Seek(count, CFile::current);
        return bytes;
    }

private:
    CFile& m_file;
    CMemFile* m_memory;
};

long long BytesLeft(const CFile& file)
{
    long long left = file.GetLength() - file.GetPosition();
    return left > 0 ? left : 0;
}

}

CCryptoProcessor::CCryptoProcessor(const CKey& key)
{
    EncodeData(key.m_IV, m_IVWords);
    ResetEncryptionContext();
    ResetDecryptionContext();
}

CCryptoProcessor::CCryptoProcessor(const CCryptoProcessor& other)
{
    *this = other;
}

CCryptoProcessor& CCryptoProcessor::operator=(const CCryptoProcessor& other)
{
    for (int i = 0; i < 2; ++i) {
        m_IVWords[i] = other.m_IVWords[i];
        m_EncryptionContext[i] = other.m_EncryptionContext[i];
        m_DecryptionContext[i] = other.m_DecryptionContext[i];
    }
    return *this;
}

CCryptoProcessor::~CCryptoProcessor()
{
    WipeKeyBytes(m_IVWords, sizeof m_IVWords);
    WipeKeyBytes(m_EncryptionContext, sizeof m_EncryptionContext);
    WipeKeyBytes(m_DecryptionContext, sizeof m_DecryptionContext);
}

void CCryptoProcessor::ResetEncryptionContext()
{
    m_EncryptionContext[0] = m_IVWords[0];
    m_EncryptionContext[1] = m_IVWords[1];
}

void CCryptoProcessor::ResetDecryptionContext()
{
    m_DecryptionContext[0] = m_IVWords[0];
    m_DecryptionContext[1] = m_IVWords[1];
}

void CCryptoProcessor::EncryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks)
{
    for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
        DWORD x[2], y[2], z[2], w[2];
        EncodeData(in, x);
        EncryptPreProcess(x, y, m_EncryptionContext);
        EncipherAlgorithm(y, z);
        EncryptPostProcess(z, w, m_EncryptionContext);
        DecodeData(w, out);
    }
}

void CCryptoProcessor::DecryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks)
{
    for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
        DWORD x[2], y[2], z[2], w[2];
        EncodeData(in, x);
        DecryptPreProcess(x, y, m_DecryptionContext);
        DecipherAlgorithm(y, z);
        DecryptPostProcess(z, w, m_DecryptionContext);
        DecodeData(w, out);
    }
}

void CCryptoProcessor::Blocks(bool encrypt, const BYTE* in, int count, BYTE* out, CProgress* progress)
{
    if (count < 8)
        return;
    std::size_t blocks = static_cast<std::size_t>(count) / 8;
    if (!progress) {
        if (encrypt)
            EncryptBlocks(in, out, blocks);
        else
            DecryptBlocks(in, out, blocks);
        return;
    }
    for (std::size_t i = 0; i < blocks; ++i) {
        if (encrypt)
            EncryptBlocks(in + 8 * i, out + 8 * i, 1);
        else
            DecryptBlocks(in + 8 * i, out + 8 * i, 1);
        progress->Hint(1);
    }
}

void CCryptoProcessor::EncryptBlock(const BYTE* in, int count, BYTE* out, CProgress* progress)
{
    Blocks(true, in, count, out, progress);
}

void CCryptoProcessor::DecryptBlock(const BYTE* in, int count, BYTE* out, CProgress* progress)
{
    Blocks(false, in, count, out, progress);
}

void CCryptoProcessor::EncryptFile(CFile& in, int count, CFile& out, CProgress* progress)
{
    if (count < 0)
        AfxThrowInvalidArgException();
    long long n = count != 0 ? count : BytesLeft(in);
    if (progress)
        progress->SetUp(static_cast<int>(n / 8), 0, 1, 0);

    ChunkBuffer buffer;
    BYTE* buf = buffer.bytes;
    ChunkSource source(in);
    for (long long chunks = n / ChunkSize; chunks > 0; --chunks) {
        EncryptBlock(source.Next(buf, ChunkSize), ChunkSize, buf, progress);
        out.Write(buf, ChunkSize);
    }
    // The rest: its whole blocks, then the last 0 to 7 bytes completed by the padding.
    UINT rest = static_cast<UINT>(n % ChunkSize);
    const BYTE* restBytes = source.Next(buf, rest);
    if (restBytes != buf && rest != 0)
        std::memcpy(buf, restBytes, rest);
    UINT whole = rest - rest % 8;
    BYTE pad = static_cast<BYTE>(8 - rest % 8);
    std::memset(buf + rest, pad, pad);
    EncryptBlock(buf, static_cast<int>(whole + 8), buf, progress);
    out.Write(buf, whole + 8);

    if (progress)
        progress->SetUp(1, 0, 1, 1);
}

void CCryptoProcessor::DecryptFile(CFile& in, int count, CFile& out, CProgress* progress)
{
    long long left = BytesLeft(in);
    if (count < 0 || left < count)
        AfxThrowUnlockException("CCryptoProcessor::DecryptFile - invalid input file size");
    long long n = count != 0 ? count : left;
    long long wholeChunks = n / ChunkSize;
    UINT last = static_cast<UINT>(n % ChunkSize);
    if (last == 0) {
        last = ChunkSize;
        --wholeChunks;
    }
    if (progress)
        progress->SetUp(static_cast<int>(n / 8), 1, 1, 1);
    if (n == 0 || last % 8 != 0)
        AfxThrowUnlockException("CCryptoProcessor::DecryptFile - invalid file size");

    ChunkBuffer buffer;
    BYTE* buf = buffer.bytes;
    ChunkSource source(in);
    for (; wholeChunks > 0; --wholeChunks) {
        DecryptBlock(source.Next(buf, ChunkSize), ChunkSize, buf, progress);
        out.Write(buf, ChunkSize);
    }
    DecryptBlock(source.Next(buf, last), static_cast<int>(last), buf, progress);
    BYTE pad = buf[last - 1];
    bool padOK = pad >= 1 && pad <= 8;
    for (UINT i = 1; padOK && i <= pad; ++i)
        padOK = buf[last - i] == pad;
    if (!padOK)
        AfxThrowUnlockException("CCryptoProcessor::DecryptFile - data to unlock are corrupted or key is not valid");
    out.Write(buf, last - pad);

    if (progress)
        progress->SetUp(1, 0, 1, 1);
}

// ---- the combination classes' block loops -----------------------------------------------

#define SIGILBOX_COMBINATION_LOOPS(Name, Algorithm, Mode, Forward)                                                 \
    void Name::EncryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks)                                        \
    {                                                                                                              \
        sigilbox_cipher::CBlockLoop<Algorithm, Mode, Forward>::Encrypt(*this, *this, m_EncryptionContext, in, out, blocks); \
    }                                                                                                              \
    void Name::DecryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks)                                        \
    {                                                                                                              \
        sigilbox_cipher::CBlockLoop<Algorithm, Mode, Forward>::Decrypt(*this, *this, m_DecryptionContext, in, out, blocks); \
    }

SIGILBOX_COMBINATION_LOOPS(CDES_ECB, CDESAlgorithm, CECB_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CDES_CBC, CDESAlgorithm, CCBC_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CDES_CFB, CDESAlgorithm, CCFB_ModeProcessor, true)
SIGILBOX_COMBINATION_LOOPS(CTripleDES_ECB, CTripleDESAlgorithm, CECB_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CTripleDES_CBC, CTripleDESAlgorithm, CCBC_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CTripleDES_CFB, CTripleDESAlgorithm, CCFB_ModeProcessor, true)
SIGILBOX_COMBINATION_LOOPS(CIDEA_ECB, CIDEAAlgorithm, CECB_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CIDEA_CBC, CIDEAAlgorithm, CCBC_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CIDEA_CFB, CIDEAAlgorithm, CCFB_ModeProcessor, true)
SIGILBOX_COMBINATION_LOOPS(CRC2_ECB, CRC2Algorithm, CECB_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CRC2_CBC, CRC2Algorithm, CCBC_ModeProcessor, false)
SIGILBOX_COMBINATION_LOOPS(CRC2_CFB, CRC2Algorithm, CCFB_ModeProcessor, true)
