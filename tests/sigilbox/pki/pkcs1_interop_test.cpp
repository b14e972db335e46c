// RSA against the openssl command line, both ways: keys made here pass its check, digests
// locked here verify there and signatures made there unlock here, session keys locked here
// decrypt there and keys encrypted there unlock here, and keys made there work here.
#include "sigilbox/asn1/asn1_test_util.h"
#include "sigilbox/engines/rsa_test_util.h"

#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>


using namespace rsatest;

namespace {

using asn1test::EncodedBytes;

enum class Digest { MD5, SHA1 };

const char* Name(Digest d)
{
    return d == Digest::MD5 ? "md5" : "sha1";
}

Bytes DigestOf(Digest d, const Bytes& data)
{
    BYTE out[20];
    if (d == Digest::MD5) {
        CMD5DigestMaker maker;
        maker.UpdateBlock(data.data(), static_cast<int>(data.size()), nullptr, 1);
        maker.GetCurrentDigest(out);
        return Bytes(out, out + 16);
    }
    CSHA1DigestMaker maker;
    maker.UpdateBlock(data.data(), static_cast<int>(data.size()), nullptr, 1);
    maker.GetCurrentDigest(out);
    return Bytes(out, out + 20);
}

// A key written for openssl: priv.der (RSAPrivateKey), pub.der (RSAPublicKey), pub.pem.
class OpenSSLPeer : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!HaveOpenSSL())
            GTEST_SKIP() << "no openssl command";
        m_key = std::make_unique<CRSAPrivateKey>(SharedKey(GetParam()));
        m_dir.Write("priv.der", EncodedBytes(CASN1_PrivateKey(*m_key)));
        m_dir.Write("pub.der", EncodedBytes(CASN1_PublicKey(*m_key)));
        RunOK("openssl rsa -RSAPublicKey_in -inform DER -in " + m_dir.File("pub.der") + " -pubout -out " +
              m_dir.File("pub.pem"));
    }

    std::string RunOK(const std::string& command)
    {
        bool ok = false;
        std::string out = rsatest::Run(command, ok);
        EXPECT_TRUE(ok) << command << "\n" << out;
        return out;
    }

    int K() const { return m_key->LockedDataSize(); }

    std::unique_ptr<CRSAPrivateKey> m_key;
    Scratch m_dir;
};

TEST_P(OpenSSLPeer, KeyMadeHerePassesItsCheck)
{
    const std::string out = RunOK("openssl rsa -inform DER -in " + m_dir.File("priv.der") + " -check -noout");
    EXPECT_NE(out.find("RSA key ok"), std::string::npos) << out;
    const std::string modulus =
        RunOK("openssl rsa -RSAPublicKey_in -inform DER -in " + m_dir.File("pub.der") + " -modulus -noout");
    EXPECT_NE(modulus.find("Modulus=" + qmtest::ToHex(m_key->m_Modulus + 256 - K(), static_cast<size_t>(K()))), std::string::npos)
        << modulus;
}

TEST_P(OpenSSLPeer, DigestsLockedHereVerifyThere)
{
    for (Digest d : {Digest::MD5, Digest::SHA1}) {
        const Bytes data = qmtest::RandomBytes(1000, 7);
        const Bytes digest = DigestOf(d, data);
        Bytes signature(static_cast<size_t>(K()));
        if (d == Digest::MD5)
            m_key->LockMD5Digest(digest.data(), signature.data());
        else
            m_key->LockSHA1Digest(digest.data(), signature.data());
        m_dir.Write("data.bin", data);
        m_dir.Write("digest.bin", digest);
        m_dir.Write("sig.bin", signature);
        std::string out = RunOK("openssl pkeyutl -verify -pubin -keyform DER -inkey " + m_dir.File("pub.der") + " -in " +
                                m_dir.File("digest.bin") + " -sigfile " + m_dir.File("sig.bin") + " -pkeyopt digest:" + Name(d));
        EXPECT_NE(out.find("Signature Verified Successfully"), std::string::npos) << out;
        RunOK(std::string("openssl dgst -") + Name(d) + " -verify " + m_dir.File("pub.pem") + " -signature " +
              m_dir.File("sig.bin") + " " + m_dir.File("data.bin"));

        // The other digest's header is refused there too.
        bool ok = true;
        rsatest::Run("openssl pkeyutl -verify -pubin -keyform DER -inkey " + m_dir.File("pub.der") + " -in " +
                m_dir.File("digest.bin") + " -sigfile " + m_dir.File("sig.bin") + " -pkeyopt digest:" +
                (d == Digest::MD5 ? "sha1" : "md5"),
            ok);
        EXPECT_FALSE(ok);
    }
}

