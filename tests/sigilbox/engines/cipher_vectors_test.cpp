// Known-answer tests of the four block ciphers, through the algorithm classes (word
// interface) and through the ECB processors (byte interface).
#include "cipher_test_util.h"

#include <gtest/gtest.h>

using namespace ciphertest;

namespace {

void ToWords(const Bytes& b, DWORD w[2])
{
    w[0] = (DWORD(b[0]) << 24) | (DWORD(b[1]) << 16) | (DWORD(b[2]) << 8) | b[3];
    w[1] = (DWORD(b[4]) << 24) | (DWORD(b[5]) << 16) | (DWORD(b[6]) << 8) | b[7];
}

Bytes FromWords(const DWORD w[2])
{
    Bytes b(8);
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<BYTE>(w[0] >> (24 - 8 * i));
        b[4 + i] = static_cast<BYTE>(w[1] >> (24 - 8 * i));
    }
    return b;
}

// Checks one block both ways through an algorithm object and through an ECB processor.
template <class Algorithm, class Ecb, class Key>
void CheckBlock(const Key& key, const Vector& v)
{
    SCOPED_TRACE(v.Where());
    Bytes plain = Hex(v["plain"]), cipher = Hex(v["cipher"]);
    ASSERT_EQ(plain.size(), 8u);
    ASSERT_EQ(cipher.size(), 8u);

    Algorithm algorithm(key);
    DWORD in[2], out[2];
    ToWords(plain, in);
    algorithm.EncipherAlgorithm(in, out);
    EXPECT_EQ(ToHex(FromWords(out)), ToHex(cipher));
    ToWords(cipher, in);
    algorithm.DecipherAlgorithm(in, out);
    EXPECT_EQ(ToHex(FromWords(out)), ToHex(plain));

    Ecb ecb(key);
    Bytes buf = plain;
    ecb.EncryptBlock(buf.data(), 8, buf.data(), nullptr);
    EXPECT_EQ(ToHex(buf), ToHex(cipher));
    ecb.DecryptBlock(buf.data(), 8, buf.data(), nullptr);
    EXPECT_EQ(ToHex(buf), ToHex(plain));
}

}

// Every record of a file of whole keys (DES, Triple-DES).
template <class Key, class Algorithm, class Ecb>
void CheckKeyFile(const std::string& file, size_t keyBytes, size_t atLeast)
{
    auto vectors = ReadVectors(file);
    ASSERT_GE(vectors.size(), atLeast);
    for (const auto& v : vectors) {
        Key key;
        Bytes k = Hex(v["key"]);
        ASSERT_EQ(k.size(), keyBytes) << v.Where();
        std::memcpy(key.m_Key, k.data(), keyBytes);
        CheckBlock<Algorithm, Ecb>(key, v);
    }
}

TEST(CipherVectors, DESAndTripleDES)
{
    CheckKeyFile<CDESkey, CDESAlgorithm, CDES_ECB>("ciphers/des.txt", 8, 10);
    CheckKeyFile<CTripleDESkey, CTripleDESAlgorithm, CTripleDES_ECB>("ciphers/tripledes.txt", 24, 4);
}

TEST(CipherVectors, TripleDESWithThreeEqualKeysIsDES)
{
    Bytes plain = RandomBytes(64, 7);
    for (unsigned seed = 1; seed <= 8; ++seed) {
        Bytes k = RandomBytes(8, seed);
        CDESkey des;
        std::memcpy(des.m_Key, k.data(), 8);
        CTripleDESkey triple;
        for (int i = 0; i < 3; ++i)
            std::memcpy(triple.m_Key + 8 * i, k.data(), 8);
        std::memcpy(triple.m_IV, des.m_IV, 8);
        CDES_CBC a(des);
        CTripleDES_CBC b(triple);
        Bytes x = plain, y = plain;
        a.EncryptBlock(x.data(), 64, x.data(), nullptr);
        b.EncryptBlock(y.data(), 64, y.data(), nullptr);
        EXPECT_EQ(ToHex(x), ToHex(y));
    }
}

TEST(CipherVectors, RC2WithEffectiveBits)
{
    auto vectors = ReadVectors("ciphers/rc2.txt");
    int valid = 0;
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.Where());
        CRC2key key;
        Bytes k = Hex(v["key"]);
        ASSERT_LE(k.size(), 128u);
        if (!k.empty())
            std::memcpy(key.m_Key, k.data(), k.size());
        key.m_nKeyLength = static_cast<BYTE>(k.size());
        key.m_nEffectiveBits = static_cast<WORD>(std::stoi(v["bits"]));
        if (v.Invalid()) {
            EXPECT_EQ(qmtest::ThrownClass([&] { CRC2Algorithm a(key); }), v["error"]);
            EXPECT_EQ(qmtest::ThrownClass([&] { CRC2_CBC p(key); }), v["error"]);
            continue;
        }
        ++valid;
        CheckBlock<CRC2Algorithm, CRC2_ECB>(key, v);
    }
    EXPECT_EQ(valid, 8);
}

