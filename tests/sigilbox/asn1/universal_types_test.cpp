#include "asn1_test_util.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/serial_number.h"
#include "sigilbox/asn1/utc_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

using namespace asn1test;

namespace {

template <class T>
std::unique_ptr<T> DecodeAs(const std::string& hex)
{
    auto object = std::make_unique<T>();
    CDEREncoding e = Enc(hex);
    object->DecodeFrom(e);
    EXPECT_TRUE(e.IsEndSeek()) << hex;
    return object;
}

std::string Text(const CASN1_PRIMITIVE_TYPE& value)
{
    return std::string(reinterpret_cast<const char*>(value.GetData()), static_cast<size_t>(value.GetDataSize()));
}

}  // namespace

TEST(Integer, MinimalEncodingsFromValuesAndMagnitudes)
{
    EXPECT_EQ(Encode(CASN1_INTEGER(0)), "02 01 00");
    EXPECT_EQ(Encode(CASN1_INTEGER(127)), "02 01 7F");
    EXPECT_EQ(Encode(CASN1_INTEGER(128)), "02 02 00 80");
    EXPECT_EQ(Encode(CASN1_INTEGER(256)), "02 02 01 00");
    EXPECT_EQ(Encode(CASN1_INTEGER(32768)), "02 03 00 80 00");
    EXPECT_EQ(Encode(CASN1_INTEGER(4294967295ul)), "02 05 00 FF FF FF FF");

    std::vector<unsigned char> m = Hex("00 00 80");
    EXPECT_EQ(Encode(CASN1_INTEGER(m.data(), 3)), "02 02 00 80");
    m = Hex("00 00");
    EXPECT_EQ(Encode(CASN1_INTEGER(m.data(), 2)), "02 01 00");
    EXPECT_EQ(Encode(CASN1_INTEGER(m.data(), 0)), "02 01 00");

    // Only the last 256 octets of a magnitude count.
    std::vector<unsigned char> wide(300, 0);
    wide[0] = 0xFF;
    wide[299] = 0x01;
    EXPECT_EQ(Encode(CASN1_INTEGER(wide.data(), 300)), "02 01 01");
    wide[44] = 0x80;
    CByteArray out;
    CASN1_INTEGER(wide.data(), 300).EncodeTo(out);
    EXPECT_EQ(out.GetSize(), 2 + 2 + 257);
}

TEST(Integer, ReadingBack)
{
    auto i = DecodeAs<CASN1_INTEGER>("02 02 00 80");
    CByteArray data;
    EXPECT_TRUE(i->GetData(data));
    EXPECT_EQ(ToHex(data), "80");
    unsigned long value = 0;
    EXPECT_TRUE(i->GetInteger(value));
    EXPECT_EQ(value, 128ul);

    unsigned char buffer[4] = {9, 9, 9, 9};
    int size = -1;
    EXPECT_TRUE(i->GetData(buffer, 4, size, 0, 1));
    EXPECT_EQ(ToHex(buffer, 4), "00 00 00 80");
    EXPECT_EQ(size, 1);
    unsigned char left[4] = {9, 9, 9, 9};
    EXPECT_TRUE(i->GetData(left, 4, size, 1, 0));
    EXPECT_EQ(ToHex(left, 4), "80 09 09 09");
    EXPECT_FALSE(i->GetData(buffer, 0, size, 0, 0));
    EXPECT_EQ(size, 1);

    EXPECT_FALSE(DecodeAs<CASN1_INTEGER>("02 05 01 00 00 00 00")->GetInteger(value));
    EXPECT_TRUE(DecodeAs<CASN1_INTEGER>("02 05 00 FF FF FF FF")->GetInteger(value));
    EXPECT_EQ(value, 4294967295ul);
    EXPECT_TRUE(DecodeAs<CASN1_INTEGER>("02 01 FF")->GetInteger(value));
    EXPECT_EQ(value, 255ul);  // unsigned, not -1
    auto zero = DecodeAs<CASN1_INTEGER>("02 03 00 00 00");
    EXPECT_TRUE(zero->GetData(data));
    EXPECT_EQ(ToHex(data), "00");

    CSerialNumber serial = *DecodeAs<CASN1_INTEGER>("02 03 00 81 02");
    EXPECT_EQ(ToHex(serial), "81 02");

    // INTEGER only comes primitive.
    EXPECT_EQ(FactoryError("22 03 02 01 05"), "Encoded type does not allow constructed encoding method");
}

