// Progress reporting to a progress-bar control, and the cooperative cancellation of a
// thread's long computations.
//
// Cancellation: the controlling code sets ThreadToKill to the working thread, then
// ThreadKillFlag to 1. Every long loop of the library calls __checkKillThreadFlag(), which
// throws a pointer to the one static CKillThreadException in that thread only. The catcher
// clears ThreadKillFlag; the library never does.
#pragma once

#include "framework/exceptions.h"
#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

#include <atomic>

class CWinThread;

// Sends (or posts) the progress-bar messages to one control.
class SIGILBOX_API CProgress {
public:
    CProgress(HWND hWnd = nullptr, int bPost = 1) : m_hWnd(hWnd), m_bPost(bPost) {}
    CProgress(const CProgress&) = default;
    CProgress& operator=(const CProgress&) = default;

    // Range (each bound keeps its low 16 bits), step and position, in that order.
    void SetUp(int maximum, int minimum, unsigned short step, unsigned short position);
    // Advances the position by delta.
    void Hint(unsigned short delta);

    HWND m_hWnd;  // the progress-bar control; messages to a null or dead window are lost
    int m_bPost;  // nonzero: post (never wait for the window's thread); zero: send

private:
    void Deliver(UINT message, WPARAM wParam, LPARAM lParam) const;
};

// What the kill check throws; adds nothing but its type.
class SIGILBOX_API CKillThreadException : public CException {
    DECLARE_DYNAMIC(CKillThreadException)
public:
    explicit CKillThreadException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}
    BOOL GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext = nullptr) const override;

    // The instance every kill check throws (auto-delete off: Delete() leaves it alone).
    static CKillThreadException s_instance;
};

// Throws &CKillThreadException::s_instance.
[[noreturn]] SIGILBOX_API void AfxThrowKillThreadException();

// The kill request. Plain process-wide words without a lock: the controlling code writes
// them, the worker reads them at its next check.
extern SIGILBOX_API CWinThread* ThreadToKill;
extern SIGILBOX_API int ThreadKillFlag;
// Raised by the application around short steps that must not be interrupted; the library
// never reads it.
extern SIGILBOX_API int ThreadCannotBeKilled;

// The request made and withdrawn with atomic stores (the thread first, then the flag), for
// controlling code that runs in another thread than the worker. Plain assignments to the
// two globals work as well.
SIGILBOX_API void AfxRequestKillThread(CWinThread* thread);
SIGILBOX_API void AfxClearKillThreadRequest();

// The slow half of the check, taken only while a kill is requested: throws when the calling
// thread is ThreadToKill.
SIGILBOX_API void AfxCheckKillThreadRequest();

// Called once per word step in every big-number loop, so it is one load and one branch
// while no kill is requested. The load is atomic (relaxed) so that the compiler reads the
// flag afresh on every step instead of hoisting it out of a loop.
inline void __checkKillThreadFlag()
{
    if (std::atomic_ref<int>(ThreadKillFlag).load(std::memory_order_relaxed) != 0) [[unlikely]]
        AfxCheckKillThreadRequest();
}

// Lets the calling thread's pending messages be handled (through the application object's
// pump) while a long operation runs on the user-interface thread, then runs the idle
// handler once.
SIGILBOX_API void __freshenThreadQueue();

// Holds an exception and deletes it (through Delete()) when the holder dies. The holder
// owns what it holds: moving hands the exception over, copying is not allowed (two owners
// would delete it twice).
struct SIGILBOX_API SAutoException {
    SAutoException() : m_pException(nullptr) {}
    SAutoException(CException* pException) : m_pException(pException) {}
    SAutoException(const SAutoException&) = delete;
    SAutoException& operator=(const SAutoException&) = delete;
    SAutoException(SAutoException&& other) noexcept : m_pException(other.m_pException)
    {
        other.m_pException = nullptr;
    }
    SAutoException& operator=(SAutoException&& other) noexcept;
    ~SAutoException();

    CException* m_pException;
};
