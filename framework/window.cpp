// Handle table, per-thread message queues, timers, the progress bar, and the thread
// object's message pump.
#include "framework/window.h"

#include "framework/system.h"
#include "framework/thread.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
struct Queue;

struct SentItem {
    MSG msg{};
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<Queue> sender;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    Clock::time_point due;
};

struct Queue {
    DWORD threadId = 0;
    std::mutex lock;
    std::condition_variable wake;
    unsigned long long version = 0;   // grows with every arrival, for waiters
    bool alive = true;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentItem>> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    std::function<void()> wakeHook;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<Queue> queue;
    WindowProc proc;
    bool isProgressBar = false;
    std::mutex stateLock;             // the bar's state is read from other threads
    PROGRESSBARSTATE state;
    ProgressBarObserver observer;
};

std::mutex g_lock;
std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> g_windows;
std::unordered_map<DWORD, std::weak_ptr<Queue>> g_queues;
std::uintptr_t g_nextWindow = 0x10000;
UINT_PTR g_nextThreadTimer = 0x7FFF0000;

void CompleteSent(const std::shared_ptr<SentItem>& item, LRESULT result)
{
    std::shared_ptr<Queue> sender = item->sender;
    {
        std::lock_guard<std::mutex> guard(sender->lock);
        item->result = result;
        item->done = true;
        ++sender->version;
    }
    sender->wake.notify_all();
}

// The calling thread's queue; unregistered when the thread ends, and sends still waiting
// on it are answered with 0 so their senders go on.
struct QueueHolder {
    std::shared_ptr<Queue> queue;
    ~QueueHolder()
    {
        if (!queue)
            return;
        {
            // The thread's windows end with it, as on the platform (without WM_DESTROY: their
            // procedures may use what the thread has already torn down).
            std::lock_guard<std::mutex> guard(g_lock);
            g_queues.erase(queue->threadId);
            for (auto it = g_windows.begin(); it != g_windows.end();)
                it = it->second->queue == queue ? g_windows.erase(it) : std::next(it);
        }
        std::deque<std::shared_ptr<SentItem>> pending;
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            queue->alive = false;
            pending.swap(queue->sent);
            queue->posted.clear();
            queue->timers.clear();
        }
        for (auto& item : pending)
            CompleteSent(item, 0);
    }
};
thread_local QueueHolder t_queue;
thread_local int t_quitCode = 0;

Queue& CurrentQueue()
{
    if (!t_queue.queue) {
        auto q = std::make_shared<Queue>();
        q->threadId = GetCurrentThreadId();
        std::lock_guard<std::mutex> guard(g_lock);
        g_queues[q->threadId] = q;
        t_queue.queue = std::move(q);
    }
    return *t_queue.queue;
}

std::shared_ptr<Window> LookupWindow(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it == g_windows.end() ? nullptr : it->second;
}

void Notify(Queue& q)
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(q.lock);
        hook = q.wakeHook;
    }
    q.wake.notify_all();
    if (hook)
        hook();
}

bool SameSignNoOverflow(int a, int b)
{
    if ((a >= 0) != (b >= 0) && a != 0 && b != 0)
        return false;
    long long sum = static_cast<long long>(a) + b;
    return sum >= INT_MIN && sum <= INT_MAX;
}

int AsInt(WPARAM w) { return static_cast<int>(static_cast<INT_PTR>(w)); }

// Queues a posted message; FALSE when the queue's thread has ended.
bool Enqueue(Queue& q, const MSG& msg, bool coalesceDelta)
{
    {
        std::lock_guard<std::mutex> guard(q.lock);
        if (!q.alive)
            return false;
        if (coalesceDelta && !q.posted.empty()) {
            MSG& tail = q.posted.back();
            if (tail.hwnd == msg.hwnd && tail.message == PBM_DELTAPOS && SameSignNoOverflow(AsInt(tail.wParam), AsInt(msg.wParam))) {
                tail.wParam = static_cast<WPARAM>(static_cast<INT_PTR>(AsInt(tail.wParam) + AsInt(msg.wParam)));
                return true;   // the reader was woken by the tail's post already
            }
        }
        q.posted.push_back(msg);
        q.posted.back().time = GetTickCount();
        ++q.version;
    }
    Notify(q);
    return true;
}

