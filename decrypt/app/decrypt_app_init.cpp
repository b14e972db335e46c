// Start-up of the program and its commands.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/decrypt_dlg.h"
#include "decrypt/app/doc_types.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/single_instance.h"
#include "decrypt/app/view_id.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/inspect.h"
#include "decrypt/core/key_file.h"
#include "decrypt/ids/digital_id.h"
#include "framework/afx.h"
#include "framework/system.h"
#include "framework/ui/message_box.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

BOOL LoadPkcs1Key(const char* path, std::string& der)
{
    BOOL ok = FALSE;
    try {
        CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
        std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
        auto key = std::make_unique<CRSAPrivateKey>();
        CASN1_PrivateKey::SetDataTo(*value, *key);
        std::memset(encoding.GetData(), 0, static_cast<size_t>(encoding.GetSize()));
        DecryptionState& state = AfxGetDecryptionState();
        state.SetDecryptingID(CKeyInfo(path, CKeyInfo::RSAPrivateKey, key.release(), 0));
        state.m_nIDIsSet = 1;
        ok = TRUE;
    } catch (CException* e) {
        e->Delete();
    }
    return ok;
}

}  // namespace

BOOL UseKeyForThisRun(const char* path)
{
    std::string content;
    if (!AfxReadWholeFile(path, content, 1u << 20) || content.empty()) {
        CString text;
        text.Format("Unexpected error occured: cannot open file.\n%s", path);
        AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    // A key file starts with its 32-bit protection flag (0 or 1); a DER key with SEQUENCE.
    const bool der = static_cast<unsigned char>(content[0]) == 0x30;
    BOOL ok = FALSE;
    if (der) {
        ok = LoadPkcs1Key(path, content);
        if (!ok) {
            CString text;
            text.Format("The file doesn't contain any valid keys.\n%s", path);
            AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
        }
    } else {
        DecryptionState& state = AfxGetDecryptionState();
        CString previous = state.m_strKeyFileName;
        state.m_strKeyFileName = path;
        ok = LoadKeyFile(nullptr, 0) == 1;
        if (!ok)
            state.m_strKeyFileName = previous;
    }
    std::memset(content.data(), 0, content.size());
    return ok;
}

CDecryptApp::CDecryptApp(const CDecryptOptions& options, BOOL interactive)
    : CWinApp("decrypt"), m_state(AfxGetDecryptionState()), m_bWin32s(AfxIsWin32s()), m_options(options),
      m_bInteractive(interactive)
{
    m_state.m_strDefaultViewer = "NOTEPAD.EXE";
}

BOOL CDecryptApp::LoadDecryptingID()
{
    if (!m_options.keyFile.IsEmpty())
        return UseKeyForThisRun(m_options.keyFile);
    return LoadKeyFile(nullptr, 0) == 1;
}

BOOL CDecryptApp::InitInstance()
{
    RegisterDecryptResources();
    m_lpCmdLine = "";

    // 1. One instance: a later start hands its files to the running one, which then alone
    //    decrypts them. A run of its own or a command wants its own result and runs alone.
    if (MayHandOver(m_options)) {
        const HandOver handOver = HandOverToRunningInstance(m_options.files);
        if (handOver == HandOver::handedOver)
            return FALSE;
        if (handOver == HandOver::notTaken) {
            // It may still have them: decrypting here as well could make them twice.
            AfxMessageBox("The running Unsealer did not take the files; none was decrypted. Try again.",
                          MB_OK | MB_ICONEXCLAMATION);
            m_bNotHandedOver = TRUE;
            return FALSE;
        }
    }

    // Taking back the desktop registration needs neither the settings nor an ID.
    if (m_options.command == CDecryptOptions::Unregister) {
        const int removed = UnregisterShellFileTypes(AfxGetUserDataFolder());
        if (removed >= 0)
            std::printf("decrypt: %d registered file(s) removed from %s\n", removed, AfxGetUserDataFolder().c_str());
        else
            std::fprintf(stderr, "decrypt: a registered file in %s could not be removed\n", AfxGetUserDataFolder().c_str());
        m_nCommandResult = removed < 0 ? 1 : 0;
        return FALSE;
    }

    // 2. and 3. The settings, then the decrypting ID, silently when it can.
    if (!m_bWin32s)
        SelectProfileLocation(*this, UNSEALER_PRODUCT_NUMBER);
    CString settingsProblem;
    ReadUserSettings(*this, m_state, &settingsProblem);
    if (m_options.openSigned)
        m_state.m_nOpenSignedContent = 1;
    if (m_options.command != CDecryptOptions::Change && m_options.command != CDecryptOptions::New) {
        // The stored key file is known to be missing: its reason is told instead of a bare
        // "cannot open file".
        if (!settingsProblem.IsEmpty() && m_options.keyFile.IsEmpty())
            AfxMessageBox(settingsProblem, MB_OK | MB_ICONEXCLAMATION);
        else
            LoadDecryptingID();
    }

    // 5. The document types, so that opening a .p7m or .sig file starts the program: only
    //    when someone sits at it, never for a batch run or a script.
    char program[4096] = {};
    if (m_bInteractive && GetModuleFileNameA(nullptr, program, sizeof program) > 0 &&
        std::strlen(program) < sizeof program - 1)
        RegisterShellFileTypes(AfxGetUserDataFolder(), program, m_bHasWindows != FALSE);

    if (m_options.command != CDecryptOptions::None)
        return RunCommand();

    // 6. The files of the command line, each name as it was given.
    if (m_state.m_nIDIsSet) {
        QueueFileNames(m_options.files);
    } else if (m_options.files.GetSize() > 0) {
        AfxMessageBox(DecryptString(IDS_DECRYPT_NO_ID), MB_OK | MB_ICONEXCLAMATION);
        m_bNoDecryptingID = TRUE;
    }

    // 7. The main dialog; without anyone to use it, the queue is decrypted at once.
    if (!m_bInteractive) {
        if (m_state.m_nIDIsSet)
            DecryptQueuedFiles(nullptr, m_options.jobs);
        return FALSE;
    }
    CInstanceChannel channel;
    const bool listening = ListenForOtherInstances(channel);
    CDecryptDlg dlg(&m_state);
    if (listening)
        dlg.SetInstanceChannel(&channel);
    m_pMainDlg = &dlg;
    dlg.DoModal();
    m_pMainDlg = nullptr;
    return FALSE;
}

BOOL CDecryptApp::RunCommand()
{
    m_nCommandResult = 1;
    switch (m_options.command) {
    case CDecryptOptions::Change:
        m_nCommandResult = ChangeDecryptingIDTo(nullptr, m_options.commandFile, 0) == 1 ? 0 : 1;
        break;
    case CDecryptOptions::New:
        if (CreateDigitalID(nullptr, m_options.commandFile) == 1) {
            WriteUserSettings(*this, m_state);
            m_nCommandResult = 0;
        }
        break;
    case CDecryptOptions::View:
        if (m_state.m_nIDIsSet) {
            ViewDecryptingID(nullptr);
            m_nCommandResult = 0;
        } else {
            AfxMessageBox(DecryptString(IDS_DECRYPT_NO_ID), MB_OK | MB_ICONEXCLAMATION);
        }
        break;
    case CDecryptOptions::About: {
        CAboutDlg about;
        about.DoModal();
        m_nCommandResult = 0;
        break;
    }
    case CDecryptOptions::Inspect: {
        int closed = 0;
        for (int i = 0; i < m_options.files.GetSize(); ++i) {
            CString report;
            if (!InspectFile(m_options.files[i], report))
                ++closed;
            std::fputs(report.c_str(), stdout);
            if (!report.IsEmpty() && report[report.GetLength() - 1] != '\n')
                std::fputs("\n", stdout);
        }
        m_nCommandResult = ExitStatusForFailures(closed);
        break;
    }
    default:
        break;
    }
    return FALSE;
}

int CDecryptApp::ExitInstance()
{
    m_nExitCode = m_nCommandResult;
    return CWinApp::ExitInstance();
}
