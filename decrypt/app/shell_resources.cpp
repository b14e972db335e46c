// The main dialog, the About box, the pages that show the decrypting ID and the shell's
// messages.
#include "decrypt/app/app_pictures.h"
#include "decrypt/app/decrypt_dlg.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/view_id.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/ui/dialog_template.h"

#include <mutex>

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

const DecryptResourceShare& ShellResources()
{
    static const DecryptResourceShare share = {
        {&kMainDialog, &kAboutBox, &kViewPrivateID, &kViewPublicKey},
        {
            {IDS_ABOUTBOX, "&About Unsealer..."},
            {IDS_DOCTYPE_P7M, "Unsealer\n\n\nS/MIME clear encoding file (*.p7m)\n.p7m\nSMIMEP7M\nS/MIME clear encoding"},
            {IDS_DOCTYPE_SIG, "Unsealer\n\n\nS/MIME human-readable encoding file (*.sig)\n.sig\nSMIMESIG\nS/MIME human-readable encoding"},
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

void RegisterDecryptResources()
{
    RegisterDigitalIDResources();
    static std::once_flag once;
    std::call_once(once, [] {
        AddDecryptResources(ShellResources());
        RegisterAppPictures();
    });
}
