// Behaviour of the digest makers beyond the published values: copies, the unfinished state,
// continuing after a final update, and UpdateFile's 1024-byte rule.
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/hex_text.h"

#include "framework/file.h"
#include "framework/memfile.h"
#include "framework/window.h"
#include "sigilbox/engines/progress.h"

#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace {

std::vector<BYTE> RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<BYTE> v(n);
    for (auto& b : v)
        b = static_cast<BYTE>(rng());
    return v;
}

template <class Maker>
CString DigestOf(const std::vector<BYTE>& data, int final = 1)
{
    Maker m;
    m.UpdateBlock(data.data(), static_cast<int>(data.size()), nullptr, final, 1);
    BYTE d[20];
    m.GetCurrentDigest(d);
    return OctetsToHexChars(d, Maker::DigestLength);
}

template <class Maker>
CString CurrentOf(const Maker& m)
{
    BYTE d[20];
    m.GetCurrentDigest(d);
    return OctetsToHexChars(d, Maker::DigestLength);
}

std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <class T>
class DigestMakerTest : public ::testing::Test {};
using Makers = ::testing::Types<CMD2DigestMaker, CMD5DigestMaker, CSHA1DigestMaker>;
TYPED_TEST_SUITE(DigestMakerTest, Makers);

TYPED_TEST(DigestMakerTest, CopiesAreIndependentOfTheirSource)
{
    auto prefix = RandomBytes(70, 1), x = RandomBytes(30, 2), y = RandomBytes(90, 3);
    auto source = std::make_unique<TypeParam>();
    source->UpdateBlock(prefix.data(), 70, nullptr, 0, 1);
    TypeParam copy(*source);
    TypeParam assigned;
    assigned.UpdateBlock(y.data(), 5, nullptr, 0, 1);   // state to be overwritten
    assigned = *source;

    source->UpdateBlock(x.data(), 30, nullptr, 1, 1);
    EXPECT_EQ(CurrentOf(*source), DigestOf<TypeParam>(Concat(prefix, x)));
    source.reset();   // the copies keep their own buffered bytes

    copy.UpdateBlock(y.data(), 90, nullptr, 1, 1);
    EXPECT_EQ(CurrentOf(copy), DigestOf<TypeParam>(Concat(prefix, y)));
    assigned.UpdateBlock(x.data(), 30, nullptr, 1, 1);
    EXPECT_EQ(CurrentOf(assigned), DigestOf<TypeParam>(Concat(prefix, x)));
}

TYPED_TEST(DigestMakerTest, ResetContextStartsAfresh)
{
    auto a = RandomBytes(100, 4), b = RandomBytes(33, 5);
    TypeParam m;
    m.UpdateBlock(a.data(), 100, nullptr, 1, 1);
    m.ResetContext();
    m.UpdateBlock(b.data(), 33, nullptr, 1, 1);
    EXPECT_EQ(CurrentOf(m), DigestOf<TypeParam>(b));
}

TYPED_TEST(DigestMakerTest, BytesNotCountedChangeOnlyTheChain)
{
    // Bytes fed with countLength 0 still pass through the compression, but the trailer
    // counts only the others: the result differs from feeding them counted (MD2 keeps no
    // length, so for it the two are the same).
    auto a = RandomBytes(64, 6);
    TypeParam counted, uncounted;
    counted.UpdateBlock(a.data(), 64, nullptr, 1, 1);
    uncounted.UpdateBlock(a.data(), 64, nullptr, 1, 0);
    if (std::is_same_v<TypeParam, CMD2DigestMaker>)
        EXPECT_EQ(CurrentOf(counted), CurrentOf(uncounted));
    else
        EXPECT_NE(CurrentOf(counted), CurrentOf(uncounted));
}

TYPED_TEST(DigestMakerTest, RejectsNegativeCounts)
{
    TypeParam m;
    BYTE b = 0;
    ASSERT_THROWS_PTR(m.UpdateBlock(&b, -1, nullptr, 1, 1), CInvalidArgException);
    // Nothing was fed: the maker still gives the digest of the empty message.
    m.UpdateBlock(nullptr, 0, nullptr, 1, 1);
    EXPECT_EQ(CurrentOf(m), DigestOf<TypeParam>({}));
}

// ---- the unfinished state and continuing after a final update (MD5 worked by hand) ----

