// PKCS #7 structures built here: encodings, the shape checks and their edge cases, the
// accessors and the builders.
#include "pki_test_util.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace pkitest;
using asn1test::DecodeError;
using asn1test::Enc;

namespace {

const unsigned char kA[] = {0x41};

CASN1_IssuerAndSerialNumber Issuer()
{
    CDistinguishedName name("issuer@example.com");
    return CASN1_IssuerAndSerialNumber(CASN1_RDNSequence(name), CASN1_INTEGER(0x1234ul));
}

CASN1_AlgorithmIdentifier Algorithm(const CASN1_OBJECT_IDENTIFIER& id)
{
    return CASN1_AlgorithmIdentifier(id, CASN1_NULL());
}

// An attribute with one value.
CASN1_Attribute Attribute(const CASN1_OBJECT_IDENTIFIER& type, const CASN1Type& value)
{
    CASN1_SET values;
    values.AddObject(value.Clone());
    return CASN1_Attribute(type, values);
}

CASN1_OCTET_STRING Octets(int length)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(length), 0x5A);
    return CASN1_OCTET_STRING(bytes.data(), static_cast<unsigned long>(length));
}

// A signer info with the given attributes as its [0] (digest algorithm as given).
CASN1_SignerInfo SignerWith(const CASN1_OBJECT_IDENTIFIER& digest, std::initializer_list<CASN1_Attribute> attributes)
{
    CASN1_SignerInfo signer(Issuer(), Algorithm(digest), Algorithm(CASN1_rsaEncryption()), Octets(64));
    CASN1_SET set;
    for (const CASN1_Attribute& a : attributes)
        set.AddObject(a.Clone());
    auto* tagged = new CASN1_TAGGED(0x80, 0, 0);
    tagged->BuildImplicit(set);
    signer.m_Components.InsertAt(3, tagged);
    return signer;
}

CASN1_OBJECT_IDENTIFIER Sha256()
{
    CASN1_OBJECT_IDENTIFIER id(2, 16);
    for (unsigned long arc : {840ul, 1ul, 101ul, 3ul, 4ul, 2ul, 1ul})
        id.AddIDComponent(arc);
    return id;
}

// Replaces child `index` of the value.
void Replace(CASN1_CONSTRUCTED_TYPE& value, int index, CASN1Type* child)
{
    CASN1Type* old = value.m_Components.GetAt(index);
    value.m_Components.ElementAt(index) = child;
    delete old;
}

CASN1_Certificate SomeCertificate()
{
    CCertificate certificate;
    certificate.m_Issuer = CDistinguishedName("ca@example.com");
    certificate.m_Subject = CDistinguishedName("user@example.com");
    certificate.m_SerialNumber = CSerialNumber(kA, 1);
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    certificate.GetDataFrom(key);
    certificate.SignWith(key);
    return CASN1_Certificate(certificate);
}

int Valid(const CASN1_SignerInfo& signer)
{
    return CASN1_SignerInfo::IsValid(&signer);
}

}  // namespace

