// The password dialog of the key file: one password edit (at most 50 characters), a prompt
// and a "save in a password list" box that only a non-zero option enables.
#pragma once

#include "framework/cstring.h"
#include "framework/ui/dialog.h"

class CPasswordDialog : public CDialog {
public:
    explicit CPasswordDialog(CDialog* parent = nullptr, int option = 0);
    ~CPasswordDialog() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    // After OK: the typed password (wiped with the dialog) and whether the box was ticked
    // (a disabled box reads as unticked).
    const CString& GetPassword() const { return m_strPassword; }
    BOOL SaveInPasswordList() const { return m_bSaveInList; }

private:
    void WipeEdit();

    int m_nOption;
    CString m_strPassword;
    BOOL m_bSaveInList = FALSE;
};

// Asks for the password (owner parent); TRUE with the password on OK, FALSE on cancel.
BOOL AskPassword(CDialog* parent, CString& password);
