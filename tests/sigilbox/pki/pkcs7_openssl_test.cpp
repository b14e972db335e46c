// PKCS #7 and CMS files written by openssl smime and openssl cms (signed, enveloped to one
// and to several recipients, certificates only, BER-streamed) pass the matching IsValid
// checks, and their accessors find the parts: the signers' digests unlock with their
// certificates, the recipients' keys unlock with their private keys and open the content.
#include "pki_test_util.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace pkitest;

namespace {

const char kMessage[] = "Content-Type: text/plain\r\n\r\nHello from the PKI fixtures.\r\n";

CCertificate ReadCertificate(const std::string& name)
{
    CDEREncoding encoding = FixtureEncoding(name);
    CCertificate certificate;
    CASN1_Certificate(encoding).SetDataTo(certificate);
    return certificate;
}

// The file's ContentInfo, checked and of the expected type.
std::unique_ptr<CASN1_ContentInfo> ReadContentInfo(const std::string& name, const CASN1_OBJECT_IDENTIFIER& type)
{
    CDEREncoding encoding = FixtureEncoding(name);
    auto info = std::make_unique<CASN1_ContentInfo>(encoding);
    EXPECT_TRUE(encoding.IsEndSeek()) << name;
    EXPECT_TRUE(info->IsContent()) << name;
    EXPECT_TRUE(info->GetContentType() == type) << name;
    return info;
}

// The recipient whose issuer and serial number are the certificate's, or null.
CASN1_RecipientInfo* RecipientFor(CASN1_SET& recipients, const CCertificate& certificate)
{
    for (int i = 0; i < recipients.GetComponentsCount(); ++i) {
        auto& recipient = AfxStructureAt<CASN1_RecipientInfo>(recipients, i);
        CASN1_IssuerAndSerialNumber& id = recipient.GetIssuerAndSerialNumber();
        if (static_cast<CDistinguishedName>(id.GetIssuer()) == certificate.m_Issuer &&
            static_cast<CSerialNumber>(id.GetSerialNumber()) == certificate.m_SerialNumber)
            return &recipient;
    }
    return nullptr;
}

// Deciphers the whole content and strips the block padding.
std::string Decipher(CCryptoProcessor& processor, const CASN1_TAGGED& encrypted)
{
    CASN1_OCTET_STRING ciphertext;
    EXPECT_TRUE(CASN1_TAGGED::FromImplicit(encrypted, ciphertext));
    std::vector<BYTE> plain(static_cast<size_t>(ciphertext.GetDataSize()));
    if (plain.empty() || plain.size() % 8)
        return "<bad size>";
    processor.DecryptBlock(ciphertext.GetData(), static_cast<int>(plain.size()), plain.data(), nullptr);
    size_t pad = plain.back();
    if (pad < 1 || pad > 8)
        return "<bad padding>";
    return std::string(reinterpret_cast<const char*>(plain.data()), plain.size() - pad);
}

// Opens the content for the recipient that belongs to the key and certificate.
std::string Open(CASN1_EnvelopedData& enveloped, const std::string& keyFile, const std::string& certificateFile)
{
    CASN1_RecipientInfo* recipient = RecipientFor(enveloped.GetRecipientInfos(), ReadCertificate(certificateFile));
    if (!recipient)
        return "<no recipient>";
    EXPECT_TRUE(recipient->GetKeyEncryptionAlgorithm().GetID() == CASN1_rsaEncryption());
    CRSAPrivateKey key = LoadPrivateKey(keyFile);
    CASN1_OCTET_STRING& locked = recipient->GetEncryptedKey();
    EXPECT_EQ(locked.GetDataSize(), (key.m_nModulusBits + 7) / 8);

    CASN1_EncryptedContentInfo& info = enveloped.GetEncryptedContentInfo();
    EXPECT_TRUE(info.GetContentType() == CASN1_data());
    EXPECT_TRUE(info.IsEncryptedContent());
    CASN1_AlgorithmIdentifier& algorithm = info.GetContentEncryptionAlgorithm();
    CByteArray iv;
    if (algorithm.GetID() == CASN1_RC2_CBC()) {
        CDEREncoding parameter(algorithm.GetParameter());
        CASN1_RC2AlgorithmParameter rc2(parameter);
        unsigned long version = 0;
        EXPECT_TRUE(rc2.GetKeyBits().GetInteger(version));
        EXPECT_EQ(version, 160u);  // the RC2 version number of 40 effective bits
        rc2.GetInitializationVector().GetData(iv);
        CRC2key rc2Key = key.UnlockRC2Key(locked.GetData(), 8 * locked.GetDataSize());
        EXPECT_EQ(rc2Key.m_nKeyLength, 5);
        rc2Key.m_nEffectiveBits = 40;
        std::memcpy(rc2Key.m_IV, iv.GetData(), 8);
        CRC2_CBC processor(rc2Key);
        return Decipher(processor, info.GetEncryptedContent());
    }
    EXPECT_TRUE(algorithm.GetID() == CASN1_DES_EDE3_CBC());
    dynamic_cast<CASN1_PRIMITIVE_TYPE&>(algorithm.GetParameter()).GetData(iv);
    CTripleDESkey desKey = key.UnlockTripleDESKey(locked.GetData(), 8 * locked.GetDataSize());
    std::memcpy(desKey.m_IV, iv.GetData(), 8);
    CTripleDES_CBC processor(desKey);
    return Decipher(processor, info.GetEncryptedContent());
}

// Checks the one signer of a SignedData against the certificate: its issuer and serial
// number, the message digest attribute against the content, and the signature over the
// authenticated attributes.
void CheckSigner(CASN1_SignedData& signedData, const CCertificate& certificate, CDigestMaker& maker, int length)
{
    ASSERT_EQ(signedData.GetSignerInfos().GetComponentsCount(), 1);
    auto& signer = AfxStructureAt<CASN1_SignerInfo>(signedData.GetSignerInfos(), 0);
    CASN1_IssuerAndSerialNumber& id = signer.GetIssuerAndSerialNumber();
    EXPECT_TRUE(static_cast<CDistinguishedName>(id.GetIssuer()) == certificate.m_Issuer);
    EXPECT_TRUE(static_cast<CSerialNumber>(id.GetSerialNumber()) == certificate.m_SerialNumber);
    ASSERT_TRUE(signer.IsAuthenticatedAttributes());
    EXPECT_FALSE(signer.IsUnauthenticatedAttributes());
    EXPECT_TRUE(signer.GetDigestEncyptionAlgorithm().GetID() == CASN1_rsaEncryption());

    // The content's digest is the messageDigest attribute.
    CASN1_OCTET_STRING content;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(signedData.GetContentInfo().GetContent(), content));
    maker.ResetContext();
    maker.UpdateBlock(content.GetData(), content.GetDataSize(), nullptr, 1);
    BYTE digest[20];
    maker.GetCurrentDigest(digest);
    CASN1_SET attributes = signer.GetAuthenticatedAttributes();
    bool found = false;
    for (int i = 0; i < attributes.GetComponentsCount(); ++i) {
        auto& attribute = AfxStructureAt<CASN1_Attribute>(attributes, i);
        if (attribute.GetID() == CASN1_messageDigest()) {
            auto& value = dynamic_cast<CASN1_OCTET_STRING&>(attribute.GetValues().GetComponent(0));
            EXPECT_EQ(value.GetDataSize(), length);
            EXPECT_EQ(std::memcmp(value.GetData(), digest, static_cast<size_t>(length)), 0);
            found = true;
        }
    }
    EXPECT_TRUE(found);

