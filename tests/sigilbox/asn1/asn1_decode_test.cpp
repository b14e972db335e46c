#include "asn1_test_util.h"
#include "tests/sigilbox/kill_request.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "framework/thread.h"
#include "sigilbox/engines/progress.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <typeinfo>

using namespace asn1test;

namespace {

Owned Decode(const std::string& hex)
{
    CDEREncoding e = Enc(hex);
    Owned object(AfxBuildFromEncoding(e));
    EXPECT_TRUE(e.IsEndSeek()) << hex;
    return object;
}

// `levels` constructed values nested in one another around a NULL.
std::vector<unsigned char> Nested(int levels, bool indefinite)
{
    std::vector<unsigned char> v = {0x05, 0x00};
    for (int i = 0; i < levels; ++i) {
        std::vector<unsigned char> outer;
        outer.push_back(0x30);
        if (indefinite) {
            outer.push_back(0x80);
            outer.insert(outer.end(), v.begin(), v.end());
            outer.push_back(0);
            outer.push_back(0);
        } else {
            unsigned char len[9];
            int n = AfxWriteDefiniteLength(v.size(), len);
            outer.insert(outer.end(), len, len + n);
            outer.insert(outer.end(), v.begin(), v.end());
        }
        v.swap(outer);
    }
    return v;
}

}  // namespace

TEST(Factory, ClassesByTagOctet)
{
    struct Case {
        unsigned char tag;
        const std::type_info& type;
    } cases[] = {
        {0x02, typeid(CASN1_INTEGER)},        {0x03, typeid(CASN1_BIT_STRING)},
        {0x04, typeid(CASN1_OCTET_STRING)},   {0x05, typeid(CASN1_NULL)},
        {0x06, typeid(CASN1_OBJECT_IDENTIFIER)}, {0x10, typeid(CASN1_SEQUENCE)},
        {0x11, typeid(CASN1_SET)},            {0x13, typeid(CASN1_PrintableString)},
        {0x14, typeid(CASN1_T61String)},      {0x16, typeid(CASN1_IA5String)},
        {0x17, typeid(CASN1_UTCTime)},        {0x01, typeid(CASN1_TAGGED)},
        {0x12, typeid(CASN1_TAGGED)},         {0x42, typeid(CASN1_TAGGED)},
        {0x80, typeid(CASN1_TAGGED)},         {0xC3, typeid(CASN1_TAGGED)},
    };
    for (const Case& c : cases) {
        Owned object(AfxMakeASN1Class(c.tag));
        EXPECT_EQ(typeid(*object), c.type) << int(c.tag);
        EXPECT_EQ(object->m_Tag, c.tag);
    }
}

TEST(Decoder, ShapesAndRoundTrips)
{
    Owned empty = Decode("30 00");
    EXPECT_EQ(typeid(*empty), typeid(CASN1_SEQUENCE));
    EXPECT_TRUE(empty->m_bConstructed);
    EXPECT_FALSE(empty->m_bIndefiniteLength);

    Owned indefinite = Decode("30 80 02 01 05 00 00");
    EXPECT_TRUE(indefinite->m_bIndefiniteLength);
    EXPECT_EQ(static_cast<CASN1_SEQUENCE&>(*indefinite).GetComponentsCount(), 1);
    EXPECT_EQ(Encode(*indefinite), "30 80 02 01 05 00 00");

    Owned octets = Decode("24 80 04 02 41 42 04 01 43 00 00");
    auto& s = static_cast<CASN1_OCTET_STRING&>(*octets);
    EXPECT_EQ(ToHex(s.GetData(), s.GetDataSize()), "41 42 43");
    EXPECT_EQ(Encode(s), "24 80 04 02 41 42 04 01 43 00 00");

    Owned boolean = Decode("01 01 FF");
    EXPECT_EQ(typeid(*boolean), typeid(CASN1_TAGGED));
    EXPECT_EQ(boolean->m_Tag, 0x01);
    EXPECT_EQ(Encode(*boolean), "01 01 FF");

    // Non-minimal lengths are read but written minimal.
    Owned padded = Decode("04 82 00 01 41");
    EXPECT_EQ(Encode(*padded), "04 01 41");

    // The cursor stops right after the value.
    CDEREncoding two = Enc("02 01 01 02 01 02");
    Owned first(AfxBuildFromEncoding(two));
    EXPECT_EQ(two.m_nSeek, 3);
    Owned second(AfxBuildFromEncoding(two));
    EXPECT_TRUE(two.IsEndSeek());
    EXPECT_EQ(Encode(*second), "02 01 02");
}

