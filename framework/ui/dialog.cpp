#include "framework/ui/dialog.h"

#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/ui/front_end.h"
#include "framework/ui/message_box.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

IMPLEMENT_DYNAMIC(CDialog, CObject)
IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
IMPLEMENT_DYNAMIC(CPropertySheet, CObject)
IMPLEMENT_DYNAMIC(CFileDialog, CObject)

namespace {
// Reports an exception that escaped a handler, as the framework's window procedure did.
void ReportHandlerException(CException* e)
{
    CString text = e->GetErrorText();
    e->Delete();
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}
}

CDialog::CDialog(UINT templateId, CDialog* parent) : m_nIDTemplate(templateId), m_pParent(parent) {}

CDialog::~CDialog()
{
    if (m_hWnd && !m_bModal)
        AfxGetFrontEnd()->CloseModeless(*this);
    ReleaseHandle();
}

BOOL CDialog::Build()
{
    const DialogTemplate* t = AfxFindDialogTemplate(m_nIDTemplate);
    if (!t)
        return FALSE;
    ReleaseHandle();
    m_caption = t->caption ? t->caption : "";
    m_controls.clear();
    m_systemMenu.clear();
    for (const ControlTemplate& c : t->controls) {
        CDialogControl ctl;
        ctl.id = c.id;
        ctl.kind = c.kind;
        ctl.style = c.style;
        ctl.text = c.text ? c.text : "";
        ctl.limit = c.limit;
        ctl.enabled = (c.style & CS_DISABLED) == 0;
        ctl.visible = (c.style & CS_HIDDEN) == 0;
        if (c.kind == ControlKind::ProgressBar) {
            ctl.hwnd = AfxCreateProgressBar();
            AfxSetProgressBarObserver(ctl.hwnd, [this](HWND, UINT, WPARAM, LPARAM, const PROGRESSBARSTATE&) {
                if (m_bInitialised)
                    AfxGetFrontEnd()->Refresh(*this);
            });
        }
        m_controls.push_back(std::move(ctl));
    }
    m_hWnd = AfxCreateWindow([this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        try {
            return WindowProc(message, wParam, lParam);
        } catch (CException* e) {
            ReportHandlerException(e);
            return 0;
        }
    });
    m_bEnded = FALSE;
    m_bInitialised = FALSE;
    m_nResult = 0;
    return TRUE;
}

void CDialog::ReleaseHandle()
{
    for (UINT_PTR id : m_timers)
        ::KillTimer(m_hWnd, id);
    m_timers.clear();
    for (CDialogControl& c : m_controls) {
        if (c.hwnd) {
            ::DestroyWindow(c.hwnd);
            c.hwnd = nullptr;
        }
    }
    if (m_hWnd) {
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    m_bInitialised = FALSE;
}

namespace {

thread_local int t_modalDepth = 0;

// Counts a modal window for as long as it runs.
struct CModalScope {
    CModalScope() { ++t_modalDepth; }
    ~CModalScope() { --t_modalDepth; }
    CModalScope(const CModalScope&) = delete;
    CModalScope& operator=(const CModalScope&) = delete;
};

}  // namespace

int AfxGetModalDepth() { return t_modalDepth; }

INT_PTR CDialog::DoModal()
{
    CModalScope modal;
    if (!Build())
        return -1;
    m_bModal = TRUE;
    try {
        OnInitDialog();
    } catch (CException* e) {
        ReportHandlerException(e);
        EndDialog(IDCANCEL);
    }
    m_bInitialised = TRUE;
    if (!m_bEnded)
        AfxGetFrontEnd()->RunModal(*this);
    if (!m_bEnded)
        EndDialog(IDCANCEL);
    ReleaseHandle();
    return m_nResult;
}

BOOL CDialog::Create(UINT templateId, CDialog* parent)
{
    if (templateId)
        m_nIDTemplate = templateId;
    if (parent)
        m_pParent = parent;
    if (!Build())
        return FALSE;
    m_bModal = FALSE;
    OnInitDialog();
    m_bInitialised = TRUE;
    AfxGetFrontEnd()->ShowModeless(*this);
    return TRUE;
}

BOOL CDialog::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    if (m_bModal) {
        EndDialog(IDCANCEL);
        return TRUE;
    }
    AfxGetFrontEnd()->CloseModeless(*this);
    m_bEnded = TRUE;
    ReleaseHandle();
    return TRUE;
}

