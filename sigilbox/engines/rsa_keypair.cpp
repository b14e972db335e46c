#include "sigilbox/engines/rsa_keypair.h"

#include "framework/exceptions.h"
#include "sigilbox/engines/randoms.h"
#include "sigilbox/engines/unlock_exception.h"
#include "sigilbox/engines/wiped_number.h"

#include <array>
#include <cstring>
#include <utility>

using sigilbox_cipher::WipeKeyBytes;
using sigilbox_cipher::WipedNumber;

namespace {

// ---- Sieve ---------------------------------------------------------------------------------
//
// Each candidate is first checked against the odd primes below kSieveLimit through running
// residues (one addition per prime and candidate instead of a division of the whole
// number). The first 14 of them, 3 to 47, make the small-prime test itself; the others only
// reject what the Fermat test would reject anyway, at a fraction of its cost, so which
// candidate is returned and how many are rejected stay the same.

constexpr DWORD kSieveLimit = 1u << 14;
constexpr int kClassicPrimes = 14;  // 3, 5, ..., 47

struct PrimeTable {
    std::array<DWORD, 1900> primes{};  // odd primes below 2^14: 1899 of them
    int count = 0;
};

const PrimeTable& SievePrimes()
{
    static const PrimeTable table = [] {
        PrimeTable t;
        std::array<bool, kSieveLimit> composite{};
        for (DWORD i = 3; i < kSieveLimit; i += 2) {
            if (composite[i])
                continue;
            t.primes[static_cast<size_t>(t.count++)] = i;
            for (DWORD j = i * i; j < kSieveLimit; j += 2 * i)
                composite[j] = true;
        }
        return t;
    }();
    return table;
}

// x mod p for a one-word p.
DWORD ModWord(const CHugeDigit& x, DWORD p)
{
    unsigned long long r = 0;
    for (int i = x.m_nLength - 1; i >= 0; --i)
        r = ((r << 32) | x.m_Digits[i]) % p;
    return static_cast<DWORD>(r);
}

class CandidateSieve {
public:
    // wide: the candidates are all above every sieve prime, so a zero residue by any of
    // them proves a factor (otherwise only 3 to 47 are used, as the small-prime test does).
    CandidateSieve(const CHugeDigit& start, const CHugeDigit& step, bool wide)
        : m_table(SievePrimes()), m_count(wide ? m_table.count : kClassicPrimes)
    {
        for (int i = 0; i < m_count; ++i) {
            if ((i & 63) == 0)
                __checkKillThreadFlag();
            const DWORD p = m_table.primes[static_cast<size_t>(i)];
            m_residue[static_cast<size_t>(i)] = ModWord(start, p);
            m_step[static_cast<size_t>(i)] = ModWord(step, p);
        }
    }

    // A sieve prime divides the current candidate.
    bool HasFactor() const
    {
        for (int i = 0; i < m_count; ++i)
            if (m_residue[static_cast<size_t>(i)] == 0)
                return true;
        return false;
    }

