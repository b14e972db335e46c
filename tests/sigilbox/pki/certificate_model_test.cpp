// The library's certificate and revocation-list objects: archives, text dumps, signing and
// its digest cache, chains, and the shape checks of the ASN.1 classes.
#include "pki_test_util.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/certificate_asn1.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace pkitest;
using asn1test::DecodeError;
using asn1test::Enc;

namespace {

CSerialNumber Serial(std::initializer_list<int> bytes)
{
    std::vector<BYTE> b;
    for (int v : bytes)
        b.push_back(static_cast<BYTE>(v));
    return CSerialNumber(b.data(), static_cast<int>(b.size()));
}

CDistinguishedName OrgName(const char* common)
{
    CDistinguishedName name;
    auto* country = new CRelativeDN;
    country->Add(new CAttributeValue(DNCountryName, "US"));
    name.Add(country);
    auto* cn = new CRelativeDN;
    cn->Add(new CAttributeValue(DNCommonName, common));
    name.Add(cn);
    return name;
}

// An unsigned certificate with the 512-bit fixture key and fixed times.
CCertificate Unsigned(std::initializer_list<int> serial, const char* subject = "Subject")
{
    CCertificate certificate;
    certificate.m_SerialNumber = Serial(serial);
    certificate.m_Issuer = OrgName("Issuer");
    certificate.m_Subject = OrgName(subject);
    certificate.m_NotBefore = CUTCTime(CString("250101000000Z"));
    certificate.m_NotAfter = CUTCTime(CString("350101000000Z"));
    certificate.GetDataFrom(LoadPrivateKey("user512_key.der"));
    return certificate;
}

// Child i of the value as a constructed object.
CASN1_CONSTRUCTED_TYPE& At(CASN1Type& value, int i)
{
    return dynamic_cast<CASN1_CONSTRUCTED_TYPE&>(dynamic_cast<CASN1_CONSTRUCTED_TYPE&>(value).GetComponent(i));
}

CASN1_TAGGED* Tagged(unsigned char tag, const CASN1Type& inner)
{
    auto* tagged = new CASN1_TAGGED(tag, 0, 0);
    tagged->BuildExplicit(inner);
    return tagged;
}

}  // namespace

// ---- signing ------------------------------------------------------------------------------

TEST(CertificateSigning, SignedStoredReloadedStillChecks)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CCertificate certificate = Unsigned({0x01});
    certificate.m_nSignatureAlgorithm = SignatureMD5WithRSA;
    certificate.SignWith(key);
    EXPECT_EQ(certificate.m_nSignatureAlgorithm, SignatureSHA1WithRSA);
    EXPECT_EQ(certificate.m_nSignatureBits, 512);
    EXPECT_TRUE(certificate.m_bSHA1DigestKnown);
    // The signature is right-aligned: nothing before the key's 64 bytes.
    for (int i = 0; i < 256 - 64; ++i)
        ASSERT_EQ(certificate.m_Signature[i], 0) << i;

    CCertificate loaded;
    Load(loaded, Store(certificate));
    EXPECT_TRUE(loaded.m_bSHA1DigestKnown);
    EXPECT_EQ(std::memcmp(loaded.m_SHA1Digest, certificate.m_SHA1Digest, 20), 0);
    EXPECT_TRUE(loaded.IsSignatureOKFor(key));
    EXPECT_TRUE(loaded.IsSignatureOKFor(certificate));

    // The digest kept is used as it is; the data rebuilt from the fields agrees here.
    loaded.m_bSHA1DigestKnown = 0;
    EXPECT_TRUE(loaded.IsSignatureOKFor(key));
    EXPECT_TRUE(loaded.m_bSHA1DigestKnown);
}

