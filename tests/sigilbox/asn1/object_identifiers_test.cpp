#include "asn1_test_util.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace asn1test;

namespace {

// The contents octets of a dotted identifier, computed independently of the classes.
std::string Contents(std::initializer_list<unsigned long> arcs)
{
    std::vector<unsigned long> a(arcs);
    std::vector<unsigned char> out = {static_cast<unsigned char>(40 * a[0] + a[1])};
    for (size_t i = 2; i < a.size(); ++i) {
        std::vector<unsigned char> groups;
        unsigned long v = a[i];
        do {
            groups.insert(groups.begin(), static_cast<unsigned char>((v & 0x7F) | (groups.empty() ? 0 : 0x80)));
            v >>= 7;
        } while (v);
        out.insert(out.end(), groups.begin(), groups.end());
    }
    return ToHex(out.data(), static_cast<int>(out.size()));
}

template <class T>
std::string ContentsOf()
{
    T id;
    EXPECT_EQ(id.m_Tag, 0x06);
    return ToHex(id.GetData(), id.GetDataSize());
}

}  // namespace

TEST(ObjectIdentifiers, EveryClassHoldsItsIdentifier)
{
    struct Case {
        std::function<std::string()> actual;
        std::string expected;
        const char* name;
    } cases[] = {
#define ID(Class, ...) {ContentsOf<Class>, Contents({__VA_ARGS__}), #Class}
        ID(CASN1_md2, 1, 2, 840, 113549, 2, 2),
        ID(CASN1_md5, 1, 2, 840, 113549, 2, 5),
        ID(CASN1_sha1, 1, 3, 14, 3, 2, 26),
        ID(CASN1_rsa, 2, 5, 8, 1, 1),
        ID(CASN1_pkcs_1, 1, 2, 840, 113549, 1, 1),
        ID(CASN1_rsaEncryption, 1, 2, 840, 113549, 1, 1, 1),
        ID(CASN1_md2WithRSAEncryption, 1, 2, 840, 113549, 1, 1, 2),
        ID(CASN1_md5WithRSAEncryption, 1, 2, 840, 113549, 1, 1, 4),
        ID(CASN1_sha1WithRSAEncryption, 1, 2, 840, 113549, 1, 1, 5),
        ID(CASN1_pkcs_5, 1, 2, 840, 113549, 1, 5),
        ID(CASN1_pbeWithMD2AndDES_CBC, 1, 2, 840, 113549, 1, 5, 1),
        ID(CASN1_pbeWithMD5AndDES_CBC, 1, 2, 840, 113549, 1, 5, 3),
        ID(CASN1_RC2_CBC, 1, 2, 840, 113549, 3, 2),
        ID(CASN1_DES_CBC, 1, 3, 14, 3, 2, 7),
        ID(CASN1_DES_EDE3_CBC, 1, 2, 840, 113549, 3, 7),
        ID(CASN1_pkcs_7, 1, 2, 840, 113549, 1, 7),
        ID(CASN1_data, 1, 2, 840, 113549, 1, 7, 1),
        ID(CASN1_signedData, 1, 2, 840, 113549, 1, 7, 2),
        ID(CASN1_envelopedData, 1, 2, 840, 113549, 1, 7, 3),
        ID(CASN1_signedAndEnvelopedData, 1, 2, 840, 113549, 1, 7, 4),
        ID(CASN1_digestedData, 1, 2, 840, 113549, 1, 7, 5),
        ID(CASN1_encryptedData, 1, 2, 840, 113549, 1, 7, 6),
        ID(CASN1_pkcs_9, 1, 2, 840, 113549, 1, 9),
        ID(CASN1_E_mail_Address, 1, 2, 840, 113549, 1, 9, 1),
        ID(CASN1_UnstructuredName, 1, 2, 840, 113549, 1, 9, 2),
        ID(CASN1_contentType, 1, 2, 840, 113549, 1, 9, 3),
        ID(CASN1_messageDigest, 1, 2, 840, 113549, 1, 9, 4),
        ID(CASN1_signingTime, 1, 2, 840, 113549, 1, 9, 5),
        ID(CASN1_ChallengePassword, 1, 2, 840, 113549, 1, 9, 7),
        ID(CASN1_signingDescription, 1, 2, 840, 113549, 1, 9, 13),
        ID(CASN1_AttributeType, 2, 5, 4),
        ID(CASN1_CommonName, 2, 5, 4, 3),
        ID(CASN1_Surname, 2, 5, 4, 4),
        ID(CASN1_CountryName, 2, 5, 4, 6),
        ID(CASN1_LocalityName, 2, 5, 4, 7),
        ID(CASN1_CollectiveLocalityName, 2, 5, 4, 7, 1),
        ID(CASN1_StateOrProvinceName, 2, 5, 4, 8),
        ID(CASN1_CollectiveStateOrProvinceName, 2, 5, 4, 8, 1),
        ID(CASN1_StreetAddress, 2, 5, 4, 9),
        ID(CASN1_CollectiveStreetAddress, 2, 5, 4, 9, 1),
        ID(CASN1_OrganizationName, 2, 5, 4, 10),
        ID(CASN1_CollectiveOrganizationName, 2, 5, 4, 10, 1),
        ID(CASN1_OrganizationalUnitName, 2, 5, 4, 11),
        ID(CASN1_CollectiveOrganizationalUnitName, 2, 5, 4, 11, 1),
        ID(CASN1_Title, 2, 5, 4, 12),
        ID(CASN1_PostalAddress, 2, 5, 4, 16),
        ID(CASN1_CollectivePostalAddress, 2, 5, 4, 16, 1),
        ID(CASN1_PostalCode, 2, 5, 4, 17),
        ID(CASN1_CollectivePostalCode, 2, 5, 4, 17, 1),
        ID(CASN1_PostOfficeBox, 2, 5, 4, 18),
        ID(CASN1_CollectivePostOfficeBox, 2, 5, 4, 18, 1),
        ID(CASN1_PhysicalDeliveryOfficeName, 2, 5, 4, 19),
        ID(CASN1_CollectivePhysicalDeliveryOfficeName, 2, 5, 4, 19, 1),
        ID(CASN1_PhoneNumber, 2, 5, 4, 20),
#undef ID
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.actual(), c.expected) << c.name;
    EXPECT_EQ(Encode(CASN1_md5()), "06 08 2A 86 48 86 F7 0D 02 05");
    EXPECT_EQ(Encode(CASN1_CommonName()), "06 03 55 04 03");
}

