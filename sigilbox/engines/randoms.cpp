// The random-bytes generator.
#include "sigilbox/engines/randoms.h"

#include "framework/exceptions.h"
#include "framework/system.h"
#include "sigilbox/engines/digest.h"

#include <cstring>

namespace {

void Wipe(void* p, size_t n)
{
    volatile BYTE* v = static_cast<volatile BYTE*>(p);
    for (size_t i = 0; i < n; ++i)
        v[i] = 0;
}

} // namespace

CRandomsGenerator::CRandomsGenerator()
{
    // The tick count alone repeats within a millisecond; the system's source gives the state
    // real entropy before the stirring adds to it.
    if (!AfxGetOSRandomBytes(m_State, sizeof m_State))
        AfxThrowNotSupportedException();
    RegenerateRandoms(nullptr, 0);
}

CRandomsGenerator::CRandomsGenerator(const BYTE* seed, WORD length)
{
    if (!AfxGetOSRandomBytes(m_State, sizeof m_State))
        AfxThrowNotSupportedException();
    RegenerateRandoms(seed, length);
}

CRandomsGenerator::~CRandomsGenerator()
{
    Wipe(m_State, sizeof m_State);
    Wipe(&m_nRandSeed, sizeof m_nRandSeed);
}

void CRandomsGenerator::RegenerateRandoms(const BYTE* seed, WORD length)
{
    // A seed of no bytes has nothing to pick from: treat it as no seed.
    const bool seeded = seed != nullptr && length > 0;
    BYTE fresh[20];
    for (int i = 0; i < 20; ++i) {
        SeedRand(GetTickCount());
        BYTE b;
        if (seeded) {
            do {
                BYTE pick = seed[static_cast<unsigned>(i + Rand()) % length];
                b = static_cast<BYTE>(pick + Rand());
            } while (b == 0);
        } else {
            do {
                b = static_cast<BYTE>(Rand());
            } while (b == 0);
        }
        fresh[i] = b;
    }

    CMD5DigestMaker maker;
    maker.UpdateBlock(fresh, sizeof fresh, nullptr, 0, 1);
    maker.UpdateBlock(m_State, sizeof m_State, nullptr, 1, 1);
    maker.GetCurrentDigest(m_State);
    Wipe(fresh, sizeof fresh);
}

void CRandomsGenerator::GetRandomBlock(BYTE* output, WORD count)
{
    RegenerateRandoms(nullptr, 0);

    // One maker for the whole call, never reset: each pass continues the finished context.
    CMD5DigestMaker maker;
    WORD done = 0;
    while (done < count) {
        maker.UpdateBlock(m_State, sizeof m_State, nullptr, 1, 1);
        maker.GetCurrentDigest(m_State);
        WORD take = static_cast<WORD>(count - done < 16 ? count - done : 16);
        std::memcpy(output + done, m_State, take);
        done = static_cast<WORD>(done + take);
    }

    for (WORD i = 0; i < count; ++i) {
        if (output[i] == 0) {
            BYTE b = static_cast<BYTE>(Rand());
            output[i] = b ? b : 0xFD;
        }
    }
}