TEST(CertificateSigning, TakingANewKeyForgetsTheDigests)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CCertificate certificate = Unsigned({0x02});
    certificate.SignWith(key);
    ASSERT_TRUE(certificate.m_bSHA1DigestKnown);
    certificate.GetDataFrom(LoadPrivateKey("user1024_key.der"));
    EXPECT_FALSE(certificate.m_bSHA1DigestKnown);
    EXPECT_FALSE(certificate.m_bMDDigestKnown);
    // Signed again, the new data and the new key belong together.
    CRSAPrivateKey bigger = LoadPrivateKey("user1024_key.der");
    certificate.SignWith(bigger);
    EXPECT_EQ(certificate.m_nSignatureBits, 1024);
    EXPECT_TRUE(certificate.IsSignatureOKFor(bigger));
    EXPECT_FALSE(certificate.IsSignatureOKFor(key));
    CCertificate copy(certificate);
    copy.Done();
    EXPECT_TRUE(copy.m_Issuer.IsEmpty() && copy.m_Subject.IsEmpty());
    EXPECT_EQ(copy.m_SerialNumber.GetSize(), 0);
    EXPECT_FALSE(copy.m_bSHA1DigestKnown);
}

TEST(CertificateSigning, FailuresAreZeroOrLeaveTheCertificateAlone)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CCertificate certificate = Unsigned({0x03});
    certificate.SignWith(key);

    CCertificate bad(certificate);
    bad.m_nSignatureAlgorithm = 3;
    EXPECT_FALSE(bad.IsSignatureOKFor(key));
    EXPECT_FALSE(bad.IsSignatureOKFor(certificate));
    for (WORD bits : {WORD(0), WORD(7), WORD(2056), WORD(65535)}) {
        CCertificate odd(certificate);
        odd.m_nSignatureBits = bits;
        EXPECT_FALSE(odd.IsSignatureOKFor(key)) << bits;
    }
    // A key without a size cannot sign; nothing changes then.
    CRSAPrivateKey none;
    CCertificate unsignedCopy = Unsigned({0x03});
    unsignedCopy.m_nSignatureAlgorithm = SignatureMD2WithRSA;
    unsignedCopy.m_nSignatureBits = 8;
    EXPECT_THROWS_PTR(unsignedCopy.SignWith(none), CUnlockException);
    EXPECT_EQ(unsignedCopy.m_nSignatureAlgorithm, SignatureMD2WithRSA);
    EXPECT_EQ(unsignedCopy.m_nSignatureBits, 8);
}

TEST(CertificateSigning, TimeLayoutsSurviveTheRoundTrip)
{
    // Times of every text layout come back in that layout, so the rebuilt data is what was
    // signed.
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CCertificate certificate = Unsigned({0x04});
    certificate.m_NotBefore = CUTCTime(CString("9607011200Z"));
    certificate.m_NotAfter = CUTCTime(CString("3001011200+0130"));
    certificate.SignWith(key);
    std::vector<unsigned char> bytes = EncodedBytes(CASN1_Certificate(certificate));

    CDEREncoding encoding(bytes.data(), bytes.size());
    CCertificate back;
    CASN1_Certificate(encoding).SetDataTo(back);
    EXPECT_EQ(back.m_NotBefore.m_nTextLength, 11);
    EXPECT_EQ(back.m_NotAfter.m_nTextLength, 15);
    EXPECT_EQ(EncodedBytes(CASN1_Certificate(back)), bytes);
    back.m_bSHA1DigestKnown = 0;
    EXPECT_TRUE(back.IsSignatureOKFor(key));
}

// ---- archives -----------------------------------------------------------------------------

