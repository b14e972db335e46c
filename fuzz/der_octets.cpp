// Arbitrary bytes to the identifier and length readers at every cursor position, and to the
// SET OF ordering of the input's two halves. Nothing may read outside the buffer; every
// failure must be the decoding exception; the two length readers must agree.
#include "sigilbox/asn1/der_encoding.h"

#include <cstdint>
#include <cstdlib>

namespace {

template <class F>
bool Raises(F&& action)
{
    try {
        action();
    } catch (CDERDecodingException* e) {
        e->Delete();
        return true;
    }
    return false;
}

void ReadAt(CDEREncoding& e)
{
    Raises([&] { AfxGetTagClass(e); });
    Raises([&] { AfxGetTagNumber(e); });
    Raises([&] { AfxGetTagClassAndNumber(e); });
    Raises([&] { AfxIsHighTagNumberForm(e); });
    Raises([&] { AfxIsConstructedMethod(e); });
    Raises([&] { AfxIsIndefiniteLengthMethod(e); });
    Raises([&] { AfxIsContentsEndOctets(e); });
    Raises([&] { AfxGetHighTagNumber(e); });

    unsigned long plain = 0;
    bool plainFailed = Raises([&] { plain = AfxGetEncodingLengthValue(e); });
    CHugeDigit huge(0ul);
    bool hugeFailed = Raises([&] { huge = AfxGetEncodingLength(e); });
    if (plainFailed != hugeFailed || (!plainFailed && (huge.Bits() > 32 || huge[0] != plain)))
        std::abort();

    unsigned char octets = 0;
    if (!Raises([&] { octets = AfxGetNumOfLengthOctets(e); })) {
        if (!e.IsValidBytes(octets + 1))
            std::abort();
        CDEREncoding copy(e);
        AfxSeekToContents(copy);
        if (copy.m_nSeek != e.m_nSeek + 1 + octets)
            std::abort();
        if (!plainFailed && copy.IsValidBytes(static_cast<int>(plain > 0x7FFFFFFF ? 0x7FFFFFFF : plain))) {
            copy.SeekForward(huge);
            if (copy.m_nSeek > copy.GetSize())
                std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    CDEREncoding whole(data, size);
    for (size_t i = 0; i <= size; ++i) {
        whole.m_nSeek = static_cast<int>(i);
        ReadAt(whole);
    }

    size_t half = size / 2;
    CDEREncoding a(data, half);
    CDEREncoding b(data + half, size - half);
    int ab = a <= b;
    int ba = b <= a;
    if (!ab && !ba)
        std::abort();  // the order is total
    if (!(a <= a))
        std::abort();
    return 0;
}
