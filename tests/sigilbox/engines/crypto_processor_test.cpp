// The crypto processor: chaining, the file padding and chunking, the failure reasons.
#include "cipher_test_util.h"

#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/unlock_exception.h"
#include "framework/window.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ciphertest;

namespace {

CDESkey FixedDESKey()
{
    CDESkey key;
    Bytes k = Hex("0123456789ABCDEF"), iv = Hex("1234567890ABCDEF");
    std::memcpy(key.m_Key, k.data(), 8);
    std::memcpy(key.m_IV, iv.data(), 8);
    return key;
}

CRC2key FixedRC2Key()
{
    CRC2key key;
    key.m_nKeyLength = 5;
    key.m_nEffectiveBits = 40;
    return key;
}

// The reason text of the CUnlockException an action raised ("" for none).
template <class F>
std::string UnlockReasonOf(F&& action)
{
    if (!qmtest::Thrown<CUnlockException>(std::forward<F>(action)))
        return "";
    return AfxGetLastUnlockReason() ? AfxGetLastUnlockReason() : "(none)";
}

const std::string kInputSize = "CCryptoProcessor::DecryptFile - invalid input file size";
const std::string kFileSize = "CCryptoProcessor::DecryptFile - invalid file size";
const std::string kCorrupted = "CCryptoProcessor::DecryptFile - data to unlock are corrupted or key is not valid";

// A processor that has only the six steps, so the base class's block-by-block loop runs
// through the virtual calls. Must agree with the inlined loops of the combination classes.
template <class Algorithm, class Mode, class Key, bool Forward>
class StepByStep : public CCryptoProcessor, Algorithm, Mode {
public:
    explicit StepByStep(const Key& key) : CCryptoProcessor(key), Algorithm(key) {}

private:
    void EncryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override { Mode::EncryptPreProcess(in, out, reg); }
    void EncryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override { Mode::EncryptPostProcess(in, out, reg); }
    void DecryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override { Mode::DecryptPreProcess(in, out, reg); }
    void DecryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override { Mode::DecryptPostProcess(in, out, reg); }
    void EncipherAlgorithm(const DWORD in[2], DWORD out[2]) override { Algorithm::EncipherAlgorithm(in, out); }
    void DecipherAlgorithm(const DWORD in[2], DWORD out[2]) override
    {
        if (Forward)
            Algorithm::EncipherAlgorithm(in, out);
        else
            Algorithm::DecipherAlgorithm(in, out);
    }
};

template <class Fast, class Slow, class Key>
void CompareWithStepByStep(const Key& key)
{
    // An odd number of blocks, in runs of odd and even lengths (loops may take blocks in
    // pairs), into a separate buffer and in place.
    Bytes plain = RandomBytes(808, 42);
    Fast fast(key);
    Slow slow(key);
    Bytes a = plain, b = plain;
    fast.EncryptBlock(a.data(), 808, a.data(), nullptr);
    slow.EncryptBlock(b.data(), 808, b.data(), nullptr);
    EXPECT_EQ(ToHex(a), ToHex(b));
    Bytes separate(808);
    fast.DecryptBlock(a.data(), 24, separate.data(), nullptr);
    fast.DecryptBlock(a.data() + 24, 784, separate.data() + 24, nullptr);
    EXPECT_EQ(ToHex(separate), ToHex(plain));
    Fast fresh(key);
    fresh.DecryptBlock(a.data(), 16, a.data(), nullptr);
    fresh.DecryptBlock(a.data() + 16, 792, a.data() + 16, nullptr);
    slow.DecryptBlock(b.data(), 808, b.data(), nullptr);
    EXPECT_EQ(ToHex(a), ToHex(plain));
    EXPECT_EQ(ToHex(b), ToHex(plain));
}

}

