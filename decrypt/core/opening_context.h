// The context the decrypt driver gives the MIME processor when the user asked to open
// signed content: a clear-signed part yields its content (the signature becomes a file),
// and a PKCS #7 part inside the message is unwrapped as the outer layers are. Signatures
// are not checked.
#pragma once

#include "decrypt/mime/mime_context.h"
#include "sigilbox/engines/progress.h"

class CDialog;

class COpeningContext : public CMimeContext {
public:
    explicit COpeningContext(CDialog* parent) : m_pParent(parent) {}

    BOOL OpensSignedContent() const override { return TRUE; }
    // Writes the object's innermost data to `destination`; an object that carries
    // certificates and no content is copied whole and answered with kPkcs7KeepAsFile.
    DWORD OnPkcs7Object(CMemFile* resultB, CMemFile* resultA, CFile* source, DWORD length, CFile* destination) override;

private:
    CDialog* m_pParent;
    CProgress m_progress;   // inner layers report to no bar
};
