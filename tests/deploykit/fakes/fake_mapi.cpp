// Stand-in for the MAPI library: a profile wizard that records how it was called.
#include "tests/deploykit/fakes/fake_mapi.h"

#include "framework/profile.h"
#include "framework/system.h"

#include <cstring>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
FakeMapiCall g_call;
LONG g_result = 0;
char g_profileName[512];
int g_fillAll = 0;

void Copy(char* to, size_t size, const char* from)
{
    std::strncpy(to, from, size - 1);
    to[size - 1] = '\0';
}
}

FAKE_EXPORT void FakeMapiReset()
{
    std::memset(&g_call, 0, sizeof g_call);
    g_result = 0;
    g_profileName[0] = '\0';
    g_fillAll = 0;
}

FAKE_EXPORT void FakeMapiScript(LONG result, const char* profileName, int fillAll)
{
    g_result = result;
    Copy(g_profileName, sizeof g_profileName, profileName ? profileName : "");
    g_fillAll = fillAll;
}

FAKE_EXPORT const FakeMapiCall* FakeMapiLastCall() { return &g_call; }

FAKE_EXPORT LONG LAUNCHWIZARD(HWND parent, DWORD flags, const char** services, DWORD bufferSize, char* newProfile)
{
    ++g_call.calls;
    g_call.parent = parent;
    g_call.flags = flags;
    g_call.bufferSize = bufferSize;
    g_call.serviceCount = 0;
    for (int i = 0; services && i < 8 && services[i]; ++i) {
        Copy(g_call.services[i], sizeof g_call.services[i], services[i]);
        ++g_call.serviceCount;
    }

    // What the service file shows while the wizard runs.
    char folder[1024];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    g_call.servicesKeys[0] = '\0';
    if (length > 0 && length < sizeof folder) {
        std::string file = std::string(folder) + "/Mapisvc.inf";
        char keys[4096];
        DWORD got = GetPrivateProfileStringA("Services", nullptr, "", keys, sizeof keys, file.c_str());
        std::string joined;
        for (DWORD i = 0; i < got;) {
            size_t n = std::strlen(keys + i);
            if (!joined.empty())
                joined += '|';
            joined.append(keys + i, n);
            i += static_cast<DWORD>(n) + 1;
        }
        Copy(g_call.servicesKeys, sizeof g_call.servicesKeys, joined.c_str());
    }

    if (newProfile && bufferSize > 0) {
        if (g_fillAll)
            std::memset(newProfile, 'x', bufferSize);
        else
            Copy(newProfile, bufferSize, g_profileName);
    }
    return g_result;
}
