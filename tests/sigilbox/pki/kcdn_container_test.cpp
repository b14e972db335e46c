// Key-file entries and the key file's content, and PKCS #10 certification requests.
#include "pki_test_util.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/certification_request.h"
#include "sigilbox/pki/key_container.h"
#include "sigilbox/pki/pkcs7.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace pkitest;
using asn1test::DecodeError;
using asn1test::Enc;

namespace {

bool SameKey(const CRSAPrivateKey& a, const CRSAPrivateKey& b)
{
    return a.m_nModulusBits == b.m_nModulusBits && std::memcmp(a.m_Modulus, b.m_Modulus, 256) == 0 &&
           std::memcmp(a.m_PublicExponent, b.m_PublicExponent, 256) == 0 &&
           std::memcmp(a.m_PrivateExponent, b.m_PrivateExponent, 256) == 0 &&
           std::memcmp(a.m_Prime1, b.m_Prime1, 128) == 0 && std::memcmp(a.m_Prime2, b.m_Prime2, 128) == 0 &&
           std::memcmp(a.m_Exponent1, b.m_Exponent1, 128) == 0 && std::memcmp(a.m_Exponent2, b.m_Exponent2, 128) == 0 &&
           std::memcmp(a.m_Coefficient, b.m_Coefficient, 128) == 0;
}

CASN1_Certificate Certificate(const std::string& file)
{
    CDEREncoding encoding = FixtureEncoding(file);
    return CASN1_Certificate(encoding);
}

}  // namespace

TEST(KcdnContainer, EmptyContent)
{
    CASN1_KCDNs empty;
    EXPECT_EQ(Encoded(empty), "30 00");
    CDEREncoding encoding(empty);
    CASN1_KCDNs back(encoding);
    EXPECT_EQ(back.GetEntriesCount(), 0);
    EXPECT_TRUE(CASN1_KCDNs::IsValid(&back));

    CDEREncoding set = Enc("31 00");
    EXPECT_EQ(DecodeError([&] { CASN1_KCDNs k(set); }), "Other tag number expected");
    CDEREncoding junk = Enc("30 03 02 01 00");
    EXPECT_EQ(DecodeError([&] { CASN1_KCDNs k(junk); }), "CASN1_KCDNs contents is not valid");
}

TEST(KcdnContainer, PrivateAndPublicEntriesRoundTrip)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CDistinguishedName owner("owner@example.com");
    CASN1_KCDNs content;
    content.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(key, CString("My ID"), nullptr));
    CRSAPublicKey publicPart;
    publicPart.m_nModulusBits = key.m_nModulusBits;
    std::memcpy(publicPart.m_Modulus, key.m_Modulus, 256);
    std::memcpy(publicPart.m_PublicExponent, key.m_PublicExponent, 256);
    content.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(publicPart, CString("Friend"), &owner));
    EXPECT_TRUE(CASN1_KCDNs::IsValid(&content));

    CDEREncoding encoding(content);
    CASN1_KCDNs decoded(encoding);
    ASSERT_EQ(decoded.GetEntriesCount(), 2);

    CASN1_RSAKeyWithCertsAndDistinguishedName& mine = decoded.GetEntry(0);
    EXPECT_EQ(mine.GetComponentsCount(), 4);
    EXPECT_TRUE(mine.IsPrivateKey());
    EXPECT_FALSE(mine.IsDistinguishedName());
    EXPECT_EQ(mine.GetName(), "My ID");
    CRSAPrivateKey back;
    mine.GetPrivateKey(back);
    EXPECT_TRUE(SameKey(back, key));
    // The public key of a private entry is its public part.
    CRSAPublicKey fromPrivate;
    mine.GetPublicKey(fromPrivate);
    EXPECT_TRUE(fromPrivate == publicPart);
    EXPECT_EQ(mine.GetCertificates().GetComponentsCount(), 0);

    CASN1_RSAKeyWithCertsAndDistinguishedName& friendEntry = decoded.GetEntry(1);
    EXPECT_EQ(friendEntry.GetComponentsCount(), 5);
    EXPECT_FALSE(friendEntry.IsPrivateKey());
    EXPECT_TRUE(friendEntry.IsDistinguishedName());
    CRSAPublicKey friendKey;
    friendEntry.GetPublicKey(friendKey);
    EXPECT_TRUE(friendKey == publicPart);
    CDistinguishedName friendOwner;
    friendEntry.GetDistinguishedName(friendOwner);
    EXPECT_TRUE(friendOwner == owner);
    CRSAPrivateKey notThere;
    EXPECT_EQ(DecodeError([&] { friendEntry.GetPrivateKey(notThere); }),
              "CASN1_RSAKeyWithCertsAndDistinguishedName::GetPrivateKey - no private key");
    EXPECT_NE(DecodeError([&] { mine.GetDistinguishedName(friendOwner); }), "<no exception>");

    // The tree still encodes the same after its entries were handed out.
    EXPECT_EQ(EncodedBytes(decoded), EncodedBytes(content));
}

