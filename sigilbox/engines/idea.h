// IDEA on one 64-bit block, with this library's own word mapping (data locked by the
// library are only readable with it):
//   key: word i = key byte 2i + 256 × key byte 2i+1 (little-endian words);
//   block: X1 = bytes 2-3, X2 = bytes 0-1, X3 = bytes 6-7, X4 = bytes 4-5, each pair
//   big-endian; the results go back to the same positions.
// At the block interface (bytes 0-3 and 4-7 as big-endian words) X1 and X3 are the low
// halves of the two words and X2 and X4 the high halves.
#pragma once

#include "framework/types.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/sigilbox_export.h"

#include <cstdint>

class SIGILBOX_API CIDEAAlgorithm {
public:
    static constexpr int SubkeyCount = 52;

    explicit CIDEAAlgorithm(const CIDEAkey& key);
    CIDEAAlgorithm(const CIDEAAlgorithm& other);
    CIDEAAlgorithm& operator=(const CIDEAAlgorithm& other);
    virtual ~CIDEAAlgorithm();

    virtual void EncipherAlgorithm(const DWORD in[2], DWORD out[2]);
    virtual void DecipherAlgorithm(const DWORD in[2], DWORD out[2]);

    SIGILBOX_BLOCK_INLINE void Encipher(const DWORD in[2], DWORD out[2]) const { TRANSFORMATION(in, out, m_EncryptionKeys); }
    SIGILBOX_BLOCK_INLINE void Decipher(const DWORD in[2], DWORD out[2]) const { TRANSFORMATION(in, out, m_DecryptionKeys); }

protected:
    WORD m_EncryptionKeys[SubkeyCount];
    WORD m_DecryptionKeys[SubkeyCount];

private:
    // Multiplication modulo 65537, with 0 standing for 65536.
    SIGILBOX_BLOCK_INLINE static DWORD Mul(DWORD a, DWORD b)
    {
        if (a == 0)
            return (1 - b) & 0xFFFF;
        if (b == 0)
            return (1 - a) & 0xFFFF;
        DWORD p = a * b;
        DWORD lo = p & 0xFFFF, hi = p >> 16;
        return (lo - hi + (lo < hi ? 1u : 0u)) & 0xFFFF;
    }

    // Eight rounds and the output transformation, for both directions.
    SIGILBOX_BLOCK_INLINE static void TRANSFORMATION(const DWORD in[2], DWORD out[2], const WORD* z)
    {
        DWORD x1 = in[0] & 0xFFFF, x2 = in[0] >> 16;
        DWORD x3 = in[1] & 0xFFFF, x4 = in[1] >> 16;
        for (int round = 0; round < 8; ++round, z += 6) {
            DWORD a = Mul(x1, z[0]);
            DWORD b = (x2 + z[1]) & 0xFFFF;
            DWORD c = (x3 + z[2]) & 0xFFFF;
            DWORD d = Mul(x4, z[3]);
            DWORD e = Mul(a ^ c, z[4]);
            DWORD f = Mul((e + (b ^ d)) & 0xFFFF, z[5]);
            e = (e + f) & 0xFFFF;
            x1 = a ^ f;
            x4 = d ^ e;
            x2 = c ^ f;   // the middle words change places
            x3 = b ^ e;
        }
        // The output transformation undoes the last exchange.
        DWORD y1 = Mul(x1, z[0]);
        DWORD y2 = (x3 + z[1]) & 0xFFFF;
        DWORD y3 = (x2 + z[2]) & 0xFFFF;
        DWORD y4 = Mul(x4, z[3]);
        out[0] = y1 | (y2 << 16);
        out[1] = y3 | (y4 << 16);
    }
};
