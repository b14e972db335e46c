// Message boxes: caption, text, buttons and icon, answered through the current front end.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"
#include "framework/ui/dialog_template.h"

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;

// The buttons of a box type, in order, and the default one.
FRAMEWORK_API int AfxMessageBoxButtons(UINT type, int buttons[3]);
FRAMEWORK_API int AfxMessageBoxDefault(UINT type);
// The answer that risks nothing: Cancel where there is one, else No, else the only button.
FRAMEWORK_API int AfxMessageBoxSafeAnswer(UINT type);

// A box owned by a window (may be null) with the given caption.
FRAMEWORK_API int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
// A box captioned with the application's title.
FRAMEWORK_API int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
// The text of a string-table entry in a box captioned with the application's title.
FRAMEWORK_API int AfxMessageBox(UINT stringId, UINT type = MB_OK, UINT helpId = UINT(-1));
// The title boxes carry (the application object's name; settable for programs without one).
FRAMEWORK_API const char* AfxGetAppTitle();
FRAMEWORK_API void AfxSetAppTitle(const char* title);
