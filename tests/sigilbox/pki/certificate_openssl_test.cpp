// Certificates and revocation lists made by OpenSSL decode, pass IsValid, check against
// their issuer and (version 1) re-encode to the same bytes; a certificate and a
// certificates-only SignedData made here are accepted by openssl. Fixtures come from
// tests/data/pki/make_fixtures.sh.
#include "pki_test_util.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace pkitest;
using asn1test::DecodeError;

namespace {

CCertificate ReadCertificate(const std::string& name)
{
    CDEREncoding encoding = FixtureEncoding(name);
    CASN1_Certificate asn1(encoding);
    EXPECT_TRUE(encoding.IsEndSeek()) << name;
    CCertificate certificate;
    asn1.SetDataTo(certificate);
    return certificate;
}

struct CertificateCase {
    const char* file;
    const char* issuer;
    int version;
    int algorithm;
    int bits;
};

const CertificateCase kCertificates[] = {
    {"ca_cert.der", "ca_cert.der", 2, SignatureSHA1WithRSA, 2048},
    {"user512_cert.der", "ca_cert.der", 0, SignatureMD5WithRSA, 512},
    {"user1024_cert.der", "ca_cert.der", 2, SignatureSHA1WithRSA, 1024},
    {"self512_v1.der", "self512_v1.der", 0, SignatureSHA1WithRSA, 512},
    {"multi_rdn.der", "multi_rdn.der", 0, SignatureMD5WithRSA, 1024},
    {"bmp_name.der", "bmp_name.der", 0, SignatureSHA1WithRSA, 512},
};

}  // namespace

TEST(CertificateOpenssl, DecodeCheckAndVerify)
{
    for (const CertificateCase& c : kCertificates) {
        SCOPED_TRACE(c.file);
        CDEREncoding encoding = FixtureEncoding(c.file);
        Owned plain(AfxBuildFromEncoding(encoding));
        EXPECT_TRUE(CASN1_Certificate::IsValid(plain.get()));

        CCertificate certificate = ReadCertificate(c.file);
        EXPECT_EQ(certificate.m_nVersion, c.version);
        EXPECT_EQ(certificate.m_nSignatureAlgorithm, c.algorithm);
        EXPECT_EQ(certificate.m_nModulusBits, c.bits);
        EXPECT_EQ(certificate.m_nSignatureBits, ReadCertificate(c.issuer).m_nModulusBits);
        EXPECT_TRUE(certificate.m_NotBefore.IsValid());
        EXPECT_TRUE(certificate.m_NotBefore < certificate.m_NotAfter);

        CCertificate issuer = ReadCertificate(c.issuer);
        EXPECT_TRUE(certificate.IsSignatureOKFor(issuer));
        CRSAPublicKey key;
        issuer.SetDataTo(key);
        EXPECT_TRUE(certificate.IsSignatureOKFor(key));
        EXPECT_EQ(certificate.IsSelfSigned(), std::strcmp(c.file, c.issuer) == 0 ? 1 : 0);
        EXPECT_TRUE(issuer.IsIssuerOf(certificate));
        EXPECT_TRUE(certificate.IsValidationPeriodOKFor(CUTCTime()));
    }
}

TEST(CertificateOpenssl, VersionOneCertificatesReencodeToTheSameBytes)
{
    for (const char* file : {"user512_cert.der", "self512_v1.der", "multi_rdn.der", "bmp_name.der"}) {
        SCOPED_TRACE(file);
        std::vector<unsigned char> original = ReadFile(Fixture(file));
        CCertificate certificate = ReadCertificate(file);
        CASN1_Certificate again(certificate);
        EXPECT_TRUE(CASN1_Certificate::IsValid(&again));
        EXPECT_EQ(EncodedBytes(again), original);

        // The same from a certificate that went through its archive and lost its digests.
        std::vector<unsigned char> stored = Store(certificate);
        CCertificate loaded;
        Load(loaded, stored);
        EXPECT_TRUE(loaded == certificate);
        EXPECT_EQ(EncodedBytes(CASN1_Certificate(loaded)), original);
        loaded.m_bMDDigestKnown = loaded.m_bSHA1DigestKnown = 0;
        CCertificate issuer = ReadCertificate(file[0] == 'u' ? "ca_cert.der" : file);
        EXPECT_TRUE(loaded.IsSignatureOKFor(issuer));
    }
}

