// The framework's window placement that the pictures rely on: parentage and z-order,
// screen and client coordinates, visibility up the chain, painting, dialog units.
#include "framework/system.h"
#include "framework/ui/window_layout.h"
#include "framework/window.h"

#include <gtest/gtest.h>

namespace {

HWND NewWindow(int* paints = nullptr)
{
    return AfxCreateWindow([paints](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_PAINT && paints)
            ++*paints;
        return 0;
    });
}

TEST(WindowLayout, ChildrenInZOrderAndCoordinatesThroughTheChain)
{
    HWND top = NewWindow(), a = NewWindow(), b = NewWindow(), inner = NewWindow();
    MoveWindow(top, 100, 50, 400, 300, FALSE);
    EXPECT_EQ(SetParent(a, top), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(SetParent(b, top), nullptr);
    SetParent(inner, b);
    MoveWindow(b, 10, 20, 100, 80, FALSE);
    MoveWindow(inner, 5, 6, 30, 40, FALSE);

    // The newest child is on top.
    EXPECT_EQ(GetWindow(top, GW_CHILD), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(a, GW_HWNDPREV), b);
    EXPECT_EQ(GetWindow(a, GW_HWNDFIRST), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDLAST), a);
    SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(top, GW_CHILD), a);
    EXPECT_EQ(GetParent(inner), b);

    RECT r{};
    ASSERT_TRUE(GetWindowRect(inner, &r));
    EXPECT_EQ(r.left, 115);
    EXPECT_EQ(r.top, 76);
    EXPECT_EQ(r.right, 145);
    EXPECT_EQ(r.bottom, 116);
    ASSERT_TRUE(GetClientRect(inner, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 30);
    POINT p{115, 76};
    ScreenToClient(b, &p);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, 6);
    ClientToScreen(b, &p);
    EXPECT_EQ(p.x, 115);

    // No cycles.
    EXPECT_EQ(SetParent(top, inner), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetParent(b, b), nullptr);

    // A destroyed child drops out; the children of a destroyed window stand alone.
    DestroyWindow(a);
    EXPECT_EQ(GetWindow(top, GW_CHILD), b);
    DestroyWindow(b);
    EXPECT_EQ(GetWindow(top, GW_CHILD), nullptr);
    EXPECT_EQ(GetParent(inner), nullptr);
    ASSERT_TRUE(GetWindowRect(inner, &r));
    EXPECT_EQ(r.left, 5);

    EXPECT_FALSE(GetWindowRect(a, &r));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(MoveWindow(nullptr, 0, 0, 1, 1, FALSE));
    DestroyWindow(inner);
    DestroyWindow(top);
}

TEST(WindowLayout, VisibilityAndPainting)
{
    int topPaints = 0, childPaints = 0;
    HWND top = NewWindow(&topPaints), child = NewWindow(&childPaints);
    SetParent(child, top);
    EXPECT_FALSE(IsWindowVisible(child));
    EXPECT_FALSE(ShowWindow(child, SW_SHOWNOACTIVATE));
    EXPECT_FALSE(IsWindowVisible(child));   // its parent is hidden
    UpdateWindow(child);
    EXPECT_EQ(childPaints, 0);              // nothing painted while hidden...
    ShowWindow(top, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(child));
    UpdateWindow(child);
    EXPECT_EQ(childPaints, 1);              // ...the mark waited until it was shown
    UpdateWindow(child);
    EXPECT_EQ(childPaints, 1);
    InvalidateRect(top, nullptr, TRUE);
    UpdateWindow(top);
    UpdateWindow(top);
    EXPECT_EQ(topPaints, 1);

    SetWindowPos(child, HWND_TOP, 1, 2, 3, 4, SWP_NOZORDER | SWP_HIDEWINDOW);
    EXPECT_FALSE(IsWindowVisible(child));
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RECT r{};
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 6);
    EXPECT_TRUE(ShowWindow(child, SW_HIDE));
    DestroyWindow(child);
    DestroyWindow(top);
}

TEST(WindowLayout, DialogUnitsToPixels)
{
    RECT r{0, 0, 327, 174};
    ASSERT_TRUE(MapDialogRect(nullptr, &r));
    EXPECT_EQ(r.right, 491);    // 327 * 6 / 4 = 490.5
    EXPECT_EQ(r.bottom, 283);   // 174 * 13 / 8 = 282.75
    RECT n{-4, -8, 4, 8};
    MapDialogRect(nullptr, &n);
    EXPECT_EQ(n.left, -6);
    EXPECT_EQ(n.top, -13);
    EXPECT_FALSE(MapDialogRect(nullptr, nullptr));
}

} // namespace
