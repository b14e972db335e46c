// Big-integer arithmetic: modular exponentiation at RSA sizes, its building blocks, and the
// price of the thread-kill check polled in every inner loop.
//
// Peer figure: `openssl speed -seconds 3 rsa512` (sign/s) on the same machine. BM_PowMod/512
// is one RSA private operation without the CRT speed-up (which this library does not use).
// For the kill check's cost compare BM_PowModKernel<PollKill> with <NoPoll>, e.g.
//   bignum_bench --benchmark_filter='PowModKernel.*/512' --benchmark_repetitions=10 \
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/huge_digit_kernels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// With --benchmark_repetitions, the fastest repetition: the least disturbed by other load on
// the machine, so the fairest for comparing two variants.
double Fastest(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

// A random number of `bits` bits (top bit set); odd when asked.
CHugeDigit RandomNumber(std::mt19937& gen, int bits, bool odd)
{
    const int words = (bits + 31) / 32;
    CHugeDigit x(0ul);
    x.SetLength(static_cast<short>(words));
    for (int i = 0; i < words; ++i)
        x.m_Digits[i] = gen();
    const int topBits = bits - 32 * (words - 1);
    if (topBits < 32)
        x.m_Digits[words - 1] &= (1u << topBits) - 1;
    x.m_Digits[words - 1] |= 1u << (topBits - 1);
    if (odd)
        x.m_Digits[0] |= 1;
    return x;
}

struct Operands {
    CHugeDigit base, exponent, modulus;
    explicit Operands(int bits)
    {
        std::mt19937 gen(static_cast<unsigned>(bits));
        modulus = RandomNumber(gen, bits, true);
        base = RandomNumber(gen, bits - 1, false);
        exponent = RandomNumber(gen, bits, true);
    }
};

void BM_PowMod(benchmark::State& state)
{
    const Operands op(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(PowMod(op.base, op.exponent, op.modulus));
    state.counters["ops/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PowMod)->Arg(512)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

// Public-key operation (exponent 65537).
void BM_PowModF4(benchmark::State& state)
{
    const Operands op(static_cast<int>(state.range(0)));
    const CHugeDigit f4(65537ul);
    for (auto _ : state)
        benchmark::DoNotOptimize(PowMod(op.base, f4, op.modulus));
    state.counters["ops/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PowModF4)->Arg(512)->Arg(2048)->Unit(benchmark::kMicrosecond);

// The same exponentiation kernel compiled with and without the kill check: the difference
// is what the check costs.
template <class Poll>
void BM_PowModKernel(benchmark::State& state)
{
    const Operands op(static_cast<int>(state.range(0)));
    HugeDigitKernels::Word r[CHugeDigit::MAX_DIGITS];
    const int nm = op.modulus.Digits();
    for (auto _ : state) {
        HugeDigitKernels::PowModWords<Poll>(r, op.base.m_Digits, op.base.m_nLength, op.exponent.m_Digits,
                                            op.exponent.Digits(), op.modulus.m_Digits, nm);
        benchmark::DoNotOptimize(r);
    }
    state.counters["ops/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK_TEMPLATE(BM_PowModKernel, HugeDigitKernels::PollKill)
    ->Arg(512)
    ->Arg(2048)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Fastest);
BENCHMARK_TEMPLATE(BM_PowModKernel, HugeDigitKernels::NoPoll)
    ->Arg(512)
    ->Arg(2048)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Fastest);

// How many kill checks one exponentiation makes, and what checks cost on their own: their
// count times the time of one check bounds the overhead from above (inside the loops they
// mostly overlap with the arithmetic).
struct CountPoll {
    static inline long s_count = 0;
    static void Poll() { ++s_count; }
};

void BM_KillChecksPerPowMod(benchmark::State& state)
{
    const Operands op(static_cast<int>(state.range(0)));
    HugeDigitKernels::Word r[CHugeDigit::MAX_DIGITS];
    const int nm = op.modulus.Digits();
    CountPoll::s_count = 0;
    for (auto _ : state) {
        HugeDigitKernels::PowModWords<CountPoll>(r, op.base.m_Digits, op.base.m_nLength, op.exponent.m_Digits,
                                                 op.exponent.Digits(), op.modulus.m_Digits, nm);
        benchmark::DoNotOptimize(r);
    }
    state.counters["checks"] = static_cast<double>(CountPoll::s_count) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KillChecksPerPowMod)->Arg(512)->Iterations(3);

void BM_KillCheck(benchmark::State& state)
{
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i)
            __checkKillThreadFlag();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_KillCheck);

void BM_Mul(benchmark::State& state)
{
    std::mt19937 gen(1);
    const int bits = static_cast<int>(state.range(0));
    const CHugeDigit a = RandomNumber(gen, bits, false);
    const CHugeDigit b = RandomNumber(gen, bits, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(a * b);
}
BENCHMARK(BM_Mul)->Arg(512)->Arg(2048);

void BM_MulMod(benchmark::State& state)
{
    const Operands op(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(MulMod(op.base, op.exponent, op.modulus));
}
BENCHMARK(BM_MulMod)->Arg(512)->Arg(2048);

void BM_DivMod(benchmark::State& state)
{
    std::mt19937 gen(2);
    const int bits = static_cast<int>(state.range(0));
    const CHugeDigit a = RandomNumber(gen, 2 * bits, false);
    const CHugeDigit b = RandomNumber(gen, bits, true);
    CHugeDigit q, r;
    for (auto _ : state) {
        DivMod(q, r, a, b);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_DivMod)->Arg(512)->Arg(2048);

// The Fermat test of one prime candidate of a 508-bit key (254 bits).
void BM_FermatTest(benchmark::State& state)
{
    std::mt19937 gen(3);
    const CHugeDigit n = RandomNumber(gen, 254, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(n.PassedFermatTest());
}
BENCHMARK(BM_FermatTest)->Unit(benchmark::kMicrosecond);

}  // namespace
