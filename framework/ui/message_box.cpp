#include "framework/ui/message_box.h"

#include "framework/app.h"
#include "framework/cstring.h"
#include "framework/ui/front_end.h"

#include <mutex>

namespace {
std::mutex g_titleLock;
CString g_title;
BOOL g_titleSet = FALSE;
}

int AfxMessageBoxButtons(UINT type, int buttons[3])
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons[0] = IDOK; buttons[1] = IDCANCEL; return 2;
    case MB_ABORTRETRYIGNORE: buttons[0] = IDABORT; buttons[1] = IDRETRY; buttons[2] = IDIGNORE; return 3;
    case MB_YESNOCANCEL: buttons[0] = IDYES; buttons[1] = IDNO; buttons[2] = IDCANCEL; return 3;
    case MB_YESNO: buttons[0] = IDYES; buttons[1] = IDNO; return 2;
    case MB_RETRYCANCEL: buttons[0] = IDRETRY; buttons[1] = IDCANCEL; return 2;
    default: buttons[0] = IDOK; return 1;
    }
}

int AfxMessageBoxDefault(UINT type)
{
    int buttons[3];
    int n = AfxMessageBoxButtons(type, buttons);
    int index = static_cast<int>((type & MB_DEFMASK) >> 8);
    return buttons[index < n ? index : 0];
}

int AfxMessageBoxSafeAnswer(UINT type)
{
    int buttons[3];
    int n = AfxMessageBoxButtons(type, buttons);
    for (int want : {IDCANCEL, IDNO, IDABORT})
        for (int i = 0; i < n; ++i)
            if (buttons[i] == want)
                return want;
    return buttons[0];
}

const char* AfxGetAppTitle()
{
    std::lock_guard<std::mutex> guard(g_titleLock);
    if (g_titleSet)
        return g_title.c_str();
    CWinApp* app = AfxGetWinApp();
    return app && app->m_pszAppName ? app->m_pszAppName : "";
}

void AfxSetAppTitle(const char* title)
{
    std::lock_guard<std::mutex> guard(g_titleLock);
    g_title = title;
    g_titleSet = title != nullptr;
}

int MessageBoxA(HWND, const char* text, const char* caption, UINT type)
{
    return AfxGetFrontEnd()->MessageBox(text ? text : "", caption ? caption : "", type);
}

int AfxMessageBox(const char* text, UINT type, UINT)
{
    return MessageBoxA(nullptr, text, AfxGetAppTitle(), type);
}

int AfxMessageBox(UINT stringId, UINT type, UINT)
{
    CString text;
    text.LoadString(stringId);
    return AfxMessageBox(text.c_str(), type);
}