TEST(Pkcs7ContentInfo, EncodingAndShapes)
{
    CASN1_OCTET_STRING text(kA, 1);
    CASN1_ContentInfo info(CASN1_data(), &text);
    EXPECT_EQ(Encoded(info), "30 80 06 09 2A 86 48 86 F7 0D 01 07 01 A0 03 04 01 41 00 00");
    EXPECT_TRUE(CASN1_ContentInfo::IsValid(&info));
    EXPECT_TRUE(info.IsContent());
    EXPECT_TRUE(info.GetContentType() == CASN1_data());
    CASN1_OCTET_STRING back;
    EXPECT_TRUE(CASN1_TAGGED::FromExplicit(info.GetContent(), back));
    EXPECT_EQ(Encoded(back), "04 01 41");

    CASN1_ContentInfo bare(CASN1_data(), nullptr);
    EXPECT_TRUE(CASN1_ContentInfo::IsValid(&bare));
    EXPECT_FALSE(bare.IsContent());
    bare.ReleaseContent();
    EXPECT_EQ(bare.GetComponentsCount(), 1);

    info.ReleaseContent();
    EXPECT_FALSE(info.IsContent());
    CASN1_ContentInfo again(CASN1_data(), &text);
    again.DeleteContent();
    EXPECT_FALSE(again.IsContent());

    const char* invalid[] = {
        "30 10 06 09 2A 86 48 86 F7 0D 01 07 01 A1 03 04 01 41",                    // [1]
        "30 12 06 09 2A 86 48 86 F7 0D 01 07 01 A0 03 04 01 41 05 00",            // third child
        "30 00",                                                                   // nothing
        "30 05 02 01 01 05 00",                                                    // no type
        "31 0B 06 09 2A 86 48 86 F7 0D 01 07 01",                                  // a SET
    };
    for (const char* hex : invalid) {
        CDEREncoding encoding = Enc(hex);
        Owned value(AfxBuildFromEncoding(encoding));
        EXPECT_FALSE(CASN1_ContentInfo::IsValid(value.get())) << hex;
    }
    CDEREncoding wrong = Enc("30 10 06 09 2A 86 48 86 F7 0D 01 07 01 A1 03 04 01 41");
    EXPECT_EQ(DecodeError([&] { CASN1_ContentInfo c(wrong); }), "ContentInfo contents is not valid");
    CDEREncoding decoded = Enc("30 80 06 09 2A 86 48 86 F7 0D 01 07 01 A0 03 04 01 41 00 00");
    CASN1_ContentInfo fromBytes(decoded);
    EXPECT_TRUE(fromBytes.IsContent());
}

TEST(Pkcs7SignedData, BuildAndAddCertificates)
{
    auto* signedData = new CASN1_SignedData(new CASN1_ContentInfo(CASN1_data(), nullptr));
    std::unique_ptr<CASN1_SignedData> owner(signedData);
    EXPECT_TRUE(CASN1_SignedData::IsValid(signedData));
    EXPECT_FALSE(signedData->IsCertificates());
    EXPECT_FALSE(signedData->IsCRLs());
    EXPECT_EQ(&signedData->GetSignerInfos(), &signedData->GetComponent(3));

    CASN1_SET certificates;
    certificates.AddObject(SomeCertificate().Clone());
    signedData->SetCertificates(certificates);
    EXPECT_TRUE(CASN1_SignedData::IsValid(signedData));
    EXPECT_TRUE(signedData->IsCertificates());
    EXPECT_EQ(signedData->GetComponentsCount(), 5);
    EXPECT_EQ(&signedData->GetSignerInfos(), &signedData->GetComponent(4));
    CASN1_SET found = signedData->GetCertificates();
    ASSERT_EQ(found.GetComponentsCount(), 1);
    EXPECT_EQ(Encoded(found.GetComponent(0)), Encoded(SomeCertificate()));

    // Setting them again replaces them in place.
    CASN1_SET two(certificates);
    two.AddObject(SomeCertificate().Clone());
    signedData->SetCertificates(two);
    EXPECT_EQ(signedData->GetComponentsCount(), 5);
    EXPECT_EQ(signedData->GetCertificates().GetComponentsCount(), 2);

    // A certificate that is not valid makes the whole invalid.
    CASN1_SET junk;
    junk.AddObject(new CASN1_SEQUENCE);
    signedData->SetCertificates(junk);
    EXPECT_FALSE(CASN1_SignedData::IsValid(signedData));

    // The inner content info and the digest algorithms are reachable.
    EXPECT_TRUE(signedData->GetContentInfo().GetContentType() == CASN1_data());
    signedData->AddDigestAlgorithmIdentifier(Algorithm(CASN1_sha1()));
    signedData->AddDigestAlgorithmIdentifier(Algorithm(CASN1_md5()));
    EXPECT_EQ(signedData->GetDigestAlgorithms().GetComponentsCount(), 2);
    EXPECT_TRUE(CASN1_SET::IsValid(&signedData->GetDigestAlgorithms()));
}

