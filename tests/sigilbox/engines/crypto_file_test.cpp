// CCryptoFile: the chunk layout, random reads and writes against a plain model, the
// refusals, and the wrapped file's ownership.
#include "cipher_test_util.h"

#include "sigilbox/engines/crypto_file.h"

#include <gtest/gtest.h>

#include <random>

using namespace ciphertest;

namespace {

CRC2key TestKey()
{
    CRC2key key;
    key.m_nKeyLength = 16;
    key.m_nEffectiveBits = 128;
    return key;
}

// Reads the whole plaintext through a fresh crypto file over a copy of the bytes, so that
// only what is in the wrapped file counts.
Bytes ReadThroughCopy(const Bytes& cipher, CCryptoProcessor& processor, DWORD chunk)
{
    CMemFile copy;
    FillMemFile(copy, cipher);
    CCryptoFile file(&copy, processor, chunk, FALSE);
    Bytes out(static_cast<size_t>(file.GetLength()));
    if (!out.empty()) {
        EXPECT_EQ(file.Read(out.data(), static_cast<UINT>(out.size())), out.size());
    }
    return out;
}

// The layout checked independently: each chunk decrypts alone from the IV, and the last one
// with DecryptFile (which checks the padding).
Bytes DecryptChunkwise(const Bytes& cipher, const CRC2key& key, DWORD chunk)
{
    Bytes plain;
    size_t pos = 0;
    while (cipher.size() - pos > chunk) {
        CRC2_CBC p(key);
        Bytes part(cipher.begin() + static_cast<long>(pos), cipher.begin() + static_cast<long>(pos + chunk));
        p.DecryptBlock(part.data(), static_cast<int>(chunk), part.data(), nullptr);
        plain.insert(plain.end(), part.begin(), part.end());
        pos += chunk;
    }
    CRC2_CBC p(key);
    Bytes last = DecryptAll(p, Bytes(cipher.begin() + static_cast<long>(pos), cipher.end()));
    plain.insert(plain.end(), last.begin(), last.end());
    return plain;
}

class CountingMemFile : public CMemFile {
public:
    explicit CountingMemFile(int* deaths) : m_deaths(deaths) {}
    ~CountingMemFile() override { ++*m_deaths; }

private:
    int* m_deaths;
};

}

TEST(CryptoFile, ReadsWhatEncryptFileWroteWithinOneChunk)
{
    CRC2key key = TestKey();
    for (size_t length : {0u, 1u, 8u, 100u, 2392u, 2399u}) {
        Bytes plain = RandomBytes(length, static_cast<unsigned>(length));
        CRC2_CBC enc(key);
        Bytes cipher = EncryptAll(enc, plain);
        CRC2_CBC proc(key);
        CMemFile wrapped;
        FillMemFile(wrapped, cipher);
        CCryptoFile file(&wrapped, proc, 2400, FALSE);
        EXPECT_EQ(file.GetLength(), static_cast<long long>(length));
        Bytes back(length + 10);
        EXPECT_EQ(file.Read(back.data(), static_cast<UINT>(back.size())), length);
        back.resize(length);
        EXPECT_EQ(ToHex(back), ToHex(plain));
        EXPECT_EQ(file.Read(back.data(), 1), 0u);
    }
}

TEST(CryptoFile, LongerFilesChainEachChunkOnItsOwn)
{
    CRC2key key = TestKey();
    Bytes plain = RandomBytes(5000, 1);
    CRC2_CBC enc(key);
    Bytes single = EncryptAll(enc, plain);

    CRC2_CBC proc(key);
    CMemFile wrapped;
    {
        CCryptoFile file(&wrapped, proc, 2400, FALSE);
        file.Write(plain.data(), 5000);
        file.Close();
    }
    Bytes chunked = MemFileBytes(wrapped);
    ASSERT_EQ(chunked.size(), single.size());
    EXPECT_EQ(ToHex(chunked.data(), 2400), ToHex(single.data(), 2400));
    EXPECT_NE(ToHex(chunked.data() + 2400, 2600), ToHex(single.data() + 2400, 2600));
    EXPECT_EQ(ToHex(DecryptChunkwise(chunked, key, 2400)), ToHex(plain));

    // In ECB the two layouts are the same.
    CRC2_ECB ecbEnc(key), ecbProc(key);
    Bytes ecbSingle = EncryptAll(ecbEnc, plain);
    EXPECT_EQ(ToHex(ReadThroughCopy(ecbSingle, ecbProc, 2400)), ToHex(plain));
}

