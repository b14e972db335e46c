// Progress messages reaching a progress-bar control, the kill check's thread rule, the
// message pumping between long steps, and the exception holder.
#include "sigilbox/engines/progress.h"

#include "framework/exceptions.h"
#include "framework/thread.h"
#include "framework/window.h"

#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A progress bar of the calling thread that records every message it handles.
class RecordingBar {
public:
    RecordingBar() : m_hWnd(AfxCreateProgressBar())
    {
        AfxSetProgressBarObserver(m_hWnd, [this](HWND, UINT message, WPARAM wParam, LPARAM lParam, const PROGRESSBARSTATE&) {
            m_seen.push_back({message, wParam, lParam});
        });
    }
    ~RecordingBar() { DestroyWindow(m_hWnd); }
    RecordingBar(const RecordingBar&) = delete;
    RecordingBar& operator=(const RecordingBar&) = delete;

    PROGRESSBARSTATE State() const
    {
        PROGRESSBARSTATE s;
        AfxGetProgressBarState(m_hWnd, &s);
        return s;
    }

    HWND m_hWnd;
    std::vector<Seen> m_seen;
};

void DispatchPending()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

TEST(Progress, SentMessagesArriveInOrderWithSixteenBitRange)
{
    RecordingBar bar;
    CProgress progress(bar.m_hWnd, 0);
    progress.SetUp(70000, 2, 5, 3);  // a maximum above 65535 keeps its low 16 bits
    progress.Hint(4);
    ASSERT_EQ(bar.m_seen.size(), 4u);
    EXPECT_EQ(bar.m_seen[0].message, PBM_SETRANGE);
    EXPECT_EQ(bar.m_seen[0].lParam, MAKELPARAM(2, 70000 - 65536));
    EXPECT_EQ(bar.m_seen[1].message, PBM_SETSTEP);
    EXPECT_EQ(bar.m_seen[1].wParam, 5u);
    EXPECT_EQ(bar.m_seen[2].message, PBM_SETPOS);
    EXPECT_EQ(bar.m_seen[2].wParam, 3u);
    EXPECT_EQ(bar.m_seen[3].message, PBM_DELTAPOS);
    EXPECT_EQ(bar.m_seen[3].wParam, 4u);
    const PROGRESSBARSTATE s = bar.State();
    EXPECT_EQ(s.nLower, 2);
    EXPECT_EQ(s.nUpper, 70000 - 65536);
    EXPECT_EQ(s.nStep, 5);
    EXPECT_EQ(s.nPos, 7);
}

TEST(Progress, PostedMessagesWaitForTheQueue)
{
    RecordingBar bar;
    CProgress progress(bar.m_hWnd);  // posts by default
    EXPECT_NE(progress.m_bPost, 0);
    progress.SetUp(100, 0, 1, 10);
    progress.Hint(5);
    EXPECT_TRUE(bar.m_seen.empty());
    DispatchPending();
    ASSERT_EQ(bar.m_seen.size(), 4u);
    EXPECT_EQ(bar.m_seen[0].message, PBM_SETRANGE);
    EXPECT_EQ(bar.m_seen[1].message, PBM_SETSTEP);
    EXPECT_EQ(bar.m_seen[2].message, PBM_SETPOS);
    EXPECT_EQ(bar.m_seen[3].message, PBM_DELTAPOS);
    EXPECT_EQ(bar.State().nPos, 15);
}

TEST(Progress, WorkerThreadPostsWithoutWaiting)
{
    RecordingBar bar;
    std::thread worker([&] {
        CProgress progress(bar.m_hWnd, 1);
        progress.SetUp(300, 0, 1, 0);
        for (int i = 0; i < 200; ++i)
            progress.Hint(1);
    });
    worker.join();  // returns although nobody has read the queue yet
    DispatchPending();
    ASSERT_GE(bar.m_seen.size(), 4u);
    EXPECT_EQ(bar.m_seen[0].message, PBM_SETRANGE);
    EXPECT_EQ(bar.m_seen[1].message, PBM_SETSTEP);
    EXPECT_EQ(bar.m_seen[2].message, PBM_SETPOS);
    for (size_t i = 3; i < bar.m_seen.size(); ++i)
        EXPECT_EQ(bar.m_seen[i].message, PBM_DELTAPOS);
    EXPECT_EQ(bar.State().nPos, 200);
}

TEST(Progress, NullWindowAndCopies)
{
    CProgress none;
    EXPECT_EQ(none.m_hWnd, nullptr);
    none.SetUp(10, 0, 1, 0);  // lost, harmlessly
    none.Hint(1);
    DispatchPending();

    RecordingBar bar;
    CProgress sending(bar.m_hWnd, 0);
    none = sending;
    EXPECT_EQ(none.m_hWnd, bar.m_hWnd);
    EXPECT_EQ(none.m_bPost, 0);
    none.Hint(1);
    EXPECT_EQ(bar.m_seen.size(), 1u);
}

// ---- The kill check -------------------------------------------------------------------

