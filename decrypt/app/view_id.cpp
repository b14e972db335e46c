#include "decrypt/app/view_id.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/locked_file.h"
#include "framework/ui/message_box.h"
#include "sigilbox/engines/hex_text.h"
#include "sigilbox/engines/rsa_keys.h"

namespace {

constexpr int kMinNameLength = 1;
constexpr int kMaxNameLength = 256;

}  // namespace

CString IDTypeText(int modulusBits)
{
    switch (modulusBits) {
    case 508: return "Universal";
    case 1024: return "Standard";
    case 2048: return "Premium";
    default: {
        CString text;
        text.Format("%d-bits", modulusBits);
        return text;
    }
    }
}

CString NumberToHex(const BYTE* number, int size)
{
    int first = 0;
    while (first < size - 1 && number[first] == 0)
        ++first;
    return size > 0 ? OctetsToHexChars(number + first, size - first) : CString("00");
}

CString NumberToSpacedHex(const BYTE* number, int size)
{
    CString plain = NumberToHex(number, size);
    CString spaced;
    for (int i = 0; i < plain.GetLength(); i += 2) {
        if (i)
            spaced += ' ';
        spaced += plain.Mid(i, 2);
    }
    plain.Wipe();
    return spaced;
}

CIDGeneralPage::CIDGeneralPage(const CKeyInfo& id, BOOL readOnly)
    : CPropertyPage(id.GetPrivateKey() ? IDD_VIEW_PRIVATE_ID : IDD_VIEW_PUBLIC_KEY),
      m_strName(id.m_strName),
      m_bPrivate(id.GetPrivateKey() != nullptr),
      m_bReadOnly(readOnly)
{
    if (const CRSAPublicKey* key = id.GetPublicKey()) {
        m_strType = IDTypeText(key->m_nModulusBits);
        m_strPublicExponent = NumberToHex(key->m_PublicExponent, CRSAPublicKey::NumberSize);
        m_strModulus = NumberToHex(key->m_Modulus, CRSAPublicKey::NumberSize);
        m_strLength.Format("%d bits", static_cast<int>(key->m_nModulusBits));
    }
    if (const CRSAPrivateKey* key = id.GetPrivateKey())
        m_strPrivateExponent = NumberToSpacedHex(key->m_PrivateExponent, CRSAPublicKey::NumberSize);
}

BOOL CIDGeneralPage::OnInitDialog()
{
    CPropertyPage::OnInitDialog();
    SetDlgItemText(IDC_VIEW_NAME, m_strName);
    SetDlgItemText(IDC_VIEW_TYPE, m_strType);
    SetDlgItemText(IDC_VIEW_PUBLIC_EXPONENT, m_strPublicExponent);
    SetDlgItemText(IDC_VIEW_MODULUS, m_strModulus);
    SetDlgItemText(IDC_VIEW_LENGTH, m_strLength);
    if (m_bPrivate) {
        SetDlgItemText(IDC_VIEW_PRIVATE_EXPONENT, m_strPrivateExponent);
        // The text lives on in the control; this copy is no longer needed.
        m_strPrivateExponent.Wipe();
    }
    if (m_bReadOnly) {
        if (CDialogControl* name = GetControl(IDC_VIEW_NAME))
            name->style |= CS_READONLY;
        if (!m_bPrivate)
            ShowControl(IDOK, FALSE);
    }
    return TRUE;
}

BOOL CIDGeneralPage::OnKillActive()
{
    if (m_bReadOnly || !m_bPrivate)
        return TRUE;
    CString name = GetDlgItemText(IDC_VIEW_NAME);
    if (name.GetLength() < kMinNameLength || name.GetLength() > kMaxNameLength) {
        CString text;
        text.Format("There must be at least %d  characters and at most %d  characters", kMinNameLength, kMaxNameLength);
        MessageBoxA(GetSafeHwnd(), text, AfxGetAppTitle(), MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    m_strName = name;
    return TRUE;
}

void ViewDecryptingID(CDialog* parent)
{
    CIDGeneralPage page(AfxGetDecryptionState(), TRUE);
    CPropertySheet sheet("View decrypting ID", parent);
    sheet.AddPage(&page);
    sheet.DoModal();
}
