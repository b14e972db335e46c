// ASN.1 decoding and encoding.
//
// BM_DecodeSegmentedOctetString: an OCTET STRING sent in 1,000-octet segments with the
// indefinite length, as streaming S/MIME writers produce it, at 4, 16 and 64 MiB: time must
// grow linearly with the size (the fitted complexity is printed).
// BM_DecodeColdInFreshProcess: one decode in a new process at 16 and 64 MiB (time per MiB
// must match) with the peak resident memory of building the input and decoding it, as a
// multiple of the input size (the target is at most 3.5).
// BM_HostileColdInFreshProcess: the same for inputs made to cost memory, taken as the
// program takes them: a 64 MiB encrypted content ([0] IMPLICIT) sent in segments of one
// octet, read as an enveloped ContentInfo with its content's octets gathered; and 100,000
// recipients for other keys (and 100,000 empty ones) checked and walked as the program
// walks them. The peak (input and decoding) is at most 3 times the input; with one object per
// segment or entry it was 40 times and more.
// Peer figure: bench/asn1_peers.sh times `openssl asn1parse` on the same 64 MiB input.
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

// Octets appended to an encoding whose room was made beforehand, so that building a large
// input takes its size once.
struct Writer {
    CDEREncoding& out;
    void Put(std::initializer_list<unsigned char> octets) { Put(std::vector<unsigned char>(octets)); }
    void Put(const std::vector<unsigned char>& octets)
    {
        const int at = out.GetSize();
        out.SetSize(at + static_cast<int>(octets.size()));
        std::memcpy(out.GetData() + at, octets.data(), octets.size());
    }
    void Put(const CASN1Type& value)
    {
        CDEREncoding e(value);
        Put(std::vector<unsigned char>(e.GetData(), e.GetData() + e.GetSize()));
    }
};