TEST(CertificateArchive, LayoutAndFormats)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CCertificate certificate = Unsigned({0xAB, 0xCD});
    certificate.m_nVersion = 2;
    certificate.SignWith(key);
    std::vector<unsigned char> bytes = Store(certificate);
    ASSERT_GT(bytes.size(), 8u + 768 + 2 + 2 + 20);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);                          // version
    EXPECT_EQ(bytes[2], 2);                          // algorithm (16 bits)
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[4] | bytes[5] << 8, 512);        // modulus bits
    EXPECT_EQ(bytes[6] | bytes[7] << 8, 512);        // signature bits
    EXPECT_EQ(bytes[8 + 255], 0x01);                 // exponent 65537, right-aligned
    EXPECT_EQ(bytes[8 + 768] | bytes[8 + 769] << 8, 0);  // no MD digest
    size_t sha = 8 + 768 + 2;
    EXPECT_EQ(bytes[sha] | bytes[sha + 1] << 8, 1);
    EXPECT_EQ(std::memcmp(&bytes[sha + 2], certificate.m_SHA1Digest, 20), 0);
    size_t serial = sha + 22;
    EXPECT_EQ(bytes[serial], 2);  // the serial number's byte array
    EXPECT_EQ(bytes[serial + 2], 0xAB);

    CCertificate loaded;
    Load(loaded, bytes);
    EXPECT_TRUE(loaded == certificate);

    // Format 0 has no SHA-1 part.
    std::vector<unsigned char> old = bytes;
    old[0] = 0;
    old.erase(old.begin() + static_cast<long>(sha), old.begin() + static_cast<long>(sha + 22));
    CCertificate fromOld;
    Load(fromOld, old);
    EXPECT_TRUE(fromOld == certificate);
    EXPECT_FALSE(fromOld.m_bSHA1DigestKnown);
}

TEST(CertificateArchive, RefusalsChangeNothing)
{
    CCertificate certificate = Unsigned({0x05});
    std::vector<unsigned char> bytes = Store(certificate);
    CCertificate target = Unsigned({0x77}, "Target");
    CCertificate before(target);

    std::vector<unsigned char> format = bytes;
    format[0] = 2;
    EXPECT_EQ(LoadFailure(target, format), CArchiveException::generic);
    std::vector<unsigned char> algorithm = bytes;
    algorithm[2] = 3;
    EXPECT_EQ(LoadFailure(target, algorithm), CArchiveException::generic);
    std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_NE(LoadFailure(target, cut), -1);
    std::vector<unsigned char> time = bytes;
    // Make the month of the validity end 13 (version, year, month ...).
    std::vector<unsigned char> stored = Store(certificate.m_NotAfter);
    auto at = std::search(time.begin(), time.end(), stored.begin(), stored.end());
    ASSERT_NE(at, time.end());
    at[3] = 13;
    EXPECT_EQ(LoadFailure(target, time), CArchiveException::generic);
    EXPECT_TRUE(target == before);
}

TEST(CertificateArchive, ArraysAndRevocationLists)
{
    CArray<CCertificate, const CCertificate&> certificates;
    certificates.Add(Unsigned({0x01}));
    certificates.Add(Unsigned({0x02}, "Other"));
    CArray<CCertificate, const CCertificate&> loaded;
    Load(loaded, Store(certificates));
    ASSERT_EQ(loaded.GetSize(), 2);
    EXPECT_TRUE(loaded.ElementAt(1) == certificates.ElementAt(1));

    CCertificateRevocationList crl;
    crl.m_Issuer = OrgName("Issuer");
    crl.m_Entries.Add(new CCRLEntry(Serial({0x10}), CUTCTime(CString("260101000000Z"))));
    crl.m_Entries.Add(new CCRLEntry(Serial({0x11}), CUTCTime(CString("260102000000Z"))));
    CRSAPrivateKey key = LoadPrivateKey("user1024_key.der");
    crl.SignWith(key);
    std::vector<unsigned char> bytes = Store(crl);
    EXPECT_EQ(bytes[0], 1);
    CCertificateRevocationList back;
    Load(back, bytes);
    ASSERT_EQ(back.m_Entries.GetSize(), 2);
    EXPECT_TRUE(back.m_Entries.GetAt(1)->m_SerialNumber == Serial({0x11}));
    EXPECT_TRUE(back.m_Issuer == crl.m_Issuer);
    EXPECT_TRUE(back.IsSignatureOKFor(key));

    bytes[0] = 2;
    EXPECT_EQ(LoadFailure(back, bytes), CArchiveException::generic);
    EXPECT_EQ(back.m_Entries.GetSize(), 2);

    CCRLEntry entry(Serial({0x01}), CUTCTime(CString("260101000000Z")));
    std::vector<unsigned char> entryBytes = Store(entry);
    EXPECT_EQ(entryBytes[0], 0);
    entryBytes[0] = 1;
    EXPECT_EQ(LoadFailure(entry, entryBytes), CArchiveException::generic);
}

