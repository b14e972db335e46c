#include "asn1_test_util.h"
#include "sigilbox/asn1/der_encoding.h"

#include <gtest/gtest.h>

using namespace asn1test;

namespace {

std::string WithZeros(const std::string& head, int count)
{
    std::string s = head;
    for (int i = 0; i < count; ++i)
        s += " 00";
    return s;
}

}  // namespace

TEST(DerEncoding, ReadsIdentifierAndShortLength)
{
    CDEREncoding e = Enc("02 01 05");
    EXPECT_EQ(AfxGetTagClassAndNumber(e), 0x02);
    EXPECT_EQ(AfxGetTagClass(e), 0x00);
    EXPECT_EQ(AfxGetTagNumber(e), 0x02);
    EXPECT_FALSE(AfxIsConstructedMethod(e));
    EXPECT_FALSE(AfxIsIndefiniteLengthMethod(e));
    EXPECT_FALSE(AfxIsHighTagNumberForm(e));
    EXPECT_EQ(AfxGetEncodingLength(e)[0], 1u);
    EXPECT_EQ(AfxGetEncodingLengthValue(e), 1ul);
    EXPECT_EQ(AfxGetNumOfLengthOctets(e), 1);
    AfxSeekToContents(e);
    EXPECT_EQ(e.m_nSeek, 2);
    EXPECT_EQ(e[0], 0x05);
    EXPECT_EQ(e.GetRestLength(), 1);
}

TEST(DerEncoding, IdentifierBitsOfOtherClasses)
{
    CDEREncoding e = Enc("A3 80 00 00");
    EXPECT_EQ(AfxGetTagClass(e), 0x80);
    EXPECT_EQ(AfxGetTagNumber(e), 0x03);
    EXPECT_EQ(AfxGetTagClassAndNumber(e), 0x83);
    EXPECT_TRUE(AfxIsConstructedMethod(e));
    EXPECT_TRUE(AfxIsIndefiniteLengthMethod(e));
    EXPECT_EQ(AfxGetNumOfLengthOctets(e), 1);
    EXPECT_EQ(DecodeError([&] { AfxGetEncodingLength(e); }), "Invalid encoding length");

    CDEREncoding high = Enc("DF 81 02 00");
    EXPECT_TRUE(AfxIsHighTagNumberForm(high));
    EXPECT_EQ(AfxGetTagClassAndNumber(high), 0xDF);
    EXPECT_EQ(*AfxGetHighTagNumber(high), 0x81);
}

TEST(DerEncoding, LongFormLengths)
{
    CDEREncoding e = Enc(WithZeros("04 81 80", 128));
    EXPECT_EQ(AfxGetEncodingLength(e)[0], 128u);
    EXPECT_EQ(AfxGetNumOfLengthOctets(e), 2);
    AfxSeekToContents(e);
    EXPECT_EQ(e.m_nSeek, 3);
    EXPECT_TRUE(e.IsValidBytes(128));
    EXPECT_FALSE(e.IsValidBytes(129));

    // Non-minimal lengths are accepted on input.
    CDEREncoding padded = Enc(WithZeros("04 82 00 80", 128));
    EXPECT_EQ(AfxGetEncodingLength(padded)[0], 128u);
    EXPECT_EQ(AfxGetNumOfLengthOctets(padded), 3);

    CDEREncoding five = Enc("04 85 00 00 00 00 01");
    EXPECT_EQ(AfxGetEncodingLength(five)[0], 1u);
    EXPECT_EQ(AfxGetEncodingLengthValue(five), 1ul);

    CDEREncoding max = Enc("04 84 FF FF FF FF");
    EXPECT_EQ(AfxGetEncodingLength(max)[0], 0xFFFFFFFFu);
    EXPECT_EQ(AfxGetEncodingLengthValue(max), 0xFFFFFFFFul);
}

TEST(DerEncoding, BadLengthsRaiseTheirMessages)
{
    struct Case {
        const char* hex;
        const char* message;
    } cases[] = {
        {"04 81 00", "Invalid encoding length"},             // long form of zero
        {"04 85 01 00 00 00 00", "Invalid encoding length"},  // 2^32
        {"04 82 01", "Invalid encoding length"},             // a length octet missing
        {"04 FF", "Invalid encoding length"},                // 127 length octets announced
        {"04 80", "Invalid encoding length"},                // indefinite is not a length
        {"04", "Invalid index to encoding"},                 // lone identifier octet
        {"", "Invalid index to encoding"},
    };
    for (const Case& c : cases) {
        CDEREncoding e = Enc(c.hex);
        EXPECT_EQ(DecodeError([&] { AfxGetEncodingLength(e); }), c.message) << c.hex;
        EXPECT_EQ(DecodeError([&] { AfxGetEncodingLengthValue(e); }), c.message) << c.hex;
        EXPECT_EQ(e.m_nSeek, 0);
    }
    CDEREncoding missing = Enc("04 82 01");
    EXPECT_EQ(DecodeError([&] { AfxGetNumOfLengthOctets(missing); }), "Invalid encoding length");
    CDEREncoding lone = Enc("30");
    EXPECT_EQ(DecodeError([&] { AfxGetNumOfLengthOctets(lone); }), "Invalid index to encoding");
    EXPECT_EQ(DecodeError([&] { AfxIsIndefiniteLengthMethod(lone); }), "Invalid index to encoding");
    CDEREncoding loneZero = Enc("00");
    EXPECT_EQ(DecodeError([&] { AfxIsContentsEndOctets(loneZero); }), "Invalid index to encoding");
}

