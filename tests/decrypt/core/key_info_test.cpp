// Key records: ownership and deep copies, validity rules, and the stored record layout.
#include "decrypt/core/key_info.h"
#include "framework/afx.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/sym_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<BYTE> StoreRecord(CKeyInfo& info)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        info.Serialize(ar);
    }
    std::vector<BYTE> out(static_cast<size_t>(file.GetLength()));
    file.SeekToBegin();
    file.Read(out.data(), static_cast<UINT>(out.size()));
    return out;
}

int LoadCause(const std::vector<BYTE>& bytes, CKeyInfo& into)
{
    CMemFile file;
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load);
    try {
        into.Serialize(ar);
    } catch (CArchiveException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

CRSAPrivateKey* SmallPrivateKey()
{
    auto* key = new CRSAPrivateKey;
    key->m_nModulusBits = 512;
    key->m_Modulus[CRSAPublicKey::NumberSize - 1] = 0x33;
    key->m_PrivateExponent[CRSAPublicKey::NumberSize - 1] = 0x07;
    return key;
}

TEST(KeyInfo, CopiesOwnTheirKeys)
{
    CKeyInfo a("Alice", CKeyInfo::RSAPrivateKey, SmallPrivateKey(), 1);
    ASSERT_TRUE(a.IsValid());
    CKeyInfo b;
    b = a;
    ASSERT_NE(b.GetPrivateKey(), nullptr);
    EXPECT_NE(b.GetPrivateKey(), a.GetPrivateKey());
    b.GetPrivateKey()->m_PrivateExponent[CRSAPublicKey::NumberSize - 1] = 0x09;
    EXPECT_EQ(a.GetPrivateKey()->m_PrivateExponent[CRSAPublicKey::NumberSize - 1], 0x07);
    EXPECT_EQ(b.m_strName, "Alice");

    DecryptionState state;
    EXPECT_EQ(state.m_strDefaultViewer, "NOTEPAD.EXE");
    EXPECT_FALSE(state.HasDecryptingID());
    state.SetDecryptingID(a);
    EXPECT_TRUE(state.HasDecryptingID());
    state.DecryptQueue.Add("/tmp/a.p7m");
    DecryptionState saved(state);
    state.SetDecryptingID(CKeyInfo());
    state.DecryptQueue.RemoveAll();
    state = saved;
    EXPECT_TRUE(state.HasDecryptingID());
    EXPECT_EQ(state.DecryptQueue.GetSize(), 1);
}

TEST(KeyInfo, ValidityRules)
{
    EXPECT_TRUE(CKeyInfo().IsValid());
    CKeyInfo wrongClass("x", CKeyInfo::RSAPublicKey, SmallPrivateKey(), 0);   // a private key under the public type
    EXPECT_FALSE(wrongClass.IsValid());
    CKeyInfo noKey("x", CKeyInfo::DESKey, nullptr, 0);
    EXPECT_FALSE(noKey.IsValid());
    CKeyInfo grade("x", CKeyInfo::DESKey, new CDESkey, 4);
    EXPECT_FALSE(grade.IsValid());
    CKeyInfo flag("x", CKeyInfo::NoKey, nullptr, 0);
    flag.m_nFlag = 2;
    EXPECT_FALSE(flag.IsValid());
}

TEST(KeyInfo, RecordLayoutAndRoundTrip)
{
    auto* des = new CDESkey;   // a fresh key with good parity
    CKeyInfo info("Bo", CKeyInfo::DESKey, des, 0);
    info.m_strSecond = "z";
    info.m_nFlag = 1;
    info.m_Digest[15] = 0x5A;
    std::vector<BYTE> bytes = StoreRecord(info);
    // version, name, second string, type, grade, then the key object with its class record.
    std::vector<BYTE> head = {0x00, 0x02, 'B', 'o', 0x01, 'z', 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF};
    ASSERT_GT(bytes.size(), head.size() + 18);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    // ... and it ends with the flag and the 16 digest bytes.
    std::vector<BYTE> tail(bytes.end() - 18, bytes.end());
    EXPECT_EQ(tail[0], 0x01);
    EXPECT_EQ(tail[1], 0x00);
    EXPECT_EQ(tail[17], 0x5A);

    CKeyInfo back;
    EXPECT_EQ(LoadCause(bytes, back), -1);
    ASSERT_TRUE(back.IsValid());
    EXPECT_EQ(back.m_strName, "Bo");
    EXPECT_EQ(back.m_strSecond, "z");
    EXPECT_EQ(back.m_nFlag, 1);
    EXPECT_EQ(std::memcmp(static_cast<CDESkey*>(back.m_pKey)->m_Key, des->m_Key, 8), 0);

    // A version byte of 1, a type of 6, or a key of the wrong class: archive errors, and the
    // record keeps what it had.
    std::vector<BYTE> v1 = bytes;
    v1[0] = 1;
    EXPECT_EQ(LoadCause(v1, back), CArchiveException::generic);
    std::vector<BYTE> t6 = bytes;
    t6[6] = 6;
    EXPECT_EQ(LoadCause(t6, back), CArchiveException::generic);
    std::vector<BYTE> asIdea = bytes;
    asIdea[6] = CKeyInfo::IDEAKey;
    EXPECT_EQ(LoadCause(asIdea, back), CArchiveException::badClass);
    EXPECT_EQ(back.m_strName, "Bo");
    std::vector<BYTE> cut(bytes.begin(), bytes.end() - 3);
    EXPECT_EQ(LoadCause(cut, back), CArchiveException::endOfFile);

    CKeyInfo none;
    none.m_strName = "empty";
    std::vector<BYTE> noneBytes = StoreRecord(none);
    EXPECT_EQ(noneBytes.size(), 1u + 6u + 1u + 2u + 2u + 2u + 16u);
}

TEST(KeyInfo, RecordsInOneArchiveNeverShareAKey)
{
    // Two records stored in one archive, the second naming the first's key object: the
    // archive writes a reference for it. Loading must not hand the same key to both records
    // (each would free it), nor keep a freed key for the reference to point at.
    auto* des = new CDESkey;
    CKeyInfo first("one", CKeyInfo::DESKey, des, 0);
    CKeyInfo second("two", CKeyInfo::DESKey, nullptr, 0);
    second.m_pKey = des;   // shared on purpose, only while storing
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        first.Serialize(ar);
        second.Serialize(ar);
    }
    second.m_pKey = nullptr;
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load);
    CKeyInfo a, b;
    a.Serialize(ar);
    ASSERT_TRUE(a.IsValid());
    EXPECT_EQ(std::memcmp(static_cast<CDESkey*>(a.m_pKey)->m_Key, des->m_Key, 8), 0);
    try {
        b.Serialize(ar);
        ADD_FAILURE() << "a shared key was accepted";
    } catch (CArchiveException* e) {
        EXPECT_EQ(e->m_cause, CArchiveException::badIndex);
        e->Delete();
    }
    EXPECT_EQ(b.m_pKey, nullptr);
    // The first record's key is still whole after the refusal.
    EXPECT_TRUE(a.IsValid());
}

}  // namespace