TEST(Decoder, MalformedInputRaisesItsMessage)
{
    struct Case {
        const char* hex;
        const char* message;
    } cases[] = {
        {"10 00", "Encoded type does not allow primitive encoding method"},
        {"22 03 02 01 05", "Encoded type does not allow constructed encoding method"},
        {"26 80 00 00", "Encoded type does not allow constructed encoding method"},
        {"1F 20 00", "High tag number form is not supported"},
        {"30 05 02 01 05", "Invalid data length"},                // contents missing
        {"04 05 41", "Invalid encoding length"},
        {"04 80 41 00 00", "Invalid encoding length"},            // indefinite primitive
        {"30 81 00", "Invalid encoding length"},
        {"30 85 01 00 00 00 00", "Invalid encoding length"},
        {"30", "Invalid index to encoding"},
        {"", "Invalid index to encoding"},
        {"30 80 02 01 05", "Invalid index to encoding"},          // no end-of-contents
        {"30 80 02 01 05 00", "Invalid index to encoding"},
        {"30 03 02 02 05 06", "Invalid data length"},              // child runs past its parent
        {"30 03 30 80 00 00", "Invalid data length"},              // indefinite child too
        {"30 06 24 80 04 01 41 00 00", "Invalid data length"},
        {"24 03 02 01 05", "Invalid constructed encoded type"},
        {"30 03 3F 01 00", "High tag number form is not supported"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FactoryError(c.hex), c.message) << c.hex;
}

TEST(Decoder, ExistingObjectForm)
{
    CASN1_SEQUENCE seq;
    CDEREncoding set = Enc("31 00");
    EXPECT_EQ(DecodeError([&] { seq.DecodeFrom(set); }), "Other tag number expected");
    CDEREncoding high = Enc("3F 20 00");
    EXPECT_EQ(DecodeError([&] { seq.DecodeFrom(high); }), "High tag number form is not supported now");
    CDEREncoding shortValue = Enc("30 05 02 01 05");
    EXPECT_EQ(DecodeError([&] { seq.DecodeFrom(shortValue); }), "Invalid encoding length");
    CDEREncoding overrun = Enc("30 03 02 02 05 06");
    EXPECT_EQ(DecodeError([&] { seq.DecodeFrom(overrun); }), "Invalid data length");

    // A failed decode leaves the object cleared, its tag unchanged.
    CDEREncoding bad = Enc("30 06 02 01 05 05 01 00");
    EXPECT_EQ(DecodeError([&] { seq.DecodeFrom(bad); }), "Encoded NULL value has invalid length");
    EXPECT_EQ(seq.GetComponentsCount(), 0);
    EXPECT_EQ(seq.m_Tag, 0x10);

    CDEREncoding good = Enc("30 03 02 01 05 FF");
    seq.DecodeFrom(good);
    EXPECT_EQ(good.m_nSeek, 5);
    EXPECT_EQ(Encode(seq), "30 03 02 01 05");
    // DecodeFrom starts from an empty object.
    good.m_nSeek = 0;
    seq.DecodeFrom(good);
    EXPECT_EQ(seq.GetComponentsCount(), 1);

    CASN1_TAGGED tagged(0x83, 0, 0);
    CDEREncoding contextual = Enc("A3 03 02 01 09");
    tagged.DecodeFrom(contextual);
    EXPECT_EQ(Encode(tagged), "A3 03 02 01 09");
}

TEST(Decoder, NestingIsBounded)
{
    std::vector<unsigned char> ok = Nested(kASN1MaxNestingDepth - 1, false);
    CDEREncoding okEncoding(ok.data(), ok.size());
    Owned deep(AfxBuildFromEncoding(okEncoding));
    CByteArray again;
    deep->EncodeTo(again);
    EXPECT_EQ(ToHex(again), ToHex(ok.data(), static_cast<int>(ok.size())));

    for (bool indefinite : {false, true}) {
        std::vector<unsigned char> tooDeep = Nested(kASN1MaxNestingDepth, indefinite);
        CDEREncoding e(tooDeep.data(), tooDeep.size());
        EXPECT_EQ(DecodeError([&] { delete AfxBuildFromEncoding(e); }), "Encoding is nested too deeply");
        CASN1_SEQUENCE target;
        e.m_nSeek = 0;
        EXPECT_EQ(DecodeError([&] { target.DecodeFrom(e); }), "Encoding is nested too deeply");
    }
    // Far deeper input than any stack could take in recursion is refused as quickly.
    std::vector<unsigned char> hostile;
    for (int i = 0; i < 200000; ++i) {
        hostile.push_back(0x30);
        hostile.push_back(0x80);
    }
    CDEREncoding h(hostile.data(), hostile.size());
    EXPECT_EQ(DecodeError([&] { delete AfxBuildFromEncoding(h); }), "Encoding is nested too deeply");
}

TEST(Decoder, LongSegmentedStringsAtSeveralSegmentSizes)
{
    for (int segment : {1, 16, 1000, 1024, 4096}) {
        std::vector<unsigned char> content(10000);
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<unsigned char>(i * 7 + 3);
        std::vector<unsigned char> input = {0x24, 0x80};
        for (size_t at = 0; at < content.size(); at += segment) {
            size_t n = std::min<size_t>(segment, content.size() - at);
            input.push_back(0x04);
            unsigned char len[9];
            int k = AfxWriteDefiniteLength(n, len);
            input.insert(input.end(), len, len + k);
            input.insert(input.end(), content.begin() + at, content.begin() + at + n);
        }
        input.push_back(0);
        input.push_back(0);
        CDEREncoding e(input.data(), input.size());
        Owned value(AfxBuildFromEncoding(e));
        auto& s = static_cast<CASN1_OCTET_STRING&>(*value);
        ASSERT_EQ(s.GetDataSize(), 10000) << segment;
        EXPECT_EQ(0, std::memcmp(s.GetData(), content.data(), content.size())) << segment;
        CByteArray again;
        s.EncodeTo(again);
        ASSERT_EQ(again.GetSize(), static_cast<int>(input.size()));
        EXPECT_EQ(0, std::memcmp(again.GetData(), input.data(), input.size())) << segment;
    }
}

TEST(Tagged, ExplicitAndImplicitViews)
{
    Owned tagged = Decode("A0 03 02 01 07");
    auto& t = static_cast<CASN1_TAGGED&>(*tagged);
    CASN1_INTEGER integer;
    EXPECT_EQ(CASN1_TAGGED::FromExplicit(t, integer), 1);
    unsigned long value = 0;
    EXPECT_TRUE(integer.GetInteger(value));
    EXPECT_EQ(value, 7ul);

    CASN1_SEQUENCE seq;
    EXPECT_EQ(CASN1_TAGGED::FromExplicit(t, seq), 0);
    EXPECT_EQ(seq.GetComponentsCount(), 0);

    Owned primitive = Decode("80 01 07");
    EXPECT_EQ(CASN1_TAGGED::FromExplicit(static_cast<CASN1_TAGGED&>(*primitive), integer), 0);
    Owned two = Decode("A0 06 02 01 07 02 01 08");
    EXPECT_EQ(CASN1_TAGGED::FromExplicit(static_cast<CASN1_TAGGED&>(*two), integer), 0);

    // [0] IMPLICIT OCTET STRING, primitive and segmented.
    CASN1_OCTET_STRING octets;
    EXPECT_EQ(CASN1_TAGGED::FromImplicit(static_cast<CASN1_TAGGED&>(*primitive), octets), 1);
    EXPECT_EQ(Encode(octets), "04 01 07");
    Owned segmented = Decode("A0 80 04 01 41 04 01 42 00 00");
    EXPECT_EQ(CASN1_TAGGED::FromImplicit(static_cast<CASN1_TAGGED&>(*segmented), octets), 1);
    EXPECT_EQ(ToHex(octets.GetData(), octets.GetDataSize()), "41 42");
    EXPECT_EQ(Encode(octets), "24 80 04 01 41 04 01 42 00 00");
    // [1] IMPLICIT NULL with contents does not decode: 0 and the target stays cleared.
    Owned badNull = Decode("81 01 00");
    CASN1_NULL null;
    EXPECT_EQ(CASN1_TAGGED::FromImplicit(static_cast<CASN1_TAGGED&>(*badNull), null), 0);

    CASN1_TAGGED implicit(0x82, 0, 0);
    CASN1_SET set;
    set.AddObject(new CASN1_INTEGER(1));
    implicit.BuildImplicit(set);
    EXPECT_EQ(Encode(implicit), "A2 03 02 01 01");
    CASN1_TAGGED implicitPrimitive(0x81, 0, 0);
    implicitPrimitive.BuildImplicit(CASN1_INTEGER(300));
    EXPECT_EQ(Encode(implicitPrimitive), "81 02 01 2C");
    implicitPrimitive.BuildImplicit(implicitPrimitive);
    EXPECT_EQ(Encode(implicitPrimitive), "81 02 01 2C");
}

TEST(Decoder, KillRequestEndsALongDecodeCleanly)
{
    std::vector<unsigned char> input = Nested(10, true);
    CDEREncoding e(input.data(), input.size());
    CASN1_SEQUENCE target;
    {
        sigilboxtest::KillRequest kill;
        EXPECT_TRUE(sigilboxtest::EndsWithKill([&] { target.DecodeFrom(e); }));
    }
    EXPECT_EQ(target.GetComponentsCount(), 0);
    e.m_nSeek = 0;
    target.DecodeFrom(e);
    EXPECT_EQ(target.GetComponentsCount(), 1);
}