TEST(CertificateOpenssl, VersionThreeCertificatesKeepWhatTheySigned)
{
    // Extensions are skipped, so the library form re-encodes without them; the decoded
    // value itself re-encodes to the same bytes, and the digest kept from it checks.
    std::vector<unsigned char> original = ReadFile(Fixture("user1024_cert.der"));
    CDEREncoding encoding(original.data(), original.size());
    CASN1_Certificate asn1(encoding);
    EXPECT_EQ(EncodedBytes(asn1), original);

    CCertificate certificate;
    asn1.SetDataTo(certificate);
    EXPECT_TRUE(certificate.m_bSHA1DigestKnown);
    std::vector<unsigned char> stored = Store(certificate);
    CCertificate loaded;
    Load(loaded, stored);
    EXPECT_TRUE(loaded.IsSignatureOKFor(ReadCertificate("ca_cert.der")));

    // Without the digest of what arrived, the data rebuilt here is not what was signed.
    loaded.m_bSHA1DigestKnown = 0;
    EXPECT_FALSE(loaded.IsSignatureOKFor(ReadCertificate("ca_cert.der")));
    CASN1_Certificate rebuilt(loaded);
    EXPECT_TRUE(CASN1_Certificate::IsValid(&rebuilt));
    EXPECT_LT(EncodedBytes(rebuilt).size(), original.size());
}

TEST(CertificateOpenssl, NamesAndNumbersOfTheFixtures)
{
    CCertificate user = ReadCertificate("user512_cert.der");
    EXPECT_EQ(static_cast<CString>(user.m_SerialNumber), "0102030405");
    EXPECT_EQ(static_cast<CString>(user.m_Subject),
              "Country name: US\r\nOrganization name: Example Org\r\nCommon name: Example User\r\n"
              "E-mail address: user@example.com\r\n");
    EXPECT_EQ(user.m_Subject.GetLabel(), "Example User");
    EXPECT_EQ(user.m_Subject.GetAt(1)->m_AttributeValues.GetAt(0)->m_nType, 19);
    EXPECT_EQ(user.m_Subject.GetAt(3)->m_AttributeValues.GetAt(0)->m_nType, 22);

    CCertificate second = ReadCertificate("user1024_cert.der");
    // The leading zero octet of the INTEGER is no part of the number.
    EXPECT_EQ(static_cast<CString>(second.m_SerialNumber), "FEDCBA9876543210");
    EXPECT_EQ(second.m_Subject.GetAt(2)->m_AttributeValues.GetAt(0)->m_nType, 12);  // UTF8String
    EXPECT_EQ(second.m_Subject.GetLabel2(), "Second User, second@example.org");
    EXPECT_TRUE(second.m_Issuer == ReadCertificate("ca_cert.der").m_Subject);

    CCertificate multi = ReadCertificate("multi_rdn.der");
    ASSERT_EQ(multi.m_Subject.GetSize(), 4);
    EXPECT_EQ(multi.m_Subject.GetAt(2)->m_AttributeValues.GetSize(), 2);
    EXPECT_EQ(multi.m_Subject.GetLabel(), "Multi Value");

    CCertificate bmp = ReadCertificate("bmp_name.der");
    EXPECT_EQ(bmp.m_Subject.GetAt(1)->m_AttributeValues.GetAt(0)->m_nType, 30);  // BMPString

    // The ASN.1 accessors find the same parts.
    CDEREncoding encoding = FixtureEncoding("user1024_cert.der");
    CASN1_Certificate asn1(encoding);
    EXPECT_TRUE(static_cast<CDistinguishedName>(asn1.GetIssuer()) == second.m_Issuer);
    EXPECT_TRUE(static_cast<CDistinguishedName>(asn1.GetSubject()) == second.m_Subject);
    EXPECT_TRUE(static_cast<CSerialNumber>(asn1.GetSerialNumber()) == second.m_SerialNumber);
}