TEST(Pkcs7SignedData, SignersCrlsAndPositions)
{
    CASN1_SignedData signedData(new CASN1_ContentInfo(CASN1_data(), nullptr));
    signedData.AddSignerInfo(CASN1_SignerInfo(Issuer(), Algorithm(CASN1_md5()), Algorithm(CASN1_rsaEncryption()), Octets(64)));
    EXPECT_TRUE(CASN1_SignedData::IsValid(&signedData));
    EXPECT_EQ(signedData.GetSignerInfos().GetComponentsCount(), 1);

    // A [1] of CRLs without certificates sits at the fourth place.
    CCertificateRevocationList crl;
    crl.m_Issuer = CDistinguishedName("ca@example.com");
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    crl.SignWith(key);
    CASN1_SET crls;
    crls.AddObject(new CASN1_CertificateRevocationList(crl));
    auto* tagged = new CASN1_TAGGED(0x81, 0, 0);
    tagged->BuildImplicit(crls);
    signedData.m_Components.InsertAt(3, tagged);
    EXPECT_FALSE(signedData.IsCertificates());
    EXPECT_TRUE(signedData.IsCRLs());
    EXPECT_TRUE(CASN1_SignedData::IsValid(&signedData));
    EXPECT_EQ(signedData.GetCRLs().GetComponentsCount(), 1);
    EXPECT_EQ(&signedData.GetSignerInfos(), &signedData.GetComponent(4));

    // Certificates go in front of the CRLs.
    CASN1_SET certificates;
    certificates.AddObject(SomeCertificate().Clone());
    signedData.SetCertificates(certificates);
    EXPECT_TRUE(signedData.IsCertificates());
    EXPECT_TRUE(signedData.IsCRLs());
    EXPECT_EQ(signedData.GetComponent(4).m_Tag, 0x81);
    EXPECT_EQ(&signedData.GetSignerInfos(), &signedData.GetComponent(5));
    EXPECT_TRUE(CASN1_SignedData::IsValid(&signedData));
    EXPECT_EQ(signedData.GetCRLs().GetComponentsCount(), 1);

    // Anything after the signers is refused.
    CASN1_SignedData longer(signedData);
    longer.AddObject(new CASN1_SET);
    EXPECT_FALSE(CASN1_SignedData::IsValid(&longer));
    // So is a signer that is not one.
    CASN1_SignedData badSigner(new CASN1_ContentInfo(CASN1_data(), nullptr));
    badSigner.GetSignerInfos().AddObject(new CASN1_INTEGER(1ul));
    EXPECT_FALSE(CASN1_SignedData::IsValid(&badSigner));
}

TEST(Pkcs7SignedData, Versions)
{
    unsigned char big[] = {0x05, 0x00, 0x00, 0x00, 0x00, 0x01};
    for (CASN1Type* version :
         std::initializer_list<CASN1Type*>{new CASN1_INTEGER(2ul), new CASN1_INTEGER(0ul), new CASN1_INTEGER(big, 6), new CASN1_NULL}) {
        CASN1_SignedData signedData(new CASN1_ContentInfo(CASN1_data(), nullptr));
        Replace(signedData, 0, version);
        EXPECT_FALSE(CASN1_SignedData::IsValid(&signedData));
    }
    EXPECT_STREQ(AfxGetLastDERDecodingMessage(), "SignedData is not valid (cannot get version number)");
}