    // The candidate moves on by the step.
    void Advance()
    {
        for (int i = 0; i < m_count; ++i) {
            if ((i & 255) == 0)
                __checkKillThreadFlag();
            const DWORD p = m_table.primes[static_cast<size_t>(i)];
            DWORD r = m_residue[static_cast<size_t>(i)] + m_step[static_cast<size_t>(i)];
            m_residue[static_cast<size_t>(i)] = r >= p ? r - p : r;
        }
    }

private:
    const PrimeTable& m_table;
    int m_count;
    std::array<DWORD, 1900> m_residue{};
    std::array<DWORD, 1900> m_step{};
};

// ---- Miller-Rabin -----------------------------------------------------------------------

// Enough rounds for a candidate that already passed the base-2 Fermat test to be composite
// with a probability far below 2^-100 (random candidates of these sizes).
int MillerRabinRounds(int bits)
{
    if (bits >= 1024)
        return 5;
    if (bits >= 512)
        return 8;
    if (bits >= 256)
        return 12;
    return 20;
}

// n passes `rounds` Miller-Rabin rounds with random bases in [2, n - 2].
bool PassesMillerRabin(const CHugeDigit& n, CRandomsGenerator& generator)
{
    const CHugeDigit one(1ul);
    if (n < CHugeDigit(5ul) || n.EVEN())
        return n == CHugeDigit(2ul) || n == CHugeDigit(3ul);
    WipedNumber nMinus1(n - one);
    WipedNumber t(nMinus1.h);
    int s = 0;
    const CHugeDigit two(2ul);
    while (t.h.EVEN()) {
        t.h = t.h / two;
        ++s;
    }
    const CHugeDigit baseSpan = n - CHugeDigit(3ul);  // bases 2 .. n - 2
    BYTE random[4 * CHugeDigit::MAX_DIGITS - 4];
    int bytes = (n.Bits() + 7) / 8 + 8;  // spare bytes keep the bases close to uniform
    if (bytes > static_cast<int>(sizeof random))
        bytes = sizeof random;
    const int rounds = MillerRabinRounds(n.Bits());
    for (int round = 0; round < rounds; ++round) {
        __checkKillThreadFlag();
        generator.GetRandomBlock(random, static_cast<WORD>(bytes));
        CHugeDigit a(static_cast<unsigned short>((bytes + 3) / 4), 0ul);
        a.Decode(random, static_cast<unsigned short>(bytes));
        a = a % baseSpan + two;
        WipedNumber x(PowMod(a, t.h, n));
        if (x.h == one || x.h == nMinus1.h)
            continue;
        bool witness = true;
        for (int j = 1; j < s; ++j) {
            x.h = MulMod(x.h, x.h, n);
            if (x.h == nMinus1.h) {
                witness = false;
                break;
            }
        }
        if (witness)
            return false;
    }
    return true;
}

// ---- Search progress ----------------------------------------------------------------------
//
// The bar runs to 100 steps; the candidates per step double every 50 candidates, so it moves
// quickly at first and ever more slowly, and the counts carry over from the first prime to
// the second. Kept per thread: two generations in two threads do not disturb each other.

struct SearchProgress {
    bool fresh = true;        // set by the generating constructor: the next search starts the bar
    unsigned steps = 0;
    unsigned candidates = 0;
    unsigned perStep = 0;
    unsigned capacity = 1;
};

thread_local SearchProgress t_search;

void StartSearchProgress(CProgress* progress)
{
    if (!progress || !t_search.fresh)
        return;
    t_search.fresh = false;
    t_search.steps = 0;
    t_search.candidates = 0;
    t_search.perStep = 0;
    t_search.capacity = 1;
    progress->SetUp(100, 0, 1, 0);
}

void CountRejectedCandidate(CProgress* progress)
{
    if (!progress)
        return;
    SearchProgress& st = t_search;
    if (++st.candidates >= 50) {
        // Bounded so that a long search cannot overflow it.
        if (st.capacity < (1u << 30))
            st.capacity *= 2;
        st.candidates = 0;
    }
    if (++st.perStep >= st.capacity) {
        ++st.steps;
        progress->SetUp(100, 0, 1, static_cast<unsigned short>(st.steps));
        st.perStep = 0;
    }
}

// 2^bit in a number of `words` words.
CHugeDigit PowerOfTwo(int bit, int words)
{
    CHugeDigit x(static_cast<unsigned short>(words), 0ul);
    x.Assign2Exp(static_cast<unsigned short>(bit));
    return x;
}

// A prime of exactly `bits` bits whose top two bits are 1, with p - 1 prime to e (and,
// when avoid is given, other than it).
CHugeDigit SearchPrime(int bits, int words, const CHugeDigit& e, const CHugeDigit* avoid, const BYTE* seed,
                       WORD seedLength, CProgress* progress,
                       CHugeDigit (*prime)(const CHugeDigit&, const CHugeDigit&, const CHugeDigit&, const BYTE*, WORD,
                                           CProgress*))
{
    const CHugeDigit one(1ul);
    const CHugeDigit low = PowerOfTwo(bits - 1, words + 1) + PowerOfTwo(bits - 2, words + 1);
    const CHugeDigit high = PowerOfTwo(bits, words + 1) - one;
    const CHugeDigit step(2ul);
    for (;;) {
        WipedNumber p(prime(low, high, step, seed, seedLength, progress));
        if (!(Gcd(p.h - one, e) == one))
            continue;
        if (avoid && p.h == *avoid)
            continue;
        return p.h;
    }
}

}  // namespace

// ---- CRSAKeyPair -----------------------------------------------------------------------------

CRSAKeyPair::CRSAKeyPair(WORD modulusBits, int largeExponent, const BYTE* seed, WORD seedLength, CProgress* progress)
{
    const int m = modulusBits;
    if (m < 32 || m > 2048)
        AfxThrowInvalidArgException();
    const int firstBits = (m + 1) / 2;
    const int secondBits = m - firstBits;
    const int words = ((m + 31) / 32 + 1) / 2;
    const CHugeDigit e(largeExponent ? 65537ul : 3ul);
    const CHugeDigit one(1ul);

    t_search.fresh = true;
    t_search.steps = 0;

    WipedNumber p(SearchPrime(firstBits, words, e, nullptr, seed, seedLength, progress, &CRSAKeyPair::PrimeNumber));
    WipedNumber q(SearchPrime(secondBits, words, e, &p.h, seed, seedLength, progress, &CRSAKeyPair::PrimeNumber));
    if (progress)
        progress->SetUp(1, 0, 1, 1);
    if (p.h < q.h)
        std::swap(p.h, q.h);

    WipedNumber n(p.h * q.h);
    WipedNumber pMinus1(p.h - one);
    WipedNumber qMinus1(q.h - one);
    WipedNumber coefficient(InverseMod(q.h, p.h));
    WipedNumber phi(pMinus1.h * qMinus1.h);
    WipedNumber d(InverseMod(e, phi.h));
    WipedNumber exponent1(d.h % pMinus1.h);
    WipedNumber exponent2(d.h % qMinus1.h);

    m_nModulusBits = modulusBits;
    n.h.Encode(m_Modulus, NumberSize);
    e.Encode(m_PublicExponent, NumberSize);
    d.h.Encode(m_PrivateExponent, NumberSize);
    p.h.Encode(m_Prime1, HalfNumberSize);
    q.h.Encode(m_Prime2, HalfNumberSize);
    exponent1.h.Encode(m_Exponent1, HalfNumberSize);
    exponent2.h.Encode(m_Exponent2, HalfNumberSize);
    coefficient.h.Encode(m_Coefficient, HalfNumberSize);

    if (progress)
        progress->SetUp(0, 0, 1, 0);
}