TEST(CryptoProcessor, InlinedLoopsAgreeWithTheVirtualSteps)
{
    CDESkey des;
    CompareWithStepByStep<CDES_ECB, StepByStep<CDESAlgorithm, CECB_ModeProcessor, CDESkey, false>>(des);
    CompareWithStepByStep<CDES_CBC, StepByStep<CDESAlgorithm, CCBC_ModeProcessor, CDESkey, false>>(des);
    CompareWithStepByStep<CDES_CFB, StepByStep<CDESAlgorithm, CCFB_ModeProcessor, CDESkey, true>>(des);
    CTripleDESkey triple;
    CompareWithStepByStep<CTripleDES_CBC, StepByStep<CTripleDESAlgorithm, CCBC_ModeProcessor, CTripleDESkey, false>>(triple);
    CompareWithStepByStep<CTripleDES_CFB, StepByStep<CTripleDESAlgorithm, CCFB_ModeProcessor, CTripleDESkey, true>>(triple);
    CIDEAkey idea;
    CompareWithStepByStep<CIDEA_ECB, StepByStep<CIDEAAlgorithm, CECB_ModeProcessor, CIDEAkey, false>>(idea);
    CompareWithStepByStep<CIDEA_CBC, StepByStep<CIDEAAlgorithm, CCBC_ModeProcessor, CIDEAkey, false>>(idea);
    CompareWithStepByStep<CIDEA_CFB, StepByStep<CIDEAAlgorithm, CCFB_ModeProcessor, CIDEAkey, true>>(idea);
    CRC2key rc2;
    CompareWithStepByStep<CRC2_ECB, StepByStep<CRC2Algorithm, CECB_ModeProcessor, CRC2key, false>>(rc2);
    CompareWithStepByStep<CRC2_CBC, StepByStep<CRC2Algorithm, CCBC_ModeProcessor, CRC2key, false>>(rc2);
    CompareWithStepByStep<CRC2_CFB, StepByStep<CRC2Algorithm, CCFB_ModeProcessor, CRC2key, true>>(rc2);
}

TEST(CryptoProcessor, ProgressPathGivesTheSameBytes)
{
    // With a progress object the blocks go one at a time (one Hint each).
    CRC2key key = FixedRC2Key();
    Bytes plain = RandomBytes(3000, 3);
    CRC2_CBC a(key), b(key);
    CProgress progress;   // no control: the messages are dropped
    EXPECT_EQ(ToHex(EncryptAll(a, plain)), ToHex([&] {
                  CMemFile in, out;
                  FillMemFile(in, plain);
                  b.EncryptFile(in, 0, out, &progress);
                  return MemFileBytes(out);
              }()));
}

TEST(CryptoProcessor, BlocksIgnoreTheRemainderAndMayWorkInPlace)
{
    CDESkey key = FixedDESKey();
    Bytes in = RandomBytes(15, 1);
    Bytes out(15, 0xEE);
    CDES_CBC(key).EncryptBlock(in.data(), 15, out.data(), nullptr);
    EXPECT_EQ(ToHex(out.data() + 8, 7), "EEEEEEEEEEEEEE");
    Bytes inPlace = in;
    CDES_CBC(key).EncryptBlock(inPlace.data(), 15, inPlace.data(), nullptr);
    EXPECT_EQ(ToHex(inPlace.data(), 8), ToHex(out.data(), 8));
    EXPECT_EQ(ToHex(inPlace.data() + 8, 7), ToHex(in.data() + 8, 7));

    Bytes nothing(4, 0x11);
    CDES_CBC(key).EncryptBlock(nothing.data(), 7, nothing.data(), nullptr);
    CDES_CBC(key).EncryptBlock(nothing.data(), -8, nothing.data(), nullptr);
    EXPECT_EQ(ToHex(nothing), "11111111");
}

TEST(CryptoProcessor, ChainsContinueAcrossCallsUntilReset)
{
    CDESkey key = FixedDESKey();
    Bytes plain = RandomBytes(64, 9);
    Bytes whole = plain;
    CDES_CBC one(key);
    one.EncryptBlock(whole.data(), 64, whole.data(), nullptr);

    CDES_CBC two(key);
    Bytes halves = plain;
    two.EncryptBlock(halves.data(), 32, halves.data(), nullptr);
    // A copy taken mid-chain continues the same chain.
    CDES_CBC copy(two);
    Bytes copied = plain;
    copy.EncryptBlock(copied.data() + 32, 32, copied.data() + 32, nullptr);
    two.EncryptBlock(halves.data() + 32, 32, halves.data() + 32, nullptr);
    EXPECT_EQ(ToHex(halves), ToHex(whole));
    EXPECT_EQ(ToHex(copied.data() + 32, 32), ToHex(whole.data() + 32, 32));

    two.ResetEncryptionContext();
    Bytes again = plain;
    two.EncryptBlock(again.data(), 64, again.data(), nullptr);
    EXPECT_EQ(ToHex(again), ToHex(whole));

    // Decryption has its own register.
    Bytes back = whole;
    two.DecryptBlock(back.data(), 24, back.data(), nullptr);
    two.DecryptBlock(back.data() + 24, 40, back.data() + 24, nullptr);
    EXPECT_EQ(ToHex(back), ToHex(plain));
    two.ResetDecryptionContext();
    back = whole;
    two.DecryptBlock(back.data(), 64, back.data(), nullptr);
    EXPECT_EQ(ToHex(back), ToHex(plain));

    // Assignment copies the registers too.
    CDES_CBC fresh(key);
    two = fresh;
    again = plain;
    two.EncryptBlock(again.data(), 64, again.data(), nullptr);
    EXPECT_EQ(ToHex(again), ToHex(whole));
}