    // The signature covers the attributes encoded as a SET.
    std::vector<unsigned char> signedBytes = EncodedBytes(signer.GetOriginalAuthenticatedAttributes());
    signedBytes[0] = 0x31;
    maker.ResetContext();
    maker.UpdateBlock(signedBytes.data(), static_cast<int>(signedBytes.size()), nullptr, 1);
    maker.GetCurrentDigest(digest);
    CRSAPublicKey key;
    certificate.SetDataTo(key);
    CASN1_OCTET_STRING& locked = signer.GetEncryptedDigest();
    BYTE unlocked[20] = {};
    if (length == 16)
        key.UnlockMD5Digest(locked.GetData(), unlocked, 8 * locked.GetDataSize());
    else
        key.UnlockSHA1Digest(locked.GetData(), unlocked, 8 * locked.GetDataSize());
    EXPECT_EQ(std::memcmp(unlocked, digest, static_cast<size_t>(length)), 0);
}

}  // namespace

TEST(Pkcs7Openssl, SignedBySmime)
{
    CCertificate user512 = ReadCertificate("user512_cert.der");
    CCertificate user1024 = ReadCertificate("user1024_cert.der");
    struct Case {
        const char* file;
        const CCertificate* signer;
        int certificates;
        int length;
    } cases[] = {{"smime_signed_md5.der", &user512, 2, 16}, {"smime_signed_sha1.der", &user1024, 1, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto info = ReadContentInfo(c.file, CASN1_signedData());
        CASN1_SignedData signedData;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info->GetContent(), signedData));
        ASSERT_TRUE(CASN1_SignedData::IsValid(&signedData));
        EXPECT_TRUE(signedData.IsCertificates());
        EXPECT_FALSE(signedData.IsCRLs());
        EXPECT_EQ(signedData.GetDigestAlgorithms().GetComponentsCount(), 1);

        CASN1_SET certificates = signedData.GetCertificates();
        ASSERT_EQ(certificates.GetComponentsCount(), c.certificates);
        bool signerFound = false;
        for (int i = 0; i < certificates.GetComponentsCount(); ++i) {
            CCertificate certificate;
            CASN1_Certificate::SetDataTo(certificates.GetComponent(i), certificate);
            signerFound |= certificate == *c.signer;
        }
        EXPECT_TRUE(signerFound);

        CASN1_ContentInfo& inner = signedData.GetContentInfo();
        EXPECT_TRUE(inner.GetContentType() == CASN1_data());
        CASN1_OCTET_STRING content;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(inner.GetContent(), content));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(content.GetData()), content.GetDataSize()), kMessage);

        std::unique_ptr<CDigestMaker> maker;
        if (c.length == 16)
            maker = std::make_unique<CMD5DigestMaker>();
        else
            maker = std::make_unique<CSHA1DigestMaker>();
        CheckSigner(signedData, *c.signer, *maker, c.length);
    }
}

