// The progress window that long operations show, and the file dialog for the file kinds of
// the product family.
#pragma once

#include "framework/cstring.h"
#include "framework/ui/dialog.h"
#include "sigilbox/engines/progress.h"

// A modeless window with a one-line stage text and a progress bar fed by posted messages.
class ProgressDialog : public CDialog {
public:
    ProgressDialog();
    ~ProgressDialog() override;

    // Shows the window as a child of parent (may be null) with the given caption.
    BOOL Create(CDialog* parent, const char* caption);
    using CDialog::Create;
    // The stage text; the window is redrawn with the progress so far.
    void SetStageText(const char* text);
    CString GetStageText() const;
    // The reporter bound to the bar ("post" mode).
    CProgress& GetProgress() { return m_progress; }
    // Cancel (Esc, or closing the window) asks the library to abandon the operation on this
    // thread: its next check throws, and the operation undoes what it wrote. The request is
    // taken back when the window goes, so a cancel that came too late stops nothing else.
    void OnCancel() override;
    BOOL DestroyWindow() override;
    BOOL IsCancelled() const { return m_bCancelled; }

private:
    CProgress m_progress;
    BOOL m_bCancelled = FALSE;
};

// Kinds of files, by bit.
enum : UINT {
    FILEKIND_ADDRESSBOOK = 0x01,
    FILEKIND_POSTOFFICE = 0x02,
    FILEKIND_SECRET = 0x04,
    FILEKIND_CERTIFICATES = 0x08,
    FILEKIND_KEYS = 0x10,
    FILEKIND_DN = 0x20,
    FILEKIND_CRL = 0x40,
    FILEKIND_LOG = 0x80,
};

struct FileKindRow {
    CString extension;
    CString description;
    CString title;
};

// The rows the mask selects, in order, with the open or save variants.
std::vector<FileKindRow> FileKindRows(UINT mask, BOOL open);
// The filter text: "%s (*.%s) |*.%s|" per row, then "|".
CString FileKindFilter(const std::vector<FileKindRow>& rows);

// Runs the file dialog; returns the 1-based position of the chosen kind (the path, with the
// kind's extension added when it had none, in path), or 0 on cancel. path holds at most
// pathSize - 1 characters.
int BrowseForFile(CDialog* parent, char* path, int pathSize, BOOL open, UINT mask);
