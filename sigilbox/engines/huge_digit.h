// CHugeDigit: the library's unsigned multi-precision integer.
//
// A fixed-capacity value type (513 words of 32 bits, least significant word first) so that
// every temporary of the RSA and key-generation arithmetic lives on the stack. A number may
// carry leading zero words inside m_nLength; every operation that reads the magnitude skips
// them. Words at or above m_nLength are not part of the value and need not be zero.
//
// Every inner loop polls the thread-kill check (progress.h) once per word step, so any
// operation may end with a CKillThreadException* when the calling thread is being killed.
// A zero divisor or modulus and any length, index or result beyond the 513-word capacity
// raise CInvalidArgException* instead of touching memory outside the number.
#pragma once

#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CHugeDigit {
public:
    enum { MAX_DIGITS = 513 };     // capacity in 32-bit words
    enum { DEFAULT_DIGITS = 64 };  // a default-constructed number: a 2048-bit zero

    // A 2048-bit zero (64 zero words).
    CHugeDigit();
    // length words: word 0 = value (its low 32 bits, the next 32 in word 1 when length > 1),
    // the others zero.
    CHugeDigit(unsigned short length, unsigned long value);
    // One word holding value; a value above 32 bits takes two words.
    CHugeDigit(unsigned long value);
    // Copying copies the length and the used words only.
    CHugeDigit(const CHugeDigit& other);
    CHugeDigit& operator=(const CHugeDigit& other);
    // The used words are wiped: numbers often hold key material.
    ~CHugeDigit();
    CHugeDigit& operator=(unsigned long value);

    // Word i (0 = least significant). Only checked against the capacity, not the length.
    DWORD& operator[](int i);
    const DWORD& operator[](int i) const;

    // Zeroes the used words; the length is kept.
    void AssignZero();
    // Zeroes the used words, then sets bit `bit`; the number must already be long enough to
    // hold it.
    void Assign2Exp(unsigned short bit);
    // Growing zeroes the new words; shrinking only lowers the length.
    void SetLength(short n);
    // Drops leading zero words; zero becomes one zero word.
    void DoCompact();

    int EVEN() const;    // nonzero when bit 0 is clear
    int Zero() const;    // nonzero when every used word is zero
    int Digits() const;  // significant words, 0 for zero
    int Bits() const;    // bit length, 0 for zero

    // Divisible by one of the odd primes 3 to 47 (so 3 ... 47 themselves count, and zero).
    int HasSmallPrimesFactor() const;
    // 2^n mod n == 2 for this number n.
    int PassedFermatTest() const;
    // No small prime factor, then the base-2 Fermat test.
    int IsProbablePrime() const;

    // Reads count big-endian bytes; only the last 4 * m_nLength bytes fit (the number must
    // be sized first), the rest are ignored. The number comes back compacted.
    void Decode(const unsigned char* data, unsigned short count);
    // Writes exactly count big-endian bytes: high bytes beyond count are dropped, missing
    // ones are written as zero.
    void Encode(unsigned char* out, unsigned short count) const;

    DWORD m_Digits[MAX_DIGITS];
    unsigned short m_nLength;
};

// Arithmetic: operands are not modified; results are compacted.

// a + b.
SIGILBOX_API CHugeDigit operator+(const CHugeDigit& a, const CHugeDigit& b);
// a - b. With a < b the result is the difference modulo 2^(32 * max(length a, length b)).
SIGILBOX_API CHugeDigit operator-(const CHugeDigit& a, const CHugeDigit& b);
// a * b (schoolbook).
SIGILBOX_API CHugeDigit operator*(const CHugeDigit& a, const CHugeDigit& b);
// Quotient and remainder of a / b; either output may be one of the inputs.
SIGILBOX_API void DivMod(CHugeDigit& quotient, CHugeDigit& remainder, const CHugeDigit& a, const CHugeDigit& b);
SIGILBOX_API CHugeDigit operator/(const CHugeDigit& a, const CHugeDigit& b);
SIGILBOX_API CHugeDigit operator%(const CHugeDigit& a, const CHugeDigit& b);
// (a * b) mod m.
SIGILBOX_API CHugeDigit MulMod(const CHugeDigit& a, const CHugeDigit& b, const CHugeDigit& m);
// base^exponent mod m, left to right with a fixed 2-bit window.
SIGILBOX_API CHugeDigit PowMod(const CHugeDigit& base, const CHugeDigit& exponent, const CHugeDigit& m);
// Greatest common divisor (Gcd(a, 0) = a).
SIGILBOX_API CHugeDigit Gcd(const CHugeDigit& a, const CHugeDigit& b);
// The inverse of a modulo m (extended Euclid). When a and m are not coprime there is no
// inverse and the result is not one either: callers that cannot rule that out check it.
SIGILBOX_API CHugeDigit InverseMod(const CHugeDigit& a, const CHugeDigit& m);

// Comparisons of magnitude; leading zero words are ignored.
SIGILBOX_API bool operator==(const CHugeDigit& a, const CHugeDigit& b);
SIGILBOX_API bool operator<(const CHugeDigit& a, const CHugeDigit& b);
SIGILBOX_API bool operator>(const CHugeDigit& a, const CHugeDigit& b);
SIGILBOX_API bool operator<=(const CHugeDigit& a, const CHugeDigit& b);
SIGILBOX_API bool operator>=(const CHugeDigit& a, const CHugeDigit& b);