// An enveloped ContentInfo in indefinite lengths around `recipients` (they write the SET's
// contents) and an RC2 content (`content` writes the [0] IMPLICIT value whole).
template <class Recipients, class Content>
void BuildEnveloped(CDEREncoding& out, size_t room, Recipients recipients, Content content)
{
    out.SetSize(static_cast<int>(room));
    out.SetSize(0);
    Writer w{out};
    w.Put({0x30, 0x80});
    w.Put(CASN1_envelopedData());
    w.Put({0xA0, 0x80, 0x30, 0x80, 0x02, 0x01, 0x00, 0x31, 0x80});
    recipients(w);
    w.Put({0x00, 0x00, 0x30, 0x80});
    w.Put(CASN1_data());
    const unsigned char iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    w.Put(CASN1_AlgorithmIdentifier{CASN1_RC2_CBC(), CASN1_OCTET_STRING(iv, 8)});
    content(w);
    w.Put({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    out.m_nSeek = 0;
}

// A RecipientInfo for another key: version, issuer (one CN) and serial, rsaEncryption, a
// 64-octet encrypted key.
CDEREncoding OtherRecipient()
{
    CASN1_SEQUENCE cn;
    cn.AddObject(new CASN1_CommonName());
    cn.AddObject(new CASN1_PrintableString(reinterpret_cast<const unsigned char*>("Other"), 5));
    auto* rdn = new CASN1_SET();
    rdn->AddObject(cn.Clone());
    auto* issuer = new CASN1_SEQUENCE();
    issuer->AddObject(rdn);
    auto* issuerAndSerial = new CASN1_SEQUENCE();
    issuerAndSerial->AddObject(issuer);
    issuerAndSerial->AddObject(new CASN1_INTEGER(12345));
    const std::vector<unsigned char> key(64, 0x5A);
    CASN1_SEQUENCE recipient;
    recipient.AddObject(new CASN1_INTEGER(0ul));
    recipient.AddObject(issuerAndSerial);
    recipient.AddObject(new CASN1_AlgorithmIdentifier(CASN1_rsaEncryption(), CASN1_NULL()));
    recipient.AddObject(new CASN1_OCTET_STRING(key.data(), 64));
    return CDEREncoding(recipient);
}

// What the program does with an enveloped input: the ContentInfo (the input let go), its
// content encoded and let go, then decoded as enveloped data, the checks, every recipient
// looked at as a structure (last first), and the encrypted content's octets.
size_t TakeEnveloped(CDEREncoding& input)
{
    CASN1_ContentInfo info(input);
    input.SetSize(0);
    CASN1_TAGGED& tagged = info.GetContent();
    auto* plain = tagged.GetComponentsCount() == 1 ? dynamic_cast<CASN1_SEQUENCE*>(&tagged.GetComponent(0)) : nullptr;
    if (!plain)
        return 0;
    // Taken over as the structure, as the program takes it.
    CASN1_EnvelopedData enveloped;
    enveloped.Clear();
    enveloped.m_Components.TakeOver(plain->m_Components);
    enveloped.m_bConstructed = TRUE;
    info.ReleaseContent();
    if (!CASN1_EnvelopedData::IsValid(&enveloped))
        return 1;
    size_t seen = 0;
    CASN1_SET& recipients = enveloped.GetRecipientInfos();
    for (int i = recipients.GetComponentsCount() - 1; i >= 0; --i) {
        CASN1ScratchValue scratch;
        const CASN1Type* entry = recipients.m_Components.View(i, scratch);
        if (entry && CASN1_RecipientInfo::IsValid(entry))
            ++seen;
    }
    CASN1_TAGGED& content = enveloped.GetEncryptedContentInfo().GetEncryptedContent();
    return seen + static_cast<size_t>(content.GetDataSize());
}

// The input of a cold run: "<MiB>" the plain segmented string, "seg1:<MiB>" a content of
// 1-octet segments, "others:<n>" or "empty:<n>" n recipients for other keys or empty ones.
bool BuildColdInput(const std::string& what, CDEREncoding& input, bool& enveloped)
{
    const size_t colon = what.find(':');
    const std::string kind = colon == std::string::npos ? "" : what.substr(0, colon);
    const size_t n = static_cast<size_t>(std::atol(what.c_str() + (colon == std::string::npos ? 0 : colon + 1)));
    enveloped = !kind.empty();
    auto none = [](Writer&) {};
    if (kind.empty()) {
        BuildSegmentedOctetString(input, n << 20);
    } else if (kind == "seg1") {
        const size_t octets = (n << 20) / 3;
        BuildEnveloped(input, octets * 3 + 256, none, [&](Writer& w) {
            w.Put({0xA0, 0x80});
            int at = input.GetSize();
            input.SetSize(at + static_cast<int>(octets * 3));
            unsigned char* p = input.GetData() + at;
            for (size_t i = 0; i < octets; ++i, p += 3) {
                p[0] = 0x04;
                p[1] = 0x01;
                p[2] = static_cast<unsigned char>(i * 7);
            }
            w.Put({0x00, 0x00});
        });
    } else if (kind == "others" || kind == "empty") {
        const CDEREncoding one = kind == "empty" ? CDEREncoding(reinterpret_cast<const unsigned char*>("\x30\x00"), 2)
                                                 : OtherRecipient();
        const std::vector<unsigned char> entry(one.GetData(), one.GetData() + one.GetSize());
        BuildEnveloped(input, n * entry.size() + 8192, [&](Writer& w) {
            for (size_t i = 0; i < n; ++i)
                w.Put(entry);
        }, [](Writer& w) {
            w.Put({0x80, 0x82, 0x10, 0x00});
            w.Put(std::vector<unsigned char>(4096, 0x33));
        });
    } else {
        return false;
    }
    return true;
}

// One decode in a fresh process, as a program decodes one file: memory comes cold from the
// system and nothing of an earlier run is resident. The bench program runs itself with
// QM_ASN1_BENCH_CHILD=<input> (see BuildColdInput); the child prints the input size, the
// growth of its peak resident size over its size at start, and the decoding time, then
// ends.
struct ColdRunInChild {
    ColdRunInChild()
    {
        const char* what = std::getenv("QM_ASN1_BENCH_CHILD");
        if (!what)
            return;
        long before = ReadStatusKiB("VmRSS:");
        CDEREncoding input;
        bool enveloped = false;
        if (!BuildColdInput(what, input, enveloped))
            std::_Exit(2);
        const int size = input.GetSize();
        auto start = std::chrono::steady_clock::now();
        if (enveloped) {
            benchmark::DoNotOptimize(TakeEnveloped(input));
        } else {
            CASN1Type* value = AfxBuildFromEncoding(input);
            benchmark::DoNotOptimize(value);
            delete value;
        }
        double seconds = Seconds(start);
        long peak = ReadStatusKiB("VmHWM:");
        std::printf("%d %ld %.6f\n", size, peak - before, seconds);
        std::fflush(stdout);
        std::_Exit(0);
    }
} g_coldRunInChild;

void RunColdChild(benchmark::State& state, const std::string& what)
{
    for (auto _ : state) {
        std::string command = "QM_ASN1_BENCH_CHILD=" + what + " /proc/" + std::to_string(getpid()) + "/exe";
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

void BM_DecodeColdInFreshProcess(benchmark::State& state)
{
    RunColdChild(state, std::to_string(state.range(0)));
}
BENCHMARK(BM_DecodeColdInFreshProcess)->Arg(16)->Arg(64)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_HostileColdInFreshProcess(benchmark::State& state, const char* what)
{
    RunColdChild(state, what);
}
BENCHMARK_CAPTURE(BM_HostileColdInFreshProcess, content_in_1_octet_segments_64MiB, "seg1:64")
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostileColdInFreshProcess, recipients_for_other_keys_100000, "others:100000")
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostileColdInFreshProcess, empty_recipients_100000, "empty:100000")
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

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
