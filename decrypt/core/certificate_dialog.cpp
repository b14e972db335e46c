#include "decrypt/core/certificate_dialog.h"

#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/resources.h"
#include "framework/ui/message_box.h"

BOOL IsAcceptableEmailAddress(const CString& address)
{
    if (address.Find('@') <= 0)
        return FALSE;
    for (int i = 0; i < address.GetLength(); ++i) {
        unsigned char ch = static_cast<unsigned char>(address[i]);
        if (ch < 0x20 || ch > 0x7E)
            return FALSE;
    }
    return TRUE;
}

CCertificateFileDialog::CCertificateFileDialog(CDialog* parent) : CDialog(IDD_CREATE_CERTIFICATE, parent) {}

BOOL CCertificateFileDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_CERTIFICATE_PATH, m_strPath);
    SetDlgItemText(IDC_EMAIL_ADDRESS, m_strAddress);
    return TRUE;
}

BOOL CCertificateFileDialog::OnCommand(UINT id)
{
    if (id != IDC_CREATE_CERTIFICATE)
        return CDialog::OnCommand(id);
    CString address = GetDlgItemText(IDC_EMAIL_ADDRESS);
    address.TrimLeft();
    address.TrimRight();
    if (!IsAcceptableEmailAddress(address)) {
        MessageBoxA(GetSafeHwnd(), DecryptString(IDS_INVALID_ADDRESS), AfxGetAppTitle(), MB_OK | MB_ICONEXCLAMATION);
        return TRUE;   // the address edit keeps the focus
    }
    m_strAddress = address;
    EndDialog(IDC_CREATE_CERTIFICATE);
    return TRUE;
}
