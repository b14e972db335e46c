// Helpers for the big-integer tests: numbers from and to hexadecimal text.
#pragma once

#include "sigilbox/engines/huge_digit.h"

#include <string>
#include <vector>

namespace bignum_test {

// Big-endian bytes of a hex string (odd lengths get a leading zero digit).
inline std::vector<unsigned char> HexBytes(const std::string& hex)
{
    std::string digits = hex.size() % 2 ? "0" + hex : hex;
    std::vector<unsigned char> out;
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

// A compacted number from hex text, through Decode.
inline CHugeDigit FromHex(const std::string& hex)
{
    const std::vector<unsigned char> bytes = HexBytes(hex);
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
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    const size_t first = out.find_first_not_of('0');
    return first == std::string::npos ? "0" : out.substr(first);
}

}  // namespace bignum_test