TEST(BitString, BuildingAndReadingBits)
{
    const unsigned char right = 0x05;
    CASN1_BIT_STRING fromRight(&right, 3, 0);
    EXPECT_EQ(Encode(fromRight), "03 02 05 A0");
    EXPECT_EQ(fromRight.m_nBits, 3u);
    const unsigned char leftBits = 0xA0;
    EXPECT_EQ(Encode(CASN1_BIT_STRING(&leftBits, 3, 1)), "03 02 05 A0");

    unsigned char out[2] = {0xEE, 0xEE};
    int size = 0;
    EXPECT_TRUE(fromRight.GetData(out, 1, size, 0, 0));
    EXPECT_EQ(size, 1);
    EXPECT_EQ(out[0], 0x05);
    EXPECT_TRUE(fromRight.GetData(out, 2, size, 1, 1));
    EXPECT_EQ(ToHex(out, 2), "A0 00");

    // Twelve right-aligned bits across two octets.
    std::vector<unsigned char> twelve = Hex("0A BC");
    CASN1_BIT_STRING wide(twelve.data(), 12, 0);
    EXPECT_EQ(Encode(wide), "03 03 04 AB C0");
    unsigned char back[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_TRUE(wide.GetData(back, 3, size, 0, 1));
    EXPECT_EQ(ToHex(back, 3), "00 0A BC");
    EXPECT_EQ(size, 2);
    EXPECT_FALSE(wide.GetData(back, 1, size, 0, 0));

    EXPECT_EQ(Encode(CASN1_BIT_STRING(nullptr, 0, 0)), "03 01 00");
    std::vector<unsigned char> sixteen = Hex("12 34");
    EXPECT_EQ(Encode(CASN1_BIT_STRING(sixteen.data(), 16, 0)), "03 03 00 12 34");

    CASN1_BIT_STRING copy(wide);
    EXPECT_EQ(copy.m_nBits, 12u);
    copy.Clear();
    EXPECT_EQ(copy.m_nBits, 0u);
}

TEST(BitString, DecodingChecks)
{
    EXPECT_EQ(FactoryError("03 00"), "Invalid data size in BIT STRING");
    EXPECT_EQ(FactoryError("03 01 03"), "Invalid data size in BIT STRING");
    EXPECT_EQ(FactoryError("03 02 08 00"), "Invalid number of padding bits in BIT STRING");
    auto empty = DecodeAs<CASN1_BIT_STRING>("03 01 00");
    EXPECT_EQ(empty->m_nBits, 0u);

    EXPECT_EQ(FactoryError("23 80 03 02 04 F0 03 02 00 0F 00 00"), "The last portion of BIT STRING was already appended");
    auto joined = DecodeAs<CASN1_BIT_STRING>("23 80 03 02 00 0F 03 02 04 F0 00 00");
    EXPECT_EQ(ToHex(joined->CByteArray::GetData(), joined->GetDataSize()), "04 0F F0");
    EXPECT_EQ(joined->m_nBits, 12u);
    EXPECT_EQ(Encode(*joined), "23 80 03 02 00 0F 03 02 04 F0 00 00");
    // A segment's own checks run while it is decoded.
    EXPECT_EQ(FactoryError("23 04 03 02 09 00"), "Invalid number of padding bits in BIT STRING");
}

TEST(Strings, CharacterChecksAndConstructedForms)
{
    auto printable = DecodeAs<CASN1_PrintableString>("13 02 41 2A");
    EXPECT_EQ(Text(*printable), "A*");
    EXPECT_EQ(FactoryError("13 01 0A"), "PrintableString contents is not valid");
    EXPECT_EQ(FactoryError("13 01 7F"), "PrintableString contents is not valid");
    EXPECT_EQ(FactoryError("16 01 80"), "IA5String contents is not valid");
    EXPECT_EQ(Text(*DecodeAs<CASN1_IA5String>("16 03 61 40 62")), "a@b");
    EXPECT_EQ(Text(*DecodeAs<CASN1_T61String>("14 02 E9 80")), "\xE9\x80");  // no checks

    EXPECT_TRUE(CASN1_PrintableString::IsValid(printable.get()));
    const unsigned char bad[] = {'a', 0x80};
    CASN1_PrintableString built(bad, 2);  // constructors never check
    EXPECT_FALSE(CASN1_PrintableString::IsValid(&built));
    EXPECT_TRUE(CASN1_PrintableString::IsValid(std::make_unique<CASN1_PrintableString>().get()));
    EXPECT_FALSE(CASN1_IA5String::IsValid(&built));  // other tag
    EXPECT_FALSE(CASN1_IA5String::IsValid(nullptr));

    auto octets = DecodeAs<CASN1_OCTET_STRING>("24 80 04 02 41 42 04 01 43 00 00");
    EXPECT_EQ(Text(*octets), "ABC");
    EXPECT_EQ(Encode(*octets), "24 80 04 02 41 42 04 01 43 00 00");
    // Segments inside segments reassemble at every level.
    auto nested = DecodeAs<CASN1_OCTET_STRING>("24 0B 24 80 04 01 41 00 00 04 02 42 43");
    EXPECT_EQ(Text(*nested), "ABC");
    EXPECT_EQ(Encode(*nested), "24 0B 24 80 04 01 41 00 00 04 02 42 43");
    auto ia5 = DecodeAs<CASN1_IA5String>("36 06 16 01 61 16 01 62");
    EXPECT_EQ(Text(*ia5), "ab");

    CASN1_IA5String fromOctets(reinterpret_cast<const unsigned char*>("x"), 1);
    CASN1_OCTET_STRING sliced(fromOctets);
    EXPECT_EQ(Encode(sliced), "04 01 78");  // copies end with their own tag
}

TEST(Strings, OctetStringFromFile)
{
    std::vector<unsigned char> bytes = Hex("01 02 03 04 05");
    CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    file.Seek(1, CFile::begin);
    CASN1_OCTET_STRING three(file, 3);
    EXPECT_EQ(Encode(three), "04 03 02 03 04");
    qmtest::Caught<CFileException> e = qmtest::Thrown<CFileException>([&] { CASN1_OCTET_STRING tooMany(file, 2); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_cause, CFileException::generic);
    EXPECT_EQ(e->m_lOsError, -1);
    EXPECT_TRUE(e->m_strFileName.IsEmpty());
    CASN1_OCTET_STRING none(file, 0);
    EXPECT_EQ(Encode(none), "04 00");
}

TEST(NullAndIdentifiers, DecodingChecks)
{
    EXPECT_EQ(Encode(CASN1_NULL()), "05 00");
    EXPECT_EQ(FactoryError("05 01 00"), "Encoded NULL value has invalid length");
    EXPECT_EQ(FactoryError("25 00"), "Encoded type does not allow constructed encoding method");

    EXPECT_EQ(FactoryError("06 00"), "Encoded OBJECT IDENTIFIER has invalid size");
    EXPECT_EQ(FactoryError("06 01 78"), "Encoded OBJECT IDENTIFIER value is not valid");
    auto accepted = DecodeAs<CASN1_OBJECT_IDENTIFIER>("06 01 77");
    EXPECT_EQ(accepted->GetDataSize(), 1);

    CASN1_OBJECT_IDENTIFIER rsadsi(1, 2);
    rsadsi.AddIDComponent(840);
    rsadsi.AddIDComponent(113549);
    EXPECT_EQ(Encode(rsadsi), "06 06 2A 86 48 86 F7 0D");
    CASN1_OBJECT_IDENTIFIER arcs(2, 5);
    arcs.AddIDComponent(0);
    arcs.AddIDComponent(127);
    arcs.AddIDComponent(128);
    arcs.AddIDComponent(0xFFFFFFFFul);
    EXPECT_EQ(Encode(arcs), "06 0A 55 00 7F 81 00 8F FF FF FF 7F");

    CASN1_OBJECT_IDENTIFIER same(1, 2);
    same.AddIDComponent(840);
    same.AddIDComponent(113549);
    EXPECT_TRUE(rsadsi == same);
    EXPECT_FALSE(rsadsi == arcs);
}

TEST(UtcTime, LayoutsAndChecks)
{
    auto minutes = DecodeAs<CASN1_UTCTime>("17 0B " + ToHex(reinterpret_cast<const unsigned char*>("9607011200Z"), 11));
    EXPECT_EQ(Text(*minutes), "9607011200Z");
    auto offset = DecodeAs<CASN1_UTCTime>("17 11 " + ToHex(reinterpret_cast<const unsigned char*>("960701120000+0100"), 17));
    EXPECT_TRUE(CASN1_UTCTime::IsValid(offset.get()));
    EXPECT_EQ(FactoryError("17 0C " + ToHex(reinterpret_cast<const unsigned char*>("960701120000"), 12)), "UTCTime contents is not valid");
    auto month13 = DecodeAs<CASN1_UTCTime>("17 0B " + ToHex(reinterpret_cast<const unsigned char*>("9613011200Z"), 11));
    EXPECT_EQ(Text(*month13), "9613011200Z");

    const char* invalid[] = {"96070112:0Z", "9607011200X", "960701120000+01:0", "9607011200Z0", "96070112000Z"};
    for (const char* text : invalid) {
        std::string hex = "17 ";
        char len[4];
        std::snprintf(len, sizeof len, "%02X", static_cast<unsigned>(std::strlen(text)));
        hex += len;
        hex += " " + ToHex(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
        EXPECT_EQ(FactoryError(hex), "UTCTime contents is not valid") << text;
    }
    // Segments are checked one by one, as they arrive.
    EXPECT_EQ(FactoryError("37 80 17 05 39 36 30 37 30 00 00"), "UTCTime contents is not valid");
}

TEST(UtcTime, ConvertsToAndFromTimeValues)
{
    CUTCTime time(CString("9607011200Z"));
    CASN1_UTCTime fromTime(time);
    EXPECT_EQ(Text(fromTime), "9607011200Z");
    EXPECT_TRUE(CASN1_UTCTime::IsValid(&fromTime));

    CUTCTime plus(CString("991231235958+0130"));
    CASN1_UTCTime withOffset(plus);
    EXPECT_EQ(Text(withOffset), "991231235958+0130");

    CUTCTime back;
    auto decoded = DecodeAs<CASN1_UTCTime>("17 0B " + ToHex(reinterpret_cast<const unsigned char*>("9607011200Z"), 11));
    decoded->SetDataTo(back);
    EXPECT_EQ(back.m_nYear, 1996);
    EXPECT_EQ(back.m_nMonth, 7);
    EXPECT_EQ(back.m_nDay, 1);
    EXPECT_EQ(back.m_nMinuteOfDay, 12 * 60);
    EXPECT_EQ(back.m_nSecond, 0);
    EXPECT_EQ(back.m_nZoneKind, 0);

    CUTCTime minus;
    auto west = DecodeAs<CASN1_UTCTime>("17 0F " + ToHex(reinterpret_cast<const unsigned char*>("0502281015-0500"), 15));
    west->SetDataTo(minus);
    EXPECT_EQ(minus.m_nYear, 2005);
    EXPECT_EQ(minus.m_nZoneKind, 1);
    EXPECT_EQ(minus.m_nZoneMinutes, 300);
    EXPECT_EQ(minus.m_nMinuteOfDay, 10 * 60 + 15);

    // Every form goes through a time value and back to the same text.
    for (const char* text : {"9607011200Z", "960701120059Z", "0502281015-0500", "991231235958+0130"}) {
        const int n = static_cast<int>(std::strlen(text));
        char len[4];
        std::snprintf(len, sizeof len, "%02X", static_cast<unsigned>(n));
        auto value = DecodeAs<CASN1_UTCTime>(std::string("17 ") + len + " " + ToHex(reinterpret_cast<const unsigned char*>(text), n));
        CUTCTime stored;
        value->SetDataTo(stored);
        EXPECT_EQ(Text(CASN1_UTCTime(stored)), text);
    }
}

TEST(SequenceAndSet, OrderOfChildren)
{
    CASN1_SEQUENCE seq;
    seq.AddObject(new CASN1_INTEGER(2));
    seq.AddObject(new CASN1_INTEGER(1));
    EXPECT_EQ(Encode(seq), "30 06 02 01 02 02 01 01");
    EXPECT_EQ(Encode(CASN1_SEQUENCE(1)), "30 80 00 00");

    CASN1_SET set;
    set.AddObject(new CASN1_INTEGER(2));
    set.AddObject(new CASN1_INTEGER(1));
    set.AddObject(new CASN1_INTEGER(3));
    EXPECT_EQ(Encode(set), "31 09 02 01 01 02 01 02 02 01 03");
    EXPECT_TRUE(CASN1_SET::IsValid(&set));

    // Equal elements: the newcomer goes in front of them (observable by identity).
    CASN1_INTEGER* second = new CASN1_INTEGER(2);
    set.AddObject(second);
    EXPECT_EQ(&set.GetComponent(1), second);
    // A longer INTEGER sorts by its length octet.
    set.AddObject(new CASN1_INTEGER(300));
    EXPECT_EQ(Encode(set), "31 10 02 01 01 02 01 02 02 01 02 02 01 03 02 02 01 2C");
    EXPECT_TRUE(CASN1_SET::IsValid(&set));

    auto decoded = DecodeAs<CASN1_SET>("31 06 02 01 02 02 01 01");
    EXPECT_EQ(Encode(*decoded), "31 06 02 01 02 02 01 01");  // input order kept
    EXPECT_FALSE(CASN1_SET::IsValid(decoded.get()));
    EXPECT_FALSE(CASN1_SET::IsValid(&seq));
    EXPECT_TRUE(CASN1_SET::IsValid(std::make_unique<CASN1_SET>().get()));

    EXPECT_EQ(FactoryError("10 00"), "Encoded type does not allow primitive encoding method");
    EXPECT_EQ(FactoryError("11 00"), "Encoded type does not allow primitive encoding method");
}
