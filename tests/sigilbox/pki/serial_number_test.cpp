// Certificate serial numbers: comparison, text, the random permutation and the archive form.
#include "sigilbox/asn1/serial_number.h"

#include "framework/memfile.h"
#include "framework/thread.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/progress.h"
#include "tests/sigilbox/kill_request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

CSerialNumber Serial(std::initializer_list<BYTE> bytes)
{
    std::vector<BYTE> v(bytes);
    return CSerialNumber(v.data(), static_cast<int>(v.size()));
}

std::vector<BYTE> Stored(const CObject* object, bool asObject)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        if (asObject)
            ar << object;
        else
            const_cast<CObject*>(object)->Serialize(ar);
        ar.Close();
    }
    const BYTE* p = file.GetBufferPtr();
    return std::vector<BYTE>(p, p + file.GetLength());
}

TEST(SerialNumber, ComparesAsUnsignedNumbers)
{
    EXPECT_TRUE(Serial({0x00, 0x01}) == Serial({0x01}));
    EXPECT_TRUE(Serial({}) == Serial({0x00, 0x00}));
    EXPECT_FALSE(Serial({0x01, 0x00}) == Serial({0x01}));
    EXPECT_FALSE(Serial({0x01, 0x02, 0x03, 0x04, 0x05}) == Serial({0x01, 0x02, 0x03, 0x04, 0x06}));
    EXPECT_TRUE(Serial({0x00, 0x01, 0x02, 0x03, 0x04, 0x05}) == Serial({0x01, 0x02, 0x03, 0x04, 0x05}));
    // Longer than the library's big numbers: still compared byte for byte.
    std::vector<BYTE> big(300, 0xAB);
    EXPECT_TRUE(CSerialNumber(big.data(), 300) == CSerialNumber(big.data(), 300));
}

TEST(SerialNumber, ComparisonAnswersAKillRequest)
{
    {
        sigilboxtest::KillRequest kill;
        EXPECT_TRUE(sigilboxtest::EndsWithKill([] { (void)(Serial({0x01}) == Serial({0x01})); }));
    }
    EXPECT_TRUE(Serial({0x01}) == Serial({0x01}));
}

TEST(SerialNumber, TextIsUpperCaseHex)
{
    EXPECT_EQ(static_cast<CString>(Serial({0x00, 0x0A, 0xFF})), "000AFF");
    EXPECT_EQ(static_cast<CString>(Serial({})), "");
}

TEST(SerialNumber, RandomPermutation)
{
    CSerialNumber serial = Serial({0x12, 0x34});
    serial.RandomPermutation();
    ASSERT_EQ(serial.GetSize(), 24);
    const BYTE* p = serial.GetData();
    BYTE digest[16];
    const BYTE old[] = {0x12, 0x34};
    AfxMakeMD5DigestOnData(old, 2, digest);
    EXPECT_EQ(0, std::memcmp(p + 3, digest, 16));
    for (int i : {0, 1, 2, 19, 20, 21, 22, 23})
        EXPECT_NE(p[i], 0) << "byte " << i;

    // Two permutations of the same number differ in their random parts only.
    CSerialNumber again = Serial({0x12, 0x34});
    again.RandomPermutation();
    EXPECT_EQ(0, std::memcmp(again.GetData() + 3, digest, 16));
    EXPECT_FALSE(again == serial);

    // An empty number digests as empty data.
    CSerialNumber empty;
    empty.RandomPermutation();
    ASSERT_EQ(empty.GetSize(), 24);
    AfxMakeMD5DigestOnData(nullptr, 0, digest);
    EXPECT_EQ(0, std::memcmp(empty.GetData() + 3, digest, 16));
}

TEST(SerialNumber, ArchiveFormIsTheByteArray)
{
    CSerialNumber serial = Serial({0x01, 0x02, 0xFF});
    const std::vector<BYTE> plain = {0x03, 0x00, 0x01, 0x02, 0xFF};
    EXPECT_EQ(Stored(&serial, false), plain);

    std::vector<BYTE> object = {0xFF, 0xFF, 0x00, 0x00, 0x0D, 0x00};
    for (char c : std::string("CSerialNumber"))
        object.push_back(static_cast<BYTE>(c));
    object.insert(object.end(), plain.begin(), plain.end());
    EXPECT_EQ(Stored(&serial, true), object);

    CMemFile file(object.data(), static_cast<UINT>(object.size()));
    CArchive ar(&file, CArchive::load);
    CSerialNumber* loaded = nullptr;
    ar >> loaded;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetSize(), 3);
    EXPECT_TRUE(*loaded == serial);
    delete loaded;
}

TEST(SerialNumber, TruncatedArchiveIsAnError)
{
    const BYTE bytes[] = {0x05, 0x00, 0x01, 0x02};   // five bytes announced, two present
    CMemFile file(const_cast<BYTE*>(bytes), sizeof bytes);
    CArchive ar(&file, CArchive::load);
    CSerialNumber serial = Serial({0x09});
    EXPECT_THROWS_PTR(serial.Serialize(ar), CArchiveException);
}

} // namespace