TEST(DerEncoding, ValidEncodingLengthRange)
{
    EXPECT_FALSE(AfxIsValidEncodingLength(CHugeDigit(0ul)));
    EXPECT_TRUE(AfxIsValidEncodingLength(CHugeDigit(1ul)));
    EXPECT_TRUE(AfxIsValidEncodingLength(CHugeDigit(0xFFFFFFFFul)));
    CHugeDigit wide(2, 0);
    wide[1] = 1;
    EXPECT_FALSE(AfxIsValidEncodingLength(wide));
    CHugeDigit uncompacted(8, 7);
    EXPECT_TRUE(AfxIsValidEncodingLength(uncompacted));
}

TEST(DerEncoding, SeekingAndIndexing)
{
    CDEREncoding e = Enc("01 02 03 04");
    EXPECT_TRUE(e.IsSeekValid(3));
    EXPECT_FALSE(e.IsSeekValid(4));
    EXPECT_FALSE(e.IsSeekValid(-1));
    EXPECT_TRUE(e.IsValidBytes(0));
    EXPECT_TRUE(e.IsValidBytes(4));
    EXPECT_FALSE(e.IsValidBytes(5));
    EXPECT_FALSE(e.IsValidBytes(-1));
    EXPECT_TRUE(e.IsValidBytes(CHugeDigit(4ul)));
    EXPECT_FALSE(e.IsValidBytes(CHugeDigit(5ul)));
    CHugeDigit wide(2, 1);
    wide[1] = 1;  // 2^32 + 1: the low word alone would pass
    EXPECT_FALSE(e.IsValidBytes(wide));

    e.SeekForward(1);
    EXPECT_EQ(e[0], 0x02);
    e[0] = 0x22;
    EXPECT_EQ(e.GetData()[1], 0x22);
    EXPECT_EQ(DecodeError([&] { (void)e[3]; }), "Invalid index to encoding");
    EXPECT_EQ(DecodeError([&] { (void)e[-2]; }), "Invalid index to encoding");

    e.SeekForward(CHugeDigit(3ul));
    EXPECT_TRUE(e.IsEndSeek());
    EXPECT_EQ(e.GetRestLength(), 0);
    EXPECT_TRUE(e.IsValidBytes(0));
    EXPECT_FALSE(e.IsValidBytes(1));
    EXPECT_EQ(DecodeError([&] { e.SeekForward(1); }), "Invalid seek index");
    EXPECT_FALSE(e.IsEndSeek());  // the cursor moved before the refusal

    CDEREncoding f = Enc("01 02");
    EXPECT_EQ(DecodeError([&] { f.SeekForward(CHugeDigit(3ul)); }), "Invalid seek index");
    CDEREncoding g = Enc("01 02");
    EXPECT_EQ(DecodeError([&] { g.SeekForward(wide); }), "Invalid seek index");
    CDEREncoding h = Enc("01 02");
    EXPECT_EQ(DecodeError([&] { h.SeekForward(0x7FFFFFFF); }), "Invalid seek index");
    EXPECT_EQ(ToHex(h), "01 02");  // the buffer is unchanged by failures
}

TEST(DerEncoding, CopiesKeepOctetsAndSeek)
{
    CDEREncoding e = Enc("30 03 02 01 07");
    e.SeekForward(2);
    CDEREncoding copy(e);
    EXPECT_EQ(copy.m_nSeek, 2);
    EXPECT_EQ(ToHex(copy), "30 03 02 01 07");
    CDEREncoding assigned;
    assigned = e;
    EXPECT_EQ(assigned.m_nSeek, 2);
    EXPECT_EQ(assigned[2], 0x07);

    // Archives hold the octets only, in the byte array's form.
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        e.Serialize(ar);
    }
    file.SeekToBegin();
    CDEREncoding loaded;
    {
        CArchive ar(&file, CArchive::load);
        loaded.Serialize(ar);
    }
    EXPECT_EQ(ToHex(loaded), "30 03 02 01 07");
    EXPECT_EQ(loaded.m_nSeek, 0);
    EXPECT_EQ(e.GetRuntimeClass(), RUNTIME_CLASS(CByteArray));
}

TEST(DerEncoding, EndOfContentsOctets)
{
    CDEREncoding e = Enc("00 00 01");
    EXPECT_TRUE(AfxIsContentsEndOctets(e));
    e.SeekForward(1);
    EXPECT_EQ(DecodeError([&] { AfxIsContentsEndOctets(e); }), "<no exception>");
    EXPECT_FALSE(AfxIsContentsEndOctets(e));
}