// ---- text dumps ---------------------------------------------------------------------------

TEST(CertificateText, CertificateDump)
{
    CCertificate certificate = Unsigned({0x12, 0x34});
    certificate.m_nSignatureAlgorithm = SignatureMD5WithRSA;
    std::string hex = asn1test::ToHex(certificate.m_Modulus + 192, 64);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    ASSERT_EQ(hex.size(), 128u);
    std::string expected = "Syntax Version: 0\r\nSerial Number: 1234\r\nSignature Algorithm: MD5 With RSA Encryption\r\n"
                           "Issuer:\r\nCountry name: US\r\nCommon name: Issuer\r\n"
                           "Valid not before: " +
                           std::string(certificate.m_NotBefore.GetTimeAsString(1, 0)) +
                           "\r\nValid not after: " + std::string(certificate.m_NotAfter.GetTimeAsString(1, 0)) +
                           "\r\nOwner:\r\nCountry name: US\r\nCommon name: Subject\r\n"
                           "Public Key:\r\n   Modulus Length:\r\n      512 bits\r\n   Modulus:\r\n"
                           "      " + hex.substr(0, 60) + "\r\n      " + hex.substr(60, 60) + "\r\n      " +
                           hex.substr(120) + "\r\n   Public Exponent:\r\n      010001";
    EXPECT_EQ(std::string(static_cast<CString>(certificate)), expected);

    certificate.m_nSignatureAlgorithm = 3;
    EXPECT_NE(std::string(static_cast<CString>(certificate)).find("Signature Algorithm: <<< BAD!!! >>>\r\n"),
              std::string::npos);
    certificate.m_nSignatureAlgorithm = SignatureSHA1WithRSA;
    EXPECT_NE(std::string(static_cast<CString>(certificate)).find("SHA1 With RSA Encryption"), std::string::npos);

    // An all-zero key still shows one byte of each number.
    CCertificate empty;
    EXPECT_NE(std::string(static_cast<CString>(empty)).find("   Modulus:\r\n      00\r\n   Public Exponent:\r\n      00"),
              std::string::npos);
}

TEST(CertificateText, RevocationListDump)
{
    CCertificateRevocationList crl;
    crl.m_Issuer = OrgName("Issuer");
    crl.m_LastUpdate = CUTCTime(CString("260101000000Z"));
    crl.m_NextUpdate = CUTCTime(CString("260201000000Z"));
    std::string head = "CRL issued by:\r\nCountry name: US\r\nCommon name: Issuer\r\nLast Update: " +
                       std::string(crl.m_LastUpdate.GetTimeAsString(1, 0)) +
                       "\r\nNext Update: " + std::string(crl.m_NextUpdate.GetTimeAsString(1, 0)) +
                       "\r\nRevoked Certificates:\r\n";
    EXPECT_EQ(std::string(static_cast<CString>(crl)), head + "No CRL Entries\r\n");

    CUTCTime first(CString("251224120000Z"));
    CUTCTime second(CString("251225120000Z"));
    crl.m_Entries.Add(new CCRLEntry(Serial({0x0A}), first));
    crl.m_Entries.Add(new CCRLEntry(Serial({0x0B, 0x0C}), second));
    EXPECT_EQ(std::string(static_cast<CString>(*crl.m_Entries.GetAt(0))),
              "Serial Number: 0A Revocation Date: " + std::string(first.GetTimeAsString(1, 0)));
    EXPECT_EQ(std::string(static_cast<CString>(crl)),
              head + "Serial Number: 0B0C Revocation Date: " + std::string(second.GetTimeAsString(1, 0)) +
                  "\r\nSerial Number: 0A Revocation Date: " + std::string(first.GetTimeAsString(1, 0)) + "\r\n");

    CCertificateRevocationList copy(crl);
    crl.Done();
    EXPECT_EQ(crl.m_Entries.GetSize(), 0);
    EXPECT_TRUE(crl.m_Issuer.IsEmpty());
    EXPECT_EQ(copy.m_Entries.GetSize(), 2);
}

// ---- tests on certificates ----------------------------------------------------------------

