// The terminal front end: dialogs as text forms (buttons by access key, fields by number,
// pasted paths as dropped files), progress windows as one line redrawn in place, message
// boxes with their buttons, file dialogs as a path prompt.
#pragma once

#include "framework/framework_export.h"
#include "framework/ui/front_end.h"
#include "framework/ui/terminal_io.h"

#include <vector>

struct CDialogControl;

class FRAMEWORK_API CTerminalFrontEnd : public CFrontEnd {
public:
    explicit CTerminalFrontEnd(CTerminal& terminal) : m_term(terminal) {}

    void RunModal(CDialog& dialog) override;
    void ShowModeless(CDialog& dialog) override;
    void Refresh(CDialog& dialog) override;
    void CloseModeless(CDialog& dialog) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    void ShowStatus(const char* text) override;
    INT_PTR RunFileDialog(CFileDialog& dialog) override;
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override;

    // The text of a form as it is drawn (for tests and for redrawing).
    static CString RenderForm(const CDialog& dialog);
    // Splits pasted text into paths: shell quoting, backslash escapes and file:// URLs.
    static std::vector<CString> ParseDroppedPaths(const char* text);
    // The access key of a button text ("&Decrypt" gives 'D'), 0 without one.
    static char AccessKey(const char* text);

private:
    // Reads and acts on one command for the dialog; FALSE when the input ended.
    BOOL HandleInput(CDialog& dialog, const CString& line);
    BOOL EditField(CDialog& dialog, const CDialogControl& control);
    BOOL WaitForLine(CDialog* dialog, CString& line, BOOL echo = TRUE);
    void DrawProgress(CDialog& dialog);

    CTerminal& m_term;
    CDialog* m_modeless = nullptr;
    BOOL m_progressLineOpen = FALSE;
    CString m_lastProgressLine;
};
