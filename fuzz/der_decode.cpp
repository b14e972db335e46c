// Arbitrary bytes through the type factory. Decoding either raises the decoding exception
// or gives a tree that re-encodes to the very bytes it came from whenever they were DER
// with minimal lengths (otherwise to fewer bytes), and whose encoding decodes again to the
// same encoding. The explicit and implicit views of tagged values must not misbehave.
#include "sigilbox/asn1/asn1_decode.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct Deleter {
    void operator()(CASN1Type* p) const { delete p; }
};
using Owned = std::unique_ptr<CASN1Type, Deleter>;

Owned TryDecode(CDEREncoding& e)
{
    try {
        return Owned(AfxBuildFromEncoding(e));
    } catch (CDERDecodingException* x) {
        x->Delete();
        return nullptr;
    }
}

void Views(CASN1Type& object, int depth)
{
    auto* node = dynamic_cast<CASN1_CONSTRUCTED_TYPE*>(&object);
    if (!node || depth > 3)
        return;
    if (auto* tagged = dynamic_cast<CASN1_TAGGED*>(node)) {
        CASN1_SEQUENCE seq;
        CASN1_OCTET_STRING octets;
        CASN1_INTEGER integer;
        CASN1_TAGGED::FromExplicit(*tagged, seq);
        CASN1_TAGGED::FromExplicit(*tagged, integer);
        CASN1_TAGGED::FromImplicit(*tagged, octets);
        CASN1_TAGGED::FromImplicit(*tagged, seq);
    }
    for (int i = 0; i < node->GetComponentsCount() && i < 8; ++i)
        Views(node->GetComponent(i), depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    CDEREncoding input(data, size);
    Owned object = TryDecode(input);
    if (!object)
        return 0;
    int consumed = input.m_nSeek;

    CByteArray first;
    object->EncodeTo(first);
    if (first.GetSize() > consumed)
        std::abort();
    if (first.GetSize() == consumed && std::memcmp(first.GetData(), data, static_cast<size_t>(consumed)) != 0)
        std::abort();

    CDEREncoding again(first.GetData(), static_cast<unsigned long>(first.GetSize()));
    Owned second = TryDecode(again);
    if (!second || !again.IsEndSeek())
        std::abort();
    if (!AreEqual(*object, *second))
        std::abort();
    Owned clone(object->Clone());
    if (!AreEqual(*object, *clone))
        std::abort();

    Views(*object, 0);
    return 0;
}
