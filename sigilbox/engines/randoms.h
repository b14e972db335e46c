// The library's only source of random bytes: a 16-byte state stirred with MD5.
#pragma once

#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CRandomsGenerator {
public:
    // Each new generator starts from 16 bytes of the operating system's random source (a
    // CNotSupportedException when it has none), then stirs as RegenerateRandoms does.
    CRandomsGenerator();
    CRandomsGenerator(const BYTE* seed, WORD length);
    CRandomsGenerator(const CRandomsGenerator& other) = default;
    CRandomsGenerator& operator=(const CRandomsGenerator& other) = default;
    ~CRandomsGenerator();

    // Stirs 20 fresh bytes (from the tick count, and from the seed when one is given) into
    // the state. A null seed or a length of 0 means no seed.
    void RegenerateRandoms(const BYTE* seed, WORD length);
    // Fills count bytes with nonzero pseudo-random bytes.
    void GetRandomBlock(BYTE* output, WORD count);

protected:
    // The C library's rand() would share one unguarded state between threads; each
    // generator has its own copy of the same classic generator instead (seed × 214013 +
    // 2531011, bits 16 to 30 of the seed).
    void SeedRand(DWORD seed) { m_nRandSeed = seed; }
    int Rand()
    {
        m_nRandSeed = m_nRandSeed * 214013u + 2531011u;
        return static_cast<int>((m_nRandSeed >> 16) & 0x7FFF);
    }

    BYTE m_State[16];
    DWORD m_nRandSeed = 1;
};
