// DES and three-key Triple-DES (encrypt-decrypt-encrypt) on one 64-bit block.
//
// A block is two 32-bit words: word 0 holds block bytes 0-3 and word 1 bytes 4-7, each
// big-endian. The key schedule reads key bytes most significant bit first; the least
// significant bit of each byte (parity) is not used.
//
// The round function works on halves kept rotated left by one bit, so that every S-box
// input is six adjacent bits, and on combined S-box/permutation tables; the subkeys are
// stored in the matching form, two words per round.
#pragma once

#include "framework/types.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/sigilbox_export.h"

#include <array>
#include <bit>

namespace sigilbox_cipher {

// The eight S-boxes each followed by the P permutation (and the one-bit rotation of the
// halves), indexed by the box's six input bits.
extern SIGILBOX_API const std::array<std::array<DWORD, 64>, 8> DESSPTable;

constexpr int DESRounds = 16;

// Sixteen rounds, two words each, in the order they are applied.
struct SIGILBOX_API DESSchedule {
    DWORD k[DESRounds * 2];
};

// Initial permutation, leaving both halves rotated left by one bit.
SIGILBOX_BLOCK_INLINE void DESInitialPermutation(DWORD& left, DWORD& right)
{
    DWORD work = ((left >> 4) ^ right) & 0x0F0F0F0Fu;
    right ^= work;
    left ^= work << 4;
    work = ((left >> 16) ^ right) & 0x0000FFFFu;
    right ^= work;
    left ^= work << 16;
    work = ((right >> 2) ^ left) & 0x33333333u;
    left ^= work;
    right ^= work << 2;
    work = ((right >> 8) ^ left) & 0x00FF00FFu;
    left ^= work;
    right ^= work << 8;
    right = std::rotl(right, 1);
    work = (left ^ right) & 0xAAAAAAAAu;
    left ^= work;
    right ^= work;
    left = std::rotl(left, 1);
}

// Inverse of the above; takes the pre-output halves (R16, L16).
SIGILBOX_BLOCK_INLINE void DESFinalPermutation(DWORD& left, DWORD& right)
{
    left = std::rotr(left, 1);
    DWORD work = (left ^ right) & 0xAAAAAAAAu;
    left ^= work;
    right ^= work;
    right = std::rotr(right, 1);
    work = ((right >> 8) ^ left) & 0x00FF00FFu;
    left ^= work;
    right ^= work << 8;
    work = ((right >> 2) ^ left) & 0x33333333u;
    left ^= work;
    right ^= work << 2;
    work = ((left >> 16) ^ right) & 0x0000FFFFu;
    right ^= work;
    left ^= work << 16;
    work = ((left >> 4) ^ right) & 0x0F0F0F0Fu;
    right ^= work;
    left ^= work << 4;
}

// The cipher function f of one round applied to `half`, with the round's two key words.
SIGILBOX_BLOCK_INLINE DWORD DESF(DWORD half, const DWORD* key)
{
    const auto& sp = DESSPTable;
    DWORD work = std::rotr(half, 4) ^ key[0];
    DWORD f = sp[6][work & 0x3F] | sp[4][(work >> 8) & 0x3F] | sp[2][(work >> 16) & 0x3F] | sp[0][(work >> 24) & 0x3F];
    work = half ^ key[1];
    f |= sp[7][work & 0x3F] | sp[5][(work >> 8) & 0x3F] | sp[3][(work >> 16) & 0x3F] | sp[1][(work >> 24) & 0x3F];
    return f;
}

// The sixteen rounds between the permutations. On return `left` holds L16 and `right` R16.
SIGILBOX_BLOCK_INLINE void DESRoundsOnly(DWORD& left, DWORD& right, const DESSchedule& schedule)
{
    const DWORD* k = schedule.k;
    for (int i = 0; i < DESRounds; i += 2, k += 4) {
        left ^= DESF(right, k);
        right ^= DESF(left, k + 2);
    }
}

// One whole DES operation with the given schedule (encryption or decryption).
SIGILBOX_BLOCK_INLINE void DESBlock(const DWORD in[2], DWORD out[2], const DESSchedule& schedule)
{
    DWORD left = in[0], right = in[1];
    DESInitialPermutation(left, right);
    DESRoundsOnly(left, right, schedule);
    DESFinalPermutation(right, left);
    out[0] = right;
    out[1] = left;
}

}

