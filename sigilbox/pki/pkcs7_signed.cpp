// SignerInfo, SignedData, SignedAndEnvelopedData and DigestedData.
#include "sigilbox/pki/pkcs7.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/structure_view.h"

#include <cstring>
#include <initializer_list>

namespace {

// ---- the optional certificates and CRLs of the two signed types ----------------------------

// `first` is the index where the optional [0] certificates may stand (3 in SignedData, 4 in
// SignedAndEnvelopedData).
int HasCertificates(const CASN1_CONSTRUCTED_TYPE& value, int first)
{
    return value.GetComponentsCount() > first + 1 && AfxChildTag(&value, first) == 0x80;
}

int HasCRLs(const CASN1_CONSTRUCTED_TYPE& value, int first)
{
    const int at = first + HasCertificates(value, first);
    return value.GetComponentsCount() > at + 1 && AfxChildTag(&value, at) == 0x81;
}

int SignerInfosIndex(const CASN1_CONSTRUCTED_TYPE& value, int first)
{
    return first + HasCertificates(value, first) + HasCRLs(value, first);
}

// The [index] tagged child read as a SET; an empty SET when it does not decode.
CASN1_SET TaggedSet(const CASN1_CONSTRUCTED_TYPE& value, int index)
{
    CASN1_SET set;
    auto* tagged = dynamic_cast<const CASN1_TAGGED*>(AfxChildAt(&value, index));
    if (!tagged || !CASN1_TAGGED::FromImplicit(*tagged, set))
        set.Clear();
    return set;
}

// The tagged child decodes as a SET whose every element passes `isValid`.
template <class Check>
int TaggedSetValid(const CASN1_CONSTRUCTED_TYPE& value, int index, Check isValid)
{
    auto* tagged = dynamic_cast<const CASN1_TAGGED*>(AfxChildAt(&value, index));
    if (!tagged)
        return 0;
    CASN1_SET set;
    if (!CASN1_TAGGED::FromImplicit(*tagged, set))
        return 0;
    return AfxEveryChildValid(&set, 0x11, isValid);
}

// Steps shared by both signed types from the optional parts on: certificates, CRLs, the
// signers SET and nothing after it.
int OptionalPartsAndSignersValid(const CASN1_CONSTRUCTED_TYPE& value, int first)
{
    int n = 0;
    if (HasCertificates(value, first)) {
        if (!TaggedSetValid(value, first, [](const CASN1Type* c) { return CASN1_Certificate::IsValid(c); }))
            return 0;
        n = 1;
    }
    if (HasCRLs(value, first)) {
        if (!TaggedSetValid(value, first + n,
                            [](const CASN1Type* c) { return CASN1_CertificateRevocationList::IsValid(c); }))
            return 0;
        ++n;
    }
    if (!AfxEveryChildValid(AfxChildAt(&value, first + n), 0x11,
                            [](const CASN1Type* c) { return CASN1_SignerInfo::IsValid(c); }))
        return 0;
    return value.GetComponentsCount() == first + n + 1;
}

void SetCertificatesAt(CASN1_CONSTRUCTED_TYPE& value, int first, const CASN1_SET& certificates)
{
    auto* tagged = new CASN1_TAGGED(0x80, 0, 0);
    try {
        tagged->BuildImplicit(certificates);
        if (HasCertificates(value, first)) {
            CASN1Type* old = value.m_Components.GetAt(first);
            value.m_Components.ElementAt(first) = tagged;
            delete old;
        } else {
            value.m_Components.InsertAt(first, tagged);
        }
    } catch (...) {
        delete tagged;
        throw;
    }
}

// ---- SignerInfo attributes ----------------------------------------------------------------

CASN1_OBJECT_IDENTIFIER Sha2(unsigned long arc)
{
    CASN1_OBJECT_IDENTIFIER id(2, 16);
    for (unsigned long component : {840ul, 1ul, 101ul, 3ul, 4ul, 2ul, arc})
        id.AddIDComponent(component);
    return id;
}

// The digest length of a digest algorithm, or 0 when the library does not know it.
int DigestLength(const CASN1Type* algorithm)
{
    if (!AfxIsDigestAlgorithmIdentifier(algorithm))
        return 0;
    auto* id = dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(
        AfxChildAt(dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(algorithm), 0));
    if (!id)
        return 0;
    if (*id == CASN1_md2() || *id == CASN1_md5())
        return 16;
    if (*id == CASN1_sha1())
        return 20;
    if (*id == Sha2(4))
        return 28;
    if (*id == Sha2(1))
        return 32;
    if (*id == Sha2(2))
        return 48;
    if (*id == Sha2(3))
        return 64;
    return 0;
}

bool IsDigestLength(int length, int expected)
{
    if (expected)
        return length == expected;
    for (int known : {16, 20, 28, 32, 48, 64})
        if (length == known)
            return true;
    return false;
}

// The values SET of an attribute holds exactly one value with the tag octet; returns it.
const CASN1_PRIMITIVE_TYPE* SingleValue(const CASN1_CONSTRUCTED_TYPE& attribute, unsigned char tag)
{
    auto* values = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(AfxChildAt(&attribute, 1));
    if (!values || values->GetComponentsCount() != 1 || AfxChildTag(values, 0) != tag)
        return nullptr;
    return dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(AfxChildAt(values, 0));
}

// Authenticated attributes: valid attributes with exactly one contentType and exactly one
// messageDigest of the signer's digest length.
int AuthenticatedAttributesValid(const CASN1_CONSTRUCTED_TYPE& signer, int digestLength)
{
    auto* tagged = dynamic_cast<const CASN1_TAGGED*>(AfxChildAt(&signer, 3));
    if (!tagged)
        return 0;
    CASN1_SET attributes;
    if (!CASN1_TAGGED::FromImplicit(*tagged, attributes))
        return 0;
    const CASN1_contentType contentType;
    const CASN1_messageDigest messageDigest;
    int contentTypes = 0;
    int digests = 0;
    for (int i = 0; i < attributes.GetComponentsCount(); ++i) {
        const CASN1Type* child = AfxChildAt(&attributes, i);
        if (!CASN1_Attribute::IsValid(child))
            return 0;
        auto& attribute = dynamic_cast<const CASN1_CONSTRUCTED_TYPE&>(*child);
        auto& id = dynamic_cast<const CASN1_OBJECT_IDENTIFIER&>(*AfxChildAt(&attribute, 0));
        if (id == contentType) {
            if (++contentTypes > 1 || !SingleValue(attribute, 0x06))
                return 0;
        } else if (id == messageDigest) {
            const CASN1_PRIMITIVE_TYPE* digest = SingleValue(attribute, 0x04);
            if (++digests > 1 || !digest || !IsDigestLength(digest->GetDataSize(), digestLength))
                return 0;
        }
    }
    return contentTypes == 1 && digests == 1;
}

}  // namespace

