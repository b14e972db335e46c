// Turns a PKCS #1 private key into a digital ID as the program keeps it: an unprotected key
// file and, beside it, the certificate file with the ID's self-issued certificate.
// Usage: make_demo_id KEY.der IDFILE.sec NAME EMAIL
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/resources.h"
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "framework/ui/dialog.h"
#include "framework/ui/scripted_front_end.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fputs("usage: make_demo_id KEY.der IDFILE.sec NAME EMAIL\n", stderr);
        return 2;
    }
    RegisterDecryptResources();
    CScriptedFrontEnd ui;
    if (!UseKeyForThisRun(argv[1]))
        return 1;
    DecryptionState& state = AfxGetDecryptionState();
    state.m_strName = argv[3];
    state.m_strKeyFileName = argv[2];
    const CString address = argv[4];
    ui.AnswerBox(IDNO);   // "Protect keys with password?": no
    ui.OnDialog(IDD_CREATE_CERTIFICATE, [&](CDialog& d) {
        d.HandleEditChange(IDC_EMAIL_ADDRESS, address);
        d.HandleCommand(IDC_CREATE_CERTIFICATE);
    });
    int saved = SaveKeyFile(nullptr, 0);
    if (saved != 1)
        for (const auto& box : ui.boxes)
            std::fprintf(stderr, "%s\n", box.text.c_str());
    state.SetDecryptingID(CKeyInfo());
    return saved == 1 ? 0 : 1;
}