TEST(CipherVectors, IDEAThroughTheLibraryWordMapping)
{
    auto vectors = ReadVectors("ciphers/idea.txt");
    ASSERT_GE(vectors.size(), 2u);
    for (const auto& v : vectors) {
        // Key words are little-endian here: swap the bytes of each published word.
        Bytes k = Hex(v["key"]);
        ASSERT_EQ(k.size(), 16u);
        CIDEAkey key;
        for (int i = 0; i < 16; i += 2) {
            key.m_Key[i] = k[i + 1];
            key.m_Key[i + 1] = k[i];
        }
        // Blocks: X2 X1 X4 X3 in byte order.
        auto mapBlock = [](const Bytes& b) { return Bytes{b[2], b[3], b[0], b[1], b[6], b[7], b[4], b[5]}; };
        Vector mapped = v;
        mapped.fields["plain"] = ToHex(mapBlock(Hex(v["plain"])));
        mapped.fields["cipher"] = ToHex(mapBlock(Hex(v["cipher"])));
        CheckBlock<CIDEAAlgorithm, CIDEA_ECB>(key, mapped);
    }
}

TEST(CipherVectors, IDEAFirstVectorInLibraryBytes)
{
    // Key 0001 0002 ... 0008 and block 0000 0001 0002 0003 written out in the library's order.
    CIDEAkey key;
    Bytes k = Hex("01000200030004000500060007000800");
    std::memcpy(key.m_Key, k.data(), 16);
    CIDEA_ECB ecb(key);
    Bytes block = Hex("0001000000030002");
    ecb.EncryptBlock(block.data(), 8, block.data(), nullptr);
    EXPECT_EQ(ToHex(block), "ED2B11FB6DE50198");
}

// Every cipher decrypts what it encrypts, for many random keys and blocks (the decryption
// schedules are derived separately from the encryption ones).
TEST(CipherVectors, RandomKeysRoundTrip)
{
    for (unsigned seed = 0; seed < 50; ++seed) {
        Bytes block = RandomBytes(8, seed + 1000);
        DWORD in[2], mid[2], back[2];
        ToWords(block, in);

        CDESkey des;
        CDESAlgorithm a(des);
        a.EncipherAlgorithm(in, mid);
        a.DecipherAlgorithm(mid, back);
        EXPECT_TRUE(back[0] == in[0] && back[1] == in[1]);

        CTripleDESkey triple;
        CTripleDESAlgorithm b(triple);
        b.EncipherAlgorithm(in, mid);
        b.DecipherAlgorithm(mid, back);
        EXPECT_TRUE(back[0] == in[0] && back[1] == in[1]);

        CIDEAkey idea;
        Bytes k = RandomBytes(16, seed);
        if (seed % 5 == 0)
            std::memset(k.data(), 0, 4);   // zero subkeys exercise the 65536 case
        std::memcpy(idea.m_Key, k.data(), 16);
        CIDEAAlgorithm c(idea);
        c.EncipherAlgorithm(in, mid);
        c.DecipherAlgorithm(mid, back);
        EXPECT_TRUE(back[0] == in[0] && back[1] == in[1]) << "IDEA seed " << seed;

        CRC2key rc2;
        rc2.m_nKeyLength = static_cast<BYTE>(1 + seed % 128);
        rc2.m_nEffectiveBits = static_cast<WORD>(1 + (seed * 37) % 1024);
        CRC2Algorithm d(rc2);
        d.EncipherAlgorithm(in, mid);
        d.DecipherAlgorithm(mid, back);
        EXPECT_TRUE(back[0] == in[0] && back[1] == in[1]);
    }
}

// The bit permutation of the standard, to check the word-swapping one.
namespace {

const int kIP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                     62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                     57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3,
                     61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
}

TEST(CipherVectors, InitialPermutationMatchesTheStandard)
{
    // Our permutation leaves each half rotated left by one bit.
    for (unsigned seed = 0; seed < 20; ++seed) {
        Bytes b = RandomBytes(8, seed);
        auto bit = [&](int n) { return (b[(n - 1) / 8] >> (7 - (n - 1) % 8)) & 1; };
        DWORD l = 0, r = 0;
        for (int i = 0; i < 32; ++i) {
            l = (l << 1) | DWORD(bit(kIP[i]));
            r = (r << 1) | DWORD(bit(kIP[i + 32]));
        }
        DWORD w[2];
        ToWords(b, w);
        sigilbox_cipher::DESInitialPermutation(w[0], w[1]);
        EXPECT_EQ(w[0], (l << 1) | (l >> 31));
        EXPECT_EQ(w[1], (r << 1) | (r >> 31));
        // The final permutation is its inverse.
        sigilbox_cipher::DESFinalPermutation(w[0], w[1]);
        DWORD orig[2];
        ToWords(b, orig);
        EXPECT_EQ(w[0], orig[0]);
        EXPECT_EQ(w[1], orig[1]);
    }
}
