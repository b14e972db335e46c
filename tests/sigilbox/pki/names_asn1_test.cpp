// Names in ASN.1: conversions both ways, the string types of current peers, DER order of
// relative names and the shape checks.
#include "pki_test_util.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/rdn_sequence.h"

#include <gtest/gtest.h>

using namespace pkitest;
using asn1test::DecodeError;
using asn1test::Enc;

namespace {

// An AttributeValueAssertion of common name (2.5.4.3) with a value of the given tag.
std::string CommonNameAva(const std::string& tag, const std::string& length, const std::string& contents)
{
    int total = 5 + 2 + static_cast<int>(asn1test::Hex(contents).size());
    char head[8];
    std::snprintf(head, sizeof head, "30 %02X ", total);
    return head + std::string("06 03 55 04 03 ") + tag + " " + length + " " + contents;
}

}  // namespace

TEST(NamesAsn1, NameMadeFromAnAddressEncodes)
{
    CDistinguishedName name("Peter@Example.com");
    CASN1_RDNSequence sequence(name);
    EXPECT_EQ(Encoded(sequence),
              "30 35 31 11 30 0F 06 03 55 04 07 13 08 49 6E 74 65 72 6E 65 74 "
              "31 20 30 1E 06 09 2A 86 48 86 F7 0D 01 09 01 16 11 "
              "70 65 74 65 72 40 65 78 61 6D 70 6C 65 2E 63 6F 6D");
    EXPECT_TRUE(CASN1_RDNSequence::IsValid(&sequence));

    CDistinguishedName back = sequence;
    EXPECT_TRUE(back == name);
    EXPECT_EQ(back.GetAt(0)->m_strKind, "Set");

    // Decoded from its encoding the same way.
    CDEREncoding encoding(sequence);
    CASN1_RDNSequence decoded(encoding);
    EXPECT_TRUE(static_cast<CDistinguishedName>(decoded) == name);
}

TEST(NamesAsn1, EveryAttributeTypeRoundTrips)
{
    CDistinguishedName name;
    for (int i = 0; i < AfxGetLenArrayOfDNAttrName(); ++i) {
        auto* rdn = new CRelativeDN;
        rdn->Add(new CAttributeValue(static_cast<DNAttrNameEnum>(i), "v"));
        name.Add(rdn);
    }
    CASN1_RDNSequence sequence(name);
    EXPECT_TRUE(CASN1_RDNSequence::IsValid(&sequence));
    CDistinguishedName back;
    sequence.SetDataTo(back);
    EXPECT_TRUE(back == name);
    // Title and phone number sit directly under the arc too; spot-check two identifiers.
    CASN1_AttributeValueAssertion title(CAttributeValue(DNTitle, "v"));
    EXPECT_EQ(Encoded(title), "30 08 06 03 55 04 0C 13 01 76");
    CASN1_AttributeValueAssertion collective(CAttributeValue(DNCollectivePostalCode, "v"));
    EXPECT_EQ(Encoded(collective), "30 09 06 04 55 04 11 01 13 01 76");
}

