// RC2 on one 64-bit block, with the published permutation table and the standard byte
// order: the four 16-bit words of a block are little-endian within its 8 bytes.
//
// At the block interface a block is two 32-bit words (bytes 0-3 and 4-7, big-endian), so
// one byte swap of each word gives two of the cipher's words.
#pragma once

#include "framework/types.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/sigilbox_export.h"

#include <bit>
#include <cstdint>

class SIGILBOX_API CRC2Algorithm {
public:
    static constexpr int KeyWords = 64;

    // Expands the key's first m_nKeyLength bytes, reduced to m_nEffectiveBits. A key length
    // outside 1-128 or effective bits outside 1-1024 raise CInvalidArgException.
    explicit CRC2Algorithm(const CRC2key& key);
    CRC2Algorithm(const CRC2Algorithm& other);
    CRC2Algorithm& operator=(const CRC2Algorithm& other);
    virtual ~CRC2Algorithm();

    virtual void EncipherAlgorithm(const DWORD in[2], DWORD out[2]);
    virtual void DecipherAlgorithm(const DWORD in[2], DWORD out[2]);

    // The block operations without a virtual call, for loops over many blocks.
    void Encipher(const DWORD in[2], DWORD out[2]) const;
    void Decipher(const DWORD in[2], DWORD out[2]) const;
    // Two independent blocks at once (in[0..1] and in[2..3]): their dependency chains
    // interleave, which nearly doubles the work done per cycle.
    void Decipher2(const DWORD in[4], DWORD out[4]) const;

    // The published 256-byte permutation of the key expansion.
    static const BYTE PermutationTable[256];

protected:
    WORD m_ExpandedKey[KeyWords];
};

namespace sigilbox_cipher {

using RC2Word = std::uint16_t;

// One mixing round over the four words with key words k[0..3].
SIGILBOX_BLOCK_INLINE void RC2Mix(RC2Word& r0, RC2Word& r1, RC2Word& r2, RC2Word& r3, const WORD* k)
{
    r0 = std::rotl(static_cast<RC2Word>(r0 + k[0] + (r3 & r2) + (~r3 & r1)), 1);
    r1 = std::rotl(static_cast<RC2Word>(r1 + k[1] + (r0 & r3) + (~r0 & r2)), 2);
    r2 = std::rotl(static_cast<RC2Word>(r2 + k[2] + (r1 & r0) + (~r1 & r3)), 3);
    r3 = std::rotl(static_cast<RC2Word>(r3 + k[3] + (r2 & r1) + (~r2 & r0)), 5);
}

SIGILBOX_BLOCK_INLINE void RC2Mash(RC2Word& r0, RC2Word& r1, RC2Word& r2, RC2Word& r3, const WORD* k)
{
    r0 = static_cast<RC2Word>(r0 + k[r3 & 63]);
    r1 = static_cast<RC2Word>(r1 + k[r0 & 63]);
    r2 = static_cast<RC2Word>(r2 + k[r1 & 63]);
    r3 = static_cast<RC2Word>(r3 + k[r2 & 63]);
}

// The inverse of RC2Mix with the same key words. The two selected words are subtracted
// apart: each depends on the word computed just before only through one AND, which keeps
// the dependency chain short.
SIGILBOX_BLOCK_INLINE void RC2UnMix(RC2Word& r0, RC2Word& r1, RC2Word& r2, RC2Word& r3, const WORD* k)
{
    r3 = static_cast<RC2Word>(std::rotr(r3, 5) - k[3] - (r2 & r1) - (~r2 & r0));
    r2 = static_cast<RC2Word>(std::rotr(r2, 3) - k[2] - (r1 & r0) - (~r1 & r3));
    r1 = static_cast<RC2Word>(std::rotr(r1, 2) - k[1] - (r0 & r3) - (~r0 & r2));
    r0 = static_cast<RC2Word>(std::rotr(r0, 1) - k[0] - (r3 & r2) - (~r3 & r1));
}

SIGILBOX_BLOCK_INLINE void RC2UnMash(RC2Word& r0, RC2Word& r1, RC2Word& r2, RC2Word& r3, const WORD* k)
{
    r3 = static_cast<RC2Word>(r3 - k[r2 & 63]);
    r2 = static_cast<RC2Word>(r2 - k[r1 & 63]);
    r1 = static_cast<RC2Word>(r1 - k[r0 & 63]);
    r0 = static_cast<RC2Word>(r0 - k[r3 & 63]);
}

}