DWORD LE32(const BYTE* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

CString MD5StateHex(const DWORD s[4])
{
    BYTE d[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            d[4 * i + j] = static_cast<BYTE>(s[i] >> (8 * j));
    return OctetsToHexChars(d, 16);
}

TEST(DigestMaker, CurrentDigestBeforeFinalIsTheChainingState)
{
    auto data = RandomBytes(64 * 3 + 10, 7);
    CMD5DigestMaker m;
    m.UpdateBlock(data.data(), static_cast<int>(data.size()), nullptr, 0, 1);
    DWORD s[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    sigilbox_digest::MD5Compress(s, data.data(), 3);   // the 10 extra bytes wait in the buffer
    EXPECT_EQ(CurrentOf(m), MD5StateHex(s));
}

TEST(DigestMaker, UpdatesAfterAFinalContinueFromTheFinishedState)
{
    CMD5DigestMaker m;
    m.UpdateBlock(reinterpret_cast<const BYTE*>("abc"), 3, nullptr, 1, 1);
    BYTE first[16];
    m.GetCurrentDigest(first);
    m.UpdateBlock(reinterpret_cast<const BYTE*>("abc"), 3, nullptr, 1, 1);

    // Chain on from the first digest; the length counts both "abc"s (48 bits), not the
    // padding in between.
    DWORD s[4];
    for (int i = 0; i < 4; ++i)
        s[i] = LE32(first + 4 * i);
    BYTE block[64] = {'a', 'b', 'c', 0x80};
    block[56] = 48;
    sigilbox_digest::MD5Compress(s, block, 1);
    EXPECT_EQ(CurrentOf(m), MD5StateHex(s));
}

TEST(DigestMaker, OneShotMD5)
{
    BYTE d[16];
    AfxMakeMD5DigestOnData(reinterpret_cast<const BYTE*>("abc"), 3, d);
    EXPECT_EQ(OctetsToHexChars(d, 16), "900150983CD24FB0D6963F7D28E17F72");
    AfxMakeMD5DigestOnData(nullptr, 0, d);
    EXPECT_EQ(OctetsToHexChars(d, 16), "D41D8CD98F00B204E9800998ECF8427E");
}

// ---- UpdateFile ----

template <class Maker>
CString FileDigest(CFile& file, DWORD count, int final)
{
    Maker m;
    m.UpdateFile(file, count, nullptr, final);
    return CurrentOf(m);
}

TYPED_TEST(DigestMakerTest, UpdateFileFollowsThe1024ByteRule)
{
    for (size_t size : {0, 1, 1000, 1023, 1024, 1025, 2047, 2048, 2049, 3072, 5000}) {
        auto data = RandomBytes(size, static_cast<unsigned>(size));
        CMemFile file;
        if (size)
            file.Write(data.data(), static_cast<UINT>(size));
        file.SeekToBegin();
        CString got = FileDigest<TypeParam>(file, 0, 1);
        // A nonzero multiple of 1024 is left unfinished: the chain after the last block.
        bool unfinished = size != 0 && size % 1024 == 0;
        EXPECT_EQ(got, DigestOf<TypeParam>(data, unfinished ? 0 : 1)) << "size " << size;
        EXPECT_EQ(file.GetPosition(), static_cast<long long>(size));
        if (unfinished) {
            EXPECT_NE(got, DigestOf<TypeParam>(data, 1)) << "size " << size;
        }
    }
}

TYPED_TEST(DigestMakerTest, UpdateFileCountsFromTheCurrentPosition)
{
    auto data = RandomBytes(3000, 11);
    CMemFile file;
    file.Write(data.data(), 3000);

    // An explicit count from the middle of the file.
    file.Seek(100, CFile::begin);
    std::vector<BYTE> part(data.begin() + 100, data.begin() + 100 + 1500);
    EXPECT_EQ(FileDigest<TypeParam>(file, 1500, 1), DigestOf<TypeParam>(part));
    EXPECT_EQ(file.GetPosition(), 1600);

    // Count 0: up to the end.
    std::vector<BYTE> rest(data.begin() + 1600, data.end());
    EXPECT_EQ(FileDigest<TypeParam>(file, 0, 1), DigestOf<TypeParam>(rest));

    // At the end nothing is left: the digest of the empty message.
    EXPECT_EQ(FileDigest<TypeParam>(file, 0, 1), DigestOf<TypeParam>({}));

    // Without the final flag the digest stays open for more data.
    file.Seek(0, CFile::begin);
    TypeParam m;
    m.UpdateFile(file, 1000, nullptr, 0);
    m.UpdateBlock(data.data() + 1000, 2000, nullptr, 1, 1);
    EXPECT_EQ(CurrentOf(m), DigestOf<TypeParam>(data));
}

TEST(DigestMaker, UpdateFileReportsAFileShorterThanTheCount)
{
    auto data = RandomBytes(1500, 12);
    CMemFile file;
    file.Write(data.data(), 1500);
    for (DWORD count : {1600u, 2048u, 1501u}) {
        file.SeekToBegin();
        CMD5DigestMaker m;
        EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { m.UpdateFile(file, count, nullptr, 1); }),
                  CFileException::endOfFile)
            << count;
    }
}

TEST(DigestMaker, UpdateFileOnADiskFile)
{
    auto data = RandomBytes(4096 + 77, 13);
    std::string path = std::string(QM_BINARY_DIR) + "/digest_file_test.bin";
    {
        CFile out(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        out.Write(data.data(), static_cast<UINT>(data.size()));
    }
    CFile in(path.c_str(), CFile::modeRead);
    EXPECT_EQ(FileDigest<CSHA1DigestMaker>(in, 0, 1), DigestOf<CSHA1DigestMaker>(data));
    in.Close();
    CFile::Remove(path.c_str());
}

// ---- progress ----

// A window that records the progress messages sent to it.
class ProgressRecorder {
public:
    ProgressRecorder()
    {
        m_hWnd = AfxCreateWindow([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message >= PBM_SETRANGE && message <= PBM_SETSTEP)
                m_messages.push_back({message, wParam, lParam});
            return 0;
        });
    }
    ~ProgressRecorder() { DestroyWindow(m_hWnd); }
    CProgress Progress() const { return CProgress(m_hWnd, 0); }   // sent: recorded at once

    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    int Hints() const
    {
        int n = 0;
        for (const auto& m : m_messages)
            n += m.message == PBM_DELTAPOS && m.wParam == 1;
        return n;
    }
    std::vector<Message> m_messages;

private:
    HWND m_hWnd;
};

TEST(DigestMaker, OneHintPerCompressedBlockAndOneForTheEnd)
{
    auto data = RandomBytes(200, 14);
    ProgressRecorder recorder;
    CProgress progress = recorder.Progress();
    CMD5DigestMaker m;
    m.UpdateBlock(data.data(), 10, &progress, 0, 1);     // buffered only
    EXPECT_EQ(recorder.Hints(), 0);
    m.UpdateBlock(data.data() + 10, 190, &progress, 1, 1);   // 200 bytes: 3 blocks, then the end
    EXPECT_EQ(recorder.Hints(), 4);
    EXPECT_EQ(CurrentOf(m), DigestOf<CMD5DigestMaker>(data));

    ProgressRecorder md2;
    CProgress p2 = md2.Progress();
    CMD2DigestMaker m2;
    m2.UpdateBlock(data.data(), 32, &p2, 1, 1);   // two 16-byte blocks and the end
    EXPECT_EQ(md2.Hints(), 3);
}

TEST(DigestMaker, UpdateFileSetsTheBarUpAndFillsIt)
{
    auto data = RandomBytes(2000, 15);
    CMemFile file;
    file.Write(data.data(), 2000);
    file.SeekToBegin();
    ProgressRecorder recorder;
    CProgress progress = recorder.Progress();
    CSHA1DigestMaker m;
    m.UpdateFile(file, 0, &progress, 1);
    EXPECT_EQ(CurrentOf(m), DigestOf<CSHA1DigestMaker>(data));

    const auto& msgs = recorder.m_messages;
    ASSERT_GE(msgs.size(), 6u);
    // Range 0 to count / 8, step 1, position 0 first; range 0 to 1 at position 1 last.
    EXPECT_EQ(msgs[0].message, PBM_SETRANGE);
    EXPECT_EQ(msgs[0].lParam, MAKELPARAM(0, 250));
    EXPECT_EQ(msgs[1].message, PBM_SETSTEP);
    EXPECT_EQ(msgs[1].wParam, 1u);
    EXPECT_EQ(msgs[2].message, PBM_SETPOS);
    EXPECT_EQ(msgs[2].wParam, 0u);
    const size_t n = msgs.size();
    EXPECT_EQ(msgs[n - 3].message, PBM_SETRANGE);
    EXPECT_EQ(msgs[n - 3].lParam, MAKELPARAM(0, 1));
    EXPECT_EQ(msgs[n - 1].message, PBM_SETPOS);
    EXPECT_EQ(msgs[n - 1].wParam, 1u);
    // 2000 bytes: 31 blocks of 64, then the final step.
    EXPECT_EQ(recorder.Hints(), 32);
}

} // namespace
