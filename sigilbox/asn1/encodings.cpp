#include "sigilbox/asn1/encodings.h"

#include "framework/exceptions.h"
#include "framework/memfile.h"
#include "sigilbox/asn1/asn1_type.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/digest.h"

#include <climits>

namespace {

// The encoding in a memory file that grows 1,024 octets at a time, positioned at its start.
void EncodeToMemory(const CASN1Type& object, CMemFile& file, int contentsOnly)
{
    object.EncodeToFile(file, contentsOnly);
    file.SeekToBegin();
}

}

void AfxDigestEncoding(const CASN1Type& object, CDigestMaker& maker, int contentsOnly)
{
    CMemFile file(1024);
    EncodeToMemory(object, file, contentsOnly);
    // The digest makers count in int.
    if (file.GetLength() > INT_MAX)
        AfxThrowInvalidArgException();
    maker.UpdateBlock(file.GetBufferPtr(), static_cast<int>(file.GetLength()), nullptr, 1, 1);
}

void AfxEncryptEncoding(const CASN1Type& object, CCryptoProcessor& processor, CFile& out, int contentsOnly)
{
    CMemFile file(1024);
    EncodeToMemory(object, file, contentsOnly);
    if (file.GetLength() > INT_MAX)
        AfxThrowInvalidArgException();
    processor.EncryptFile(file, 0, out, nullptr);
}

void AfxDecryptEncoding(const CASN1Type& object, CCryptoProcessor& processor, CFile& out, int contentsOnly)
{
    CMemFile file(1024);
    EncodeToMemory(object, file, contentsOnly);
    if (file.GetLength() > INT_MAX)
        AfxThrowInvalidArgException();
    processor.DecryptFile(file, 0, out, nullptr);
}

void CASN1Type::DigestEncoding(CDigestMaker& maker, int contentsOnly) const { AfxDigestEncoding(*this, maker, contentsOnly); }

void CASN1Type::EncryptEncoding(CCryptoProcessor& processor, CFile& out, int contentsOnly) const
{
    AfxEncryptEncoding(*this, processor, out, contentsOnly);
}

void CASN1Type::DecryptEncoding(CCryptoProcessor& processor, CFile& out, int contentsOnly) const
{
    AfxDecryptEncoding(*this, processor, out, contentsOnly);
}