TEST_P(OpenSSLPeer, SignaturesMadeThereUnlockHere)
{
    CRSAPublicKey pub(*m_key);
    for (Digest d : {Digest::MD5, Digest::SHA1}) {
        const Bytes data = qmtest::RandomBytes(333, 11);
        m_dir.Write("data.bin", data);
        RunOK(std::string("openssl dgst -") + Name(d) + " -keyform DER -sign " + m_dir.File("priv.der") + " -out " +
              m_dir.File("sig.bin") + " " + m_dir.File("data.bin"));
        const Bytes signature = m_dir.Read("sig.bin");
        ASSERT_EQ(signature.size(), static_cast<size_t>(K()));
        const Bytes expected = DigestOf(d, data);
        BYTE digest[20] = {};
        if (d == Digest::MD5)
            pub.UnlockMD5Digest(signature.data(), digest, 8 * K());
        else
            pub.UnlockSHA1Digest(signature.data(), digest, 8 * K());
        EXPECT_EQ(Bytes(digest, digest + expected.size()), expected);
    }
}

TEST_P(OpenSSLPeer, SessionKeysLockedHereDecryptThere)
{
    CRSAPublicKey pub(*m_key);
    auto decrypt = [&](const Bytes& locked) {
        m_dir.Write("locked.bin", locked);
        RunOK("openssl pkeyutl -decrypt -keyform DER -inkey " + m_dir.File("priv.der") + " -in " +
              m_dir.File("locked.bin") + " -out " + m_dir.File("key.bin"));
        return m_dir.Read("key.bin");
    };
    Bytes locked(static_cast<size_t>(K()));
    CRC2key rc2;
    pub.LockRC2Key(rc2, locked.data());
    EXPECT_EQ(decrypt(locked), Bytes(rc2.m_Key, rc2.m_Key + 5));
    rc2.m_nKeyLength = 16;
    pub.LockRC2Key(rc2, locked.data());
    EXPECT_EQ(decrypt(locked), Bytes(rc2.m_Key, rc2.m_Key + 16));
    CDESkey des;
    pub.LockDESKey(des, locked.data());
    EXPECT_EQ(decrypt(locked), Bytes(des.m_Key, des.m_Key + 8));
    CTripleDESkey tdes;
    pub.LockTripleDESKey(tdes, locked.data());
    EXPECT_EQ(decrypt(locked), Bytes(tdes.m_Key, tdes.m_Key + 24));
    CIDEAkey idea;
    pub.LockIDEAKey(idea, locked.data());
    EXPECT_EQ(decrypt(locked), Bytes(idea.m_Key, idea.m_Key + 16));
}