TEST(CertificateTests, PeriodIssuerAndRevocation)
{
    CCertificate certificate = Unsigned({0x01});
    EXPECT_TRUE(certificate.IsValidationPeriodOKFor(CUTCTime(CString("250101000000Z"))));
    EXPECT_TRUE(certificate.IsValidationPeriodOKFor(CUTCTime(CString("350101000000Z"))));
    EXPECT_FALSE(certificate.IsValidationPeriodOKFor(CUTCTime(CString("241231235959Z"))));
    EXPECT_FALSE(certificate.IsValidationPeriodOKFor(CUTCTime(CString("350101000001Z"))));
    EXPECT_FALSE(certificate.IsSelfSigned());

    CCertificate issuer = Unsigned({0x09}, "Issuer");
    EXPECT_TRUE(issuer.IsIssuerOf(certificate));
    EXPECT_FALSE(certificate.IsIssuerOf(issuer));
    issuer.m_NotAfter = CUTCTime(CString("000101000000Z"));
    EXPECT_FALSE(issuer.IsIssuerOf(certificate));

    CCertificateRevocationList crl;
    crl.m_Issuer = certificate.m_Issuer;
    crl.m_Entries.Add(new CCRLEntry(Serial({0x05}), CUTCTime()));
    EXPECT_FALSE(certificate.IsPresentInCRL(crl));
    crl.m_Entries.Add(new CCRLEntry(Serial({0x00, 0x01}), CUTCTime()));
    EXPECT_TRUE(certificate.IsPresentInCRL(crl));
    crl.m_Issuer = OrgName("Someone else");
    EXPECT_FALSE(certificate.IsPresentInCRL(crl));
}

TEST(CertificateTests, Equality)
{
    CCertificate a = Unsigned({0x01});
    CCertificate b(a);
    EXPECT_TRUE(a == b);
    b.m_SerialNumber = Serial({0x00, 0x01});
    EXPECT_TRUE(a == b);
    b.m_Signature[0] = 1;
    EXPECT_FALSE(a == b);
    b = a;
    b.m_nSignatureBits = 8;
    EXPECT_FALSE(a == b);
    b = a;
    // The digests are no part of the comparison.
    b.m_bSHA1DigestKnown = 1;
    EXPECT_TRUE(a == b);
}

TEST(CertificationChain, SubChains)
{
    CCertificate a = Unsigned({0x0A}, "A"), b = Unsigned({0x0B}, "B"), x = Unsigned({0x0C}, "X");
    auto chain = [](std::initializer_list<const CCertificate*> items) {
        CCertificationChain c;
        for (const CCertificate* item : items)
            c.Add(CASN1_Certificate(*item));
        return c;
    };
    CCertificationChain ab = chain({&a, &b});
    EXPECT_TRUE(ab.IsSubChainOf(chain({&x, &a, &b})));
    EXPECT_TRUE(ab.IsSubChainOf(ab));
    EXPECT_FALSE(ab.IsSubChainOf(chain({&a, &x, &b})));
    EXPECT_FALSE(ab.IsSubChainOf(chain({&b, &a})));
    EXPECT_FALSE(ab.IsSubChainOf(chain({&a})));
    EXPECT_FALSE(ab.IsSubChainOf(CCertificationChain()));
    EXPECT_TRUE(CCertificationChain().IsSubChainOf(ab));
    // The last occurrence of the end counts.
    EXPECT_TRUE(ab.IsSubChainOf(chain({&a, &b, &x, &a, &b})));

    CCertificationChain copy(ab);
    EXPECT_EQ(copy.GetSize(), 2);
    CCertificationChain loaded;
    Load(loaded, Store(copy));
    EXPECT_TRUE(loaded.IsSubChainOf(ab) && ab.IsSubChainOf(loaded));

    // An element that is no certificate matches nothing.
    CCertificationChain broken(ab);
    broken.ElementAt(0).Clear();
    EXPECT_FALSE(ab.IsSubChainOf(broken));
}

// ---- shapes of the ASN.1 classes ----------------------------------------------------------

