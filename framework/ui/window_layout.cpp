// Parentage, z-order, rectangles, visibility and painting marks of window handles, kept in a
// table beside the handle table and pruned of destroyed windows as it is used.
#include "framework/ui/window_layout.h"

#include "framework/system.h"
#include "framework/window.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

using Key = std::uintptr_t;
constexpr Key kDesktop = 0;   // the list of windows without parent

struct Placement {
    Key parent = kDesktop;
    LONG x = 0, y = 0, cx = 0, cy = 0;
    bool shown = false;
    bool needsPaint = false;
};

std::mutex g_layoutLock;
std::unordered_map<Key, Placement> g_placements;
std::unordered_map<Key, std::vector<Key>> g_children;   // topmost first

Key KeyOf(HWND hwnd) { return reinterpret_cast<Key>(hwnd); }
HWND HandleOf(Key key) { return reinterpret_cast<HWND>(key); }

void Unlink(Key key, Key parent)
{
    auto it = g_children.find(parent);
    if (it == g_children.end())
        return;
    auto& list = it->second;
    list.erase(std::remove(list.begin(), list.end(), key), list.end());
    if (list.empty())
        g_children.erase(it);
}

// Forgets destroyed windows; their children become windows of their own.
void Prune()
{
    std::vector<Key> gone;
    for (const auto& [key, placement] : g_placements)
        if (!IsWindow(HandleOf(key)))
            gone.push_back(key);
    for (Key key : gone) {
        Unlink(key, g_placements[key].parent);
        g_placements.erase(key);
        auto orphans = g_children.find(key);
        if (orphans != g_children.end()) {
            std::vector<Key> list = std::move(orphans->second);
            g_children.erase(orphans);
            auto& desktop = g_children[kDesktop];
            for (Key child : list) {
                g_placements[child].parent = kDesktop;
                desktop.insert(desktop.begin(), child);
            }
        }
    }
}

// The placement of a live window (made on first use), or null with the last error set.
// The caller holds g_layoutLock.
Placement* Find(HWND hwnd)
{
    Prune();
    if (!hwnd || !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto [it, made] = g_placements.try_emplace(KeyOf(hwnd));
    if (made) {
        auto& desktop = g_children[kDesktop];
        desktop.insert(desktop.begin(), KeyOf(hwnd));
    }
    return &it->second;
}

// The client area's top-left corner in screen coordinates.
POINT ScreenOrigin(Key key)
{
    POINT origin{0, 0};
    for (int depth = 0; key != kDesktop && depth < 1024; ++depth) {
        auto it = g_placements.find(key);
        if (it == g_placements.end())
            break;
        origin.x += it->second.x;
        origin.y += it->second.y;
        key = it->second.parent;
    }
    return origin;
}

void PlaceInOrder(Key key, Key parent, HWND insertAfter)
{
    auto& list = g_children[parent];
    list.erase(std::remove(list.begin(), list.end(), key), list.end());
    if (insertAfter == HWND_TOP) {
        list.insert(list.begin(), key);
        return;
    }
    auto after = std::find(list.begin(), list.end(), KeyOf(insertAfter));
    if (insertAfter == HWND_BOTTOM || after == list.end())
        list.push_back(key);
    else
        list.insert(after + 1, key);
}

// The window and every parent up the chain are shown. The caller holds g_layoutLock.
bool ShownUpTheChain(const Placement* p)
{
    for (int depth = 0; p && depth < 1024; ++depth) {
        if (!p->shown)
            return false;
        if (p->parent == kDesktop)
            return true;
        auto it = g_placements.find(p->parent);
        p = it == g_placements.end() ? nullptr : &it->second;
    }
    return false;
}

LONG MulDivRound(LONG value, int multiplier, int divisor)
{
    long long product = static_cast<long long>(value) * multiplier;
    long long half = divisor / 2;
    return static_cast<LONG>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}

} // namespace

HWND SetParent(HWND child, HWND parent)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* c = Find(child);
    if (!c)
        return nullptr;
    Key newParent = kDesktop;
    if (parent) {
        if (!Find(parent))
            return nullptr;
        newParent = KeyOf(parent);
        for (Key k = newParent; k != kDesktop; k = g_placements[k].parent) {
            if (k == KeyOf(child)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
        }
    }
    Key old = c->parent;
    Unlink(KeyOf(child), old);
    c->parent = newParent;
    PlaceInOrder(KeyOf(child), newParent, HWND_TOP);
    SetLastError(ERROR_SUCCESS);
    return HandleOf(old);
}

