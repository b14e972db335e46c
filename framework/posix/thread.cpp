#include "framework/thread.h"

#include <atomic>
#include <sys/syscall.h>
#include <unistd.h>

IMPLEMENT_DYNAMIC(CWinThread, CObject)

DWORD GetCurrentThreadId()
{
    static thread_local DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
    return id;
}

namespace {
std::atomic<CWinThread*> g_app{nullptr};
thread_local CWinThread* t_thread = nullptr;
}

CWinThread::CWinThread() : m_nThreadID(GetCurrentThreadId())
{
    if (!t_thread)
        t_thread = this;
}

CWinThread::~CWinThread()
{
    if (t_thread == this)
        t_thread = nullptr;
    CWinThread* self = this;
    g_app.compare_exchange_strong(self, nullptr);
}

CWinThread* AfxGetApp() { return g_app.load(); }
void AfxSetApp(CWinThread* app) { g_app.store(app); }

CWinThread* AfxGetThread()
{
    return t_thread ? t_thread : AfxGetApp();
}
