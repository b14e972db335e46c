// ASN.1 decoding and encoding.
//
// BM_DecodeSegmentedOctetString: an OCTET STRING sent in 1,000-octet segments with the
// indefinite length, as streaming S/MIME writers produce it, at 4, 16 and 64 MiB: time must
// grow linearly with the size (the fitted complexity is printed).
// BM_DecodeColdInFreshProcess: one decode in a new process at 16 and 64 MiB (time per MiB
// must match) with the peak resident memory of building the input and decoding it, as a
// multiple of the input size (the target is at most 3.5).
// Peer figure: bench/asn1_peers.sh times `openssl asn1parse` on the same 64 MiB input.
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <malloc.h>
#include <unistd.h>

namespace {

constexpr size_t kSegment = 1000;

// 24 80, then segments 04 82 03 E8 <1000 octets>, a shorter last one, then 00 00.
void BuildSegmentedOctetString(CDEREncoding& out, size_t total)
{
    size_t segments = (total + kSegment - 1) / kSegment;
    out.SetSize(static_cast<int>(total + segments * 4 + 4));
    unsigned char* p = out.GetData();
    *p++ = 0x24;
    *p++ = 0x80;
    for (size_t at = 0; at < total; at += kSegment) {
        size_t n = total - at < kSegment ? total - at : kSegment;
        *p++ = 0x04;
        unsigned char length[9];
        int k = AfxWriteDefiniteLength(n, length);
        std::memcpy(p, length, static_cast<size_t>(k));
        p += k;
        for (size_t i = 0; i < n; ++i)
            *p++ = static_cast<unsigned char>(at + i);
    }
    *p++ = 0x00;
    *p++ = 0x00;
    out.SetSize(static_cast<int>(p - out.GetData()));
    out.m_nSeek = 0;
}

// Warm: freed memory stays with the process between iterations (otherwise the allocator
// hands blocks above its thresholds back to the system and every iteration pays the page
// faults again, for the largest size only), so the figures compare the decoding work itself.
void KeepFreedMemory()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

void BM_DecodeSegmentedOctetString(benchmark::State& state)
{
    KeepFreedMemory();
    const size_t total = static_cast<size_t>(state.range(0)) << 20;
    CDEREncoding input;
    BuildSegmentedOctetString(input, total);
    for (auto _ : state) {
        input.m_nSeek = 0;
        CASN1Type* value = AfxBuildFromEncoding(input);
        benchmark::DoNotOptimize(value);
        delete value;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input.GetSize());
    state.SetComplexityN(static_cast<int64_t>(total));
}
BENCHMARK(BM_DecodeSegmentedOctetString)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_EncodeSegmentedOctetString(benchmark::State& state)
{
    const size_t total = static_cast<size_t>(state.range(0)) << 20;
    CDEREncoding input;
    BuildSegmentedOctetString(input, total);
    CASN1Type* value = AfxBuildFromEncoding(input);
    for (auto _ : state) {
        CByteArray out;
        value->EncodeTo(out);
        benchmark::DoNotOptimize(out.GetData());
    }
    delete value;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input.GetSize());
}
BENCHMARK(BM_EncodeSegmentedOctetString)->Arg(64)->Unit(benchmark::kMillisecond);

// Resident-memory figures from /proc (Linux).
long ReadStatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0)
            return std::stol(line.substr(n + 1));
    return -1;
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// One decode in a fresh process, as a program decodes one file: memory comes cold from the
// system and nothing of an earlier run is resident. The bench program runs itself with
// QM_ASN1_BENCH_CHILD=<MiB>; the child prints the input size, the growth of its peak
// resident size over its size at start, and the decoding time, then ends.
struct ColdRunInChild {
    ColdRunInChild()
    {
        const char* mib = std::getenv("QM_ASN1_BENCH_CHILD");
        if (!mib)
            return;
        long before = ReadStatusKiB("VmRSS:");
        CDEREncoding input;
        BuildSegmentedOctetString(input, static_cast<size_t>(std::atol(mib)) << 20);
        auto start = std::chrono::steady_clock::now();
        CASN1Type* value = AfxBuildFromEncoding(input);
        double seconds = Seconds(start);
        long peak = ReadStatusKiB("VmHWM:");
        delete value;
        std::printf("%d %ld %.6f\n", input.GetSize(), peak - before, seconds);
        std::fflush(stdout);
        std::_Exit(0);
    }
} g_coldRunInChild;

void BM_DecodeColdInFreshProcess(benchmark::State& state)
{
    for (auto _ : state) {
        std::string command = "QM_ASN1_BENCH_CHILD=" + std::to_string(state.range(0)) + " /proc/" + std::to_string(getpid()) + "/exe";
        std::FILE* child = popen(command.c_str(), "r");
        int inputBytes = 0;
        long peakKiB = 0;
        double seconds = 0;
        bool ok = child && std::fscanf(child, "%d %ld %lf", &inputBytes, &peakKiB, &seconds) == 3;
        if (child)
            pclose(child);
        if (!ok || inputBytes <= 0) {
            state.SkipWithError("the measuring child failed");
            return;
        }
        double inputMiB = inputBytes / 1048576.0;
        state.SetIterationTime(seconds);
        state.counters["input_MiB"] = inputMiB;
        state.counters["peak_MiB"] = peakKiB / 1024.0;
        state.counters["peak_per_input"] = peakKiB / 1024.0 / inputMiB;
        state.counters["decode_MiB/s"] = inputMiB / seconds;
    }
}
BENCHMARK(BM_DecodeColdInFreshProcess)->Arg(16)->Arg(64)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// Many small values: a SEQUENCE of 10,000 SEQUENCE { OBJECT IDENTIFIER, INTEGER, NULL }, the
// shape of certificate and PKCS #7 structures.
void BM_DecodeManySmallValues(benchmark::State& state)
{
    CASN1_SEQUENCE list;
    for (unsigned long i = 0; i < 10000; ++i) {
        CASN1_SEQUENCE* item = new CASN1_SEQUENCE();
        item->AddObject(new CASN1_rsaEncryption());
        item->AddObject(new CASN1_INTEGER(i * 7919));
        item->AddObject(new CASN1_NULL());
        list.AddObject(item);
    }
    CDEREncoding input(list);
    for (auto _ : state) {
        input.m_nSeek = 0;
        CASN1Type* value = AfxBuildFromEncoding(input);
        benchmark::DoNotOptimize(value);
        delete value;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * input.GetSize());
    state.counters["values/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 40001, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeManySmallValues)->Unit(benchmark::kMillisecond);

}  // namespace