// Deltas the owning thread posts to its own progress bar are summed here, without a lock,
// and queued as one PBM_DELTAPOS at that thread's next call on the queue (any post, send,
// peek, get or wait), so a delta per digested block costs an addition. Only the owner can
// destroy the bar, and it flushes first, so the held window stays valid.
// The hot fields are plain, so checking them needs no thread-exit registration.
struct StagedDelta {
    HWND hwnd;
    int sum;
};
thread_local StagedDelta t_staged{nullptr, 0};
thread_local std::shared_ptr<Window> t_stagedWindow;

void FlushStagedDelta()
{
    if (!t_staged.hwnd)
        return;
    MSG msg{t_staged.hwnd, PBM_DELTAPOS, static_cast<WPARAM>(static_cast<INT_PTR>(t_staged.sum)), 0, 0};
    std::shared_ptr<Window> w = std::move(t_stagedWindow);
    t_staged.hwnd = nullptr;
    t_staged.sum = 0;
    if (w)
        Enqueue(*w->queue, msg, true);
}

bool MatchesFilter(const MSG& m, HWND hwnd, UINT lo, UINT hi)
{
    if (hwnd == reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1))) {
        if (m.hwnd)
            return false;
    } else if (hwnd && m.hwnd != hwnd) {
        return false;
    }
    return (lo == 0 && hi == 0) || (m.message >= lo && m.message <= hi);
}

LRESULT CallWindow(const std::shared_ptr<Window>& w, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!w || !w->proc)
        return 0;
    return w->proc(w->handle, message, wParam, lParam);
}

// Runs the messages other threads sent to this one.
void RunSentMessages(Queue& q)
{
    for (;;) {
        std::shared_ptr<SentItem> item;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            if (q.sent.empty())
                return;
            item = q.sent.front();
            q.sent.pop_front();
        }
        // The sender is answered even when the procedure throws.
        struct Answer {
            std::shared_ptr<SentItem> item;
            LRESULT result = 0;
            ~Answer() { CompleteSent(item, result); }
        } answer{item};
        answer.result = CallWindow(LookupWindow(item->msg.hwnd), item->msg.message, item->msg.wParam, item->msg.lParam);
    }
}

// Takes the next message under the filter, or returns false.
bool TakeMessage(Queue& q, MSG* msg, HWND hwnd, UINT lo, UINT hi, UINT flags)
{
    std::lock_guard<std::mutex> guard(q.lock);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (MatchesFilter(*it, hwnd, lo, hi)) {
            *msg = *it;
            if (flags & PM_REMOVE)
                q.posted.erase(it);
            return true;
        }
    }
    if (q.quit) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<INT_PTR>(q.quitCode)), 0, GetTickCount()};
        if (flags & PM_REMOVE)
            q.quit = false;
        return true;
    }
    Clock::time_point now = Clock::now();
    Timer* next = nullptr;
    for (Timer& t : q.timers) {
        MSG probe{t.hwnd, WM_TIMER, 0, 0, 0};
        if (t.due <= now && MatchesFilter(probe, hwnd, lo, hi) && (!next || t.due < next->due))
            next = &t;
    }
    if (next) {
        *msg = MSG{next->hwnd, WM_TIMER, next->id, reinterpret_cast<LPARAM>(next->proc), GetTickCount()};
        if (flags & PM_REMOVE)
            next->due = now + std::chrono::milliseconds(next->elapse);
        return true;
    }
    return false;
}

