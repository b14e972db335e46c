// Key-pair generation: the shape of the generated numbers, the start of the prime search
// over its whole interval, the prime search's bounds and failures, TestKeys, the progress
// messages and cancellation.
#include "rsa_test_util.h"
#include "tests/sigilbox/kill_request.h"

#include "framework/thread.h"
#include "framework/window.h"
#include "sigilbox/engines/progress.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

using namespace rsatest;

namespace {

// Opens the prime search to the tests.
struct PrimeSearch : CRSAKeyPair {
    using CRSAKeyPair::PrimeNumber;
};

struct Numbers {
    CHugeDigit n, e, d, p, q, e1, e2, c;
    explicit Numbers(const CRSAPrivateKey& k)
        : n(Number(k.m_Modulus, 256)), e(Number(k.m_PublicExponent, 256)), d(Number(k.m_PrivateExponent, 256)),
          p(Number(k.m_Prime1, 128)), q(Number(k.m_Prime2, 128)), e1(Number(k.m_Exponent1, 128)),
          e2(Number(k.m_Exponent2, 128)), c(Number(k.m_Coefficient, 128))
    {
    }
};

CHugeDigit Pow2(int bit)
{
    CHugeDigit x(static_cast<unsigned short>(bit / 32 + 1), 0ul);
    x.Assign2Exp(static_cast<unsigned short>(bit));
    return x;
}

// Every component agrees with the others; the primes have their top two bits set.
void ExpectConsistent(const CRSAPrivateKey& key, int bits, unsigned long e)
{
    const Numbers k(key);
    const CHugeDigit one(1ul);
    const int a = (bits + 1) / 2;
    const int b = bits - a;
    EXPECT_EQ(key.m_nModulusBits, bits);
    EXPECT_EQ(k.n.Bits(), bits);
    EXPECT_EQ(k.p.Bits(), a);
    EXPECT_EQ(k.q.Bits(), b);
    EXPECT_TRUE(k.p >= Pow2(a - 1) + Pow2(a - 2));
    EXPECT_TRUE(k.q >= Pow2(b - 1) + Pow2(b - 2));
    EXPECT_TRUE(k.p > k.q);
    EXPECT_TRUE(k.n == k.p * k.q);
    EXPECT_TRUE(k.e == CHugeDigit(e));
    EXPECT_TRUE(k.p.IsProbablePrime());
    EXPECT_TRUE(k.q.IsProbablePrime());
    const CHugeDigit pm1 = k.p - one;
    const CHugeDigit qm1 = k.q - one;
    EXPECT_TRUE(MulMod(k.d, k.e, pm1 * qm1) == one);
    EXPECT_TRUE(k.e1 == k.d % pm1);
    EXPECT_TRUE(k.e2 == k.d % qm1);
    EXPECT_TRUE(MulMod(k.c, k.q, k.p) == one);
}

// Primality of a small number by trial division.
bool IsPrime(unsigned long long x)
{
    if (x < 2)
        return false;
    for (unsigned long long f = 2; f * f <= x; ++f)
        if (x % f == 0)
            return false;
    return true;
}

unsigned long long Value(const CHugeDigit& x)
{
    unsigned long long v = x.m_Digits[0];
    if (x.m_nLength > 1)
        v |= static_cast<unsigned long long>(x.m_Digits[1]) << 32;
    return v;
}

TEST(RSAKeyPair, GeneratedNumbersAreConsistent)
{
    ExpectConsistent(SharedKey(512), 512, 65537);
    CRSAKeyPair k508(508, 1, nullptr, 0, nullptr);
    ExpectConsistent(k508, 508, 65537);
    EXPECT_EQ(k508.LockedDataSize(), 64);
    CRSAKeyPair k513(513, 1, reinterpret_cast<const BYTE*>("seed"), 4, nullptr);
    ExpectConsistent(k513, 513, 65537);  // primes of 257 and 256 bits
    ExpectConsistent(SharedKey(1024), 1024, 65537);
}

TEST(RSAKeyPair, SmallExponentKeepsBothPrimesFreeOfThree)
{
    const CRSAPrivateKey& key = SharedKey(512, 0);
    ExpectConsistent(key, 512, 3);
    const Numbers k(key);
    const CHugeDigit three(3ul);
    EXPECT_FALSE(((k.p - CHugeDigit(1ul)) % three).Zero());
    EXPECT_FALSE(((k.q - CHugeDigit(1ul)) % three).Zero());
    CRSAKeyPair copy(key);
    EXPECT_EQ(copy.TestKeys(3, nullptr, 1), 0);
}

// The search starts anywhere in the interval: the primes lie far apart and far from the
// lower bound (a start value limited to 256 bits would put both within 2^256 of it, where
// Fermat's method factors the modulus at once).
TEST(RSAKeyPair, PrimesSpreadOverTheWholeInterval)
{
    const Numbers k(SharedKey(1024));
    const CHugeDigit low = Pow2(511) + Pow2(510);
    EXPECT_GT((k.p - low).Bits(), 300);
    EXPECT_GT((k.q - low).Bits(), 300);
    EXPECT_GT((k.p - k.q).Bits(), 300);

    const CHugeDigit low600 = Pow2(599) + Pow2(598);
    const CHugeDigit high600 = Pow2(600) - CHugeDigit(1ul);
    for (int i = 0; i < 2; ++i) {
        const CHugeDigit p = PrimeSearch::PrimeNumber(low600, high600, CHugeDigit(2ul), nullptr, 0, nullptr);
        EXPECT_TRUE(p >= low600 && p <= high600);
        EXPECT_GT((p - low600).Bits(), 400);
    }
}

TEST(RSAKeyPair, PrimeSearchStaysInItsBounds)
{
    struct Case {
        unsigned long long low, high, step;
    };
    // Below and above the sieve's largest prime, and beyond one word.
    for (const Case c : {Case{1000, 2000, 2}, Case{100000, 200000, 6}, Case{1ull << 40, (1ull << 41) - 1, 2}}) {
        CHugeDigit low(2, 0ul), high(2, 0ul);
        low.m_Digits[0] = static_cast<DWORD>(c.low);
        low.m_Digits[1] = static_cast<DWORD>(c.low >> 32);
        high.m_Digits[0] = static_cast<DWORD>(c.high);
        high.m_Digits[1] = static_cast<DWORD>(c.high >> 32);
        low.DoCompact();
        high.DoCompact();
        for (int i = 0; i < 20; ++i) {
            const unsigned long long p =
                Value(PrimeSearch::PrimeNumber(low, high, CHugeDigit(static_cast<unsigned long>(c.step)), nullptr, 0, nullptr));
            EXPECT_GE(p, c.low);
            EXPECT_LE(p, c.high);
            EXPECT_EQ(p % c.step, 1u);
            EXPECT_TRUE(IsPrime(p)) << p;
        }
    }
}

TEST(RSAKeyPair, PrimeSearchRefusesBadBoundsAndReportsAnEmptySearch)
{
    const char kFatal[] = "CRSAKeyPair::PrimeNumber - UNEXPECTED FATAL exception - something is wrong in internal data";
    const CHugeDigit two(2ul);
    EXPECT_EQ(UnlockReason([&] { PrimeSearch::PrimeNumber(CHugeDigit(1000ul), CHugeDigit(1000ul), two, nullptr, 0, nullptr); }),
              kFatal);
    EXPECT_EQ(UnlockReason([&] { PrimeSearch::PrimeNumber(CHugeDigit(1001ul), CHugeDigit(1000ul), two, nullptr, 0, nullptr); }),
              kFatal);
    EXPECT_EQ(UnlockReason([&] { PrimeSearch::PrimeNumber(CHugeDigit(1000ul), CHugeDigit(1002ul), two, nullptr, 0, nullptr); }),
              kFatal);

    // 25 and 27 only: no prime to find.
    EXPECT_EQ(UnlockReason([&] { PrimeSearch::PrimeNumber(CHugeDigit(24ul), CHugeDigit(28ul), two, nullptr, 0, nullptr); }),
              "CRSAKeyPair::PrimeNumber - prime number search failed");
    // The small primes themselves count as having a small factor.
    CProgress silent;  // no window: the messages are lost
    EXPECT_EQ(UnlockReason([&] { PrimeSearch::PrimeNumber(CHugeDigit(3ul), CHugeDigit(47ul), two, nullptr, 0, &silent); }),
              "CRSAKeyPair::PrimeNumber - prime number search failured");
    // The start is drawn over the whole interval and the search walks up to its end: every
    // start in [48, 60] meets 53 or 59 (a start past the last prime would fail, by design).
    const unsigned long long found = Value(PrimeSearch::PrimeNumber(CHugeDigit(48ul), CHugeDigit(60ul), two, nullptr, 0, nullptr));
    EXPECT_TRUE(found == 53u || found == 59u) << found;
}

TEST(RSAKeyPair, TestKeysCountsFailedChecks)
{
    CRSAKeyPair pair(SharedKey(512));
    EXPECT_EQ(pair.TestKeys(3, nullptr, 1), 0);
    pair.m_PrivateExponent[200] ^= 0x04;
    EXPECT_EQ(pair.TestKeys(3, nullptr, 1), 1);
    EXPECT_EQ(pair.TestKeys(3, nullptr, 0), 6);
    CRSAKeyPair empty(CRSAPrivateKey{});
    EXPECT_EQ(empty.TestKeys(2, nullptr, 0), 4);
}

// ---- progress and cancellation ------------------------------------------------------------

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A window that records what a sending CProgress delivers, and can act on it.
class Recorder {
public:
    Recorder()
    {
        m_hWnd = AfxCreateWindow([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            m_messages.push_back({message, wParam, lParam});
            if (m_onMessage)
                m_onMessage(m_messages.back());
            return 0;
        });
    }
    ~Recorder() { DestroyWindow(m_hWnd); }

