// The desktop front end: every dialog as a window of its own (Qt Widgets), laid out from its
// template in dialog units of the desktop font; message boxes and file dialogs of the
// toolkit; property sheets with a tab per page; progress windows that keep answering while
// the work runs on this thread. The framework's messages and timers run inside the
// toolkit's event loop, so a dialog's timers fire while its window is up.
#pragma once

#include "framework/ui/front_end.h"

#include <memory>

class CDialog;
class QWidget;

class CQtFrontEnd : public CFrontEnd {
public:
    // Makes the toolkit's application object when there is none yet; argc and argv must
    // outlive the front end.
    CQtFrontEnd(int& argc, char** argv);
    ~CQtFrontEnd() override;
    CQtFrontEnd(const CQtFrontEnd&) = delete;
    CQtFrontEnd& operator=(const CQtFrontEnd&) = delete;

    void RunModal(CDialog& dialog) override;
    void ShowModeless(CDialog& dialog) override;
    void Refresh(CDialog& dialog) override;
    void CloseModeless(CDialog& dialog) override;
    void ShowStatus(const char* text) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    INT_PTR RunFileDialog(CFileDialog& dialog) override;
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override;
    BOOL BringToFront(HWND window) override;

    // The window showing the dialog (a page's widget for a property page), or null.
    QWidget* WindowOf(const CDialog& dialog) const;
    // When the file exists, the outermost window is closed as its Cancel would (for runs
    // driven from outside, such as tests under a virtual display). Empty turns it off.
    void SetCloseRequestFile(const char* path);
    // Writes "window shown MS" (milliseconds since the epoch) to standard error once the
    // first window has been painted, for start-up measurements.
    void ReportFirstPaint(BOOL report);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
