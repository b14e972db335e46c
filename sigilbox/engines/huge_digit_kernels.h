// Word-level loops behind CHugeDigit: schoolbook multiplication and squaring, Knuth's
// division (algorithm D) and the 2-bit-window modular exponentiation, on plain arrays of
// 32-bit words (least significant first) with 64-bit intermediates.
//
// Internal to the library. Every loop takes a poll policy: the library instantiates the
// kernels with PollKill (the thread-kill check once per word step); the benchmark also
// instantiates them with NoPoll to measure what that check costs.
#pragma once

#include "sigilbox/engines/progress.h"

#include <algorithm>
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

// Zeroes words that held (possibly secret) intermediate values, in a way the compiler may
// not drop as a dead store.
inline void Wipe(Word* p, size_t count)
{
    volatile Word* v = p;
    for (size_t i = 0; i < count; ++i)
        v[i] = 0;
}

// Wipes a scratch area when the scope ends, also when a kill request unwinds it.
class ScratchWiper {
public:
    ScratchWiper(Word* p, size_t count) : m_p(p), m_count(count) {}
    ~ScratchWiper() { Wipe(m_p, m_count); }
    ScratchWiper(const ScratchWiper&) = delete;
    ScratchWiper& operator=(const ScratchWiper&) = delete;

private:
    Word* m_p;
    size_t m_count;
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

// Two neighbouring rows in one pass: r[0..n) += x0 * b + (x1 * b << 32), where c0 is a
// carry into row x0's first word. r[n] and r[n+1] receive the top of the sum (they are set,
// not added to). Interleaving two rows halves the loads and stores of r and lets the two
// carry chains run side by side.
template <class P>
inline void MulAdd2Rows(Word* __restrict r, Word x0, Word x1, const Word* __restrict b, int n, Wide c0)
{
    Wide c1 = 0;
    Word prev = 0;  // b[j - 1]: row x1 is one word to the left
    for (int j = 0; j < n; ++j) {
        P::Poll();
        const Word bj = b[j];
        const Wide t0 = Wide{x0} * bj + r[j] + c0;
        c0 = t0 >> 32;
        const Wide t1 = Wide{x1} * prev + static_cast<Word>(t0) + c1;
        c1 = t1 >> 32;
        r[j] = static_cast<Word>(t1);
        prev = bj;
    }
    const Wide t1 = Wide{x1} * prev + c0 + c1;
    r[n] = static_cast<Word>(t1);
    r[n + 1] = static_cast<Word>(t1 >> 32);
}

// r[0..na+nb) = a * b: for each nonzero word of a, multiply-accumulate b into the result
// (two words of a per pass).
template <class P>
inline void Mul(Word* __restrict r, const Word* a, int na, const Word* b, int nb)
{
    std::memset(r, 0, sizeof(Word) * static_cast<size_t>(na + nb));
    int i = 0;
    for (; i + 1 < na; i += 2) {
        if ((a[i] | a[i + 1]) != 0)
            MulAdd2Rows<P>(r + i, a[i], a[i + 1], b, nb, 0);
    }
    if (i < na && a[i] != 0)
        r[i + nb] = MulAddRow<P>(r + i, a[i], b, nb);
}

// r[0..2n) = a * a. The same schoolbook rows, but each cross product a[i]*a[j] (i < j) is
// formed once and doubled, then the squares a[i]^2 are added in.
template <class P>
inline void Sqr(Word* __restrict r, const Word* __restrict a, int n)
{
    std::memset(r, 0, sizeof(Word) * static_cast<size_t>(2 * n));
    // Row i adds a[i] * a[i+1..n) at word 2i+1 and ends in word i+n.
    int i = 0;
    for (; i + 2 < n; i += 2) {
        if ((a[i] | a[i + 1]) == 0)
            continue;
        // Rows i and i+1 together: row i's first product stands alone, then both rows run
        // over a[i+2..n), row i+1 one word to the left.
        P::Poll();
        const Wide t = Wide{a[i]} * a[i + 1] + r[2 * i + 1];
        r[2 * i + 1] = static_cast<Word>(t);
        MulAdd2Rows<P>(r + 2 * i + 2, a[i], a[i + 1], a + i + 2, n - i - 2, t >> 32);
    }
    for (; i + 1 < n; ++i) {
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
    for (int k = 0; k < n; ++k) {
        P::Poll();
        Wide t = Wide{a[k]} * a[k] + r[2 * k] + carry;
        r[2 * k] = static_cast<Word>(t);
        t = Wide{r[2 * k + 1]} + (t >> 32);
        r[2 * k + 1] = static_cast<Word>(t);
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

// Quotient-word estimates with precomputed reciprocals (Moller and Granlund, "Improved
// division by invariant integers"): exact divisions of two words by one and three words by
// two without a hardware divide.

// floor((B^2 - 1) / d) - B for a normalised word d (top bit set).
inline Word Reciprocal(Word d)
{
    return static_cast<Word>(~Wide{0} / d - kBase);
}

// floor((B^3 - 1) / (d1 * B + d0)) - B for a normalised d1.
inline Word Reciprocal3by2(Word d1, Word d0)
{
    Word v = Reciprocal(d1);
    Word p = d1 * v;
    p += d0;
    if (p < d0) {
        --v;
        if (p >= d1) {
            --v;
            p -= d1;
        }
        p -= d1;
    }
    const Wide t = Wide{v} * d0;
    const Word t1 = static_cast<Word>(t >> 32);
    const Word t0 = static_cast<Word>(t);
    p += t1;
    if (p < t1) {
        --v;
        if (p > d1 || (p == d1 && t0 >= d0))
            --v;
    }
    return v;
}

// floor((u2, u1, u0) / (d1, d0)) for (u2, u1) < (d1, d0), d1 normalised, v from
// Reciprocal3by2; the two-word remainder goes to rem.
inline Word Div3by2(Wide& rem, Word u2, Word u1, Word u0, Word d1, Word d0, Word v)
{
    const Wide d = (Wide{d1} << 32) | d0;
    const Wide q = Wide{v} * u2 + ((Wide{u2} << 32) | u1);  // modulo B^2
    Word q1 = static_cast<Word>(q >> 32);
    const Word q0 = static_cast<Word>(q);
    const Word r1 = u1 - q1 * d1;  // modulo B
    Wide r = ((Wide{r1} << 32) | u0) - Wide{d0} * q1 - d;  // modulo B^2
    ++q1;
    // Branch-free: this adjustment happens about half the time.
    const Word mask = static_cast<Word>(0) - static_cast<Word>(static_cast<Word>(r >> 32) >= q0);
    q1 += mask;
    r += d & (Wide{0} - static_cast<Wide>(mask & 1));
    if (r >= d) [[unlikely]] {
        ++q1;
        r -= d;
    }
    rem = r;
    return q1;
}

// A divisor of at least two words, normalised (top bit set), with what each quotient word's
// estimate needs.
struct Divisor {
    const Word* v;
    int n;
    Word v1, v2;  // the top two words
    Word inv;     // Reciprocal3by2(v1, v2)
};

inline void PrepareDivisor(Divisor& d, const Word* v, int n)
{
    d.v = v;
    d.n = n;
    d.v1 = v[n - 1];
    d.v2 = v[n - 2];
    d.inv = Reciprocal3by2(d.v1, d.v2);
}

// u[0..n) -= q * v[0..n), written as u + q * ~v + q - q * B^n so that the words form one
// chain of additions. Returns c: the subtraction borrowed q - c (0 <= c <= q) from the
// word above u[n - 1].
template <class P>
inline Wide MulSub(Word* __restrict u, Word q, const Word* __restrict v, int n)
{
    Wide c = q;  // stays below B
    for (int i = 0; i < n; ++i) {
        P::Poll();
        const Wide t = Wide{q} * static_cast<Word>(~v[i]) + u[i] + c;
        u[i] = static_cast<Word>(t);
        c = t >> 32;
    }
    return c;
}

// u[0..n) += v[0..n), the carry out dropped.
template <class P>
inline void AddBack(Word* __restrict u, const Word* __restrict v, int n)
{
    Wide c = 0;
    for (int i = 0; i < n; ++i) {
        P::Poll();
        const Wide sum = Wide{u[i]} + v[i] + c;
        u[i] = static_cast<Word>(sum);
        c = sum >> 32;
    }
}

// Knuth's algorithm D. u[0..nu) is the dividend shifted by the divisor's normalisation; its
// top n words must be below the divisor (so a caller whose dividend may reach it passes the
// word the shift spilled into as one more top word). Each quotient word is estimated from
// the top three words of the partial remainder by the top two divisor words, so it is exact
// or (rarely) one too large; the product is subtracted and a negative result is corrected
// by adding the divisor back once.
// The quotient (nu - n words) goes to q when q is not null; the (still shifted) remainder
// is left in u[0..n) and u[n..nu) ends zero.
template <class P>
inline void DivNormalized(Word* q, Word* __restrict u, int nu, const Divisor& d)
{
    const int n = d.n;
    for (int j = nu - n - 1; j >= 0; --j) {
        Word* const uj = u + j;
        Word qhat;
        if (uj[n] == d.v1 && uj[n - 1] == d.v2) [[unlikely]] {
            // The top words equal the divisor's: the estimate is B - 1.
            qhat = static_cast<Word>(kBase - 1);
            const Wide c = MulSub<P>(uj, qhat, d.v, n);
            if (Wide{uj[n]} < qhat - c) {
                --qhat;
                AddBack<P>(uj, d.v, n);
            }
        } else {
            // The top two words of u - qhat * v are the 3-by-2 remainder less what the lower
            // words borrow.
            Wide rem;
            qhat = Div3by2(rem, uj[n], uj[n - 1], uj[n - 2], d.v1, d.v2, d.inv);
            const Wide borrow = qhat - MulSub<P>(uj, qhat, d.v, n - 2);
            const Wide r = rem - borrow;
            uj[n - 2] = static_cast<Word>(r);
            uj[n - 1] = static_cast<Word>(r >> 32);
            if (rem < borrow) [[unlikely]] {
                --qhat;
                AddBack<P>(uj, d.v, n);
            }
        }
        uj[n] = 0;
        if (q)
            q[j] = qhat;
    }
}

// Largest modulus (and base) the exponentiation handles.
constexpr int kMaxModWords = 513;

// A modulus prepared for repeated reduction: normalised once, used for every product.
// Residues are kept shifted left by the normalisation (R = r << shift): the product of a
// shifted and a plain residue is then already the shifted dividend that division needs,
// and its remainder is the next shifted residue.
struct Modulus {
    int n;          // significant words
    int shift;      // leading zero bits of the top word
    Word m1;        // the modulus itself when n == 1
    Word vn[kMaxModWords];  // m << shift
    Divisor d;      // over vn, when n >= 2
};

template <class P>
inline void PrepareModulus(Modulus& mod, const Word* m, int n)
{
    mod.n = n;
    mod.shift = std::countl_zero(m[n - 1]);
    mod.m1 = m[0];
    ShiftLeft<P>(mod.vn, m, n, mod.shift);
    if (n >= 2)
        PrepareDivisor(mod.d, mod.vn, n);
}

// r[0..n) = p[0..np) mod m, for any length np; scratch holds np + 1 words; p is kept.
template <class P>
inline void Reduce(Word* r, const Word* p, int np, const Modulus& mod, Word* scratch)
{
    const int n = mod.n;
    if (n == 1) {
        r[0] = DivWord<P>(nullptr, p, np, mod.m1);
        return;
    }
    if (np < n) {
        std::memcpy(r, p, sizeof(Word) * static_cast<size_t>(np));
        std::memset(r + np, 0, sizeof(Word) * static_cast<size_t>(n - np));
        return;
    }
    scratch[np] = ShiftLeft<P>(scratch, p, np, mod.shift);
    DivNormalized<P>(nullptr, scratch, np + 1, mod.d);
    ShiftRight<P>(r, scratch, n, mod.shift);
}

// R = (R * t) mod m in the shifted form (n >= 2): R * t = (r * t) << shift is below
// vn * B^n, so division needs no extra word and no shifting.
template <class P>
inline void MulModShifted(Word* R, const Word* t, const Modulus& mod, Word* product)
{
    const int n = mod.n;
    Mul<P>(product, R, n, t, n);
    DivNormalized<P>(nullptr, product, 2 * n, mod.d);
    std::memcpy(R, product, sizeof(Word) * static_cast<size_t>(n));
}

// R = (R^2 mod m) in the shifted form (n >= 2): R^2 = r^2 << 2 shift, one shift right
// makes it the shifted dividend.
template <class P>
inline void SqrModShifted(Word* R, const Modulus& mod, Word* product)
{
    const int n = mod.n;
    Sqr<P>(product, R, n);
    ShiftRight<P>(product, product, 2 * n, mod.shift);
    DivNormalized<P>(nullptr, product, 2 * n, mod.d);
    std::memcpy(R, product, sizeof(Word) * static_cast<size_t>(n));
}

// r[0..n) = base^e mod m, left to right with a fixed 2-bit window: per 2-bit group of the
// exponent (leading zero groups of the top word skipped) two squarings, then one
// multiplication by the table entry base^g when the group g is nonzero.
// m has n significant words (1 <= n <= kMaxModWords; m == 1 gives 0); e has ne significant
// words (ne == 0 gives 1 mod m); base has nb words (nb <= kMaxModWords, any value).
template <class P>
inline void PowModWords(Word* r, const Word* base, int nb, const Word* e, int ne, const Word* m, int n)
{
    Modulus mod;
    PrepareModulus<P>(mod, m, n);
    Word table[4][kMaxModWords];  // base^g mod m, plain
    Word product[2 * kMaxModWords + 1];
    Word R[kMaxModWords];
    const size_t un = static_cast<size_t>(n);
    const ScratchWiper wipeTable1(table[1], un), wipeTable2(table[2], un), wipeTable3(table[3], un);
    const ScratchWiper wipeProduct(product, std::max(2 * un + 1, static_cast<size_t>(nb) + 1)), wipeR(R, un);

    // t1 = base mod m: reducing it first changes no result and keeps every product at 2n
    // words.
    Reduce<P>(table[1], base, Significant<P>(base, nb), mod, product);

    if (n == 1) {
        // One-word modulus: the same steps in plain 64-bit arithmetic.
        const Wide m1 = mod.m1;
        const Wide t1 = table[1][0];
        const Wide t[4] = {0, t1, t1 * t1 % m1, t1 * t1 % m1 * t1 % m1};
        Wide x = 1 % m1;
        for (int w = ne - 1; w >= 0; --w) {
            const Word word = e[w];
            int group = 15;
            if (w == ne - 1) {
                while (group > 0 && ((word >> (2 * group)) & 3) == 0)
                    --group;
            }
            for (; group >= 0; --group) {
                P::Poll();
                x = x * x % m1;
                x = x * x % m1;
                const unsigned g = (word >> (2 * group)) & 3;
                if (g != 0)
                    x = x * t[g] % m1;
            }
        }
        r[0] = static_cast<Word>(x);
        return;
    }

    const size_t bytes = sizeof(Word) * un;
    // t2 = t1^2 mod m, t3 = t2 * t1 mod m, through the shifted form.
    ShiftLeft<P>(R, table[1], n, mod.shift);
    MulModShifted<P>(R, table[1], mod, product);
    ShiftRight<P>(table[2], R, n, mod.shift);
    MulModShifted<P>(R, table[1], mod, product);
    ShiftRight<P>(table[3], R, n, mod.shift);

    // R = 1 << shift (one, shifted; m >= 2^32 here).
    std::memset(R, 0, bytes);
    R[0] = Word{1} << mod.shift;

    for (int w = ne - 1; w >= 0; --w) {
        const Word word = e[w];
        int group = 15;
        if (w == ne - 1) {
            while (group > 0 && ((word >> (2 * group)) & 3) == 0)
                --group;
        }
        for (; group >= 0; --group) {
            P::Poll();
            SqrModShifted<P>(R, mod, product);
            SqrModShifted<P>(R, mod, product);
            const unsigned g = (word >> (2 * group)) & 3;
            if (g != 0)
                MulModShifted<P>(R, table[g], mod, product);
        }
    }
    ShiftRight<P>(r, R, n, mod.shift);
}

}  // namespace HugeDigitKernels
