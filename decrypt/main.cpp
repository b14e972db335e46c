// The decrypt program: picks the front end (windows on a desktop, a terminal screen, or
// batch without either), then runs the application as it always started.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/single_instance.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/outcome.h"
#include "framework/afx.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/system.h"
#include "framework/ui/batch_front_end.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/terminal_front_end.h"
#include "framework/ui/terminal_io.h"
#include "frontend_qt/desktop_module.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Passes everything on, keeps the first box of the run (what went wrong with the decrypting
// ID, when that is the trouble) and answers the password dialog from the descriptor the
// user named.
class CProgramFrontEnd : public CFrontEnd {
public:
    CProgramFrontEnd(CFrontEnd& inner, int passwordFd) : m_inner(inner), m_passwordFd(passwordFd) {}
    void RunModal(CDialog& dialog) override
    {
        if (dialog.GetTemplateId() == IDD_PASSWORD && m_passwordFd >= 0) {
            CString password;
            if (ReadPassword(password)) {
                dialog.HandleEditChange(IDC_PASSWORD_EDIT, password);
                password.Wipe();
                dialog.HandleCommand(IDOK);
            } else {
                if (m_passwordProblem.IsEmpty())
                    m_passwordMissing = TRUE;
                dialog.HandleCommand(IDCANCEL);
            }
            return;
        }
        if (dialog.GetTemplateId() == IDD_PASSWORD && !m_inner.IsInteractive())
            m_passwordMissing = TRUE;
        m_inner.RunModal(dialog);
    }
    void ShowModeless(CDialog& dialog) override { m_inner.ShowModeless(dialog); }
    void Refresh(CDialog& dialog) override { m_inner.Refresh(dialog); }
    void CloseModeless(CDialog& dialog) override { m_inner.CloseModeless(dialog); }
    int MessageBox(const char* text, const char* caption, UINT type) override
    {
        if (m_firstBox.IsEmpty() && text)
            m_firstBox = text;
        return m_inner.MessageBox(text, caption, type);
    }
    void ShowStatus(const char* text) override { m_inner.ShowStatus(text); }
    INT_PTR RunFileDialog(CFileDialog& dialog) override { return m_inner.RunFileDialog(dialog); }
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override { return m_inner.RunPropertySheet(sheet); }
    BOOL IsInteractive() const override { return m_inner.IsInteractive(); }
    BOOL BringToFront(HWND window) override { return m_inner.BringToFront(window); }

    // Why no decrypting ID could be set up, told from what the run showed.
    CString MissingIDReason(const CDecryptOptions& options) const
    {
        if (!m_passwordProblem.IsEmpty())
            return CString("no decrypting ID: ") + m_passwordProblem;
        if (m_passwordMissing)
            return "no decrypting ID: the key file needs its password and none was given (use --password-fd N)";
        if (options.keyFile.IsEmpty() && AfxGetDecryptionState().m_strKeyFileName.IsEmpty())
            return "no decrypting ID is set up: make one with --new KEYFILE or choose one with --change KEYFILE";
        CString box = m_firstBox;
        box.Replace("\n", " ");
        box.TrimRight();
        return CString("no decrypting ID: ") + box;
    }

private:
    // One line from the descriptor, without its line end; each password reads the next line.
    // A line longer than a password can be, or one holding a NUL byte, is refused (the rest of
    // it is not read): a password is never cut short silently.
    BOOL ReadPassword(CString& password)
    {
        std::string line;
        CFile descriptor(m_passwordFd);   // not closed with the object
        char c;
        for (;;) {
            UINT n = 0;
            try {
                n = descriptor.Read(&c, 1);
            } catch (CException* e) {
                e->Delete();
            }
            if (n == 0) {
                if (line.empty())
                    return FALSE;
                break;
            }
            if (c == '\n')
                break;
            if (c == '\0' || line.size() > static_cast<size_t>(kMaxPasswordLength)) {
                m_passwordProblem = c == '\0' ? "the password read from --password-fd holds a NUL byte"
                                               : "the password read from --password-fd is longer than a password can be";
                std::memset(line.data(), 0, line.size());
                return FALSE;
            }
            line += c;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > static_cast<size_t>(kMaxPasswordLength)) {
            m_passwordProblem = "the password read from --password-fd is longer than a password can be";
            std::memset(line.data(), 0, line.size());
            return FALSE;
        }
        password = line.c_str();
        std::memset(line.data(), 0, line.size());
        return TRUE;
    }

