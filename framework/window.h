// Window handles and message queues.
//
// A window is a handle from the framework's handle table with a procedure that receives its
// messages; it belongs to the thread that created it. Every thread has a message queue,
// made on first use and removed when the thread ends. Posting a message to a window queues
// it on the owning thread; a null, destroyed or orphaned handle loses the message and the
// post returns FALSE. Sending calls the procedure at once on the owning thread: on the same
// thread directly; from another thread the message waits in the owner's queue of sent
// messages, the owner runs it inside its next PeekMessageA/GetMessageA/AfxWaitForMessage
// (or while it is itself waiting for a send), and the sender waits for the result, running
// messages sent to it meanwhile. A send to a thread that never reads its queue waits until
// that thread ends (result 0).
//
// Retrieval order, as on the platform: sent messages are run first, then posted messages in
// order, then the quit message (whatever the filter), then due timers (WM_TIMER is made
// when taken, at most one per timer however late).
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

#include <functional>

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct FRAMEWORK_API MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;    // GetTickCount when posted
};

struct FRAMEWORK_API COPYDATASTRUCT {
    DWORD dwData;
    DWORD cbData;
    void* lpData;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;   // wParam: the window menu's item
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr UINT PBM_SETRANGE = 0x0401;    // lParam: low word minimum, high word maximum
constexpr UINT PBM_SETPOS = 0x0402;      // wParam: position
constexpr UINT PBM_DELTAPOS = 0x0403;    // wParam: signed delta
constexpr UINT PBM_SETSTEP = 0x0404;     // wParam: step
constexpr UINT PBM_STEPIT = 0x0405;
constexpr UINT PBM_SETRANGE32 = 0x0406;  // wParam minimum, lParam maximum
constexpr UINT PBM_GETRANGE = 0x0407;    // wParam TRUE: minimum, FALSE: maximum
constexpr UINT PBM_GETPOS = 0x0408;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr UINT USER_TIMER_MINIMUM = 10;

// Creates a window owned by the calling thread; the procedure may be a function or a lambda.
// When the thread ends, its windows go with it (no WM_DESTROY then).
FRAMEWORK_API HWND AfxCreateWindow(WindowProc proc);
// Sends WM_DESTROY, then removes the handle, its queued messages and its timers. Only the
// owning thread may destroy a window (ERROR_ACCESS_DENIED otherwise).
FRAMEWORK_API BOOL DestroyWindow(HWND hwnd);
FRAMEWORK_API BOOL IsWindow(HWND hwnd);
// The owning thread's identifier (0 for an invalid handle).
FRAMEWORK_API DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

// A null handle loses the message (FALSE) like a destroyed one, so a progress reporter
// without a bar fills no queue; thread messages go through PostThreadMessageA.
FRAMEWORK_API BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
FRAMEWORK_API BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// 0 for an invalid handle.
FRAMEWORK_API LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Filter: hwnd null takes any message of the thread, (HWND)-1 only thread messages, another
// handle only its own; min = max = 0 takes every message number.
FRAMEWORK_API BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT flags);
// Waits for a message: 0 for WM_QUIT, -1 for an invalid window filter, else nonzero.
FRAMEWORK_API BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
FRAMEWORK_API BOOL TranslateMessage(const MSG* msg);   // no keyboard translation here: FALSE
// Calls the window's procedure (or a WM_TIMER's timer procedure); 0 for an invalid handle.
FRAMEWORK_API LRESULT DispatchMessageA(const MSG* msg);
// Makes the calling thread's next retrieval return WM_QUIT with the code once the posted
// messages ahead of it are taken.
FRAMEWORK_API void PostQuitMessage(int exitCode);

// A timer of a window of the calling thread (the same id replaces it) or, with hwnd null,
// a thread timer with a new id. Intervals below USER_TIMER_MINIMUM are raised to it.
// Returns the id (nonzero), or 0 when no timer can be made.
FRAMEWORK_API UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
FRAMEWORK_API BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Waits until the calling thread's queue has a message to retrieve (running sent messages
// meanwhile); FALSE when the time ran out first. INFINITE waits without limit.
FRAMEWORK_API BOOL AfxWaitForMessage(DWORD timeoutMs);
// The code of the last WM_QUIT that CWinThread::PumpMessage took on this thread.
FRAMEWORK_API int AfxGetQuitCode();
// Called, on the posting thread, whenever a message is posted or sent to the calling
// thread's queue: lets a front end that waits on other events (a terminal) wake up.
FRAMEWORK_API void AfxSetQueueWakeHook(std::function<void()> hook);

// ---- The progress-bar control ---------------------------------------------------------------

struct FRAMEWORK_API PROGRESSBARSTATE {
    int nLower = 0;      // range as the control holds it (PBM_SETRANGE gives 16-bit values)
    int nUpper = 100;
    int nStep = 10;
    int nPos = 0;
    DWORD nMessages = 0;  // progress messages handled (a coalesced run of deltas counts once)
};

// A progress bar owned by the calling thread. It handles the PBM_ messages above: the
// position is kept within the range; PBM_SETRANGE, PBM_SETPOS, PBM_DELTAPOS, PBM_SETSTEP and
// PBM_STEPIT return the previous range (MAKELPARAM) or position or step. A PBM_DELTAPOS
// posted right behind another PBM_DELTAPOS of the same sign for the same bar is merged into
// it, so per-block progress adds no queue entries; the order of range, step, position and
// deltas is kept, and the final position is the same. Deltas the owning thread posts to its
// own bar are added up without a lock and queued at that thread's next post, send, peek,
// get or wait (another thread's messages may go ahead of them meanwhile).
FRAMEWORK_API HWND AfxCreateProgressBar();
FRAMEWORK_API BOOL AfxGetProgressBarState(HWND bar, PROGRESSBARSTATE* state);
// Called on the owning thread after each progress message with the message and the new
// state (for front ends drawing the bar, and for tests).
using ProgressBarObserver = std::function<void(HWND, UINT message, WPARAM, LPARAM, const PROGRESSBARSTATE&)>;
FRAMEWORK_API BOOL AfxSetProgressBarObserver(HWND bar, ProgressBarObserver observer);
