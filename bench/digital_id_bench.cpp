// Making a digital ID once the phrase is typed: OK in "Making a New Digital ID" generates the
// 508-bit pair and tests it (TestKeys(3)), with the dialog's progress bar and message pumping
// as the program runs them. The whole command (file dialog, key file without password,
// certificate file) is measured beside it. Each making is one repetition, so the median is
// the median time of one ID.
//
// Peer figure: `openssl genpkey` of a 512-bit RSA key, run as a process (its start-up is
// included; BM_OpenSSLProcessStart gives that part alone).
#include "decrypt/app/resources.h"
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_info.h"
#include "decrypt/ids/digital_id.h"
#include "decrypt/ids/digital_id_dialogs.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/app.h"
#include "framework/fsutil.h"
#include "framework/system.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/engines/rsa_keys.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

void TypePhrase(CDialog& d)
{
    CString text;
    for (const char* p = CMakingDigitalIDDialog::kPhrase; *p; ++p) {
        text += *p;
        d.HandleKey(IDC_PHRASE_EDIT, static_cast<unsigned char>(*p), GetTickCount());
        d.HandleEditChange(IDC_PHRASE_EDIT, text);
    }
}

void BM_MakeIDAfterPhrase(benchmark::State& state)
{
    RegisterDecryptResources();
    CWinApp app("decrypt");
    CScriptedFrontEnd ui;
    for (auto _ : state) {
        state.PauseTiming();
        CMakingDigitalIDDialog dialog(static_cast<int>(state.range(0)));
        ui.OnDialog(IDD_MAKING_DIGITAL_ID, [&state](CDialog& d) {
            TypePhrase(d);
            state.ResumeTiming();
            d.HandleCommand(IDOK);
            state.PauseTiming();
        });
        if (dialog.DoModal() != IDOK || !dialog.m_pKey)
            state.SkipWithError("no key was made");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MakeIDAfterPhrase)->Arg(508)->Iterations(1)->Repetitions(41)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole "&New..." command: file dialog, the two ID dialogs, the key file (no password)
// and the certificate file with its counter in the machine settings.
void BM_CreateDigitalIDWhole(benchmark::State& state)
{
    RegisterDecryptResources();
    char templ[] = "/tmp/id_bench_XXXXXX";
    if (!mkdtemp(templ)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    std::string dir = templ;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    CWinApp app("decrypt");
    CScriptedFrontEnd ui;
    int n = 0;
    for (auto _ : state) {
        std::string key = dir + "/id" + std::to_string(n++) + ".sec";
        ui.AnswerFile(key.c_str(), 2);
        ui.OnDialog(IDD_NEW_DIGITAL_ID, [](CDialog& d) {
            d.HandleEditChange(IDC_ID_NAME_EDIT, "Bench ID");
            d.HandleCommand(IDC_CREATE_ID);
        });
        ui.OnDialog(IDD_MAKING_DIGITAL_ID, [](CDialog& d) {
            TypePhrase(d);
            d.HandleCommand(IDOK);
        });
        ui.AnswerBox(IDNO);
        ui.OnDialog(IDD_CREATE_CERTIFICATE, [](CDialog& d) {
            d.HandleEditChange(IDC_EMAIL_ADDRESS, "bench@example.org");
            d.HandleCommand(IDC_CREATE_CERTIFICATE);
        });
        if (CreateDigitalID(nullptr) != 1)
            state.SkipWithError("the ID was not made");
    }
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
    AfxDeleteFolderTree(dir.c_str());
}
BENCHMARK(BM_CreateDigitalIDWhole)->Iterations(1)->Repetitions(21)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenSSLGenRSA512(benchmark::State& state)
{
    if (std::system("openssl version >/dev/null 2>&1") != 0) {
        state.SkipWithError("openssl not found");
        return;
    }
    for (auto _ : state)
        if (std::system("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:512 -out /dev/null 2>/dev/null") != 0)
            state.SkipWithError("openssl genpkey failed");
}
BENCHMARK(BM_OpenSSLGenRSA512)->Iterations(1)->Repetitions(41)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenSSLProcessStart(benchmark::State& state)
{
    for (auto _ : state)
        if (std::system("openssl version >/dev/null 2>&1") != 0)
            state.SkipWithError("openssl not found");
}
BENCHMARK(BM_OpenSSLProcessStart)->Iterations(1)->Repetitions(21)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