// Whether anything could be taken now (without a filter), and when the next timer is due.
bool HasWork(Queue& q, Clock::time_point* nextDue)
{
    *nextDue = Clock::time_point::max();
    if (!q.posted.empty() || q.quit || !q.sent.empty())
        return true;
    for (const Timer& t : q.timers)
        *nextDue = std::min(*nextDue, t.due);
    return *nextDue <= Clock::now();
}

// Waits until something arrives after `seen` or `deadline` passes; runs sent messages.
// Returns false on timeout.
bool WaitForArrival(Queue& q, unsigned long long seen, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> guard(q.lock);
    Clock::time_point due = Clock::time_point::max();
    for (const Timer& t : q.timers)
        due = std::min(due, t.due);
    Clock::time_point until = std::min(due, deadline);
    auto arrived = [&] { return q.version != seen || !q.sent.empty(); };
    if (until == Clock::time_point::max())
        q.wake.wait(guard, arrived);
    else
        q.wake.wait_until(guard, until, arrived);
    return arrived() || Clock::now() < deadline;
}

// ---- The progress bar --------------------------------------------------------------------

int Clamp(const PROGRESSBARSTATE& s, long long pos)
{
    long long lo = std::min(s.nLower, s.nUpper), hi = std::max(s.nLower, s.nUpper);
    return static_cast<int>(std::clamp(pos, lo, hi));
}

LRESULT ProgressBarMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    PROGRESSBARSTATE snapshot;
    ProgressBarObserver observer;
    {
        std::lock_guard<std::mutex> guard(w.stateLock);
        PROGRESSBARSTATE& s = w.state;
        switch (message) {
        case PBM_SETRANGE:
            result = MAKELPARAM(static_cast<WORD>(s.nLower), static_cast<WORD>(s.nUpper));
            s.nLower = LOWORD(static_cast<DWORD>(lParam));
            s.nUpper = HIWORD(static_cast<DWORD>(lParam));
            s.nPos = Clamp(s, s.nPos);
            break;
        case PBM_SETRANGE32:
            result = MAKELPARAM(static_cast<WORD>(s.nLower), static_cast<WORD>(s.nUpper));
            s.nLower = AsInt(wParam);
            s.nUpper = static_cast<int>(lParam);
            s.nPos = Clamp(s, s.nPos);
            break;
        case PBM_SETPOS:
            result = s.nPos;
            s.nPos = Clamp(s, AsInt(wParam));
            break;
        case PBM_DELTAPOS:
            result = s.nPos;
            s.nPos = Clamp(s, static_cast<long long>(s.nPos) + AsInt(wParam));
            break;
        case PBM_SETSTEP:
            result = s.nStep;
            s.nStep = AsInt(wParam);
            break;
        case PBM_STEPIT: {
            result = s.nPos;
            long long next = static_cast<long long>(s.nPos) + s.nStep;
            // Past the end the bar starts over, as the platform's does.
            if (next > std::max(s.nLower, s.nUpper))
                next = std::min(s.nLower, s.nUpper) + (next - std::max(s.nLower, s.nUpper));
            s.nPos = Clamp(s, next);
            break;
        }
        case PBM_GETRANGE:
            return wParam ? s.nLower : s.nUpper;
        case PBM_GETPOS:
            return s.nPos;
        default:
            return 0;
        }
        ++s.nMessages;
        snapshot = s;
        observer = w.observer;
    }
    if (observer)
        observer(w.handle, message, wParam, lParam, snapshot);
    return result;
}

HWND Register(std::shared_ptr<Window> w)
{
    CurrentQueue();
    w->queue = t_queue.queue;
    std::lock_guard<std::mutex> guard(g_lock);
    w->handle = reinterpret_cast<HWND>(g_nextWindow);
    g_nextWindow += 4;
    g_windows.emplace(reinterpret_cast<std::uintptr_t>(w->handle), w);
    return w->handle;
}

} // namespace

HWND AfxCreateWindow(WindowProc proc)
{
    auto w = std::make_shared<Window>();
    w->proc = std::move(proc);
    return Register(std::move(w));
}

