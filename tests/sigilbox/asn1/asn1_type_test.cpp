#include "asn1_test_util.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/object_identifiers.h"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

using namespace asn1test;

namespace {

// What EncodeToFile writes into a growable memory file.
std::string EncodeThroughFile(const CASN1Type& object, int contentsOnly)
{
    CMemFile file;
    object.EncodeToFile(file, contentsOnly);
    return ToHex(file.GetBufferPtr(), static_cast<int>(file.GetLength()));
}

Owned Decode(const std::string& hex)
{
    CDEREncoding e = Enc(hex);
    return Owned(AfxBuildFromEncoding(e));
}

}  // namespace

TEST(Asn1Type, TaggedPrimitiveAndConstructedEncodings)
{
    const unsigned char data[] = {0xFF};
    CASN1_TAGGED boolean(0x01, data, 1);
    EXPECT_EQ(Encode(boolean), "01 01 FF");
    EXPECT_EQ(EncodeThroughFile(boolean, 1), "FF");

    CASN1_TAGGED empty(0x85, 0, 0);
    EXPECT_EQ(Encode(empty), "85 00");

    CASN1_TAGGED definite(0xA0 & 0xDF, 1, 0);
    definite.BuildExplicit(CASN1_INTEGER(7));
    EXPECT_EQ(Encode(definite), "A0 03 02 01 07");
    EXPECT_EQ(ToHex(definite.CByteArray::GetData(), definite.GetDataSize()), "02 01 07");
    EXPECT_EQ(EncodeThroughFile(definite, 1), "02 01 07");

    CASN1_TAGGED indefinite(0x80, 1, 1);
    indefinite.BuildExplicit(CASN1_NULL());
    EXPECT_EQ(Encode(indefinite), "A0 80 05 00 00 00");
    EXPECT_EQ(EncodeThroughFile(indefinite, 1), "05 00");  // no end-of-contents octets

    // A value explicitly tagged with itself stays sound.
    definite.BuildExplicit(definite);
    EXPECT_EQ(Encode(definite), "A0 05 A0 03 02 01 07");
}

TEST(Asn1Type, LongLengthsAndEncodedSizesAgree)
{
    std::vector<unsigned char> big(300, 0x41);
    CASN1_OCTET_STRING octets(big.data(), big.size());
    CByteArray out;
    octets.EncodeTo(out);
    ASSERT_EQ(out.GetSize(), 304);
    EXPECT_EQ(ToHex(out.GetData(), 4), "04 82 01 2C");

    // Nested constructed values around it, definite and indefinite: the size computed ahead
    // must equal what is written, since EncodeTo's buffer cannot grow.
    CASN1_SEQUENCE inner(1);
    inner.AddObject(octets.Clone());
    inner.AddObject(new CASN1_INTEGER(128));
    CASN1_SET set;
    set.AddObject(inner.Clone());
    CASN1_SEQUENCE outer;
    outer.AddObject(set.Clone());
    outer.AddObject(new CASN1_md5());
    CByteArray whole;
    outer.EncodeTo(whole);
    EXPECT_EQ(ToHex(whole), EncodeThroughFile(outer, 0));
    EXPECT_EQ(ToHex(whole.GetData(), 8), "30 82 01 46 31 82 01 38");
    EXPECT_EQ(ToHex(whole.GetData() + 8, 2), "30 80");
}

TEST(Asn1Type, CloneAndCopiesAreDeep)
{
    CASN1_SEQUENCE seq;
    seq.AddObject(new CASN1_INTEGER(5));
    CASN1_SEQUENCE nested;
    nested.AddObject(new CASN1_NULL());
    seq.AddObject(nested.Clone());

    Owned clone(seq.Clone());
    EXPECT_TRUE(AreEqual(*clone, seq));
    seq.Clear();
    EXPECT_EQ(Encode(seq), "30 00");
    EXPECT_EQ(Encode(*clone), "30 07 02 01 05 30 02 05 00");

    CASN1_SEQUENCE copy(static_cast<CASN1_SEQUENCE&>(*clone));
    CASN1_SEQUENCE assigned;
    assigned.AddObject(new CASN1_NULL());
    assigned = copy;
    clone.reset();
    EXPECT_EQ(Encode(copy), "30 07 02 01 05 30 02 05 00");
    EXPECT_EQ(Encode(assigned), "30 07 02 01 05 30 02 05 00");

    // A structure clones as a plain sequence of its own encoding.
    CASN1_AlgorithmIdentifier algorithm{CASN1_md5(), CASN1_NULL()};
    Owned algorithmClone(algorithm.Clone());
    EXPECT_EQ(typeid(*algorithmClone), typeid(CASN1_SEQUENCE));
    EXPECT_TRUE(AreEqual(*algorithmClone, algorithm));

    // An identifier class clones as a plain identifier.
    CASN1_CommonName cn;
    Owned cnClone(cn.Clone());
    EXPECT_EQ(typeid(*cnClone), typeid(CASN1_OBJECT_IDENTIFIER));
    EXPECT_EQ(Encode(*cnClone), "06 03 55 04 03");
}