TEST(KcdnContainer, Certificates)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CASN1_RSAKeyWithCertsAndDistinguishedName entry(key, CString("With certs"), nullptr);
    entry.AddCertificate(new CASN1_Certificate(Certificate("user512_cert.der")));
    entry.AddCertificate(new CASN1_Certificate(Certificate("ca_cert.der")));
    EXPECT_TRUE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&entry));
    EXPECT_EQ(entry.GetCertificates().GetComponentsCount(), 2);
    const CASN1_RSAKeyWithCertsAndDistinguishedName& constEntry = entry;
    EXPECT_EQ(constEntry.GetCertificates().GetComponentsCount(), 2);

    // Something that is no certificate in the list makes the entry invalid.
    entry.GetCertificates().AddObject(new CASN1_SEQUENCE);
    EXPECT_FALSE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&entry));

    // An entry without its certificates sequence cannot take one; the certificate is freed.
    CASN1_RSAKeyWithCertsAndDistinguishedName hollow;
    EXPECT_NE(DecodeError([&] { hollow.AddCertificate(new CASN1_Certificate(Certificate("ca_cert.der"))); }),
              "<no exception>");
}

TEST(KcdnContainer, NamesAndShapes)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CASN1_RSAKeyWithCertsAndDistinguishedName entry(key, CString("x"), nullptr);
    // The name ends at its first zero octet.
    const unsigned char name[] = {0x41, 0x42, 0x00, 0x43};
    CASN1Type* old = entry.m_Components.GetAt(2);
    entry.m_Components.ElementAt(2) = new CASN1_OCTET_STRING(name, 4);
    delete old;
    EXPECT_EQ(entry.GetName(), "AB");
    EXPECT_TRUE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&entry));

    // An empty name makes the whole key file content invalid.
    CASN1_RSAKeyWithCertsAndDistinguishedName unnamed(key, CString(""), nullptr);
    EXPECT_FALSE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&unnamed));
    CASN1_KCDNs content;
    content.AddObject(unnamed.Clone());
    CDEREncoding encoding(content);
    EXPECT_EQ(DecodeError([&] { CASN1_KCDNs k(encoding); }), "CASN1_KCDNs contents is not valid");

    struct Change {
        int index;
        CASN1Type* replacement;
    };
    for (Change change : {Change{0, new CASN1_INTEGER(1ul)}, Change{1, new CASN1_SEQUENCE}, Change{2, new CASN1_INTEGER(5ul)},
                          Change{3, new CASN1_SET}}) {
        CASN1_RSAKeyWithCertsAndDistinguishedName broken(entry);
        CASN1Type* previous = broken.m_Components.GetAt(change.index);
        broken.m_Components.ElementAt(change.index) = change.replacement;
        delete previous;
        EXPECT_FALSE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&broken)) << change.index;
    }
    CASN1_RSAKeyWithCertsAndDistinguishedName sixth(entry);
    sixth.AddObject(new CASN1_RDNSequence(CDistinguishedName("a@b.c")));
    EXPECT_TRUE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&sixth));
    sixth.AddObject(new CASN1_NULL);
    EXPECT_FALSE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&sixth));
    CASN1_RSAKeyWithCertsAndDistinguishedName badOwner(entry);
    badOwner.AddObject(new CASN1_SET);
    EXPECT_FALSE(CASN1_RSAKeyWithCertsAndDistinguishedName::IsValid(&badOwner));

    // A name that is no string cannot be read.
    CASN1_RSAKeyWithCertsAndDistinguishedName numbered(entry);
    CASN1Type* previous = numbered.m_Components.GetAt(2);
    numbered.m_Components.ElementAt(2) = new CASN1_SEQUENCE;
    delete previous;
    EXPECT_EQ(DecodeError([&] { numbered.GetName(); }), "CASN1_RSAKeyWithCertsAndDistinguishedName::GetName - GetData failed");
}

