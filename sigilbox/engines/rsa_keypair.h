// CRSAKeyPair: an RSA private key that generates itself from two random probable primes,
// reporting progress and answering kill requests while it searches, and TestKeys, which
// checks a fresh pair by encrypting and decrypting random values.
//
// Generation runs in the calling thread. It keeps the thread's message queue serviced
// (once per prime candidate, twice per test pass) and polls the kill check throughout, so a
// generation on the user-interface thread can be cancelled; a kill ends it with
// CKillThreadException* and leaves nothing behind.
#pragma once

#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/sigilbox_export.h"

// Stored and reported as a CRSAPrivateKey: it adds no fields and no run-time class.
class SIGILBOX_API CRSAKeyPair : public CRSAPrivateKey {
public:
    // Generates a key of modulusBits bits (32 to 2048; anything else throws
    // CInvalidArgException*), public exponent 65537 with largeExponent nonzero, 3 with it
    // zero. The seed bytes are stirred into every random draw. Progress, when given, runs
    // over the prime search and ends full, then reset. A failed search throws
    // CUnlockException*.
    CRSAKeyPair(WORD modulusBits, int largeExponent, const BYTE* seed, WORD seedLength, CProgress* progress);
    CRSAKeyPair(const CRSAKeyPair& other) = default;
    CRSAKeyPair(const CRSAPrivateKey& other);
    CRSAKeyPair& operator=(const CRSAKeyPair& other) = default;
    CRSAKeyPair& operator=(const CRSAPrivateKey& other);
    ~CRSAKeyPair() override;

    // passes rounds of two checks on a random 24-byte x: (x^e)^d and (x^d)^e must give x
    // back (mod n). Returns the number of failed checks (0: the pair is good); with
    // stopAtFirstFailure nonzero it returns at the first one. Progress: 2 × passes steps.
    WORD TestKeys(WORD passes, CProgress* progress, int stopAtFirstFailure);

protected:
    // A probable prime s with low <= s <= high and s ≡ 1 (mod step), searched upward from a
    // random start in the interval, one candidate after the other. Throws CUnlockException*
    // for bounds that leave no room and when the search runs past high.
    static CHugeDigit PrimeNumber(const CHugeDigit& low, const CHugeDigit& high, const CHugeDigit& step,
                                  const BYTE* seed, WORD seedLength, CProgress* progress);
};
