// The main dialog: the current ID, the commands, dropped files and hand-overs from later
// instances, which are decrypted from a timer once the sender has let go.
#include "decrypt/app/decrypt_dlg.h"

#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/single_instance.h"
#include "decrypt/app/view_id.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/key_file.h"
#include "decrypt/ids/digital_id.h"
#include "framework/app.h"
#include "framework/ui/front_end.h"
#include "framework/ui/message_box.h"

#include <cstring>
#include <strings.h>

CAboutDlg::CAboutDlg(CDialog* parent) : CDialog(IDD_ABOUTBOX, parent) {}

CDecryptDlg::CDecryptDlg(DecryptionState* state, CDialog* parent)
    : CDialog(IDD_DECRYPT_DIALOG, parent), m_pState(state)
{
}

void CDecryptDlg::ShowDecryptingID()
{
    const BOOL set = m_pState->m_nIDIsSet != 0;
    SetDlgItemText(IDC_ID_NAME, set ? static_cast<const char*>(m_pState->m_strName) : "[No ID Set]");
    EnableControl(IDC_DECRYPT, set);
    EnableControl(IDC_VIEW, set);
    DragAcceptFiles(set);
}

BOOL CDecryptDlg::OnInitDialog()
{
    const CString about = DecryptString(IDS_ABOUTBOX);
    if (!about.IsEmpty())
        AppendSystemMenuItem(IDM_ABOUTBOX, about);
    ShowDecryptingID();
    if (m_pChannel)
        SetTimer(CHANNEL_TIMER_ID, CHANNEL_TIMER_ELAPSE);
    // Names queued at start-up are decrypted once the window shows.
    StartDecryptTimer();
    return TRUE;
}

void CDecryptDlg::StartDecryptTimer()
{
    if (!SetTimer(m_nTimerID, HANDOVER_TIMER_ELAPSE)) {
        DecryptQueuedFiles(this);
        m_nTimerID = 1;
    }
}

BOOL CDecryptDlg::OnCommand(UINT id)
{
    switch (id) {
    case IDC_DECRYPT:
        OnDecrypt();
        return TRUE;
    case IDC_VIEW:
        ViewDecryptingID(this);
        return TRUE;
    case IDC_CHANGE:
        OnChange();
        return TRUE;
    case IDC_NEW:
        OnNew();
        return TRUE;
    case IDC_ABOUT: {
        CAboutDlg about(this);
        about.DoModal();
        return TRUE;
    }
    case IDC_HELP_BUTTON:
        AfxMessageBox(DecryptString(IDS_SHELL_HELP), MB_OK | MB_ICONINFORMATION);
        return TRUE;
    default:
        return CDialog::OnCommand(id);
    }
}

LRESULT CDecryptDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SYSCOMMAND && (static_cast<UINT>(wParam) & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return 0;
    }
    // Enter alone starts nothing here: every command is chosen by its own key.
    if (message == DM_GETDEFID)
        return static_cast<LRESULT>(static_cast<DWORD>(DC_HASDEFID) << 16);
    if (message == WM_QUERYDISABLEDREASON && lParam && !m_pState->m_nIDIsSet &&
        (wParam == IDC_DECRYPT || wParam == IDC_VIEW)) {
        *reinterpret_cast<CString*>(lParam) = "needs a decrypting ID: use New or Change";
        return 1;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CDecryptDlg::OnTimer(UINT_PTR id)
{
    if (id == CHANNEL_TIMER_ID) {
        if (m_pChannel)
            DeliverHandOvers(*m_pChannel, GetSafeHwnd());
        return;
    }
    if (id != m_nTimerID)
        return;
    // Names handed over while the user is in a dialog of this window (About, View, a file
    // dialog...) wait until it ends: the queue is decrypted from the main window only.
    if (AfxGetModalDepth() > 1)
        return;
    // Stopped before decrypting: the driver pumps messages, and a repeating timer would
    // otherwise start the queue again from inside itself.
    KillTimer(id);
    DecryptQueuedFiles(this);
}

BOOL CDecryptDlg::OnCopyData(HWND, const COPYDATASTRUCT* data)
{
    try {
        if (!QueueHandedOverNames(data))
            return FALSE;
        StartDecryptTimer();
        return TRUE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
}

void CDecryptDlg::OnDropFiles(const CStringArray& paths)
{
    if (!m_pState->m_nIDIsSet)
        return;
    for (int i = 0; i < paths.GetSize(); ++i)
        QueueFileNames(paths[i], 1);
    DecryptQueuedFiles(this);
}

CString CDecryptDlg::DecryptFilter()
{
    CString filter;
    CString entry;
    entry.Format("%s (*.%s) | *.%s|", "S/MIME content file", "p7m", "p7m");
    filter += entry;
    entry.Format("%s (*.%s) | *.%s|", "S/MIME human-readable content file", "sig", "sig");
    filter += entry;
    filter += "|";
    return filter;
}

BOOL CDecryptDlg::Base64ForChoice(const CString& path, DWORD filterIndex)
{
    if (filterIndex == 0) {
        int slash = path.ReverseFind('/');
        int dot = path.ReverseFind('.');
        return dot > slash && ::strcasecmp(path.Mid(dot + 1).c_str(), "sig") == 0;
    }
    return filterIndex - 1 != 0;
}

void CDecryptDlg::OnDecrypt()
{
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN,
                       DecryptFilter(), this);
    if (dialog.DoModal() != IDOK)
        return;
    UpdateWindow();
    CString path = dialog.GetPathName();
    DecryptOneFile(path, Base64ForChoice(path, dialog.m_nFilterIndex), this);
}

void CDecryptDlg::OnNew()
{
    if (CreateDigitalID(this) != 1)
        return;
    ShowDecryptingID();
    if (CWinApp* app = AfxGetWinApp())
        WriteUserSettings(*app, *m_pState);
}

void CDecryptDlg::OnChange()
{
    ChangeDecryptingID(this);
    ShowDecryptingID();
}

int ChangeDecryptingIDTo(CDialog* parent, const char* keyFile, int format)
{
    DecryptionState& state = AfxGetDecryptionState();
    DecryptionState saved(state);
    state.m_strKeyFileName = keyFile;
    if (LoadKeyFile(parent, format) != 1) {
        state = saved;
        return 0;
    }
    if (CWinApp* app = AfxGetWinApp())
        WriteUserSettings(*app, state);
    return 1;
}

int ChangeDecryptingID(CDialog* parent)
{
    char path[260] = {};
    int kind = BrowseForFile(parent, path, sizeof path, TRUE, 0x10);
    if (kind == 0)
        return 0;
    // The kinds of mask 0x10 are the archive key file (1) and the DER key file (2).
    return ChangeDecryptingIDTo(parent, path, kind);
}

