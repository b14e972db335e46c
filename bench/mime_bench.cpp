// Message decoding throughput.
//
// BM_DecodeBase64 decodes 64 MiB of data (base64 text, 64-column lines as openssl writes
// them) from a file to a file; BM_OpensslBase64 runs `openssl base64 -d` on the same file
// in the same run, as the peer. BM_DecodeBase64Mime does the same on 76-column CR LF text,
// as mail carries it.
//
// BM_MimeProcess runs the MIME processor on a message of 16 or 64 MiB whose base64
// attachment is three quarters of it (48 MiB of the 64), the rest a quoted-printable text
// part. It reports the time per byte (linear time shows as equal figures) and the peak
// resident memory while processing, as a multiple of the message size.
#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/msg_store.h"
#include "decrypt/mime/transfer_decoders.h"
#include "framework/file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMiB = 1024 * 1024;

// One work folder for the whole run, removed at exit.
struct CWorkFolder {
    fs::path path;
    CWorkFolder()
    {
        std::random_device rd;
        do
            path = fs::temp_directory_path() / ("mime_bench_" + std::to_string(rd()));
        while (!fs::create_directory(path));
    }
    ~CWorkFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
} g_work;

const fs::path& WorkFolder() { return g_work.path; }

std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::string s(n, '\0');
    for (size_t i = 0; i + 8 <= n; i += 8) {
        unsigned long long v = rng();
        std::memcpy(&s[i], &v, 8);
    }
    return s;
}

// Base64 of `raw` in lines of `column` characters ended by `eol`, appended to `out`.
void AppendBase64(const std::string& raw, size_t column, const char* eol, std::ofstream& out)
{
    static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string line;
    line.reserve(column + 2);
    auto flush = [&] {
        line += eol;
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        line.clear();
    };
    size_t i = 0;
    for (; i + 3 <= raw.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(raw[i]) << 16 | static_cast<unsigned char>(raw[i + 1]) << 8 | static_cast<unsigned char>(raw[i + 2]);
        line += a[v >> 18];
        line += a[(v >> 12) & 63];
        line += a[(v >> 6) & 63];
        line += a[v & 63];
        if (line.size() >= column)
            flush();
    }
    if (i < raw.size()) {
        unsigned v = static_cast<unsigned char>(raw[i]) << 16 | (i + 1 < raw.size() ? static_cast<unsigned char>(raw[i + 1]) << 8 : 0);
        line += a[v >> 18];
        line += a[(v >> 12) & 63];
        line += i + 1 < raw.size() ? a[(v >> 6) & 63] : '=';
        line += '=';
    }
    if (!line.empty())
        flush();
}

const fs::path& Base64File(bool mime)
{
    static fs::path files[2];
    fs::path& p = files[mime];
    if (p.empty()) {
        p = WorkFolder() / (mime ? "b64_mime.txt" : "b64_openssl.txt");
        std::ofstream out(p, std::ios::binary);
        AppendBase64(RandomBytes(64 * kMiB, 7), mime ? 76 : 64, mime ? "\r\n" : "\n", out);
    }
    return p;
}

void DecodeFile(benchmark::State& state, bool mime)
{
    const fs::path& in = Base64File(mime);
    fs::path out = WorkFolder() / "decoded.bin";
    for (auto _ : state) {
        CFile src(in.c_str(), CFile::modeRead | CFile::shareDenyNone);
        CFile dst(out.c_str(), CFile::modeWrite | CFile::modeCreate | CFile::shareDenyNone);
        DecodeBase64(&src, &dst, 0, 1);
    }
    if (fs::file_size(out) != 64 * kMiB)
        state.SkipWithError("wrong decoded size");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 64 * kMiB));
}

void BM_DecodeBase64(benchmark::State& state) { DecodeFile(state, false); }
void BM_DecodeBase64Mime(benchmark::State& state) { DecodeFile(state, true); }

void BM_OpensslBase64(benchmark::State& state)
{
    const fs::path& in = Base64File(false);
    fs::path out = WorkFolder() / "openssl.bin";
    std::string cmd = "openssl base64 -d -in '" + in.string() + "' -out '" + out.string() + "'";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("openssl failed");
            break;
        }
    }
    if (fs::exists(out) && fs::file_size(out) != 64 * kMiB)
        state.SkipWithError("wrong decoded size");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 64 * kMiB));
}

// A message of `total` bytes: a quoted-printable text part of a quarter and a base64
// attachment of three quarters.
const fs::path& MessageFile(size_t total)
{
    static std::map<size_t, fs::path> files;
    fs::path& p = files[total];
    if (!p.empty())
        return p;
    p = WorkFolder() / ("message_" + std::to_string(total / kMiB) + ".eml");
    std::ofstream out(p, std::ios::binary);
    out << "From: Bench <bench@example.org>\r\nTo: you@example.net\r\nSubject: big\r\n"
           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=bench=\"\r\n\r\n"
           "--=bench=\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    std::string line = "Caf=C3=A9 cr=C3=A8me and some plain words to fill the line up to its end =3D x=\r\n";
    for (size_t n = 0; n + line.size() < total / 4; n += line.size())
        out << line;
    out << "\r\n--=bench=\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n";
    // 76 characters per 78-byte line carry 57 bytes.
    size_t raw = (total * 3 / 4) / 78 * 57;
    AppendBase64(RandomBytes(raw, 11), 76, "\r\n", out);
    out << "--=bench=--\r\n";
    return p;
}

long PeakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 20, '\n');
    }
    return -1;
}

void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_MimeProcess(benchmark::State& state)
{
    const size_t total = static_cast<size_t>(state.range(0)) * kMiB;
    const fs::path& message = MessageFile(total);
    const size_t size = fs::file_size(message);
    fs::path folder = WorkFolder() / "store";
    fs::create_directories(folder);
    CMimeContext context;
    double peakRatio = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(message, folder / "scratch", fs::copy_options::overwrite_existing);
        ResetPeakRss();
        long before = PeakRssKiB();
        state.ResumeTiming();

        CMessageStore* store = new CMessageStore(folder.c_str());
        {
            CMessage root(store);
            root.SetStreamName("scratch");
            root.ProcessRoot(&context);
            if (root.m_Children.GetSize() != 2 || root.m_Children.GetItem(1)->GetBodyLength() != static_cast<LONG>((total * 3 / 4) / 78 * 57))
                state.SkipWithError("unexpected tree");
        }
        store->Release();

        state.PauseTiming();
        long peak = PeakRssKiB();
        peakRatio = std::max(peakRatio, static_cast<double>(peak) * 1024.0 / static_cast<double>(size));
        state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
        state.counters["rss_at_start_MiB"] = static_cast<double>(before) / 1024.0;
        state.ResumeTiming();
    }
    state.counters["peak_rss_per_message_byte"] = peakRatio;
    state.counters["ns_per_byte"] = benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(size),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

} // namespace

BENCHMARK(BM_DecodeBase64)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DecodeBase64Mime)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_OpensslBase64)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_MimeProcess)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
