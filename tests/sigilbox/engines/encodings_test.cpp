// Encodings passed through digest makers and crypto processors.
#include "cipher_test_util.h"
#include "sigilbox/asn1/asn1_test_util.h"

#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/asn1/encodings.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/unlock_exception.h"

#include <gtest/gtest.h>

using namespace ciphertest;

namespace {

using asn1test::EncodedBytes;

std::string MD5Of(const Bytes& b)
{
    BYTE digest[16];
    AfxMakeMD5DigestOnData(b.data(), static_cast<int>(b.size()), digest);
    return ToHex(digest, 16);
}

std::string MD5Through(const CASN1Type& object, int contentsOnly)
{
    CMD5DigestMaker maker;
    AfxDigestEncoding(object, maker, contentsOnly);
    BYTE digest[16];
    maker.GetCurrentDigest(digest);
    return ToHex(digest, 16);
}

CASN1_SEQUENCE* TwoStrings(int indefinite)
{
    auto* seq = new CASN1_SEQUENCE(indefinite);
    Bytes a = RandomBytes(300, 1), b = RandomBytes(5, 2);
    seq->AddObject(new CASN1_OCTET_STRING(a.data(), a.size()));
    seq->AddObject(new CASN1_OCTET_STRING(b.data(), b.size()));
    return seq;
}

}

TEST(Encodings, DigestOfTheWholeEncodingOrItsContents)
{
    std::unique_ptr<CASN1_SEQUENCE> seq(TwoStrings(0));
    Bytes whole = EncodedBytes(*seq);
    EXPECT_EQ(MD5Through(*seq, 0), MD5Of(whole));
    // Definite length over 255 octets: identifier and three length octets.
    ASSERT_EQ(whole[1], 0x82);
    EXPECT_EQ(MD5Through(*seq, 1), MD5Of(Bytes(whole.begin() + 4, whole.end())));

    // Indefinite length: contents only leaves out the end-of-contents octets as well.
    std::unique_ptr<CASN1_SEQUENCE> indefinite(TwoStrings(1));
    Bytes all = EncodedBytes(*indefinite);
    ASSERT_EQ(all[1], 0x80);
    ASSERT_EQ(all[all.size() - 1], 0);
    ASSERT_EQ(all[all.size() - 2], 0);
    EXPECT_EQ(MD5Through(*indefinite, 0), MD5Of(all));
    EXPECT_EQ(MD5Through(*indefinite, 1), MD5Of(Bytes(all.begin() + 2, all.end() - 2)));

    // SHA-1 through the same path.
    CSHA1DigestMaker sha;
    seq->DigestEncoding(sha, 0);
    CSHA1DigestMaker direct;
    direct.UpdateBlock(whole.data(), static_cast<int>(whole.size()), nullptr, 1, 1);
    BYTE d1[20], d2[20];
    sha.GetCurrentDigest(d1);
    direct.GetCurrentDigest(d2);
    EXPECT_EQ(ToHex(d1, 20), ToHex(d2, 20));
}

TEST(Encodings, EncryptAndDecryptThroughAProcessor)
{
    CRC2key key;
    std::unique_ptr<CASN1_SEQUENCE> seq(TwoStrings(0));
    Bytes whole = EncodedBytes(*seq);

    CMemFile sealed;
    CRC2_CBC enc(key);
    AfxEncryptEncoding(*seq, enc, sealed, 0);
    Bytes cipher = MemFileBytes(sealed);
    CRC2_CBC reference(key);
    EXPECT_EQ(ToHex(cipher), ToHex(EncryptAll(reference, whole)));

    // The ciphertext as the contents of an OCTET STRING, as enveloped content carries it.
    CASN1_OCTET_STRING content(cipher.data(), cipher.size());
    CMemFile opened;
    CRC2_CBC dec(key);
    content.DecryptEncoding(dec, opened, 1);
    EXPECT_EQ(ToHex(MemFileBytes(opened)), ToHex(whole));

    // Contents only of the sequence: its children's encodings.
    CMemFile part;
    CRC2_CBC enc2(key);
    AfxEncryptEncoding(*seq, enc2, part, 1);
    CRC2_CBC dec2(key);
    EXPECT_EQ(ToHex(DecryptAll(dec2, MemFileBytes(part))), ToHex(Bytes(whole.begin() + 4, whole.end())));
}

TEST(Encodings, DecryptFailuresPassOn)
{
    CDESkey key;
    Bytes odd(13, 0x55);
    CASN1_OCTET_STRING content(odd.data(), odd.size());
    CMemFile out;
    CDES_CBC dec(key);
    EXPECT_THROWS_PTR(AfxDecryptEncoding(content, dec, out, 1), CUnlockException);
    EXPECT_STREQ(AfxGetLastUnlockReason(), "CCryptoProcessor::DecryptFile - invalid file size");
    EXPECT_EQ(out.GetLength(), 0);

    // The whole encoding (tag and length included) as ciphertext: 15 octets, not a multiple of 8.
    EXPECT_THROWS_PTR(AfxDecryptEncoding(content, dec, out, 0), CUnlockException);
}