TEST_P(OpenSSLPeer, KeysEncryptedThereUnlockHere)
{
    auto encrypt = [&](const Bytes& key) {
        m_dir.Write("key.bin", key);
        RunOK("openssl pkeyutl -encrypt -pubin -keyform DER -inkey " + m_dir.File("pub.der") + " -in " +
              m_dir.File("key.bin") + " -out " + m_dir.File("locked.bin"));
        Bytes locked = m_dir.Read("locked.bin");
        EXPECT_EQ(locked.size(), static_cast<size_t>(K()));
        return locked;
    };
    for (int length : {5, 16, K() - 11}) {
        const Bytes key = qmtest::RandomBytes(static_cast<size_t>(length), static_cast<unsigned>(length));
        const Bytes locked = encrypt(key);
        CRC2key rc2 = m_key->UnlockRC2Key(locked.data(), 8 * static_cast<int>(locked.size()));
        EXPECT_EQ(Bytes(rc2.m_Key, rc2.m_Key + rc2.m_nKeyLength), key);
        EXPECT_EQ(rc2.m_nEffectiveBits, 8 * length);
    }
    Bytes desKey = qmtest::RandomBytes(8, 99);
    AdjustDESKeyParity(desKey.data(), 8);
    Bytes locked = encrypt(desKey);
    CDESkey des = m_key->UnlockDESKey(locked.data(), 8 * K());
    EXPECT_EQ(Bytes(des.m_Key, des.m_Key + 8), desKey);

    // A key too long for openssl's padding rules is refused there as here.
    bool ok = true;
    m_dir.Write("key.bin", qmtest::RandomBytes(static_cast<size_t>(K() - 10), 1));
    rsatest::Run("openssl pkeyutl -encrypt -pubin -keyform DER -inkey " + m_dir.File("pub.der") + " -in " + m_dir.File("key.bin") +
            " -out " + m_dir.File("locked.bin"),
        ok);
    EXPECT_FALSE(ok);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OpenSSLPeer, ::testing::Values(512, 1024));

// A 2048-bit key made by openssl reads in, passes TestKeys, encodes to the same DER and is
// used both ways.
TEST(OpenSSLKeys, KeyMadeThereWorksHere)
{
    if (!HaveOpenSSL())
        GTEST_SKIP() << "no openssl command";
    Scratch dir;
    bool ok = false;
    rsatest::Run("openssl genrsa -out " + dir.File("g.pem") + " 2048", ok);
    ASSERT_TRUE(ok);
    rsatest::Run("openssl rsa -in " + dir.File("g.pem") + " -outform DER -traditional -out " + dir.File("g.der"), ok);
    ASSERT_TRUE(ok);
    const Bytes der = dir.Read("g.der");

    CDEREncoding encoding(der.data(), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> decoded(AfxBuildFromEncoding(encoding));
    ASSERT_EQ(CASN1_PrivateKey::IsValid(decoded.get()), 1);
    CRSAPrivateKey key;
    CASN1_PrivateKey::SetDataTo(*decoded, key);
    EXPECT_EQ(key.m_nModulusBits, 2048);
    EXPECT_EQ(EncodedBytes(CASN1_PrivateKey(key)), der);
    CRSAKeyPair pair(key);
    EXPECT_EQ(pair.TestKeys(3, nullptr, 1), 0);

    dir.Write("key.bin", Bytes{1, 2, 3, 4, 5});
    rsatest::Run("openssl pkeyutl -encrypt -inkey " + dir.File("g.pem") + " -in " + dir.File("key.bin") + " -out " +
            dir.File("locked.bin"),
        ok);
    ASSERT_TRUE(ok);
    const Bytes locked = dir.Read("locked.bin");
    CRC2key rc2 = key.UnlockRC2Key(locked.data(), 8 * static_cast<int>(locked.size()));
    EXPECT_EQ(Bytes(rc2.m_Key, rc2.m_Key + rc2.m_nKeyLength), (Bytes{1, 2, 3, 4, 5}));

    const Bytes data = qmtest::RandomBytes(64, 3);
    const Bytes digest = DigestOf(Digest::SHA1, data);
    Bytes signature(256);
    key.LockSHA1Digest(digest.data(), signature.data());
    dir.Write("data.bin", data);
    dir.Write("sig.bin", signature);
    const std::string out = rsatest::Run("openssl dgst -sha1 -prverify " + dir.File("g.pem") + " -signature " +
                                             dir.File("sig.bin") + " " + dir.File("data.bin"),
                                         ok);
    EXPECT_TRUE(ok) << out;
}

}  // namespace