TEST(ObjectIdentifiers, RecognitionIsByValue)
{
    CDEREncoding e = Enc("06 08 2A 86 48 86 F7 0D 02 05");
    std::unique_ptr<CASN1Type> decoded(AfxBuildFromEncoding(e));
    auto& id = static_cast<CASN1_OBJECT_IDENTIFIER&>(*decoded);
    EXPECT_TRUE(id == CASN1_md5());
    EXPECT_FALSE(id == CASN1_md2());

    CASN1_OBJECT_IDENTIFIER data = CASN1_pkcs_7();
    data.AddIDComponent(1);
    EXPECT_TRUE(CASN1_data() == data);
    EXPECT_FALSE(CASN1_pbeWithMD2AndDES_CBC() == CASN1_rsaEncryption());

    // Copies keep the value; assignment between identifier objects too.
    CASN1_sha1 sha;
    CASN1_sha1 copy(sha);
    CASN1_OBJECT_IDENTIFIER plain;
    plain = copy;
    EXPECT_TRUE(plain == CASN1_sha1());
}

TEST(AlgorithmIdentifier, BuildsAndChecksShape)
{
    CASN1_AlgorithmIdentifier rsa{CASN1_rsaEncryption(), CASN1_NULL()};
    EXPECT_EQ(Encode(rsa), "30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00");
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::IsValid(&rsa));
    EXPECT_TRUE(rsa.GetID() == CASN1_rsaEncryption());
    EXPECT_EQ(rsa.GetParameter().m_Tag, 0x05);

    CASN1_AlgorithmIdentifier copy(rsa);
    EXPECT_TRUE(AreEqual(copy, rsa));

    // The parameter may be absent, as peers send SHA-2 digests; it then reads as NULL.
    CASN1_SEQUENCE onlyId;
    onlyId.AddObject(new CASN1_md5());
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::IsValid(&onlyId));
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::GetID(onlyId) == CASN1_md5());
    EXPECT_EQ(CASN1_AlgorithmIdentifier::GetParameter(onlyId).m_Tag, 0x05);
    EXPECT_EQ(Encode(onlyId), "30 0A 06 08 2A 86 48 86 F7 0D 02 05");   // and stays absent
    CASN1_SEQUENCE none;
    EXPECT_FALSE(CASN1_AlgorithmIdentifier::IsValid(&none));
    CASN1_SEQUENCE three;
    three.AddObject(new CASN1_md5());
    three.AddObject(new CASN1_NULL());
    three.AddObject(new CASN1_NULL());
    EXPECT_FALSE(CASN1_AlgorithmIdentifier::IsValid(&three));
    CASN1_SEQUENCE swapped;
    swapped.AddObject(new CASN1_INTEGER(1));
    swapped.AddObject(new CASN1_md5());
    EXPECT_FALSE(CASN1_AlgorithmIdentifier::IsValid(&swapped));
    CASN1_SET set;
    set.AddObject(new CASN1_md5());
    set.AddObject(new CASN1_NULL());
    EXPECT_FALSE(CASN1_AlgorithmIdentifier::IsValid(&set));
    EXPECT_FALSE(CASN1_AlgorithmIdentifier::IsValid(nullptr));
    EXPECT_FALSE(CASN1_AlgorithmIdentifier::IsValid(&rsa.GetParameter()));

    // A decoded sequence (a plain CASN1_SEQUENCE) is read through the static accessors.
    CDEREncoding e = Enc("30 0D 06 09 2A 86 48 86 F7 0D 01 01 01 05 00");
    std::unique_ptr<CASN1Type> decoded(AfxBuildFromEncoding(e));
    ASSERT_TRUE(CASN1_AlgorithmIdentifier::IsValid(decoded.get()));
    EXPECT_TRUE(CASN1_AlgorithmIdentifier::GetID(*decoded) == CASN1_rsaEncryption());
    EXPECT_EQ(CASN1_AlgorithmIdentifier::GetParameter(*decoded).m_Tag, 0x05);
}