    HWND m_hWnd;
    std::vector<Message> m_messages;
    std::function<void(const Message&)> m_onMessage;
};

// Counts the rejected prime candidates: the search pumps the queue once for each.
class CountingApp : public CWinThread {
public:
    CountingApp() { AfxSetApp(this); }
    BOOL OnIdle(long) override
    {
        ++m_idle;
        return FALSE;
    }
    int m_idle = 0;
};

// The SetUp(maximum, minimum, step, position) calls among the messages.
std::vector<std::array<int, 4>> SetUps(const std::vector<Message>& messages)
{
    std::vector<std::array<int, 4>> out;
    for (size_t i = 0; i + 2 < messages.size(); ++i) {
        if (messages[i].message != PBM_SETRANGE)
            continue;
        EXPECT_EQ(messages[i + 1].message, PBM_SETSTEP);
        EXPECT_EQ(messages[i + 2].message, PBM_SETPOS);
        const auto range = static_cast<DWORD>(messages[i].lParam);
        out.push_back({static_cast<int>(range >> 16), static_cast<int>(range & 0xFFFF),
                       static_cast<int>(messages[i + 1].wParam), static_cast<int>(messages[i + 2].wParam)});
        i += 2;
    }
    return out;
}

TEST(RSAKeyPairProgress, BarSlowsDownAsTheSearchGoesOn)
{
    CountingApp app;
    Recorder bar;
    CProgress progress(bar.m_hWnd, 0);
    CRSAKeyPair pair(512, 1, nullptr, 0, &progress);
    const auto setUps = SetUps(bar.m_messages);
    ASSERT_GE(setUps.size(), 3u);

    // The same counting as the search: the step count advances whenever the candidates of
    // the current step reach the capacity, which doubles every 50 candidates.
    int candidates = 0, perStep = 0, capacity = 1, steps = 0;
    for (int i = 0; i < app.m_idle; ++i) {
        if (++candidates >= 50) {
            capacity *= 2;
            candidates = 0;
        }
        if (++perStep >= capacity) {
            ++steps;
            perStep = 0;
        }
    }
    ASSERT_EQ(setUps.size(), static_cast<size_t>(steps) + 3);
    EXPECT_EQ(setUps.front(), (std::array<int, 4>{100, 0, 1, 0}));
    for (int s = 1; s <= steps; ++s)
        EXPECT_EQ(setUps[static_cast<size_t>(s)], (std::array<int, 4>{100, 0, 1, s}));
    EXPECT_EQ(setUps[setUps.size() - 2], (std::array<int, 4>{1, 0, 1, 1}));
    EXPECT_EQ(setUps.back(), (std::array<int, 4>{0, 0, 1, 0}));
    EXPECT_GT(app.m_idle, 0);

    // TestKeys: range 1 to 6, then one delta per check, and the queue pumped before each.
    bar.m_messages.clear();
    const int idleBefore = app.m_idle;
    EXPECT_EQ(pair.TestKeys(3, &progress, 1), 0);
    EXPECT_EQ(app.m_idle - idleBefore, 6);
    ASSERT_EQ(bar.m_messages.size(), 9u);
    EXPECT_EQ(SetUps(bar.m_messages).front(), (std::array<int, 4>{6, 1, 1, 1}));
    for (size_t i = 3; i < 9; ++i) {
        EXPECT_EQ(bar.m_messages[i].message, PBM_DELTAPOS);
        EXPECT_EQ(bar.m_messages[i].wParam, 1u);
    }
}

TEST(RSAKeyPairProgress, KillEndsTheGenerationAndTheNextOneRuns)
{
    Recorder bar;
    CProgress progress(bar.m_hWnd, 0);
    CWinThread self;
    // The cancel request arrives while the search is under way.
    bar.m_onMessage = [&](const Message& m) {
        if (m.message == PBM_SETPOS && m.wParam >= 2) {
            ThreadToKill = &self;
            ThreadKillFlag = 1;
        }
    };
    const bool killed = sigilboxtest::EndsWithKill([&] { CRSAKeyPair pair(1024, 1, nullptr, 0, &progress); });
    ThreadKillFlag = 0;
    ThreadToKill = nullptr;
    ASSERT_TRUE(killed);

    // A request already standing when the generation starts ends it too.
    bar.m_onMessage = nullptr;
    {
        sigilboxtest::KillRequest kill;
        EXPECT_TRUE(sigilboxtest::EndsWithKill([] { CRSAKeyPair(512, 1, nullptr, 0, nullptr); }));
    }

    // The next generation starts its bar afresh and yields a good pair.
    bar.m_messages.clear();
    CRSAKeyPair next(512, 1, nullptr, 0, &progress);
    EXPECT_EQ(SetUps(bar.m_messages).front(), (std::array<int, 4>{100, 0, 1, 0}));
    EXPECT_EQ(next.TestKeys(3, nullptr, 1), 0);
    ExpectConsistent(next, 512, 65537);
}

TEST(RSAKeyPair, RefusesSizesItCannotStore)
{
    for (WORD bits : {WORD(2049), WORD(16), WORD(0)})
        EXPECT_THROWS_PTR(CRSAKeyPair(bits, 1, nullptr, 0, nullptr), CInvalidArgException) << bits;
}

}  // namespace
