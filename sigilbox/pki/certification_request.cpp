#include "sigilbox/pki/certification_request.h"

#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

// ---- CertificationRequestInfo -----------------------------------------------------------

CASN1_CertificationRequestInfo::CASN1_CertificationRequestInfo() : CASN1_SEQUENCE(0)
{
}

CASN1_CertificationRequestInfo::CASN1_CertificationRequestInfo(const CASN1_RDNSequence& subject,
                                                               const CASN1_SubjectPublicKeyInfo& keyInfo,
                                                               const CASN1_SET& attributes)
    : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_INTEGER(0ul));
    AddObject(subject.Clone());
    AddObject(keyInfo.Clone());
    auto* tagged = new CASN1_TAGGED(0x80, 0, 0);
    AddObject(tagged);
    tagged->BuildImplicit(attributes);
}

CASN1_CertificationRequestInfo::~CASN1_CertificationRequestInfo() = default;

int CASN1_CertificationRequestInfo::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value || value->GetComponentsCount() != 4)
        return 0;
    if (!AfxCheckVersion(value, 0, "CertificationRequestInfo is not valid (cannot get version number)") ||
        !CASN1_RDNSequence::IsValid(AfxChildAt(value, 1)) || !CASN1_SubjectPublicKeyInfo::IsValid(AfxChildAt(value, 2)))
        return 0;
    auto* attributes = dynamic_cast<const CASN1_TAGGED*>(AfxChildAt(value, 3));
    if (!attributes || attributes->m_Tag != 0x80)
        return 0;
    CASN1_SET set;
    if (!CASN1_TAGGED::FromImplicit(*attributes, set))
        return 0;
    return AfxEveryChildValid(&set, 0x11, [](const CASN1Type* c) { return CASN1_Attribute::IsValid(c); });
}

CASN1_RDNSequence& CASN1_CertificationRequestInfo::GetSubject()
{
    return AfxStructureAt<CASN1_RDNSequence>(*this, 1);
}

CASN1_SubjectPublicKeyInfo& CASN1_CertificationRequestInfo::GetSubjectPublicKeyInfo()
{
    return AfxStructureAt<CASN1_SubjectPublicKeyInfo>(*this, 2);
}

// ---- CertificationRequest ---------------------------------------------------------------

CASN1_CertificationRequest::CASN1_CertificationRequest() = default;

CASN1_CertificationRequest::CASN1_CertificationRequest(const CASN1_CertificationRequestInfo& info,
                                                       const CASN1_AlgorithmIdentifier& signatureAlgorithm,
                                                       const CASN1_BIT_STRING& signature)
    : CASN1_SignedStructure(info, signatureAlgorithm, signature)
{
}

CASN1_CertificationRequest::CASN1_CertificationRequest(CDEREncoding& encoding)
    : CASN1_SignedStructure(encoding, &IsValid, "CertificationRequest contents is not valid")
{
}

CASN1_CertificationRequest::~CASN1_CertificationRequest() = default;

int CASN1_CertificationRequest::IsValid(const CASN1Type* object)
{
    return IsSignedShape(object, &CASN1_CertificationRequestInfo::IsValid, false);
}

CASN1_CertificationRequestInfo& CASN1_CertificationRequest::GetCertificatioRequestInfo()
{
    return AfxStructureAt<CASN1_CertificationRequestInfo>(*this, 0);
}