TEST(CertificateShapes, SubjectPublicKeyInfo)
{
    CCertificate certificate = Unsigned({0x01});
    CASN1_SubjectPublicKeyInfo info(certificate);
    EXPECT_TRUE(CASN1_SubjectPublicKeyInfo::IsValid(&info));
    CCertificate target;
    info.SetDataTo(target);
    EXPECT_EQ(target.m_nModulusBits, 512);
    EXPECT_EQ(std::memcmp(target.m_Modulus, certificate.m_Modulus, 256), 0);

    // Four padding bits make it invalid.
    CASN1_BIT_STRING& bits = dynamic_cast<CASN1_BIT_STRING&>(info.GetComponent(1));
    CByteArray octets;
    bits.GetData(octets);
    CASN1_BIT_STRING padded(octets.GetData() + 1, 8ul * static_cast<unsigned long>(octets.GetSize() - 1) - 4, 1);
    CASN1_SubjectPublicKeyInfo withPadding(CASN1_AlgorithmIdentifier(CASN1_rsaEncryption(), CASN1_NULL()), padded);
    EXPECT_FALSE(CASN1_SubjectPublicKeyInfo::IsValid(&withPadding));

    // An INTEGER parameter gives the key size whatever the modulus says.
    CASN1_SubjectPublicKeyInfo stated(CASN1_AlgorithmIdentifier(CASN1_rsa(), CASN1_INTEGER(1024ul)), bits);
    EXPECT_TRUE(CASN1_SubjectPublicKeyInfo::IsValid(&stated));
    stated.SetDataTo(target);
    EXPECT_EQ(target.m_nModulusBits, 1024);

    CCertificate kept(target);
    for (const CASN1Type* parameter : std::initializer_list<const CASN1Type*>{
             new CASN1_INTEGER(65536ul), new CASN1_OCTET_STRING(reinterpret_cast<const unsigned char*>("x"), 1)}) {
        CASN1_SubjectPublicKeyInfo other(CASN1_AlgorithmIdentifier(CASN1_rsa(), *parameter), bits);
        EXPECT_EQ(DecodeError([&] { other.SetDataTo(target); }),
                  "SubjectPublicKeyInfo contents is not valid (invalid algorithm identifier parameter)");
        EXPECT_TRUE(target == kept);
        delete parameter;
    }

    // Bits that are no key, or a key with something after it.
    unsigned char junk[] = {0x02, 0x01, 0x05};
    CASN1_SubjectPublicKeyInfo notAKey(CASN1_AlgorithmIdentifier(CASN1_rsaEncryption(), CASN1_NULL()),
                                       CASN1_BIT_STRING(junk, 24, 1));
    EXPECT_FALSE(CASN1_SubjectPublicKeyInfo::IsValid(&notAKey));
    EXPECT_NE(DecodeError([&] { notAKey.SetDataTo(target); }), "<no exception>");
    octets.Add(0x00);
    CASN1_SubjectPublicKeyInfo trailing(CASN1_AlgorithmIdentifier(CASN1_rsaEncryption(), CASN1_NULL()),
                                        CASN1_BIT_STRING(octets.GetData() + 1, 8ul * (octets.GetSize() - 1), 1));
    EXPECT_FALSE(CASN1_SubjectPublicKeyInfo::IsValid(&trailing));
    CASN1_SubjectPublicKeyInfo empty;
    EXPECT_FALSE(CASN1_SubjectPublicKeyInfo::IsValid(&empty));
    EXPECT_EQ(DecodeError([&] { empty.SetDataTo(target); }),
              "SubjectPublicKeyInfo contents is not valid (invalid subjectPublicKey)");
}