TEST(CertificateOpenssl, TamperedCertificatesFail)
{
    std::vector<unsigned char> bytes = ReadFile(Fixture("user512_cert.der"));
    CCertificate issuer = ReadCertificate("ca_cert.der");
    // A changed octet in the subject, then one in the signature.
    for (size_t at : {size_t(200), bytes.size() - 3}) {
        std::vector<unsigned char> changed = bytes;
        changed[at] ^= 0x01;
        CDEREncoding encoding(changed.data(), changed.size());
        CASN1_Certificate asn1(encoding);
        CCertificate certificate;
        asn1.SetDataTo(certificate);
        EXPECT_FALSE(certificate.IsSignatureOKFor(issuer)) << at;
    }
    // The right certificate with the wrong key.
    CCertificate user = ReadCertificate("user512_cert.der");
    EXPECT_FALSE(user.IsSignatureOKFor(ReadCertificate("user1024_cert.der")));
    EXPECT_FALSE(user.IsSignatureOKFor(CRSAPublicKey()));
}

TEST(CertificateOpenssl, RevocationLists)
{
    CCertificate ca = ReadCertificate("ca_cert.der");
    CCertificate user512 = ReadCertificate("user512_cert.der");
    CCertificate user1024 = ReadCertificate("user1024_cert.der");
    for (const char* file : {"crl_v1.der", "crl_v2.der"}) {
        SCOPED_TRACE(file);
        std::vector<unsigned char> original = ReadFile(Fixture(file));
        CDEREncoding encoding(original.data(), original.size());
        CASN1_CertificateRevocationList asn1(encoding);
        EXPECT_EQ(EncodedBytes(asn1), original);
        CCertificateRevocationList crl;
        asn1.SetDataTo(crl);
        EXPECT_EQ(crl.m_nSignatureAlgorithm, SignatureSHA1WithRSA);
        EXPECT_TRUE(crl.m_Issuer == ca.m_Subject);
        EXPECT_TRUE(static_cast<CDistinguishedName>(asn1.GetIssuer()) == ca.m_Subject);
        EXPECT_TRUE(crl.IsSignatureOKFor(ca));
        EXPECT_FALSE(crl.IsSignatureOKFor(user512));
        EXPECT_TRUE(user512.IsPresentInCRL(crl));
        EXPECT_FALSE(ca.IsPresentInCRL(crl));
        EXPECT_EQ(user1024.IsPresentInCRL(crl), file[5] == '2' ? 1 : 0);
        EXPECT_TRUE(crl.m_LastUpdate < crl.m_NextUpdate);

        if (file[5] == '1') {
            // Version 1 lists are what this library writes: the same bytes come back.
            EXPECT_EQ(EncodedBytes(CASN1_CertificateRevocationList(crl)), original);
        }
    }
}

TEST(CertificateOpenssl, RequestsAndCertificateShapes)
{
    // Every fixture that is not a certificate is refused as one.
    for (const char* file : {"crl_v1.der", "request.der", "p7_certs_only.der"}) {
        CDEREncoding encoding = FixtureEncoding(file);
        EXPECT_EQ(DecodeError([&] { CASN1_Certificate c(encoding); }), "Certificate contents is not valid") << file;
    }
    CDEREncoding encoding = FixtureEncoding("user512_cert.der");
    EXPECT_EQ(DecodeError([&] { CASN1_CertificateRevocationList c(encoding); }), "CRL contents is not valid");
}

// ---- made here, read by openssl -----------------------------------------------------------

namespace {

// A self-signed certificate of the address form, signed with the fixture key.
CCertificate MakeSelfSigned(const std::string& keyFile, int version)
{
    CRSAPrivateKey key = LoadPrivateKey(keyFile);
    CCertificate certificate;
    certificate.m_nVersion = static_cast<BYTE>(version);
    BYTE serial[] = {0x12, 0x34, 0x56};
    certificate.m_SerialNumber = CSerialNumber(serial, 3);
    CDistinguishedName name("Maker@Example.com");
    certificate.m_Issuer = name;
    certificate.m_Subject = name;
    certificate.m_NotBefore = CUTCTime();
    --certificate.m_NotBefore;
    certificate.m_NotAfter = certificate.m_NotBefore;
    certificate.m_NotAfter.m_nYear = static_cast<WORD>(certificate.m_NotAfter.m_nYear + 1);
    if (certificate.m_NotAfter.m_nMonth == 2 && certificate.m_NotAfter.m_nDay == 29)
        certificate.m_NotAfter.m_nDay = 28;
    certificate.GetDataFrom(key);
    certificate.SignWith(key);
    return certificate;
}

}  // namespace