TEST(RC2Parameter, DecodesAndRefusesOtherShapes)
{
    CDEREncoding e = Enc("30 0D 02 01 3A 04 08 01 02 03 04 05 06 07 08");
    CASN1_RC2AlgorithmParameter parameter(e);
    unsigned long bits = 0;
    EXPECT_TRUE(parameter.GetKeyBits().GetInteger(bits));
    EXPECT_EQ(bits, 58ul);
    EXPECT_EQ(ToHex(parameter.GetInitializationVector().GetData(), 8), "01 02 03 04 05 06 07 08");
    EXPECT_TRUE(CASN1_RC2AlgorithmParameter::IsValid(&parameter));
    EXPECT_EQ(&CASN1_RC2AlgorithmParameter::GetKeyBits(parameter), &parameter.GetKeyBits());
    CASN1_RC2AlgorithmParameter copy(parameter);
    EXPECT_TRUE(AreEqual(copy, parameter));

    struct Case {
        const char* hex;
        const char* message;
    } cases[] = {
        {"30 0D 04 08 01 02 03 04 05 06 07 08 02 01 3A", "CASN1_RC2AlgorithmParameter contents is not valid"},
        {"30 03 02 01 3A", "CASN1_RC2AlgorithmParameter contents is not valid"},
        {"30 0E 02 01 3A 04 08 01 02 03 04 05 06 07 08 05 00", "Invalid data length"},
        {"31 00", "Other tag number expected"},
        {"30 05 02 01 3A 04 02", "Invalid encoding length"},
    };
    for (const Case& c : cases) {
        CDEREncoding bad = Enc(c.hex);
        EXPECT_EQ(DecodeError([&] { CASN1_RC2AlgorithmParameter p(bad); }), c.message) << c.hex;
    }
    CDEREncoding three = Enc("30 0F 02 01 3A 04 08 01 02 03 04 05 06 07 08 05 00");
    EXPECT_EQ(DecodeError([&] { CASN1_RC2AlgorithmParameter p(three); }), "CASN1_RC2AlgorithmParameter contents is not valid");
}
