// Helpers shared by the ASN.1 tests: byte vectors from hex text and the message of the
// decoding failure an action raises.
#pragma once

#include "sigilbox/asn1/der_encoding.h"

#include <cctype>
#include <string>
#include <vector>

namespace asn1test {

inline std::vector<unsigned char> Hex(const std::string& text)
{
    std::vector<unsigned char> out;
    int high = -1;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            continue;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline CDEREncoding Enc(const std::string& hex)
{
    std::vector<unsigned char> b = Hex(hex);
    return CDEREncoding(b.data(), b.size());
}

inline std::string ToHex(const unsigned char* p, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += ' ';
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string ToHex(const CByteArray& a)
{
    return ToHex(a.GetData(), a.GetSize());
}

// Runs the action and returns the message of the CDERDecodingException it raised, or
// "<no exception>". Other exceptions pass through.
template <class F>
std::string DecodeError(F&& action)
{
    try {
        action();
    } catch (CDERDecodingException* e) {
        e->Delete();
        const char* m = AfxGetLastDERDecodingMessage();
        return m ? m : "<null>";
    }
    return "<no exception>";
}

}  // namespace asn1test
