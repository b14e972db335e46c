// DecodeBase64 and DecodeBase64Tolerant over untrusted text: the first byte picks
// line-break skipping and the read buffer size. Raising CMIMEEncodingException is an
// accepted outcome of the strict decoder; the tolerant one must give the same result at
// every buffer size, and the strict one's result wherever that one took the whole text.
#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/transfer_decoders.h"
#include "framework/memfile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool SameBytes(CMemFile& a, CMemFile& b)
{
    return a.GetLength() == b.GetLength() &&
           (a.GetLength() == 0 || std::memcmp(a.GetBufferPtr(), b.GetBufferPtr(), static_cast<size_t>(a.GetLength())) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const UINT buffers[] = {1, 16, 1024, 4096};
    BYTE mode = data[0];
    UINT buffer = buffers[(mode >> 1) & 3];
    CMemFile source(const_cast<BYTE*>(data + 1), static_cast<UINT>(size - 1));
    CMemFile destination;
    bool strictWhole = true;
    try {
        DecodeBase64(&source, &destination, 0, mode & 1, buffer);
    } catch (CMIMEEncodingException* e) {
        e->Delete();
        strictWhole = false;
    }
    // Three bytes at most for every four characters.
    if (static_cast<size_t>(destination.GetLength()) > (size - 1) / 4 * 3 + 3)
        std::abort();

    CMemFile small, large;
    CDecodeReport smallReport, largeReport;
    source.SeekToBegin();
    DecodeBase64Tolerant(&source, &small, 0, &smallReport, buffer);
    source.SeekToBegin();
    DecodeBase64Tolerant(&source, &large, 0, &largeReport, 4096);
    if (!SameBytes(small, large) || smallReport.nSkipped != largeReport.nSkipped || smallReport.bCutShort != largeReport.bCutShort)
        std::abort();
    if (strictWhole && std::memchr(data + 1, '=', size - 1) == nullptr && !SameBytes(destination, small))
        std::abort();
    return 0;
}
