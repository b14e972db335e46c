#include "sigilbox/pki/signed_structure.h"

#include "sigilbox/pki/structure_view.h"

CASN1_SignedStructure::CASN1_SignedStructure() : CASN1_SEQUENCE(0)
{
}

CASN1_SignedStructure::CASN1_SignedStructure(const CASN1Type& data, const CASN1_AlgorithmIdentifier& algorithm,
                                             const CASN1_BIT_STRING& signature)
    : CASN1_SEQUENCE(0)
{
    AddObject(data.Clone());
    AddObject(algorithm.Clone());
    AddObject(signature.Clone());
}

CASN1_SignedStructure::CASN1_SignedStructure(CDEREncoding& encoding, DataCheck isValid, const char* message)
    : CASN1_SEQUENCE(0)
{
    DecodeFrom(encoding);
    if (!isValid(this)) {
        Clear();
        AfxThrowDERDecodingException(message);
    }
}

CASN1_SignedStructure::~CASN1_SignedStructure() = default;

int CASN1_SignedStructure::IsSignedShape(const CASN1Type* object, DataCheck isData, bool wholeOctets)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value || value->GetComponentsCount() != 3 || !isData(AfxChildAt(value, 0)) ||
        !CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, 1)))
        return 0;
    auto* bits = dynamic_cast<const CASN1_BIT_STRING*>(AfxChildAt(value, 2));
    return bits && bits->m_Tag == 0x03 && (!wholeOctets || bits->m_nBits % 8 == 0);
}