class KillCheck : public ::testing::Test {
protected:
    void TearDown() override
    {
        ThreadKillFlag = 0;
        ThreadToKill = nullptr;
    }
};

TEST_F(KillCheck, ThrowsOnlyInTheNamedThreadWhileTheFlagIsSet)
{
    CWinThread self;
    ThreadToKill = &self;
    EXPECT_NO_THROW(__checkKillThreadFlag());  // flag clear

    ThreadKillFlag = 1;
    CKillThreadException* caught = nullptr;
    try {
        __checkKillThreadFlag();
    } catch (CKillThreadException* e) {
        caught = e;
    }
    ASSERT_EQ(caught, &CKillThreadException::s_instance);
    EXPECT_FALSE(caught->m_bAutoDelete);
    EXPECT_TRUE(caught->IsKindOf(RUNTIME_CLASS(CException)));
    caught->Delete();  // no effect on the static instance
    EXPECT_TRUE(CKillThreadException::s_instance.IsKindOf(RUNTIME_CLASS(CKillThreadException)));

    bool threwElsewhere = false;
    std::thread other([&] {
        try {
            __checkKillThreadFlag();
        } catch (CKillThreadException*) {
            threwElsewhere = true;
        }
    });
    other.join();
    EXPECT_FALSE(threwElsewhere);

    // The library never clears the request itself.
    EXPECT_EQ(ThreadKillFlag, 1);
    ThreadCannotBeKilled = 1;  // not read by the library: the check still throws
    EXPECT_THROWS_PTR(__checkKillThreadFlag(), CKillThreadException);
    ThreadCannotBeKilled = 0;
}

// ---- Message pumping ------------------------------------------------------------------

class IdleCountingApp : public CWinThread {
public:
    IdleCountingApp() { AfxSetApp(this); }
    BOOL OnIdle(long count) override
    {
        ++m_idleCalls;
        m_lastCount = count;
        return FALSE;
    }
    int m_idleCalls = 0;
    long m_lastCount = -1;
};

// An exception whose deletion can be observed.
class TrackedException : public CException {
public:
    explicit TrackedException(int* deleted) : CException(TRUE), m_deleted(deleted) {}
    ~TrackedException() override { ++*m_deleted; }
    int* m_deleted;
};

constexpr UINT kWmPing = WM_USER + 1;
constexpr UINT kWmThrow = WM_USER + 2;

TEST(FreshenThreadQueue, PumpsPendingMessagesThenIdlesOnce)
{
    IdleCountingApp app;
    std::vector<WPARAM> handled;
    int deleted = 0;
    HWND wnd = AfxCreateWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == kWmThrow)
            throw new TrackedException(&deleted);
        if (message == kWmPing)
            handled.push_back(wParam);
        return 0;
    });
    PostMessageA(wnd, kWmPing, 1, 0);
    PostMessageA(wnd, kWmThrow, 0, 0);  // a failing handler does not stop the pumping
    PostMessageA(wnd, kWmPing, 2, 0);

    __freshenThreadQueue();

    EXPECT_EQ(handled, (std::vector<WPARAM>{1, 2}));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(app.m_idleCalls, 1);
    EXPECT_EQ(app.m_lastCount, 1);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    __freshenThreadQueue();  // nothing pending: idle only
    EXPECT_EQ(app.m_idleCalls, 2);
    DestroyWindow(wnd);
}

TEST(FreshenThreadQueue, StopsWhenTheApplicationIsEnding)
{
    IdleCountingApp app;
    std::vector<WPARAM> handled;
    HWND wnd = AfxCreateWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == kWmPing)
            handled.push_back(wParam);
        return 0;
    });
    PostMessageA(wnd, kWmPing, 1, 0);
    PostQuitMessage(3);
    __freshenThreadQueue();  // returns instead of spinning on the pending quit
    EXPECT_EQ(handled, (std::vector<WPARAM>{1}));
    EXPECT_EQ(app.m_idleCalls, 1);

    // Take the quit so that later tests on this thread start with an empty queue.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    DestroyWindow(wnd);
}

// ---- The exception holder -------------------------------------------------------------

TEST(AutoException, DeletesWhatItHolds)
{
    int deleted = 0;
    {
        SAutoException holder(new TrackedException(&deleted));
        EXPECT_NE(holder.m_pException, nullptr);
    }
    EXPECT_EQ(deleted, 1);

    {
        SAutoException empty;
        EXPECT_EQ(empty.m_pException, nullptr);
    }

    {
        // The static instances (auto-delete off) survive their holder.
        SAutoException holder(&CKillThreadException::s_instance);
    }
    EXPECT_TRUE(CKillThreadException::s_instance.IsKindOf(RUNTIME_CLASS(CKillThreadException)));

    {
        SAutoException first(new TrackedException(&deleted));
        SAutoException second(std::move(first));  // handed over: deleted once
        EXPECT_EQ(first.m_pException, nullptr);
        SAutoException third(new TrackedException(&deleted));
        third = std::move(second);  // third's own exception goes now
        EXPECT_EQ(deleted, 2);
    }
    EXPECT_EQ(deleted, 3);
}

}  // namespace
