// ShowBitmap and HideBitmap: a full-window picture over the installer's window while setup
// runs, with the installer's own controls moved to the bottom edge below it.
#include "deploykit/deploykit.h"
#include "deploykit/picture_art.h"

#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/picture.h"
#include "framework/ui/window_layout.h"

#include <cstring>
#include <map>

namespace deploykit {
namespace {

struct PictureChoice {
    UINT dialogId;
    UINT bitmapId;
};

// Picture number -> the dialog that shows it and its bitmap.
const PictureChoice kPictures[] = {{130, 134}, {131, 133}, {134, 136}, {133, 137}, {132, 135}};

// Every picture dialog is borderless, 327 x 174 dialog units, filled by its picture.
constexpr LONG kDialogWidthUnits = 327;
constexpr LONG kDialogHeightUnits = 174;
constexpr LONG kControlsBottomMargin = 2;
constexpr LONG kPictureRaise = 50;
constexpr LONG kPictureHeightTrim = 2;

// The picture up now and the reference to this library it holds: the installer may let go
// of the library while the picture is showing, and the picture's code must stay.
CDialog* g_picture = nullptr;
HMODULE g_selfReference = nullptr;

// Any address inside this library, to find the library's own file.
const char kSelfAnchor = 0;

CString PictureName(UINT bitmapId)
{
    CString name;
    name.Format("deploykit:%u", bitmapId);
    return name;
}

bool IsPictureTemplate(const DialogTemplate* t, UINT dialogId, const char* pictureName)
{
    return t && t->id == dialogId && t->controls.size() == 1 && t->controls[0].kind == ControlKind::Picture &&
           t->controls[0].text && std::strcmp(t->controls[0].text, pictureName) == 0;
}

// The template of a picture dialog. The framework's template table outlives this library,
// so it only ever holds copies made for the life of the process, never this library's
// own data; they are never freed, and this table keeps them in reach.
const DialogTemplate* PictureTemplate(const PictureChoice& choice, const CString& pictureName)
{
    static auto* made = new std::map<UINT, const DialogTemplate*>();
    auto it = made->find(choice.dialogId);
    if (it != made->end())
        return it->second;
    const DialogTemplate* t = AfxFindDialogTemplate(choice.dialogId);
    if (!IsPictureTemplate(t, choice.dialogId, pictureName)) {
        char* text = new char[static_cast<size_t>(pictureName.GetLength()) + 1];
        std::memcpy(text, static_cast<const char*>(pictureName), static_cast<size_t>(pictureName.GetLength()) + 1);
        t = new DialogTemplate{choice.dialogId, "", {ControlTemplate{IDC_STATIC, ControlKind::Picture, text}}};
    }
    (*made)[choice.dialogId] = t;
    return t;
}

// Registers the bitmap once per process; FALSE when the artwork is missing or damaged.
BOOL PreparePicture(UINT bitmapId, const CString& name)
{
    if (AfxFindPicture(name))
        return TRUE;
    const PictureArt* art = FindPictureArt(bitmapId);
    std::vector<DWORD> pixels;
    if (!art || !DecodePictureArt(*art, pixels))
        return FALSE;
    return AfxRegisterPicture(name, art->width, art->height, std::move(pixels));
}

// Makes the picture dialog. Another module's template of the same id keeps its place in the
// table: ours stands in only while the dialog is built.
CDialog* CreatePictureDialog(const PictureChoice& choice)
{
    CString name = PictureName(choice.bitmapId);
    if (!PreparePicture(choice.bitmapId, name))
        return nullptr;
    const DialogTemplate* ours = PictureTemplate(choice, name);
    const DialogTemplate* previous = AfxFindDialogTemplate(choice.dialogId);
    if (previous != ours)
        AfxRegisterDialogTemplate(ours);
    auto* dialog = new CDialog(choice.dialogId);
    BOOL created = dialog->Create(choice.dialogId, nullptr);
    if (previous && previous != ours)
        AfxRegisterDialogTemplate(previous);
    if (!created) {
        delete dialog;
        return nullptr;
    }
    return dialog;
}

// Puts every child of the window on the bottom edge of its client area, 2 pixels up,
// keeping its size and its horizontal place.
void MoveControlsToBottom(HWND window, const RECT& client)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        if (!GetWindowRect(child, &r))
            continue;
        POINT topLeft{r.left, r.top};
        ScreenToClient(window, &topLeft);
        const LONG width = r.right - r.left;
        const LONG height = r.bottom - r.top;
        MoveWindow(child, topLeft.x, client.bottom - kControlsBottomMargin - height, width, height, TRUE);
    }
}

void HidePicture()
{
    if (!g_picture)
        return;
    g_picture->DestroyWindow();
    delete g_picture;
    g_picture = nullptr;
    if (g_selfReference) {
        // The installer holds its own reference while it calls us, so this is never the
        // last one.
        FreeLibrary(g_selfReference);
        g_selfReference = nullptr;
    }
}

} // namespace
} // namespace deploykit

using namespace deploykit;

DEPLOYKIT_EXPORT LONG ShowBitmap(HWND window, LONG* value, char*)
{
    // A picture still up is replaced rather than left behind without a handle.
    HidePicture();

    RECT client{};   // stays empty when the window is not one
    const bool haveWindow = window && GetClientRect(window, &client);
    if (haveWindow)
        MoveControlsToBottom(window, client);

    const int number = value ? *value : -1;
    if (number < 0 || number >= static_cast<int>(sizeof kPictures / sizeof kPictures[0]))
        return 1;
    CDialog* dialog = CreatePictureDialog(kPictures[number]);
    if (!dialog)
        return 1;
    g_picture = dialog;

    HWND hwnd = dialog->GetSafeHwnd();
    if (haveWindow)
        SetParent(hwnd, window);
    RECT size{0, 0, kDialogWidthUnits, kDialogHeightUnits};
    MapDialogRect(hwnd, &size);
    const LONG width = size.right - size.left;
    const LONG height = size.bottom - size.top;
    const LONG x = (client.right - width) / 2;
    const LONG y = (client.bottom - height) / 2 - kPictureRaise;
    SetWindowPos(hwnd, HWND_TOP, x, y, width, height - kPictureHeightTrim,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    dialog->UpdateWindow();
    if (haveWindow) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
    }

    CString self = AfxGetModulePathOf(&kSelfAnchor);
    g_selfReference = self.IsEmpty() ? nullptr : LoadLibraryA(self);
    return 1;
}

DEPLOYKIT_EXPORT LONG HideBitmap(HWND, LONG*, char*)
{
    HidePicture();
    return 1;
}