HWND AfxCreateProgressBar()
{
    auto w = std::make_shared<Window>();
    w->isProgressBar = true;
    Window* raw = w.get();
    w->proc = [raw](HWND, UINT message, WPARAM wParam, LPARAM lParam) { return ProgressBarMessage(*raw, message, wParam, lParam); };
    return Register(std::move(w));
}

BOOL AfxGetProgressBarState(HWND bar, PROGRESSBARSTATE* state)
{
    std::shared_ptr<Window> w = LookupWindow(bar);
    if (!w || !w->isProgressBar || !state) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(w->stateLock);
    *state = w->state;
    return TRUE;
}

BOOL AfxSetProgressBarObserver(HWND bar, ProgressBarObserver observer)
{
    std::shared_ptr<Window> w = LookupWindow(bar);
    if (!w || !w->isProgressBar) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(w->stateLock);
    w->observer = std::move(observer);
    return TRUE;
}

BOOL DestroyWindow(HWND hwnd)
{
    FlushStagedDelta();
    std::shared_ptr<Window> w = LookupWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->queue->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    CallWindow(w, WM_DESTROY, 0, 0);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_windows.erase(reinterpret_cast<std::uintptr_t>(hwnd)) == 0)
            return FALSE;   // the procedure destroyed it already
    }
    Queue& q = *w->queue;
    std::lock_guard<std::mutex> guard(q.lock);
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }), q.posted.end());
    q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }), q.timers.end());
    return TRUE;
}