TEST(Pkcs7SignerInfo, AuthenticatedAttributes)
{
    CASN1_OBJECT_IDENTIFIER dataType = CASN1_data();
    CASN1_Attribute contentType = Attribute(CASN1_contentType(), dataType);
    CASN1_Attribute time = Attribute(CASN1_signingTime(), CASN1_UTCTime(CUTCTime(CString("260101000000Z"))));

    CASN1_SignerInfo plain(Issuer(), Algorithm(CASN1_md5()), Algorithm(CASN1_rsaEncryption()), Octets(64));
    EXPECT_TRUE(CASN1_SignerInfo::IsValid(&plain));
    EXPECT_FALSE(plain.IsAuthenticatedAttributes());
    EXPECT_FALSE(plain.IsUnauthenticatedAttributes());
    EXPECT_EQ(plain.GetEncryptedDigest().GetDataSize(), 64);

    CASN1_SignerInfo md5 = SignerWith(CASN1_md5(), {contentType, Attribute(CASN1_messageDigest(), Octets(16)), time});
    EXPECT_TRUE(CASN1_SignerInfo::IsValid(&md5));
    EXPECT_TRUE(md5.IsAuthenticatedAttributes());
    EXPECT_EQ(md5.GetAuthenticatedAttributes().GetComponentsCount(), 3);
    EXPECT_EQ(md5.GetOriginalAuthenticatedAttributes().m_Tag, 0x80);
    EXPECT_TRUE(md5.GetDigestEncyptionAlgorithm().GetID() == CASN1_rsaEncryption());
    EXPECT_EQ(md5.GetEncryptedDigest().GetDataSize(), 64);
    EXPECT_TRUE(md5.GetDigestAlgorithmIdentifier().GetID() == CASN1_md5());
    EXPECT_EQ(static_cast<CSerialNumber>(md5.GetIssuerAndSerialNumber().GetSerialNumber()).GetSize(), 2);

    EXPECT_FALSE(Valid(
        SignerWith(CASN1_md5(), {contentType, Attribute(CASN1_messageDigest(), Octets(20))})));
    EXPECT_FALSE(Valid(
        SignerWith(CASN1_md5(), {contentType, contentType, Attribute(CASN1_messageDigest(), Octets(16))})));
    EXPECT_FALSE(Valid(
        SignerWith(CASN1_md5(), {Attribute(CASN1_messageDigest(), Octets(16))})));
    EXPECT_FALSE(Valid(SignerWith(
        CASN1_md5(), {contentType, Attribute(CASN1_messageDigest(), Octets(16)), Attribute(CASN1_messageDigest(), Octets(16))})));
    // A content type that is no identifier, and a digest that is no OCTET STRING.
    EXPECT_FALSE(Valid(SignerWith(
        CASN1_md5(), {Attribute(CASN1_contentType(), Octets(3)), Attribute(CASN1_messageDigest(), Octets(16))})));
    EXPECT_FALSE(Valid(
        SignerWith(CASN1_md5(), {contentType, Attribute(CASN1_messageDigest(), CASN1_INTEGER(5ul))})));

    // The digest length follows the signer's digest algorithm.
    EXPECT_TRUE(Valid(
        SignerWith(CASN1_sha1(), {contentType, Attribute(CASN1_messageDigest(), Octets(20))})));
    EXPECT_FALSE(Valid(
        SignerWith(CASN1_sha1(), {contentType, Attribute(CASN1_messageDigest(), Octets(16))})));
    EXPECT_TRUE(Valid(
        SignerWith(Sha256(), {contentType, Attribute(CASN1_messageDigest(), Octets(32))})));
    EXPECT_FALSE(Valid(
        SignerWith(Sha256(), {contentType, Attribute(CASN1_messageDigest(), Octets(20))})));
    // An algorithm the library does not know takes any usual digest length.
    EXPECT_TRUE(Valid(
        SignerWith(CASN1_rsa(), {contentType, Attribute(CASN1_messageDigest(), Octets(48))})));
    EXPECT_FALSE(Valid(
        SignerWith(CASN1_rsa(), {contentType, Attribute(CASN1_messageDigest(), Octets(17))})));
}

