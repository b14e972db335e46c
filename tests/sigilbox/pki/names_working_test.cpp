// Names in their working form: the e-mail form, lookup, labels, comparisons, owner tests
// and the archive layout.
#include "pki_test_util.h"

#include "sigilbox/pki/distinguished_name.h"

#include <gtest/gtest.h>

using namespace pkitest;

namespace {

CRelativeDN* Rdn(std::initializer_list<CAttributeValue> values)
{
    auto* rdn = new CRelativeDN;
    for (const CAttributeValue& v : values)
        rdn->Add(new CAttributeValue(v));
    return rdn;
}

CDistinguishedName Name(std::initializer_list<CRelativeDN*> rdns)
{
    CDistinguishedName name;
    for (CRelativeDN* rdn : rdns)
        name.Add(rdn);
    return name;
}

std::vector<unsigned char> Bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values)
        out.push_back(static_cast<unsigned char>(v));
    return out;
}

void Append(std::vector<unsigned char>& out, const std::string& text)
{
    out.push_back(static_cast<unsigned char>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

TEST(NamesWorkingForm, AttributeValues)
{
    CAttributeValue empty;
    EXPECT_EQ(empty.m_nType, 19);
    EXPECT_TRUE(empty.m_strName.IsEmpty() && empty.m_strValue.IsEmpty());

    CAttributeValue mail(DNEMailAddress, "Some.One@Example.COM");
    EXPECT_EQ(mail.m_strValue, "some.one@example.com");
    EXPECT_EQ(mail.m_nType, 22);
    CAttributeValue cn(DNCommonName, "Mixed Case");
    EXPECT_EQ(cn.m_strValue, "Mixed Case");
    EXPECT_EQ(cn.m_nType, 19);
    EXPECT_EQ(static_cast<CString>(cn), "Common name: Mixed Case");

    CAttributeValue copy(cn);
    EXPECT_TRUE(copy == cn);
    copy.m_nType = 20;
    EXPECT_FALSE(copy == cn);
    CAttributeValue none(DNCommonName, nullptr);
    EXPECT_TRUE(none.m_strValue.IsEmpty());

    EXPECT_THROWS_PTR(CAttributeValue(static_cast<DNAttrNameEnum>(24), "x"), CInvalidArgException);
}

TEST(NamesWorkingForm, NameMadeFromAnAddress)
{
    CDistinguishedName name("Peter.Smith@Example.COM");
    ASSERT_EQ(name.GetSize(), 2);
    CString value;
    EXPECT_TRUE(name.Find(DNEMailAddress, value));
    EXPECT_EQ(value, "peter.smith@example.com");
    EXPECT_TRUE(name.Find(DNLocalityName, value));
    EXPECT_EQ(value, "Internet");
    EXPECT_FALSE(name.Find(DNCommonName, value));
    EXPECT_TRUE(name.IsVeriSignImage());
    EXPECT_TRUE(name.IsVeriSignRequestMatch());
    EXPECT_EQ(name.GetLabel(), "peter.smith@example.com");
    EXPECT_EQ(name.GetLabel2(), "peter.smith@example.com, Internet");
    EXPECT_EQ(static_cast<CString>(name),
              "Locality name: Internet\r\nE-mail address: peter.smith@example.com\r\n");
    EXPECT_FALSE(name.IsEmpty());
    EXPECT_EQ(name.FirstAttribute(), "Internet");

    CDistinguishedName request(name);
    EXPECT_TRUE(name.IsVeriSignResponse(request));
    EXPECT_FALSE(name.IsVeriSignResponse(CDistinguishedName("other@example.com")));
    EXPECT_FALSE(name.IsVeriSignResponse(CDistinguishedName()));
}

TEST(NamesWorkingForm, EmptyName)
{
    CDistinguishedName name;
    EXPECT_EQ(name.GetSize(), 0);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_EQ(name.FirstAttribute(), "<Empty>");
    EXPECT_EQ(name.GetLabel(), "<Empty>");
    EXPECT_EQ(name.GetLabel2(), "<Empty>");
    EXPECT_EQ(static_cast<CString>(name), "");
    EXPECT_FALSE(name.IsVeriSignImage());
    EXPECT_FALSE(name.IsVeriSignRequestMatch());

    // Relative names without values still leave the name empty.
    CDistinguishedName hollow = Name({Rdn({}), Rdn({})});
    EXPECT_TRUE(hollow.IsEmpty());
    EXPECT_EQ(hollow.GetLabel(), "<Empty>");
}

TEST(NamesWorkingForm, Labels)
{
    CDistinguishedName org = Name({Rdn({CAttributeValue(DNCountryName, "US")}),
                                   Rdn({CAttributeValue(DNOrganizationName, "Acme")}),
                                   Rdn({CAttributeValue(DNOrganizationalUnitName, "Labs")})});
    EXPECT_EQ(org.GetLabel(), "Acme, Labs");
    EXPECT_EQ(org.GetLabel2(), "Acme, Labs");

    org.Add(Rdn({CAttributeValue(DNCommonName, "Wile E.")}));
    EXPECT_EQ(org.GetLabel(), "Wile E.");
    EXPECT_EQ(org.GetLabel2(), "Wile E., Acme");

    CDistinguishedName onlyOrg = Name({Rdn({CAttributeValue(DNOrganizationName, "Acme")})});
    EXPECT_EQ(onlyOrg.GetLabel(), "Acme");
    EXPECT_EQ(onlyOrg.GetLabel2(), "Acme");

    // The order is fixed: the country comes after the phone number, the post office box
    // before the postal code.
    CDistinguishedName place = Name({Rdn({CAttributeValue(DNPostalCode, "12345"), CAttributeValue(DNCountryName, "NL"),
                                          CAttributeValue(DNPostOfficeBox, "PO 7")})});
    EXPECT_EQ(place.GetLabel(), "NL");
    EXPECT_EQ(place.GetLabel2(), "NL, PO 7");

    // A value whose display name is none of the table's is found only as the first one.
    CAttributeValue unknown;
    unknown.m_strName = "Unknown";
    unknown.m_strValue = "1.2.3";
    CDistinguishedName strange = Name({Rdn({unknown})});
    EXPECT_EQ(strange.GetLabel(), "1.2.3");
}

TEST(NamesWorkingForm, Comparisons)
{
    CAttributeValue a(DNCommonName, "A");
    CAttributeValue b(DNOrganizationName, "B");
    CRelativeDN* ab = Rdn({a, b});
    CRelativeDN* ba = Rdn({b, a});
    EXPECT_TRUE(*ab == *ba);
    CRelativeDN* aa = Rdn({a, a});
    EXPECT_FALSE(*ab == *aa);
    std::unique_ptr<CRelativeDN> single(Rdn({a}));
    EXPECT_FALSE(*ab == *single);
    delete aa;

    CDistinguishedName first = Name({Rdn({a}), Rdn({b})});
    CDistinguishedName second = Name({Rdn({b}), Rdn({a})});
    EXPECT_FALSE(first == second);
    EXPECT_TRUE(first == CDistinguishedName(first));

    CDistinguishedName set1 = Name({ab});
    CDistinguishedName set2 = Name({ba});
    EXPECT_TRUE(set1 == set2);

    EXPECT_TRUE(first.IsSubordinateTo(first));
    EXPECT_FALSE(first.IsStronglySubordinateTo(first));
    CDistinguishedName prefix = Name({Rdn({a})});
    EXPECT_TRUE(first.IsSubordinateTo(prefix));
    EXPECT_TRUE(first.IsStronglySubordinateTo(prefix));
    EXPECT_FALSE(prefix.IsSubordinateTo(first));
    EXPECT_FALSE(second.IsSubordinateTo(prefix));
    EXPECT_TRUE(first.IsSubordinateTo(CDistinguishedName()));
}

TEST(NamesWorkingForm, SameOwner)
{
    CDistinguishedName mail("someone@example.com");
    CDistinguishedName other = Name({Rdn({CAttributeValue(DNCommonName, "Someone")}),
                                     Rdn({CAttributeValue(DNEMailAddress, "someone@example.com")})});
    EXPECT_FALSE(mail == other);
    EXPECT_TRUE(__isTheSameOwner(mail, other));
    EXPECT_TRUE(__isTheSameOwner(mail, mail));

    // The constructor lower-cases; a value changed afterwards keeps its case and then differs.
    CDistinguishedName upper(other);
    upper.ElementAt(1)->m_AttributeValues.ElementAt(0)->m_strValue = "Someone@example.com";
    EXPECT_FALSE(__isTheSameOwner(mail, upper));
    EXPECT_FALSE(__isTheSameOwner(CDistinguishedName(), other));
}

TEST(NamesWorkingForm, CopiesAreDeep)
{
    CDistinguishedName name("a@b.c");
    CDistinguishedName copy(name);
    copy.ElementAt(0)->m_AttributeValues.ElementAt(0)->m_strValue = "Elsewhere";
    CString value;
    name.Find(DNLocalityName, value);
    EXPECT_EQ(value, "Internet");
    copy = name;
    EXPECT_TRUE(copy == name);
    copy = copy;
    EXPECT_TRUE(copy == name);

    CRelativeDN kind("Sequence");
    kind.Add(new CAttributeValue(DNTitle, "Dr"));
    CRelativeDN kindCopy(kind);
    EXPECT_EQ(kindCopy.m_strKind, "Sequence");
    EXPECT_EQ(static_cast<CString>(kindCopy), "Title: Dr\r\n");
}

TEST(NamesArchive, AttributeValueLayout)
{
    CAttributeValue value(DNCommonName, "Joe");
    std::vector<unsigned char> expected = Bytes({0x00});
    Append(expected, "Common name");
    Append(expected, "Joe");
    expected.push_back(19);
    EXPECT_EQ(Store(value), expected);

    CAttributeValue loaded;
    Load(loaded, expected);
    EXPECT_TRUE(loaded == value);
}

TEST(NamesArchive, AttributeValueRefusals)
{
    CAttributeValue value(DNCommonName, "Joe");
    std::vector<unsigned char> bytes = Store(value);

    std::vector<unsigned char> badVersion = bytes;
    badVersion[0] = 1;
    CAttributeValue target(DNTitle, "Keep");
    EXPECT_EQ(LoadFailure(target, badVersion), CArchiveException::generic);
    EXPECT_EQ(target.m_strValue, "Keep");

    for (int type : {0, 5, 19, 255, 12, 30, 28, 18, 26, 4, 20, 22}) {
        std::vector<unsigned char> typed = bytes;
        typed.back() = static_cast<unsigned char>(type);
        CAttributeValue loaded(DNTitle, "Keep");
        int failure = LoadFailure(loaded, typed);
        if (AfxIsDNValueType(static_cast<unsigned>(type))) {
            EXPECT_EQ(failure, -1) << type;
            EXPECT_EQ(loaded.m_nType, type);
        } else {
            EXPECT_EQ(failure, CArchiveException::generic) << type;
            EXPECT_EQ(loaded.m_strValue, "Keep") << type;
        }
    }

    std::vector<unsigned char> truncated(bytes.begin(), bytes.end() - 2);
    CAttributeValue cut(DNTitle, "Keep");
    EXPECT_NE(LoadFailure(cut, truncated), -1);
    EXPECT_EQ(cut.m_strValue, "Keep");
}

TEST(NamesArchive, DistinguishedNameLayout)
{
    CDistinguishedName name("Me@Example.com");
    // Count 2; each relative name: version, kind, count 1, one value.
    std::vector<unsigned char> expected = Bytes({0x02, 0x00});
    expected.push_back(0x00);
    Append(expected, "Set");
    expected.insert(expected.end(), {0x01, 0x00, 0x00});
    Append(expected, "Locality name");
    Append(expected, "Internet");
    expected.push_back(19);
    expected.push_back(0x00);
    Append(expected, "Set");
    expected.insert(expected.end(), {0x01, 0x00, 0x00});
    Append(expected, "E-mail address");
    Append(expected, "me@example.com");
    expected.push_back(22);
    EXPECT_EQ(Store(name), expected);

    CDistinguishedName loaded("other@example.com");
    Load(loaded, expected);
    EXPECT_TRUE(loaded == name);

    // A failure half-way keeps the name as it was.
    std::vector<unsigned char> broken = expected;
    ASSERT_EQ(broken[9], 0x00);
    broken[9] = 0x07;  // the version octet of the first value
    CDistinguishedName kept("other@example.com");
    EXPECT_EQ(LoadFailure(kept, broken), CArchiveException::generic);
    EXPECT_TRUE(kept == CDistinguishedName("other@example.com"));

    std::vector<unsigned char> cut(expected.begin(), expected.end() - 5);
    EXPECT_NE(LoadFailure(kept, cut), -1);
    EXPECT_TRUE(kept == CDistinguishedName("other@example.com"));

    // A count that promises more than the bytes hold is refused before anything is made.
    std::vector<unsigned char> huge = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_NE(LoadFailure(kept, huge), -1);
}

TEST(NamesArchive, RelativeNameVersion)
{
    CRelativeDN rdn;
    rdn.Add(new CAttributeValue(DNCommonName, "X"));
    std::vector<unsigned char> bytes = Store(rdn);
    EXPECT_EQ(bytes[0], 0x00);
    bytes[0] = 0x02;
    CRelativeDN target("Keep");
    EXPECT_EQ(LoadFailure(target, bytes), CArchiveException::generic);
    EXPECT_EQ(target.m_strKind, "Keep");
    EXPECT_EQ(target.m_AttributeValues.GetSize(), 0);
}

TEST(NamesArchive, ArraysOfNames)
{
    CArray<CDistinguishedName, const CDistinguishedName&> names;
    names.SetSize(3);
    names.ElementAt(0) = CDistinguishedName("one@example.com");
    names.ElementAt(2) = CDistinguishedName("three@example.com");
    std::vector<unsigned char> bytes = Store(names);

    CArray<CDistinguishedName, const CDistinguishedName&> loaded;
    Load(loaded, bytes);
    ASSERT_EQ(loaded.GetSize(), 3);
    EXPECT_TRUE(loaded.ElementAt(0) == names.ElementAt(0));
    EXPECT_TRUE(loaded.ElementAt(1).IsEmpty());
    EXPECT_TRUE(loaded.ElementAt(2) == names.ElementAt(2));
    loaded.SetSize(1);
    EXPECT_EQ(loaded.GetSize(), 1);
}
