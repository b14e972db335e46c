// SHA-1 compression with the x86 SHA extensions, used only when the processor reports them.
#include "sigilbox/engines/digest.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QM_HAVE_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

#ifdef QM_HAVE_SHA_NI

namespace {

// One group of four rounds. Besides the rounds it advances the message schedule, which keeps
// four groups of message words in flight: it finishes the next group (msg2), adds the
// current one into the group after (xor) and starts the one after that (msg1), as long as
// those groups are still needed (the last is group 19).
#define SHA1_GROUP(g, eCur, eNext, cur, next, prev, prev2)            \
    eCur = _mm_sha1nexte_epu32(eCur, cur);                            \
    eNext = abcd;                                                     \
    if ((g) <= 18)                                                    \
        next = _mm_sha1msg2_epu32(next, cur);                         \
    abcd = _mm_sha1rnds4_epu32(abcd, eCur, (g) / 5);                  \
    if ((g) <= 16)                                                    \
        prev = _mm_sha1msg1_epu32(prev, cur);                         \
    if ((g) <= 17)                                                    \
        prev2 = _mm_xor_si128(prev2, cur)

__attribute__((target("sha,sse4.1,ssse3"))) void SHA1CompressNI(DWORD state[5], const BYTE* data, size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    __m128i e1;
    __m128i m0, m1, m2, m3;

    for (; count > 0; --count, data += 64) {
        const __m128i abcdSaved = abcd;
        const __m128i eSaved = e0;

        m0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), byteSwap);
        e0 = _mm_add_epi32(e0, m0);
        e1 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);

        m1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16)), byteSwap);
        e1 = _mm_sha1nexte_epu32(e1, m1);
        e0 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e1, 0);
        m0 = _mm_sha1msg1_epu32(m0, m1);

        m2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 32)), byteSwap);
        e0 = _mm_sha1nexte_epu32(e0, m2);
        e1 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
        m1 = _mm_sha1msg1_epu32(m1, m2);
        m0 = _mm_xor_si128(m0, m2);

        m3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 48)), byteSwap);
        SHA1_GROUP(3, e1, e0, m3, m0, m2, m1);
        SHA1_GROUP(4, e0, e1, m0, m1, m3, m2);
        SHA1_GROUP(5, e1, e0, m1, m2, m0, m3);
        SHA1_GROUP(6, e0, e1, m2, m3, m1, m0);
        SHA1_GROUP(7, e1, e0, m3, m0, m2, m1);
        SHA1_GROUP(8, e0, e1, m0, m1, m3, m2);
        SHA1_GROUP(9, e1, e0, m1, m2, m0, m3);
        SHA1_GROUP(10, e0, e1, m2, m3, m1, m0);
        SHA1_GROUP(11, e1, e0, m3, m0, m2, m1);
        SHA1_GROUP(12, e0, e1, m0, m1, m3, m2);
        SHA1_GROUP(13, e1, e0, m1, m2, m0, m3);
        SHA1_GROUP(14, e0, e1, m2, m3, m1, m0);
        SHA1_GROUP(15, e1, e0, m3, m0, m2, m1);
        SHA1_GROUP(16, e0, e1, m0, m1, m3, m2);
        SHA1_GROUP(17, e1, e0, m1, m2, m0, m3);
        SHA1_GROUP(18, e0, e1, m2, m3, m1, m0);
        SHA1_GROUP(19, e1, e0, m3, m0, m2, m1);

        e0 = _mm_sha1nexte_epu32(e0, eSaved);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<DWORD>(_mm_extract_epi32(e0, 3));
}

bool ProcessorHasSHA()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = (c & (1u << 9)) != 0;
    const bool sse41 = (c & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    const bool sha = (b & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

} // namespace

sigilbox_digest::SHA1CompressFn sigilbox_digest::SHA1CompressAccelerated()
{
    static const bool has = ProcessorHasSHA();
    return has ? SHA1CompressNI : nullptr;
}

#else

sigilbox_digest::SHA1CompressFn sigilbox_digest::SHA1CompressAccelerated()
{
    return nullptr;
}

#endif
