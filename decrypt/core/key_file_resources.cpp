// The key file's password dialog and messages.
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/resources.h"
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

}  // namespace

const DecryptResourceShare& KeyFileResources()
{
    static const DecryptResourceShare share = {
        {&kPasswordDialog},
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
