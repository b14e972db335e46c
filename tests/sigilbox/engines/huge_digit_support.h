// Helpers for the big-integer tests: numbers from and to hexadecimal text.
#pragma once

#include "sigilbox/engines/huge_digit.h"
#include "tests/support/bytes.h"

#include <string>
#include <vector>

namespace bignum_test {

// A compacted number from hex text (odd lengths get a leading zero digit), through Decode.
inline CHugeDigit FromHex(const std::string& hex)
{
    const qmtest::Bytes bytes = qmtest::Hex(hex.size() % 2 ? "0" + hex : hex);
    CHugeDigit x(0ul);
    x.SetLength(static_cast<short>(bytes.size() / 4 + 1));
    x.Decode(bytes.data(), static_cast<unsigned short>(bytes.size()));
    return x;
}

// Lower-case hex of the value without leading zeros ("0" for zero), through Encode.
inline std::string ToHex(const CHugeDigit& x)
{
    std::vector<unsigned char> bytes(4u * x.m_nLength);
    x.Encode(bytes.data(), static_cast<unsigned short>(bytes.size()));
    const std::string out = qmtest::ToLowerHex(bytes.data(), bytes.size());
    const size_t first = out.find_first_not_of('0');
    return first == std::string::npos ? "0" : out.substr(first);
}

}  // namespace bignum_test
