// Stand-in for a DAO server library: counts its self-registrations.
#include "framework/types.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_registrations = 0;
}

FAKE_EXPORT LONG DllRegisterServer()
{
    ++g_registrations;
    return 0;
}

FAKE_EXPORT int FakeDaoRegistrations() { return g_registrations; }
