#include "sigilbox/engines/unlock_exception.h"

#include <cstdio>

IMPLEMENT_DYNAMIC(CUnlockException, CException)

CUnlockException CUnlockException::s_instance(FALSE);

namespace {
thread_local char t_lastReason[256];
thread_local bool t_haveReason = false;
}

void AfxThrowUnlockException(const char* reason)
{
    std::snprintf(t_lastReason, sizeof t_lastReason, "%s", reason ? reason : "");
    t_haveReason = true;
    throw &CUnlockException::s_instance;
}

const char* AfxGetLastUnlockReason()
{
    return t_haveReason ? t_lastReason : nullptr;
}
