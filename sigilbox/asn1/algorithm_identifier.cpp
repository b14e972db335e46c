#include "sigilbox/asn1/algorithm_identifier.h"

namespace {

// The children of a decoded value, or null when it has none to show.
const CASN1_CONSTRUCTED_TYPE* Children(const CASN1Type* object, unsigned char tag, int count)
{
    auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(object);
    if (!value || value->m_Tag != tag || value->GetComponentsCount() != count)
        return nullptr;
    for (int i = 0; i < count; ++i)
        if (!value->m_Components.GetAt(i))
            return nullptr;
    return value;
}

CASN1Type& ChildOf(CASN1Type& object, int i)
{
    return dynamic_cast<CASN1_CONSTRUCTED_TYPE&>(object).GetComponent(i);
}

}  // namespace

// ---- AlgorithmIdentifier ----------------------------------------------------------------

CASN1_AlgorithmIdentifier::CASN1_AlgorithmIdentifier(const CASN1_OBJECT_IDENTIFIER& id, const CASN1Type& parameter)
    : CASN1_SEQUENCE(0)
{
    AddObject(id.Clone());
    AddObject(parameter.Clone());
}

int CASN1_AlgorithmIdentifier::IsValid(const CASN1Type* object)
{
    // The parameter may be left out altogether (RFC 5280, RFC 5754: SHA-2 digests are sent
    // that way by many peers); GetParameter then gives a NULL.
    const CASN1_CONSTRUCTED_TYPE* value = Children(object, 0x10, 2);
    if (!value)
        value = Children(object, 0x10, 1);
    return value && value->GetComponent(0).m_Tag == 0x06;
}

CASN1_OBJECT_IDENTIFIER& CASN1_AlgorithmIdentifier::GetID()
{
    return GetID(*this);
}

CASN1Type& CASN1_AlgorithmIdentifier::GetParameter()
{
    return GetParameter(*this);
}

CASN1_OBJECT_IDENTIFIER& CASN1_AlgorithmIdentifier::GetID(CASN1Type& algorithmIdentifier)
{
    return dynamic_cast<CASN1_OBJECT_IDENTIFIER&>(ChildOf(algorithmIdentifier, 0));
}

CASN1Type& CASN1_AlgorithmIdentifier::GetParameter(CASN1Type& algorithmIdentifier)
{
    auto& value = dynamic_cast<CASN1_CONSTRUCTED_TYPE&>(algorithmIdentifier);
    if (value.GetComponentsCount() < 2) {
        // An absent parameter reads as NULL; each thread has its own, so a caller that
        // changes what it got cannot disturb another.
        thread_local CASN1_NULL absent;
        absent = CASN1_NULL();
        return absent;
    }
    return ChildOf(algorithmIdentifier, 1);
}

// ---- RC2AlgorithmParameter --------------------------------------------------------------

CASN1_RC2AlgorithmParameter::CASN1_RC2AlgorithmParameter(CDEREncoding& encoding) : CASN1_SEQUENCE(0)
{
    DecodeFrom(encoding);
    if (!IsValid(this)) {
        Clear();
        AfxThrowDERDecodingException("CASN1_RC2AlgorithmParameter contents is not valid");
    }
}

int CASN1_RC2AlgorithmParameter::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = Children(object, 0x10, 2);
    return value && value->GetComponent(0).m_Tag == 0x02 && value->GetComponent(1).m_Tag == 0x04;
}

CASN1_INTEGER& CASN1_RC2AlgorithmParameter::GetKeyBits()
{
    return GetKeyBits(*this);
}

CASN1_OCTET_STRING& CASN1_RC2AlgorithmParameter::GetInitializationVector()
{
    return GetInitializationVector(*this);
}

CASN1_INTEGER& CASN1_RC2AlgorithmParameter::GetKeyBits(CASN1Type& parameter)
{
    return dynamic_cast<CASN1_INTEGER&>(ChildOf(parameter, 0));
}

CASN1_OCTET_STRING& CASN1_RC2AlgorithmParameter::GetInitializationVector(CASN1Type& parameter)
{
    return dynamic_cast<CASN1_OCTET_STRING&>(ChildOf(parameter, 1));
}
