// RecipientInfo, EncryptedContentInfo, EnvelopedData and EncryptedData.
#include "sigilbox/pki/pkcs7.h"

#include "sigilbox/pki/structure_view.h"

// ---- RecipientInfo ----------------------------------------------------------------------

CASN1_RecipientInfo::CASN1_RecipientInfo() : CASN1_SEQUENCE(0)
{
}

CASN1_RecipientInfo::CASN1_RecipientInfo(const CASN1_IssuerAndSerialNumber& issuerAndSerialNumber,
                                         const CASN1_AlgorithmIdentifier& keyEncryptionAlgorithm,
                                         const CASN1_OCTET_STRING& encryptedKey)
    : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_INTEGER(0ul));
    AddObject(issuerAndSerialNumber.Clone());
    AddObject(keyEncryptionAlgorithm.Clone());
    AddObject(encryptedKey.Clone());
}

CASN1_RecipientInfo::~CASN1_RecipientInfo() = default;

int CASN1_RecipientInfo::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 4 &&
           AfxCheckVersion(value, 0, "RecipientInfo is not valid (cannot get version number)") &&
           CASN1_IssuerAndSerialNumber::IsValid(AfxChildAt(value, 1)) &&
           CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, 2)) && AfxChildTag(value, 3) == 0x04 &&
           dynamic_cast<const CASN1_OCTET_STRING*>(AfxChildAt(value, 3));
}

CASN1_IssuerAndSerialNumber& CASN1_RecipientInfo::GetIssuerAndSerialNumber()
{
    return AfxStructureAt<CASN1_IssuerAndSerialNumber>(*this, 1);
}

CASN1_AlgorithmIdentifier& CASN1_RecipientInfo::GetKeyEncryptionAlgorithm()
{
    return AfxStructureAt<CASN1_AlgorithmIdentifier>(*this, 2);
}

CASN1_OCTET_STRING& CASN1_RecipientInfo::GetEncryptedKey()
{
    return AfxChildAs<CASN1_OCTET_STRING>(*this, 3);
}

// ---- EncryptedContentInfo ---------------------------------------------------------------

CASN1_EncryptedContentInfo::CASN1_EncryptedContentInfo() : CASN1_SEQUENCE(0)
{
}

CASN1_EncryptedContentInfo::CASN1_EncryptedContentInfo(const CASN1_OBJECT_IDENTIFIER& contentType,
                                                       const CASN1_AlgorithmIdentifier& algorithm,
                                                       CASN1_TAGGED* encryptedContent)
    : CASN1_SEQUENCE(0)
{
    try {
        AddObject(contentType.Clone());
        AddObject(algorithm.Clone());
    } catch (...) {
        delete encryptedContent;
        throw;
    }
    AddObject(encryptedContent);
}

CASN1_EncryptedContentInfo::~CASN1_EncryptedContentInfo() = default;

namespace {

// Whether an implicitly tagged value holds an OCTET STRING: its octets, or segments that are
// OCTET STRINGs themselves. Checked in place, so a large encrypted content is not encoded
// and decoded again just to be looked at, nor its segments made into objects.
bool HoldsOctets(const CASN1Type& value)
{
    if (!value.m_bConstructed)
        return true;
    auto* constructed = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&value);
    return constructed && constructed->m_Components.AllCarryTag(0x04, 64);
}

}  // namespace

int CASN1_EncryptedContentInfo::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count < 2 || count > 3)
        return 0;
    if (AfxChildTag(value, 0) != 0x06 || !dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(value, 0)) ||
        !CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, 1)))
        return 0;
    if (count == 2)
        return 1;
    auto* content = dynamic_cast<const CASN1_TAGGED*>(AfxChildAt(value, 2));
    if (!content || content->m_Tag != 0x80)
        return 0;
    return HoldsOctets(*content) ? 1 : 0;
}

int CASN1_EncryptedContentInfo::IsEncryptedContent() const
{
    return GetComponentsCount() == 3;
}

CASN1_OBJECT_IDENTIFIER& CASN1_EncryptedContentInfo::GetContentType()
{
    return AfxChildAs<CASN1_OBJECT_IDENTIFIER>(*this, 0);
}

CASN1_AlgorithmIdentifier& CASN1_EncryptedContentInfo::GetContentEncryptionAlgorithm()
{
    return AfxStructureAt<CASN1_AlgorithmIdentifier>(*this, 1);
}

CASN1_TAGGED& CASN1_EncryptedContentInfo::GetEncryptedContent()
{
    return AfxChildAs<CASN1_TAGGED>(*this, 2);
}

void CASN1_EncryptedContentInfo::ReleaseContent()
{
    if (GetComponentsCount() >= 3)
        m_Components.RemoveAt(2);
}

// ---- EnvelopedData ----------------------------------------------------------------------

CASN1_EnvelopedData::CASN1_EnvelopedData() : CASN1_SEQUENCE(0)
{
}

CASN1_EnvelopedData::CASN1_EnvelopedData(CASN1_EncryptedContentInfo* info) : CASN1_SEQUENCE(0)
{
    try {
        AddObject(new CASN1_INTEGER(0ul));
        AddObject(new CASN1_SET);
    } catch (...) {
        delete info;
        throw;
    }
    AddObject(info);
}

CASN1_EnvelopedData::~CASN1_EnvelopedData() = default;

int CASN1_EnvelopedData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 3 &&
           AfxCheckVersion(value, 0, "EnvelopedData is not valid (cannot get version number)") &&
           AfxEveryChildValid(AfxChildAt(value, 1), 0x11,
                              [](const CASN1Type* c) { return CASN1_RecipientInfo::IsValid(c); }) &&
           CASN1_EncryptedContentInfo::IsValid(AfxChildAt(value, 2));
}

CASN1_SET& CASN1_EnvelopedData::GetRecipientInfos()
{
    return AfxChildAs<CASN1_SET>(*this, 1);
}

CASN1_EncryptedContentInfo& CASN1_EnvelopedData::GetEncryptedContentInfo()
{
    return AfxStructureAt<CASN1_EncryptedContentInfo>(*this, 2);
}

void CASN1_EnvelopedData::AddRecipientInfo(const CASN1_RecipientInfo& recipientInfo)
{
    GetRecipientInfos().AddObject(recipientInfo.Clone());
}

// ---- EncryptedData ----------------------------------------------------------------------

CASN1_EncryptedData::CASN1_EncryptedData() : CASN1_SEQUENCE(0)
{
}

CASN1_EncryptedData::CASN1_EncryptedData(CASN1_EncryptedContentInfo* info) : CASN1_SEQUENCE(0)
{
    try {
        AddObject(new CASN1_INTEGER(0ul));
    } catch (...) {
        delete info;
        throw;
    }
    AddObject(info);
}

CASN1_EncryptedData::~CASN1_EncryptedData() = default;

int CASN1_EncryptedData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 2 &&
           AfxCheckVersion(value, 0, "EncryptedData is not valid (cannot get version number)") &&
           CASN1_EncryptedContentInfo::IsValid(AfxChildAt(value, 1));
}

CASN1_EncryptedContentInfo& CASN1_EncryptedData::GetEncryptedContentInfo()
{
    return AfxStructureAt<CASN1_EncryptedContentInfo>(*this, 1);
}
