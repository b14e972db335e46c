// RSA keys: session-key and digest locking in both directions, the block-format checks and
// their reasons, short locked data, the stored form and the kill check.
#include "rsa_test_util.h"
#include "tests/sigilbox/kill_request.h"

#include "framework/thread.h"
#include "sigilbox/engines/progress.h"

#include <gtest/gtest.h>

using namespace rsatest;

namespace {

const char kDESCorrupt[] = "CRSAPrivateKey::UnlockDESKey - locked DES key is corrupted (invalid decoded size)";
const char kRC2Corrupt[] = "CRSAPrivateKey::UnlockRC2Key - locked RC2 key is corrupted (invalid encoded size)";
const char kPrivateProcess[] = "CRSAPrivateKey::ProcessData - data to unlock corrupted or key is not valid";

Bytes Locked(const CRSAPublicKey& key)
{
    return Bytes(static_cast<size_t>(key.LockedDataSize()));
}

// A type-2 block of k bytes with `padding` nonzero padding bytes in front of the data.
Bytes Type2Block(int k, int padding)
{
    Bytes block(static_cast<size_t>(k), 0x5A);
    block[0] = 0x00;
    block[1] = 0x02;
    block[static_cast<size_t>(2 + padding)] = 0x00;
    return block;
}

// ---- session keys --------------------------------------------------------------------------

TEST(RSAKeys, SessionKeysRoundTripWithAFreshIV)
{
    const CRSAPrivateKey& key = SharedKey(512);
    CRSAPrivateKey priv(key);
    CRSAPublicKey pub(priv);
    ASSERT_EQ(pub.LockedDataSize(), 64);

    CDESkey des;
    Bytes locked = Locked(pub);
    pub.LockDESKey(des, locked.data());
    CDESkey des2 = priv.UnlockDESKey(locked.data(), 8 * 64);
    EXPECT_EQ(0, std::memcmp(des.m_Key, des2.m_Key, 8));
    EXPECT_NE(0, std::memcmp(des.m_IV, des2.m_IV, 8));  // the IV is not locked: a new random one

    // Two lockings of the same key differ (random padding) and both unlock.
    Bytes again = Locked(pub);
    pub.LockDESKey(des, again.data());
    EXPECT_NE(locked, again);
    EXPECT_EQ(0, std::memcmp(priv.UnlockDESKey(again.data(), 512).m_Key, des.m_Key, 8));

    CTripleDESkey tdes;
    pub.LockTripleDESKey(tdes, locked.data());
    EXPECT_EQ(0, std::memcmp(priv.UnlockTripleDESKey(locked.data(), 512).m_Key, tdes.m_Key, 24));

    CIDEAkey idea;
    pub.LockIDEAKey(idea, locked.data());
    EXPECT_EQ(0, std::memcmp(priv.UnlockIDEAKey(locked.data(), 512).m_Key, idea.m_Key, 16));

    // A private key locks with its public half as well.
    priv.LockIDEAKey(idea, locked.data());
    EXPECT_EQ(0, std::memcmp(priv.UnlockIDEAKey(locked.data(), 512).m_Key, idea.m_Key, 16));
}

TEST(RSAKeys, RC2KeysKeepTheirLengthAndGetFullEffectiveBits)
{
    CRSAPrivateKey priv(SharedKey(512));
    for (int length : {1, 5, 16, 53}) {
        CRC2key rc2;
        rc2.m_nKeyLength = static_cast<BYTE>(length);
        rc2.m_nEffectiveBits = 40;  // not locked
        Bytes locked = Locked(priv);
        priv.LockRC2Key(rc2, locked.data());
        CRC2key back = priv.UnlockRC2Key(locked.data(), 512);
        EXPECT_EQ(back.m_nKeyLength, length);
        EXPECT_EQ(back.m_nEffectiveBits, 8 * length);
        EXPECT_EQ(0, std::memcmp(back.m_Key, rc2.m_Key, static_cast<size_t>(length)));
    }
}

TEST(RSAKeys, ModulusLimitsTheLockedKeyLength)
{
    CRSAPrivateKey priv(SharedKey(1024));
    ASSERT_EQ(priv.LockedDataSize(), 128);
    CRC2key rc2;
    Bytes locked = Locked(priv);
    rc2.m_nKeyLength = 117;  // 128 = 117 + 11
    priv.LockRC2Key(rc2, locked.data());
    EXPECT_EQ(priv.UnlockRC2Key(locked.data(), 1024).m_nKeyLength, 117);

    rc2.m_nKeyLength = 118;
    Bytes untouched = locked;
    EXPECT_EQ(UnlockReason([&] { priv.LockRC2Key(rc2, locked.data()); }),
              "CRSAPublicKey::EncodeData - modulus is too short to encode");
    EXPECT_EQ(locked, untouched);  // a failure writes nothing
}

TEST(RSAKeys, UnlockFailuresNameTheirReasonInOrder)
{
    CRSAPrivateKey priv(SharedKey(512));
    const int k = priv.LockedDataSize();
    CDESkey des;
    Bytes locked(static_cast<size_t>(k + 1), 0);
    priv.LockDESKey(des, locked.data());

    // One byte too many: the RSA step runs on the first k bytes, then the length fails.
    EXPECT_EQ(UnlockReason([&] { priv.UnlockDESKey(locked.data(), 8 * k + 8); }),
              "CRSAPrivateKey::UnlockDESKey - locked data are longer than key modulus");
    // ... unless those first k bytes are already above the modulus.
    Bytes high(static_cast<size_t>(k + 1), 0xFF);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockDESKey(high.data(), 8 * k + 8); }), kPrivateProcess);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockDESKey(high.data(), 8 * k); }), kPrivateProcess);

    // The modulus itself is let through (it raises to zero, which is no block).
    Bytes n(priv.m_Modulus + 256 - k, priv.m_Modulus + 256);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockDESKey(n.data(), 8 * k); }), kDESCorrupt);

    // Wrong sizes and parity.
    CIDEAkey idea;
    priv.LockIDEAKey(idea, locked.data());
    EXPECT_EQ(UnlockReason([&] { priv.UnlockDESKey(locked.data(), 8 * k); }), kDESCorrupt);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockTripleDESKey(locked.data(), 8 * k); }),
              "CRSAPrivateKey::UnlockTripleDESKey - locked Triple-DES key is corrupted (invalid decoded size)");
    priv.LockDESKey(des, locked.data());
    EXPECT_EQ(UnlockReason([&] { priv.UnlockIDEAKey(locked.data(), 8 * k); }),
              "CRSAPrivateKey::UnlockIDEAKey - locked IDEA key is corrupted (invalid encoded size)");

    des.m_Key[3] ^= 0x01;
    priv.LockDESKey(des, locked.data());
    EXPECT_EQ(UnlockReason([&] { priv.UnlockDESKey(locked.data(), 8 * k); }),
              "CRSAPrivateKey::UnlockDESKey - locked DES key is corrupted (parity check failed)");
    CTripleDESkey tdes;
    tdes.m_Key[20] ^= 0x80;
    priv.LockTripleDESKey(tdes, locked.data());
    EXPECT_EQ(UnlockReason([&] { priv.UnlockTripleDESKey(locked.data(), 8 * k); }),
              "CRSAPrivateKey::UnlockTripleDESKey - locked DES key is corrupted (parity check failed)");

    // A locked block with one bit changed no longer decodes.
    priv.LockIDEAKey(idea, locked.data());
    locked[static_cast<size_t>(k / 2)] ^= 0x10;
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(locked.data(), 8 * k); }), kRC2Corrupt);
}

