// SHA-1 (FIPS 180-1), with the processor's SHA instructions when it has them.
#include "sigilbox/engines/digest.h"

#include <atomic>
#include <cstring>

namespace {

inline DWORD LoadBE32(const BYTE* p)
{
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (static_cast<DWORD>(p[2]) << 8) |
           static_cast<DWORD>(p[3]);
}

inline void StoreBE32(BYTE* p, DWORD v)
{
    p[0] = static_cast<BYTE>(v >> 24);
    p[1] = static_cast<BYTE>(v >> 16);
    p[2] = static_cast<BYTE>(v >> 8);
    p[3] = static_cast<BYTE>(v);
}

inline DWORD Rotl(DWORD v, int s) { return (v << s) | (v >> (32 - s)); }

// The schedule is kept as a ring of 16 words, extended as the rounds go.
#define SHA1_W(i) (w[(i) & 15] = Rotl(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i) & 15], 1))
#define SHA1_R0(v, x, y, z, u, i) u += ((x & (y ^ z)) ^ z) + w[i] + 0x5A827999 + Rotl(v, 5); x = Rotl(x, 30)
#define SHA1_R1(v, x, y, z, u, i) u += ((x & (y ^ z)) ^ z) + SHA1_W(i) + 0x5A827999 + Rotl(v, 5); x = Rotl(x, 30)
#define SHA1_R2(v, x, y, z, u, i) u += (x ^ y ^ z) + SHA1_W(i) + 0x6ED9EBA1 + Rotl(v, 5); x = Rotl(x, 30)
#define SHA1_R3(v, x, y, z, u, i) u += (((x | y) & z) | (x & y)) + SHA1_W(i) + 0x8F1BBCDC + Rotl(v, 5); x = Rotl(x, 30)
#define SHA1_R4(v, x, y, z, u, i) u += (x ^ y ^ z) + SHA1_W(i) + 0xCA62C1D6 + Rotl(v, 5); x = Rotl(x, 30)

std::atomic<sigilbox_digest::SHA1CompressFn> g_compress{nullptr};

sigilbox_digest::SHA1CompressFn ChooseCompress()
{
    sigilbox_digest::SHA1CompressFn fn = g_compress.load(std::memory_order_acquire);
    if (!fn) {
        fn = sigilbox_digest::SHA1CompressAccelerated();
        if (!fn)
            fn = sigilbox_digest::SHA1CompressPortable;
        g_compress.store(fn, std::memory_order_release);
    }
    return fn;
}

} // namespace

