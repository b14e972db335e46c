// A front end for work done away from the thread that shows things: message boxes and
// status lines are kept in order, to be shown later on the real front end (Replay).
// Nobody can answer meanwhile: a box gets its safe default, as in batch. A dialog, file
// dialog or property sheet cannot wait for later: it is cancelled, and the recording
// tells that the work did not run as it would have with the real front end.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/ui/front_end.h"

#include <vector>

class FRAMEWORK_API CRecordingFrontEnd : public CFrontEnd {
public:
    void RunModal(CDialog& dialog) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    void ShowStatus(const char* text) override;
    INT_PTR RunFileDialog(CFileDialog& dialog) override;
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override;
    BOOL IsInteractive() const override { return FALSE; }

    // FALSE once something asked for an answer that only the real front end could give.
    BOOL IsFaithful() const { return m_faithful; }
    // Shows what was recorded, in order, on `target`.
    void Replay(CFrontEnd& target) const;

private:
    struct Entry {
        bool box;   // a message box; otherwise a status line
        CString text;
        CString caption;
        UINT type;
    };
    std::vector<Entry> m_entries;
    BOOL m_faithful = TRUE;
};