TEST(Pkcs7Openssl, SignedByCmsAndStreamed)
{
    // CMS signs with SHA-256 by default: its 32-octet message digest is accepted.
    struct Case {
        const char* file;
        int size;
    } cases[] = {{"cms_signed.der", int(sizeof kMessage - 1)}, {"cms_signed_stream.ber", 20000}, {"smime_signed_stream.ber", 20000}};
    for (const Case& c : cases) {
        const char* file = c.file;
        SCOPED_TRACE(file);
        auto info = ReadContentInfo(file, CASN1_signedData());
        CASN1_SignedData signedData;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info->GetContent(), signedData));
        EXPECT_TRUE(CASN1_SignedData::IsValid(&signedData));
        EXPECT_TRUE(signedData.IsCertificates());
        EXPECT_EQ(signedData.GetSignerInfos().GetComponentsCount(), 1);
        CASN1_OCTET_STRING content;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(signedData.GetContentInfo().GetContent(), content));
        EXPECT_EQ(content.GetDataSize(), c.size);
    }
    // The SHA-1 stream's signer checks like the plain one.
    auto info = ReadContentInfo("smime_signed_stream.ber", CASN1_signedData());
    CASN1_SignedData signedData;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info->GetContent(), signedData));
    CSHA1DigestMaker sha1;
    CheckSigner(signedData, ReadCertificate("user1024_cert.der"), sha1, 20);
}

TEST(Pkcs7Openssl, CertificatesOnlyAndCrls)
{
    auto info = ReadContentInfo("p7_certs_only.der", CASN1_signedData());
    CASN1_SignedData signedData;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info->GetContent(), signedData));
    ASSERT_TRUE(CASN1_SignedData::IsValid(&signedData));
    EXPECT_TRUE(signedData.IsCertificates());
    EXPECT_FALSE(signedData.IsCRLs());
    EXPECT_EQ(signedData.GetCertificates().GetComponentsCount(), 2);
    EXPECT_EQ(signedData.GetSignerInfos().GetComponentsCount(), 0);
    EXPECT_FALSE(signedData.GetContentInfo().IsContent());

    auto withCrl = ReadContentInfo("p7_certs_crl.der", CASN1_signedData());
    CASN1_SignedData both;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(withCrl->GetContent(), both));
    ASSERT_TRUE(CASN1_SignedData::IsValid(&both));
    EXPECT_TRUE(both.IsCertificates());
    EXPECT_TRUE(both.IsCRLs());
    CASN1_SET crls = both.GetCRLs();
    ASSERT_EQ(crls.GetComponentsCount(), 1);
    CCertificateRevocationList crl;
    CASN1_CertificateRevocationList::SetDataTo(crls.GetComponent(0), crl);
    EXPECT_EQ(crl.m_Entries.GetSize(), 2);
    EXPECT_TRUE(crl.IsSignatureOKFor(ReadCertificate("ca_cert.der")));
}

