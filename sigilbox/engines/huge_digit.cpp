#include "sigilbox/engines/huge_digit.h"

#include "framework/exceptions.h"
#include "sigilbox/engines/huge_digit_kernels.h"
#include "sigilbox/engines/progress.h"

#include <bit>
#include <cstring>

using namespace HugeDigitKernels;

namespace {

using K = PollKill;

constexpr int kMax = CHugeDigit::MAX_DIGITS;

void CheckLength(long n)
{
    if (n < 0 || n > kMax)
        AfxThrowInvalidArgException();
}

int SignificantOf(const CHugeDigit& x)
{
    return Significant<K>(x.m_Digits, x.m_nLength);
}

// Sets x to the n words of w, compacted.
void AssignWords(CHugeDigit& x, const Word* w, int n)
{
    n = Significant<K>(w, n);
    CheckLength(n);
    if (n == 0) {
        x.m_Digits[0] = 0;
        x.m_nLength = 1;
        return;
    }
    std::memmove(x.m_Digits, w, sizeof(Word) * static_cast<size_t>(n));
    x.m_nLength = static_cast<unsigned short>(n);
}

void SetZero(CHugeDigit& x)
{
    x.m_Digits[0] = 0;
    x.m_nLength = 1;
}

// Quotient (when q is not null) and remainder of a / b. Either output may be an input.
void Divide(CHugeDigit* q, CHugeDigit* r, const CHugeDigit& a, const CHugeDigit& b)
{
    const int nb = SignificantOf(b);
    if (nb == 0)
        AfxThrowInvalidArgException();
    const int na = SignificantOf(a);
    if (Compare<K>(a.m_Digits, na, b.m_Digits, nb) < 0) {
        if (r)
            AssignWords(*r, a.m_Digits, na);
        if (q)
            SetZero(*q);
        return;
    }
    Word quotient[kMax];
    const ScratchWiper wipeQuotient(quotient, static_cast<size_t>(na));
    if (nb == 1) {
        const Word rem = DivWord<K>(quotient, a.m_Digits, na, b.m_Digits[0]);
        if (q)
            AssignWords(*q, quotient, na);
        if (r)
            AssignWords(*r, &rem, 1);
        return;
    }
    const int shift = std::countl_zero(b.m_Digits[nb - 1]);
    Word vn[kMax];
    Word un[kMax + 1];
    const ScratchWiper wipeDivisor(vn, static_cast<size_t>(nb)), wipeDividend(un, static_cast<size_t>(na) + 1);
    ShiftLeft<K>(vn, b.m_Digits, nb, shift);
    un[na] = ShiftLeft<K>(un, a.m_Digits, na, shift);
    Divisor d;
    PrepareDivisor(d, vn, nb);
    DivNormalized<K>(quotient, un, na + 1, d);
    ShiftRight<K>(un, un, nb, shift);
    if (q)
        AssignWords(*q, quotient, na + 1 - nb);
    if (r)
        AssignWords(*r, un, nb);
}

const Word kSmallPrimes[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47};

}  // namespace

CHugeDigit::CHugeDigit() : m_nLength(DEFAULT_DIGITS)
{
    std::memset(m_Digits, 0, sizeof(DWORD) * DEFAULT_DIGITS);
}

CHugeDigit::CHugeDigit(unsigned short length, unsigned long value) : m_nLength(length)
{
    CheckLength(length);
    const Word high = static_cast<Word>(static_cast<unsigned long long>(value) >> 32);
    if (high != 0 && length < 2)
        AfxThrowInvalidArgException();
    if (length > 1)
        std::memset(m_Digits + 1, 0, sizeof(DWORD) * (length - 1u));
    m_Digits[0] = static_cast<Word>(value);
    if (high != 0)
        m_Digits[1] = high;
}

CHugeDigit::CHugeDigit(unsigned long value) : m_nLength(0)
{
    *this = value;
}

CHugeDigit::~CHugeDigit()
{
    Wipe(m_Digits, m_nLength);
}

CHugeDigit::CHugeDigit(const CHugeDigit& other) : m_nLength(other.m_nLength)
{
    std::memcpy(m_Digits, other.m_Digits, sizeof(DWORD) * m_nLength);
}

CHugeDigit& CHugeDigit::operator=(const CHugeDigit& other)
{
    if (this != &other) {
        // Old words above the new length would keep an earlier (maybe secret) value.
        if (other.m_nLength < m_nLength)
            Wipe(m_Digits + other.m_nLength, m_nLength - other.m_nLength);
        m_nLength = other.m_nLength;
        std::memcpy(m_Digits, other.m_Digits, sizeof(DWORD) * m_nLength);
    }
    return *this;
}

CHugeDigit& CHugeDigit::operator=(unsigned long value)
{
    const Word high = static_cast<Word>(static_cast<unsigned long long>(value) >> 32);
    if (m_nLength > 2)
        Wipe(m_Digits + 2, m_nLength - 2u);
    m_Digits[0] = static_cast<Word>(value);
    m_Digits[1] = high;
    m_nLength = high != 0 ? 2 : 1;
    return *this;
}