TEST(Pkcs7SignerInfo, UnauthenticatedAttributesAndShapes)
{
    CASN1_SignerInfo signer(Issuer(), Algorithm(CASN1_md5()), Algorithm(CASN1_rsaEncryption()), Octets(64));
    CASN1_SET attributes;
    attributes.AddObject(Attribute(CASN1_signingDescription(), Octets(4)).Clone());
    auto* tagged = new CASN1_TAGGED(0x81, 0, 0);
    tagged->BuildImplicit(attributes);
    signer.AddObject(tagged);
    EXPECT_TRUE(CASN1_SignerInfo::IsValid(&signer));
    EXPECT_TRUE(signer.IsUnauthenticatedAttributes());
    EXPECT_EQ(signer.GetUnauthenticatedAttributes().GetComponentsCount(), 1);

    CASN1_SignerInfo both = SignerWith(CASN1_md5(), {Attribute(CASN1_contentType(), CASN1_data()),
                                                      Attribute(CASN1_messageDigest(), Octets(16))});
    both.AddObject(tagged->Clone());
    EXPECT_TRUE(CASN1_SignerInfo::IsValid(&both));
    EXPECT_TRUE(both.IsUnauthenticatedAttributes());
    EXPECT_EQ(both.GetComponentsCount(), 7);

    CASN1_SignerInfo wrongVersion(signer);
    Replace(wrongVersion, 0, new CASN1_INTEGER(0ul));
    EXPECT_FALSE(CASN1_SignerInfo::IsValid(&wrongVersion));
    CASN1_SignerInfo noDigest(signer);
    Replace(noDigest, 4, new CASN1_NULL);
    EXPECT_FALSE(CASN1_SignerInfo::IsValid(&noDigest));
    CASN1_SignerInfo badAttribute(signer);
    CASN1_SET notAttributes;
    notAttributes.AddObject(new CASN1_INTEGER(1ul));
    static_cast<CASN1_TAGGED&>(badAttribute.GetComponent(5)).BuildImplicit(notAttributes);
    EXPECT_FALSE(CASN1_SignerInfo::IsValid(&badAttribute));

    CASN1_Attribute attribute = Attribute(CASN1_contentType(), CASN1_data());
    EXPECT_TRUE(CASN1_Attribute::IsValid(&attribute));
    EXPECT_TRUE(attribute.GetID() == CASN1_contentType());
    EXPECT_EQ(attribute.GetValues().GetComponentsCount(), 1);
    CASN1_Attribute sequenceValues(attribute);
    Replace(sequenceValues, 1, new CASN1_SEQUENCE);
    EXPECT_FALSE(CASN1_Attribute::IsValid(&sequenceValues));
}

