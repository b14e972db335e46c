#include "decrypt/core/password_dialog.h"

#include "decrypt/core/key_file_ids.h"
#include "framework/ui/message_box.h"

namespace {
thread_local int t_newPasswordScopes = 0;
}

CNewPasswordScope::CNewPasswordScope() { ++t_newPasswordScopes; }
CNewPasswordScope::~CNewPasswordScope() { --t_newPasswordScopes; }

CPasswordDialog::CPasswordDialog(CDialog* parent, int option) : CDialog(IDD_PASSWORD, parent), m_nOption(option) {}

CPasswordDialog::~CPasswordDialog()
{
    WipeEdit();
    m_strPassword.Wipe();
}

BOOL CPasswordDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    LimitText(IDC_PASSWORD_EDIT, kMaxPasswordLength);
    SetDlgItemText(IDC_PASSWORD_PROMPT, m_strPrompt);
    CheckDlgButton(IDC_PASSWORD_SAVE, TRUE);
    EnableControl(IDC_PASSWORD_SAVE, m_nOption != 0);
    return TRUE;
}

void CPasswordDialog::OnOK()
{
    m_strPassword.Wipe();
    // Copied straight from the control so no temporary copy is left behind unwiped.
    if (const CDialogControl* edit = GetControl(IDC_PASSWORD_EDIT))
        m_strPassword = edit->text;
    if (m_strPassword.GetLength() > kMaxPasswordLength) {
        CString cut = m_strPassword.Left(kMaxPasswordLength);
        m_strPassword.Wipe();
        m_strPassword = cut;
        cut.Wipe();
    }
    m_bSaveInList = IsControlEnabled(IDC_PASSWORD_SAVE) && IsDlgButtonChecked(IDC_PASSWORD_SAVE);
    WipeEdit();
    CDialog::OnOK();
}

void CPasswordDialog::OnCancel()
{
    WipeEdit();
    CDialog::OnCancel();
}

void CPasswordDialog::WipeEdit()
{
    if (CDialogControl* edit = GetControl(IDC_PASSWORD_EDIT))
        edit->text.Wipe();
}

BOOL AskPassword(CDialog* parent, CString& password)
{
    if (t_newPasswordScopes == 0) {
        CPasswordDialog dialog(parent, 0);
        if (dialog.DoModal() != IDOK)
            return FALSE;
        password.Wipe();
        password = dialog.GetPassword();
        return TRUE;
    }
    for (;;) {
        CPasswordDialog first(parent, 0);
        first.SetPrompt("Password:");
        if (first.DoModal() != IDOK)
            return FALSE;
        CPasswordDialog again(parent, 0);
        if (again.DoModal() != IDOK)
            return FALSE;
        if (first.GetPassword() == again.GetPassword()) {
            password.Wipe();
            password = first.GetPassword();
            return TRUE;
        }
        AfxMessageBox(kPasswordsDiffer, MB_OK | MB_ICONEXCLAMATION);
    }
}
