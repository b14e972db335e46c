// DecodeQuotedPrintable over untrusted text, at a read buffer size picked by the first byte,
// checked against the same input decoded with the largest buffer.
#include "decrypt/mime/transfer_decoders.h"
#include "framework/memfile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const UINT buffers[] = {1, 16, 1024, 4096};
    UINT buffer = buffers[data[0] & 3];
    CMemFile source(const_cast<BYTE*>(data + 1), static_cast<UINT>(size - 1));
    CMemFile small, large;
    DecodeQuotedPrintable(&source, &small, 0, buffer);
    source.SeekToBegin();
    DecodeQuotedPrintable(&source, &large, 0, 4096);
    if (small.GetLength() != large.GetLength() ||
        (small.GetLength() && std::memcmp(small.GetBufferPtr(), large.GetBufferPtr(), static_cast<size_t>(small.GetLength())) != 0))
        std::abort();
    return 0;
}
