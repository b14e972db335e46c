// Threads as the framework knows them: a thread object with its identifier, the
// application object with its message pump, and the current thread's identifier.
#pragma once

#include "framework/framework_export.h"
#include "framework/object.h"
#include "framework/types.h"

// Identifier of the calling thread (stable for the thread's life, never 0).
FRAMEWORK_API DWORD GetCurrentThreadId();

class FRAMEWORK_API CWinThread : public CObject {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread();
    ~CWinThread() override;

    // Dispatches one message of this thread's queue; FALSE when the application is ending
    // (a quit message was taken).
    virtual BOOL PumpMessage();
    // Idle processing between messages; the count says how often it ran since the last
    // message. TRUE asks for more idle time.
    virtual BOOL OnIdle(long count);

    DWORD m_nThreadID;
    HWND m_pMainWnd = nullptr;
};

// The application object (the framework's CWinApp) is a CWinThread; AfxGetApp returns the
// one the program created, or null.
FRAMEWORK_API CWinThread* AfxGetApp();
FRAMEWORK_API void AfxSetApp(CWinThread* app);
// The thread object of the calling thread (the application object on its own thread).
FRAMEWORK_API CWinThread* AfxGetThread();
