// Handles, message queues, sending across threads, timers and the progress bar.
#include "framework/window.h"

#include "framework/system.h"
#include "framework/thread.h"

#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Empties the calling thread's queue so each test starts clean.
void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

struct Recorder {
    std::vector<UINT> messages;
    HWND Create()
    {
        return AfxCreateWindow([this](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
            messages.push_back(m);
            return static_cast<LRESULT>(w) + 1;
        });
    }
};

} // namespace

TEST(ServicesWindow, PostedMessagesComeInOrderAndFiltered)
{
    Drain();
    Recorder rec;
    HWND a = rec.Create();
    HWND b = rec.Create();
    ASSERT_TRUE(IsWindow(a));
    EXPECT_EQ(GetWindowThreadProcessId(a, nullptr), GetCurrentThreadId());

    ASSERT_TRUE(PostMessageA(a, WM_USER + 1, 10, 0));
    ASSERT_TRUE(PostMessageA(b, WM_USER + 2, 20, 0));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP, 30, 0));
    EXPECT_FALSE(PostMessageA(nullptr, WM_APP, 31, 0));   // lost, never a thread message
    ASSERT_TRUE(PostMessageA(a, WM_USER + 3, 40, 0));

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 2u);
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)), 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_APP);
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 2u);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.hwnd, a);
    EXPECT_EQ(DispatchMessageA(&msg), 11);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 40u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    // Same-thread sends call the procedure at once.
    EXPECT_EQ(SendMessageA(b, WM_USER, 5, 0), 6);
    EXPECT_EQ(rec.messages, (std::vector<UINT>{WM_USER + 1, WM_USER}));

    // Lost messages: null-handle sends, destroyed windows (their queued messages go too).
    ASSERT_TRUE(PostMessageA(a, WM_USER, 0, 0));
    ASSERT_TRUE(DestroyWindow(a));
    EXPECT_EQ(rec.messages.back(), WM_DESTROY);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_FALSE(PostMessageA(a, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageA(a, WM_USER, 0, 0), 0);
    EXPECT_FALSE(DestroyWindow(a));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(GetMessageA(&msg, a, 0, 0), -1);
    DestroyWindow(b);
}

TEST(ServicesWindow, QuitComesAfterPostedMessagesAndStaysForOuterLoops)
{
    Drain();
    Recorder rec;
    HWND w = rec.Create();
    PostQuitMessage(3);
    PostMessageA(w, WM_USER, 0, 0);
    MSG msg;
    // The quit message passes any filter, but only once the posted messages are taken.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);

    CWinThread thread;
    EXPECT_TRUE(thread.PumpMessage());
    EXPECT_EQ(rec.messages, std::vector<UINT>{WM_USER});
    EXPECT_FALSE(thread.PumpMessage());
    EXPECT_EQ(AfxGetQuitCode(), 3);
    EXPECT_FALSE(thread.PumpMessage());   // still pending for an enclosing loop
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(thread.OnIdle(0));
    DestroyWindow(w);
}

TEST(ServicesWindow, SendingAcrossThreadsWaitsForTheOwner)
{
    Drain();
    std::atomic<DWORD> ranOn{0};
    HWND w = AfxCreateWindow([&](HWND, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        ranOn = GetCurrentThreadId();
        if (m == WM_COPYDATA) {
            auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            return cds->dwData == 0x504C4E54 ? static_cast<LRESULT>(cds->cbData) : -1;
        }
        return static_cast<LRESULT>(wp * 2);
    });
    std::atomic<LRESULT> result{0};
    std::thread sender([&] {
        const char line[] = "mail.sig";
        COPYDATASTRUCT cds{0x504C4E54, sizeof line, const_cast<char*>(line)};
        result = SendMessageA(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
        PostMessageA(w, WM_USER, 0, 0);   // tells the owner the sender is done
    });
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));   // the sent message runs inside
    EXPECT_EQ(msg.message, WM_USER);
    sender.join();
    EXPECT_EQ(result.load(), 9);
    EXPECT_EQ(ranOn.load(), GetCurrentThreadId());

    // A send to a thread that ends without reading its queue is answered with 0.
    // The owner's wake hook tells it the message is in its queue; it ends at that.
    std::atomic<HWND> other{nullptr};
    std::atomic<bool> queued{false};
    std::thread owner([&] {
        HWND mine = AfxCreateWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 77; });
        AfxSetQueueWakeHook([&] { queued = true; });
        other = mine;
        EXPECT_TRUE(qmtest::WaitUntil([&] { return queued.load(); }));
    });
    ASSERT_TRUE(qmtest::WaitUntil([&] { return other.load() != nullptr; }));
    std::thread late([&] { result = SendMessageA(other, WM_USER, 0, 0); });
    owner.join();
    late.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(IsWindow(other));   // the thread's windows ended with it
    EXPECT_FALSE(PostMessageA(other, WM_USER, 0, 0));
    DestroyWindow(w);
}

TEST(ServicesWindow, ThreadsPostToEachOther)
{
    Drain();
    DWORD main = GetCurrentThreadId();
    std::atomic<DWORD> workerId{0};
    std::thread worker([&] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);   // makes the queue
        workerId = GetCurrentThreadId();
        GetMessageA(&m, nullptr, 0, 0);
        PostThreadMessageA(main, WM_APP + 1, m.wParam + 1, 0);
    });
    while (!workerId)
        std::this_thread::yield();
    ASSERT_TRUE(PostThreadMessageA(workerId, WM_APP, 41, 0));
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_APP + 1u);
    EXPECT_EQ(msg.wParam, 42u);
    worker.join();
    EXPECT_FALSE(PostThreadMessageA(workerId, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);

    // A front end's wake hook runs when another thread posts.
    std::atomic<int> wakes{0};
    AfxSetQueueWakeHook([&] { ++wakes; });
    std::thread([&] { PostThreadMessageA(main, WM_APP, 0, 0); }).join();
    EXPECT_EQ(wakes.load(), 1);
    AfxSetQueueWakeHook(nullptr);
    EXPECT_TRUE(AfxWaitForMessage(0));
    Drain();
    EXPECT_FALSE(AfxWaitForMessage(15));
}

