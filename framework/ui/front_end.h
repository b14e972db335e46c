// A front end renders dialogs, message boxes, file dialogs and property sheets and routes
// the user's actions back to the dialog's handlers. The program picks one at start-up.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/types.h"

class CDialog;
class CFileDialog;

// Questions a front end may ask a dialog through its WindowProc; a dialog that does not
// answer gets the template's behaviour.
// DM_GETDEFID: the button that Enter presses, as (DC_HASDEFID << 16) | id; id 0 is none.
constexpr UINT DM_GETDEFID = 0x0400;
constexpr WORD DC_HASDEFID = 0x534B;
// WM_QUERYDISABLEDREASON: why the control wParam is off now, written to the CString that
// lParam points to; non-zero when the dialog told.
constexpr UINT WM_QUERYDISABLEDREASON = 0x8000 + 0x31;
class CPropertySheet;

class FRAMEWORK_API CFrontEnd {
public:
    virtual ~CFrontEnd() = default;

    // Runs a modal dialog whose controls and handle exist and whose OnInitDialog ran;
    // returns when the dialog has ended (IsEnded) or can go on no further.
    virtual void RunModal(CDialog& dialog) = 0;
    // A modeless dialog appeared, changed (texts, progress) or went away.
    virtual void ShowModeless(CDialog& dialog) { (void)dialog; }
    virtual void Refresh(CDialog& dialog) { (void)dialog; }
    virtual void CloseModeless(CDialog& dialog) { (void)dialog; }
    // A line or two the user reads without answering (what a finished job did); drawn
    // where the front end keeps such news, nowhere without one.
    virtual void ShowStatus(const char* text) { (void)text; }
    // A message box: returns the button's id (IDOK, IDYES...).
    virtual int MessageBox(const char* text, const char* caption, UINT type) = 0;
    // A file dialog: IDOK after calling dialog.SetResult, or IDCANCEL.
    virtual INT_PTR RunFileDialog(CFileDialog& dialog) = 0;
    // A property sheet whose pages exist: IDOK (after ApplyAll succeeded) or IDCANCEL.
    virtual INT_PTR RunPropertySheet(CPropertySheet& sheet) = 0;
    // FALSE where nobody can answer (batch): questions then take their safe default.
    virtual BOOL IsInteractive() const { return TRUE; }
    // Shows the dialog's window in front of the others (restored when minimised); FALSE
    // where the front end has no windows to raise or none for this handle.
    virtual BOOL BringToFront(HWND window) { (void)window; return FALSE; }
};

// Brings the window of a dialog to the front through the current front end.
FRAMEWORK_API BOOL SetForegroundWindow(HWND window);

// The current front end (never null: a batch front end on standard error by default).
FRAMEWORK_API CFrontEnd* AfxGetFrontEnd();
// Installs a front end (not owned); null restores the default. Returns the previous one.
FRAMEWORK_API CFrontEnd* AfxSetFrontEnd(CFrontEnd* frontEnd);
// Installs a front end for the calling thread only (not owned), which AfxGetFrontEnd then
// returns there instead of the process's; null removes it. Returns the previous one (null
// when there was none).
FRAMEWORK_API CFrontEnd* AfxSetThreadFrontEnd(CFrontEnd* frontEnd);