TEST(DerEncoding, ComputedSizesAndLengthFields)
{
    EXPECT_EQ(AfxComputeEncodedLength(1, 0, 0), 2ul);
    EXPECT_EQ(AfxComputeEncodedLength(1, 127, 0), 129ul);
    EXPECT_EQ(AfxComputeEncodedLength(1, 128, 0), 131ul);
    EXPECT_EQ(AfxComputeEncodedLength(1, 255, 0), 258ul);
    EXPECT_EQ(AfxComputeEncodedLength(1, 256, 0), 260ul);
    EXPECT_EQ(AfxComputeEncodedLength(1, 65536, 0), 65541ul);
    EXPECT_EQ(AfxComputeEncodedLength(1, 0xFFFFFFFFul, 0), 0xFFFFFFFFul + 6);
    EXPECT_EQ(AfxComputeEncodedLength(1, 10, 1), 14ul);

    unsigned char out[9];
    struct Case {
        unsigned long length;
        const char* hex;
    } cases[] = {{0, "00"}, {127, "7F"}, {128, "81 80"}, {256, "82 01 00"}, {0x10000, "83 01 00 00"},
                 {0xFFFFFFFFul, "84 FF FF FF FF"}};
    for (const Case& c : cases) {
        int n = AfxWriteDefiniteLength(c.length, out);
        EXPECT_EQ(ToHex(out, n), c.hex);
        EXPECT_EQ(n, AfxLengthOctetsCount(c.length));
        EXPECT_EQ(AfxComputeEncodedLength(1, c.length, 0), 1 + static_cast<unsigned long>(n) + c.length);
    }
}

TEST(DerEncoding, SetOfOrdering)
{
    CDEREncoding one = Enc("31 03 02 01 01");
    CDEREncoding two = Enc("31 03 02 01 02");
    EXPECT_TRUE(one <= two);
    EXPECT_FALSE(two <= one);
    EXPECT_TRUE(one <= one);
    EXPECT_TRUE(Enc("01 00") <= Enc("01"));
    EXPECT_FALSE(Enc("01 01") <= Enc("01"));
    EXPECT_TRUE(Enc("01") <= Enc("01 00"));
    EXPECT_TRUE(Enc("") <= Enc(""));
    EXPECT_TRUE(Enc("") <= Enc("00"));
    EXPECT_TRUE(Enc("7F") <= Enc("80"));  // octets compare unsigned
    EXPECT_FALSE(Enc("80") <= Enc("7F"));

    // Cursors do not matter and are left where they were.
    one.SeekForward(3);
    two.SeekForward(1);
    EXPECT_TRUE(one <= two);
    EXPECT_EQ(one.m_nSeek, 3);
    EXPECT_EQ(two.m_nSeek, 1);
}

TEST(DerEncoding, CountBits)
{
    unsigned char zero[3] = {0, 0, 0};
    EXPECT_EQ(AfxCountBits(zero, 3), 0);
    unsigned char v[3] = {0x00, 0x01, 0x00};
    EXPECT_EQ(AfxCountBits(v, 3), 9);
    unsigned char top[2] = {0x80, 0x00};
    EXPECT_EQ(AfxCountBits(top, 2), 16);
    EXPECT_EQ(AfxCountBits(top, 0), 0);
    // Only the last 256 octets count.
    std::vector<unsigned char> big(300, 0);
    big[0] = 0xFF;
    big[299] = 1;
    EXPECT_EQ(AfxCountBits(big.data(), 300), 1);
    big[44] = 0x01;
    EXPECT_EQ(AfxCountBits(big.data(), 300), 2041);
}

TEST(DerEncoding, ExceptionInstanceSurvivesDelete)
{
    CDERDecodingException* first = nullptr;
    CDERDecodingException* second = nullptr;
    try {
        AfxThrowDERDecodingException("first");
    } catch (CDERDecodingException* e) {
        first = e;
        e->Delete();
    }
    try {
        AfxThrowDERDecodingException("second");
    } catch (CException* e) {
        second = dynamic_cast<CDERDecodingException*>(e);
        e->Delete();
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_FALSE(first->m_bAutoDelete);
    EXPECT_STREQ(AfxGetLastDERDecodingMessage(), "second");
    EXPECT_TRUE(first->IsKindOf(RUNTIME_CLASS(CException)));
}

TEST(DerEncoding, ArrayElementHelpers)
{
    CArray<CDEREncoding, const CDEREncoding&> encodings;
    encodings.SetSize(3);
    encodings[1] = Enc("05 00");
    EXPECT_EQ(encodings[1].GetSize(), 2);
    encodings.SetSize(1);  // the dropped elements free their octets
    encodings.SetSize(3);
    EXPECT_EQ(encodings[1].GetSize(), 0);
    EXPECT_EQ(encodings[2].m_nSeek, 0);

    CArray<CDEREncoding*, CDEREncoding*> owned;
    owned.Add(new CDEREncoding(Enc("05 00")));
    owned.Add(nullptr);
    owned.Add(new CDEREncoding(Enc("02 01 01")));
    owned.RemoveAt(0);  // deletes the encoding (a leak would show under the sanitizers)
    EXPECT_EQ(owned.GetSize(), 2);
    EXPECT_EQ(owned[0], nullptr);
}
