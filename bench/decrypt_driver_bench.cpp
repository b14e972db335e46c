// End-to-end decrypting of one file.
//
// BM_DecryptOneFile decrypts a 64 MiB RC2-40 .p7m (made with openssl) whose message holds a
// 48 MiB base64 attachment and a quoted-printable text part, into a fresh output folder,
// and reports the peak resident memory of the process as a multiple of the input size.
// BM_OpensslMunpack is the peer in the same run: `openssl cms -decrypt` (legacy provider;
// OpenSSL 3.0's `smime -decrypt` cannot open RC2-40 envelopes: "bad decrypt")
// piped into `munpack` on the same file. BM_SmallFile is the per-file overhead: a message
// of 1 KiB. BM_ProgramWholeFile and BM_PeerWholeFile run the two side by side as programs on the
// same file, each as a child measured when it ends (wait4): wall time, CPU time of all its
// processes and threads, and its peak resident memory.
#include "decrypt/app/resources.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_info.h"
#include "framework/fsutil.h"
#include "framework/ui/front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr size_t kMiB = 1024 * 1024;

class CQuietFrontEnd : public CFrontEnd {
public:
    void RunModal(CDialog&) override {}
    int MessageBox(const char*, const char*, UINT) override
    {
        ++boxes;
        return 1;
    }
    INT_PTR RunFileDialog(CFileDialog&) override { return 2; }
    INT_PTR RunPropertySheet(CPropertySheet&) override { return 2; }
    BOOL IsInteractive() const override { return FALSE; }
    int boxes = 0;
};

int Run(const std::string& command)
{
    return std::system(command.c_str());
}

// The work folder, the key and the two input files, made once.
struct CInputs {
    fs::path dir;
    std::string big;
    std::string small;
    bool ok = false;

    CInputs()
    {
        std::random_device rd;
        do
            dir = fs::temp_directory_path() / ("driver_bench_" + std::to_string(rd()));
        while (!fs::create_directory(dir));
        const std::string d = dir.string();
        if (Run("cd '" + d + "' && openssl genrsa -out user.key 512 2>/dev/null && "
                "openssl req -x509 -new -key user.key -subj /CN=bench -days 10 -out user.pem 2>/dev/null && "
                "openssl rsa -in user.key -traditional -outform DER -out user.der 2>/dev/null") != 0)
            return;
        WriteMessage(d + "/big.eml", 16 * kMiB, 36 * kMiB);   // 36 MiB of data is 48 MiB of base64
        WriteMessage(d + "/small.eml", 300, 300);
        const std::string enc = "openssl smime -provider legacy -provider default -encrypt -binary -rc2-40 -outform DER ";
        if (Run("cd '" + d + "' && " + enc + "-in big.eml -out big.p7m user.pem && " + enc +
                "-in small.eml -out small.p7m user.pem") != 0)
            return;
        big = d + "/big/big.p7m";
        small = d + "/small/small.p7m";
        fs::create_directory(dir / "big");
        fs::create_directory(dir / "small");
        fs::rename(dir / "big.p7m", big);
        fs::rename(dir / "small.p7m", small);
        ok = true;
    }
    ~CInputs()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // A multipart message: a quoted-printable text part of textBytes and a base64
    // attachment of dataBytes random bytes (76-column CR LF lines).
    static void WriteMessage(const std::string& path, size_t textBytes, size_t dataBytes)
    {
        std::ofstream out(path, std::ios::binary);
        out << "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=b=\"\r\n\r\n"
               "--=b=\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
        std::string line = "Some text with an =3D sign and a soft break at the end of the line =\r\n";
        for (size_t n = 0; n < textBytes; n += line.size())
            out << line;
        out << "\r\n--=b=\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\n";
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::mt19937 rng(7);
        std::string row(76, 'A');
        size_t chars = dataBytes / 3 * 4;
        for (size_t n = 0; n < chars; n += 76) {
            for (char& c : row)
                c = kAlphabet[rng() & 63];
            out.write(row.data(), static_cast<std::streamsize>(std::min<size_t>(76, chars - n)));
            out << "\r\n";
        }
        out << "--=b=--\r\n";
    }
};

CInputs& Inputs()
{
    static CInputs inputs;
    return inputs;
}

void UseKey()
{
    std::ifstream in((Inputs().dir / "user.der").string(), std::ios::binary);
    std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto* key = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*value, *key);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Bench ID", CKeyInfo::RSAPrivateKey, key, 1));
}

long PeakRssBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

