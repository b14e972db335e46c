// Arbitrary bytes read as a PKCS #7 ContentInfo, as the decrypting program reads its input:
// the content info, then its content as each content type. Whatever the shape checks accept
// must be safe to walk with the accessors: recipients, signers, certificates and CRLs
// converted to the library's objects, names and keys. Nothing may escape but the library's
// exceptions, and nothing may leak.
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/key_container.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Certificates(const CASN1_SET& set)
{
    for (int i = 0; i < set.GetComponentsCount(); ++i) {
        CCertificate certificate;
        try {
            CASN1_Certificate::SetDataTo(set.GetComponent(i), certificate);
        } catch (CDERDecodingException* e) {
            e->Delete();
            continue;
        }
        (void)static_cast<CString>(certificate);
        CASN1_Certificate again(certificate);
        CCertificate issuer(certificate);
        certificate.IsSignatureOKFor(issuer);
    }
}

void Crls(const CASN1_SET& set)
{
    for (int i = 0; i < set.GetComponentsCount(); ++i) {
        CCertificateRevocationList crl;
        try {
            CASN1_CertificateRevocationList::SetDataTo(set.GetComponent(i), crl);
        } catch (CDERDecodingException* e) {
            e->Delete();
            continue;
        }
        (void)static_cast<CString>(crl);
    }
}

void Recipients(CASN1_SET& recipients)
{
    for (int i = 0; i < recipients.GetComponentsCount(); ++i) {
        auto& recipient = AfxStructureAt<CASN1_RecipientInfo>(recipients, i);
        CDistinguishedName issuer = recipient.GetIssuerAndSerialNumber().GetIssuer();
        (void)issuer.GetLabel();
        (void)static_cast<CSerialNumber>(recipient.GetIssuerAndSerialNumber().GetSerialNumber());
        (void)recipient.GetKeyEncryptionAlgorithm().GetID();
        (void)recipient.GetEncryptedKey().GetDataSize();
    }
}

void Signers(CASN1_SET& signers)
{
    for (int i = 0; i < signers.GetComponentsCount(); ++i) {
        auto& signer = AfxStructureAt<CASN1_SignerInfo>(signers, i);
        CDistinguishedName issuer = signer.GetIssuerAndSerialNumber().GetIssuer();
        (void)static_cast<CString>(issuer);
        (void)signer.GetDigestAlgorithmIdentifier().GetID();
        if (signer.IsAuthenticatedAttributes())
            (void)signer.GetAuthenticatedAttributes();
        (void)signer.GetDigestEncyptionAlgorithm().GetID();
        (void)signer.GetEncryptedDigest().GetDataSize();
        if (signer.IsUnauthenticatedAttributes())
            (void)signer.GetUnauthenticatedAttributes();
    }
}

void Encrypted(CASN1_EncryptedContentInfo& info)
{
    (void)info.GetContentType();
    (void)info.GetContentEncryptionAlgorithm().GetID();
    if (info.IsEncryptedContent()) {
        CASN1_OCTET_STRING octets;
        if (!CASN1_TAGGED::FromImplicit(info.GetEncryptedContent(), octets))
            std::abort();  // the check said it reads
        info.ReleaseContent();
    }
}

void Walk(CASN1_ContentInfo& info, int depth);

void Content(CASN1_TAGGED& content, int depth)
{
    CASN1_SignedData signedData;
    if (CASN1_TAGGED::FromExplicit(content, signedData) && CASN1_SignedData::IsValid(&signedData)) {
        if (signedData.IsCertificates())
            Certificates(signedData.GetCertificates());
        if (signedData.IsCRLs())
            Crls(signedData.GetCRLs());
        Signers(signedData.GetSignerInfos());
        (void)signedData.GetDigestAlgorithms().GetComponentsCount();
        Walk(signedData.GetContentInfo(), depth + 1);
    }
    CASN1_EnvelopedData enveloped;
    if (CASN1_TAGGED::FromExplicit(content, enveloped) && CASN1_EnvelopedData::IsValid(&enveloped)) {
        Recipients(enveloped.GetRecipientInfos());
        Encrypted(enveloped.GetEncryptedContentInfo());
    }
    CASN1_SignedAndEnvelopedData both;
    if (CASN1_TAGGED::FromExplicit(content, both) && CASN1_SignedAndEnvelopedData::IsValid(&both)) {
        Recipients(both.GetRecipientInfos());
        Signers(both.GetSignerInfos());
        if (both.IsCertificates())
            Certificates(both.GetCertificates());
        if (both.IsCRLs())
            Crls(both.GetCRLs());
        Encrypted(both.GetEncryptedContentInfo());
    }
    CASN1_DigestedData digested;
    if (CASN1_TAGGED::FromExplicit(content, digested) && CASN1_DigestedData::IsValid(&digested)) {
        unsigned char digest[20];
        digested.GetDigest(digest, 20);
        (void)digested.GetDigestAlgorithm().GetID();
        Walk(digested.GetContentInfo(), depth + 1);
    }
    CASN1_EncryptedData encrypted;
    if (CASN1_TAGGED::FromExplicit(content, encrypted) && CASN1_EncryptedData::IsValid(&encrypted))
        Encrypted(encrypted.GetEncryptedContentInfo());
    CASN1_KCDNs keys;
    if (CASN1_TAGGED::FromExplicit(content, keys) && CASN1_KCDNs::IsValid(&keys)) {
        for (int i = 0; i < keys.GetEntriesCount(); ++i) {
            auto& entry = keys.GetEntry(i);
            (void)entry.GetName();
            CRSAPublicKey key;
            entry.GetPublicKey(key);
            if (entry.IsDistinguishedName()) {
                CDistinguishedName owner;
                entry.GetDistinguishedName(owner);
            }
        }
    }
}

void Walk(CASN1_ContentInfo& info, int depth)
{
    if (depth > 4 || !CASN1_ContentInfo::IsValid(&info))
        return;
    (void)info.GetContentType();
    if (info.IsContent())
        Content(info.GetContent(), depth);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    CDEREncoding input(data, size);
    try {
        CASN1_ContentInfo info(input);
        Walk(info, 0);
    } catch (CDERDecodingException* e) {
        e->Delete();
    } catch (CUnlockException* e) {
        e->Delete();
    }
    return 0;
}
