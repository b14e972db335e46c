// DecodeBase64 over untrusted text: the first byte picks line-break skipping and the read
// buffer size. Raising CMIMEEncodingException is an accepted outcome.
#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/transfer_decoders.h"
#include "framework/memfile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const UINT buffers[] = {1, 16, 1024, 4096};
    BYTE mode = data[0];
    CMemFile source(const_cast<BYTE*>(data + 1), static_cast<UINT>(size - 1));
    CMemFile destination;
    try {
        DecodeBase64(&source, &destination, 0, mode & 1, buffers[(mode >> 1) & 3]);
    } catch (CMIMEEncodingException* e) {
        e->Delete();
    }
    // Three bytes at most for every four characters.
    if (static_cast<size_t>(destination.GetLength()) > (size - 1) / 4 * 3 + 3)
        std::abort();
    return 0;
}