TEST(RSAKeys, TypeTwoBlocksNeedEightPaddingBytes)
{
    CRSAPrivateKey priv(SharedKey(512));
    const int k = priv.LockedDataSize();

    Bytes eight = RawPublic(priv, Type2Block(k, 8));
    CRC2key rc2 = priv.UnlockRC2Key(eight.data(), 8 * k);
    EXPECT_EQ(rc2.m_nKeyLength, k - 11);

    Bytes seven = RawPublic(priv, Type2Block(k, 7));
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(seven.data(), 8 * k); }), kRC2Corrupt);

    // No zero separator at all, a wrong block type, a nonzero first byte.
    Bytes none(static_cast<size_t>(k), 0x33);
    none[0] = 0;
    none[1] = 2;
    Bytes noSeparator = RawPublic(priv, none);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(noSeparator.data(), 8 * k); }), kRC2Corrupt);
    Bytes type1 = Type2Block(k, 20);
    type1[1] = 1;
    Bytes wrongType = RawPublic(priv, type1);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(wrongType.data(), 8 * k); }), kRC2Corrupt);
    Bytes lead = Type2Block(k, 20);
    lead[0] = 1;
    Bytes wrongLead = RawPublic(priv, lead);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(wrongLead.data(), 8 * k); }), kRC2Corrupt);

    // A separator in the last byte leaves no key.
    Bytes empty = Type2Block(k, k - 3);
    Bytes emptyLocked = RawPublic(priv, empty);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(emptyLocked.data(), 8 * k); }), kRC2Corrupt);

    // More than 128 unlocked bytes are no RC2 key (a 1152-bit modulus leaves room for 133).
    CRSAPrivateKey big(SharedKey(1152));
    const int kb = big.LockedDataSize();
    Bytes long129 = RawPublic(big, Type2Block(kb, kb - 3 - 129));
    EXPECT_EQ(UnlockReason([&] { big.UnlockRC2Key(long129.data(), 8 * kb); }),
              "CRSAPrivateKey::UnlockRC2Key - unlocked RC2 key has invalid size");
    Bytes long128 = RawPublic(big, Type2Block(kb, kb - 3 - 128));
    EXPECT_EQ(big.UnlockRC2Key(long128.data(), 8 * kb).m_nKeyLength, 128);
}