// ---- SignerInfo -------------------------------------------------------------------------

CASN1_SignerInfo::CASN1_SignerInfo() : CASN1_SEQUENCE(0)
{
}

CASN1_SignerInfo::CASN1_SignerInfo(const CASN1_IssuerAndSerialNumber& issuerAndSerialNumber,
                                   const CASN1_AlgorithmIdentifier& digestAlgorithm,
                                   const CASN1_AlgorithmIdentifier& digestEncryptionAlgorithm,
                                   const CASN1_OCTET_STRING& encryptedDigest)
    : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_INTEGER(1ul));
    AddObject(issuerAndSerialNumber.Clone());
    AddObject(digestAlgorithm.Clone());
    AddObject(digestEncryptionAlgorithm.Clone());
    AddObject(encryptedDigest.Clone());
}

CASN1_SignerInfo::~CASN1_SignerInfo() = default;

int CASN1_SignerInfo::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count < 5 || count > 7)
        return 0;
    if (!AfxCheckVersion(value, 1, "SignerInfo is not valid (cannot get version number)") ||
        !CASN1_IssuerAndSerialNumber::IsValid(AfxChildAt(value, 1)) || !AfxIsDigestAlgorithmIdentifier(AfxChildAt(value, 2)))
        return 0;
    int n = 0;
    const bool authenticated = AfxChildTag(value, 3) == 0x80;
    if (authenticated) {
        if (!AuthenticatedAttributesValid(*value, DigestLength(AfxChildAt(value, 2))))
            return 0;
        n = 1;
    }
    if (!CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, n + 3)) || AfxChildTag(value, n + 4) != 0x04)
        return 0;
    if (AfxChildTag(value, n + 5) == 0x81) {
        if (!TaggedSetValid(*value, n + 5, [](const CASN1Type* c) { return CASN1_Attribute::IsValid(c); }))
            return 0;
        ++n;
    }
    return count == n + 5 ? 1 : 0;
}

int CASN1_SignerInfo::IsAuthenticatedAttributes() const
{
    return GetComponentsCount() > 5 && AfxChildTag(this, 3) == 0x80;
}

int CASN1_SignerInfo::IsUnauthenticatedAttributes() const
{
    return GetComponentsCount() > 5 && AfxChildTag(this, 5 + IsAuthenticatedAttributes()) == 0x81;
}

CASN1_IssuerAndSerialNumber& CASN1_SignerInfo::GetIssuerAndSerialNumber()
{
    return AfxStructureAt<CASN1_IssuerAndSerialNumber>(*this, 1);
}

