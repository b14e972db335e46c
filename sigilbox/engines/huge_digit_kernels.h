// Word-level loops behind CHugeDigit: schoolbook multiplication and squaring, Knuth's
// division (algorithm D) and the 2-bit-window modular exponentiation, on plain arrays of
// 32-bit words (least significant first) with 64-bit intermediates.
//
// Internal to the library. Every loop takes a poll policy: the library instantiates the
// kernels with PollKill (the thread-kill check once per word step); the benchmark also
// instantiates them with NoPoll to measure what that check costs.
#pragma once

#include "sigilbox/engines/progress.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace HugeDigitKernels {

using Word = std::uint32_t;
using Wide = std::uint64_t;

constexpr Wide kBase = Wide{1} << 32;

struct PollKill {
    static void Poll() { __checkKillThreadFlag(); }
};
struct NoPoll {
    static void Poll() {}
};

// Count of significant words of a[0..n).
template <class P>
inline int Significant(const Word* a, int n)
{
    while (n > 0) {
        P::Poll();
        if (a[n - 1] != 0)
            break;
        --n;
    }
    return n;
}

// Compares two numbers given by their significant words: -1, 0 or 1.
template <class P>
inline int Compare(const Word* a, int na, const Word* b, int nb)
{
    if (na != nb)
        return na < nb ? -1 : 1;
    for (int i = na - 1; i >= 0; --i) {
        P::Poll();
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

// r[0..n) += x * b[0..n); returns the carry out.
template <class P>
inline Word MulAddRow(Word* __restrict r, Word x, const Word* __restrict b, int n)
{
    Wide carry = 0;
    for (int j = 0; j < n; ++j) {
        P::Poll();
        const Wide t = Wide{x} * b[j] + r[j] + carry;
        r[j] = static_cast<Word>(t);
        carry = t >> 32;
    }
    return static_cast<Word>(carry);
}

// r[0..na+nb) = a * b: for each nonzero word of a, multiply-accumulate b into the result.
template <class P>
inline void Mul(Word* __restrict r, const Word* a, int na, const Word* b, int nb)
{
    std::memset(r, 0, sizeof(Word) * static_cast<size_t>(na + nb));
    for (int i = 0; i < na; ++i) {
        if (a[i] != 0)
            r[i + nb] = MulAddRow<P>(r + i, a[i], b, nb);
    }
}

// r[0..2n) = a * a. The same schoolbook rows, but each cross product a[i]*a[j] (i < j) is
// formed once and doubled, then the squares a[i]^2 are added in.
template <class P>
inline void Sqr(Word* __restrict r, const Word* __restrict a, int n)
{
    std::memset(r, 0, sizeof(Word) * static_cast<size_t>(2 * n));
    for (int i = 0; i + 1 < n; ++i) {
        if (a[i] != 0)
            r[i + n] = MulAddRow<P>(r + 2 * i + 1, a[i], a + i + 1, n - i - 1);
    }
    Word top = 0;
    for (int k = 0; k < 2 * n; ++k) {
        P::Poll();
        const Word w = r[k];
        r[k] = (w << 1) | top;
        top = w >> 31;
    }
    Wide carry = 0;
    for (int i = 0; i < n; ++i) {
        P::Poll();
        Wide t = Wide{a[i]} * a[i] + r[2 * i] + carry;
        r[2 * i] = static_cast<Word>(t);
        t = Wide{r[2 * i + 1]} + (t >> 32);
        r[2 * i + 1] = static_cast<Word>(t);
        carry = t >> 32;
    }
}

// r[0..n) = a[0..n) << s (0 <= s < 32); returns the bits shifted out. r may be a.
template <class P>
inline Word ShiftLeft(Word* r, const Word* a, int n, int s)
{
    if (s == 0) {
        if (r != a)
            std::memmove(r, a, sizeof(Word) * static_cast<size_t>(n));
        return 0;
    }
    Word out = 0;
    for (int i = 0; i < n; ++i) {
        P::Poll();
        const Word w = a[i];
        r[i] = (w << s) | out;
        out = w >> (32 - s);
    }
    return out;
}

// r[0..n) = a[0..n) >> s (0 <= s < 32), zeros shifted in at the top. r may be a.
template <class P>
inline void ShiftRight(Word* r, const Word* a, int n, int s)
{
    if (s == 0) {
        if (r != a)
            std::memmove(r, a, sizeof(Word) * static_cast<size_t>(n));
        return;
    }
    for (int i = 0; i < n; ++i) {
        P::Poll();
        const Word hi = i + 1 < n ? a[i + 1] : 0;
        r[i] = (a[i] >> s) | (hi << (32 - s));
    }
}

// Divides u[0..nu) by the single word v (nonzero); the quotient goes to q[0..nu) when q is
// not null. Returns the remainder.
template <class P>
inline Word DivWord(Word* q, const Word* u, int nu, Word v)
{
    Wide rem = 0;
    for (int j = nu - 1; j >= 0; --j) {
        P::Poll();
        const Wide num = (rem << 32) | u[j];
        const Wide qj = num / v;
        rem = num - qj * v;
        if (q)
            q[j] = static_cast<Word>(qj);
    }
    return static_cast<Word>(rem);
}

// Knuth's algorithm D. v[0..n) (n >= 2) is normalised (top bit set); u[0..nu) is the
// dividend shifted by the same amount, nu >= n + 1, including the word the shift spilled
// into. Each quotient word is estimated from the top two words of the partial remainder and
// refined with the second divisor word, so it is exact or one too large; the product is
// subtracted and a negative result is corrected by adding the divisor back once.
// The quotient (nu - n words) goes to q when q is not null; the (still shifted) remainder
// is left in u[0..n) and u[n..nu) ends zero.
template <class P>
inline void DivNormalized(Word* q, Word* __restrict u, int nu, const Word* __restrict v, int n)
{
    const Wide v1 = v[n - 1];
    const Wide v2 = v[n - 2];
    for (int j = nu - n - 1; j >= 0; --j) {
        Word* const uj = u + j;
        const Wide num = (Wide{uj[n]} << 32) | uj[n - 1];
        Wide qhat = num / v1;
        Wide rhat = num - qhat * v1;
        while (qhat >= kBase || qhat * v2 > ((rhat << 32) | uj[n - 2])) {
            --qhat;
            rhat += v1;
            if (rhat >= kBase)
                break;
        }
        if (qhat != 0) {
            // uj[0..n] -= qhat * v
            Wide carry = 0;
            Word borrow = 0;
            for (int i = 0; i < n; ++i) {
                P::Poll();
                const Wide p = qhat * v[i] + carry;
                carry = p >> 32;
                const Wide t = Wide{uj[i]} - static_cast<Word>(p) - borrow;
                uj[i] = static_cast<Word>(t);
                borrow = static_cast<Word>(t >> 63);
            }
            const Wide t = Wide{uj[n]} - carry - borrow;
            uj[n] = static_cast<Word>(t);
            if (t >> 63) {
                // The estimate was one too large: add the divisor back.
                --qhat;
                Wide c = 0;
                for (int i = 0; i < n; ++i) {
                    P::Poll();
                    const Wide s = Wide{uj[i]} + v[i] + c;
                    uj[i] = static_cast<Word>(s);
                    c = s >> 32;
                }
                uj[n] = static_cast<Word>(uj[n] + c);
            }
        }
        if (q)
            q[j] = static_cast<Word>(qhat);
    }
}

// A modulus prepared for repeated reduction: normalised once, used for every product.
struct Modulus {
    const Word* m;  // the modulus, n significant words
    int n;
    int shift;      // leading zero bits of the top word
    Word vn[513];   // m << shift
};

template <class P>
inline void PrepareModulus(Modulus& mod, const Word* m, int n)
{
    mod.m = m;
    mod.n = n;
    mod.shift = std::countl_zero(m[n - 1]);
    ShiftLeft<P>(mod.vn, m, n, mod.shift);
}

// r[0..n) = p[0..np) mod the modulus; scratch holds np + 1 words. p is left unchanged.
template <class P>
inline void Reduce(Word* r, const Word* p, int np, const Modulus& mod, Word* scratch)
{
    const int n = mod.n;
    if (np < n) {
        std::memcpy(r, p, sizeof(Word) * static_cast<size_t>(np));
        std::memset(r + np, 0, sizeof(Word) * static_cast<size_t>(n - np));
        return;
    }
    if (n == 1) {
        r[0] = DivWord<P>(nullptr, p, np, mod.m[0]);
        return;
    }
    scratch[np] = ShiftLeft<P>(scratch, p, np, mod.shift);
    DivNormalized<P>(nullptr, scratch, np + 1, mod.vn, n);
    ShiftRight<P>(r, scratch, n, mod.shift);
}

// Largest modulus (and base) the exponentiation handles.
constexpr int kMaxModWords = 513;

// r[0..n) = base^e mod m, left to right with a fixed 2-bit window: per 2-bit group of the
// exponent (leading zero groups of the top word skipped) two squarings, then one
// multiplication by the table entry base^g when the group g is nonzero.
// m has n significant words (n >= 1, m != 1 not required: m == 1 gives 0); e has ne
// significant words (ne == 0 gives 1 mod m); base has nb words (any size).
template <class P>
inline void PowModWords(Word* r, const Word* base, int nb, const Word* e, int ne, const Word* m, int n)
{
    Modulus mod;
    PrepareModulus<P>(mod, m, n);
    Word table[4][kMaxModWords];
    Word product[2 * kMaxModWords];
    Word scratch[2 * kMaxModWords + 1];

    // t1 = base mod m: reducing it first changes no result and keeps every product at 2n
    // words.
    Reduce<P>(table[1], base, Significant<P>(base, nb), mod, scratch);
    Sqr<P>(product, table[1], n);
    Reduce<P>(table[2], product, 2 * n, mod, scratch);
    Mul<P>(product, table[2], n, table[1], n);
    Reduce<P>(table[3], product, 2 * n, mod, scratch);

    // r = 1 mod m
    std::memset(r, 0, sizeof(Word) * static_cast<size_t>(n));
    r[0] = (n == 1 && m[0] == 1) ? 0 : 1;

    for (int w = ne - 1; w >= 0; --w) {
        const Word word = e[w];
        int group = 15;
        if (w == ne - 1) {
            while (group > 0 && ((word >> (2 * group)) & 3) == 0)
                --group;
        }
        for (; group >= 0; --group) {
            P::Poll();
            Sqr<P>(product, r, n);
            Reduce<P>(r, product, 2 * n, mod, scratch);
            Sqr<P>(product, r, n);
            Reduce<P>(r, product, 2 * n, mod, scratch);
            const unsigned g = (word >> (2 * group)) & 3;
            if (g != 0) {
                Mul<P>(product, r, n, table[g], n);
                Reduce<P>(r, product, 2 * n, mod, scratch);
            }
        }
    }
}

}  // namespace HugeDigitKernels
