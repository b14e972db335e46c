// The main dialog, the About box and the shell's messages.
#include "decrypt/app/resources.h"
#include "framework/ui/dialog_template.h"

const DecryptResourceShare& ShellResources()
{
    static const DecryptResourceShare share = {
        {},
        {},
    };
    return share;
}
