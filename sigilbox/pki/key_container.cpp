#include "sigilbox/pki/key_container.h"

#include "sigilbox/pki/pkcs1_keys.h"
#include "sigilbox/pki/rdn_sequence.h"
#include "sigilbox/pki/structure_view.h"

#include <cstring>

// ---- one entry --------------------------------------------------------------------------

CASN1_RSAKeyWithCertsAndDistinguishedName::CASN1_RSAKeyWithCertsAndDistinguishedName() : CASN1_SEQUENCE(0)
{
}

CASN1_RSAKeyWithCertsAndDistinguishedName::CASN1_RSAKeyWithCertsAndDistinguishedName(
    const CRSAPublicKey& key, const CString& name, const CDistinguishedName* owner)
    : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_INTEGER(0ul));
    AddObject(new CASN1_PublicKey(key));
    AddObject(new CASN1_OCTET_STRING(reinterpret_cast<const unsigned char*>(name.c_str()),
                                     static_cast<unsigned long>(name.GetLength())));
    AddObject(new CASN1_SEQUENCE(0));
    if (owner)
        AddObject(new CASN1_RDNSequence(*owner));
}

CASN1_RSAKeyWithCertsAndDistinguishedName::CASN1_RSAKeyWithCertsAndDistinguishedName(
    const CRSAPrivateKey& key, const CString& name, const CDistinguishedName* owner)
    : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_INTEGER(0ul));
    AddObject(new CASN1_PrivateKey(key));
    AddObject(new CASN1_OCTET_STRING(reinterpret_cast<const unsigned char*>(name.c_str()),
                                     static_cast<unsigned long>(name.GetLength())));
    AddObject(new CASN1_SEQUENCE(0));
    if (owner)
        AddObject(new CASN1_RDNSequence(*owner));
}

CASN1_RSAKeyWithCertsAndDistinguishedName::~CASN1_RSAKeyWithCertsAndDistinguishedName() = default;

void CASN1_RSAKeyWithCertsAndDistinguishedName::AddCertificate(CASN1_Certificate* certificate)
{
    CASN1_SEQUENCE* certificates = nullptr;
    try {
        certificates = &GetCertificates();
    } catch (...) {
        delete certificate;
        throw;
    }
    certificates->AddObject(certificate);
}

int CASN1_RSAKeyWithCertsAndDistinguishedName::IsPrivateKey() const
{
    return CASN1_PrivateKey::IsValid(AfxChildAt(this, 1));
}

int CASN1_RSAKeyWithCertsAndDistinguishedName::IsDistinguishedName() const
{
    return GetComponentsCount() == 5;
}

void CASN1_RSAKeyWithCertsAndDistinguishedName::GetPublicKey(CRSAPublicKey& key) const
{
    const CASN1Type& child = AfxChildAs<CASN1Type>(*this, 1);
    if (IsPrivateKey()) {
        // Read as a public key, the version would become the modulus: take the public part
        // of the private key instead.
        CRSAPrivateKey full;
        CASN1_PrivateKey::SetDataTo(child, full);
        key.m_nModulusBits = full.m_nModulusBits;
        std::memcpy(key.m_Modulus, full.m_Modulus, sizeof key.m_Modulus);
        std::memcpy(key.m_PublicExponent, full.m_PublicExponent, sizeof key.m_PublicExponent);
        return;
    }
    CASN1_PublicKey::SetDataTo(child, key);
}

void CASN1_RSAKeyWithCertsAndDistinguishedName::GetPrivateKey(CRSAPrivateKey& key) const
{
    // A public key read as a private one would shift every number by one place.
    if (!IsPrivateKey())
        AfxThrowDERDecodingException("CASN1_RSAKeyWithCertsAndDistinguishedName::GetPrivateKey - no private key");
    CASN1_PrivateKey::SetDataTo(AfxChildAs<CASN1Type>(*this, 1), key);
}

CString CASN1_RSAKeyWithCertsAndDistinguishedName::GetName() const
{
    auto* name = dynamic_cast<const CASN1_OCTET_STRING*>(AfxChildAt(this, 2));
    CByteArray octets;
    if (!name || name->m_Tag != 0x04 || !name->GetData(octets))
        AfxThrowDERDecodingException("CASN1_RSAKeyWithCertsAndDistinguishedName::GetName - GetData failed");
    int length = 0;
    while (length < octets.GetSize() && octets.GetData()[length] != 0)
        ++length;
    return CString(reinterpret_cast<const char*>(octets.GetData()), length);
}

void CASN1_RSAKeyWithCertsAndDistinguishedName::GetDistinguishedName(CDistinguishedName& owner) const
{
    const CASN1Type* name = AfxChildAt(this, 4);
    if (!name)
        AfxThrowDERDecodingException("CASN1_RSAKeyWithCertsAndDistinguishedName has no distinguished name");
    CASN1_RDNSequence::SetDataTo(*name, owner);
}

const CASN1_SEQUENCE& CASN1_RSAKeyWithCertsAndDistinguishedName::GetCertificates() const
{
    return AfxChildAs<CASN1_SEQUENCE>(*this, 3);
}

CASN1_SEQUENCE& CASN1_RSAKeyWithCertsAndDistinguishedName::GetCertificates()
{
    return AfxChildAs<CASN1_SEQUENCE>(*this, 3);
}

int CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count != 4 && count != 5)
        return 0;
    if (!AfxCheckVersion(value, 0, "CASN1_RSAKeyWithCertsAndDistinguishedName is not valid (cannot get version number)"))
        return 0;
    const CASN1Type* key = AfxChildAt(value, 1);
    if (!CASN1_PublicKey::IsValid(key) && !CASN1_PrivateKey::IsValid(key))
        return 0;
    auto* name = dynamic_cast<const CASN1_OCTET_STRING*>(AfxChildAt(value, 2));
    if (!name || name->m_Tag != 0x04 || name->GetDataSize() < 1)
        return 0;
    if (!AfxEveryChildValid(AfxChildAt(value, 3), 0x10,
                            [](const CASN1Type* c) { return CASN1_Certificate::IsValid(c); }))
        return 0;
    return count == 4 || CASN1_RDNSequence::IsValid(AfxChildAt(value, 4));
}

// ---- the key file's content -------------------------------------------------------------

CASN1_KCDNs::CASN1_KCDNs() : CASN1_SEQUENCE(0)
{
}

CASN1_KCDNs::CASN1_KCDNs(CDEREncoding& encoding) : CASN1_SEQUENCE(0)
{
    DecodeFrom(encoding);
    if (!IsValid(this)) {
        Clear();
        AfxThrowDERDecodingException("CASN1_KCDNs contents is not valid");
    }
}

CASN1_KCDNs::~CASN1_KCDNs() = default;

CASN1_RSAKeyWithCertsAndDistinguishedName& CASN1_KCDNs::GetEntry(int index)
{
    return AfxStructureAt<CASN1_RSAKeyWithCertsAndDistinguishedName>(*this, index);
}

int CASN1_KCDNs::IsValid(const CASN1Type* object)
{
    return AfxEveryChildValid(object, 0x10, [](const CASN1Type* c) {
        return CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(c);
    });
}