TEST(CertificateShapes, VersionsAndOptionalParts)
{
    CCertificate certificate = Unsigned({0x01});
    certificate.m_nVersion = 2;
    CASN1_CertificateData data(certificate);
    EXPECT_EQ(data.GetComponentsCount(), 7);
    EXPECT_TRUE(CASN1_CertificateData::IsValid(&data));
    EXPECT_EQ(static_cast<CSerialNumber>(data.GetSerialNumber()), Serial({0x01}));

    // Version 3 takes unique identifiers and extensions, in order.
    CASN1_CertificateData full(data);
    full.AddObject(new CASN1_TAGGED(0x81, reinterpret_cast<const unsigned char*>("\0a"), 2));
    full.AddObject(new CASN1_TAGGED(0x82, reinterpret_cast<const unsigned char*>("\0b"), 2));
    full.AddObject(Tagged(0x83, CASN1_SEQUENCE()));
    EXPECT_TRUE(CASN1_CertificateData::IsValid(&full));
    full.AddObject(new CASN1_INTEGER(1ul));
    EXPECT_FALSE(CASN1_CertificateData::IsValid(&full));

    CASN1_CertificateData swapped(data);
    swapped.AddObject(new CASN1_TAGGED(0x82, reinterpret_cast<const unsigned char*>("\0b"), 2));
    swapped.AddObject(new CASN1_TAGGED(0x81, reinterpret_cast<const unsigned char*>("\0a"), 2));
    EXPECT_FALSE(CASN1_CertificateData::IsValid(&swapped));

    // Version 1 has no extensions, version 2 only unique identifiers.
    certificate.m_nVersion = 0;
    CASN1_CertificateData v1(certificate);
    EXPECT_EQ(v1.GetComponentsCount(), 6);
    v1.AddObject(Tagged(0x83, CASN1_SEQUENCE()));
    EXPECT_FALSE(CASN1_CertificateData::IsValid(&v1));
    certificate.m_nVersion = 1;
    CASN1_CertificateData v2(certificate);
    v2.AddObject(new CASN1_TAGGED(0x81, reinterpret_cast<const unsigned char*>("\0a"), 2));
    EXPECT_TRUE(CASN1_CertificateData::IsValid(&v2));
    v2.AddObject(Tagged(0x83, CASN1_SEQUENCE()));
    EXPECT_FALSE(CASN1_CertificateData::IsValid(&v2));

    // Versions beyond 3, beyond 32 bits, or not an INTEGER.
    unsigned char big[] = {0x05, 0x00, 0x00, 0x00, 0x00, 0x01};
    for (CASN1Type* version : std::initializer_list<CASN1Type*>{new CASN1_INTEGER(3ul), new CASN1_INTEGER(big, 6),
                                                                 new CASN1_NULL}) {
        CASN1_CertificateData odd(data);
        CASN1Type* old = odd.m_Components.GetAt(0);
        odd.m_Components.ElementAt(0) = Tagged(0x80, *version);
        delete old;
        delete version;
        EXPECT_FALSE(CASN1_CertificateData::IsValid(&odd));
        CCertificate target;
        EXPECT_NE(DecodeError([&] { CASN1_CertificateData::SetDataTo(odd, target); }), "<no exception>");
    }
}

TEST(CertificateShapes, CertificateAndAlgorithms)
{
    CRSAPrivateKey key = LoadPrivateKey("user512_key.der");
    CCertificate certificate = Unsigned({0x01});
    certificate.SignWith(key);
    CASN1_Certificate asn1(certificate);
    EXPECT_TRUE(CASN1_Certificate::IsValid(&asn1));

    // An algorithm value of 3 writes no algorithm identifiers at all.
    CCertificate bad(certificate);
    bad.m_nSignatureAlgorithm = 3;
    CASN1_Certificate withoutAlgorithm(bad);
    EXPECT_EQ(withoutAlgorithm.GetComponentsCount(), 2);
    EXPECT_EQ(At(withoutAlgorithm, 0).GetComponentsCount(), 5);
    EXPECT_FALSE(CASN1_Certificate::IsValid(&withoutAlgorithm));

    // A signature with padding bits is refused.
    CASN1_Certificate padded(asn1);
    CASN1Type* old = padded.m_Components.GetAt(2);
    padded.m_Components.ElementAt(2) = new CASN1_BIT_STRING(certificate.m_Signature + 192, 509, 1);
    delete old;
    EXPECT_FALSE(CASN1_Certificate::IsValid(&padded));

    // Another signature algorithm is read by nothing.
    CASN1_Certificate other(asn1);
    CASN1_CONSTRUCTED_TYPE& data = At(other, 0);
    CASN1Type* oldAlgorithm = data.m_Components.GetAt(1);
    data.m_Components.ElementAt(1) = new CASN1_AlgorithmIdentifier(CASN1_rsaEncryption(), CASN1_NULL());
    delete oldAlgorithm;
    EXPECT_TRUE(CASN1_Certificate::IsValid(&other));
    CCertificate target;
    EXPECT_EQ(DecodeError([&] { other.SetDataTo(target); }),
              "CASN1_CertificateData::SetDataTo - unknown signature algorithm");
    EXPECT_EQ(AfxGetSignatureAlgorithm(CASN1_AlgorithmIdentifier(CASN1_md2WithRSAEncryption(), CASN1_NULL())),
              SignatureMD2WithRSA);
    EXPECT_EQ(AfxGetSignatureAlgorithm(CASN1_INTEGER(1ul)), -1);

    // A signature longer than the field.
    std::vector<unsigned char> long_(257, 0x11);
    CASN1_Certificate tooLong(asn1);
    CASN1Type* oldSignature = tooLong.m_Components.GetAt(2);
    tooLong.m_Components.ElementAt(2) = new CASN1_BIT_STRING(long_.data(), 8 * 257, 1);
    delete oldSignature;
    EXPECT_EQ(DecodeError([&] { tooLong.SetDataTo(target); }), "Invalid Certificate's signature");
}