CRSAKeyPair::CRSAKeyPair(const CRSAPrivateKey& other) : CRSAPrivateKey(other)
{
}

CRSAKeyPair& CRSAKeyPair::operator=(const CRSAPrivateKey& other)
{
    CRSAPrivateKey::operator=(other);
    return *this;
}

CRSAKeyPair::~CRSAKeyPair() = default;  // the key's own destructors wipe the numbers

CHugeDigit CRSAKeyPair::PrimeNumber(const CHugeDigit& low, const CHugeDigit& high, const CHugeDigit& step,
                                    const BYTE* seed, WORD seedLength, CProgress* progress)
{
    if (!(low < high) || !(high - low > step))
        AfxThrowUnlockException("CRSAKeyPair::PrimeNumber - UNEXPECTED FATAL exception - something is wrong in internal data");

    StartSearchProgress(progress);
    CRandomsGenerator generator(seed, seedLength);

    // The start value is drawn over the whole interval: as many random bytes as the bound
    // has, so every part of [low, high] can be reached.
    const int bytes = (high.Bits() + 7) / 8;
    BYTE random[4 * CHugeDigit::MAX_DIGITS];
    generator.GetRandomBlock(random, static_cast<WORD>(bytes));
    WipedNumber r;
    r.h.SetLength(static_cast<short>((bytes + 3) / 4 > 1 ? (bytes + 3) / 4 : 1));
    r.h.Decode(random, static_cast<unsigned short>(bytes));
    WipeKeyBytes(random, static_cast<size_t>(bytes));

    const CHugeDigit one(1ul);
    const CHugeDigit span = high - low + one;
    WipedNumber s(low + r.h % span);
    s.h = s.h - s.h % step + one;
    if (s.h < low)
        s.h = s.h + step;
    if (s.h > high)
        s.h = s.h - step;
    const CHugeDigit last = high - step;

    // The sieve's larger primes prove a factor only when every candidate is above them.
    const bool wide = low > CHugeDigit(static_cast<unsigned long>(kSieveLimit));
    CandidateSieve sieve(s.h, step, wide);
    auto rejected = [&] {
        return sieve.HasFactor() || !s.h.PassedFermatTest() || !PassesMillerRabin(s.h, generator);
    };
    while (rejected()) {
        __freshenThreadQueue();
        __checkKillThreadFlag();
        if (s.h > last)
            AfxThrowUnlockException(progress ? "CRSAKeyPair::PrimeNumber - prime number search failured"
                                             : "CRSAKeyPair::PrimeNumber - prime number search failed");
        s.h = s.h + step;
        sieve.Advance();
        CountRejectedCandidate(progress);
    }
    s.h.DoCompact();
    return s.h;
}

WORD CRSAKeyPair::TestKeys(WORD passes, CProgress* progress, int stopAtFirstFailure)
{
    if (progress)
        progress->SetUp(2 * passes, 1, 1, 1);
    CRandomsGenerator generator;
    WipedNumber n, e, d;
    n.h.Decode(m_Modulus, NumberSize);
    e.h.Decode(m_PublicExponent, NumberSize);
    d.h.Decode(m_PrivateExponent, NumberSize);
    const bool usable = !n.h.Zero();

    WORD failures = 0;
    for (WORD pass = 0; pass < passes; ++pass) {
        BYTE bytes[24];
        generator.GetRandomBlock(bytes, sizeof bytes);
        WipedNumber x;
        x.h.Decode(bytes, sizeof bytes);
        WipeKeyBytes(bytes, sizeof bytes);

        // Check 1: public then private; check 2: private then public.
        for (int check = 0; check < 2; ++check) {
            __freshenThreadQueue();
            __checkKillThreadFlag();
            bool good = false;
            if (usable) {
                const CHugeDigit& first = check == 0 ? e.h : d.h;
                const CHugeDigit& second = check == 0 ? d.h : e.h;
                WipedNumber y(PowMod(x.h, first, n.h));
                WipedNumber z(PowMod(y.h, second, n.h));
                good = z.h == x.h;
            }
            if (!good) {
                ++failures;
                if (stopAtFirstFailure)
                    return failures;
            }
            if (progress)
                progress->Hint(1);
        }
    }
    return failures;
}