TEST(Pkcs7Openssl, EnvelopedToOneRecipient)
{
    for (const char* file : {"smime_enveloped_rc2.der", "cms_enveloped_stream.ber"}) {
        SCOPED_TRACE(file);
        auto info = ReadContentInfo(file, CASN1_envelopedData());
        CASN1_EnvelopedData enveloped;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info->GetContent(), enveloped));
        ASSERT_TRUE(CASN1_EnvelopedData::IsValid(&enveloped));
        EXPECT_FALSE(CASN1_SignedAndEnvelopedData::IsValid(&enveloped));
        EXPECT_EQ(enveloped.GetRecipientInfos().GetComponentsCount(), 1);
        std::string plain = Open(enveloped, "user512_key.der", "user512_cert.der");
        if (file[0] == 's')
            EXPECT_EQ(plain, kMessage);
        else
            EXPECT_EQ(plain, std::string(20000, 'y'));
        EXPECT_EQ(Open(enveloped, "user1024_key.der", "user1024_cert.der"), "<no recipient>");
    }
}

TEST(Pkcs7Openssl, EnvelopedToTwoRecipients)
{
    for (const char* file : {"smime_enveloped_two.der", "cms_enveloped_two.der"}) {
        SCOPED_TRACE(file);
        auto info = ReadContentInfo(file, CASN1_envelopedData());
        CASN1_EnvelopedData enveloped;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info->GetContent(), enveloped));
        ASSERT_TRUE(CASN1_EnvelopedData::IsValid(&enveloped));
        EXPECT_EQ(enveloped.GetRecipientInfos().GetComponentsCount(), 2);
        EXPECT_EQ(Open(enveloped, "user512_key.der", "user512_cert.der"), kMessage);
        EXPECT_EQ(Open(enveloped, "user1024_key.der", "user1024_cert.der"), kMessage);
        // The wrong key does not open the other recipient's key.
        CASN1_RecipientInfo* other = RecipientFor(enveloped.GetRecipientInfos(), ReadCertificate("user1024_cert.der"));
        ASSERT_NE(other, nullptr);
        CRSAPrivateKey wrong = LoadPrivateKey("user512_key.der");
        EXPECT_ANY_THROW(wrong.UnlockRC2Key(other->GetEncryptedKey().GetData(), 8 * other->GetEncryptedKey().GetDataSize()));
    }
}

TEST(Pkcs7Openssl, EveryFixtureMatchesExactlyItsType)
{
    struct Case {
        const char* file;
        bool signedData;
    } cases[] = {
        {"smime_signed_md5.der", true},   {"smime_signed_sha1.der", true},    {"smime_signed_stream.ber", true},
        {"cms_signed.der", true},         {"cms_signed_stream.ber", true},    {"p7_certs_only.der", true},
        {"p7_certs_crl.der", true},       {"smime_enveloped_rc2.der", false}, {"smime_enveloped_two.der", false},
        {"cms_enveloped_two.der", false}, {"cms_enveloped_stream.ber", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<unsigned char> bytes = ReadFile(Fixture(c.file));
        CDEREncoding encoding(bytes.data(), bytes.size());
        CASN1_ContentInfo info(encoding);
        // The whole tree re-encodes to the bytes that arrived, BER included.
        EXPECT_EQ(EncodedBytes(info), bytes);
        CASN1_SEQUENCE content;
        ASSERT_TRUE(CASN1_TAGGED::FromExplicit(info.GetContent(), content));
        EXPECT_EQ(CASN1_SignedData::IsValid(&content), c.signedData ? 1 : 0);
        EXPECT_EQ(CASN1_EnvelopedData::IsValid(&content), c.signedData ? 0 : 1);
        EXPECT_FALSE(CASN1_DigestedData::IsValid(&content));
        EXPECT_FALSE(CASN1_EncryptedData::IsValid(&content));
        EXPECT_FALSE(CASN1_ContentInfo::IsValid(&content));
    }
}