TEST(CryptoProcessor, TheKeyIsNotKept)
{
    CDESkey key = FixedDESKey();
    CDES_CBC p(key);
    Bytes plain = RandomBytes(16, 5);
    Bytes a = plain;
    CDES_CBC(key).EncryptBlock(a.data(), 16, a.data(), nullptr);
    key.m_Key[0] ^= 0x02;
    key.m_IV[0] ^= 0xFF;
    Bytes b = plain;
    p.EncryptBlock(b.data(), 16, b.data(), nullptr);
    EXPECT_EQ(ToHex(a), ToHex(b));
}

TEST(CryptoProcessor, CFBRunsTheCipherForward)
{
    CDESkey key = FixedDESKey();
    Bytes plain = RandomBytes(40, 11);
    Bytes c = plain;
    CDES_CFB(key).EncryptBlock(c.data(), 40, c.data(), nullptr);
    Bytes cbc = plain;
    CDES_CBC(key).EncryptBlock(cbc.data(), 40, cbc.data(), nullptr);
    EXPECT_NE(ToHex(c), ToHex(cbc));
    // First block: E(IV) XOR P.
    Bytes iv(key.m_IV, key.m_IV + 8);
    CDES_ECB(key).EncryptBlock(iv.data(), 8, iv.data(), nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(c[i], iv[i] ^ plain[i]);
    Bytes back = c;
    CDES_CFB(key).DecryptBlock(back.data(), 40, back.data(), nullptr);
    EXPECT_EQ(ToHex(back), ToHex(plain));
}

TEST(CryptoProcessor, EncryptFileSizesAndPadding)
{
    CRC2key key = FixedRC2Key();
    const std::pair<size_t, size_t> sizes[] = {{0, 8}, {1, 8}, {7, 8}, {8, 16}, {2399, 2400}, {2400, 2408}, {2401, 2408}, {4800, 4808}};
    for (auto [in, out] : sizes) {
        CRC2_CBC p(key);
        Bytes plain = RandomBytes(in, static_cast<unsigned>(in));
        Bytes cipher = EncryptAll(p, plain);
        EXPECT_EQ(cipher.size(), out) << in;
        // The padding is visible after a raw block decryption.
        CRC2_CBC q(key);
        q.DecryptBlock(cipher.data(), static_cast<int>(cipher.size()), cipher.data(), nullptr);
        BYTE pad = static_cast<BYTE>(out - in);
        for (size_t i = in; i < out; ++i)
            EXPECT_EQ(cipher[i], pad);
        EXPECT_EQ(ToHex(cipher.data(), in), ToHex(plain));
    }
}

TEST(CryptoProcessor, FileCountsAndPositions)
{
    CDESkey key = FixedDESKey();
    Bytes plain = RandomBytes(5000, 8);
    // Encrypt 3000 bytes from position 100.
    CMemFile in, out;
    FillMemFile(in, plain);
    in.Seek(100, CFile::begin);
    CDES_CBC(key).EncryptFile(in, 3000, out, nullptr);
    EXPECT_EQ(in.GetPosition(), 3100);
    Bytes cipher = MemFileBytes(out);
    ASSERT_EQ(cipher.size(), 3008u);

    // Decrypt it from the middle of a longer file, with an explicit count.
    Bytes framed = Bytes(5, 0xAA);
    framed.insert(framed.end(), cipher.begin(), cipher.end());
    framed.insert(framed.end(), 9, 0xBB);
    CMemFile cin, pout;
    FillMemFile(cin, framed);
    cin.Seek(5, CFile::begin);
    CDES_CBC(key).DecryptFile(cin, 3008, pout, nullptr);
    EXPECT_EQ(cin.GetPosition(), 5 + 3008);
    EXPECT_EQ(ToHex(MemFileBytes(pout)), ToHex(Bytes(plain.begin() + 100, plain.begin() + 3100)));

    // An input shorter than the count asked for.
    CMemFile shortIn, sink;
    FillMemFile(shortIn, Bytes(10, 1));
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { CDES_CBC(key).EncryptFile(shortIn, 20, sink, nullptr); }), CFileException::endOfFile);
    EXPECT_EQ(qmtest::ThrownClass([&] { CDES_CBC(key).EncryptFile(shortIn, -1, sink, nullptr); }), "CInvalidArgException");
}

