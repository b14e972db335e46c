// The decrypt program for now: decrypts the files named on the command line with a private
// key given as a PKCS #1 DER file. The main dialog, the key file and the settings come later.
#include "decrypt/app/content_processing.h"
#include "decrypt/app/decrypt_app.h"
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
    CDecryptOptions options = ParseDecryptOptions(argc, argv);
    if (!options.error.IsEmpty()) {
        std::fprintf(stderr, "decrypt: %s\n%s", static_cast<const char*>(options.error), DECRYPT_USAGE);
        return 2;
    }
    if (options.command == CDecryptOptions::Help) {
        std::fputs(DECRYPT_USAGE, stdout);
        return 0;
    }
    if (options.command == CDecryptOptions::Version) {
        std::fputs("Quillmar Postlantern Unsealer Version 1.0\n", stdout);
        return 0;
    }
    if (options.command != CDecryptOptions::None) {
        std::fputs("decrypt: this command is not available in this version\n", stderr);
        return 2;
    }
    if (options.files.GetSize() == 0) {
        std::fputs(DECRYPT_USAGE, stderr);
        return 2;
    }
    const BOOL batch = options.batch ? TRUE : FALSE;
    const char* keyPath = options.keyFile.IsEmpty() ? nullptr : static_cast<const char*>(options.keyFile);

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
    for (int i = 0; i < options.files.GetSize(); ++i)
        QueueFileNames(options.files[i], 1);
    DecryptQueuedFiles(nullptr);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
    AfxSetFrontEnd(nullptr);
    int failed = frontEnd.Errors();
    return failed > 125 ? 125 : failed;
}
