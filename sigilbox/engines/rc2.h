// RC2 on one 64-bit block, with the published permutation table and the standard byte
// order: the four 16-bit words of a block are little-endian within its 8 bytes.
//
// At the block interface a block is two 32-bit words (bytes 0-3 and 4-7, big-endian), so
// one byte swap of each word gives two of the cipher's words.
#pragma once

#include "framework/types.h"
#include "sigilbox/engines/sym_keys.h"

#include <bit>
#include <cstdint>

class CRC2Algorithm {
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
    inline void Encipher(const DWORD in[2], DWORD out[2]) const;
    inline void Decipher(const DWORD in[2], DWORD out[2]) const;

    // The published 256-byte permutation of the key expansion.
    static const BYTE PermutationTable[256];

protected:
    WORD m_ExpandedKey[KeyWords];
};

inline void CRC2Algorithm::Encipher(const DWORD in[2], DWORD out[2]) const
{
    using u16 = std::uint16_t;
    const WORD* k = m_ExpandedKey;
    DWORD a = sigilbox_cipher::ByteSwap32(in[0]);
    DWORD b = sigilbox_cipher::ByteSwap32(in[1]);
    u16 r0 = static_cast<u16>(a), r1 = static_cast<u16>(a >> 16);
    u16 r2 = static_cast<u16>(b), r3 = static_cast<u16>(b >> 16);

    auto mix = [&](int j) {
        r0 = std::rotl(static_cast<u16>(r0 + k[j] + (r3 & r2) + (~r3 & r1)), 1);
        r1 = std::rotl(static_cast<u16>(r1 + k[j + 1] + (r0 & r3) + (~r0 & r2)), 2);
        r2 = std::rotl(static_cast<u16>(r2 + k[j + 2] + (r1 & r0) + (~r1 & r3)), 3);
        r3 = std::rotl(static_cast<u16>(r3 + k[j + 3] + (r2 & r1) + (~r2 & r0)), 5);
    };
    auto mash = [&] {
        r0 = static_cast<u16>(r0 + k[r3 & 63]);
        r1 = static_cast<u16>(r1 + k[r0 & 63]);
        r2 = static_cast<u16>(r2 + k[r1 & 63]);
        r3 = static_cast<u16>(r3 + k[r2 & 63]);
    };
    mix(0); mix(4); mix(8); mix(12); mix(16);
    mash();
    mix(20); mix(24); mix(28); mix(32); mix(36); mix(40);
    mash();
    mix(44); mix(48); mix(52); mix(56); mix(60);

    out[0] = sigilbox_cipher::ByteSwap32(static_cast<DWORD>(r0) | (static_cast<DWORD>(r1) << 16));
    out[1] = sigilbox_cipher::ByteSwap32(static_cast<DWORD>(r2) | (static_cast<DWORD>(r3) << 16));
}

inline void CRC2Algorithm::Decipher(const DWORD in[2], DWORD out[2]) const
{
    using u16 = std::uint16_t;
    const WORD* k = m_ExpandedKey;
    DWORD a = sigilbox_cipher::ByteSwap32(in[0]);
    DWORD b = sigilbox_cipher::ByteSwap32(in[1]);
    u16 r0 = static_cast<u16>(a), r1 = static_cast<u16>(a >> 16);
    u16 r2 = static_cast<u16>(b), r3 = static_cast<u16>(b >> 16);

    // The subtractions of the two selected words are kept apart: each depends on the word
    // computed just before only through one AND, which keeps the dependency chain short.
    auto rmix = [&](int j) {
        r3 = static_cast<u16>(std::rotr(r3, 5) - k[j + 3] - (r2 & r1) - (~r2 & r0));
        r2 = static_cast<u16>(std::rotr(r2, 3) - k[j + 2] - (r1 & r0) - (~r1 & r3));
        r1 = static_cast<u16>(std::rotr(r1, 2) - k[j + 1] - (r0 & r3) - (~r0 & r2));
        r0 = static_cast<u16>(std::rotr(r0, 1) - k[j] - (r3 & r2) - (~r3 & r1));
    };
    auto rmash = [&] {
        r3 = static_cast<u16>(r3 - k[r2 & 63]);
        r2 = static_cast<u16>(r2 - k[r1 & 63]);
        r1 = static_cast<u16>(r1 - k[r0 & 63]);
        r0 = static_cast<u16>(r0 - k[r3 & 63]);
    };
    rmix(60); rmix(56); rmix(52); rmix(48); rmix(44);
    rmash();
    rmix(40); rmix(36); rmix(32); rmix(28); rmix(24); rmix(20);
    rmash();
    rmix(16); rmix(12); rmix(8); rmix(4); rmix(0);

    out[0] = sigilbox_cipher::ByteSwap32(static_cast<DWORD>(r0) | (static_cast<DWORD>(r1) << 16));
    out[1] = sigilbox_cipher::ByteSwap32(static_cast<DWORD>(r2) | (static_cast<DWORD>(r3) << 16));
}