TEST(CryptoProcessor, DecryptFileFailures)
{
    CDESkey key = FixedDESKey();
    auto decrypt = [&](const Bytes& cipher, int count, CMemFile& out) {
        CMemFile in;
        FillMemFile(in, cipher);
        CDES_CBC(key).DecryptFile(in, count, out, nullptr);
    };
    CMemFile out;
    EXPECT_EQ(UnlockReasonOf([&] { decrypt(Bytes(), 0, out); }), kFileSize);
    EXPECT_EQ(UnlockReasonOf([&] { decrypt(Bytes(2404, 0), 0, out); }), kFileSize);
    EXPECT_EQ(UnlockReasonOf([&] { decrypt(Bytes(12, 0), 0, out); }), kFileSize);
    EXPECT_EQ(UnlockReasonOf([&] { decrypt(Bytes(16, 0), 24, out); }), kInputSize);
    EXPECT_EQ(UnlockReasonOf([&] { decrypt(Bytes(16, 0), -8, out); }), kInputSize);
    EXPECT_EQ(out.GetLength(), 0);

    // Last block decrypting to a final byte 09, 00, or a pad whose bytes differ.
    for (const char* last : {"0102030405060709", "0102030405060700", "0102030405020303", "0808080808080008"}) {
        SCOPED_TRACE(last);
        Bytes plain = RandomBytes(16, 4);
        Bytes tail = Hex(last);
        plain.insert(plain.end(), tail.begin(), tail.end());
        Bytes cipher = plain;
        CDES_CBC(key).EncryptBlock(cipher.data(), 24, cipher.data(), nullptr);
        CMemFile o;
        EXPECT_EQ(UnlockReasonOf([&] { decrypt(cipher, 0, o); }), kCorrupted);
        EXPECT_EQ(o.GetLength(), 0);
    }

    // A failure in the last chunk comes after the whole chunks before it were written.
    Bytes plain = RandomBytes(4800 + 16, 6);
    plain.back() = 0x09;
    Bytes cipher = plain;
    CDES_CBC(key).EncryptBlock(cipher.data(), static_cast<int>(cipher.size()), cipher.data(), nullptr);
    CMemFile partial;
    EXPECT_EQ(UnlockReasonOf([&] { decrypt(cipher, 0, partial); }), kCorrupted);
    EXPECT_EQ(partial.GetLength(), 4800);

    // A whole block of padding after a chunk-sized message: the last chunk is a full one.
    Bytes p2 = RandomBytes(4792, 12);
    CDES_CBC enc(key);
    Bytes c2 = EncryptAll(enc, p2);
    ASSERT_EQ(c2.size(), 4800u);
    CMemFile o2;
    decrypt(c2, 0, o2);
    EXPECT_EQ(ToHex(MemFileBytes(o2)), ToHex(p2));
}

TEST(CryptoProcessor, UnlockExceptionIsTheStaticInstance)
{
    CDESkey key = FixedDESKey();
    CMemFile in, out;
    {
        qmtest::Caught<CUnlockException> caught =
            qmtest::Thrown<CUnlockException>([&] { CDES_CBC(key).DecryptFile(in, 0, out, nullptr); });
        EXPECT_EQ(caught.get(), &CUnlockException::s_instance);
    }   // its Delete does nothing to the static instance
    EXPECT_FALSE(CUnlockException::s_instance.m_bAutoDelete);
}