TEST(NamesAsn1, ValueTypesOfTheWorkingForm)
{
    struct Case {
        unsigned char type;
        const char* encoding;
    } cases[] = {
        {4, "30 0A 06 03 55 04 03 04 03 61 62 63"},
        {19, "30 0A 06 03 55 04 03 13 03 61 62 63"},
        {20, "30 0A 06 03 55 04 03 14 03 61 62 63"},
        {22, "30 0A 06 03 55 04 03 16 03 61 62 63"},
        {12, "30 0A 06 03 55 04 03 0C 03 61 62 63"},
        {18, "30 0A 06 03 55 04 03 12 03 61 62 63"},
        {26, "30 0A 06 03 55 04 03 1A 03 61 62 63"},
    };
    for (const Case& c : cases) {
        CAttributeValue value(DNCommonName, "abc");
        value.m_nType = c.type;
        CASN1_AttributeValueAssertion assertion(value);
        EXPECT_EQ(Encoded(assertion), c.encoding) << int(c.type);
        EXPECT_TRUE(CASN1_AttributeValueAssertion::IsValid(&assertion)) << int(c.type);

        CDEREncoding encoding = Enc(c.encoding);
        Owned decoded(AfxBuildFromEncoding(encoding));
        EXPECT_TRUE(CASN1_AttributeValueAssertion::IsValid(decoded.get())) << int(c.type);
        CAttributeValue back;
        CASN1_AttributeValueAssertion::SetDataTo(*decoded, back);
        EXPECT_TRUE(back == value) << int(c.type);
    }

    // A type that is no string type writes the identifier alone, which the check refuses.
    CAttributeValue odd(DNCommonName, "abc");
    odd.m_nType = 2;
    CASN1_AttributeValueAssertion assertion(odd);
    EXPECT_EQ(Encoded(assertion), "30 05 06 03 55 04 03");
    EXPECT_FALSE(CASN1_AttributeValueAssertion::IsValid(&assertion));
}

TEST(NamesAsn1, WideStringsKeepTheirOctets)
{
    // BMPString "Tō" and UniversalString "A" as current peers write them.
    for (const std::string& hex : {CommonNameAva("1E", "04", "00 54 01 4D"), CommonNameAva("1C", "04", "00 00 00 41")}) {
        CDEREncoding encoding = Enc(hex);
        Owned decoded(AfxBuildFromEncoding(encoding));
        ASSERT_TRUE(CASN1_AttributeValueAssertion::IsValid(decoded.get())) << hex;
        CAttributeValue value;
        CASN1_AttributeValueAssertion::SetDataTo(*decoded, value);
        EXPECT_EQ(value.m_strName, "Common name");
        EXPECT_EQ(value.m_strValue.GetLength(), 4);
        CASN1_AttributeValueAssertion again(value);
        EXPECT_EQ(Encoded(again), asn1test::ToHex(asn1test::Hex(hex).data(), static_cast<int>(asn1test::Hex(hex).size())));
    }
}

TEST(NamesAsn1, UnknownIdentifierBecomesUnknown)
{
    // 2.5.4.42 (given name) is not in the table.
    CDEREncoding encoding = Enc("30 0A 06 03 55 04 2A 0C 03 41 6E 6E");
    Owned decoded(AfxBuildFromEncoding(encoding));
    ASSERT_TRUE(CASN1_AttributeValueAssertion::IsValid(decoded.get()));
    CAttributeValue value;
    CASN1_AttributeValueAssertion::SetDataTo(*decoded, value);
    EXPECT_EQ(value.m_strName, "Unknown");
    EXPECT_EQ(value.m_strValue, "Ann");
    EXPECT_EQ(value.m_nType, 12);

    CASN1_AttributeValueAssertion back(value);
    EXPECT_EQ(back.GetComponentsCount(), 0);
    EXPECT_FALSE(CASN1_AttributeValueAssertion::IsValid(&back));
}

TEST(NamesAsn1, AssertionShapes)
{
    const char* invalid[] = {
        "31 0A 06 03 55 04 03 13 03 61 62 63",             // a SET
        "30 05 06 03 55 04 03",                            // no value
        "30 0C 06 03 55 04 03 13 03 61 62 63 05 00",      // three children
        "30 08 02 01 03 13 03 61 62 63",                   // no identifier
        "30 08 06 03 55 04 03 02 01 05",                   // an INTEGER value
        "30 0B 06 03 55 04 03 30 04 13 02 61 62",          // a SEQUENCE value
    };
    for (const char* hex : invalid) {
        CDEREncoding encoding = Enc(hex);
        Owned decoded(AfxBuildFromEncoding(encoding));
        EXPECT_FALSE(CASN1_AttributeValueAssertion::IsValid(decoded.get())) << hex;
    }
    EXPECT_FALSE(CASN1_AttributeValueAssertion::IsValid(nullptr));
    EXPECT_FALSE(CASN1_RelativeDistinguishedName::IsValid(nullptr));
    EXPECT_FALSE(CASN1_RDNSequence::IsValid(nullptr));
}