void DecryptFile(benchmark::State& state, const std::string& path)
{
    if (!Inputs().ok) {
        state.SkipWithError("openssl could not make the inputs");
        return;
    }
    RegisterDecryptResources();
    CQuietFrontEnd quiet;
    CFrontEnd* previous = AfxSetFrontEnd(&quiet);
    UseKey();
    const std::string output = fs::path(path).parent_path().string() + "/Decrypt";
    const long before = PeakRssBytes();
    for (auto _ : state) {
        if (!DecryptOneFile(path.c_str(), FALSE, nullptr)) {
            state.SkipWithError("the file did not decrypt");
            break;
        }
        state.PauseTiming();
        AfxDeleteFolderTree(output.c_str());
        state.ResumeTiming();
    }
    AfxSetFrontEnd(previous);
    auto size = static_cast<double>(fs::file_size(path));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    // The process's peak, and the part of it that the decrypting added to what was there.
    state.counters["peak_rss_x_input"] = static_cast<double>(PeakRssBytes()) / size;
    state.counters["added_rss_x_input"] = static_cast<double>(PeakRssBytes() - before) / size;
}

void BM_DecryptOneFile(benchmark::State& state) { DecryptFile(state, Inputs().big); }
BENCHMARK(BM_DecryptOneFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SmallFile(benchmark::State& state) { DecryptFile(state, Inputs().small); }
BENCHMARK(BM_SmallFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpensslMunpack(benchmark::State& state)
{
    if (!Inputs().ok) {
        state.SkipWithError("openssl could not make the inputs");
        return;
    }
    const std::string d = Inputs().dir.string();
    const std::string out = d + "/munpack";
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(out, ec);
        fs::create_directory(out);
        state.ResumeTiming();
        int rc = Run("openssl cms -provider legacy -provider default -decrypt -binary -inform DER -in '" +
                     Inputs().big + "' -inkey '" + d + "/user.key' | munpack -q -C '" + out + "' >/dev/null 2>&1");
        if (rc != 0) {
            state.SkipWithError("openssl or munpack failed (is mpack installed?)");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * static_cast<double>(fs::file_size(Inputs().big))));
}
BENCHMARK(BM_OpensslMunpack)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Runs `command` with sh as a child; its rusage covers the processes sh waited for.
bool RunMeasured(const std::string& command, rusage& usage)
{
    pid_t pid = 0;
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    usage = rusage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// One program run per iteration on the big file, into a fresh folder.
void RunProgram(benchmark::State& state, const std::string& command, const std::string& output)
{
    if (!Inputs().ok) {
        state.SkipWithError("openssl could not make the inputs");
        return;
    }
    double cpu = 0;
    long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        fs::remove_all(output, ec);
        state.ResumeTiming();
        rusage usage{};
        if (!RunMeasured(command, usage)) {
            state.SkipWithError(("failed: " + command).c_str());
            break;
        }
        cpu += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
        peak = std::max(peak, usage.ru_maxrss * 1024L);
    }
    const auto size = static_cast<double>(fs::file_size(Inputs().big));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["cpu_s"] = state.iterations() ? cpu / static_cast<double>(state.iterations()) : 0;
    state.counters["peak_MiB"] = static_cast<double>(peak) / kMiB;
    state.counters["peak_x_input"] = static_cast<double>(peak) / size;
}

// The program beside this benchmark's folder.
std::string Program()
{
    char self[4096] = {};
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? (fs::path(std::string(self, static_cast<size_t>(n))).parent_path().parent_path() / "decrypt").string()
                 : std::string("decrypt");
}

void BM_ProgramWholeFile(benchmark::State& state)
{
    const std::string d = Inputs().dir.string();
    RunProgram(state,
               "XDG_CONFIG_HOME='" + d + "/cfg' XDG_DATA_HOME='" + d + "/data' XDG_RUNTIME_DIR='" + d + "' '" + Program() +
                   "' --batch --key '" + d + "/user.der' '" + Inputs().big + "' >/dev/null",
               fs::path(Inputs().big).parent_path().string() + "/Decrypt");
}
BENCHMARK(BM_ProgramWholeFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_PeerWholeFile(benchmark::State& state)
{
    const std::string d = Inputs().dir.string();
    RunProgram(state,
               "mkdir -p '" + d + "/munpack' && openssl cms -provider legacy -provider default -decrypt -binary "
               "-inform DER -in '" + Inputs().big + "' -inkey '" + d + "/user.key' | munpack -q -C '" + d +
                   "/munpack' >/dev/null 2>&1",
               d + "/munpack");
}
BENCHMARK(BM_PeerWholeFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