namespace sigilbox_digest {

void SHA1CompressPortable(DWORD state[5], const BYTE* blocks, size_t count)
{
    DWORD a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (; count > 0; --count, blocks += 64) {
        DWORD w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = LoadBE32(blocks + 4 * i);
        const DWORD a0 = a, b0 = b, c0 = c, d0 = d, e0 = e;

        SHA1_R0(a, b, c, d, e, 0); SHA1_R0(e, a, b, c, d, 1); SHA1_R0(d, e, a, b, c, 2); SHA1_R0(c, d, e, a, b, 3);
        SHA1_R0(b, c, d, e, a, 4); SHA1_R0(a, b, c, d, e, 5); SHA1_R0(e, a, b, c, d, 6); SHA1_R0(d, e, a, b, c, 7);
        SHA1_R0(c, d, e, a, b, 8); SHA1_R0(b, c, d, e, a, 9); SHA1_R0(a, b, c, d, e, 10); SHA1_R0(e, a, b, c, d, 11);
        SHA1_R0(d, e, a, b, c, 12); SHA1_R0(c, d, e, a, b, 13); SHA1_R0(b, c, d, e, a, 14); SHA1_R0(a, b, c, d, e, 15);
        SHA1_R1(e, a, b, c, d, 16); SHA1_R1(d, e, a, b, c, 17); SHA1_R1(c, d, e, a, b, 18); SHA1_R1(b, c, d, e, a, 19);

        SHA1_R2(a, b, c, d, e, 20); SHA1_R2(e, a, b, c, d, 21); SHA1_R2(d, e, a, b, c, 22); SHA1_R2(c, d, e, a, b, 23);
        SHA1_R2(b, c, d, e, a, 24); SHA1_R2(a, b, c, d, e, 25); SHA1_R2(e, a, b, c, d, 26); SHA1_R2(d, e, a, b, c, 27);
        SHA1_R2(c, d, e, a, b, 28); SHA1_R2(b, c, d, e, a, 29); SHA1_R2(a, b, c, d, e, 30); SHA1_R2(e, a, b, c, d, 31);
        SHA1_R2(d, e, a, b, c, 32); SHA1_R2(c, d, e, a, b, 33); SHA1_R2(b, c, d, e, a, 34); SHA1_R2(a, b, c, d, e, 35);
        SHA1_R2(e, a, b, c, d, 36); SHA1_R2(d, e, a, b, c, 37); SHA1_R2(c, d, e, a, b, 38); SHA1_R2(b, c, d, e, a, 39);

        SHA1_R3(a, b, c, d, e, 40); SHA1_R3(e, a, b, c, d, 41); SHA1_R3(d, e, a, b, c, 42); SHA1_R3(c, d, e, a, b, 43);
        SHA1_R3(b, c, d, e, a, 44); SHA1_R3(a, b, c, d, e, 45); SHA1_R3(e, a, b, c, d, 46); SHA1_R3(d, e, a, b, c, 47);
        SHA1_R3(c, d, e, a, b, 48); SHA1_R3(b, c, d, e, a, 49); SHA1_R3(a, b, c, d, e, 50); SHA1_R3(e, a, b, c, d, 51);
        SHA1_R3(d, e, a, b, c, 52); SHA1_R3(c, d, e, a, b, 53); SHA1_R3(b, c, d, e, a, 54); SHA1_R3(a, b, c, d, e, 55);
        SHA1_R3(e, a, b, c, d, 56); SHA1_R3(d, e, a, b, c, 57); SHA1_R3(c, d, e, a, b, 58); SHA1_R3(b, c, d, e, a, 59);

        SHA1_R4(a, b, c, d, e, 60); SHA1_R4(e, a, b, c, d, 61); SHA1_R4(d, e, a, b, c, 62); SHA1_R4(c, d, e, a, b, 63);
        SHA1_R4(b, c, d, e, a, 64); SHA1_R4(a, b, c, d, e, 65); SHA1_R4(e, a, b, c, d, 66); SHA1_R4(d, e, a, b, c, 67);
        SHA1_R4(c, d, e, a, b, 68); SHA1_R4(b, c, d, e, a, 69); SHA1_R4(a, b, c, d, e, 70); SHA1_R4(e, a, b, c, d, 71);
        SHA1_R4(d, e, a, b, c, 72); SHA1_R4(c, d, e, a, b, 73); SHA1_R4(b, c, d, e, a, 74); SHA1_R4(a, b, c, d, e, 75);
        SHA1_R4(e, a, b, c, d, 76); SHA1_R4(d, e, a, b, c, 77); SHA1_R4(c, d, e, a, b, 78); SHA1_R4(b, c, d, e, a, 79);

        a += a0;
        b += b0;
        c += c0;
        d += d0;
        e += e0;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
    state[4] = e;
}

} // namespace sigilbox_digest

CSHA1DigestMaker::CSHA1DigestMaker() : CDigestMaker(m_Block, 64)
{
    ResetContext();
}

CSHA1DigestMaker::CSHA1DigestMaker(const CSHA1DigestMaker& other) : CDigestMaker(m_Block, 64)
{
    *this = other;
}

CSHA1DigestMaker& CSHA1DigestMaker::operator=(const CSHA1DigestMaker& other)
{
    if (this != &other) {
        CopyBaseFrom(other);
        std::memcpy(m_State, other.m_State, sizeof m_State);
        std::memcpy(m_nBitCount, other.m_nBitCount, sizeof m_nBitCount);
    }
    return *this;
}

CSHA1DigestMaker::~CSHA1DigestMaker()
{
    volatile BYTE* p = m_Block;
    for (size_t i = 0; i < sizeof m_Block; ++i)
        p[i] = 0;
}

BOOL CSHA1DigestMaker::UsesProcessorInstructions()
{
    return ChooseCompress() != sigilbox_digest::SHA1CompressPortable;
}

void CSHA1DigestMaker::ResetContext()
{
    m_State[0] = 0x67452301;
    m_State[1] = 0xEFCDAB89;
    m_State[2] = 0x98BADCFE;
    m_State[3] = 0x10325476;
    m_State[4] = 0xC3D2E1F0;
    m_nBitCount[0] = m_nBitCount[1] = 0;
    m_nBuffered = 0;
    std::memset(m_Block, 0, sizeof m_Block);
}

void CSHA1DigestMaker::GetCurrentDigest(BYTE* digest) const
{
    for (int i = 0; i < 5; ++i)
        StoreBE32(digest + 4 * i, m_State[i]);
}

void CSHA1DigestMaker::UpdateDigest(const BYTE* block)
{
    ChooseCompress()(m_State, block, 1);
}

void CSHA1DigestMaker::UpdateDigestBlocks(const BYTE* blocks, size_t count)
{
    ChooseCompress()(m_State, blocks, count);
}

void CSHA1DigestMaker::UpdateTotalLength(int count)
{
    std::uint64_t bits = (static_cast<std::uint64_t>(m_nBitCount[1]) << 32) | m_nBitCount[0];
    bits += static_cast<std::uint64_t>(count) << 3;
    m_nBitCount[0] = static_cast<DWORD>(bits);
    m_nBitCount[1] = static_cast<DWORD>(bits >> 32);
}

void CSHA1DigestMaker::UpdateLastBytes()
{
    BYTE trailer[64 + 8] = {0x80};
    int used = m_nBuffered;
    int padding = (used < 56) ? 56 - used : 120 - used;
    StoreBE32(trailer + padding, m_nBitCount[1]);
    StoreBE32(trailer + padding + 4, m_nBitCount[0]);
    UpdateBlock(trailer, padding + 8, nullptr, 0, 0);
}
