// The terminal front end: dialogs as text forms (buttons by access key, fields by number on
// screens that have a field to change, pasted paths as dropped files, q or Esc to close),
// progress windows as one line redrawn in place (never over a waiting prompt), message
// boxes with their buttons wrapped to the terminal's width, file dialogs as a path prompt.
// Passwords are read key by key without echo, one '*' shown per character.
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
    // The text broken at blanks so that no line is longer than width (a longer word is cut);
    // its own line ends stay, and a broken line's continuation keeps its indent.
    static CString WrapText(const char* text, int width);

private:
    // Reads and acts on one command for the dialog; FALSE when the input ended.
    BOOL HandleInput(CDialog& dialog, const CString& line);
    BOOL EditField(CDialog& dialog, const CDialogControl& control);
    BOOL WaitForLine(CDialog* dialog, CString& line, BOOL echo = TRUE);
    // A password: keys unechoed, '*' for each; FALSE when the input ended, cancel set by
    // Esc or Ctrl-C.
    BOOL ReadSecret(CDialog* dialog, CString& line, BOOL& cancel);
    void DrawProgress(CDialog& dialog);
    // Writes a prompt that waits for a line; WaitForLine shows it again when work done
    // meanwhile wrote below it.
    void Prompt(const CString& text);
    // Ends the open progress line or waiting prompt, so what follows starts a line of its own.
    void EndOpenLine();
    // Tells why a command that is off cannot run (the dialog's reason when it gives one).
    void SayUnavailable(CDialog& dialog, const CDialogControl& button);

    CTerminal& m_term;
    CDialog* m_modeless = nullptr;
    BOOL m_progressLineOpen = FALSE;
    CString m_lastProgressLine;
    CString m_openPrompt;       // the prompt waiting for a line (empty once anything ended it)
    BOOL m_redraw = TRUE;       // the form is drawn again before the next prompt
};
