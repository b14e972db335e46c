// The dialogs and messages of making a digital ID.
#include "decrypt/core/resources.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/ui/dialog_template.h"

#include <mutex>

const DecryptResourceShare& DigitalIDResources()
{
    static const DecryptResourceShare share = {
        {DigitalIDDialogTemplates()[0], DigitalIDDialogTemplates()[1], DigitalIDDialogTemplates()[2]},
        {
            {IDS_GENERATING_KEY_PAIR, "Generating a new key pair..."},
            {IDS_VERIFYING_KEY_PAIR, "Verifying key pair..."},
            {IDS_REPLACE_KEY_FILE, "%s already exists.\nDo you want to replace it?"},
        },
    };
    return share;
}

void RegisterDigitalIDResources()
{
    RegisterCoreResources();
    static std::once_flag once;
    std::call_once(once, [] { AddDecryptResources(DigitalIDResources()); });
}