TEST(RSAKeys, ShortLockedDataCountAsLeadingZeros)
{
    CRSAPrivateKey priv(SharedKey(512));
    const int k = priv.LockedDataSize();
    CRC2key rc2;
    Bytes locked = Locked(priv);
    // About one locking in 200 starts with a zero byte; a peer may leave that byte out.
    int tries = 0;
    do {
        priv.LockRC2Key(rc2, locked.data());
    } while (locked[0] != 0 && ++tries < 20000);
    ASSERT_EQ(locked[0], 0);
    // Exactly k - 1 bytes on the heap: any read beyond them is caught by the sanitizers.
    std::unique_ptr<BYTE[]> shortData(new BYTE[static_cast<size_t>(k - 1)]);
    std::memcpy(shortData.get(), locked.data() + 1, static_cast<size_t>(k - 1));
    CRC2key back = priv.UnlockRC2Key(shortData.get(), 8 * (k - 1));
    EXPECT_EQ(0, std::memcmp(back.m_Key, rc2.m_Key, rc2.m_nKeyLength));

    // No data at all, or a negative length, is simply no block.
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(shortData.get(), 0); }), kRC2Corrupt);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockRC2Key(shortData.get(), -8); }), kRC2Corrupt);
}

// ---- digests -------------------------------------------------------------------------------

