// The decrypt program for now: decrypts the files named on the command line with a private
// key given as a PKCS #1 DER file. The main dialog, the key file and the settings come later.
#include "decrypt/app/content_processing.h"
#include "decrypt/app/decrypt_driver.h"
#include "decrypt/app/key_info.h"
#include "decrypt/app/resources.h"
#include "framework/afx.h"
#include "framework/system.h"
#include "framework/ui/batch_front_end.h"
#include "framework/ui/message_box.h"
#include "framework/ui/terminal_front_end.h"
#include "framework/ui/terminal_io.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char kUsage[] =
    "usage: decrypt [--batch] [--key KEYFILE.der] FILE...\n"
    "\n"
    "Decrypts S/MIME content files (.p7m as DER, .sig as base64 text). The message text\n"
    "and the attachments of each file go to a new folder beside it: Decrypt, Decrypt1...\n"
    "\n"
    "  --key FILE  the decrypting ID: an RSA private key as PKCS #1 DER (for example\n"
    "              \"openssl rsa -traditional -outform DER\"). The program's password-\n"
    "              protected key file is not read yet; it comes in a later version.\n"
    "  --batch     never ask: messages go to standard error (the default when standard\n"
    "              input is not a terminal).\n"
    "\n"
    "The exit status is the number of files that failed (at most 125).\n";

// Passes everything on and counts the boxes that report a failed file.
class CCountingFrontEnd : public CFrontEnd {
public:
    explicit CCountingFrontEnd(CFrontEnd& inner) : m_inner(inner) {}
    void RunModal(CDialog& dialog) override { m_inner.RunModal(dialog); }
    void ShowModeless(CDialog& dialog) override { m_inner.ShowModeless(dialog); }
    void Refresh(CDialog& dialog) override { m_inner.Refresh(dialog); }
    void CloseModeless(CDialog& dialog) override { m_inner.CloseModeless(dialog); }
    int MessageBox(const char* text, const char* caption, UINT type) override
    {
        if (text && std::strncmp(text, "ERROR:\n", 7) == 0)
            ++m_errors;
        return m_inner.MessageBox(text, caption, type);
    }
    INT_PTR RunFileDialog(CFileDialog& dialog) override { return m_inner.RunFileDialog(dialog); }
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override { return m_inner.RunPropertySheet(sheet); }
    BOOL IsInteractive() const override { return m_inner.IsInteractive(); }

    int Errors() const { return m_errors; }

private:
    CFrontEnd& m_inner;
    int m_errors = 0;
};

// Makes the key in the DER file the decrypting ID; FALSE (with a message) when it is not one.
BOOL LoadKey(const char* path)
{
    std::string der;
    if (!AfxReadWholeFile(path, der, 1u << 20) || der.empty()) {
        std::fprintf(stderr, "decrypt: cannot read the key file %s\n", path);
        return FALSE;
    }
    BOOL ok = FALSE;
    try {
        CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
        std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
        auto key = std::make_unique<CRSAPrivateKey>();
        CASN1_PrivateKey::SetDataTo(*value, *key);
        std::memset(encoding.GetData(), 0, static_cast<size_t>(encoding.GetSize()));
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo(path, CKeyInfo::RSAPrivateKey, key.release(), 0));
        AfxGetDecryptionState().m_nIDIsSet = 1;
        ok = TRUE;
    } catch (CException* e) {
        e->Delete();
    }
    std::memset(der.data(), 0, der.size());
    if (!ok)
        std::fprintf(stderr, "decrypt: %s is not an RSA private key in PKCS #1 DER form\n", path);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    BOOL batch = FALSE;
    const char* keyPath = nullptr;
    int first = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--batch") == 0) {
            batch = TRUE;
        } else if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
            keyPath = argv[++i];
        } else if (std::strcmp(argv[i], "--") == 0) {
            first = i + 1;
            break;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "decrypt: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        } else {
            first = i;
            break;
        }
    }
    if (first >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    RegisterDecryptResources();
    AfxSetAppTitle(kAppTitle);
    CTerminal terminal;
    CTerminalFrontEnd terminalFrontEnd(terminal);
    CBatchFrontEnd batchFrontEnd;
    CFrontEnd& chosen = (!batch && AfxIsTerminal(0)) ? static_cast<CFrontEnd&>(terminalFrontEnd) : batchFrontEnd;
    CCountingFrontEnd frontEnd(chosen);
    AfxSetFrontEnd(&frontEnd);

    if (!keyPath || !LoadKey(keyPath)) {
        AfxMessageBox("ERROR:\nQuillmar Postlantern Unsealer cannot decrypt file(s) now.\nDecrypting ID is not setup.",
                      MB_OK | MB_ICONEXCLAMATION);
        AfxSetFrontEnd(nullptr);
        return 1;
    }
    // Names are queued one by one: the shell has already split them.
    for (int i = first; i < argc; ++i)
        QueueFileNames(argv[i], 1);
    DecryptQueuedFiles(nullptr);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
    AfxSetFrontEnd(nullptr);
    int failed = frontEnd.Errors();
    return failed > 125 ? 125 : failed;
}
