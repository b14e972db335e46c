#include "sigilbox/engines/progress.h"

#include "framework/thread.h"
#include "framework/window.h"

#include <cstdio>

// ---- Progress -------------------------------------------------------------------------

void CProgress::Deliver(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (m_bPost)
        PostMessageA(m_hWnd, message, wParam, lParam);
    else
        SendMessageA(m_hWnd, message, wParam, lParam);
}

void CProgress::SetUp(int maximum, int minimum, unsigned short step, unsigned short position)
{
    // The control's range is two 16-bit bounds: wider values keep their low 16 bits.
    Deliver(PBM_SETRANGE, 0,
            MAKELPARAM(static_cast<WORD>(minimum & 0xFFFF), static_cast<WORD>(maximum & 0xFFFF)));
    Deliver(PBM_SETSTEP, step, 0);
    Deliver(PBM_SETPOS, position, 0);
}

void CProgress::Hint(unsigned short delta)
{
    Deliver(PBM_DELTAPOS, delta, 0);
}

// ---- Cancellation ---------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CKillThreadException, CException)

CKillThreadException CKillThreadException::s_instance(FALSE);

BOOL CKillThreadException::GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    if (!buffer || maxChars == 0)
        return FALSE;
    std::snprintf(buffer, maxChars, "%s", "The operation was cancelled.");
    return TRUE;
}

void AfxThrowKillThreadException()
{
    throw &CKillThreadException::s_instance;
}

CWinThread* ThreadToKill = nullptr;
int ThreadKillFlag = 0;
int ThreadCannotBeKilled = 0;

void AfxRequestKillThread(CWinThread* thread)
{
    std::atomic_ref<CWinThread*>(ThreadToKill).store(thread, std::memory_order_release);
    std::atomic_ref<int>(ThreadKillFlag).store(1, std::memory_order_release);
}

void AfxClearKillThreadRequest()
{
    std::atomic_ref<int>(ThreadKillFlag).store(0, std::memory_order_release);
}

void AfxCheckKillThreadRequest()
{
    if (std::atomic_ref<int>(ThreadKillFlag).load(std::memory_order_acquire) == 0)
        return;
    // The requester names the thread before raising the flag.
    CWinThread* const target = std::atomic_ref<CWinThread*>(ThreadToKill).load(std::memory_order_acquire);
    if (target && target->m_nThreadID == GetCurrentThreadId())
        AfxThrowKillThreadException();
}

// ---- Message pumping ------------------------------------------------------------------

void __freshenThreadQueue()
{
    CWinThread* const app = AfxGetApp();
    if (!app)
        return;  // nobody to dispatch the messages to
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        try {
            if (!app->PumpMessage())
                break;  // the application is ending
        } catch (CException* e) {
            e->Delete();
        }
    }
    app->OnIdle(1);
}

// ---- Exception holder -----------------------------------------------------------------

SAutoException& SAutoException::operator=(SAutoException&& other) noexcept
{
    if (this != &other) {
        if (m_pException)
            m_pException->Delete();
        m_pException = other.m_pException;
        other.m_pException = nullptr;
    }
    return *this;
}

SAutoException::~SAutoException()
{
    if (m_pException) {
        m_pException->Delete();
        m_pException = nullptr;
    }
}