CASN1_AlgorithmIdentifier& CASN1_SignerInfo::GetDigestAlgorithmIdentifier()
{
    return AfxStructureAt<CASN1_AlgorithmIdentifier>(*this, 2);
}

CASN1_SET CASN1_SignerInfo::GetAuthenticatedAttributes() const
{
    return TaggedSet(*this, 3);
}

CASN1_TAGGED& CASN1_SignerInfo::GetOriginalAuthenticatedAttributes()
{
    return AfxChildAs<CASN1_TAGGED>(*this, 3);
}

CASN1_AlgorithmIdentifier& CASN1_SignerInfo::GetDigestEncyptionAlgorithm()
{
    return AfxStructureAt<CASN1_AlgorithmIdentifier>(*this, 3 + IsAuthenticatedAttributes());
}

CASN1_OCTET_STRING& CASN1_SignerInfo::GetEncryptedDigest()
{
    return AfxChildAs<CASN1_OCTET_STRING>(*this, 4 + IsAuthenticatedAttributes());
}

CASN1_SET CASN1_SignerInfo::GetUnauthenticatedAttributes() const
{
    return TaggedSet(*this, 5 + IsAuthenticatedAttributes());
}

// ---- SignedData -------------------------------------------------------------------------

CASN1_SignedData::CASN1_SignedData() : CASN1_SEQUENCE(0)
{
}

CASN1_SignedData::CASN1_SignedData(CASN1_ContentInfo* contentInfo) : CASN1_SEQUENCE(0)
{
    try {
        AddObject(new CASN1_INTEGER(1ul));
        AddObject(new CASN1_SET);
    } catch (...) {
        delete contentInfo;
        throw;
    }
    AddObject(contentInfo);
    AddObject(new CASN1_SET);
}

CASN1_SignedData::~CASN1_SignedData() = default;

int CASN1_SignedData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count < 4 || count > 6)
        return 0;
    if (!AfxCheckVersion(value, 1, "SignedData is not valid (cannot get version number)"))
        return 0;
    if (!AfxEveryChildValid(AfxChildAt(value, 1), 0x11, AfxIsDigestAlgorithmIdentifier))
        return 0;
    return OptionalPartsAndSignersValid(*value, 3) && CASN1_ContentInfo::IsValid(AfxChildAt(value, 2));
}

int CASN1_SignedData::IsCertificates() const
{
    return HasCertificates(*this, 3);
}

int CASN1_SignedData::IsCRLs() const
{
    return HasCRLs(*this, 3);
}

CASN1_SET& CASN1_SignedData::GetDigestAlgorithms()
{
    return AfxChildAs<CASN1_SET>(*this, 1);
}

CASN1_ContentInfo& CASN1_SignedData::GetContentInfo()
{
    return AfxStructureAt<CASN1_ContentInfo>(*this, 2);
}

CASN1_SET& CASN1_SignedData::GetSignerInfos()
{
    return AfxChildAs<CASN1_SET>(*this, SignerInfosIndex(*this, 3));
}

CASN1_SET CASN1_SignedData::GetCertificates() const
{
    return TaggedSet(*this, 3);
}

CASN1_SET CASN1_SignedData::GetCRLs() const
{
    return TaggedSet(*this, 3 + IsCertificates());
}

void CASN1_SignedData::AddSignerInfo(const CASN1_SignerInfo& signerInfo)
{
    GetSignerInfos().AddObject(signerInfo.Clone());
}

void CASN1_SignedData::AddDigestAlgorithmIdentifier(const CASN1_AlgorithmIdentifier& algorithm)
{
    GetDigestAlgorithms().AddObject(algorithm.Clone());
}

void CASN1_SignedData::SetCertificates(const CASN1_SET& certificates)
{
    SetCertificatesAt(*this, 3, certificates);
}

// ---- SignedAndEnvelopedData -------------------------------------------------------------

CASN1_SignedAndEnvelopedData::CASN1_SignedAndEnvelopedData() : CASN1_SEQUENCE(0)
{
}

CASN1_SignedAndEnvelopedData::CASN1_SignedAndEnvelopedData(CASN1_EncryptedContentInfo* info) : CASN1_SEQUENCE(0)
{
    try {
        AddObject(new CASN1_INTEGER(1ul));
        AddObject(new CASN1_SET);
        AddObject(new CASN1_SET);
    } catch (...) {
        delete info;
        throw;
    }
    AddObject(info);
    AddObject(new CASN1_SET);
}

CASN1_SignedAndEnvelopedData::~CASN1_SignedAndEnvelopedData() = default;

