// Digest throughput on 16 KiB blocks, the size `openssl speed -bytes 16384` reports; run
// bench/digest_peers.sh for the peer figures of the same machine.
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/randoms.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kBlock = 16384;

template <class Maker>
void DigestBlocks(benchmark::State& state)
{
    std::vector<BYTE> data(kBlock, 0x5A);
    BYTE digest[20];
    for (auto _ : state) {
        Maker maker;
        maker.UpdateBlock(data.data(), kBlock, nullptr, 1, 1);
        maker.GetCurrentDigest(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

void SHA1Portable(benchmark::State& state)
{
    std::vector<BYTE> data(kBlock, 0x5A);
    for (auto _ : state) {
        DWORD s[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
        sigilbox_digest::SHA1CompressPortable(s, data.data(), kBlock / 64);
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
}

void RandomBlock(benchmark::State& state)
{
    CRandomsGenerator generator;
    std::vector<BYTE> out(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        generator.GetRandomBlock(out.data(), static_cast<WORD>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(DigestBlocks<CMD5DigestMaker>)->Name("MD5/16KiB");
BENCHMARK(DigestBlocks<CSHA1DigestMaker>)->Name("SHA1/16KiB");
BENCHMARK(SHA1Portable)->Name("SHA1_portable/16KiB");
BENCHMARK(DigestBlocks<CMD2DigestMaker>)->Name("MD2/16KiB");
BENCHMARK(RandomBlock)->Arg(128)->Name("RandomBlock");
