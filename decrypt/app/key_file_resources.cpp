// The key file's dialogs (password, viewing the ID) and messages.
#include "decrypt/app/resources.h"
#include "framework/ui/dialog_template.h"

const DecryptResourceShare& KeyFileResources()
{
    static const DecryptResourceShare share = {
        {},
        {},
    };
    return share;
}
