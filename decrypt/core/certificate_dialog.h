// The question shown when an ID's certificate file is missing: where it would go and the
// e-mail address the certificate names.
#pragma once

#include "framework/cstring.h"
#include "framework/ui/dialog.h"

// An address the certificate can carry: something before the first at sign, and only
// printable ASCII (the address is stored as an IA5String).
BOOL IsAcceptableEmailAddress(const CString& address);

class CCertificateFileDialog : public CDialog {
public:
    explicit CCertificateFileDialog(CDialog* parent = nullptr);

    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id) override;

    CString m_strPath;      // shown read-only
    CString m_strAddress;   // in: the address so far; out: the one entered
};