DWORD& CHugeDigit::operator[](int i)
{
    if (i < 0 || i >= kMax)
        AfxThrowInvalidArgException();
    return m_Digits[i];
}

const DWORD& CHugeDigit::operator[](int i) const
{
    if (i < 0 || i >= kMax)
        AfxThrowInvalidArgException();
    return m_Digits[i];
}

void CHugeDigit::AssignZero()
{
    std::memset(m_Digits, 0, sizeof(DWORD) * m_nLength);
}

void CHugeDigit::Assign2Exp(unsigned short bit)
{
    // A bit beyond the length would not be part of the value.
    if (bit / 32u >= m_nLength)
        AfxThrowInvalidArgException();
    AssignZero();
    m_Digits[bit / 32u] = Word{1} << (bit % 32u);
}

void CHugeDigit::SetLength(short n)
{
    CheckLength(n);
    if (n > m_nLength)
        std::memset(m_Digits + m_nLength, 0, sizeof(DWORD) * static_cast<size_t>(n - m_nLength));
    m_nLength = static_cast<unsigned short>(n);
}

void CHugeDigit::DoCompact()
{
    const int n = SignificantOf(*this);
    if (n == 0)
        SetZero(*this);
    else
        m_nLength = static_cast<unsigned short>(n);
}

int CHugeDigit::EVEN() const
{
    return m_nLength == 0 || (m_Digits[0] & 1) == 0 ? 1 : 0;
}

int CHugeDigit::Zero() const
{
    return SignificantOf(*this) == 0 ? 1 : 0;
}

int CHugeDigit::Digits() const
{
    return SignificantOf(*this);
}

int CHugeDigit::Bits() const
{
    const int n = SignificantOf(*this);
    if (n == 0)
        return 0;
    return 32 * (n - 1) + std::bit_width(m_Digits[n - 1]);
}

int CHugeDigit::HasSmallPrimesFactor() const
{
    const int n = SignificantOf(*this);
    for (Word p : kSmallPrimes) {
        if (DivWord<K>(nullptr, m_Digits, n, p) == 0)
            return 1;
    }
    return 0;
}

int CHugeDigit::PassedFermatTest() const
{
    return PowMod(CHugeDigit(2ul), *this, *this) == CHugeDigit(2ul) ? 1 : 0;
}

int CHugeDigit::IsProbablePrime() const
{
    if (HasSmallPrimesFactor())
        return 0;
    return PassedFermatTest();
}

void CHugeDigit::Decode(const unsigned char* data, unsigned short count)
{
    const int words = (count + 3) / 4;
    const int filled = words < m_nLength ? words : m_nLength;
    int pos = count;  // one past the next byte to read, going backwards
    for (int w = 0; w < filled; ++w) {
        __checkKillThreadFlag();
        Word value = 0;
        for (int k = 0; k < 4 && pos > 0; ++k)
            value |= Word{data[--pos]} << (8 * k);
        m_Digits[w] = value;
    }
    if (filled < m_nLength)
        std::memset(m_Digits + filled, 0, sizeof(DWORD) * static_cast<size_t>(m_nLength - filled));
    DoCompact();
}

void CHugeDigit::Encode(unsigned char* out, unsigned short count) const
{
    for (int i = 0; i < count; ++i) {
        const int w = i / 4;
        if (i % 4 == 0)
            __checkKillThreadFlag();
        out[count - 1 - i] = w < m_nLength ? static_cast<unsigned char>(m_Digits[w] >> (8 * (i % 4))) : 0;
    }
}

CHugeDigit operator+(const CHugeDigit& a, const CHugeDigit& b)
{
    const int n = a.m_nLength > b.m_nLength ? a.m_nLength : b.m_nLength;
    Word sum[kMax + 1];
    const ScratchWiper wipe(sum, static_cast<size_t>(n) + 1);
    Wide carry = 0;
    for (int i = 0; i < n; ++i) {
        __checkKillThreadFlag();
        const Wide t = Wide{i < a.m_nLength ? a.m_Digits[i] : 0u} + (i < b.m_nLength ? b.m_Digits[i] : 0u) + carry;
        sum[i] = static_cast<Word>(t);
        carry = t >> 32;
    }
    sum[n] = static_cast<Word>(carry);
    CHugeDigit result(0ul);
    AssignWords(result, sum, n + 1);
    return result;
}

CHugeDigit operator-(const CHugeDigit& a, const CHugeDigit& b)
{
    const int n = a.m_nLength > b.m_nLength ? a.m_nLength : b.m_nLength;
    Word diff[kMax];
    const ScratchWiper wipe(diff, static_cast<size_t>(n));
    Word borrow = 0;
    for (int i = 0; i < n; ++i) {
        __checkKillThreadFlag();
        const Wide t = Wide{i < a.m_nLength ? a.m_Digits[i] : 0u} - (i < b.m_nLength ? b.m_Digits[i] : 0u) - borrow;
        diff[i] = static_cast<Word>(t);
        borrow = static_cast<Word>(t >> 63);
    }
    CHugeDigit result(0ul);
    AssignWords(result, diff, n);
    return result;
}

