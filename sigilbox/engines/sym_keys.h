// Symmetric keys of the library's four 64-bit block ciphers: key bytes and an 8-byte IV,
// random generation and storage in archives. The algorithms that use them are in des.h,
// idea.h and rc2.h.
#pragma once

#include "framework/archive.h"
#include "framework/object.h"
#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

#include <bit>
#include <cstddef>
#include <cstring>

// The block steps of the ciphers are small enough to inline into the processors' loops,
// but too big for the compiler's default judgement; a call per block costs more than the
// work around it.
#if defined(__GNUC__) || defined(__clang__)
#define SIGILBOX_BLOCK_INLINE inline __attribute__((always_inline))
#else
#define SIGILBOX_BLOCK_INLINE inline
#endif

namespace sigilbox_cipher {
// Clears key material so that it does not outlive its owner in freed memory.
inline void WipeKeyBytes(void* p, std::size_t n)
{
    volatile BYTE* v = static_cast<volatile BYTE*>(p);
    while (n--)
        *v++ = 0;
}

// Compilers turn this into one byte-swap instruction.
constexpr DWORD ByteSwap32(DWORD x)
{
    return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) | (x << 24);
}

// Four bytes as a big-endian word and back, as single loads and stores.
SIGILBOX_BLOCK_INLINE DWORD LoadBigEndian32(const BYTE* p)
{
    DWORD v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::little)
        v = ByteSwap32(v);
    return v;
}

SIGILBOX_BLOCK_INLINE void StoreBigEndian32(BYTE* p, DWORD v)
{
    if constexpr (std::endian::native == std::endian::little)
        v = ByteSwap32(v);
    std::memcpy(p, &v, 4);
}
}

// Sets the most significant bit of each byte so that the byte has odd parity.
SIGILBOX_API void AdjustDESKeyParity(BYTE* key, int count);
// Nonzero when every byte has an odd number of 1 bits.
SIGILBOX_API int IsDESKeyParityOK(const BYTE* key, int count);

class SIGILBOX_API CKey : public CObject {
    DECLARE_DYNCREATE(CKey)
public:
    static constexpr int IVSize = 8;

    CKey();
    CKey(const CKey& other);
    CKey& operator=(const CKey& other);
    ~CKey() override;

    // The initialisation vector of the CBC and CFB modes.
    BYTE m_IV[IVSize];
};

class SIGILBOX_API CDESkey : public CKey {
    DECLARE_SERIAL(CDESkey)
public:
    static constexpr int KeySize = 8;

    // A random key with odd parity and a random IV.
    CDESkey();
    // The same, with the generator seeded (and stirred again before the IV) from seed.
    CDESkey(const BYTE* seed, WORD length);
    CDESkey(const CDESkey& other);
    CDESkey& operator=(const CDESkey& other);
    ~CDESkey() override;

    void Serialize(CArchive& ar) override;

    BYTE m_Key[KeySize];
};

class SIGILBOX_API CTripleDESkey : public CKey {
    DECLARE_SERIAL(CTripleDESkey)
public:
    static constexpr int KeySize = 24;   // K1, K2, K3

    CTripleDESkey();
    CTripleDESkey(const BYTE* seed, WORD length);
    CTripleDESkey(const CTripleDESkey& other);
    CTripleDESkey& operator=(const CTripleDESkey& other);
    ~CTripleDESkey() override;

    void Serialize(CArchive& ar) override;

    BYTE m_Key[KeySize];
};

class SIGILBOX_API CIDEAkey : public CKey {
    DECLARE_SERIAL(CIDEAkey)
public:
    static constexpr int KeySize = 16;

    CIDEAkey();
    CIDEAkey(const BYTE* seed, WORD length);
    CIDEAkey(const CIDEAkey& other);
    CIDEAkey& operator=(const CIDEAkey& other);
    ~CIDEAkey() override;

    void Serialize(CArchive& ar) override;

    BYTE m_Key[KeySize];
};

class SIGILBOX_API CRC2key : public CKey {
    DECLARE_SERIAL(CRC2key)
public:
    static constexpr int KeySize = 128;
    // The stored form keeps this many key bytes.
    static constexpr int StoredKeyBytes = 16;

    // 128 random key bytes of which the first 5 are in use, 40 effective bits.
    CRC2key();
    CRC2key(const BYTE* seed, WORD length);
    CRC2key(const CRC2key& other);
    CRC2key& operator=(const CRC2key& other);
    ~CRC2key() override;

    void Serialize(CArchive& ar) override;

    // Nonzero when 0 < bits < 8 × m_nKeyLength.
    int AreValidEffectiveBits(WORD bits) const;

    BYTE m_Key[KeySize];
    BYTE m_nKeyLength;        // key bytes in use, 1 to 128
    WORD m_nEffectiveBits;    // 1 to 1024
};
