// The program's resource script: the shared templates and strings as data, and the string
// table every part's share is added to.
#include "decrypt/core/resources.h"

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

const DecryptResourceShare& SharedResources()
{
    static const DecryptResourceShare share = {
        {&kProgressDialog},
        {
            {119, "Unsealer could not decrypt and/or verify authentication\r\nof a message as the message requires the U.S. domestic\r\nversion of Unsealer with strong encryption capabilities.\r\n"},
        },
    };
    return share;
}

// The table grows as parts add their shares; texts are static, so a pointer handed out
// stays good.
struct StringTable {
    std::mutex lock;
    std::map<UINT, const char*> strings;
};

StringTable& TheStringTable()
{
    static StringTable table;
    return table;
}

}  // namespace

void AddDecryptResources(const DecryptResourceShare& share)
{
    StringTable& table = TheStringTable();
    {
        std::lock_guard<std::mutex> hold(table.lock);
        for (const auto& entry : share.strings)
            table.strings.emplace(entry.first, entry.second);
    }
    for (const DialogTemplate* dialogTemplate : share.templates)
        AfxRegisterDialogTemplate(dialogTemplate);
}

const char* DecryptString(UINT id)
{
    StringTable& table = TheStringTable();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.strings.find(id);
    return it == table.strings.end() ? nullptr : it->second;
}

void RegisterCoreResources()
{
    static std::once_flag once;
    std::call_once(once, [] {
        AfxSetStringTable(DecryptString);
        for (const DecryptResourceShare* share : {&SharedResources(), &KeyFileResources(), &CertificateFileResources()})
            AddDecryptResources(*share);
        AfxSetAppTitle(kAppTitle);
    });
}
