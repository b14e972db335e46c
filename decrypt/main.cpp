// The decrypt program: picks the front end (a terminal screen, or batch without one), then
// runs the application as it always started.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/single_instance.h"
#include "decrypt/core/key_file_ids.h"
#include "framework/afx.h"
#include "framework/file.h"
#include "framework/system.h"
#include "framework/ui/batch_front_end.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/terminal_front_end.h"
#include "framework/ui/terminal_io.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Passes everything on, counts the boxes that report a failed file and answers the password
// dialog from the descriptor the user named.
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
                dialog.HandleCommand(IDCANCEL);
            }
            return;
        }
        m_inner.RunModal(dialog);
    }
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
    // One line from the descriptor, without its line end; each password reads the next line.
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
            line += c;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        password = line.c_str();
        std::memset(line.data(), 0, line.size());
        return TRUE;
    }

    CFrontEnd& m_inner;
    int m_passwordFd;
    int m_errors = 0;
};

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
    const BOOL interactive = !options.batch && AfxIsTerminal(0) && AfxIsTerminal(1);
    if (!interactive && options.command == CDecryptOptions::None && options.files.GetSize() == 0) {
        // Started from the desktop without a file: a running instance is all there is to
        // find; without one there is nothing to do here.
        if (!options.batch && HandOverToRunningInstance(""))
            return 0;
        std::fputs(DECRYPT_USAGE, stderr);
        return 2;
    }
    if (!interactive && options.command == CDecryptOptions::New) {
        std::fputs("decrypt: making a new digital ID needs a terminal to type on\n", stderr);
        return 2;
    }

    RegisterDecryptResources();
    CTerminal terminal;
    CTerminalFrontEnd terminalFrontEnd(terminal);
    CBatchFrontEnd batchFrontEnd;
    CFrontEnd& chosen = interactive ? static_cast<CFrontEnd&>(terminalFrontEnd) : batchFrontEnd;
    CProgramFrontEnd frontEnd(chosen, options.passwordFd);
    AfxSetFrontEnd(&frontEnd);

    int status;
    {
        CDecryptApp app(options, interactive);
        status = AfxWinMain(argc, argv);
        if (options.command == CDecryptOptions::None)
            status = frontEnd.Errors() > 125 ? 125 : frontEnd.Errors();
        app.m_state.SetDecryptingID(CKeyInfo());
    }
    AfxSetFrontEnd(nullptr);
    return status;
}
