#include "asn1_test_util.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"

#include <gtest/gtest.h>

#include <memory>

using namespace asn1test;

TEST(ObjectIdentifiers, RecognitionIsByValue)
{
    EXPECT_EQ(Encode(CASN1_md5()), "06 08 2A 86 48 86 F7 0D 02 05");
    EXPECT_EQ(Encode(CASN1_CommonName()), "06 03 55 04 03");
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
