// DER and BER made by OpenSSL (certificates, CRL, request, PKCS #7 and CMS, streamed or not)
// decodes through the factory and re-encodes to the same bytes. The committed fixtures come
// from tests/data/asn1/make_fixtures.sh; the same script also runs at test time when an
// openssl command is present, so fresh keys and signatures are checked too.
#include "asn1_test_util.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

using namespace asn1test;
namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(QM_TEST_DATA) / "asn1";

using qmtest::ReadFile;

// Decodes the whole file and checks that it re-encodes to the same bytes.
Owned DecodeRoundTrip(const fs::path& path)
{
    std::vector<unsigned char> bytes = ReadFile(path);
    EXPECT_FALSE(bytes.empty()) << path;
    CDEREncoding e(bytes.data(), bytes.size());
    Owned object;
    std::string error = DecodeError([&] { object.reset(AfxBuildFromEncoding(e)); });
    EXPECT_EQ(error, "<no exception>") << path;
    if (!object)
        return object;
    EXPECT_TRUE(e.IsEndSeek()) << path;
    CByteArray again;
    object->EncodeTo(again);
    EXPECT_EQ(again.GetSize(), static_cast<int>(bytes.size())) << path;
    EXPECT_TRUE(again.GetSize() == static_cast<int>(bytes.size()) &&
                std::memcmp(again.GetData(), bytes.data(), bytes.size()) == 0)
        << path;
    return object;
}

CASN1_CONSTRUCTED_TYPE& Node(CASN1Type& object)
{
    return dynamic_cast<CASN1_CONSTRUCTED_TYPE&>(object);
}

CASN1Type& Child(CASN1Type& object, int i)
{
    return Node(object).GetComponent(i);
}

void CheckEveryFixture(const fs::path& folder, int expected)
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string ext = entry.path().extension().string();
        if (ext != ".der" && ext != ".ber")
            continue;
        DecodeRoundTrip(entry.path());
        ++count;
    }
    EXPECT_EQ(count, expected);
}

}  // namespace

TEST(OpenSSLInterop, CommittedFixturesRoundTrip)
{
    CheckEveryFixture(kFixtures, 12);
}

TEST(OpenSSLInterop, CertificatesOfBothVersions)
{
    Owned v1 = DecodeRoundTrip(kFixtures / "cert_v1.der");
    ASSERT_TRUE(v1);
    CASN1Type& data1 = Child(*v1, 0);
    EXPECT_EQ(Child(data1, 0).m_Tag, 0x02);  // no version field: the serial number comes first
    CByteArray serial;
    static_cast<CASN1_INTEGER&>(Child(data1, 0)).GetData(serial);
    EXPECT_EQ(ToHex(serial), "01 02 03 04 05");
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::IsValid(&Child(data1, 1)));
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::GetID(Child(*v1, 1)) == CASN1_md5WithRSAEncryption());
    auto& validity = Node(Child(data1, 3));
    EXPECT_TRUE(CASN1_UTCTime::IsValid(&validity.GetComponent(0)));
    EXPECT_EQ(Child(*v1, 2).m_Tag, 0x03);
    EXPECT_EQ(static_cast<CASN1_BIT_STRING&>(Child(*v1, 2)).m_nBits % 8, 0u);

    Owned v3 = DecodeRoundTrip(kFixtures / "cert_v3.der");
    ASSERT_TRUE(v3);
    CASN1Type& data3 = Child(*v3, 0);
    ASSERT_EQ(Child(data3, 0).m_Tag, 0x80);
    CASN1_INTEGER version;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(static_cast<CASN1_TAGGED&>(Child(data3, 0)), version));
    unsigned long v = 0;
    EXPECT_TRUE(version.GetInteger(v));
    EXPECT_EQ(v, 2ul);
    // Extensions: [3] EXPLICIT, the last field of the certificate data.
    EXPECT_EQ(Child(data3, Node(data3).GetComponentsCount() - 1).m_Tag, 0x83);
    // The subject's common name, a PrintableString or UTF8String, after its type.
    auto& subject = Node(Child(data3, 5));
    auto& lastRdn = Node(subject.GetComponent(subject.GetComponentsCount() - 1));
    auto& attribute = Node(lastRdn.GetComponent(0));
    EXPECT_TRUE(static_cast<CASN1_OBJECT_IDENTIFIER&>(attribute.GetComponent(0)) == CASN1_CommonName());
}