TEST(Pkcs7EnvelopedData, BuildAndShapes)
{
    auto* encrypted = new CASN1_TAGGED(0x80, kA, 1);
    auto* info = new CASN1_EncryptedContentInfo(CASN1_data(), Algorithm(CASN1_DES_EDE3_CBC()), encrypted);
    CASN1_EnvelopedData enveloped(info);
    EXPECT_TRUE(CASN1_EnvelopedData::IsValid(&enveloped));
    CASN1_RecipientInfo recipient(Issuer(), Algorithm(CASN1_rsaEncryption()), Octets(64));
    EXPECT_TRUE(CASN1_RecipientInfo::IsValid(&recipient));
    enveloped.AddRecipientInfo(recipient);
    enveloped.AddRecipientInfo(recipient);
    EXPECT_TRUE(CASN1_EnvelopedData::IsValid(&enveloped));
    EXPECT_EQ(enveloped.GetRecipientInfos().GetComponentsCount(), 2);

    CASN1_EncryptedContentInfo& content = enveloped.GetEncryptedContentInfo();
    EXPECT_TRUE(content.IsEncryptedContent());
    EXPECT_TRUE(content.GetContentType() == CASN1_data());
    EXPECT_TRUE(content.GetContentEncryptionAlgorithm().GetID() == CASN1_DES_EDE3_CBC());
    CASN1_OCTET_STRING octets;
    EXPECT_TRUE(CASN1_TAGGED::FromImplicit(content.GetEncryptedContent(), octets));
    EXPECT_EQ(Encoded(octets), "04 01 41");
    content.ReleaseContent();
    EXPECT_FALSE(content.IsEncryptedContent());
    EXPECT_TRUE(CASN1_EncryptedContentInfo::IsValid(&content));
    EXPECT_TRUE(CASN1_EnvelopedData::IsValid(&enveloped));

    // Recipients of version 1 and contents that are no OCTET STRING are refused.
    CASN1_RecipientInfo versionOne(recipient);
    Replace(versionOne, 0, new CASN1_INTEGER(1ul));
    EXPECT_FALSE(CASN1_RecipientInfo::IsValid(&versionOne));
    enveloped.AddRecipientInfo(versionOne);
    EXPECT_FALSE(CASN1_EnvelopedData::IsValid(&enveloped));

    auto* constructed = new CASN1_TAGGED(0x80, 0, 0);
    constructed->BuildExplicit(CASN1_INTEGER(5ul));
    CASN1_EncryptedContentInfo notOctets(CASN1_data(), Algorithm(CASN1_RC2_CBC()), constructed);
    EXPECT_FALSE(CASN1_EncryptedContentInfo::IsValid(&notOctets));
    CASN1_EncryptedContentInfo wrongTag(CASN1_data(), Algorithm(CASN1_RC2_CBC()), new CASN1_TAGGED(0x81, kA, 1));
    EXPECT_FALSE(CASN1_EncryptedContentInfo::IsValid(&wrongTag));
    // Segments of the content are read as one string.
    CDEREncoding segmented = Enc("30 80 06 09 2A 86 48 86 F7 0D 01 07 01 30 0C 06 08 2A 86 48 86 F7 0D 03 07 05 00 "
                                 "A0 80 04 01 41 04 01 42 00 00 00 00");
    CASN1_EncryptedContentInfo streamed;
    streamed.DecodeFrom(segmented);
    EXPECT_TRUE(CASN1_EncryptedContentInfo::IsValid(&streamed));
    CASN1_OCTET_STRING joined;
    EXPECT_TRUE(CASN1_TAGGED::FromImplicit(streamed.GetEncryptedContent(), joined));
    EXPECT_EQ(joined.GetDataSize(), 2);
    // Segments may be segmented in turn; a segment of another type is refused.
    CDEREncoding nested = Enc("30 80 06 09 2A 86 48 86 F7 0D 01 07 01 30 0C 06 08 2A 86 48 86 F7 0D 03 07 05 00 "
                              "A0 80 24 80 04 01 41 00 00 04 01 42 00 00 00 00");
    CASN1_EncryptedContentInfo twoLevels;
    twoLevels.DecodeFrom(nested);
    EXPECT_TRUE(CASN1_EncryptedContentInfo::IsValid(&twoLevels));
    CDEREncoding mixed = Enc("30 80 06 09 2A 86 48 86 F7 0D 01 07 01 30 0C 06 08 2A 86 48 86 F7 0D 03 07 05 00 "
                             "A0 80 04 01 41 30 03 02 01 05 00 00 00 00");
    CASN1_EncryptedContentInfo withSequence;
    withSequence.DecodeFrom(mixed);
    EXPECT_FALSE(CASN1_EncryptedContentInfo::IsValid(&withSequence));
}

