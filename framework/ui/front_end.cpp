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
thread_local CFrontEnd* t_frontEnd = nullptr;
}

CFrontEnd* AfxGetFrontEnd()
{
    if (t_frontEnd)
        return t_frontEnd;
    CFrontEnd* f = g_frontEnd.load();
    return f ? f : &DefaultFrontEnd();
}

CFrontEnd* AfxSetFrontEnd(CFrontEnd* frontEnd)
{
    CFrontEnd* old = g_frontEnd.exchange(frontEnd);
    return old ? old : &DefaultFrontEnd();
}

CFrontEnd* AfxSetThreadFrontEnd(CFrontEnd* frontEnd)
{
    CFrontEnd* old = t_frontEnd;
    t_frontEnd = frontEnd;
    return old;
}

BOOL SetForegroundWindow(HWND window)
{
    return window ? AfxGetFrontEnd()->BringToFront(window) : FALSE;
}