CHugeDigit operator*(const CHugeDigit& a, const CHugeDigit& b)
{
    const int na = SignificantOf(a);
    const int nb = SignificantOf(b);
    CHugeDigit result(0ul);
    if (na == 0 || nb == 0)
        return result;
    CheckLength(na + nb);
    Word product[kMax];
    const ScratchWiper wipe(product, static_cast<size_t>(na + nb));
    Mul<K>(product, a.m_Digits, na, b.m_Digits, nb);
    AssignWords(result, product, na + nb);
    return result;
}

void DivMod(CHugeDigit& quotient, CHugeDigit& remainder, const CHugeDigit& a, const CHugeDigit& b)
{
    if (&quotient == &remainder)
        AfxThrowInvalidArgException();
    Divide(&quotient, &remainder, a, b);
}

CHugeDigit operator/(const CHugeDigit& a, const CHugeDigit& b)
{
    CHugeDigit q(0ul);
    Divide(&q, nullptr, a, b);
    return q;
}

CHugeDigit operator%(const CHugeDigit& a, const CHugeDigit& b)
{
    CHugeDigit r(0ul);
    Divide(nullptr, &r, a, b);
    return r;
}

CHugeDigit MulMod(const CHugeDigit& a, const CHugeDigit& b, const CHugeDigit& m)
{
    const int nm = SignificantOf(m);
    if (nm == 0)
        AfxThrowInvalidArgException();
    const int na = SignificantOf(a);
    const int nb = SignificantOf(b);
    CHugeDigit result(0ul);
    if (na == 0 || nb == 0)
        return result;
    // The product may be up to twice the capacity: it only lives here.
    Word product[2 * kMax];
    Word scratch[2 * kMax + 1];
    const ScratchWiper wipeProduct(product, static_cast<size_t>(na + nb)), wipeScratch(scratch, static_cast<size_t>(na + nb) + 1);
    Modulus mod;
    Mul<K>(product, a.m_Digits, na, b.m_Digits, nb);
    PrepareModulus<K>(mod, m.m_Digits, nm);
    Reduce<K>(result.m_Digits, product, na + nb, mod, scratch);
    result.m_nLength = static_cast<unsigned short>(nm);
    result.DoCompact();
    return result;
}

CHugeDigit PowMod(const CHugeDigit& base, const CHugeDigit& exponent, const CHugeDigit& m)
{
    const int nm = SignificantOf(m);
    if (nm == 0)
        AfxThrowInvalidArgException();
    CHugeDigit result(0ul);
    PowModWords<K>(result.m_Digits, base.m_Digits, base.m_nLength, exponent.m_Digits, SignificantOf(exponent),
                   m.m_Digits, nm);
    result.m_nLength = static_cast<unsigned short>(nm);
    result.DoCompact();
    return result;
}

CHugeDigit Gcd(const CHugeDigit& a, const CHugeDigit& b)
{
    CHugeDigit x(a);
    CHugeDigit y(b);
    CHugeDigit r(0ul);
    while (!y.Zero()) {
        Divide(nullptr, &r, x, y);
        x = y;
        y = r;
    }
    x.DoCompact();
    return x;
}

CHugeDigit InverseMod(const CHugeDigit& a, const CHugeDigit& m)
{
    if (m.Zero())
        AfxThrowInvalidArgException();
    // Extended Euclid on (a, m) keeping only the cofactor of a, as a magnitude whose sign
    // alternates from step to step.
    CHugeDigit u1(1ul), u3(a), v1(0ul), v3(m);
    CHugeDigit q(0ul), t3(0ul);
    int negative = 0;
    while (!v3.Zero()) {
        Divide(&q, &t3, u3, v3);
        const CHugeDigit t1 = u1 + q * v1;
        u1 = v1;
        v1 = t1;
        u3 = v3;
        v3 = t3;
        negative = !negative;
    }
    CHugeDigit result = negative ? m - u1 : u1;
    if (!(result < m))
        result = result % m;
    return result;
}

bool operator==(const CHugeDigit& a, const CHugeDigit& b)
{
    return Compare<K>(a.m_Digits, SignificantOf(a), b.m_Digits, SignificantOf(b)) == 0;
}

bool operator<(const CHugeDigit& a, const CHugeDigit& b)
{
    return Compare<K>(a.m_Digits, SignificantOf(a), b.m_Digits, SignificantOf(b)) < 0;
}

bool operator>(const CHugeDigit& a, const CHugeDigit& b)
{
    return Compare<K>(a.m_Digits, SignificantOf(a), b.m_Digits, SignificantOf(b)) > 0;
}

bool operator<=(const CHugeDigit& a, const CHugeDigit& b)
{
    return !(a > b);
}

bool operator>=(const CHugeDigit& a, const CHugeDigit& b)
{
    return !(a < b);
}
