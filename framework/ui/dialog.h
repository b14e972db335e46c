// The dialog model: a dialog is logic (the handlers of a CDialog subclass) plus data (its
// template and the live state of its controls). DoModal and Create hand the dialog to the
// current front end, which renders the controls and routes events back to the handlers, so
// every dialog's logic runs, and is tested, without a screen.
#pragma once

#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/object.h"
#include "framework/ui/dialog_template.h"
#include "framework/window.h"

#include <set>
#include <vector>

// The live state of one control.
struct FRAMEWORK_API CDialogControl {
    UINT id = 0;
    ControlKind kind = ControlKind::Static;
    DWORD style = 0;
    CString text;
    BOOL enabled = TRUE;
    BOOL visible = TRUE;
    BOOL checked = FALSE;
    int limit = 0;
    std::vector<CString> items;   // list and combo boxes
    int selection = -1;
    int spinLower = 0, spinUpper = 100, spinPos = 0;
    HWND hwnd = nullptr;          // progress bars: the control behind its handle
};

class FRAMEWORK_API CDialog : public CObject {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT templateId, CDialog* parent = nullptr);
    ~CDialog() override;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally through the front end; the EndDialog result, or -1 when the
    // dialog could not be made (no template).
    virtual INT_PTR DoModal();
    // Makes the dialog modeless and shows it; FALSE without a template.
    virtual BOOL Create(UINT templateId = 0, CDialog* parent = nullptr);
    // Ends a modeless dialog (or a modal one, as cancel).
    virtual BOOL DestroyWindow();
    void EndDialog(INT_PTR result);

    // ---- handlers (called by the front end and the message queue) ----------------------
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // A button was pressed (or a menu command chosen). Default: IDOK and IDCANCEL.
    virtual BOOL OnCommand(UINT id);
    // The text of an edit control changed.
    virtual void OnEditChange(UINT id);
    // A key pressed in a control marked CS_WANTKEYS, with the tick count when it came.
    virtual void OnKey(UINT id, UINT ch, DWORD tick);
    // The selection of a list or combo box changed.
    virtual void OnSelChange(UINT id);
    virtual void OnTimer(UINT_PTR id);
    virtual BOOL OnCopyData(HWND sender, const COPYDATASTRUCT* data);
    // Files dropped on the dialog (only while DragAcceptFiles is on).
    virtual void OnDropFiles(const CStringArray& paths);
    // Any other message sent or posted to the dialog's handle.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // ---- controls ------------------------------------------------------------------------
    CDialogControl* GetControl(UINT id);
    const CDialogControl* GetControl(UINT id) const;
    const std::vector<CDialogControl>& GetControls() const { return m_controls; }
    void SetDlgItemText(UINT id, const char* text);
    int GetDlgItemText(UINT id, CString& text) const;
    CString GetDlgItemText(UINT id) const;
    UINT GetDlgItemInt(UINT id, BOOL* translated = nullptr) const;
    void SetDlgItemInt(UINT id, UINT value);
    void EnableControl(UINT id, BOOL enable);
    BOOL IsControlEnabled(UINT id) const;
    void ShowControl(UINT id, BOOL show);
    void CheckDlgButton(UINT id, BOOL check);
    BOOL IsDlgButtonChecked(UINT id) const;
    void LimitText(UINT id, int limit);
    int AddString(UINT id, const char* item);
    void ResetContent(UINT id);
    int DeleteString(UINT id, int index);
    int GetCount(UINT id) const;
    int GetCurSel(UINT id) const;
    int SetCurSel(UINT id, int index);
    CString GetItemText(UINT id, int index) const;
    void SetSpinRange(UINT id, int lower, int upper);
    void SetSpinPos(UINT id, int pos);
    int GetSpinPos(UINT id) const;
    // The progress-bar control's handle (null for other kinds).
    HWND GetProgressBar(UINT id) const;

    // Caption (the title bar text).
    void SetWindowText(const char* text);
    const CString& GetWindowText() const { return m_caption; }
    void DragAcceptFiles(BOOL accept) { m_bAcceptFiles = accept; }
    // Items the dialog adds to its window's menu (the system menu): a front end with window
    // menus shows them, and a chosen one reaches WindowProc as WM_SYSCOMMAND with its id.
    struct MenuItem {
        UINT id;
        CString text;
    };
    void AppendSystemMenuItem(UINT id, const char* text) { m_systemMenu.push_back(MenuItem{id, text}); }
    const std::vector<MenuItem>& GetSystemMenuItems() const { return m_systemMenu; }
    BOOL AcceptsFiles() const { return m_bAcceptFiles; }
    // Timers of the dialog's handle; the dialog keeps track of which are running.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
    BOOL KillTimer(UINT_PTR id);
    BOOL HasTimers() const { return !m_timers.empty(); }
    // Lets the front end redraw now, after running the messages waiting for the dialog's
    // own controls (progress bars), so a long operation on this thread shows its progress.
    void UpdateWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT GetTemplateId() const { return m_nIDTemplate; }
    CDialog* GetParent() const { return m_pParent; }
    BOOL IsModal() const { return m_bModal; }
    BOOL IsEnded() const { return m_bEnded; }
    INT_PTR GetResult() const { return m_nResult; }

    // Routes a front end's event to the handlers, catching the framework's exceptions so a
    // failing handler reports instead of ending the program.
    void HandleCommand(UINT id);
    void HandleEditChange(UINT id, const char* newText);
    void HandleKey(UINT id, UINT ch, DWORD tick);
    void HandleSelChange(UINT id, int index);
    void HandleDropFiles(const CStringArray& paths);
    void HandleSysCommand(UINT id);
    // Dispatches the messages waiting in this thread's queue; stops early when the dialog ends.
    void PumpWaitingMessages();