TEST(CryptoProcessor, FileProgressReachesTheControl)
{
    HWND bar = AfxCreateProgressBar();
    std::vector<std::pair<UINT, LPARAM>> seen;
    AfxSetProgressBarObserver(bar, [&](HWND, UINT message, WPARAM wParam, LPARAM lParam, const PROGRESSBARSTATE&) {
        seen.push_back({message, message == PBM_SETRANGE ? lParam : static_cast<LPARAM>(wParam)});
    });
    CProgress progress(bar, 0);   // sent: every message is handled at once
    CDESkey key = FixedDESKey();
    auto count = [&](UINT message) {
        return std::count_if(seen.begin(), seen.end(), [&](const auto& m) { return m.first == message; });
    };

    CMemFile in, out;
    FillMemFile(in, RandomBytes(2401, 1));
    CDES_CBC(key).EncryptFile(in, 0, out, &progress);
    ASSERT_GE(seen.size(), 6u);
    // Range 0 to 2401 / 8, step 1, position 0; a step per block (300 whole ones and the
    // padded last); then range 0 to 1 at position 1.
    EXPECT_EQ(seen[0].first, PBM_SETRANGE);
    EXPECT_EQ(seen[0].second, MAKELPARAM(0, 300));
    EXPECT_EQ(seen[2].first, PBM_SETPOS);
    EXPECT_EQ(seen[2].second, 0);
    EXPECT_EQ(count(PBM_DELTAPOS), 301);
    EXPECT_EQ(seen[seen.size() - 3].second, MAKELPARAM(0, 1));
    EXPECT_EQ(seen.back().first, PBM_SETPOS);
    EXPECT_EQ(seen.back().second, 1);

    seen.clear();
    out.SeekToBegin();
    CMemFile plain;
    CDES_CBC(key).DecryptFile(out, 0, plain, &progress);
    EXPECT_EQ(seen[0].second, MAKELPARAM(1, 301));
    EXPECT_EQ(count(PBM_DELTAPOS), 301);
    EXPECT_EQ(seen.back().second, 1);
    DestroyWindow(bar);
}

namespace {
// A memory file of another class: the processor reads it through Read like any file.
class ReadOnlyThroughRead : public CMemFile {};
}

TEST(CryptoProcessor, FilesReadThroughReadGiveTheSameBytes)
{
    CDESkey key = FixedDESKey();
    Bytes plain = RandomBytes(5003, 21);
    CMemFile direct, directOut;
    ReadOnlyThroughRead viaRead;
    CMemFile viaReadOut;
    FillMemFile(direct, plain);
    FillMemFile(viaRead, plain);
    direct.Seek(3, CFile::begin);
    viaRead.Seek(3, CFile::begin);
    CDES_CBC(key).EncryptFile(direct, 4000, directOut, nullptr);
    CDES_CBC(key).EncryptFile(viaRead, 4000, viaReadOut, nullptr);
    EXPECT_EQ(ToHex(MemFileBytes(directOut)), ToHex(MemFileBytes(viaReadOut)));
    EXPECT_EQ(direct.GetPosition(), viaRead.GetPosition());

    Bytes cipher = MemFileBytes(directOut);
    ReadOnlyThroughRead cipherFile;
    FillMemFile(cipherFile, cipher);
    CMemFile back;
    CDES_CBC(key).DecryptFile(cipherFile, 0, back, nullptr);
    EXPECT_EQ(ToHex(MemFileBytes(back)), ToHex(Bytes(plain.begin() + 3, plain.begin() + 4003)));

    // A real file on disk.
    qmtest::ScratchFolder dir;
    qmtest::WriteFile(dir.Path("c"), cipher);
    CFile disk(dir.Path("c").c_str(), CFile::modeRead);
    CMemFile fromDisk;
    CDES_CBC(key).DecryptFile(disk, 0, fromDisk, nullptr);
    EXPECT_EQ(ToHex(MemFileBytes(fromDisk)), ToHex(MemFileBytes(back)));

    ReadOnlyThroughRead shortIn;
    CMemFile sink;
    FillMemFile(shortIn, Bytes(10, 1));
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { CDES_CBC(key).EncryptFile(shortIn, 20, sink, nullptr); }), CFileException::endOfFile);
}