TEST(NamesAsn1, RelativeNamesAreInDerOrder)
{
    // Built from values in any order, the SET comes out sorted.
    CRelativeDN rdn;
    rdn.Add(new CAttributeValue(DNCommonName, "Multi Value"));
    rdn.Add(new CAttributeValue(DNOrganizationalUnitName, "Unit B"));
    CASN1_RelativeDistinguishedName set(rdn);
    EXPECT_TRUE(CASN1_RelativeDistinguishedName::IsValid(&set));
    EXPECT_EQ(Encoded(set),
              "31 23 30 0D 06 03 55 04 0B 13 06 55 6E 69 74 20 42 30 12 06 03 55 04 03 13 0B "
              "4D 75 6C 74 69 20 56 61 6C 75 65");
    CRelativeDN back;
    set.SetDataTo(back);
    EXPECT_TRUE(back == rdn);

    // The same two assertions decoded out of order are refused, and so is the name.
    const std::string swapped = "31 23 30 12 06 03 55 04 03 13 0B 4D 75 6C 74 69 20 56 61 6C 75 65 "
                                "30 0D 06 03 55 04 0B 13 06 55 6E 69 74 20 42";
    CDEREncoding encoding = Enc(swapped);
    Owned decoded(AfxBuildFromEncoding(encoding));
    EXPECT_FALSE(CASN1_RelativeDistinguishedName::IsValid(decoded.get()));

    CDEREncoding name = Enc("30 25 " + swapped);
    EXPECT_EQ(DecodeError([&] { CASN1_RDNSequence sequence(name); }), "RDNSequence contents is not valid");
}

TEST(NamesAsn1, RdnSequenceShapes)
{
    CDEREncoding empty = Enc("30 00");
    CASN1_RDNSequence sequence(empty);
    EXPECT_EQ(sequence.GetComponentsCount(), 0);
    EXPECT_TRUE(static_cast<CDistinguishedName>(sequence).IsEmpty());

    CDEREncoding set = Enc("31 00");
    EXPECT_EQ(DecodeError([&] { CASN1_RDNSequence s(set); }), "Other tag number expected");

    // A relative name that is a SEQUENCE is no relative name.
    CDEREncoding wrong = Enc("30 0E 30 0C 30 0A 06 03 55 04 03 13 03 61 62 63");
    EXPECT_EQ(DecodeError([&] { CASN1_RDNSequence s(wrong); }), "RDNSequence contents is not valid");

    // Decoding errors of the layer below pass through unchanged.
    CDEREncoding cut = Enc("30 05 31 03 30");
    EXPECT_NE(DecodeError([&] { CASN1_RDNSequence s(cut); }), "<no exception>");
}

TEST(NamesAsn1, ConversionsReplaceWhatWasThere)
{
    CDistinguishedName name("x@y.z");
    CASN1_RDNSequence sequence(name);
    sequence.GetDataFrom(CDistinguishedName("other@y.z"));
    EXPECT_EQ(sequence.GetComponentsCount(), 2);

    CDistinguishedName target("keep@me.now");
    CASN1_RDNSequence().SetDataTo(target);
    EXPECT_EQ(target.GetSize(), 0);

    CRelativeDN rdn("Custom");
    rdn.Add(new CAttributeValue(DNTitle, "T"));
    CASN1_RelativeDistinguishedName(CRelativeDN()).SetDataTo(rdn);
    EXPECT_EQ(rdn.m_AttributeValues.GetSize(), 0);

    CASN1_RDNSequence copy(sequence);
    EXPECT_EQ(Encoded(copy), Encoded(sequence));
    CASN1_RDNSequence assigned;
    assigned = sequence;
    EXPECT_EQ(Encoded(assigned), Encoded(sequence));
}
