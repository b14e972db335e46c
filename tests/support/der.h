// DER built by hand, byte by byte, for inputs the library must read or refuse: one
// tag-length-value at a time, written without the library's own encoder.
#pragma once

#include "tests/support/bytes.h"

#include <cstddef>
#include <initializer_list>
#include <string>

namespace qmtest::der {

// The definite length octets of a content of `size` bytes (short form below 128).
Bytes Length(std::size_t size);
// Tag, definite length, content.
Bytes Tlv(BYTE tag, const Bytes& content);
// The same over byte strings, for tests that keep messages in std::string.
std::string Tlv(BYTE tag, const std::string& content);
// Tag, indefinite length, the content and the end-of-contents octets.
Bytes Indefinite(BYTE tag, const Bytes& content);

Bytes Sequence(std::initializer_list<Bytes> items);
Bytes Set(std::initializer_list<Bytes> items);
Bytes OctetString(const Bytes& content);
Bytes Null();
// An INTEGER of a small non-negative value, minimal with a leading zero where the top bit
// is set.
Bytes Integer(unsigned long long value);
// An OBJECT IDENTIFIER from its dotted text ("1.2.840.113549.1.7.1").
Bytes Oid(const std::string& dotted);
// [n] constructed, context-specific.
Bytes Explicit(unsigned n, const Bytes& content);

}  // namespace qmtest::der
