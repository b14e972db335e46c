#include "decrypt/core/dialog_helpers.h"

#include "decrypt/core/resources.h"
#include "framework/file.h"
#include "framework/thread.h"
#include "framework/ui/message_box.h"

#include <cstring>

ProgressDialog::ProgressDialog() : CDialog(IDD_PROGRESS) {}

ProgressDialog::~ProgressDialog()
{
    if (GetSafeHwnd())
        DestroyWindow();
}

BOOL ProgressDialog::Create(CDialog* parent, const char* caption)
{
    RegisterCoreResources();
    if (!CDialog::Create(IDD_PROGRESS, parent))
        return FALSE;
    m_progress = CProgress(GetProgressBar(IDC_PROGRESS_BAR), 1);
    SetWindowText(caption);
    return TRUE;
}

void ProgressDialog::SetStageText(const char* text)
{
    SetDlgItemText(IDC_PROGRESS_TEXT, text);
    UpdateWindow();
}

void ProgressDialog::OnCancel()
{
    if (m_bCancelled)
        return;
    m_bCancelled = TRUE;
    AfxRequestKillThread(AfxGetThread());
}

BOOL ProgressDialog::DestroyWindow()
{
    if (m_bCancelled) {
        AfxClearKillThreadRequest();
        m_bCancelled = FALSE;
    }
    return CDialog::DestroyWindow();
}

CString ProgressDialog::GetStageText() const { return GetDlgItemText(IDC_PROGRESS_TEXT); }

namespace {

enum RowUse { Both, SaveOnly, OpenOnly };

struct KindRow {
    UINT mask;
    RowUse use;
    const char* extension;
    const char* description;
    const char* title;
};

const KindRow kRows[] = {
    {FILEKIND_ADDRESSBOOK, Both, "eab", "Postlantern address book", "Browse for Postlantern Address Book"},
    {FILEKIND_POSTOFFICE, Both, "epo", "Postlantern Postoffice", "Browse for Postlantern Postoffice"},
    {FILEKIND_SECRET, Both, "sec", "Secret file", "Browse for file of keys"},
    {FILEKIND_CERTIFICATES, Both, "crt", "Certificates file", "Browse for file of certificates"},
    {FILEKIND_CERTIFICATES, SaveOnly, "txt", "Text File", "Browse for Text File"},
    {FILEKIND_CERTIFICATES, Both, "p7m", "S/MIME content file", "Browse for S/MIME content file"},
    {FILEKIND_CERTIFICATES, Both, "sig", "S/MIME human-readable content file", "Browse for S/MIME human-readable content file"},
    {FILEKIND_CERTIFICATES, OpenOnly, "msg", "Mail message", "Browse for mail message"},
    {FILEKIND_CERTIFICATES, Both, "der", "DER-encoded X.509 certificate", "Browse for DER-encoded X.509 certificate"},
    {FILEKIND_KEYS, Both, "key", "Secret & RSA keys file", "Browse for keys file"},
    {FILEKIND_KEYS, Both, "sec", "RSA keys with their certificates file", "Browse for .SEC file"},
    {FILEKIND_DN, Both, "dn", "Distinguished Name file", "Browse for Distinguished Name file"},
    {FILEKIND_CRL, Both, "crl", "Certificate Revocation List file", "Browse for Certificate Revocation List file"},
    {FILEKIND_CRL, SaveOnly, "txt", "Text File", "Browse for Text File"},
    {FILEKIND_CRL, Both, "der", "DER-encoded Certificate Relocation List", "Browse for DER-encoded Certificate Relocation List"},
    {FILEKIND_LOG, Both, "txt", "Log file", "Browse for Log file"},
};

}  // namespace

std::vector<FileKindRow> FileKindRows(UINT mask, BOOL open)
{
    std::vector<FileKindRow> rows;
    for (const KindRow& r : kRows) {
        if (!(mask & r.mask))
            continue;
        if ((r.use == SaveOnly && open) || (r.use == OpenOnly && !open))
            continue;
        rows.push_back(FileKindRow{r.extension, r.description, r.title});
    }
    return rows;
}

CString FileKindFilter(const std::vector<FileKindRow>& rows)
{
    CString filter;
    for (const FileKindRow& r : rows) {
        CString one;
        one.Format("%s (*.%s) |*.%s|", r.description.c_str(), r.extension.c_str(), r.extension.c_str());
        filter += one;
    }
    filter += "|";
    return filter;
}

int BrowseForFile(CDialog* parent, char* path, int pathSize, BOOL open, UINT mask)
{
    std::vector<FileKindRow> rows = FileKindRows(mask, open);
    // Replacing an existing file is asked when saving; opening needs the file to exist.
    DWORD flags = OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
    flags |= open ? OFN_FILEMUSTEXIST : (OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT);
    CFileDialog dlg(open, nullptr, path, flags, FileKindFilter(rows), parent);
    if (dlg.DoModal() != IDOK)
        return 0;

    CString chosen = dlg.GetPathName();
    CString ext = dlg.GetFileExt();
    int position = 0;
    if (dlg.m_nFilterIndex == 0 || !ext.IsEmpty()) {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (ext.CompareNoCase(rows[i].extension) == 0) {
                position = static_cast<int>(i) + 1;
                break;
            }
        }
    }
    if (position == 0)
        position = static_cast<int>(dlg.m_nFilterIndex);
    if (position < 0 || position > static_cast<int>(rows.size()))
        position = 0;
    if (ext.IsEmpty() && position > 0) {
        if (chosen.Right(1) != ".")
            chosen += ".";
        chosen += rows[static_cast<size_t>(position - 1)].extension;
        // The file dialog asked about the name as typed; the name with the kind's extension
        // may be another, existing file.
        CFileStatus status;
        if (!open && CFile::GetStatus(chosen, status)) {
            CString question;
            question.Format("%s already exists.\nDo you want to replace it?", chosen.c_str());
            if (AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
                return 0;
        }
    }
    if (position == 0 || chosen.GetLength() >= pathSize)
        return 0;
    std::memcpy(path, chosen.c_str(), static_cast<size_t>(chosen.GetLength()) + 1);
    return position;
}
