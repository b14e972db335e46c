// DecodeUuencode and IsUuencodeLine over untrusted text. The first byte picks the read
// buffer size and whether a length limit applies.
#include "decrypt/mime/transfer_decoders.h"
#include "framework/memfile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const UINT buffers[] = {1, 16, 1024, 4096};
    BYTE mode = data[0];
    DWORD length = (mode & 4) ? static_cast<DWORD>((size - 1) / 2) : 0;
    CMemFile source(const_cast<BYTE*>(data + 1), static_cast<UINT>(size - 1));
    CMemFile destination;
    DWORD n = DecodeUuencode(&source, &destination, length, buffers[mode & 3]);
    if (n != destination.GetLength())
        std::abort();
    if (length && source.GetPosition() > static_cast<long long>(length) + 0)
        std::abort();
    std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    IsUuencodeLine(line.c_str());
    return 0;
}