TEST(RSAKeys, DigestsRoundTripAndCheckTheirDigestInfo)
{
    CRSAPrivateKey priv(SharedKey(512));
    CRSAPublicKey pub(priv);
    const int k = pub.LockedDataSize();
    BYTE digest[20];
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<BYTE>(0xA0 + i);
    Bytes locked = Locked(priv);
    BYTE out[20];

    priv.LockMD2Digest(digest, locked.data());
    pub.UnlockMD2Digest(locked.data(), out, 8 * k);
    EXPECT_EQ(0, std::memcmp(out, digest, 16));
    // The MD2 and MD5 headers differ in one byte.
    BYTE keep[20];
    std::memset(out, 0xEE, sizeof out);
    std::memcpy(keep, out, sizeof out);
    EXPECT_EQ(UnlockReason([&] { pub.UnlockMD5Digest(locked.data(), out, 8 * k); }),
              "CRSAPublicKey::UnlockMD5Digest - locked digest corrupted");
    EXPECT_EQ(0, std::memcmp(out, keep, sizeof out));  // nothing written

    priv.LockMD5Digest(digest, locked.data());
    pub.UnlockMD5Digest(locked.data(), out, 8 * k);
    EXPECT_EQ(0, std::memcmp(out, digest, 16));
    EXPECT_EQ(UnlockReason([&] { pub.UnlockSHA1Digest(locked.data(), out, 8 * k); }),
              "CRSAPublicKey::UnlockSHA1Digest - locked digest corrupted");

    priv.LockSHA1Digest(digest, locked.data());
    pub.UnlockSHA1Digest(locked.data(), out, 8 * k);
    EXPECT_EQ(0, std::memcmp(out, digest, 20));
    EXPECT_EQ(UnlockReason([&] { pub.UnlockMD2Digest(locked.data(), out, 8 * k); }),
              "CRSAPublicKey::UnlockMD2Digest - locked digest corrupted");

    // Locking a digest is deterministic (type 1 pads with FF).
    Bytes again = Locked(priv);
    priv.LockSHA1Digest(digest, again.data());
    EXPECT_EQ(locked, again);

    EXPECT_EQ(UnlockReason([&] { pub.UnlockSHA1Digest(locked.data(), out, 8 * k + 1); }),
              "CRSAPublicKey::UnlockSHA1Digest - locked data are longer than key modulus");
    EXPECT_EQ(UnlockReason([&] { pub.UnlockMD5Digest(locked.data(), out, 8 * k + 8); }),
              "CRSAPublicKey::UnlockMD5Digest - locked data are longer than key modulus");
    Bytes high(static_cast<size_t>(k), 0xFF);
    EXPECT_EQ(UnlockReason([&] { pub.UnlockMD5Digest(high.data(), out, 8 * k); }),
              "CRSAPublicKey::ProcessData - modulus is less than data");
}

