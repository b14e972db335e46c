// The key file's dialogs (password, viewing the ID) and messages.
#include "decrypt/app/key_file_ids.h"
#include "decrypt/app/resources.h"
#include "framework/ui/dialog_template.h"

namespace {

const DialogTemplate kPasswordDialog = {
    IDD_PASSWORD,
    "Verify password",
    {
        {IDC_PASSWORD_PROMPT, ControlKind::Static, "Password:"},
        {IDC_PASSWORD_EDIT, ControlKind::Edit, "", CS_PASSWORD, kMaxPasswordLength},
        {IDC_PASSWORD_SAVE, ControlKind::CheckBox, "Save this password in a password list"},
        {IDOK, ControlKind::DefaultButton, "OK"},
        {IDCANCEL, ControlKind::Button, "Cancel"},
    },
};

const DialogTemplate kViewPrivateID = {
    IDD_VIEW_PRIVATE_ID,
    "General",
    {
        {IDC_STATIC, ControlKind::Static, "ID Name:"},
        {IDC_VIEW_NAME, ControlKind::Edit, "", 0, 256},
        {IDC_STATIC, ControlKind::Static, "ID Type:"},
        {IDC_VIEW_TYPE, ControlKind::Static, ""},
        {IDC_STATIC, ControlKind::GroupBox, "ID Profile"},
        {IDC_STATIC, ControlKind::Static, "Public exponent:"},
        {IDC_VIEW_PUBLIC_EXPONENT, ControlKind::Edit, "", CS_READONLY},
        {IDC_STATIC, ControlKind::Static, "Private exponent:"},
        {IDC_VIEW_PRIVATE_EXPONENT, ControlKind::Edit, "", CS_READONLY | CS_MULTILINE},
        {IDC_STATIC, ControlKind::Static, "Modulus:"},
        {IDC_VIEW_MODULUS, ControlKind::Edit, "", CS_READONLY | CS_MULTILINE},
        {IDC_STATIC, ControlKind::Static, "Length of modulus:"},
        {IDC_VIEW_LENGTH, ControlKind::Static, ""},
    },
};

const DialogTemplate kViewPublicKey = {
    IDD_VIEW_PUBLIC_KEY,
    "General",
    {
        {IDC_VIEW_NAME, ControlKind::Edit, "", 0, 256},
        {IDC_STATIC, ControlKind::Static, "Type:"},
        {IDC_VIEW_TYPE, ControlKind::Static, ""},
        {IDC_STATIC, ControlKind::GroupBox, "Public Key Profile"},
        {IDC_STATIC, ControlKind::Static, "Exponent:"},
        {IDC_VIEW_PUBLIC_EXPONENT, ControlKind::Edit, "", CS_READONLY},
        {IDC_STATIC, ControlKind::Static, "Modulus:"},
        {IDC_VIEW_MODULUS, ControlKind::Edit, "", CS_READONLY | CS_MULTILINE},
        {IDC_STATIC, ControlKind::Static, "Size:"},
        {IDC_VIEW_LENGTH, ControlKind::Static, ""},
        {IDOK, ControlKind::DefaultButton, "OK"},
    },
};

}  // namespace

const DecryptResourceShare& KeyFileResources()
{
    static const DecryptResourceShare share = {
        {&kPasswordDialog, &kViewPrivateID, &kViewPublicKey},
        {
            {IDS_KEYFILE_PROTECT, "Protect keys with password?  "},
            {IDS_KEYFILE_CANNOT_CREATE, "Unexpected error occured: cannot create file."},
            {IDS_KEYFILE_CANNOT_SAVE, "Unexpected error occured: cannot save file."},
            {IDS_KEYFILE_CANNOT_OPEN, "Unexpected error occured: cannot open file."},
            {IDS_KEYFILE_CORRUPTED, "The file is corrupted. Cannot read it."},
            {IDS_KEYFILE_WRONG_PASSWORD, "Cannot unlock file with specified password."},
            {IDS_KEYFILE_NO_VALID_KEYS, "The file doesn't contain any valid keys."},
            {IDS_KEYFILE_CANNOT_READ, "Unexpected error occured: cannot read file."},
        },
    };
    return share;
}