SIGILBOX_BLOCK_INLINE void CRC2Algorithm::Encipher(const DWORD in[2], DWORD out[2]) const
{
    using namespace sigilbox_cipher;
    const WORD* k = m_ExpandedKey;
    DWORD a = ByteSwap32(in[0]);
    DWORD b = ByteSwap32(in[1]);
    RC2Word r0 = static_cast<RC2Word>(a), r1 = static_cast<RC2Word>(a >> 16);
    RC2Word r2 = static_cast<RC2Word>(b), r3 = static_cast<RC2Word>(b >> 16);

    // Five mixing rounds, a mash, six, a mash, five.
    for (int j = 0; j < 20; j += 4)
        RC2Mix(r0, r1, r2, r3, k + j);
    RC2Mash(r0, r1, r2, r3, k);
    for (int j = 20; j < 44; j += 4)
        RC2Mix(r0, r1, r2, r3, k + j);
    RC2Mash(r0, r1, r2, r3, k);
    for (int j = 44; j < 64; j += 4)
        RC2Mix(r0, r1, r2, r3, k + j);

    out[0] = ByteSwap32(static_cast<DWORD>(r0) | (static_cast<DWORD>(r1) << 16));
    out[1] = ByteSwap32(static_cast<DWORD>(r2) | (static_cast<DWORD>(r3) << 16));
}

SIGILBOX_BLOCK_INLINE void CRC2Algorithm::Decipher(const DWORD in[2], DWORD out[2]) const
{
    using namespace sigilbox_cipher;
    const WORD* k = m_ExpandedKey;
    DWORD a = ByteSwap32(in[0]);
    DWORD b = ByteSwap32(in[1]);
    RC2Word r0 = static_cast<RC2Word>(a), r1 = static_cast<RC2Word>(a >> 16);
    RC2Word r2 = static_cast<RC2Word>(b), r3 = static_cast<RC2Word>(b >> 16);

    for (int j = 60; j >= 44; j -= 4)
        RC2UnMix(r0, r1, r2, r3, k + j);
    RC2UnMash(r0, r1, r2, r3, k);
    for (int j = 40; j >= 20; j -= 4)
        RC2UnMix(r0, r1, r2, r3, k + j);
    RC2UnMash(r0, r1, r2, r3, k);
    for (int j = 16; j >= 0; j -= 4)
        RC2UnMix(r0, r1, r2, r3, k + j);

    out[0] = ByteSwap32(static_cast<DWORD>(r0) | (static_cast<DWORD>(r1) << 16));
    out[1] = ByteSwap32(static_cast<DWORD>(r2) | (static_cast<DWORD>(r3) << 16));
}

SIGILBOX_BLOCK_INLINE void CRC2Algorithm::Decipher2(const DWORD in[4], DWORD out[4]) const
{
    using namespace sigilbox_cipher;
    const WORD* k = m_ExpandedKey;
    DWORD a = ByteSwap32(in[0]), b = ByteSwap32(in[1]);
    DWORD c = ByteSwap32(in[2]), d = ByteSwap32(in[3]);
    RC2Word r0 = static_cast<RC2Word>(a), r1 = static_cast<RC2Word>(a >> 16);
    RC2Word r2 = static_cast<RC2Word>(b), r3 = static_cast<RC2Word>(b >> 16);
    RC2Word s0 = static_cast<RC2Word>(c), s1 = static_cast<RC2Word>(c >> 16);
    RC2Word s2 = static_cast<RC2Word>(d), s3 = static_cast<RC2Word>(d >> 16);

    for (int j = 60; j >= 44; j -= 4) {
        RC2UnMix(r0, r1, r2, r3, k + j);
        RC2UnMix(s0, s1, s2, s3, k + j);
    }
    RC2UnMash(r0, r1, r2, r3, k);
    RC2UnMash(s0, s1, s2, s3, k);
    for (int j = 40; j >= 20; j -= 4) {
        RC2UnMix(r0, r1, r2, r3, k + j);
        RC2UnMix(s0, s1, s2, s3, k + j);
    }
    RC2UnMash(r0, r1, r2, r3, k);
    RC2UnMash(s0, s1, s2, s3, k);
    for (int j = 16; j >= 0; j -= 4) {
        RC2UnMix(r0, r1, r2, r3, k + j);
        RC2UnMix(s0, s1, s2, s3, k + j);
    }

    out[0] = ByteSwap32(static_cast<DWORD>(r0) | (static_cast<DWORD>(r1) << 16));
    out[1] = ByteSwap32(static_cast<DWORD>(r2) | (static_cast<DWORD>(r3) << 16));
    out[2] = ByteSwap32(static_cast<DWORD>(s0) | (static_cast<DWORD>(s1) << 16));
    out[3] = ByteSwap32(static_cast<DWORD>(s2) | (static_cast<DWORD>(s3) << 16));
}