TEST(Pkcs7OtherTypes, SignedAndEnvelopedDigestedEncrypted)
{
    auto* info = new CASN1_EncryptedContentInfo(CASN1_data(), Algorithm(CASN1_RC2_CBC()), new CASN1_TAGGED(0x80, kA, 1));
    CASN1_SignedAndEnvelopedData both(info);
    EXPECT_TRUE(CASN1_SignedAndEnvelopedData::IsValid(&both));
    both.AddRecipientInfo(CASN1_RecipientInfo(Issuer(), Algorithm(CASN1_rsaEncryption()), Octets(64)));
    both.AddDigestAlgorithmIdentifier(Algorithm(CASN1_md5()));
    both.AddSignerInfo(CASN1_SignerInfo(Issuer(), Algorithm(CASN1_md5()), Algorithm(CASN1_rsaEncryption()), Octets(64)));
    EXPECT_TRUE(CASN1_SignedAndEnvelopedData::IsValid(&both));
    EXPECT_EQ(both.GetRecipientInfos().GetComponentsCount(), 1);
    EXPECT_EQ(both.GetDigestAlgorithms().GetComponentsCount(), 1);
    EXPECT_EQ(both.GetSignerInfos().GetComponentsCount(), 1);
    EXPECT_TRUE(both.GetEncryptedContentInfo().IsEncryptedContent());
    EXPECT_FALSE(both.IsCertificates());
    CASN1_SET certificates;
    certificates.AddObject(SomeCertificate().Clone());
    both.SetCertificates(certificates);
    EXPECT_TRUE(both.IsCertificates());
    EXPECT_FALSE(both.IsCRLs());
    EXPECT_EQ(&both.GetSignerInfos(), &both.GetComponent(5));
    EXPECT_EQ(both.GetCertificates().GetComponentsCount(), 1);
    EXPECT_TRUE(CASN1_SignedAndEnvelopedData::IsValid(&both));
    Replace(both, 0, new CASN1_INTEGER(0ul));
    EXPECT_FALSE(CASN1_SignedAndEnvelopedData::IsValid(&both));

    const unsigned char digest[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    CASN1_OCTET_STRING text(kA, 1);
    CASN1_DigestedData digested(Algorithm(CASN1_md5()), new CASN1_ContentInfo(CASN1_data(), &text), digest, 16);
    EXPECT_TRUE(CASN1_DigestedData::IsValid(&digested));
    EXPECT_TRUE(digested.GetDigestAlgorithm().GetID() == CASN1_md5());
    EXPECT_TRUE(digested.GetContentInfo().IsContent());
    unsigned char buffer[20];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_FALSE(digested.GetDigest(buffer, 20));
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_TRUE(digested.GetDigest(buffer, 16));
    EXPECT_EQ(std::memcmp(buffer, digest, 16), 0);
    Replace(digested, 0, new CASN1_INTEGER(1ul));
    EXPECT_FALSE(CASN1_DigestedData::IsValid(&digested));

    CASN1_EncryptedData encrypted(
        new CASN1_EncryptedContentInfo(CASN1_data(), Algorithm(CASN1_DES_CBC()), new CASN1_TAGGED(0x80, kA, 1)));
    EXPECT_TRUE(CASN1_EncryptedData::IsValid(&encrypted));
    EXPECT_TRUE(encrypted.GetEncryptedContentInfo().GetContentEncryptionAlgorithm().GetID() == CASN1_DES_CBC());
    encrypted.AddObject(new CASN1_NULL);
    EXPECT_FALSE(CASN1_EncryptedData::IsValid(&encrypted));
}

TEST(Pkcs7Views, DecodedChildrenGetTheirClass)
{
    // A decoded tree is made of plain objects; the accessors hand them out as structures and
    // the tree still encodes the same.
    CASN1_SignedData built(new CASN1_ContentInfo(CASN1_data(), nullptr));
    built.AddSignerInfo(CASN1_SignerInfo(Issuer(), Algorithm(CASN1_md5()), Algorithm(CASN1_rsaEncryption()), Octets(8)));
    std::string before = Encoded(built);
    CDEREncoding encoding(built);
    CASN1_SignedData decoded;
    decoded.DecodeFrom(encoding);
    EXPECT_EQ(dynamic_cast<CASN1_ContentInfo*>(&decoded.GetComponent(2)), nullptr);
    CASN1_ContentInfo& inner = decoded.GetContentInfo();
    EXPECT_EQ(dynamic_cast<CASN1_ContentInfo*>(&decoded.GetComponent(2)), &inner);
    EXPECT_EQ(&decoded.GetContentInfo(), &inner);
    EXPECT_TRUE(inner.GetContentType() == CASN1_data());
    CASN1_SignerInfo* signer = nullptr;
    signer = &AfxStructureAt<CASN1_SignerInfo>(decoded.GetSignerInfos(), 0);
    EXPECT_TRUE(signer->GetIssuerAndSerialNumber().GetIssuer().GetComponentsCount() == 2);
    EXPECT_EQ(Encoded(decoded), before);

    // Asking a child that is no structure for one raises instead of handing out garbage.
    EXPECT_NE(DecodeError([&] { AfxStructureAt<CASN1_ContentInfo>(decoded, 0); }), "<no exception>");
    EXPECT_NE(DecodeError([&] { CASN1_ContentInfo().GetContentType(); }), "<no exception>");
    EXPECT_THROWS_PTR(AfxStructureAt<CASN1_ContentInfo>(decoded, 9), CInvalidArgException);
}