BOOL IsWindow(HWND hwnd) { return LookupWindow(hwnd) != nullptr; }

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId)
{
    std::shared_ptr<Window> w = LookupWindow(hwnd);
    if (processId)
        *processId = w ? GetCurrentProcessId() : 0;
    return w ? w->queue->threadId : 0;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_DELTAPOS && hwnd && hwnd == t_staged.hwnd) {
        int delta = AsInt(wParam);
        if (delta >= 0 && t_staged.sum <= INT_MAX - delta) {
            t_staged.sum += delta;
            return TRUE;
        }
    }
    FlushStagedDelta();
    MSG msg{hwnd, message, wParam, lParam, 0};
    std::shared_ptr<Window> w = LookupWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool delta = w->isProgressBar && message == PBM_DELTAPOS;
    if (delta && AsInt(wParam) >= 0 && t_queue.queue && w->queue == t_queue.queue) {
        t_stagedWindow = std::move(w);
        t_staged.hwnd = hwnd;
        t_staged.sum = AsInt(wParam);
        return TRUE;
    }
    if (!Enqueue(*w->queue, msg, delta)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    FlushStagedDelta();
    std::shared_ptr<Queue> q;
    if (threadId == GetCurrentThreadId()) {
        CurrentQueue();
        q = t_queue.queue;
    } else {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = g_queues.find(threadId);
        if (it != g_queues.end())
            q = it->second.lock();
    }
    if (!q || !Enqueue(*q, MSG{nullptr, message, wParam, lParam, GetTickCount()}, false)) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    FlushStagedDelta();
    std::shared_ptr<Window> w = LookupWindow(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->queue->threadId == GetCurrentThreadId())
        return CallWindow(w, message, wParam, lParam);

    Queue& own = CurrentQueue();
    auto item = std::make_shared<SentItem>();
    item->msg = MSG{hwnd, message, wParam, lParam, GetTickCount()};
    item->sender = t_queue.queue;
    Queue& target = *w->queue;
    {
        std::lock_guard<std::mutex> guard(target.lock);
        if (!target.alive)
            return 0;
        target.sent.push_back(item);
        ++target.version;
    }
    Notify(target);
    for (;;) {
        RunSentMessages(own);
        std::unique_lock<std::mutex> guard(own.lock);
        own.wake.wait(guard, [&] { return item->done || !own.sent.empty(); });
        if (item->done)
            return item->result;
    }
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT flags)
{
    if (!msg)
        return FALSE;
    FlushStagedDelta();
    Queue& q = CurrentQueue();
    RunSentMessages(q);
    return TakeMessage(q, msg, hwnd, filterMin, filterMax, flags) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg)
        return -1;
    FlushStagedDelta();
    if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)) && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Queue& q = CurrentQueue();
    for (;;) {
        unsigned long long seen;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            seen = q.version;
        }
        RunSentMessages(q);
        if (TakeMessage(q, msg, hwnd, filterMin, filterMax, PM_REMOVE))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        WaitForArrival(q, seen, Clock::time_point::max());
    }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    return CallWindow(LookupWindow(msg->hwnd), msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode)
{
    FlushStagedDelta();
    Queue& q = CurrentQueue();
    {
        std::lock_guard<std::mutex> guard(q.lock);
        q.quit = true;
        q.quitCode = exitCode;
        ++q.version;
    }
    Notify(q);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerProc)
{
    Queue& q = CurrentQueue();
    if (hwnd) {
        std::shared_ptr<Window> w = LookupWindow(hwnd);
        if (!w || w->queue.get() != &q) {
            SetLastError(w ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    elapse = std::max(elapse, USER_TIMER_MINIMUM);
    elapse = std::min<UINT>(elapse, 0x7FFFFFFF);
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(elapse);
    std::lock_guard<std::mutex> guard(q.lock);
    if (!hwnd) {
        bool known = id && std::any_of(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return !t.hwnd && t.id == id; });
        if (!known) {
            std::lock_guard<std::mutex> g(g_lock);
            id = g_nextThreadTimer++;
        }
    }
    for (Timer& t : q.timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.proc = timerProc;
            t.due = due;
            ++q.version;
            return hwnd && id == 0 ? 1 : id;
        }
    }
    q.timers.push_back(Timer{hwnd, id, elapse, timerProc, due});
    ++q.version;
    return hwnd && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    std::shared_ptr<Queue> q;
    if (hwnd) {
        std::shared_ptr<Window> w = LookupWindow(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        q = w->queue;
    } else {
        CurrentQueue();
        q = t_queue.queue;
    }
    std::lock_guard<std::mutex> guard(q->lock);
    auto it = std::find_if(q->timers.begin(), q->timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == q->timers.end())
        return FALSE;
    q->timers.erase(it);
    return TRUE;
}

BOOL AfxWaitForMessage(DWORD timeoutMs)
{
    FlushStagedDelta();
    Queue& q = CurrentQueue();
    Clock::time_point deadline = timeoutMs == INFINITE ? Clock::time_point::max()
                                                       : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        RunSentMessages(q);
        unsigned long long seen;
        bool moreSent, ready;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            Clock::time_point nextDue;
            moreSent = !q.sent.empty();
            ready = !moreSent && HasWork(q, &nextDue);
            seen = q.version;
        }
        if (ready)
            return TRUE;
        if (moreSent)
            continue;
        if (!WaitForArrival(q, seen, deadline))
            return FALSE;
    }
}

int AfxGetQuitCode() { return t_quitCode; }

void AfxSetQueueWakeHook(std::function<void()> hook)
{
    Queue& q = CurrentQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.wakeHook = std::move(hook);
}

// ---- The thread object's pump ----------------------------------------------------------------

BOOL CWinThread::PumpMessage()
{
    MSG msg;
    BOOL r = GetMessageA(&msg, nullptr, 0, 0);
    if (r == 0) {
        // The quit stays pending, so every enclosing loop (a modal one, then the main one)
        // ends as well.
        t_quitCode = static_cast<int>(static_cast<INT_PTR>(msg.wParam));
        PostQuitMessage(t_quitCode);
        return FALSE;
    }
    if (r < 0)
        return TRUE;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return TRUE;
}

BOOL CWinThread::OnIdle(long) { return FALSE; }
