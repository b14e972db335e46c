// The window of one dialog: its template's controls as widgets, laid out in dialog units of
// the window's font, kept in step with the dialog's control state, and the user's actions
// routed back to the dialog's handlers.
#pragma once

#include "framework/types.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <vector>

class CDialog;
class QLabel;
class QPushButton;

class CDialogView : public QDialog {
public:
    // What the view asks of the front end that owns it.
    struct Host {
        virtual ~Host() = default;
        // A routed action is starting (TRUE) or has ended (FALSE); after the end the front
        // end looks for dialogs that ended.
        virtual void ActionRunning(BOOL running) = 0;
    };

    // A page (of a property sheet) is a plain widget: Enter and Esc belong to its sheet.
    CDialogView(CDialog& dialog, Host& host, QWidget* parent, BOOL page = FALSE);
    ~CDialogView() override;

    // Control state to widgets: texts, enabled and shown states, checks, items, progress,
    // the default button, the caption.
    void Sync();
    // The dialog is gone: the window only waits to be deleted.
    void Detach() { m_dialog = nullptr; }
    CDialog* Dialog() const { return m_dialog; }
    // The widget of the control at this position in the template (null for none).
    QWidget* ControlWidget(size_t index) const { return index < m_widgets.size() ? m_widgets[index] : nullptr; }
    // The line below the controls for what a finished job did (top-level windows only).
    void SetStatusText(const QString& text);
    // Converts dialog units to pixels with the window's font.
    int DluX(int units) const;
    int DluY(int units) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build();
    QWidget* MakeWidget(size_t index);
    void Route(const std::function<void(CDialog&)>& action);
    void PressButton(UINT id);
    UINT EnterButton() const;
    void StepSpin(UINT spinId, int delta);
    void ShowUnavailable(UINT id);
    BOOL HasFileUrls(const class QMimeData* mime) const;

    CDialog* m_dialog;
    Host& m_host;
    BOOL m_page;
    BOOL m_syncing = FALSE;
    std::vector<QWidget*> m_widgets;        // by template position
    QLabel* m_status = nullptr;
    double m_baseX = 6;                      // the font's average character, in pixels
    double m_baseY = 13;
    ulong m_lastKeyStamp = 0;                // of the last timed key (0: none yet)
    DWORD m_lastKeyTick = 0;
};

// The text of a template without its access-key marks ("&&" stays one '&').
QString PlainText(const char* text);
// Template text for a widget that shows access keys: the same marks, as UTF-8.
QString MarkedText(const char* text);
// A registered picture as an image; a null image when none has that name.
QImage PictureImage(const char* name);
