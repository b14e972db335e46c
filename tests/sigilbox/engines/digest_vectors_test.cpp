// Known-answer vectors of MD2, MD5 and SHA-1, fed whole and in pieces of several sizes so
// that every edge of the block buffering is crossed.
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/hex_text.h"
#include "tests/support/vectors.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct Vector {
    std::string algorithm;
    std::string message;
    std::string digest;   // lower-case hex
    std::string where;
};

std::vector<Vector> LoadVectors()
{
    std::vector<Vector> vectors;
    for (const qmtest::Vector& record : qmtest::ReadVectors("digests/vectors.txt")) {
        const std::string unit =
            record.Has("hex") ? qmtest::ToString(record.HexField("hex")) : record["text"];
        const long long repeat = record.Has("repeat") ? record.Number("repeat") : 1;
        Vector v{record["algorithm"], {}, record["digest"], record.Where()};
        for (long long i = 0; i < repeat; ++i)
            v.message += unit;
        vectors.push_back(std::move(v));
    }
    return vectors;
}

std::unique_ptr<CDigestMaker> MakerFor(const std::string& algorithm, int* length)
{
    if (algorithm == "MD2") {
        *length = CMD2DigestMaker::DigestLength;
        return std::make_unique<CMD2DigestMaker>();
    }
    if (algorithm == "MD5") {
        *length = CMD5DigestMaker::DigestLength;
        return std::make_unique<CMD5DigestMaker>();
    }
    *length = CSHA1DigestMaker::DigestLength;
    return std::make_unique<CSHA1DigestMaker>();
}

std::string Lower(CString s)
{
    s.MakeLower();
    return s.str();
}

// Digest of the message fed in pieces of `piece` bytes (0: all at once), final on the last.
std::string DigestInPieces(const Vector& v, size_t piece)
{
    int length = 0;
    auto maker = MakerFor(v.algorithm, &length);
    const BYTE* data = reinterpret_cast<const BYTE*>(v.message.data());
    size_t left = v.message.size();
    if (piece == 0)
        piece = left;
    do {
        size_t n = std::min(piece, left);
        maker->UpdateBlock(data, static_cast<int>(n), nullptr, n == left, 1);
        data += n;
        left -= n;
    } while (left > 0);
    BYTE digest[20];
    maker->GetCurrentDigest(digest);
    return Lower(OctetsToHexChars(digest, length));
}

TEST(DigestVectors, FileHasEveryAlgorithm)
{
    auto vectors = LoadVectors();
    int md2 = 0, md5 = 0, sha1 = 0;
    for (const auto& v : vectors) {
        md2 += v.algorithm == "MD2";
        md5 += v.algorithm == "MD5";
        sha1 += v.algorithm == "SHA1";
    }
    EXPECT_GE(md2, 7);
    EXPECT_GE(md5, 7);
    EXPECT_GE(sha1, 4);
}

TEST(DigestVectors, WholeMessage)
{
    for (const auto& v : LoadVectors())
        EXPECT_EQ(DigestInPieces(v, 0), v.digest) << v.where;
}

TEST(DigestVectors, PiecesAcrossBlockEdges)
{
    for (const auto& v : LoadVectors()) {
        if (v.message.size() > 100000)
            continue;   // the long vector has its own test
        for (size_t piece : {1, 3, 15, 16, 17, 63, 64, 65, 1024})
            EXPECT_EQ(DigestInPieces(v, piece), v.digest) << v.where << " piece " << piece;
    }
}

TEST(DigestVectors, MillionLettersInUnevenPieces)
{
    for (const auto& v : LoadVectors()) {
        if (v.message.size() < 100000)
            continue;
        EXPECT_EQ(DigestInPieces(v, 4093), v.digest);
        EXPECT_EQ(DigestInPieces(v, 65536), v.digest);
    }
}

TEST(DigestVectors, ProcessorAndPortableSHA1Agree)
{
    auto accelerated = sigilbox_digest::SHA1CompressAccelerated();
    if (!accelerated)
        GTEST_SKIP() << "no SHA instructions on this processor";
    std::mt19937 rng(7);
    std::vector<BYTE> data(64 * 37);
    for (auto& b : data)
        b = static_cast<BYTE>(rng());
    for (size_t blocks : {1, 2, 5, 37}) {
        DWORD a[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
        DWORD b[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
        sigilbox_digest::SHA1CompressPortable(a, data.data(), blocks);
        accelerated(b, data.data(), blocks);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(a[i], b[i]) << blocks << " blocks, word " << i;
    }
}

} // namespace
