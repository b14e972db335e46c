// Key classes: parity, generation, copies and the stored form.
#include "cipher_test_util.h"

#include <gtest/gtest.h>

using namespace ciphertest;

TEST(CipherKeys, ParityAdjustment)
{
    BYTE b[4] = {0x00, 0x01, 0x03, 0xFF};
    AdjustDESKeyParity(b, 4);
    EXPECT_EQ(ToHex(b, 4), "8001837F");
    EXPECT_TRUE(IsDESKeyParityOK(b, 4));

    for (int v = 0; v < 256; ++v) {
        BYTE x = static_cast<BYTE>(v);
        bool odd = __builtin_popcount(v) & 1;
        EXPECT_EQ(IsDESKeyParityOK(&x, 1) != 0, odd) << v;
        AdjustDESKeyParity(&x, 1);
        EXPECT_TRUE(IsDESKeyParityOK(&x, 1));
        EXPECT_EQ(x & 0x7F, v & 0x7F);   // only the top bit is touched
        if (odd) {
            EXPECT_EQ(x, v);
        }
    }
    BYTE mixed[3] = {0x01, 0x02, 0x04};   // 0x02 is fine, all have one bit: odd
    EXPECT_TRUE(IsDESKeyParityOK(mixed, 3));
    mixed[1] = 0x03;
    EXPECT_FALSE(IsDESKeyParityOK(mixed, 3));
    EXPECT_TRUE(IsDESKeyParityOK(mixed, 1));   // only the count given is looked at
}

namespace {
bool NoZero(const BYTE* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] == 0)
            return false;
    return true;
}
}

TEST(CipherKeys, GeneratedKeys)
{
    const BYTE seed[] = {'s', 'e', 'e', 'd', 0, 7};
    for (int i = 0; i < 20; ++i) {
        CDESkey des;
        EXPECT_TRUE(IsDESKeyParityOK(des.m_Key, 8));
        EXPECT_TRUE(NoZero(des.m_Key, 8));
        EXPECT_TRUE(NoZero(des.m_IV, 8));
        CDESkey seeded(seed, sizeof seed);
        EXPECT_TRUE(IsDESKeyParityOK(seeded.m_Key, 8));
        EXPECT_TRUE(NoZero(seeded.m_IV, 8));

        CTripleDESkey triple(seed, sizeof seed);
        EXPECT_TRUE(IsDESKeyParityOK(triple.m_Key, 24));
        EXPECT_TRUE(NoZero(triple.m_Key, 24));
        EXPECT_TRUE(NoZero(triple.m_IV, 8));

        CIDEAkey idea;
        EXPECT_TRUE(NoZero(idea.m_Key, 16));
        EXPECT_TRUE(NoZero(idea.m_IV, 8));

        CRC2key rc2;
        EXPECT_TRUE(NoZero(rc2.m_Key, 128));
        EXPECT_TRUE(NoZero(rc2.m_IV, 8));
    }
    // Two keys in a row differ (the generator is stirred between them).
    CIDEAkey a, b;
    EXPECT_NE(ToHex(a.m_Key, 16), ToHex(b.m_Key, 16));
}

TEST(CipherKeys, RC2Defaults)
{
    CRC2key key;
    EXPECT_EQ(key.m_nKeyLength, 5);
    EXPECT_EQ(key.m_nEffectiveBits, 40);
    EXPECT_EQ(key.AreValidEffectiveBits(40), 0);
    EXPECT_NE(key.AreValidEffectiveBits(39), 0);
    EXPECT_NE(key.AreValidEffectiveBits(1), 0);
    EXPECT_EQ(key.AreValidEffectiveBits(0), 0);
    key.m_nKeyLength = 128;
    EXPECT_NE(key.AreValidEffectiveBits(1023), 0);
    EXPECT_EQ(key.AreValidEffectiveBits(1024), 0);
}

TEST(CipherKeys, CopiesTakeEverything)
{
    CRC2key a;
    a.m_nKeyLength = 16;
    a.m_nEffectiveBits = 100;
    CRC2key b(a);
    EXPECT_EQ(ToHex(a.m_Key, 128), ToHex(b.m_Key, 128));
    EXPECT_EQ(ToHex(a.m_IV, 8), ToHex(b.m_IV, 8));
    EXPECT_EQ(b.m_nKeyLength, 16);
    EXPECT_EQ(b.m_nEffectiveBits, 100);
    CRC2key c;
    c = a;
    EXPECT_EQ(ToHex(a.m_Key, 128), ToHex(c.m_Key, 128));
    EXPECT_EQ(ToHex(a.m_IV, 8), ToHex(c.m_IV, 8));
    EXPECT_EQ(c.m_nEffectiveBits, 100);

    CTripleDESkey t1, t2;
    t2 = t1;
    EXPECT_EQ(ToHex(t1.m_Key, 24), ToHex(t2.m_Key, 24));
    EXPECT_EQ(ToHex(t1.m_IV, 8), ToHex(t2.m_IV, 8));
    CDESkey d1;
    CDESkey d2(d1);
    EXPECT_EQ(ToHex(d1.m_Key, 8), ToHex(d2.m_Key, 8));
    CIDEAkey i1;
    CIDEAkey i2(i1);
    EXPECT_EQ(ToHex(i1.m_Key, 16), ToHex(i2.m_Key, 16));
    EXPECT_EQ(ToHex(i1.m_IV, 8), ToHex(i2.m_IV, 8));
}

namespace {

CObject* LoadObject(const Bytes& bytes, const CRuntimeClass* requested)
{
    Bytes copy = bytes;
    CMemFile file(copy.data(), static_cast<UINT>(copy.size()));
    CArchive ar(&file, CArchive::load);
    CObject* object = ar.ReadObject(requested);
    ar.Close();
    return object;
}

Bytes StoreObject(const CObject* object)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar << object;
        ar.Close();
    }
    return MemFileBytes(file);
}

