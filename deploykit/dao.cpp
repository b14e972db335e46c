// RegisterDAO: lets a database-access server library register itself.
#include "deploykit/deploykit.h"

#include "framework/system.h"
#include "framework/ui/message_box.h"

namespace {
using RegisterServerEntry = LONG (*)();
}

DEPLOYKIT_EXPORT LONG RegisterDAO(HWND window, LONG*, char* text)
{
    const char* path = text ? text : "";
    // A library that does not load has no registration function either; the lookup is
    // never made without a library, where it could find some other module's function.
    HMODULE server = *path ? LoadLibraryA(path) : nullptr;
    auto registerServer =
        server ? reinterpret_cast<RegisterServerEntry>(GetProcAddress(server, "DllRegisterServer")) : nullptr;
    if (registerServer)
        registerServer();
    else
        MessageBoxA(window, "Missing DAO server registration function", path, MB_OK | MB_ICONEXCLAMATION);
    if (server)
        FreeLibrary(server);
    return 1;
}
