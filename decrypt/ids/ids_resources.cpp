// The dialogs and messages of making a digital ID and its certificate file.
#include "decrypt/app/resources.h"
#include "framework/ui/dialog_template.h"

const DecryptResourceShare& DigitalIDResources()
{
    static const DecryptResourceShare share = {
        {},
        {},
    };
    return share;
}