TEST(RSAKeys, TypeOneBlocksAreCheckedByteForByte)
{
    CRSAPrivateKey priv(SharedKey(512));
    const int k = priv.LockedDataSize();
    static const BYTE sha1Info[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
    auto block = [&](int padding, BYTE fill) {
        Bytes b(static_cast<size_t>(k), 0);
        b[1] = 1;
        std::memset(b.data() + 2, fill, static_cast<size_t>(padding));
        b[static_cast<size_t>(2 + padding)] = 0;
        std::memcpy(b.data() + 3 + padding, sha1Info, sizeof sha1Info);
        return b;
    };
    BYTE out[20];
    const int padding = k - 3 - 35;
    Bytes good = RawPrivate(priv, block(padding, 0xFF));
    priv.UnlockSHA1Digest(good.data(), out, 8 * k);

    Bytes bad = block(padding, 0xFF);
    bad[5] = 0xFE;  // a padding byte that is not FF
    Bytes badLocked = RawPrivate(priv, bad);
    EXPECT_EQ(UnlockReason([&] { priv.UnlockSHA1Digest(badLocked.data(), out, 8 * k); }),
              "CRSAPublicKey::UnlockSHA1Digest - locked digest corrupted");
    Bytes extra = block(padding, 0xFF);
    extra[static_cast<size_t>(k - 1)] ^= 1;  // digest bytes are not checked, only copied
    Bytes extraLocked = RawPrivate(priv, extra);
    priv.UnlockSHA1Digest(extraLocked.data(), out, 8 * k);
    EXPECT_EQ(out[19], 1);
}

// ---- keys that cannot work ---------------------------------------------------------------

TEST(RSAKeys, UnusableKeysFailCleanly)
{
    CRSAPrivateKey none;
    EXPECT_EQ(none.LockedDataSize(), 0);
    CDESkey des;
    BYTE out[256] = {};
    EXPECT_EQ(UnlockReason([&] { none.LockDESKey(des, out); }),
              "CRSAPublicKey::EncodeData - modulus is too short to encode");
    BYTE digest[20] = {};
    EXPECT_EQ(UnlockReason([&] { none.LockSHA1Digest(digest, out); }),
              "CRSAPrivateKey::EncodeData - modulus is too short to encode");
    EXPECT_EQ(UnlockReason([&] { none.UnlockDESKey(out, 0); }), kPrivateProcess);
    EXPECT_EQ(UnlockReason([&] { none.UnlockSHA1Digest(out, digest, 0); }),
              "CRSAPublicKey::ProcessData - modulus is less than data");

    // A bit count that does not match the modulus, and one beyond the fields.
    CRSAPrivateKey wrong(SharedKey(512));
    wrong.m_nModulusBits = 400;
    EXPECT_EQ(UnlockReason([&] { wrong.UnlockDESKey(out, 400); }), kPrivateProcess);
    wrong.m_nModulusBits = 4000;
    EXPECT_EQ(UnlockReason([&] { wrong.LockDESKey(des, out); }),
              "CRSAPublicKey::EncodeData - modulus is too short to encode");
    EXPECT_EQ(UnlockReason([&] { wrong.UnlockDESKey(out, 4000); }), kPrivateProcess);

    // A tiny modulus (as a hostile key file could carry) has no room for a digest.
    CRSAPrivateKey tiny;
    tiny.m_nModulusBits = 64;
    tiny.m_Modulus[255] = 0x35;
    tiny.m_Modulus[248] = 0xC1;
    tiny.m_PrivateExponent[255] = 3;
    EXPECT_EQ(UnlockReason([&] { tiny.LockMD5Digest(digest, out); }),
              "CRSAPrivateKey::EncodeData - modulus is too short to encode");
}

// ---- copies and comparison ------------------------------------------------------------------

TEST(RSAKeys, CopiesCompareEqualAndKeepEveryField)
{
    CRSAPrivateKey a(SharedKey(512));
    CRSAPrivateKey b;
    b = a;
    EXPECT_TRUE(static_cast<CRSAPublicKey&>(a) == static_cast<CRSAPublicKey&>(b));
    EXPECT_EQ(0, std::memcmp(a.m_Coefficient, b.m_Coefficient, 128));
    EXPECT_EQ(0, std::memcmp(a.m_PrivateExponent, b.m_PrivateExponent, 256));
    CRSAPublicKey pub(a);
    EXPECT_TRUE(pub == a);
    pub.m_PublicExponent[0] = 1;
    EXPECT_FALSE(pub == a);
    pub = a;
    pub.m_nModulusBits = 511;
    EXPECT_FALSE(pub == a);
}

// ---- stored form -----------------------------------------------------------------------------

Bytes PublicRecordBytes(WORD fieldSize, WORD bits, BYTE version = 0, BYTE fill = 0x11)
{
    Bytes b = {version, static_cast<BYTE>(fieldSize), static_cast<BYTE>(fieldSize >> 8), static_cast<BYTE>(bits),
               static_cast<BYTE>(bits >> 8)};
    for (int i = 0; i < 2 * fieldSize; ++i)
        b.push_back(static_cast<BYTE>(fill + i));
    return b;
}

TEST(RSAKeyArchive, PublicKeyLayoutAndBounds)
{
    CRSAPrivateKey priv(SharedKey(512));
    CRSAPublicKey pub(priv);
    Bytes stored = Store([&](CArchive& ar) { pub.Serialize(ar); });
    ASSERT_EQ(stored.size(), 5u + 512u);
    EXPECT_EQ(stored[0], 0);
    EXPECT_EQ(stored[1], 0x00);  // 256, little-endian
    EXPECT_EQ(stored[2], 0x01);
    EXPECT_EQ(stored[3], 0x00);  // 512 bits
    EXPECT_EQ(stored[4], 0x02);
    EXPECT_EQ(0, std::memcmp(stored.data() + 5, pub.m_Modulus, 256));
    EXPECT_EQ(0, std::memcmp(stored.data() + 5 + 256, pub.m_PublicExponent, 256));

    CRSAPublicKey back;
    Load(stored, [&](CArchive& ar) { back.Serialize(ar); });
    EXPECT_TRUE(back == pub);

    // The family's smallest keys had 508 bits; 507 and 2049 are refused.
    CRSAPublicKey k508;
    Load(PublicRecordBytes(256, 508), [&](CArchive& ar) { k508.Serialize(ar); });
    EXPECT_EQ(k508.m_nModulusBits, 508);
    for (WORD bits : {WORD(507), WORD(2049), WORD(0)}) {
        CRSAPublicKey k(pub);
        EXPECT_EQ(ArchiveCause([&] { Load(PublicRecordBytes(256, bits), [&](CArchive& ar) { k.Serialize(ar); }); }),
                  CArchiveException::generic);
        EXPECT_TRUE(k == pub);  // unchanged
    }
    CRSAPublicKey k(pub);
    EXPECT_EQ(ArchiveCause([&] { Load(PublicRecordBytes(256, 512, 1), [&](CArchive& ar) { k.Serialize(ar); }); }),
              CArchiveException::generic);
    // The bit count is checked before the field size.
    EXPECT_EQ(ArchiveCause([&] { Load(PublicRecordBytes(257, 100), [&](CArchive& ar) { k.Serialize(ar); }); }),
              CArchiveException::generic);
    EXPECT_EQ(ArchiveCause([&] { Load(PublicRecordBytes(257, 512), [&](CArchive& ar) { k.Serialize(ar); }); }),
              CArchiveException::badSchema);
    Bytes truncated = PublicRecordBytes(256, 512);
    truncated.resize(truncated.size() - 1);
    EXPECT_EQ(ArchiveCause([&] { Load(truncated, [&](CArchive& ar) { k.Serialize(ar); }); }),
              CArchiveException::endOfFile);
    EXPECT_TRUE(k == pub);
}

TEST(RSAKeyArchive, ShortFieldsAreRightAligned)
{
    CRSAPublicKey k;
    std::memset(k.m_Modulus, 0xCC, 256);
    Load(PublicRecordBytes(128, 1024, 0, 0x40), [&](CArchive& ar) { k.Serialize(ar); });
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(k.m_Modulus[i], 0);
        ASSERT_EQ(k.m_PublicExponent[i], 0);
    }
    EXPECT_EQ(k.m_Modulus[128], 0x40);
    EXPECT_EQ(k.m_Modulus[255], static_cast<BYTE>(0x40 + 127));
    EXPECT_EQ(k.m_PublicExponent[128], static_cast<BYTE>(0x40 + 128));
}