TEST(CertificateShapes, RevocationListData)
{
    CCertificateRevocationList crl;
    crl.m_Issuer = OrgName("Issuer");
    crl.m_LastUpdate = CUTCTime(CString("260101000000Z"));
    crl.m_NextUpdate = CUTCTime(CString("260201000000Z"));
    CASN1_CertificateRevocationListData data(crl);
    EXPECT_EQ(data.GetComponentsCount(), 5);
    EXPECT_TRUE(CASN1_CertificateRevocationListData::IsValid(&data));

    // Without the entry list, and with a version 1 (X.509 v2) and extensions.
    CASN1_CertificateRevocationListData shortened(data);
    shortened.m_Components.RemoveAt(4);
    EXPECT_TRUE(CASN1_CertificateRevocationListData::IsValid(&shortened));
    CASN1_CertificateRevocationListData v2(data);
    v2.m_Components.InsertAt(0, new CASN1_INTEGER(1ul));
    v2.AddObject(Tagged(0x80, CASN1_SEQUENCE()));
    EXPECT_TRUE(CASN1_CertificateRevocationListData::IsValid(&v2));
    CASN1_CertificateRevocationListData v1(data);
    v1.m_Components.InsertAt(0, new CASN1_INTEGER(0ul));
    EXPECT_TRUE(CASN1_CertificateRevocationListData::IsValid(&v1));
    v1.AddObject(Tagged(0x80, CASN1_SEQUENCE()));
    EXPECT_FALSE(CASN1_CertificateRevocationListData::IsValid(&v1));
    CASN1_CertificateRevocationListData v3(data);
    v3.m_Components.InsertAt(0, new CASN1_INTEGER(2ul));
    EXPECT_FALSE(CASN1_CertificateRevocationListData::IsValid(&v3));

    // Entry extensions belong to version 2 lists only.
    CCRLEntry entry(Serial({0x01}), CUTCTime(CString("260101000000Z")));
    CASN1_CRLEntry withExtensions(entry);
    withExtensions.AddObject(new CASN1_SEQUENCE);
    EXPECT_FALSE(CASN1_CRLEntry::IsValid(&withExtensions));
    EXPECT_TRUE(CASN1_CRLEntry::IsValid(&withExtensions, 1));
    CCRLEntry back;
    CASN1_CRLEntry::SetDataTo(withExtensions, back);
    EXPECT_TRUE(back.m_SerialNumber == entry.m_SerialNumber);
    EXPECT_TRUE(back.m_RevocationDate == entry.m_RevocationDate);

    CCertificateRevocationList target;
    target.m_Entries.Add(new CCRLEntry);
    data.SetDataTo(target);
    EXPECT_EQ(target.m_Entries.GetSize(), 0);
    EXPECT_TRUE(target.m_Issuer == crl.m_Issuer);
}
