#include "sigilbox/engines/idea.h"

#include <cstring>

using sigilbox_cipher::WipeKeyBytes;

namespace {

// Multiplicative inverse modulo 65537 (0 stands for 65536, its own inverse).
WORD MulInverse(WORD x)
{
    if (x <= 1)
        return x;
    long long t0 = 0, t1 = 1;
    long long r0 = 65537, r1 = x;
    while (r1 != 0) {
        long long q = r0 / r1;
        long long r = r0 - q * r1;
        r0 = r1;
        r1 = r;
        long long t = t0 - q * t1;
        t0 = t1;
        t1 = t;
    }
    if (t0 < 0)
        t0 += 65537;
    return static_cast<WORD>(t0 & 0xFFFF);
}

WORD Negate(WORD x)
{
    return static_cast<WORD>(0x10000 - x);
}

}

CIDEAAlgorithm::CIDEAAlgorithm(const CIDEAkey& key)
{
    // The 128-bit key, word 0 most significant, each word read little-endian from the key.
    std::uint64_t hi = 0, lo = 0;
    for (int i = 0; i < 4; ++i) {
        hi = (hi << 16) | static_cast<std::uint64_t>(key.m_Key[2 * i] | (key.m_Key[2 * i + 1] << 8));
        lo = (lo << 16) | static_cast<std::uint64_t>(key.m_Key[8 + 2 * i] | (key.m_Key[8 + 2 * i + 1] << 8));
    }
    // Eight subkeys from the key, then the key rotated left by 25 bits for the next eight.
    for (int i = 0; i < SubkeyCount; ++i) {
        int word = i % 8;
        std::uint64_t half = word < 4 ? hi : lo;
        m_EncryptionKeys[i] = static_cast<WORD>(half >> (48 - 16 * (word % 4)));
        if (word == 7) {
            std::uint64_t newHi = (hi << 25) | (lo >> 39);
            std::uint64_t newLo = (lo << 25) | (hi >> 39);
            hi = newHi;
            lo = newLo;
        }
    }
    hi = lo = 0;

    // Decryption subkeys: inverses in reverse round order; the additive keys of the inner
    // rounds change places because the middle words were exchanged.
    const WORD* z = m_EncryptionKeys;
    WORD* d = m_DecryptionKeys;
    for (int round = 0; round <= 8; ++round) {
        const WORD* k = z + 48 - 6 * round;   // the key group whose effect this round undoes
        bool outer = round == 0 || round == 8;
        d[6 * round] = MulInverse(k[0]);
        d[6 * round + 1] = Negate(outer ? k[1] : k[2]);
        d[6 * round + 2] = Negate(outer ? k[2] : k[1]);
        d[6 * round + 3] = MulInverse(k[3]);
        if (round < 8) {
            d[6 * round + 4] = z[46 - 6 * round];
            d[6 * round + 5] = z[47 - 6 * round];
        }
    }
}

CIDEAAlgorithm::CIDEAAlgorithm(const CIDEAAlgorithm& other)
{
    std::memcpy(m_EncryptionKeys, other.m_EncryptionKeys, sizeof m_EncryptionKeys);
    std::memcpy(m_DecryptionKeys, other.m_DecryptionKeys, sizeof m_DecryptionKeys);
}

CIDEAAlgorithm& CIDEAAlgorithm::operator=(const CIDEAAlgorithm& other)
{
    std::memmove(m_EncryptionKeys, other.m_EncryptionKeys, sizeof m_EncryptionKeys);
    std::memmove(m_DecryptionKeys, other.m_DecryptionKeys, sizeof m_DecryptionKeys);
    return *this;
}

CIDEAAlgorithm::~CIDEAAlgorithm()
{
    WipeKeyBytes(m_EncryptionKeys, sizeof m_EncryptionKeys);
    WipeKeyBytes(m_DecryptionKeys, sizeof m_DecryptionKeys);
}

void CIDEAAlgorithm::EncipherAlgorithm(const DWORD in[2], DWORD out[2])
{
    CIDEAAlgorithm::Encipher(in, out);
}

void CIDEAAlgorithm::DecipherAlgorithm(const DWORD in[2], DWORD out[2])
{
    CIDEAAlgorithm::Decipher(in, out);
}