    CFrontEnd& m_inner;
    int m_passwordFd;
    CString m_firstBox;
    BOOL m_passwordMissing = FALSE;
    CString m_passwordProblem;
};

// The desktop front end, from its module beside the program's libraries. Without the
// module or the toolkit the program stays on the terminal (or in batch) and says why.
class CDesktopFrontEnd {
public:
    CDesktopFrontEnd() = default;
    CDesktopFrontEnd(const CDesktopFrontEnd&) = delete;
    CDesktopFrontEnd& operator=(const CDesktopFrontEnd&) = delete;
    ~CDesktopFrontEnd()
    {
        if (m_frontEnd && m_destroy)
            m_destroy(m_frontEnd);
        // The module stays loaded: the toolkit leaves work for the process's exit.
    }
    void Load(int& argc, char** argv)
    {
#ifdef QM_DESKTOP_MODULE
        CString folder = AfxGetModulePathOf(reinterpret_cast<const void*>(&AfxGetFrontEnd));
        folder = folder.Left(folder.ReverseFind('/') + 1);
        HMODULE module = LoadLibraryA(folder + QM_DESKTOP_MODULE);
        auto create = module ? reinterpret_cast<QmCreateDesktopFrontEndFn>(GetProcAddress(module, kQmCreateDesktopFrontEnd)) : nullptr;
        m_destroy = module ? reinterpret_cast<QmDestroyDesktopFrontEndFn>(GetProcAddress(module, kQmDestroyDesktopFrontEnd)) : nullptr;
        if (!create || !m_destroy) {
            std::fprintf(stderr, "decrypt: no windows (%s)\n", AfxGetLibraryError().IsEmpty() ? "the desktop module is incomplete" : AfxGetLibraryError().c_str());
            return;
        }
        // A run driven from outside (tests under a virtual display) closes the window with a
        // file, and may ask when the window first showed.
        m_frontEnd = create(&argc, argv, AfxGetEnvironmentString("QUILLMAR_CLOSE_REQUEST"),
                            !AfxGetEnvironmentString("QUILLMAR_REPORT_SHOWN").IsEmpty());
        if (!m_frontEnd)
            std::fprintf(stderr, "decrypt: no windows (no display answers: DISPLAY=%s WAYLAND_DISPLAY=%s)\n",
                         AfxGetEnvironmentString("DISPLAY").c_str(), AfxGetEnvironmentString("WAYLAND_DISPLAY").c_str());
#else
        (void)argc;
        (void)argv;
#endif
    }
    CFrontEnd* Get() const { return m_frontEnd; }

private:
    CFrontEnd* m_frontEnd = nullptr;
    QmDestroyDesktopFrontEndFn m_destroy = nullptr;
};

// Counts the files not decrypted and, without a screen, tells what became of each: a
// summary on standard output and the reason on standard error, or JSON lines.
class CProgramOutcomes : public COutcomeListener {
public:
    CProgramOutcomes(BOOL print, BOOL json) : m_print(print), m_json(json) {}
    void FileDone(const CFileOutcome& outcome) override
    {
        if (!outcome.decrypted)
            ++m_failures;
        if (!m_print)
            return;
        if (m_json) {
            std::string line = outcome.ToJson();
            line += '\n';
            std::fputs(line.c_str(), stdout);
        } else if (outcome.decrypted) {
            std::fprintf(stdout, "%s\n", outcome.Summary().c_str());
        } else {
            std::fprintf(stderr, "decrypt: %s\n", outcome.Summary().c_str());
        }
        std::fflush(stdout);
    }
    int Failures() const { return m_failures; }

private:
    BOOL m_print;
    BOOL m_json;
    int m_failures = 0;
};

}  // namespace

#if defined(__SANITIZE_THREAD__)
// The C library keeps its time-zone state under a lock of its own, which the thread sanitizer
// does not see: files decrypted at once each read the local time, and that is no race.
extern "C" const char* __tsan_default_suppressions() { return "race:tzset_internal\n"; }
#endif

