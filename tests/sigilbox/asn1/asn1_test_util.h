// Helpers shared by the ASN.1 tests: encodings from hex text, encodings as spaced hex and
// the message of the decoding failure an action raises.
#pragma once

#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/der_encoding.h"
#include "tests/support/support.h"

#include <memory>
#include <string>
#include <vector>

namespace asn1test {

using qmtest::Hex;

inline CDEREncoding Enc(const std::string& hex)
{
    std::vector<unsigned char> b = Hex(hex);
    return CDEREncoding(b.data(), b.size());
}

// Bytes as "30 03 02 01 05".
inline std::string ToHex(const unsigned char* p, int n)
{
    return qmtest::ToHex(p, static_cast<size_t>(n), " ");
}

inline std::string ToHex(const CByteArray& a)
{
    return qmtest::ToHex(a, " ");
}

// A decoded value, deleted with the test.
struct Deleter {
    void operator()(CASN1Type* p) const { delete p; }
};
using Owned = std::unique_ptr<CASN1Type, Deleter>;

// The DER of a value as spaced hex.
inline std::string Encode(const CASN1Type& object)
{
    CByteArray out;
    object.EncodeTo(out);
    return ToHex(out);
}

// The DER of a value as bytes.
inline qmtest::Bytes EncodedBytes(const CASN1Type& object)
{
    CByteArray out;
    object.EncodeTo(out);
    return qmtest::Bytes(out.GetData(), out.GetData() + out.GetSize());
}

// Runs the action and returns the message of the CDERDecodingException it raised, or
// "<no exception>". Another exception of the family fails the test.
template <class F>
std::string DecodeError(F&& action)
{
    if (!qmtest::Thrown<CDERDecodingException>(std::forward<F>(action)))
        return "<no exception>";
    const char* m = AfxGetLastDERDecodingMessage();
    return m ? m : "<null>";
}

// The message with which the factory refuses the encoding.
inline std::string FactoryError(const std::string& hex)
{
    return DecodeError([&] {
        CDEREncoding e = Enc(hex);
        delete AfxBuildFromEncoding(e);
    });
}

}  // namespace asn1test