HWND GetParent(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p)
        return nullptr;
    SetLastError(ERROR_SUCCESS);
    return HandleOf(p->parent);
}

HWND GetWindow(HWND hwnd, UINT command)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p)
        return nullptr;
    SetLastError(ERROR_SUCCESS);
    Key key = KeyOf(hwnd);
    if (command == GW_CHILD) {
        auto it = g_children.find(key);
        return it == g_children.end() || it->second.empty() ? nullptr : HandleOf(it->second.front());
    }
    auto siblings = g_children.find(p->parent);
    if (siblings == g_children.end())
        return nullptr;
    const std::vector<Key>* list = &siblings->second;
    auto self = std::find(list->begin(), list->end(), key);
    switch (command) {
    case GW_HWNDFIRST:
        return HandleOf(list->front());
    case GW_HWNDLAST:
        return HandleOf(list->back());
    case GW_HWNDNEXT:
        return self == list->end() || self + 1 == list->end() ? nullptr : HandleOf(*(self + 1));
    case GW_HWNDPREV:
        return self == list->end() || self == list->begin() ? nullptr : HandleOf(*(self - 1));
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

BOOL GetWindowRect(HWND hwnd, RECT* rect)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p || !rect) {
        if (p)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    POINT origin = ScreenOrigin(KeyOf(hwnd));
    *rect = RECT{origin.x, origin.y, origin.x + p->cx, origin.y + p->cy};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p || !rect) {
        if (p)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = RECT{0, 0, p->cx, p->cy};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    if (!Find(hwnd) || !point)
        return FALSE;
    POINT origin = ScreenOrigin(KeyOf(hwnd));
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    if (!Find(hwnd) || !point)
        return FALSE;
    POINT origin = ScreenOrigin(KeyOf(hwnd));
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p)
        return FALSE;
    p->x = x;
    p->y = y;
    p->cx = std::max(width, 0);
    p->cy = std::max(height, 0);
    if (repaint)
        p->needsPaint = true;
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p)
        return FALSE;
    bool changed = false;
    if (!(flags & SWP_NOMOVE)) {
        p->x = x;
        p->y = y;
        changed = true;
    }
    if (!(flags & SWP_NOSIZE)) {
        p->cx = std::max(cx, 0);
        p->cy = std::max(cy, 0);
        changed = true;
    }
    if (flags & SWP_SHOWWINDOW) {
        changed = changed || !p->shown;
        p->shown = true;
    } else if (flags & SWP_HIDEWINDOW) {
        p->shown = false;
    }
    if (!(flags & SWP_NOZORDER))
        PlaceInOrder(KeyOf(hwnd), p->parent, insertAfter);
    if (changed && !(flags & SWP_NOREDRAW))
        p->needsPaint = true;
    return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p)
        return FALSE;
    BOOL was = p->shown ? TRUE : FALSE;
    p->shown = command != SW_HIDE;
    if (p->shown && !was)
        p->needsPaint = true;
    return was;
}

BOOL IsWindowVisible(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    return p && ShownUpTheChain(p) ? TRUE : FALSE;
}

BOOL InvalidateRect(HWND hwnd, const RECT*, BOOL)
{
    std::lock_guard<std::mutex> guard(g_layoutLock);
    Placement* p = Find(hwnd);
    if (!p)
        return FALSE;
    p->needsPaint = true;
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    {
        std::lock_guard<std::mutex> guard(g_layoutLock);
        Placement* p = Find(hwnd);
        if (!p)
            return FALSE;
        // A hidden window keeps its mark until it is shown.
        if (!p->needsPaint || !ShownUpTheChain(p))
            return TRUE;
        p->needsPaint = false;
    }
    SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL MapDialogRect(HWND, RECT* rect)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    rect->left = MulDivRound(rect->left, AFX_DIALOG_BASE_X, 4);
    rect->right = MulDivRound(rect->right, AFX_DIALOG_BASE_X, 4);
    rect->top = MulDivRound(rect->top, AFX_DIALOG_BASE_Y, 8);
    rect->bottom = MulDivRound(rect->bottom, AFX_DIALOG_BASE_Y, 8);
    return TRUE;
}