class SIGILBOX_API CDESAlgorithm {
public:
    explicit CDESAlgorithm(const CDESkey& key);
    CDESAlgorithm(const CDESAlgorithm& other);
    CDESAlgorithm& operator=(const CDESAlgorithm& other);
    virtual ~CDESAlgorithm();

    virtual void EncipherAlgorithm(const DWORD in[2], DWORD out[2]);
    virtual void DecipherAlgorithm(const DWORD in[2], DWORD out[2]);

    // The block operations without a virtual call, for loops over many blocks.
    SIGILBOX_BLOCK_INLINE void Encipher(const DWORD in[2], DWORD out[2]) const { sigilbox_cipher::DESBlock(in, out, m_EncryptionSchedule); }
    SIGILBOX_BLOCK_INLINE void Decipher(const DWORD in[2], DWORD out[2]) const { sigilbox_cipher::DESBlock(in, out, m_DecryptionSchedule); }

protected:
    CDESAlgorithm();
    // Builds the encryption schedule of 8 key bytes.
    static void GenerateKeySchedule(sigilbox_cipher::DESSchedule& schedule, const BYTE* key);
    // The same rounds in reverse order.
    static void ReverseSchedule(sigilbox_cipher::DESSchedule& reversed, const sigilbox_cipher::DESSchedule& schedule);
    static void DES_PERMUTE(const DWORD in[2], DWORD out[2], const sigilbox_cipher::DESSchedule& schedule)
    {
        sigilbox_cipher::DESBlock(in, out, schedule);
    }

    sigilbox_cipher::DESSchedule m_EncryptionSchedule;
    sigilbox_cipher::DESSchedule m_DecryptionSchedule;
};

// Encipher: E(K1), D(K2), E(K3). Decipher: D(K3), E(K2), D(K1). The permutations between
// the three stages cancel, so they are done once around all 48 rounds.
class SIGILBOX_API CTripleDESAlgorithm : public CDESAlgorithm {
public:
    explicit CTripleDESAlgorithm(const CTripleDESkey& key);
    CTripleDESAlgorithm(const CTripleDESAlgorithm& other);
    CTripleDESAlgorithm& operator=(const CTripleDESAlgorithm& other);
    ~CTripleDESAlgorithm() override;

    void EncipherAlgorithm(const DWORD in[2], DWORD out[2]) override;
    void DecipherAlgorithm(const DWORD in[2], DWORD out[2]) override;

    SIGILBOX_BLOCK_INLINE void Encipher(const DWORD in[2], DWORD out[2]) const
    {
        Run(in, out, m_EncryptionSchedule, m_DecryptionSchedule2, m_EncryptionSchedule3);
    }
    SIGILBOX_BLOCK_INLINE void Decipher(const DWORD in[2], DWORD out[2]) const
    {
        Run(in, out, m_DecryptionSchedule3, m_EncryptionSchedule2, m_DecryptionSchedule);
    }

protected:
    SIGILBOX_BLOCK_INLINE static void Run(const DWORD in[2], DWORD out[2], const sigilbox_cipher::DESSchedule& a,
                    const sigilbox_cipher::DESSchedule& b, const sigilbox_cipher::DESSchedule& c)
    {
        using namespace sigilbox_cipher;
        DWORD left = in[0], right = in[1];
        DESInitialPermutation(left, right);
        DESRoundsOnly(left, right, a);
        // Each stage's output halves are swapped before the next stage's rounds.
        DESRoundsOnly(right, left, b);
        DESRoundsOnly(left, right, c);
        DESFinalPermutation(right, left);
        out[0] = right;
        out[1] = left;
    }

    // K1's pair is the base class's.
    sigilbox_cipher::DESSchedule m_EncryptionSchedule2;
    sigilbox_cipher::DESSchedule m_DecryptionSchedule2;
    sigilbox_cipher::DESSchedule m_EncryptionSchedule3;
    sigilbox_cipher::DESSchedule m_DecryptionSchedule3;
};
