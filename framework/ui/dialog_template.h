// Dialog templates: what a dialog resource held (id, caption, controls with ids, kinds,
// texts and limits), kept as data so any front end can render it.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

#include <initializer_list>
#include <vector>

enum class ControlKind {
    Button,          // push button
    DefaultButton,   // the button Enter presses
    CheckBox,
    RadioButton,
    GroupBox,
    Static,          // label or text that the program sets
    Edit,
    ListBox,
    ComboBox,
    ProgressBar,
    Picture,         // bitmap or icon
    Spin,
};

// Style bits of a control.
enum : DWORD {
    CS_PASSWORD = 0x0001,    // edit: characters are not shown
    CS_MULTILINE = 0x0002,
    CS_READONLY = 0x0004,
    CS_DISABLED = 0x0008,    // starts disabled
    CS_HIDDEN = 0x0010,      // starts hidden
    CS_NUMBER = 0x0020,      // edit: digits only
    CS_WANTKEYS = 0x0040,    // edit: the dialog receives each key press with its time
};

struct FRAMEWORK_API ControlTemplate {
    UINT id;
    ControlKind kind;
    const char* text;
    DWORD style = 0;
    int limit = 0;           // edit: most characters accepted (0: no limit)
};

struct FRAMEWORK_API DialogTemplate {
    UINT id;
    const char* caption;
    std::vector<ControlTemplate> controls;
};

// The program registers its templates once; dialogs find theirs by id.
FRAMEWORK_API void AfxRegisterDialogTemplates(std::initializer_list<const DialogTemplate*> templates);
FRAMEWORK_API void AfxRegisterDialogTemplate(const DialogTemplate* dialogTemplate);
FRAMEWORK_API const DialogTemplate* AfxFindDialogTemplate(UINT id);

// Standard command ids.
constexpr UINT IDOK = 1;
constexpr UINT IDCANCEL = 2;
constexpr UINT IDABORT = 3;
constexpr UINT IDRETRY = 4;
constexpr UINT IDIGNORE = 5;
constexpr UINT IDYES = 6;
constexpr UINT IDNO = 7;
constexpr UINT IDC_STATIC = 0xFFFF;
