#include "framework/ui/recording_front_end.h"

#include "framework/ui/dialog_template.h"
#include "framework/ui/message_box.h"

void CRecordingFrontEnd::RunModal(CDialog&) { m_faithful = FALSE; }

int CRecordingFrontEnd::MessageBox(const char* text, const char* caption, UINT type)
{
    m_entries.push_back({true, text ? text : "", caption ? caption : "", type});
    return AfxMessageBoxSafeAnswer(type);
}

void CRecordingFrontEnd::ShowStatus(const char* text) { m_entries.push_back({false, text ? text : "", CString(), 0}); }

INT_PTR CRecordingFrontEnd::RunFileDialog(CFileDialog&)
{
    m_faithful = FALSE;
    return IDCANCEL;
}

INT_PTR CRecordingFrontEnd::RunPropertySheet(CPropertySheet&)
{
    m_faithful = FALSE;
    return IDCANCEL;
}

void CRecordingFrontEnd::Replay(CFrontEnd& target) const
{
    for (const Entry& entry : m_entries) {
        if (entry.box)
            target.MessageBox(entry.text, entry.caption, entry.type);
        else
            target.ShowStatus(entry.text);
    }
}
