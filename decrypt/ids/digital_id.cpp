#include "decrypt/ids/digital_id.h"

#include "decrypt/core/certificate_file.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/password_dialog.h"
#include "decrypt/core/resources.h"
#include "decrypt/ids/digital_id_dialogs.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/file.h"
#include "framework/system.h"
#include "framework/ui/dialog_template.h"
#include "framework/ui/message_box.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"

#include <cstring>

namespace {

const DialogTemplate kNewDigitalIDDialog = {
    IDD_NEW_DIGITAL_ID,
    "Create a New Digital ID",
    {
        {IDC_STATIC, ControlKind::Static, "Enter a name for this ID:"},
        {IDC_ID_NAME_EDIT, ControlKind::Edit, "", 0, 256},
        {IDC_CREATE_ID, ControlKind::DefaultButton, "Create ID..."},
        {IDOK, ControlKind::Button, "OK", CS_DISABLED},
        {IDCANCEL, ControlKind::Button, "Cancel"},
        {IDC_ADVANCED, ControlKind::Button, "Advanced"},
        {IDC_STRENGTH_LABEL, ControlKind::Static, "ID strength:"},
        {IDC_STRENGTH_LIST, ControlKind::ComboBox, ""},
        {IDC_SET_STRENGTH, ControlKind::Button, "Set...", CS_DISABLED},
    },
};

const DialogTemplate kIDStrengthDialog = {
    IDD_ID_STRENGTH,
    "ID Strength",
    {
        {IDC_STRENGTH_BITS, ControlKind::Edit, "", CS_NUMBER, 5},
        {IDC_STRENGTH_SPIN, ControlKind::Spin, ""},
        {IDC_STATIC, ControlKind::Static, "bits"},
        {IDOK, ControlKind::DefaultButton, "OK"},
        {IDCANCEL, ControlKind::Button, "Cancel"},
    },
};

const DialogTemplate kMakingDigitalIDDialog = {
    IDD_MAKING_DIGITAL_ID,
    "Making a New Digital ID",
    {
        {IDC_STATIC, ControlKind::Static, "Your new ID's key pair is made from random numbers, and the timing of your"},
        {IDC_STATIC, ControlKind::Static, "keystrokes adds to their randomness. Making it can take a while."},
        {IDC_STATIC, ControlKind::Static, "Please type \"random generation\", then click OK."},
        {IDC_PHRASE_EDIT, ControlKind::Edit, "", CS_WANTKEYS, 64},
        {IDOK, ControlKind::DefaultButton, "OK", CS_DISABLED},
        {IDCANCEL, ControlKind::Button, "Cancel"},
        {IDC_MAKING_PROGRESS, ControlKind::ProgressBar, ""},
        {IDC_MAKING_STATUS, ControlKind::Static, ""},
    },
};

// What an ID change replaces, to be put back when it fails. The queue and the other
// settings are left alone: files queued meanwhile stay queued.
struct SavedID {
    explicit SavedID(const DecryptionState& state)
        : id(state), keyFileName(state.m_strKeyFileName), idIsSet(state.m_nIDIsSet)
    {
    }
    void RestoreTo(DecryptionState& state) const
    {
        state.CKeyInfo::operator=(id);
        state.m_strKeyFileName = keyFileName;
        state.m_nIDIsSet = idIsSet;
    }
    CKeyInfo id;
    CString keyFileName;
    LONG idIsSet;
};

// The key file's name exists (a link counts, whatever it points to).
BOOL NameExists(const char* path)
{
    CFileStatus status;
    return CFile::GetStatus(path, status) || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// 1 when the certificate file holds a certificate of another key than the ID's: it was
// made for a key file that has now been replaced.
int IsCertificateOfAnotherKey(const CString& path, const CRSAPublicKey& key)
{
    try {
        CFile file(path, CFile::modeRead | CFile::shareDenyWrite);
        long long length = file.GetLength();
        if (length <= 0 || length > (1 << 20))
            return 0;
        CByteArray bytes;
        bytes.SetSize(static_cast<int>(length));
        if (file.Read(bytes.GetData(), static_cast<UINT>(length)) != static_cast<UINT>(length))
            return 0;
        CDEREncoding encoding(bytes.GetData(), static_cast<unsigned long>(length));
        CASN1_ContentInfo info(encoding);
        CASN1_SignedData signedData;
        if (!(info.GetContentType() == CASN1_signedData()) || !CASN1_TAGGED::FromExplicit(info.GetContent(), signedData) ||
            !CASN1_SignedData::IsValid(&signedData) || !signedData.IsCertificates())
            return 0;
        CASN1_SET certificates = signedData.GetCertificates();
        if (certificates.GetComponentsCount() < 1)
            return 0;
        CCertificate certificate;
        CASN1_Certificate::SetDataTo(*certificates.m_Components[0], certificate);
        CRSAPublicKey held;
        certificate.SetDataTo(held);
        return held.m_nModulusBits != key.m_nModulusBits ||
               std::memcmp(held.m_Modulus, key.m_Modulus, sizeof key.m_Modulus) != 0 ||
               std::memcmp(held.m_PublicExponent, key.m_PublicExponent, sizeof key.m_PublicExponent) != 0;
    } catch (CException* e) {
        e->Delete();
        return 0;   // not readable as a certificate file: left as it is
    }
}

// A new key file took the place of an old one: the old ID's certificate beside it would
// send correspondents a key that no longer decrypts. It is kept as "<name>.old" and the
// new ID's certificate is offered instead.
void ReplaceStaleCertificate(CDialog* parent)
{
    DecryptionState& state = AfxGetDecryptionState();
    const CRSAPrivateKey* key = state.GetPrivateKey();
    CString path = CertificateFileName(state.m_strKeyFileName);
    if (!key || path.IsEmpty() || !IsCertificateOfAnotherKey(path, *key))
        return;
    try {
        CFile::Rename(path, path + ".old");
    } catch (CException* e) {
        e->Delete();
        return;
    }
    EnsureCertificateFile(parent);
}

}  // namespace

const std::array<const DialogTemplate*, 3>& DigitalIDDialogTemplates()
{
    static const std::array<const DialogTemplate*, 3> templates = {&kNewDigitalIDDialog, &kIDStrengthDialog, &kMakingDigitalIDDialog};
    return templates;
}

namespace {

int CreateDigitalIDIn(CDialog* parent, const char* path, int format, bool askReplace)
{
    HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
    // Replacing a key file loses the keys in it. The file dialog has asked already (for the
    // name with its kind's extension too); a name given beforehand is asked about here.
    if (askReplace && NameExists(path)) {
        CString question;
        question.Format(DecryptString(IDS_REPLACE_KEY_FILE), path);
        if (MessageBoxA(owner, question, kAppTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
            return 0;
    }

    CNewDigitalIDDialog dialog(parent);
    if (dialog.DoModal() != IDOK || !dialog.m_pKey)
        return 0;

    DecryptionState& state = AfxGetDecryptionState();
    SavedID saved(state);
    state.SetDecryptingID(CKeyInfo(dialog.m_strName, CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*dialog.m_pKey), 0));
    dialog.m_pKey.reset();
    state.m_strKeyFileName = path;
    state.m_nIDIsSet = 1;

    // A password chosen now is typed twice.
    CNewPasswordScope newPassword;
    if (!SaveKeyFile(parent, format)) {
        saved.RestoreTo(state);
        return 0;
    }
    ReplaceStaleCertificate(parent);
    return 1;
}

}  // namespace

int CreateDigitalID(CDialog* parent)
{
    RegisterDigitalIDResources();
    char path[_MAX_PATH] = "";
    int format = BrowseForFile(parent, path, sizeof path, FALSE, FILEKIND_KEYS);
    if (format == 0)
        return 0;
    return CreateDigitalIDIn(parent, path, format, false);
}

int CreateDigitalID(CDialog* parent, const char* keyFileName)
{
    RegisterDigitalIDResources();
    if (!keyFileName || !*keyFileName)
        return CreateDigitalID(parent);
    CString path(keyFileName);
    int dot = path.ReverseFind('.');
    BOOL der = dot > path.ReverseFind('/') && path.Mid(dot + 1).CompareNoCase("sec") == 0;
    return CreateDigitalIDIn(parent, path, der ? 2 : 1, true);
}