TEST(CertificateOpenssl, SignedHereChecksHere)
{
    for (const char* keyFile : {"user512_key.der", "user1024_key.der", "ca_key.der"}) {
        SCOPED_TRACE(keyFile);
        CCertificate certificate = MakeSelfSigned(keyFile, 0);
        EXPECT_EQ(certificate.m_nSignatureAlgorithm, SignatureSHA1WithRSA);
        EXPECT_EQ(certificate.m_nSignatureBits, certificate.m_nModulusBits);
        EXPECT_TRUE(certificate.IsSignatureOKFor(certificate));

        // Through DER and back: the same certificate, and it still checks.
        CASN1_Certificate asn1(certificate);
        CDEREncoding encoding(asn1);
        CASN1_Certificate decoded(encoding);
        CCertificate back;
        decoded.SetDataTo(back);
        EXPECT_TRUE(back == certificate);
        EXPECT_TRUE(back.IsSignatureOKFor(certificate));
        EXPECT_EQ(EncodedBytes(CASN1_Certificate(back)), EncodedBytes(asn1));
    }
}

TEST(CertificateOpenssl, SignedHereIsAcceptedByOpenssl)
{
    if (!qmtest::HaveOpenSSL())
        GTEST_SKIP() << "no openssl command";
    qmtest::ScratchFolder folder;
    for (const char* keyFile : {"user512_key.der", "user1024_key.der"}) {
        SCOPED_TRACE(keyFile);
        CCertificate certificate = MakeSelfSigned(keyFile, 0);
        folder.Write("made.der", EncodedBytes(CASN1_Certificate(certificate)));
        const std::string der = folder.Path("made.der");
        const std::string pem = folder.Path("made.pem");

        qmtest::CommandResult text = qmtest::RunCommand("openssl x509 -inform DER -in " + der + " -noout -text");
        ASSERT_EQ(text.status, 0) << text.output;
        EXPECT_NE(text.output.find("Serial Number: 1193046 (0x123456)"), std::string::npos) << text.output;
        EXPECT_NE(text.output.find("sha1WithRSAEncryption"), std::string::npos);
        EXPECT_NE(text.output.find("L = Internet, emailAddress = maker@example.com"), std::string::npos);

        ASSERT_EQ(qmtest::RunCommand("openssl x509 -inform DER -in " + der + " -out " + pem).status, 0);
        qmtest::CommandResult verify = qmtest::RunCommand("openssl verify -auth_level 0 -CAfile " + pem + " " + pem);
        EXPECT_EQ(verify.status, 0) << verify.output;
        EXPECT_NE(verify.output.find(": OK"), std::string::npos) << verify.output;
    }
}

TEST(CertificateOpenssl, CertificatesOnlySignedDataIsReadByOpenssl)
{
    if (!qmtest::HaveOpenSSL())
        GTEST_SKIP() << "no openssl command";
    CCertificate certificate = MakeSelfSigned("user512_key.der", 0);
    CASN1_SignedData* signedData = new CASN1_SignedData(new CASN1_ContentInfo(CASN1_data(), nullptr));
    CASN1_SET certificates;
    certificates.AddObject(new CASN1_Certificate(certificate));
    signedData->SetCertificates(certificates);
    EXPECT_TRUE(CASN1_SignedData::IsValid(signedData));
    CASN1_ContentInfo file(CASN1_signedData(), signedData);
    delete signedData;
    EXPECT_TRUE(CASN1_ContentInfo::IsValid(&file));

    qmtest::ScratchFolder folder;
    folder.Write("certs.p7m", EncodedBytes(file));
    qmtest::CommandResult listed = qmtest::RunCommand("openssl pkcs7 -inform DER -in " + folder.Path("certs.p7m") + " -print_certs");
    ASSERT_EQ(listed.status, 0) << listed.output;
    EXPECT_NE(listed.output.find("subject=L = Internet, emailAddress = maker@example.com"), std::string::npos)
        << listed.output;
    EXPECT_NE(listed.output.find("-----BEGIN CERTIFICATE-----"), std::string::npos);
}
