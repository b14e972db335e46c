// RSA: key-pair generation as the application does it (a pair, then TestKeys(3, null, 1)),
// and the single-key operations. Each generation is one repetition, so the median printed
// is the median time of one pair.
//
// Peer figure: `openssl speed -seconds 3 rsa512` (bench/rsa_peers.sh runs both). Our private
// operations use no CRT speed-up, so they are compared with openssl's sign/s.
#include "sigilbox/engines/rsa_keypair.h"
#include "sigilbox/engines/rsa_keys.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

void BM_KeyPairWithTest(benchmark::State& state)
{
    const WORD bits = static_cast<WORD>(state.range(0));
    const BYTE seed[] = {0x13, 0x77, 0x42, 0x05, 0x99, 0x21, 0x64, 0x38};
    for (auto _ : state) {
        CRSAKeyPair pair(bits, 1, seed, sizeof seed, nullptr);
        if (pair.TestKeys(3, nullptr, 1) != 0)
            state.SkipWithError("a generated pair failed its test");
    }
}
BENCHMARK(BM_KeyPairWithTest)->Arg(508)->Iterations(1)->Repetitions(41)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeyPairWithTest)->Arg(1024)->Iterations(1)->Repetitions(21)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeyPairWithTest)->Arg(2048)->Iterations(1)->Repetitions(7)->Unit(benchmark::kMillisecond)->UseRealTime();

const CRSAPrivateKey& Key(int bits)
{
    static std::unique_ptr<CRSAKeyPair> keys[3];
    const int slot = bits == 512 ? 0 : bits == 1024 ? 1 : 2;
    if (!keys[slot])
        keys[slot] = std::make_unique<CRSAKeyPair>(static_cast<WORD>(bits), 1, nullptr, 0, nullptr);
    return *keys[slot];
}

void Rate(benchmark::State& state)
{
    state.counters["ops/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The decrypting path: one RC2 session key unlocked with the private exponent.
void BM_UnlockRC2Key(benchmark::State& state)
{
    CRSAPrivateKey key(Key(static_cast<int>(state.range(0))));
    std::vector<BYTE> locked(static_cast<size_t>(key.LockedDataSize()));
    CRC2key rc2;
    key.LockRC2Key(rc2, locked.data());
    const int bits = 8 * static_cast<int>(locked.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(key.UnlockRC2Key(locked.data(), bits));
    Rate(state);
}
BENCHMARK(BM_UnlockRC2Key)->Arg(512)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond);

// Public-exponent operations (65537).
void BM_LockRC2Key(benchmark::State& state)
{
    CRSAPublicKey key(Key(static_cast<int>(state.range(0))));
    std::vector<BYTE> locked(static_cast<size_t>(key.LockedDataSize()));
    CRC2key rc2;
    for (auto _ : state) {
        key.LockRC2Key(rc2, locked.data());
        benchmark::DoNotOptimize(locked.data());
    }
    Rate(state);
}
BENCHMARK(BM_LockRC2Key)->Arg(512)->Arg(2048)->Unit(benchmark::kMicrosecond);

void BM_LockSHA1Digest(benchmark::State& state)
{
    CRSAPrivateKey key(Key(static_cast<int>(state.range(0))));
    std::vector<BYTE> locked(static_cast<size_t>(key.LockedDataSize()));
    const BYTE digest[20] = {1, 2, 3};
    for (auto _ : state) {
        key.LockSHA1Digest(digest, locked.data());
        benchmark::DoNotOptimize(locked.data());
    }
    Rate(state);
}
BENCHMARK(BM_LockSHA1Digest)->Arg(512)->Unit(benchmark::kMicrosecond);

void BM_UnlockSHA1Digest(benchmark::State& state)
{
    CRSAPrivateKey key(Key(static_cast<int>(state.range(0))));
    std::vector<BYTE> locked(static_cast<size_t>(key.LockedDataSize()));
    const BYTE digest[20] = {1, 2, 3};
    key.LockSHA1Digest(digest, locked.data());
    BYTE out[20];
    for (auto _ : state) {
        key.UnlockSHA1Digest(locked.data(), out, 8 * static_cast<int>(locked.size()));
        benchmark::DoNotOptimize(out);
    }
    Rate(state);
}
BENCHMARK(BM_UnlockSHA1Digest)->Arg(512)->Unit(benchmark::kMicrosecond);

}  // namespace