TEST(Asn1Type, ConstructedStringSegmentsMustShareTheTag)
{
    EXPECT_EQ(DecodeError([] { Decode("24 03 02 01 05"); }), "Invalid constructed encoded type");
    // A tagged value takes segments of any tag.
    Owned tagged = Decode("A1 06 02 01 05 04 01 41");
    auto& t = static_cast<CASN1_TAGGED&>(*tagged);
    EXPECT_EQ(t.GetComponentsCount(), 2);
    EXPECT_EQ(ToHex(t.CByteArray::GetData(), t.GetDataSize()), "05 41");
    EXPECT_EQ(Encode(t), "A1 06 02 01 05 04 01 41");
}

TEST(Asn1Type, AreEqualComparesEncodings)
{
    EXPECT_TRUE(AreEqual(CASN1_INTEGER(5), CASN1_INTEGER(5)));
    EXPECT_FALSE(AreEqual(CASN1_INTEGER(5), CASN1_INTEGER(6)));
    const unsigned char five = 5;
    // Same contents, other tag: different encodings.
    EXPECT_FALSE(AreEqual(CASN1_INTEGER(5), CASN1_OCTET_STRING(&five, 1)));
    EXPECT_FALSE(AreEqual(CASN1_SEQUENCE(0), CASN1_SEQUENCE(1)));
}

TEST(Asn1Type, ObjectsCrossOwnershipThroughTheClassAllocator)
{
    // Children made by the caller are adopted and freed by the library, and the reverse.
    CASN1_SEQUENCE* seq = new CASN1_SEQUENCE();
    seq->AddObject(new CASN1_INTEGER(1));
    seq->AddObject(nullptr);  // ignored
    CASN1Type* copy = seq->Clone();
    delete seq;
    CASN1_PRIMITIVE_TYPE* asPrimitive = static_cast<CASN1_SEQUENCE*>(copy);
    EXPECT_EQ(asPrimitive->GetDataSize(), 0);
    delete copy;

    void* raw = CASN1_PRIMITIVE_TYPE::operator new(64);
    ASSERT_NE(raw, nullptr);
    CASN1_PRIMITIVE_TYPE::operator delete(raw);
}

TEST(Asn1Type, ArchiveFormRoundTrips)
{
    Owned value = Decode("30 80 02 01 05 24 80 04 01 41 04 01 42 00 00 00 00");
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        value->_Serialize(ar);
    }
    const unsigned char* p = file.GetBufferPtr();
    ASSERT_GE(file.GetLength(), 2);
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[1], 17);  // the element count of the byte array

    file.SeekToBegin();
    CASN1_SEQUENCE loaded;
    {
        CArchive ar(&file, CArchive::load);
        loaded._Serialize(ar);
    }
    EXPECT_TRUE(AreEqual(loaded, *value));
}

TEST(Asn1Type, ArchiveLoadFailuresBecomeArchiveExceptions)
{
    auto load = [](const std::string& hex, CASN1Type& target) -> int {
        std::vector<unsigned char> bytes = Hex(hex);
        CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
        return qmtest::CauseOf<CArchiveException>([&] {
            CArchive ar(&file, CArchive::load);
            target._Serialize(ar);
        });
    };
    CASN1_SEQUENCE seq;
    EXPECT_EQ(load("01 02 00 30 00", seq), CArchiveException::generic);  // version octet
    EXPECT_EQ(load("00 02 00 31 00", seq), CArchiveException::generic);  // other tag
    EXPECT_EQ(load("00 03 00 30 05 00", seq), CArchiveException::generic);  // truncated value
    EXPECT_EQ(seq.GetComponentsCount(), 0);
    EXPECT_EQ(load("00 02 00 30 00", seq), -1);
}
