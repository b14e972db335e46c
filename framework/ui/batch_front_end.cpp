#include "framework/ui/batch_front_end.h"

#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"

void CBatchFrontEnd::RunModal(CDialog& dialog)
{
    // Timers the dialog started at initialisation (work queued for "once the window
    // shows") still run; when nothing is left to wait for, the dialog is cancelled.
    while (!dialog.IsEnded()) {
        dialog.PumpWaitingMessages();
        if (dialog.IsEnded() || !dialog.HasTimers())
            break;
        AfxWaitForMessage(60000);
    }
}

int CBatchFrontEnd::MessageBox(const char* text, const char* caption, UINT type)
{
    ++m_boxes;
    std::fprintf(m_out, "%s: %s\n", caption, text);
    std::fflush(m_out);
    return AfxMessageBoxSafeAnswer(type);
}

INT_PTR CBatchFrontEnd::RunFileDialog(CFileDialog&) { return IDCANCEL; }

INT_PTR CBatchFrontEnd::RunPropertySheet(CPropertySheet&) { return IDCANCEL; }
