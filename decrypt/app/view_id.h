// The "General" page that shows a decrypting ID: its name, its type (by modulus length)
// and the numbers of its key.
#pragma once

#include "framework/cstring.h"
#include "framework/ui/dialog.h"

class CKeyInfo;

// The "General" page of the decrypting ID: a private ID, and any other key.
constexpr UINT IDD_VIEW_PRIVATE_ID = 32078;
constexpr UINT IDD_VIEW_PUBLIC_KEY = 32086;
constexpr UINT IDC_VIEW_NAME = 1070;
constexpr UINT IDC_VIEW_TYPE = 1071;
constexpr UINT IDC_VIEW_PUBLIC_EXPONENT = 1072;
constexpr UINT IDC_VIEW_PRIVATE_EXPONENT = 1073;
constexpr UINT IDC_VIEW_MODULUS = 1074;
constexpr UINT IDC_VIEW_LENGTH = 1075;

class CIDGeneralPage : public CPropertyPage {
public:
    // The page of a private ID (dialog 32078) or of any other key (32086). With readOnly
    // the name cannot be changed and the OK button of the key page is hidden.
    CIDGeneralPage(const CKeyInfo& id, BOOL readOnly);

    BOOL OnInitDialog() override;
    // An editable name must have 1 to 256 characters.
    BOOL OnKillActive() override;

    CString m_strName;

private:
    BOOL m_bPrivate;
    BOOL m_bReadOnly;
    CString m_strType, m_strPublicExponent, m_strPrivateExponent, m_strModulus, m_strLength;
};

// The type text of a modulus length: "Universal" (508), "Standard" (1024), "Premium"
// (2048), else the length as "%d-bits".
CString IDTypeText(int modulusBits);
// A right-aligned big-endian number as upper-case hex of its minimal bytes (at least one).
CString NumberToHex(const BYTE* number, int size);
// The same, in groups of two hex characters separated by single blanks.
CString NumberToSpacedHex(const BYTE* number, int size);

// Shows the current decrypting ID in a property sheet.
void ViewDecryptingID(CDialog* parent);