TEST(CertificationRequest, OpensslRequest)
{
    std::vector<unsigned char> bytes = ReadFile(Fixture("request.der"));
    CDEREncoding encoding(bytes.data(), bytes.size());
    CASN1_CertificationRequest request(encoding);
    EXPECT_EQ(EncodedBytes(request), bytes);
    CASN1_CertificationRequestInfo& info = request.GetCertificatioRequestInfo();
    EXPECT_TRUE(CASN1_CertificationRequestInfo::IsValid(&info));
    CDistinguishedName subject = info.GetSubject();
    CString value;
    EXPECT_TRUE(subject.Find(DNCommonName, value));
    EXPECT_EQ(value, "Example User");

    // The key in the request is the user's key.
    CCertificate holder;
    info.GetSubjectPublicKeyInfo().SetDataTo(holder);
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    EXPECT_EQ(holder.m_nModulusBits, 512);
    EXPECT_EQ(std::memcmp(holder.m_Modulus, key.m_Modulus, 256), 0);

    CDEREncoding certificate = FixtureEncoding("user512_cert.der");
    EXPECT_EQ(DecodeError([&] { CASN1_CertificationRequest r(certificate); }), "CertificationRequest contents is not valid");
}

TEST(CertificationRequest, BuiltHereAndShapes)
{
    CCertificate holder;
    holder.GetDataFrom(LoadPrivateKey("user512_key.der"));
    CASN1_SET attributes;
    CASN1_SET values;
    const unsigned char password[] = "secret";
    values.AddObject(new CASN1_PrintableString(password, 6));
    attributes.AddObject(new CASN1_Attribute(CASN1_ChallengePassword(), values));
    CASN1_CertificationRequestInfo info(CASN1_RDNSequence(CDistinguishedName("req@example.com")),
                                       CASN1_SubjectPublicKeyInfo(holder), attributes);
    EXPECT_TRUE(CASN1_CertificationRequestInfo::IsValid(&info));
    EXPECT_EQ(info.GetComponent(3).m_Tag, 0x80);
    EXPECT_TRUE(info.GetComponent(3).m_bConstructed);

    unsigned char signature[64] = {1};
    CASN1_CertificationRequest request(info, CASN1_AlgorithmIdentifier(CASN1_md5WithRSAEncryption(), CASN1_NULL()),
                                       CASN1_BIT_STRING(signature, 512, 1));
    EXPECT_TRUE(CASN1_CertificationRequest::IsValid(&request));
    CDEREncoding encoding(request);
    CASN1_CertificationRequest decoded(encoding);
    EXPECT_EQ(Encoded(decoded), Encoded(request));

    // The attributes under [1], a version beyond 32 bits, an attribute that is none.
    CASN1_CertificationRequestInfo other(info);
    static_cast<CASN1_TAGGED&>(other.GetComponent(3)).m_Tag = 0x81;
    EXPECT_FALSE(CASN1_CertificationRequestInfo::IsValid(&other));
    CASN1_CertificationRequestInfo big(info);
    unsigned char huge[] = {0x05, 0x00, 0x00, 0x00, 0x00, 0x01};
    CASN1Type* old = big.m_Components.GetAt(0);
    big.m_Components.ElementAt(0) = new CASN1_INTEGER(huge, 6);
    delete old;
    EXPECT_FALSE(CASN1_CertificationRequestInfo::IsValid(&big));
    EXPECT_STREQ(AfxGetLastDERDecodingMessage(), "CertificationRequestInfo is not valid (cannot get version number)");
    CASN1_SET wrong;
    wrong.AddObject(new CASN1_INTEGER(1ul));
    CASN1_CertificationRequestInfo badAttributes(CASN1_RDNSequence(CDistinguishedName("a@b.c")),
                                                CASN1_SubjectPublicKeyInfo(holder), wrong);
    EXPECT_FALSE(CASN1_CertificationRequestInfo::IsValid(&badAttributes));
    CASN1_CertificationRequest noBits(request);
    CASN1Type* bits = noBits.m_Components.GetAt(2);
    noBits.m_Components.ElementAt(2) = new CASN1_OCTET_STRING(signature, 64);
    delete bits;
    EXPECT_FALSE(CASN1_CertificationRequest::IsValid(&noBits));
}
