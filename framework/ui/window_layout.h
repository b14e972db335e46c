// Where windows sit: the parent of a window handle, its children in z-order (topmost first),
// its rectangle, whether it is shown and whether it needs painting, with the platform's
// names. A window's position is kept relative to its parent's client area (to the screen for
// a window without parent); the client area is the whole window (no frames are modelled).
// A window that was never placed sits at (0, 0) with no size, hidden, without parent.
//
// Handles are checked against the handle table: an invalid one fails with
// ERROR_INVALID_WINDOW_HANDLE, and destroyed windows drop out of their parent's children.
// Any thread may place any window; nothing here calls a window procedure except
// UpdateWindow, which sends WM_PAINT.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

struct FRAMEWORK_API POINT {
    LONG x;
    LONG y;
};

struct FRAMEWORK_API RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

constexpr UINT WM_PAINT = 0x000F;

// GetWindow
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_CHILD = 5;

// ShowWindow (activation is not modelled: the showing commands only differ in name)
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNA = 8;

// SetWindowPos
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
#define HWND_TOP (static_cast<HWND>(nullptr))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))

// Makes `child` a child of `parent` (null: a window of its own), on top of its new siblings,
// keeping its position numbers. Returns the previous parent; null with the last error set on
// failure, and with the last error ERROR_SUCCESS when there was no parent before. A window
// cannot become a child of itself or of one of its descendants (ERROR_INVALID_PARAMETER).
FRAMEWORK_API HWND SetParent(HWND child, HWND parent);
FRAMEWORK_API HWND GetParent(HWND hwnd);
// GW_CHILD: the topmost child; GW_HWNDNEXT/PREV: the sibling below/above; GW_HWNDFIRST/LAST:
// the topmost/bottom sibling. Null when there is none (last error ERROR_SUCCESS) or on failure.
FRAMEWORK_API HWND GetWindow(HWND hwnd, UINT command);

// The window in screen coordinates, and its client area (0, 0, width, height).
FRAMEWORK_API BOOL GetWindowRect(HWND hwnd, RECT* rect);
FRAMEWORK_API BOOL GetClientRect(HWND hwnd, RECT* rect);
FRAMEWORK_API BOOL ClientToScreen(HWND hwnd, POINT* point);
FRAMEWORK_API BOOL ScreenToClient(HWND hwnd, POINT* point);

// Position in the parent's client coordinates; negative sizes count as 0. With repaint the
// window is marked for painting.
FRAMEWORK_API BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
// insertAfter: HWND_TOP, HWND_BOTTOM or a sibling to go below (ignored with SWP_NOZORDER).
FRAMEWORK_API BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Returns whether the window was shown before.
FRAMEWORK_API BOOL ShowWindow(HWND hwnd, int command);
// Shown, and every parent up the chain shown too.
FRAMEWORK_API BOOL IsWindowVisible(HWND hwnd);

// Marks the window for painting (the rectangle and erase flag are accepted, the whole window
// is repainted); UpdateWindow sends WM_PAINT to a marked window and clears the mark.
FRAMEWORK_API BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
FRAMEWORK_API BOOL UpdateWindow(HWND hwnd);

// Dialog units to pixels with the framework's dialog base units (the dialog font's average
// character is AFX_DIALOG_BASE_X by AFX_DIALOG_BASE_Y pixels: a dialog unit is a quarter of
// its width and an eighth of its height), rounding to the nearest pixel. The dialog handle
// is not needed here and may be null.
constexpr int AFX_DIALOG_BASE_X = 6;
constexpr int AFX_DIALOG_BASE_Y = 13;
FRAMEWORK_API BOOL MapDialogRect(HWND dialog, RECT* rect);