TEST(CryptoFile, RefusesBadCiphertextAndBadChunkSizes)
{
    CRC2key key = TestKey();
    CRC2_CBC proc(key);
    CMemFile odd;
    FillMemFile(odd, Bytes(20, 1));
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { CCryptoFile f(&odd, proc, 2400, FALSE); }), CFileException::generic);

    // Last block deciphering to a final byte 0 or 9, or to mismatched padding bytes.
    for (const char* last : {"0102030405060700", "0102030405060709", "0102030405020303"}) {
        Bytes block = Hex(last);
        CRC2_CBC e(key);
        e.EncryptBlock(block.data(), 8, block.data(), nullptr);
        CMemFile bad;
        FillMemFile(bad, block);
        EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { CCryptoFile f(&bad, proc, 2400, FALSE); }), CFileException::generic) << last;
    }

    CMemFile empty;
    EXPECT_EQ(qmtest::ThrownClass([&] { CCryptoFile f(&empty, proc, 0, FALSE); }), "CInvalidArgException");
    EXPECT_EQ(qmtest::ThrownClass([&] { CCryptoFile f(&empty, proc, 2401, FALSE); }), "CInvalidArgException");

    // With the own-file flag the wrapped file goes with a failed construction.
    int deaths = 0;
    auto* owned = new CountingMemFile(&deaths);
    owned->Write("123", 3);
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { CCryptoFile f(owned, proc, 16, TRUE); }), CFileException::generic);
    EXPECT_EQ(deaths, 1);
}

TEST(CryptoFile, SeeksAndLengthsStayInsideThePlaintext)
{
    CRC2key key = TestKey();
    CRC2_CBC proc(key);
    CMemFile wrapped;
    CCryptoFile file(&wrapped, proc, 16, FALSE);
    Bytes data = RandomBytes(40, 2);
    file.Write(data.data(), 40);
    EXPECT_EQ(file.GetPosition(), 40);
    EXPECT_EQ(file.Seek(40, CFile::begin), 40);
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { file.Seek(41, CFile::begin); }), CFileException::badSeek);
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { file.Seek(-1, CFile::begin); }), CFileException::badSeek);
    EXPECT_EQ(file.GetPosition(), 40);   // a refused seek moves nothing
    EXPECT_EQ(file.Seek(-10, CFile::end), 30);
    EXPECT_EQ(file.Seek(5, CFile::current), 35);
    EXPECT_EQ(file.SeekToEnd(), 40);
    file.SeekToBegin();
    EXPECT_EQ(file.GetPosition(), 0);

    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { file.SetLength(48); }), CFileException::badSeek);
    EXPECT_EQ(qmtest::CauseOf<CFileException>([&] { file.SetLength(20); }), CFileException::badSeek);
    file.SetLength(24);
    EXPECT_EQ(file.GetLength(), 24);
    EXPECT_EQ(file.GetPosition(), 24);
    file.Close();
    // The cut is in the wrapped file too.
    EXPECT_EQ(wrapped.GetLength(), 32);
    EXPECT_EQ(ToHex(ReadThroughCopy(MemFileBytes(wrapped), proc, 16)), ToHex(Bytes(data.begin(), data.begin() + 24)));
}

