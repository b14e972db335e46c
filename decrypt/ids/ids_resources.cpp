// The dialogs and messages of making a digital ID and its certificate file.
#include "decrypt/app/resources.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/ui/dialog_template.h"

namespace {

const DialogTemplate kCreateCertificateDialog = {
    IDD_CREATE_CERTIFICATE,
    "Quillmar Postlantern Unsealer - Create certificate file",
    {
        {IDC_STATIC, ControlKind::Static, "Postlantern Unsealer didn't found the following file:"},
        {IDC_CERTIFICATE_PATH, ControlKind::Edit, "", CS_READONLY},
        {IDC_STATIC, ControlKind::Static, "This file contains your self-signed certificate and you should send it to your"},
        {IDC_STATIC, ControlKind::Static, "abonents, giving them a possibility to make encrypted messages for you."},
        {IDC_STATIC, ControlKind::Static, "If you want to create this file now, you need to specify your e-mail address"},
        {IDC_STATIC, ControlKind::Static, "below to insure abonents in your identity. Then press \"Create\" button."},
        {IDC_STATIC, ControlKind::Static, "E-Mail &Address:"},
        {IDC_EMAIL_ADDRESS, ControlKind::Edit, "", 0, 255},
        {IDC_CREATE_CERTIFICATE, ControlKind::DefaultButton, "&Create"},
        {IDCANCEL, ControlKind::Button, "Cancel"},
    },
};

}  // namespace

const DecryptResourceShare& DigitalIDResources()
{
    static const DecryptResourceShare share = {
        {&kCreateCertificateDialog, DigitalIDDialogTemplates()[0], DigitalIDDialogTemplates()[1], DigitalIDDialogTemplates()[2]},
        {
            {IDS_INVALID_ADDRESS, "Type valid Internet or IP address."},
            {IDS_GENERATING_KEY_PAIR, "Generating a new key pair..."},
            {IDS_VERIFYING_KEY_PAIR, "Verifying key pair..."},
            {IDS_REPLACE_KEY_FILE, "%s already exists.\nDo you want to replace it?"},
        },
    };
    return share;
}