TEST(ServicesWindow, TimersArriveThroughTheQueue)
{
    Drain();
    Recorder rec;
    HWND w = rec.Create();
    ASSERT_EQ(SetTimer(w, 1, 10, nullptr), 1u);
    MSG msg;
    DWORD start = GetTickCount();
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_EQ(msg.hwnd, w);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_GE(GetTickCount() - start, 9u);
    // Posted messages go ahead of a due timer.
    ASSERT_TRUE(qmtest::WaitUntil([&] { return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE; }));
    PostMessageA(w, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));   // one per timer however late

    // Killing a timer that is due takes its message away.
    ASSERT_TRUE(qmtest::WaitUntil([&] { return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE; }));
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_TRUE(KillTimer(w, 1));
    EXPECT_FALSE(KillTimer(w, 1));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    // A thread timer with a procedure, dispatched through DispatchMessageA.
    static std::atomic<int> fired;
    fired = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR, DWORD) { ++fired; });
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, id);
    DispatchMessageA(&msg);
    EXPECT_EQ(fired.load(), 1);
    EXPECT_TRUE(KillTimer(nullptr, id));

    // Timers of a destroyed window go with it; windows of other threads cannot get timers.
    SetTimer(w, 2, 10, nullptr);
    ASSERT_TRUE(qmtest::WaitUntil([&] { return PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE; }));
    DestroyWindow(w);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    HWND mine = rec.Create();
    std::thread([&] {
        EXPECT_EQ(SetTimer(mine, 1, 10, nullptr), 0u);
        EXPECT_FALSE(DestroyWindow(mine));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }).join();
    DestroyWindow(mine);
}

TEST(ServicesWindow, ProgressBarKeepsOrderAndCoalescesDeltas)
{
    Drain();
    HWND bar = AfxCreateProgressBar();
    std::vector<std::pair<UINT, int>> seen;
    ASSERT_TRUE(AfxSetProgressBarObserver(bar, [&](HWND, UINT m, WPARAM w, LPARAM, const PROGRESSBARSTATE& s) {
        seen.emplace_back(m, s.nPos);
        (void)w;
    }));
    // What a posting progress reporter does: range, step, position, then a delta per block.
    PostMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 7));
    PostMessageA(bar, PBM_SETSTEP, 1, 0);
    PostMessageA(bar, PBM_SETPOS, 0, 0);
    for (int i = 0; i < 1000; ++i)
        PostMessageA(bar, PBM_DELTAPOS, 1, 0);
    PostMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 5000));
    for (int i = 0; i < 3; ++i)
        PostMessageA(bar, PBM_DELTAPOS, 1, 0);
    PostMessageA(bar, PBM_DELTAPOS, static_cast<WPARAM>(-2), 0);   // other sign: not merged

    MSG msg;
    int taken = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
        ++taken;
    }
    EXPECT_EQ(taken, 7);
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[3], (std::pair<UINT, int>{PBM_DELTAPOS, 7}));   // clamped to the range
    EXPECT_EQ(seen[5], (std::pair<UINT, int>{PBM_DELTAPOS, 10}));
    PROGRESSBARSTATE s;
    ASSERT_TRUE(AfxGetProgressBarState(bar, &s));
    EXPECT_EQ(s.nLower, 0);
    EXPECT_EQ(s.nUpper, 5000);
    EXPECT_EQ(s.nStep, 1);
    EXPECT_EQ(s.nPos, 8);
    EXPECT_EQ(s.nMessages, 7u);

    // Sent messages return the previous values; ranges are 16-bit words.
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 3, 0), 8);
    EXPECT_EQ(SendMessageA(bar, PBM_DELTAPOS, 2, 0), 3);
    EXPECT_EQ(SendMessageA(bar, PBM_SETSTEP, 4, 0), 1);
    EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 5);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 9);
    EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, static_cast<LPARAM>(MAKELPARAM(1, static_cast<WORD>(70000)))), MAKELPARAM(0, 5000));
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 70000 & 0xFFFF);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 1);

    // A non-bar window gets every delta as it was posted.
    Recorder rec;
    HWND plain = rec.Create();
    PostMessageA(plain, PBM_DELTAPOS, 1, 0);
    PostMessageA(plain, PBM_DELTAPOS, 1, 0);
    taken = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ++taken;
    EXPECT_EQ(taken, 2);
    DestroyWindow(plain);
    DestroyWindow(bar);
    EXPECT_FALSE(AfxGetProgressBarState(bar, &s));
}

TEST(ServicesWindow, WorkerProgressReachesTheOwnersBar)
{
    Drain();
    HWND bar = AfxCreateProgressBar();
    std::thread worker([bar] {
        PostMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 20000));
        for (int i = 0; i < 10000; ++i)
            PostMessageA(bar, PBM_DELTAPOS, 1, 0);
    });
    worker.join();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    PROGRESSBARSTATE s;
    ASSERT_TRUE(AfxGetProgressBarState(bar, &s));
    EXPECT_EQ(s.nPos, 10000);
    EXPECT_LE(s.nMessages, 3u);
    DestroyWindow(bar);
}