TEST(RSAKeyArchive, PrivateKeyRoundTripsAndStaysWholeOnFailure)
{
    CRSAPrivateKey priv(SharedKey(512));
    Bytes stored = Store([&](CArchive& ar) { priv.Serialize(ar); });
    ASSERT_EQ(stored.size(), 517u + 1 + 2 + 256 + 2 + 256 + 256 + 128);
    EXPECT_EQ(stored[517], 0);
    EXPECT_EQ(0, std::memcmp(stored.data() + 520, priv.m_PrivateExponent, 256));
    EXPECT_EQ(0, std::memcmp(stored.data() + 778, priv.m_Prime1, 128));
    EXPECT_EQ(0, std::memcmp(stored.data() + 906, priv.m_Prime2, 128));
    EXPECT_EQ(0, std::memcmp(stored.data() + 1034, priv.m_Exponent1, 128));
    EXPECT_EQ(0, std::memcmp(stored.data() + 1290, priv.m_Coefficient, 128));

    CRSAPrivateKey back;
    Load(stored, [&](CArchive& ar) { back.Serialize(ar); });
    EXPECT_EQ(Store([&](CArchive& ar) { back.Serialize(ar); }), stored);

    // A bad private part leaves even the public part alone.
    CRSAPrivateKey target;
    Bytes badVersion = stored;
    badVersion[517] = 2;
    EXPECT_EQ(ArchiveCause([&] { Load(badVersion, [&](CArchive& ar) { target.Serialize(ar); }); }),
              CArchiveException::generic);
    Bytes badSize = stored;
    badSize[776] = 0x01;  // second field size 257
    badSize[777] = 0x01;
    EXPECT_EQ(ArchiveCause([&] { Load(badSize, [&](CArchive& ar) { target.Serialize(ar); }); }),
              CArchiveException::badSchema);
    Bytes cut(stored.begin(), stored.end() - 1);
    EXPECT_EQ(ArchiveCause([&] { Load(cut, [&](CArchive& ar) { target.Serialize(ar); }); }),
              CArchiveException::endOfFile);
    EXPECT_EQ(target.m_nModulusBits, 0);
    EXPECT_EQ(target.m_Modulus[255], 0);

    // A smaller pair field fills the end of the pair of prime fields, as it always has.
    Bytes small(stored.begin(), stored.begin() + 776);
    small.push_back(64);
    small.push_back(0);
    for (int i = 0; i < 64 + 64 + 32; ++i)
        small.push_back(static_cast<BYTE>(i + 1));
    Load(small, [&](CArchive& ar) { target.Serialize(ar); });
    EXPECT_EQ(target.m_Prime1[127], 0);
    EXPECT_EQ(target.m_Prime2[255 - 128 - 63], 1);
    EXPECT_EQ(target.m_Prime2[127], 64);
    EXPECT_EQ(target.m_Exponent2[127], 128);
    EXPECT_EQ(target.m_Coefficient[95], 0);
    EXPECT_EQ(target.m_Coefficient[96], 129);
}