void CDialog::EndDialog(INT_PTR result)
{
    m_nResult = result;
    m_bEnded = TRUE;
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(UINT id)
{
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

void CDialog::OnEditChange(UINT) {}
void CDialog::OnKey(UINT, UINT, DWORD) {}
void CDialog::OnSelChange(UINT) {}
void CDialog::OnTimer(UINT_PTR) {}
BOOL CDialog::OnCopyData(HWND, const COPYDATASTRUCT*) { return FALSE; }
void CDialog::OnDropFiles(const CStringArray&) {}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_COMMAND:
        OnCommand(LOWORD(static_cast<DWORD>(wParam)));
        return 0;
    case WM_CLOSE:
        OnCancel();
        return 0;
    default:
        return 0;
    }
}

// ---- controls ---------------------------------------------------------------------------

CDialogControl* CDialog::GetControl(UINT id)
{
    for (auto& c : m_controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

const CDialogControl* CDialog::GetControl(UINT id) const
{
    for (const auto& c : m_controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

void CDialog::Changed()
{
    if (m_bInitialised && m_hWnd)
        AfxGetFrontEnd()->Refresh(*this);
}

void CDialog::SetDlgItemText(UINT id, const char* text)
{
    if (CDialogControl* c = GetControl(id)) {
        c->text = text ? text : "";
        if (c->limit > 0 && c->kind == ControlKind::Edit && c->text.GetLength() > c->limit)
            c->text = c->text.Left(c->limit);
        Changed();
    }
}

int CDialog::GetDlgItemText(UINT id, CString& text) const
{
    const CDialogControl* c = GetControl(id);
    text = c ? c->text : CString();
    return text.GetLength();
}

CString CDialog::GetDlgItemText(UINT id) const
{
    CString s;
    GetDlgItemText(id, s);
    return s;
}

UINT CDialog::GetDlgItemInt(UINT id, BOOL* translated) const
{
    CString s = GetDlgItemText(id);
    s.TrimLeft();
    s.TrimRight();
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(s.c_str(), &end, 10);
    // A number the control cannot hold is no number, not the number wrapped around.
    BOOL ok = !s.IsEmpty() && end && *end == 0 && s[0] != '-' && errno == 0 && v <= 0xFFFFFFFFul;
    if (translated)
        *translated = ok;
    return ok ? static_cast<UINT>(v) : 0;
}

void CDialog::SetDlgItemInt(UINT id, UINT value)
{
    CString s;
    s.Format("%u", value);
    SetDlgItemText(id, s);
}

void CDialog::EnableControl(UINT id, BOOL enable)
{
    if (CDialogControl* c = GetControl(id)) {
        c->enabled = enable ? TRUE : FALSE;
        Changed();
    }
}

BOOL CDialog::IsControlEnabled(UINT id) const
{
    const CDialogControl* c = GetControl(id);
    return c && c->enabled;
}

void CDialog::ShowControl(UINT id, BOOL show)
{
    if (CDialogControl* c = GetControl(id)) {
        c->visible = show ? TRUE : FALSE;
        Changed();
    }
}

void CDialog::CheckDlgButton(UINT id, BOOL check)
{
    if (CDialogControl* c = GetControl(id)) {
        c->checked = check ? TRUE : FALSE;
        Changed();
    }
}

BOOL CDialog::IsDlgButtonChecked(UINT id) const
{
    const CDialogControl* c = GetControl(id);
    return c && c->checked;
}

void CDialog::LimitText(UINT id, int limit)
{
    if (CDialogControl* c = GetControl(id))
        c->limit = limit;
}

int CDialog::AddString(UINT id, const char* item)
{
    CDialogControl* c = GetControl(id);
    if (!c)
        return -1;
    c->items.emplace_back(item);
    Changed();
    return static_cast<int>(c->items.size()) - 1;
}

void CDialog::ResetContent(UINT id)
{
    if (CDialogControl* c = GetControl(id)) {
        c->items.clear();
        c->selection = -1;
        Changed();
    }
}

int CDialog::DeleteString(UINT id, int index)
{
    CDialogControl* c = GetControl(id);
    if (!c || index < 0 || index >= static_cast<int>(c->items.size()))
        return -1;
    c->items.erase(c->items.begin() + index);
    if (c->selection == index)
        c->selection = -1;
    else if (c->selection > index)
        --c->selection;
    Changed();
    return static_cast<int>(c->items.size());
}

int CDialog::GetCount(UINT id) const
{
    const CDialogControl* c = GetControl(id);
    return c ? static_cast<int>(c->items.size()) : -1;
}

int CDialog::GetCurSel(UINT id) const
{
    const CDialogControl* c = GetControl(id);
    return c ? c->selection : -1;
}

int CDialog::SetCurSel(UINT id, int index)
{
    CDialogControl* c = GetControl(id);
    if (!c)
        return -1;
    if (index < 0 || index >= static_cast<int>(c->items.size())) {
        c->selection = -1;
        Changed();
        return -1;
    }
    c->selection = index;
    if (c->kind == ControlKind::ComboBox)
        c->text = c->items[static_cast<size_t>(index)];
    Changed();
    return index;
}

CString CDialog::GetItemText(UINT id, int index) const
{
    const CDialogControl* c = GetControl(id);
    if (!c || index < 0 || index >= static_cast<int>(c->items.size()))
        return CString();
    return c->items[static_cast<size_t>(index)];
}

void CDialog::SetSpinRange(UINT id, int lower, int upper)
{
    if (CDialogControl* c = GetControl(id)) {
        c->spinLower = lower;
        c->spinUpper = upper;
        Changed();
    }
}

void CDialog::SetSpinPos(UINT id, int pos)
{
    if (CDialogControl* c = GetControl(id)) {
        int lo = std::min(c->spinLower, c->spinUpper), hi = std::max(c->spinLower, c->spinUpper);
        c->spinPos = std::clamp(pos, lo, hi);
        Changed();
    }
}

int CDialog::GetSpinPos(UINT id) const
{
    const CDialogControl* c = GetControl(id);
    return c ? c->spinPos : 0;
}

HWND CDialog::GetProgressBar(UINT id) const
{
    const CDialogControl* c = GetControl(id);
    return c && c->kind == ControlKind::ProgressBar ? c->hwnd : nullptr;
}

void CDialog::SetWindowText(const char* text)
{
    m_caption = text ? text : "";
    Changed();
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT elapse)
{
    if (!m_hWnd)
        return 0;
    UINT_PTR r = ::SetTimer(m_hWnd, id, elapse, nullptr);
    if (r)
        m_timers.insert(r);
    return r;
}

BOOL CDialog::KillTimer(UINT_PTR id)
{
    m_timers.erase(id);
    return m_hWnd ? ::KillTimer(m_hWnd, id) : FALSE;
}

void CDialog::UpdateWindow()
{
    MSG msg;
    for (const CDialogControl& c : m_controls) {
        if (!c.hwnd)
            continue;
        while (PeekMessageA(&msg, c.hwnd, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    if (m_hWnd)
        AfxGetFrontEnd()->Refresh(*this);
}

// ---- events from the front end -------------------------------------------------------------

void CDialog::HandleCommand(UINT id)
{
    const CDialogControl* c = GetControl(id);
    if (c && !c->enabled)
        return;
    if (c && (c->kind == ControlKind::CheckBox))
        CheckDlgButton(id, !c->checked);
    try {
        OnCommand(id);
    } catch (CException* e) {
        ReportHandlerException(e);
    }
}

void CDialog::HandleEditChange(UINT id, const char* newText)
{
    CDialogControl* c = GetControl(id);
    if (!c || !c->enabled)
        return;
    CString text(newText);
    if (c->limit > 0 && text.GetLength() > c->limit)
        text = text.Left(c->limit);
    c->text = text;
    try {
        OnEditChange(id);
    } catch (CException* e) {
        ReportHandlerException(e);
    }
}

void CDialog::HandleKey(UINT id, UINT ch, DWORD tick)
{
    try {
        OnKey(id, ch, tick);
    } catch (CException* e) {
        ReportHandlerException(e);
    }
}

void CDialog::HandleSelChange(UINT id, int index)
{
    if (SetCurSel(id, index) < 0 && index >= 0)
        return;
    try {
        OnSelChange(id);
    } catch (CException* e) {
        ReportHandlerException(e);
    }
}

void CDialog::HandleDropFiles(const CStringArray& paths)
{
    if (!m_bAcceptFiles)
        return;
    try {
        OnDropFiles(paths);
    } catch (CException* e) {
        ReportHandlerException(e);
    }
}

void CDialog::HandleSysCommand(UINT id)
{
    try {
        WindowProc(WM_SYSCOMMAND, id, 0);
    } catch (CException* e) {
        ReportHandlerException(e);
    }
}

void CDialog::PumpWaitingMessages()
{
    MSG msg;
    while (!m_bEnded && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the modal loop and let the outer loop see the quit message too.
            PostQuitMessage(static_cast<int>(msg.wParam));
            EndDialog(IDCANCEL);
            return;
        }
        DispatchMessageA(&msg);
    }
}

// ---- property sheets ----------------------------------------------------------------------

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : CDialog(templateId), m_nCaptionId(captionId) {}

CPropertySheet::CPropertySheet(const char* caption, CDialog* parent, UINT selectPage)
    : m_pParent(parent), m_caption(caption), m_nActive(static_cast<int>(selectPage))
{
}

void CPropertySheet::AddPage(CPropertyPage* page) { m_pages.push_back(page); }

BOOL CPropertySheet::SetActivePage(int i)
{
    if (i < 0 || i >= GetPageCount())
        return FALSE;
    if (i != m_nActive && m_nActive < GetPageCount() && !m_pages[static_cast<size_t>(m_nActive)]->OnKillActive())
        return FALSE;
    m_nActive = i;
    m_pages[static_cast<size_t>(i)]->OnSetActive();
    return TRUE;
}

BOOL CPropertySheet::ApplyAll()
{
    for (CPropertyPage* p : m_pages)
        if (!p->OnKillActive() || !p->OnApply())
            return FALSE;
    return TRUE;
}

INT_PTR CPropertySheet::DoModal()
{
    if (m_pages.empty())
        return -1;
    // Every page is made and initialised up front; the front end shows them by tab.
    for (CPropertyPage* p : m_pages) {
        if (!p->Build())
            return -1;
        p->m_bModal = TRUE;
        try {
            p->OnInitDialog();
        } catch (CException* e) {
            ReportHandlerException(e);
        }
        p->m_bInitialised = TRUE;
    }
    if (m_nActive < 0 || m_nActive >= GetPageCount())
        m_nActive = 0;
    m_pages[static_cast<size_t>(m_nActive)]->OnSetActive();
    CModalScope modal;
    INT_PTR r = AfxGetFrontEnd()->RunPropertySheet(*this);
    for (CPropertyPage* p : m_pages)
        p->ReleaseHandle();
    return r;
}

// ---- file dialog --------------------------------------------------------------------------

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defExt, const char* fileName, DWORD flags, const char* filter,
                         CDialog* parent)
    : m_pParent(parent), m_bOpenFileDialog(openFileDialog), m_dwFlags(flags), m_defExt(defExt), m_path(fileName)
{
    // "description|pattern|description|pattern||"
    CString rest(filter);
    while (!rest.IsEmpty()) {
        int bar = rest.Find('|');
        if (bar <= 0)
            break;
        Filter f;
        f.description = rest.Left(bar);
        rest = rest.Mid(bar + 1);
        bar = rest.Find('|');
        f.pattern = bar < 0 ? rest : rest.Left(bar);
        rest = bar < 0 ? CString() : rest.Mid(bar + 1);
        m_filters.push_back(f);
    }
}

INT_PTR CFileDialog::DoModal()
{
    CModalScope modal;
    return AfxGetFrontEnd()->RunFileDialog(*this);
}

void CFileDialog::SetResult(const char* path, DWORD filterIndex)
{
    m_path = path;
    m_nFilterIndex = filterIndex;
}

CString CFileDialog::GetFileName() const
{
    int slash = m_path.ReverseFind('/');
    return slash < 0 ? m_path : m_path.Mid(slash + 1);
}

CString CFileDialog::GetFileExt() const
{
    CString name = GetFileName();
    int dot = name.ReverseFind('.');
    return dot < 0 ? CString() : name.Mid(dot + 1);
}

CString CFileDialog::GetFileTitle() const
{
    CString name = GetFileName();
    int dot = name.ReverseFind('.');
    return dot < 0 ? name : name.Left(dot);
}

CString CFileDialog::Validate(const char* path) const
{
    CString p(path);
    if (p.IsEmpty())
        return CString("No file name was given.");
    CFileStatus st;
    BOOL exists = CFile::GetStatus(p, st);
    if (exists && (st.m_attribute & CFile::directory))
        return p + "\nThis is a folder, not a file.";
    if ((m_dwFlags & OFN_FILEMUSTEXIST) && !exists)
        return p + "\nFile not found.\nPlease verify the correct file name was given.";
    if (m_dwFlags & OFN_PATHMUSTEXIST) {
        int slash = p.ReverseFind('/');
        CString dir = slash < 0 ? CString(".") : (slash == 0 ? CString("/") : p.Left(slash));
        CFileStatus ds;
        if (!CFile::GetStatus(dir, ds) || !(ds.m_attribute & CFile::directory))
            return p + "\nPath does not exist.\nPlease verify the correct path was given.";
    }
    return CString();
}
