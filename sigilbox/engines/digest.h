// Incremental message digests (MD2, MD5, SHA-1) behind one abstract maker that does the
// block buffering, progress reporting and file reading once for all three.
#pragma once

#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

#include <cstdint>

class CFile;
class CProgress;

class SIGILBOX_API CDigestMaker {
public:
    virtual ~CDigestMaker() = default;

    // Writes the current chaining state as the digest. It finishes nothing: the value is the
    // real digest only after an update with the final flag set.
    virtual void GetCurrentDigest(BYTE* digest) const = 0;
    // Back to the algorithm's initial state, nothing buffered, length zero.
    virtual void ResetContext() = 0;

    // Feeds count bytes. With final nonzero the padding and trailer follow. With countLength
    // zero the bytes are not added to the message length (used for the padding itself).
    // A progress object receives one Hint(1) per compressed block and one for the final step.
    void UpdateBlock(const BYTE* data, int count, CProgress* progress, int final, int countLength = 1);

    // Feeds count bytes read from the file's current position (0: up to the end of the file),
    // in chunks of 1024 bytes. When the count is a nonzero multiple of 1024 the final flag is
    // not applied and the digest is left unfinished: stored integrity values of locked files
    // are computed this way on both sides, so the rule is part of their format.
    // A file that ends before count bytes raises CFileException (endOfFile).
    void UpdateFile(CFile& file, DWORD count, CProgress* progress, int final);

    int GetBlockSize() const { return m_nBlockSize; }

protected:
    CDigestMaker(BYTE* block, int blockSize) : m_pBlock(block), m_nBuffered(0), m_nBlockSize(blockSize) {}
    // Copies leave the block buffer pointer alone: every object keeps its own buffer.
    CDigestMaker(const CDigestMaker&) = delete;
    CDigestMaker& operator=(const CDigestMaker&) = delete;
    void CopyBaseFrom(const CDigestMaker& other);

    // Compresses one full block.
    virtual void UpdateDigest(const BYTE* block) = 0;
    // Adds count bytes to the message length.
    virtual void UpdateTotalLength(int count) = 0;
    // Feeds the padding and trailer through UpdateBlock (no progress, final 0, countLength 0).
    virtual void UpdateLastBytes() = 0;
    // Compresses several consecutive full blocks; makers override it to keep the chaining
    // state in registers across blocks.
    virtual void UpdateDigestBlocks(const BYTE* blocks, size_t count);

    BYTE* m_pBlock;
    int m_nBuffered;
    int m_nBlockSize;

private:
    void CompressInput(const BYTE* data, size_t blocks, CProgress* progress);
};

class SIGILBOX_API CMD2DigestMaker : public CDigestMaker {
public:
    static constexpr int DigestLength = 16;

    CMD2DigestMaker();
    CMD2DigestMaker(const CMD2DigestMaker& other);
    CMD2DigestMaker& operator=(const CMD2DigestMaker& other);
    ~CMD2DigestMaker() override;

    void GetCurrentDigest(BYTE* digest) const override;
    void ResetContext() override;

protected:
    void UpdateDigest(const BYTE* block) override;
    void UpdateTotalLength(int count) override;
    void UpdateLastBytes() override;

    BYTE m_State[16];
    BYTE m_Checksum[16];
    BYTE m_Block[16];
};

class SIGILBOX_API CMD5DigestMaker : public CDigestMaker {
public:
    static constexpr int DigestLength = 16;

    CMD5DigestMaker();
    CMD5DigestMaker(const CMD5DigestMaker& other);
    CMD5DigestMaker& operator=(const CMD5DigestMaker& other);
    ~CMD5DigestMaker() override;

    void GetCurrentDigest(BYTE* digest) const override;
    void ResetContext() override;

protected:
    void UpdateDigest(const BYTE* block) override;
    void UpdateTotalLength(int count) override;
    void UpdateLastBytes() override;
    void UpdateDigestBlocks(const BYTE* blocks, size_t count) override;

    DWORD m_State[4];
    DWORD m_nBitCount[2];    // low word, high word
    BYTE m_Block[64];
};

class SIGILBOX_API CSHA1DigestMaker : public CDigestMaker {
public:
    static constexpr int DigestLength = 20;

    CSHA1DigestMaker();
    CSHA1DigestMaker(const CSHA1DigestMaker& other);
    CSHA1DigestMaker& operator=(const CSHA1DigestMaker& other);
    ~CSHA1DigestMaker() override;

    void GetCurrentDigest(BYTE* digest) const override;
    void ResetContext() override;

    // Whether this processor's SHA instructions are used (chosen once, at first use).
    static BOOL UsesProcessorInstructions();

protected:
    void UpdateDigest(const BYTE* block) override;
    void UpdateTotalLength(int count) override;
    void UpdateLastBytes() override;
    void UpdateDigestBlocks(const BYTE* blocks, size_t count) override;

    DWORD m_State[5];
    DWORD m_nBitCount[2];    // low word, high word
    BYTE m_Block[64];
};

// One-shot MD5 of count bytes into 16 bytes.
SIGILBOX_API void AfxMakeMD5DigestOnData(const BYTE* data, int count, BYTE* digest);

// Compression functions, shared by the makers and their tests.
namespace sigilbox_digest {
SIGILBOX_API void MD5Compress(DWORD state[4], const BYTE* blocks, size_t count);
SIGILBOX_API void SHA1CompressPortable(DWORD state[5], const BYTE* blocks, size_t count);
// Null when the processor has no SHA instructions.
using SHA1CompressFn = void (*)(DWORD state[5], const BYTE* blocks, size_t count);
SIGILBOX_API SHA1CompressFn SHA1CompressAccelerated();
}
