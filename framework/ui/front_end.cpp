#include "framework/ui/front_end.h"

#include "framework/ui/batch_front_end.h"

#include <atomic>

namespace {
CBatchFrontEnd& DefaultFrontEnd()
{
    static CBatchFrontEnd batch;
    return batch;
}
std::atomic<CFrontEnd*> g_frontEnd{nullptr};
}

CFrontEnd* AfxGetFrontEnd()
{
    CFrontEnd* f = g_frontEnd.load();
    return f ? f : &DefaultFrontEnd();
}

CFrontEnd* AfxSetFrontEnd(CFrontEnd* frontEnd)
{
    CFrontEnd* old = g_frontEnd.exchange(frontEnd);
    return old ? old : &DefaultFrontEnd();
}

BOOL SetForegroundWindow(HWND window)
{
    return window ? AfxGetFrontEnd()->BringToFront(window) : FALSE;
}