TEST(RSAKeyArchive, ObjectsKeepTheirClassNames)
{
    CRSAKeyPair pair(SharedKey(512));
    CRSAPublicKey pub(pair);
    Bytes stored = Store([&](CArchive& ar) {
        ar.WriteObject(&pair);
        ar.WriteObject(&pub);
    });
    const std::string text(stored.begin(), stored.end());
    EXPECT_NE(text.find("CRSAPrivateKey"), std::string::npos);  // a pair is stored as a private key
    EXPECT_NE(text.find("CRSAPublicKey"), std::string::npos);
    EXPECT_EQ(text.find("CRSAKeyPair"), std::string::npos);

    Load(stored, [&](CArchive& ar) {
        CRSAPrivateKey* priv = nullptr;
        CRSAPublicKey* pubBack = nullptr;
        ar >> priv;
        ar >> pubBack;
        ASSERT_NE(priv, nullptr);
        ASSERT_NE(pubBack, nullptr);
        EXPECT_EQ(std::string(priv->GetRuntimeClass()->m_lpszClassName), "CRSAPrivateKey");
        EXPECT_EQ(0, std::memcmp(priv->m_PrivateExponent, pair.m_PrivateExponent, 256));
        EXPECT_TRUE(*pubBack == pub);
        delete priv;
        delete pubBack;
    });

    // A public key where a private one is required is refused.
    Bytes onlyPublic = Store([&](CArchive& ar) { ar.WriteObject(&pub); });
    EXPECT_NE(ArchiveCause([&] {
                  Load(onlyPublic, [&](CArchive& ar) {
                      CRSAPrivateKey* priv = nullptr;
                      ar >> priv;
                      delete priv;
                  });
              }),
              -1);
}

// ---- cancellation --------------------------------------------------------------------------

TEST(RSAKeys, KillRequestEndsAnUnlockAndTheNextOneWorks)
{
    CRSAPrivateKey priv(SharedKey(512));
    CRC2key rc2;
    Bytes locked = Locked(priv);
    priv.LockRC2Key(rc2, locked.data());

    {
        sigilboxtest::KillRequest kill;
        EXPECT_TRUE(sigilboxtest::EndsWithKill([&] { priv.UnlockRC2Key(locked.data(), 512); }));
    }
    EXPECT_EQ(0, std::memcmp(priv.UnlockRC2Key(locked.data(), 512).m_Key, rc2.m_Key, rc2.m_nKeyLength));
}

}  // namespace