int CASN1_SignedAndEnvelopedData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count < 5 || count > 7)
        return 0;
    if (!AfxCheckVersion(value, 1, "SignedAndEnvelopedData is not valid (cannot get version number)"))
        return 0;
    if (!AfxEveryChildValid(AfxChildAt(value, 1), 0x11,
                            [](const CASN1Type* c) { return CASN1_RecipientInfo::IsValid(c); }) ||
        !AfxEveryChildValid(AfxChildAt(value, 2), 0x11, AfxIsDigestAlgorithmIdentifier))
        return 0;
    return OptionalPartsAndSignersValid(*value, 4) && CASN1_EncryptedContentInfo::IsValid(AfxChildAt(value, 3));
}

int CASN1_SignedAndEnvelopedData::IsCertificates() const
{
    return HasCertificates(*this, 4);
}

int CASN1_SignedAndEnvelopedData::IsCRLs() const
{
    return HasCRLs(*this, 4);
}

CASN1_SET& CASN1_SignedAndEnvelopedData::GetRecipientInfos()
{
    return AfxChildAs<CASN1_SET>(*this, 1);
}

CASN1_SET& CASN1_SignedAndEnvelopedData::GetDigestAlgorithms()
{
    return AfxChildAs<CASN1_SET>(*this, 2);
}

CASN1_EncryptedContentInfo& CASN1_SignedAndEnvelopedData::GetEncryptedContentInfo()
{
    return AfxStructureAt<CASN1_EncryptedContentInfo>(*this, 3);
}

CASN1_SET& CASN1_SignedAndEnvelopedData::GetSignerInfos()
{
    return AfxChildAs<CASN1_SET>(*this, SignerInfosIndex(*this, 4));
}

CASN1_SET CASN1_SignedAndEnvelopedData::GetCertificates() const
{
    return TaggedSet(*this, 4);
}

CASN1_SET CASN1_SignedAndEnvelopedData::GetCRLs() const
{
    return TaggedSet(*this, 4 + IsCertificates());
}

void CASN1_SignedAndEnvelopedData::AddRecipientInfo(const CASN1_RecipientInfo& recipientInfo)
{
    GetRecipientInfos().AddObject(recipientInfo.Clone());
}

void CASN1_SignedAndEnvelopedData::AddSignerInfo(const CASN1_SignerInfo& signerInfo)
{
    GetSignerInfos().AddObject(signerInfo.Clone());
}

void CASN1_SignedAndEnvelopedData::AddDigestAlgorithmIdentifier(const CASN1_AlgorithmIdentifier& algorithm)
{
    GetDigestAlgorithms().AddObject(algorithm.Clone());
}

void CASN1_SignedAndEnvelopedData::SetCertificates(const CASN1_SET& certificates)
{
    SetCertificatesAt(*this, 4, certificates);
}

// ---- DigestedData -----------------------------------------------------------------------

CASN1_DigestedData::CASN1_DigestedData() : CASN1_SEQUENCE(0)
{
}

CASN1_DigestedData::CASN1_DigestedData(const CASN1_AlgorithmIdentifier& algorithm, CASN1_ContentInfo* contentInfo,
                                       const unsigned char* digest, int length)
    : CASN1_SEQUENCE(0)
{
    try {
        if (length < 0 || (length > 0 && !digest))
            AfxThrowInvalidArgException();
        AddObject(new CASN1_INTEGER(0ul));
        AddObject(algorithm.Clone());
    } catch (...) {
        delete contentInfo;
        throw;
    }
    AddObject(contentInfo);
    AddObject(new CASN1_OCTET_STRING(digest, static_cast<unsigned long>(length)));
}

CASN1_DigestedData::~CASN1_DigestedData() = default;

int CASN1_DigestedData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 4 &&
           AfxCheckVersion(value, 0, "DigestedData is not valid (cannot get the version number)") &&
           AfxIsDigestAlgorithmIdentifier(AfxChildAt(value, 1)) && CASN1_ContentInfo::IsValid(AfxChildAt(value, 2)) &&
           AfxChildTag(value, 3) == 0x04;
}

CASN1_AlgorithmIdentifier& CASN1_DigestedData::GetDigestAlgorithm()
{
    return AfxStructureAt<CASN1_AlgorithmIdentifier>(*this, 1);
}

CASN1_ContentInfo& CASN1_DigestedData::GetContentInfo()
{
    return AfxStructureAt<CASN1_ContentInfo>(*this, 2);
}

int CASN1_DigestedData::GetDigest(unsigned char* buffer, int length) const
{
    auto* digest = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(AfxChildAt(this, 3));
    if (!digest || !buffer || length != digest->GetDataSize())
        return 0;
    if (length)
        std::memcpy(buffer, digest->GetData(), static_cast<size_t>(length));
    return 1;
}
