// The password dialog of the key file: one password edit (at most 50 characters), a prompt
// and a "save in a password list" box that only a non-zero option enables. A new password
// is asked twice.
#pragma once

#include "framework/cstring.h"
#include "framework/ui/dialog.h"

class CPasswordDialog : public CDialog {
public:
    explicit CPasswordDialog(CDialog* parent = nullptr, int option = 0);
    ~CPasswordDialog() override;

    // The prompt shown above the edit ("Reenter password:" unless set before DoModal).
    void SetPrompt(const char* prompt) { m_strPrompt = prompt; }

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
    CString m_strPrompt = "Reenter password:";
    CString m_strPassword;
    BOOL m_bSaveInList = FALSE;
};

// Asks for the password (owner parent); TRUE with the password on OK, FALSE on cancel.
// Inside a CNewPasswordScope the password is a new one: it is typed twice, "Password:"
// then "Reenter password:", and asked again until both agree.
BOOL AskPassword(CDialog* parent, CString& password);

// Marks, on this thread and while it lives, that the passwords asked are new ones (a key
// file being saved with a password chosen now).
class CNewPasswordScope {
public:
    CNewPasswordScope();
    ~CNewPasswordScope();
    CNewPasswordScope(const CNewPasswordScope&) = delete;
    CNewPasswordScope& operator=(const CNewPasswordScope&) = delete;
};

// Told when the two typings of a new password differ.
constexpr const char* kPasswordsDiffer = "The two passwords differ. Please type the new password again.";