// The key bytes and IV of any key class, as stored fields.
struct KeyFields {
    std::string key, iv;
    int length = -1, bits = -1;
};

KeyFields FieldsOf(const CObject* object)
{
    KeyFields f;
    if (auto* k = dynamic_cast<const CDESkey*>(object))
        f.key = ToHex(k->m_Key, 8);
    else if (auto* t = dynamic_cast<const CTripleDESkey*>(object))
        f.key = ToHex(t->m_Key, 24);
    else if (auto* i = dynamic_cast<const CIDEAkey*>(object))
        f.key = ToHex(i->m_Key, 16);
    else if (auto* r = dynamic_cast<const CRC2key*>(object)) {
        f.key = ToHex(r->m_Key, 16);
        f.length = r->m_nKeyLength;
        f.bits = r->m_nEffectiveBits;
    }
    f.iv = ToHex(static_cast<const CKey*>(object)->m_IV, 8);
    return f;
}

int CauseNumber(const std::string& name)
{
    static const std::map<std::string, int> causes = {{"generic", CArchiveException::generic},
                                                      {"endOfFile", CArchiveException::endOfFile},
                                                      {"badClass", CArchiveException::badClass},
                                                      {"badIndex", CArchiveException::badIndex}};
    auto it = causes.find(name);
    return it == causes.end() ? -100 : it->second;
}

}

TEST(CipherKeys, HandAssembledArchivesRoundTrip)
{
    auto vectors = ReadVectors("ciphers/key_archives.txt");
    int valid = 0, invalid = 0;
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.Where());
        const CRuntimeClass* cls = CRuntimeClass::FromName(v["class"].c_str());
        ASSERT_NE(cls, nullptr);
        Bytes archive = Hex(v["archive"]);
        if (v.Invalid()) {
            ++invalid;
            EXPECT_EQ(qmtest::CauseOf<CArchiveException>([&] { delete LoadObject(archive, cls); }), CauseNumber(v["error"]));
            continue;
        }
        ++valid;
        std::unique_ptr<CObject> object(LoadObject(archive, cls));
        ASSERT_TRUE(object);
        EXPECT_STREQ(object->GetRuntimeClass()->m_lpszClassName, v["class"].c_str());
        KeyFields f = FieldsOf(object.get());
        EXPECT_EQ(f.key, v["key"]);
        EXPECT_EQ(f.iv, v["iv"]);
        if (v.Has("length")) {
            EXPECT_EQ(f.length, std::stoi(v["length"]));
            EXPECT_EQ(f.bits, std::stoi(v["bits"]));
        }
        EXPECT_EQ(ToHex(StoreObject(object.get())), ToHex(archive));
    }
    EXPECT_EQ(valid, 5);
    EXPECT_GE(invalid, 10);
}

TEST(CipherKeys, TypedExtractionOperators)
{
    CDESkey des;
    Bytes stored = StoreObject(&des);
    CMemFile file(stored.data(), static_cast<UINT>(stored.size()));
    CArchive ar(&file, CArchive::load);
    CDESkey* loaded = nullptr;
    ar >> loaded;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(ToHex(loaded->m_Key, 8), ToHex(des.m_Key, 8));
    EXPECT_EQ(ToHex(loaded->m_IV, 8), ToHex(des.m_IV, 8));
    delete loaded;
}

TEST(CipherKeys, RC2KeysUpToSixteenBytesReloadExactly)
{
    for (int length = 1; length <= 16; ++length) {
        CRC2key key;
        key.m_nKeyLength = static_cast<BYTE>(length);
        key.m_nEffectiveBits = static_cast<WORD>(8 * length);
        std::unique_ptr<CObject> back(LoadObject(StoreObject(&key), RUNTIME_CLASS(CRC2key)));
        auto* k = static_cast<CRC2key*>(back.get());
        EXPECT_EQ(k->m_nKeyLength, length);
        EXPECT_EQ(k->m_nEffectiveBits, 8 * length);
        EXPECT_EQ(ToHex(k->m_Key, length), ToHex(key.m_Key, length));
        EXPECT_EQ(ToHex(k->m_IV, 8), ToHex(key.m_IV, 8));
        // Same key schedule, same ciphertext.
        Bytes block(8, 0x5A), x = block, y = block;
        CRC2_ECB(key).EncryptBlock(x.data(), 8, x.data(), nullptr);
        CRC2_ECB(*k).EncryptBlock(y.data(), 8, y.data(), nullptr);
        EXPECT_EQ(ToHex(x), ToHex(y));
    }
}

TEST(CipherKeys, LongRC2KeysAreNotCutWhenStored)
{
    // The record holds 16 key bytes: a longer key is refused instead of coming back as a
    // different key.
    CRC2key key;
    key.m_nKeyLength = 17;
    EXPECT_EQ(qmtest::CauseOf<CArchiveException>([&] { StoreObject(&key); }), CArchiveException::generic);

    // A stored record that claims more than 16 bytes (written elsewhere) loads with zeros
    // after the sixteenth byte.
    Bytes record = Hex("FFFF01000700435243326B6579 00 14 A000 0102030405060708090A0B0C0D0E0F10 0000000000000000");
    std::unique_ptr<CObject> back(LoadObject(record, RUNTIME_CLASS(CRC2key)));
    auto* k = static_cast<CRC2key*>(back.get());
    EXPECT_EQ(k->m_nKeyLength, 20);
    EXPECT_EQ(k->m_nEffectiveBits, 160);
    EXPECT_EQ(ToHex(k->m_Key, 20), "0102030405060708090A0B0C0D0E0F1000000000");
}
