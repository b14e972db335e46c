// The program's resource script: dialog templates and the string table as data.
#include "decrypt/app/resources.h"

#include "framework/cstring.h"
#include "framework/ui/dialog_template.h"
#include "framework/ui/message_box.h"

#include <map>
#include <mutex>

namespace {

const DialogTemplate kProgressDialog = {
    IDD_PROGRESS,
    "",
    {
        {IDC_PROGRESS_BAR, ControlKind::ProgressBar, ""},
        {IDC_PROGRESS_TEXT, ControlKind::Static, ""},
    },
};

const std::map<UINT, const char*>& StringTable()
{
    static const std::map<UINT, const char*> table = [] {
        std::map<UINT, const char*> all = {
        {IDS_ABOUTBOX, "&About Unsealer..."},
        {119, "Unsealer could not decrypt and/or verify authentication\r\nof a message as the message requires the U.S. domestic\r\nversion of Unsealer with strong encryption capabilities.\r\n"},
        {IDS_DOCTYPE_P7M, "Unsealer\n\n\nS/MIME clear encoding file (*.p7m)\n.p7m\nSMIMEP7M\nS/MIME clear encoding"},
        {IDS_DOCTYPE_SIG, "Unsealer\n\n\nS/MIME human-readable encoding file (*.sig)\n.sig\nSMIMESIG\nS/MIME human-readable encoding"},
        };
        for (const DecryptResourceShare* share : {&KeyFileResources(), &DigitalIDResources(), &ShellResources()})
            for (const auto& entry : share->strings)
                all.emplace(entry.first, entry.second);
        return all;
    }();
    return table;
}

}  // namespace

const char* DecryptString(UINT id)
{
    const auto& table = StringTable();
    auto it = table.find(id);
    return it == table.end() ? nullptr : it->second;
}

void RegisterDecryptResources()
{
    static std::once_flag once;
    std::call_once(once, [] {
        AfxSetStringTable(DecryptString);
        AfxRegisterDialogTemplates({&kProgressDialog});
        for (const DecryptResourceShare* share : {&KeyFileResources(), &DigitalIDResources(), &ShellResources()})
            for (const DialogTemplate* dialogTemplate : share->templates)
                AfxRegisterDialogTemplate(dialogTemplate);
        AfxSetAppTitle(kAppTitle);
    });
}
