#include "decrypt/core/opening_context.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/mime/mime_exception.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/pkcs7.h"

DWORD COpeningContext::OnPkcs7Object(CMemFile*, CMemFile*, CFile* source, DWORD length, CFile* destination)
{
    CDEREncoding der;
    der.SetSize(static_cast<int>(length));
    if (length == 0 || source->Read(der.GetData(), length) != length)
        AfxThrowMIMEEncodingException();
    const long long start = destination->GetPosition();
    {
        CASN1_ContentInfo contentInfo(der);
        const BOOL signedData = contentInfo.GetContentType() == CASN1_signedData();
        if (!ProcessContentInfo(contentInfo, *destination, m_progress, m_pParent))
            AfxThrowMIMEEncodingException();
        if (!signedData || destination->GetPosition() != start)
            return 1;
    }
    // Signed data without content: certificates (and CRLs) only.
    destination->Write(der.GetData(), length);
    return kPkcs7KeepAsFile;
}
