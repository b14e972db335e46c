// Throughput of the block ciphers in CBC mode on 16 KiB buffers (the size `openssl speed
// -bytes 16384` uses; bench/cipher_peers.sh runs both side by side), and DecryptFile on a
// 64 MiB memory file against the bare block loop over the same bytes.
#include "framework/memfile.h"
#include "sigilbox/engines/crypto_processor.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kBlockBytes = 16384;

template <class Key>
Key MakeKey()
{
    Key key;
    return key;
}

template <>
CRC2key MakeKey<CRC2key>()
{
    CRC2key key;   // 5 bytes, 40 effective bits: what every decrypted message uses
    return key;
}

template <class Processor, class Key, bool Decrypt>
void BM_Cipher(benchmark::State& state)
{
    Key key = MakeKey<Key>();
    Processor p(key);
    std::vector<BYTE> buf(kBlockBytes, 0x5A);
    for (auto _ : state) {
        if (Decrypt)
            p.DecryptBlock(buf.data(), kBlockBytes, buf.data(), nullptr);
        else
            p.EncryptBlock(buf.data(), kBlockBytes, buf.data(), nullptr);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlockBytes);
}

BENCHMARK(BM_Cipher<CRC2_CBC, CRC2key, true>)->Name("RC2_CBC_Decrypt/16384");
BENCHMARK(BM_Cipher<CRC2_CBC, CRC2key, false>)->Name("RC2_CBC_Encrypt/16384");
BENCHMARK(BM_Cipher<CDES_CBC, CDESkey, true>)->Name("DES_CBC_Decrypt/16384");
BENCHMARK(BM_Cipher<CDES_CBC, CDESkey, false>)->Name("DES_CBC_Encrypt/16384");
BENCHMARK(BM_Cipher<CTripleDES_CBC, CTripleDESkey, true>)->Name("DES_EDE3_CBC_Decrypt/16384");
BENCHMARK(BM_Cipher<CTripleDES_CBC, CTripleDESkey, false>)->Name("DES_EDE3_CBC_Encrypt/16384");
BENCHMARK(BM_Cipher<CIDEA_CBC, CIDEAkey, true>)->Name("IDEA_CBC_Decrypt/16384");
BENCHMARK(BM_Cipher<CIDEA_CBC, CIDEAkey, false>)->Name("IDEA_CBC_Encrypt/16384");

// 64 MiB of RC2-CBC ciphertext (with its padding), made once.
constexpr UINT kFileBytes = 64u << 20;

struct FileFixture {
    CRC2key key;
    std::vector<BYTE> cipher;
    FileFixture()
    {
        std::vector<BYTE> plain(kFileBytes - 8);
        for (size_t i = 0; i < plain.size(); ++i)
            plain[i] = static_cast<BYTE>(i * 31);
        CMemFile in(plain.data(), static_cast<UINT>(plain.size()));
        CMemFile out(kFileBytes);
        CRC2_CBC(key).EncryptFile(in, 0, out, nullptr);
        cipher.assign(out.GetBufferPtr(), out.GetBufferPtr() + out.GetLength());
    }
    static FileFixture& Get()
    {
        static FileFixture fixture;
        return fixture;
    }
};

void BM_DecryptFile64MiB(benchmark::State& state)
{
    FileFixture& f = FileFixture::Get();
    std::vector<BYTE> plain(kFileBytes);
    CMemFile in(f.cipher.data(), static_cast<UINT>(f.cipher.size()));
    CMemFile out(plain.data(), static_cast<UINT>(plain.size()));
    for (auto _ : state) {
        CRC2_CBC p(f.key);
        in.SeekToBegin();
        out.SeekToBegin();
        p.DecryptFile(in, 0, out, nullptr);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}
BENCHMARK(BM_DecryptFile64MiB)->Name("RC2_CBC_DecryptFile/64MiB")->Unit(benchmark::kMillisecond);

void BM_RawLoop64MiB(benchmark::State& state)
{
    FileFixture& f = FileFixture::Get();
    std::vector<BYTE> plain(kFileBytes);
    for (auto _ : state) {
        CRC2_CBC p(f.key);
        p.DecryptBlock(f.cipher.data(), static_cast<int>(f.cipher.size()), plain.data(), nullptr);
        benchmark::DoNotOptimize(plain.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}
BENCHMARK(BM_RawLoop64MiB)->Name("RC2_CBC_RawBlockLoop/64MiB")->Unit(benchmark::kMillisecond);

}