int main(int argc, char** argv)
{
    CDecryptOptions options = ParseDecryptOptions(argc, argv);
    if (!options.error.IsEmpty()) {
        std::fprintf(stderr, "decrypt: %s\n%s", static_cast<const char*>(options.error), DECRYPT_USAGE);
        return kExitUsage;
    }
    if (options.command == CDecryptOptions::Help) {
        std::fputs(DECRYPT_USAGE, stdout);
        return 0;
    }
    if (options.command == CDecryptOptions::Version) {
        std::fputs("Quillmar Postlantern Unsealer Version 1.0\n", stdout);
        return 0;
    }
    // An interrupted run leaves no half-written output folder behind.
    AfxInstallInterruptCleanup();
    // Windows where a desktop shows them, unless the terminal screen or no screen is asked
    // for; the commands that only print stay on the terminal. The resources come first: the
    // windows take the program's icon from them.
    RegisterDecryptResources();
    CDesktopFrontEnd desktopFrontEnd;
    if (!options.batch && !options.terminal && AfxHasDesktopDisplay() && options.command != CDecryptOptions::Inspect &&
        options.command != CDecryptOptions::Unregister)
        desktopFrontEnd.Load(argc, argv);
    const BOOL desktop = desktopFrontEnd.Get() != nullptr;
    const BOOL interactive = desktop || (!options.batch && AfxIsTerminal(0) && AfxIsTerminal(1));
    if (!interactive && options.command == CDecryptOptions::None && options.files.GetSize() == 0) {
        // Started from the desktop without a file: a running instance is all there is to
        // find; without one there is nothing to do here.
        if (MayHandOver(options)) {
            const HandOver handOver = HandOverToRunningInstance(CStringArray());
            if (handOver == HandOver::handedOver)
                return 0;
            if (handOver == HandOver::notTaken) {
                std::fputs("decrypt: the running instance does not answer\n", stderr);
                return kExitNotHandedOver;
            }
        }
        std::fputs(DECRYPT_USAGE, stderr);
        return kExitUsage;
    }
    if (options.command == CDecryptOptions::Inspect && options.files.GetSize() == 0) {
        std::fprintf(stderr, "decrypt: --inspect needs the files to look at\n%s", DECRYPT_USAGE);
        return kExitUsage;
    }
    if (!interactive && options.command == CDecryptOptions::New) {
        std::fputs("decrypt: making a new digital ID needs a terminal or a desktop to type on\n", stderr);
        return 1;   // a command not done
    }

    CTerminal terminal;
    CTerminalFrontEnd terminalFrontEnd(terminal);
    CBatchFrontEnd batchFrontEnd;
    CFrontEnd* chosen = desktop ? desktopFrontEnd.Get() : interactive ? static_cast<CFrontEnd*>(&terminalFrontEnd) : &batchFrontEnd;
    CProgramFrontEnd frontEnd(*chosen, options.passwordFd);
    AfxSetFrontEnd(&frontEnd);
    CProgramOutcomes outcomes(!interactive, options.json);
    AfxSetOutcomeListener(&outcomes);

    int status;
    {
        CDecryptApp app(options, interactive);
#ifndef QM_DESKTOP_MODULE
        app.m_bHasWindows = FALSE;
#endif
        status = AfxWinMain(argc, argv);
        if (options.command == CDecryptOptions::None) {
            if (app.m_bNotHandedOver) {
                status = kExitNotHandedOver;
            } else if (app.m_bNoDecryptingID && !interactive) {
                const CString reason = frontEnd.MissingIDReason(options);
                for (int i = 0; i < options.files.GetSize(); ++i)
                    ReportFileNotDecrypted(options.files[i], reason);
                status = kExitNoDecryptingID;
            } else {
                // The screen's own session ends well however its files went.
                status = interactive ? 0 : ExitStatusForFailures(outcomes.Failures());
            }
        }
        app.m_state.SetDecryptingID(CKeyInfo());
    }
    AfxSetOutcomeListener(nullptr);
    AfxSetFrontEnd(nullptr);
    return status;
}
