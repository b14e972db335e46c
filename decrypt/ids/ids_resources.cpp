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

}  // namespace

const DecryptResourceShare& DigitalIDResources()
{
    static const DecryptResourceShare share = {
        {&kCreateCertificateDialog, &kNewDigitalIDDialog, &kIDStrengthDialog, &kMakingDigitalIDDialog},
        {
            {IDS_INVALID_ADDRESS, "Type valid Internet or IP address."},
            {IDS_GENERATING_KEY_PAIR, "Generating a new key pair..."},
            {IDS_VERIFYING_KEY_PAIR, "Verifying key pair..."},
            {IDS_REPLACE_KEY_FILE, "%s already exists.\nDo you want to replace it?"},
        },
    };
    return share;
}
