// A big number that is wiped when it dies (primes, exponents, messages, session keys): the
// library's own, not part of its public headers.
#pragma once

#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/sym_keys.h"

namespace sigilbox_cipher {

struct WipedNumber {
    CHugeDigit h;
    WipedNumber() = default;
    explicit WipedNumber(const CHugeDigit& value) : h(value) {}
    WipedNumber(const WipedNumber&) = delete;
    WipedNumber& operator=(const WipedNumber&) = delete;
    ~WipedNumber()
    {
        WipeKeyBytes(h.m_Digits, sizeof h.m_Digits);
        h.m_nLength = 1;
    }
};

} // namespace sigilbox_cipher
