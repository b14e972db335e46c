// PKCS #1 key structures: building them from keys, their DER form, the shape checks and the
// conversions back into keys with their failure messages.
#include "sigilbox/asn1/asn1_test_util.h"
#include "sigilbox/engines/rsa_test_util.h"

#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>

using namespace rsatest;

namespace {

using asn1test::EncodedBytes;

using qmtest::Concat;
using qmtest::der::Tlv;

// An INTEGER whose contents are `leadingZeros` zero octets and then `length` octets of which
// the first is `first`.
Bytes Integer(int leadingZeros, int length, BYTE first = 0x5C)
{
    Bytes contents(static_cast<size_t>(leadingZeros), 0);
    for (int i = 0; i < length; ++i)
        contents.push_back(i == 0 ? first : static_cast<BYTE>(i));
    return Tlv(0x02, contents);
}

// Decodes one value; the caller owns it.
std::unique_ptr<CASN1Type> Decode(const Bytes& der)
{
    CDEREncoding encoding(der.data(), static_cast<unsigned long>(der.size()));
    return std::unique_ptr<CASN1Type>(AfxBuildFromEncoding(encoding));
}

bool SameKey(const CRSAPrivateKey& a, const CRSAPrivateKey& b)
{
    return a == b && std::memcmp(a.m_PrivateExponent, b.m_PrivateExponent, 256) == 0 &&
           std::memcmp(a.m_Prime1, b.m_Prime1, 128) == 0 && std::memcmp(a.m_Prime2, b.m_Prime2, 128) == 0 &&
           std::memcmp(a.m_Exponent1, b.m_Exponent1, 128) == 0 && std::memcmp(a.m_Exponent2, b.m_Exponent2, 128) == 0 &&
           std::memcmp(a.m_Coefficient, b.m_Coefficient, 128) == 0;
}

// A private-key sequence from nine INTEGER encodings (the version first).
Bytes PrivateKeyDER(const std::vector<Bytes>& integers)
{
    Bytes contents;
    for (const Bytes& i : integers)
        contents.insert(contents.end(), i.begin(), i.end());
    return Tlv(0x30, contents);
}

std::vector<Bytes> GoodPrivateIntegers()
{
    return {Integer(0, 1, 0x00), Integer(1, 64, 0xC1), Integer(0, 3, 0x01), Integer(0, 64, 0x33), Integer(1, 32, 0xE0),
            Integer(1, 32, 0xC3), Integer(0, 32, 0x21), Integer(0, 32, 0x22), Integer(0, 32, 0x23)};
}

TEST(PKCS1PublicKey, EncodesTheModulusAndExponentAndReadsThemBack)
{
    const CRSAPrivateKey& key = SharedKey(512);
    CRSAPublicKey pub(key);
    CASN1_PublicKey asn(pub);
    const Bytes der = EncodedBytes(asn);
    // SEQUENCE { INTEGER 00 || n (65 octets), INTEGER 01 00 01 }
    ASSERT_EQ(der.size(), 74u);
    EXPECT_EQ(Bytes(der.begin(), der.begin() + 5), (Bytes{0x30, 0x48, 0x02, 0x41, 0x00}));
    EXPECT_EQ(0, std::memcmp(der.data() + 5, pub.m_Modulus + 192, 64));
    EXPECT_EQ(Bytes(der.end() - 5, der.end()), (Bytes{0x02, 0x03, 0x01, 0x00, 0x01}));
    EXPECT_EQ(CASN1_PublicKey::IsValid(&asn), 1);

    CRSAPublicKey back;
    asn.SetDataTo(back);
    EXPECT_TRUE(back == pub);
    EXPECT_EQ(back.m_nModulusBits, 512);

    // The same through a decoded plain sequence.
    auto decoded = Decode(der);
    ASSERT_EQ(CASN1_PublicKey::IsValid(decoded.get()), 1);
    CRSAPublicKey viaDecoded;
    CASN1_PublicKey::SetDataTo(*decoded, viaDecoded);
    EXPECT_TRUE(viaDecoded == pub);

    // The bit count comes from the modulus, not from the key that was encoded.
    CRSAPublicKey claimed(pub);
    claimed.m_nModulusBits = 520;
    CASN1_PublicKey(claimed).SetDataTo(back);
    EXPECT_EQ(back.m_nModulusBits, 512);
}

TEST(PKCS1PublicKey, CopiesAndPartsAreDeep)
{
    CASN1_INTEGER modulus(0x00C0FFEEul);
    CASN1_INTEGER exponent(3ul);
    CASN1_PublicKey a(modulus, exponent);
    modulus = CASN1_INTEGER(1ul);  // the structure holds clones
    CASN1_PublicKey b(a);
    CASN1_PublicKey c(CRSAPublicKey{});
    c = a;
    std::unique_ptr<CASN1Type> d(a.Clone());
    a.GetDataFrom(CRSAPublicKey(SharedKey(512)));
    for (const CASN1Type* x : std::vector<const CASN1Type*>{&b, &c, d.get()}) {
        EXPECT_EQ(EncodedBytes(*x), (Bytes{0x30, 0x09, 0x02, 0x04, 0x00, 0xC0, 0xFF, 0xEE, 0x02, 0x01, 0x03}));
        EXPECT_EQ(CASN1_PublicKey::IsValid(x), 1);
    }
    EXPECT_NE(dynamic_cast<CASN1_PublicKey*>(d.get()), nullptr);
    CRSAPublicKey k;
    b.SetDataTo(k);
    EXPECT_EQ(k.m_nModulusBits, 24);
    EXPECT_EQ(k.m_Modulus[253], 0xC0);
    EXPECT_EQ(k.m_PublicExponent[255], 3);
}

TEST(PKCS1PublicKey, ShapeAndSizeLimits)
{
    // 256 magnitude octets with the top bit set: 257 contents octets, valid.
    const Bytes full = Tlv(0x30, Concat({Integer(1, 256, 0x80), Integer(0, 1, 3)}));
    auto v = Decode(full);
    EXPECT_EQ(CASN1_PublicKey::IsValid(v.get()), 1);
    CRSAPublicKey k;
    CASN1_PublicKey::SetDataTo(*v, k);
    EXPECT_EQ(k.m_nModulusBits, 2048);

    // 258 contents octets are too many for the check, though two leading zeros still fit.
    auto padded = Decode(Tlv(0x30, Concat({Integer(2, 256, 0x80), Integer(0, 1, 3)})));
    EXPECT_EQ(CASN1_PublicKey::IsValid(padded.get()), 0);
    CASN1_PublicKey::SetDataTo(*padded, k);
    EXPECT_EQ(k.m_nModulusBits, 2048);

    // A 257-octet magnitude does not fit: the key is left as it was.
    CRSAPublicKey before(k);
    auto wide = Decode(Tlv(0x30, Concat({Integer(1, 257, 0x80), Integer(0, 1, 3)})));
    EXPECT_EQ(CASN1_PublicKey::IsValid(wide.get()), 0);
    EXPECT_EQ(asn1test::DecodeError([&] { CASN1_PublicKey::SetDataTo(*wide, k); }),
              "PublicKey contents is not valid (invalid modulus)");
    auto wideExponent = Decode(Tlv(0x30, Concat({Integer(0, 8), Integer(0, 257, 0x01)})));
    EXPECT_EQ(asn1test::DecodeError([&] { CASN1_PublicKey::SetDataTo(*wideExponent, k); }),
              "PublicKey contents is not valid (invalid public exponent)");
    EXPECT_TRUE(k == before);

    // Wrong shapes.
    EXPECT_EQ(CASN1_PublicKey::IsValid(nullptr), 0);
    auto one = Decode(Tlv(0x30, Integer(0, 8)));
    EXPECT_EQ(CASN1_PublicKey::IsValid(one.get()), 0);
    EXPECT_EQ(asn1test::DecodeError([&] { CASN1_PublicKey::SetDataTo(*one, k); }),
              "PublicKey contents is not valid (invalid public exponent)");
    auto three = Decode(Tlv(0x30, Concat({Integer(0, 8), Integer(0, 1), Integer(0, 1)})));
    EXPECT_EQ(CASN1_PublicKey::IsValid(three.get()), 0);
    auto set = Decode(Tlv(0x31, Concat({Integer(0, 1, 3), Integer(0, 8)})));
    EXPECT_EQ(CASN1_PublicKey::IsValid(set.get()), 0);
    auto octets = Decode(Tlv(0x30, Concat({Integer(0, 8), Tlv(0x04, Bytes{3})})));
    EXPECT_EQ(CASN1_PublicKey::IsValid(octets.get()), 0);
    auto integer = Decode(Integer(0, 8));
    EXPECT_EQ(CASN1_PublicKey::IsValid(integer.get()), 0);
    EXPECT_EQ(asn1test::DecodeError([&] { CASN1_PublicKey::SetDataTo(*integer, k); }),
              "PublicKey contents is not valid (invalid modulus)");
}

TEST(PKCS1PrivateKey, RoundTripsEveryNumber)
{
    const CRSAPrivateKey& key = SharedKey(1024);
    CASN1_PrivateKey asn(key);
    EXPECT_EQ(CASN1_PrivateKey::IsValid(&asn), 1);
    const Bytes der = EncodedBytes(asn);
    EXPECT_EQ(Bytes(der.begin() + 4, der.begin() + 7), (Bytes{0x02, 0x01, 0x00}));  // version 0

    auto decoded = Decode(der);
    ASSERT_EQ(CASN1_PrivateKey::IsValid(decoded.get()), 1);
    EXPECT_EQ(CASN1_PublicKey::IsValid(decoded.get()), 0);
    CRSAPrivateKey back;
    CASN1_PrivateKey::SetDataTo(*decoded, back);
    EXPECT_TRUE(SameKey(back, key));
    EXPECT_EQ(back.m_nModulusBits, 1024);

    CASN1_PrivateKey copy(asn);
    CASN1_PrivateKey assigned(CRSAPrivateKey{});
    assigned = asn;
    std::unique_ptr<CASN1Type> clone(asn.Clone());
    asn.GetDataFrom(SharedKey(512));
    EXPECT_EQ(EncodedBytes(copy), der);
    EXPECT_EQ(EncodedBytes(assigned), der);
    EXPECT_EQ(EncodedBytes(*clone), der);
    CRSAPrivateKey fromCopy;
    copy.SetDataTo(fromCopy);
    EXPECT_TRUE(SameKey(fromCopy, key));
}

TEST(PKCS1PrivateKey, ShapeAndSizeLimits)
{
    auto check = [](const std::vector<Bytes>& integers) {
        auto v = Decode(PrivateKeyDER(integers));
        return CASN1_PrivateKey::IsValid(v.get());
    };
    std::vector<Bytes> ints = GoodPrivateIntegers();
    EXPECT_EQ(check(ints), 1);

    ints[4] = Integer(1, 128, 0x80);  // 129 octets with the leading zero
    EXPECT_EQ(check(ints), 1);
    ints[4] = Integer(2, 128, 0x80);  // 130
    EXPECT_EQ(check(ints), 0);
    ints = GoodPrivateIntegers();
    ints[8] = Integer(0, 130);
    EXPECT_EQ(check(ints), 0);
    ints = GoodPrivateIntegers();
    ints[3] = Integer(1, 256, 0x80);  // 257 for the private exponent
    EXPECT_EQ(check(ints), 1);
    ints[3] = Integer(0, 258);
    EXPECT_EQ(check(ints), 0);

    ints = GoodPrivateIntegers();
    ints[0] = Integer(0, 1, 0x01);  // version 1
    EXPECT_EQ(check(ints), 0);
    ints[0] = Integer(0, 5, 0x01);  // no 32-bit value at all
    EXPECT_EQ(check(ints), 0);
    ints = GoodPrivateIntegers();
    ints.pop_back();
    EXPECT_EQ(check(ints), 0);
    ints = GoodPrivateIntegers();
    ints.push_back(Integer(0, 1));
    EXPECT_EQ(check(ints), 0);
    ints = GoodPrivateIntegers();
    ints[6] = Tlv(0x05, Bytes{});
    EXPECT_EQ(check(ints), 0);
}

TEST(PKCS1PrivateKey, ConversionFailuresNameTheFirstBadNumberAndChangeNothing)
{
    const CRSAPrivateKey& original = SharedKey(512);
    struct Case {
        int index;
        Bytes integer;
        const char* message;
    };
    const Case cases[] = {
        {1, Integer(0, 257, 0x01), "PribvateKey contents is not valid (invalid modulus)"},
        {2, Integer(0, 257, 0x01), "PrivateKey contents is not valid (invalid public exponent)"},
        {3, Integer(0, 257, 0x01), "PrivateKey contents is not valid (invalid private exponent)"},
        {4, Integer(0, 129, 0x01), "PrivateKey contents is not valid (invalid p)"},
        {5, Integer(0, 129, 0x01), "PrivateKey contents is not valid (invalid q)"},
        {6, Integer(0, 129, 0x01), "PrivateKey contents is not valid (invalid d mod (p - 1))"},
        {7, Integer(0, 129, 0x01), "PrivateKey contents is not valid (invalid d mod (q - 1))"},
        {8, Integer(0, 129, 0x01), "PrivateKey contents is not valid (invalid (inverse of q) mod p)"},
        {5, Tlv(0x04, Bytes{1}), "PrivateKey contents is not valid (invalid q)"},
    };
    for (const Case& c : cases) {
        std::vector<Bytes> ints = GoodPrivateIntegers();
        ints[static_cast<size_t>(c.index)] = c.integer;
        if (c.index < 8)
            ints[8] = Integer(0, 200);  // a later bad number is not the one reported
        auto v = Decode(PrivateKeyDER(ints));
        CRSAPrivateKey key(original);
        EXPECT_EQ(asn1test::DecodeError([&] { CASN1_PrivateKey::SetDataTo(*v, key); }), c.message) << c.index;
        EXPECT_TRUE(SameKey(key, original)) << c.index;
    }

    // The version is not read by the conversion.
    std::vector<Bytes> ints = GoodPrivateIntegers();
    ints[0] = Integer(0, 1, 0x07);
    auto v = Decode(PrivateKeyDER(ints));
    CRSAPrivateKey key;
    CASN1_PrivateKey::SetDataTo(*v, key);
    EXPECT_EQ(key.m_nModulusBits, 512);
    EXPECT_EQ(key.m_Prime1[96], 0xE0);
    EXPECT_EQ(key.m_Prime1[95], 0x00);
}

}  // namespace
