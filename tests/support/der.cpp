#include "tests/support/der.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace qmtest::der {

Bytes Length(std::size_t size)
{
    if (size < 0x80)
        return Bytes{static_cast<BYTE>(size)};
    Bytes octets;
    for (; size; size >>= 8)
        octets.insert(octets.begin(), static_cast<BYTE>(size & 0xFF));
    octets.insert(octets.begin(), static_cast<BYTE>(0x80 | octets.size()));
    return octets;
}

Bytes Tlv(BYTE tag, const Bytes& content) { return Concat({Bytes{tag}, Length(content.size()), content}); }

std::string Tlv(BYTE tag, const std::string& content) { return ToString(Tlv(tag, ToBytes(content))); }

Bytes Indefinite(BYTE tag, const Bytes& content) { return Concat({Bytes{tag, 0x80}, content, Bytes{0, 0}}); }

Bytes Sequence(std::initializer_list<Bytes> items) { return Tlv(0x30, Concat(items)); }

Bytes Set(std::initializer_list<Bytes> items) { return Tlv(0x31, Concat(items)); }

Bytes OctetString(const Bytes& content) { return Tlv(0x04, content); }

Bytes Null() { return Bytes{0x05, 0x00}; }

Bytes Integer(unsigned long long value)
{
    Bytes content;
    do {
        content.insert(content.begin(), static_cast<BYTE>(value & 0xFF));
        value >>= 8;
    } while (value);
    if (content.front() & 0x80)
        content.insert(content.begin(), 0);
    return Tlv(0x02, content);
}

Bytes Oid(const std::string& dotted)
{
    std::vector<unsigned long long> arcs;
    std::stringstream in(dotted);
    std::string arc;
    while (std::getline(in, arc, '.'))
        arcs.push_back(std::strtoull(arc.c_str(), nullptr, 10));
    Bytes content;
    auto base128 = [&](unsigned long long v) {
        Bytes group{static_cast<BYTE>(v & 0x7F)};
        for (v >>= 7; v; v >>= 7)
            group.insert(group.begin(), static_cast<BYTE>(0x80 | (v & 0x7F)));
        content.insert(content.end(), group.begin(), group.end());
    };
    if (arcs.size() >= 2)
        base128(arcs[0] * 40 + arcs[1]);
    for (std::size_t i = 2; i < arcs.size(); ++i)
        base128(arcs[i]);
    return Tlv(0x06, content);
}

Bytes Explicit(unsigned n, const Bytes& content) { return Tlv(static_cast<BYTE>(0xA0 | n), content); }

}  // namespace qmtest::der