TEST(OpenSSLInterop, EnvelopedDataCarriesTheRc2Parameter)
{
    Owned info = DecodeRoundTrip(kFixtures / "p7_enveloped_rc2.der");
    ASSERT_TRUE(info);
    EXPECT_TRUE(static_cast<CASN1_OBJECT_IDENTIFIER&>(Child(*info, 0)) == CASN1_envelopedData());
    CASN1_SEQUENCE enveloped;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(static_cast<CASN1_TAGGED&>(Child(*info, 1)), enveloped));
    CASN1Type& encryptedContentInfo = enveloped.GetComponent(2);
    CASN1Type& algorithm = Child(encryptedContentInfo, 1);
    ASSERT_TRUE(CASN1_AlgorithmIdentifier::IsValid(&algorithm));
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::GetID(algorithm) == CASN1_RC2_CBC());

    CDEREncoding parameterEncoding(CASN1_AlgorithmIdentifier::GetParameter(algorithm));
    CASN1_RC2AlgorithmParameter parameter(parameterEncoding);
    unsigned long keyBits = 0;
    EXPECT_TRUE(parameter.GetKeyBits().GetInteger(keyBits));
    EXPECT_EQ(keyBits, 160ul);  // the RC2 parameter version that stands for 40 effective bits
    EXPECT_EQ(parameter.GetInitializationVector().GetDataSize(), 8);

    // The encrypted content: [0] IMPLICIT OCTET STRING.
    CASN1Type& content = Child(encryptedContentInfo, 2);
    CASN1_OCTET_STRING encrypted;
    EXPECT_TRUE(CASN1_TAGGED::FromImplicit(static_cast<CASN1_TAGGED&>(content), encrypted));
    EXPECT_EQ(encrypted.GetDataSize() % 8, 0);
}

TEST(OpenSSLInterop, StreamedContentIsReassembled)
{
    Owned signedInfo = DecodeRoundTrip(kFixtures / "p7_signed_stream.ber");
    ASSERT_TRUE(signedInfo);
    EXPECT_TRUE(signedInfo->m_bIndefiniteLength);
    CASN1_SEQUENCE signedData;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(static_cast<CASN1_TAGGED&>(Child(*signedInfo, 1)), signedData));
    EXPECT_TRUE(signedData.m_bIndefiniteLength);
    CASN1Type& contentInfo = signedData.GetComponent(2);
    EXPECT_TRUE(static_cast<CASN1_OBJECT_IDENTIFIER&>(Child(contentInfo, 0)) == CASN1_data());
    CASN1_OCTET_STRING text;
    ASSERT_TRUE(CASN1_TAGGED::FromExplicit(static_cast<CASN1_TAGGED&>(Child(contentInfo, 1)), text));
    EXPECT_TRUE(text.m_bConstructed);
    EXPECT_GT(text.GetComponentsCount(), 1);
    ASSERT_EQ(text.GetDataSize(), 20000);
    for (int i = 0; i < text.GetDataSize(); ++i)
        ASSERT_EQ(text.GetData()[i], 'x');
}

TEST(OpenSSLInterop, FreshOutputOfTheScript)
{
    if (std::system("openssl version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "no openssl command";
    fs::path folder = fs::temp_directory_path() / ("asn1_fixtures_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                                                   std::to_string(reinterpret_cast<uintptr_t>(&folder)));
    fs::create_directories(folder);
    std::string command = "sh '" + (kFixtures / "make_fixtures.sh").string() + "' '" + folder.string() + "' > /dev/null 2>&1";
    int status = std::system(command.c_str());
    if (status == 0)
        CheckEveryFixture(folder, 12);
    fs::remove_all(folder);
    ASSERT_EQ(status, 0) << command;
}