// Random reads, writes, seeks and cuts against a byte vector, for several chunk sizes and
// modes. After every step the wrapped bytes alone must read back as the model.
TEST(CryptoFile, RandomAccessAgainstAModel)
{
    CRC2key key = TestKey();
    std::mt19937 gen(12345);
    for (DWORD chunk : {8u, 16u, 24u, 64u, 2400u}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        CRC2_CBC proc(key);
        CRC2_CBC check(key);
        CMemFile wrapped;
        Bytes model;
        size_t pos = 0;
        auto file = std::make_unique<CCryptoFile>(&wrapped, proc, chunk, FALSE);
        for (int step = 0; step < 300; ++step) {
            int op = static_cast<int>(gen() % 10);
            if (op < 4) {
                size_t n = gen() % (3 * chunk + 5);
                Bytes data = RandomBytes(n, static_cast<unsigned>(gen()));
                file->Write(data.data(), static_cast<UINT>(n));
                if (pos + n > model.size())
                    model.resize(pos + n);
                std::copy(data.begin(), data.end(), model.begin() + static_cast<long>(pos));
                pos += n;
            } else if (op < 7) {
                size_t n = gen() % (2 * chunk + 9);
                Bytes got(n);
                UINT read = file->Read(got.data(), static_cast<UINT>(n));
                size_t expect = std::min(n, model.size() - pos);
                ASSERT_EQ(read, expect);
                ASSERT_EQ(ToHex(got.data(), read), ToHex(model.data() + pos, read));
                pos += read;
            } else if (op < 9) {
                pos = model.empty() ? 0 : gen() % (model.size() + 1);
                file->Seek(static_cast<long long>(pos), CFile::begin);
            } else if (model.size() >= 8) {
                size_t n = (gen() % (model.size() / 8 + 1)) * 8;
                file->SetLength(static_cast<long long>(n));
                model.resize(n);
                pos = n;
            }
            ASSERT_EQ(file->GetLength(), static_cast<long long>(model.size()));
            ASSERT_EQ(file->GetPosition(), static_cast<long long>(pos));
            Bytes cipher = MemFileBytes(wrapped);
            // An empty wrapped file is an empty plaintext too (nothing written yet).
            if (!(cipher.empty() && model.empty())) {
                ASSERT_EQ(cipher.size(), model.size() - model.size() % 8 + 8) << "step " << step;
            }
            ASSERT_EQ(ToHex(ReadThroughCopy(cipher, check, chunk)), ToHex(model)) << "step " << step;
            if (step % 50 == 49) {
                // Close and open again.
                file.reset();
                file = std::make_unique<CCryptoFile>(&wrapped, proc, chunk, FALSE);
                pos = 0;
            }
        }
        file.reset();
        if (!model.empty()) {
            EXPECT_EQ(ToHex(DecryptChunkwise(MemFileBytes(wrapped), key, chunk)), ToHex(model));
        }
    }
}

TEST(CryptoFile, EmptyFileGetsThePaddingBlock)
{
    CRC2key key = TestKey();
    CRC2_CBC proc(key);
    CMemFile wrapped;
    {
        CCryptoFile file(&wrapped, proc, 2400, FALSE);
        EXPECT_EQ(file.GetLength(), 0);
        file.Write("abc", 3);
    }
    CRC2_CBC enc(key);
    EXPECT_EQ(ToHex(MemFileBytes(wrapped)), ToHex(EncryptAll(enc, Bytes{'a', 'b', 'c'})));

    // A plaintext of exactly one chunk: the padding is a chunk of its own.
    CMemFile whole;
    {
        CCryptoFile file(&whole, proc, 16, FALSE);
        Bytes data(16, 0x42);
        file.Write(data.data(), 16);
    }
    EXPECT_EQ(whole.GetLength(), 24);
    CRC2_CBC padOnly(key);
    Bytes wholeBytes = MemFileBytes(whole);
    EXPECT_EQ(ToHex(Bytes(wholeBytes.begin() + 16, wholeBytes.end())), ToHex(EncryptAll(padOnly, Bytes())));
}

TEST(CryptoFile, PassThroughsAndOwnership)
{
    CRC2key key = TestKey();
    CRC2_CBC proc(key);
    int deaths = 0;
    auto* owned = new CountingMemFile(&deaths);
    owned->SetFilePath("/tmp/folder/secret.p7m");
    {
        CCryptoFile file(owned, proc, 16, TRUE);
        EXPECT_EQ(std::string(file.GetFileName()), "secret.p7m");
        EXPECT_EQ(std::string(file.GetFileTitle()), "secret");
        EXPECT_EQ(std::string(file.GetFilePath()), "/tmp/folder/secret.p7m");
        file.SetFilePath("/tmp/other.bin");
        EXPECT_EQ(std::string(owned->GetFilePath()), "/tmp/other.bin");
        EXPECT_FALSE(file.Open("x", CFile::modeRead));
        EXPECT_EQ(file.Duplicate(), nullptr);
        EXPECT_EQ(file.GetBufferPtr(0), 0u);
        EXPECT_EQ(static_cast<int>(file), owned->m_hFile);
        EXPECT_TRUE(file.IsKindOf(RUNTIME_CLASS(CFile)));
        EXPECT_STREQ(file.GetRuntimeClass()->m_lpszClassName, "CCryptoFile");
        file.Write("0123456789", 10);
        CFileStatus status;
        EXPECT_TRUE(file.GetStatus(status));
        EXPECT_EQ(status.m_size, 16);   // the wrapped file's status
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);

    // Without the flag the wrapped file stays open and alive.
    CMemFile kept;
    {
        CCryptoFile file(&kept, proc, 16, FALSE);
        file.Write("abc", 3);
        file.Close();
    }
    EXPECT_EQ(kept.GetLength(), 8);
    kept.SeekToBegin();
}
