// Loading the decrypting ID's key file at start-up. The worst case is an unprotected file
// from an older version whose one-character password is the last one tried; the target is
// well under 50 ms for it. The built-in password and a typed password are the usual cases.
#include "decrypt/app/resources.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/locked_file.h"
#include "framework/afx.h"
#include "framework/fsutil.h"
#include "framework/ui/dialog.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/key_container.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

std::string DataPath(const char* name)
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../tests/data/" + name;
}

std::unique_ptr<CRSAPrivateKey> ReadKey(const char* name)
{
    std::ifstream in(DataPath(name), std::ios::binary);
    std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto key = std::make_unique<CRSAPrivateKey>();
    CASN1_PrivateKey::SetDataTo(*value, *key);
    return key;
}

// A key file in a scratch folder: flag, then the DER payload (a 1024-bit key and the 512-bit
// decrypting ID) locked with the password.
class ScratchKeyFile {
public:
    ScratchKeyFile(DWORD flag, const char* password)
    {
        char templ[] = "/tmp/key_file_bench_XXXXXX";
        if (!mkdtemp(templ))
            std::abort();
        m_dir = templ;
        m_path = m_dir + "/id.sec";
        std::ofstream(m_dir + "/id.P7M") << "certificate";

        auto big = ReadKey("pki/user1024_key.der");
        auto id = ReadKey("decrypt/user_key.der");
        CASN1_KCDNs entries;
        entries.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*big, "Standard ID", nullptr));
        entries.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*id, "Benchmark ID", nullptr));
        CMemFile payload;
        entries.EncodeToFile(payload, 0);
        payload.SeekToBegin();
        CFile file(m_path.c_str(), CFile::modeCreate | CFile::modeWrite);
        BYTE flagBytes[4] = {static_cast<BYTE>(flag), 0, 0, 0};
        file.Write(flagBytes, 4);
        LockFileWithKey(payload, file, MakePasswordKey(CString(password)), nullptr);
        file.Close();
    }
    ~ScratchKeyFile() { AfxDeleteFolderTree(m_dir.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_dir, m_path;
};

void Load(benchmark::State& st, DWORD flag, const char* password)
{
    RegisterDecryptResources();
    ScratchKeyFile file(flag, password);
    CScriptedFrontEnd ui;
    DecryptionState& state = AfxGetDecryptionState();
    state.m_strKeyFileName = file.Path().c_str();
    for (auto _ : st) {
        if (flag)
            ui.OnDialog(IDD_PASSWORD, [password](CDialog& d) {
                d.HandleEditChange(IDC_PASSWORD_EDIT, password);
                d.HandleCommand(IDOK);
            });
        if (LoadKeyFile(nullptr, 0) != 1) {
            st.SkipWithError("the key file did not load");
            break;
        }
    }
    if (!ui.boxes.empty())
        st.SkipWithError("a message box came up");
    state = DecryptionState();
}

void BuiltInPassword(benchmark::State& st) { Load(st, 0, "*"); }
// '~' (0x7E) is the last character tried.
void LegacyPasswordFoundLast(benchmark::State& st) { Load(st, 0, "~"); }
void TypedPassword(benchmark::State& st) { Load(st, 1, "a typed pass phrase"); }

}  // namespace

BENCHMARK(BuiltInPassword)->Name("LoadKeyFile/unprotected_builtin")->Unit(benchmark::kMillisecond);
BENCHMARK(LegacyPasswordFoundLast)->Name("LoadKeyFile/unprotected_legacy_last")->Unit(benchmark::kMillisecond);
BENCHMARK(TypedPassword)->Name("LoadKeyFile/protected")->Unit(benchmark::kMillisecond);