protected:
    friend class CPropertySheet;
    // Builds the controls from the template and the handle; called by DoModal and Create.
    BOOL Build();
    void ReleaseHandle();
    void Changed();

    UINT m_nIDTemplate;
    CDialog* m_pParent;
    HWND m_hWnd = nullptr;
    CString m_caption;
    std::vector<CDialogControl> m_controls;
    std::set<UINT_PTR> m_timers;
    std::vector<MenuItem> m_systemMenu;
    BOOL m_bModal = FALSE;
    BOOL m_bEnded = FALSE;
    BOOL m_bAcceptFiles = FALSE;
    BOOL m_bInitialised = FALSE;
    INT_PTR m_nResult = 0;
};

// A page of a property sheet: a dialog whose OK and Cancel belong to the sheet.
class FRAMEWORK_API CPropertyPage : public CDialog {
    DECLARE_DYNAMIC(CPropertyPage)
public:
    explicit CPropertyPage(UINT templateId, UINT captionId = 0);
    // Called when the sheet's OK is pressed: FALSE keeps the sheet open.
    virtual BOOL OnApply() { return TRUE; }
    virtual BOOL OnSetActive() { return TRUE; }
    virtual BOOL OnKillActive() { return TRUE; }
    UINT m_nCaptionId;
};

class FRAMEWORK_API CPropertySheet : public CObject {
    DECLARE_DYNAMIC(CPropertySheet)
public:
    explicit CPropertySheet(const char* caption, CDialog* parent = nullptr, UINT selectPage = 0);
    void AddPage(CPropertyPage* page);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int i) const { return m_pages.at(static_cast<size_t>(i)); }
    int GetActiveIndex() const { return m_nActive; }
    BOOL SetActivePage(int i);
    const CString& GetCaption() const { return m_caption; }
    // Runs the sheet through the front end: IDOK or IDCANCEL.
    virtual INT_PTR DoModal();
    // OK: every initialised page's OnApply; FALSE when one refused.
    BOOL ApplyAll();

    CDialog* m_pParent;

private:
    CString m_caption;
    std::vector<CPropertyPage*> m_pages;
    int m_nActive;
};

// The system's file dialog: a filter of "description|pattern|...||", open or save, flags.
constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_CREATEPROMPT = 0x00002000;
constexpr DWORD OFN_NOREADONLYRETURN = 0x00008000;

class FRAMEWORK_API CFileDialog : public CObject {
    DECLARE_DYNAMIC(CFileDialog)
public:
    CFileDialog(BOOL openFileDialog, const char* defExt = nullptr, const char* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                CDialog* parent = nullptr);
    virtual INT_PTR DoModal();

    struct Filter {
        CString description;
        CString pattern;
    };
    BOOL IsOpen() const { return m_bOpenFileDialog; }
    DWORD GetFlags() const { return m_dwFlags; }
    const std::vector<Filter>& GetFilters() const { return m_filters; }
    const CString& GetDefExt() const { return m_defExt; }
    CString GetPathName() const { return m_path; }
    CString GetFileName() const;
    CString GetFileExt() const;
    CString GetFileTitle() const;

    // What the user chose (set by the front end): the path and the 1-based filter index
    // (0 when the user typed a name without choosing a filter).
    void SetResult(const char* path, DWORD filterIndex);
    // Checks the flags against the file system: an error text for the user, empty when fine.
    CString Validate(const char* path) const;

    DWORD m_nFilterIndex = 1;
    CDialog* m_pParent;

private:
    BOOL m_bOpenFileDialog;
    DWORD m_dwFlags;
    CString m_defExt;
    CString m_path;
    std::vector<Filter> m_filters;
};

// How many modal windows (dialogs, property sheets, file dialogs) are running now, nested.
// Work that must wait until the user is back at the main window checks it.
FRAMEWORK_API int AfxGetModalDepth();
