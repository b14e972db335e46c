// The main dialog, the About box and the shell's messages.
#include "decrypt/app/decrypt_dlg.h"
#include "decrypt/app/resources.h"
#include "framework/ui/dialog_template.h"

namespace {

const DialogTemplate kMainDialog = {
    IDD_DECRYPT_DIALOG,
    kAppTitle,
    {
        {IDC_PICTURE, ControlKind::Picture, "#129"},
        {IDC_STATIC, ControlKind::GroupBox, "Current Digital ID"},
        {IDC_STATIC, ControlKind::Static, "ID Name:"},
        {IDC_ID_NAME, ControlKind::Static, "[No ID Set]"},
        {IDC_DECRYPT, ControlKind::DefaultButton, "&Decrypt"},
        {IDC_VIEW, ControlKind::Button, "&View..."},
        {IDC_CHANGE, ControlKind::Button, "&Change..."},
        {IDC_NEW, ControlKind::Button, "&New..."},
        {IDC_ABOUT, ControlKind::Button, "About"},
        {IDC_HELP_BUTTON, ControlKind::Button, "&Help"},
        {IDOK, ControlKind::Button, "Close"},
    },
};

const DialogTemplate kAboutBox = {
    IDD_ABOUTBOX,
    "About Unsealer",
    {
        {IDC_STATIC, ControlKind::Picture, "#129"},
        {IDC_STATIC, ControlKind::Static, "Quillmar Postlantern Unsealer Version 1.0"},
        {IDOK, ControlKind::DefaultButton, "OK"},
    },
};

}  // namespace

const DecryptResourceShare& ShellResources()
{
    static const DecryptResourceShare share = {
        {&kMainDialog, &kAboutBox},
        {
            {IDS_DECRYPT_NO_ID, "ERROR:\nQuillmar Postlantern Unsealer cannot decrypt file(s) now.\nDecrypting ID is not setup."},
            {IDS_SHELL_HELP,
             "Quillmar Postlantern Unsealer turns S/MIME messages (.p7m, .sig) sent to you back into\n"
             "readable mail with your decrypting ID.\n\n"
             "Decrypt: choose a message file; its text goes to Msg.txt and its attachments beside it,\n"
             "in a folder named Decrypt next to the message.\n"
             "View: shows the decrypting ID.\n"
             "Change: loads another key file as the decrypting ID.\n"
             "New: makes a new digital ID, its key file and its certificate file.\n"
             "Files dropped (or pasted) on the window are decrypted at once."},
        },
    };
    return share;
}
