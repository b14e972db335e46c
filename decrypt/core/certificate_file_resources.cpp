// The certificate file's question and message.
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/resources.h"
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

const DecryptResourceShare& CertificateFileResources()
{
    static const DecryptResourceShare share = {
        {&kCreateCertificateDialog},
        {
            {IDS_INVALID_ADDRESS, "Type valid Internet or IP address."},
        },
    };
    return share;
}
