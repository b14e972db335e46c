#include "frontend_qt/qt_front_end.h"

#include "framework/file.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "frontend_qt/dialog_view.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <map>
#include <vector>

namespace {

// How often the framework's messages and timers are looked at while a window is up, and
// how often a long operation on this thread lets the windows answer.
constexpr int kPollMs = 10;
constexpr int kUiSliceMs = 15;
// The close-request file is looked for every this many polls.
constexpr int kCloseCheckPolls = 20;

QString Utf8(const char* text) { return QString::fromUtf8(text ? text : ""); }

bool HasProgressBar(const CDialog& dialog)
{
    for (const CDialogControl& c : dialog.GetControls())
        if (c.kind == ControlKind::ProgressBar && c.visible)
            return true;
    return false;
}

const char* ButtonName(int id)
{
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "&Abort";
    case IDRETRY: return "&Retry";
    case IDIGNORE: return "&Ignore";
    case IDYES: return "&Yes";
    case IDNO: return "&No";
    default: return "?";
    }
}

QMessageBox::Icon BoxIcon(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

// A filter entry as the toolkit writes it: the description, then its patterns in brackets
// (descriptions that show their patterns already keep them).
QString NameFilter(const CFileDialog::Filter& f)
{
    QString description = Utf8(f.description).trimmed();
    QString patterns = Utf8(f.pattern).trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
    if (description.endsWith(QLatin1Char(')')))
        return description;
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

// The 1-based filter whose patterns name the file's extension, 0 for none.
DWORD FilterOfName(const QString& path, const std::vector<CFileDialog::Filter>& filters)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty())
        return 0;
    for (size_t i = 0; i < filters.size(); ++i)
        for (const QString& one : Utf8(filters[i].pattern).toLower().split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (one.trimmed() == QStringLiteral("*.") + suffix)
                return static_cast<DWORD>(i + 1);
    return 0;
}

// Tells when the window it watches is first painted, then lets go.
class CFirstPaintReporter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            std::fprintf(stderr, "window shown %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stderr);
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

}  // namespace

struct CQtFrontEnd::Impl : CDialogView::Host {
    // One running modal window: a dialog whose messages the poll runs, or a box, file dialog
    // or sheet (no dialog), during which the framework's messages wait as they did before.
    struct Level {
        CDialog* dialog = nullptr;
        QEventLoop* loop = nullptr;
        int actionDepth = 0;    // the actions running when it started
        bool pumping = false;
    };

    std::unique_ptr<QApplication> app;
    std::map<const CDialog*, CDialogView*> views;
    std::vector<Level*> levels;
    QTimer poll;
    int actionDepth = 0;
    bool pumpingUi = false;
    QElapsedTimer sinceUi;
    QString closeFile;
    int polls = 0;
    bool reportPaint = false;

    void ActionRunning(BOOL running) override
    {
        actionDepth += running ? 1 : -1;
        if (!running)
            QuitEnded();
    }

    void QuitEnded()
    {
        for (Level* level : levels)
            if (level->dialog && level->loop && level->dialog->IsEnded())
                level->loop->quit();
    }

    CDialogView* ViewOf(const CDialog* dialog) const
    {
        auto it = views.find(dialog);
        return it == views.end() ? nullptr : it->second;
    }

    // The window a new one belongs to: the parent dialog's, else the innermost one shown.
    QWidget* Owner(const CDialog* parent) const
    {
        if (CDialogView* v = ViewOf(parent); v && v->isVisible())
            return v->window();
        if (QWidget* modal = QApplication::activeModalWidget())
            return modal;
        for (auto it = levels.rbegin(); it != levels.rend(); ++it)
            if (CDialogView* v = ViewOf((*it)->dialog); v && v->isVisible())
                return v;
        return QApplication::activeWindow();
    }

    // Runs a modal toolkit window with the framework's messages held back meanwhile.
    template <class F>
    auto Held(F run)
    {
        Level level;
        level.actionDepth = actionDepth;
        levels.push_back(&level);
        auto result = run();
        levels.pop_back();
        return result;
    }

    void Poll()
    {
        if (!closeFile.isEmpty() && ++polls % kCloseCheckPolls == 0 && QFile::exists(closeFile)) {
            QFile::remove(closeFile);
            if (!levels.empty())
                if (CDialogView* v = ViewOf(levels.front()->dialog))
                    v->close();
        }
        if (levels.empty())
            return;
        // Only the innermost window's loop runs the messages, and not from inside an action
        // of its own (a decrypt running from a button): its timers would start work inside
        // the work.
        Level* top = levels.back();
        if (!top->dialog || top->pumping || actionDepth != top->actionDepth)
            return;
        top->pumping = true;
        ++actionDepth;
        top->dialog->PumpWaitingMessages();
        --actionDepth;
        top->pumping = false;
        QuitEnded();
    }

    void LetWindowsAnswer()
    {
        if (pumpingUi || (sinceUi.isValid() && sinceUi.elapsed() < kUiSliceMs))
            return;
        pumpingUi = true;
        QCoreApplication::processEvents();
        pumpingUi = false;
        sinceUi.restart();
    }
};

CQtFrontEnd::CQtFrontEnd(int& argc, char** argv) : m(std::make_unique<Impl>())
{
    if (!QApplication::instance())
        m->app = std::make_unique<QApplication>(argc, argv);
    // The program's icon: its picture when one is registered, else the desktop entry's
    // (drawn when the toolkit can read SVG).
    const QImage picture = PictureImage("#128");
    const QIcon icon = picture.isNull() ? QIcon(QStringLiteral(":/qtfront/quillmar-unsealer.svg")) : QIcon(QPixmap::fromImage(picture));
    if (!icon.pixmap(QSize(32, 32)).isNull())
        QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmar-unsealer"));
    m->poll.setInterval(kPollMs);
    QObject::connect(&m->poll, &QTimer::timeout, [this] { m->Poll(); });
    m->poll.start();
}

CQtFrontEnd::~CQtFrontEnd()
{
    m->poll.stop();
    for (auto& [dialog, view] : m->views) {
        view->Detach();
        delete view;
    }
    m->views.clear();
}

QWidget* CQtFrontEnd::WindowOf(const CDialog& dialog) const { return m->ViewOf(&dialog); }

void CQtFrontEnd::SetCloseRequestFile(const char* path) { m->closeFile = Utf8(path); }

void CQtFrontEnd::ReportFirstPaint(BOOL report) { m->reportPaint = report != FALSE; }

void CQtFrontEnd::RunModal(CDialog& dialog)
{
    auto* view = new CDialogView(dialog, *m, m->Owner(dialog.GetParent()));
    if (!m->levels.empty())
        view->setWindowModality(Qt::ApplicationModal);
    m->views[&dialog] = view;
    QEventLoop loop;
    Impl::Level level;
    level.dialog = &dialog;
    level.loop = &loop;
    level.actionDepth = m->actionDepth;
    m->levels.push_back(&level);
    if (m->reportPaint) {
        m->reportPaint = false;
        view->installEventFilter(new CFirstPaintReporter(view));
    }
    view->show();
    view->raise();
    view->activateWindow();
    if (!dialog.IsEnded())
        loop.exec();
    m->levels.pop_back();
    m->views.erase(&dialog);
    view->Detach();
    view->hide();
    delete view;
}

void CQtFrontEnd::ShowModeless(CDialog& dialog)
{
    auto* view = new CDialogView(dialog, *m, m->Owner(dialog.GetParent()));
    // The window that started the work waits for it: only the progress window answers.
    view->setWindowModality(Qt::ApplicationModal);
    m->views[&dialog] = view;
    view->show();
    m->sinceUi.invalidate();
    m->LetWindowsAnswer();
}

void CQtFrontEnd::Refresh(CDialog& dialog)
{
    CDialogView* view = m->ViewOf(&dialog);
    if (!view)
        return;
    view->Sync();
    // Work running on this thread from a window's action, with a progress bar to show: its
    // windows repaint and answer (the progress window's Cancel) now and then. Other windows
    // of the work wait, as their own clicks would start work inside the work.
    if (m->actionDepth > 0 && (!dialog.IsModal() || HasProgressBar(dialog)))
        m->LetWindowsAnswer();
}

void CQtFrontEnd::CloseModeless(CDialog& dialog)
{
    CDialogView* view = m->ViewOf(&dialog);
    if (!view)
        return;
    m->views.erase(&dialog);
    view->Detach();
    view->hide();
    view->deleteLater();
}

void CQtFrontEnd::ShowStatus(const char* text)
{
    if (!m->levels.empty())
        if (CDialogView* v = m->ViewOf(m->levels.front()->dialog))
            v->SetStatusText(Utf8(text));
}

int CQtFrontEnd::MessageBox(const char* text, const char* caption, UINT type)
{
    QMessageBox box(BoxIcon(type), Utf8(caption), Utf8(text), QMessageBox::NoButton, m->Owner(nullptr));
    box.setObjectName(QStringLiteral("messagebox"));
    int ids[3];
    const int count = AfxMessageBoxButtons(type, ids);
    const int defaultId = AfxMessageBoxDefault(type);
    const int safeId = AfxMessageBoxSafeAnswer(type);
    std::map<QAbstractButton*, int> answers;
    for (int i = 0; i < count; ++i) {
        QPushButton* b = box.addButton(QString::fromLatin1(ButtonName(ids[i])), QMessageBox::ActionRole);
        b->setObjectName(QStringLiteral("ctl%1").arg(ids[i]));
        answers[b] = ids[i];
        if (ids[i] == defaultId)
            box.setDefaultButton(b);
        if (ids[i] == safeId)
            box.setEscapeButton(b);
    }
    m->Held([&] { return box.exec(); });
    auto it = answers.find(box.clickedButton());
    return it == answers.end() ? safeId : it->second;
}

INT_PTR CQtFrontEnd::RunFileDialog(CFileDialog& dialog)
{
    const auto& filters = dialog.GetFilters();
    QFileDialog fd(m->Owner(dialog.m_pParent), dialog.IsOpen() ? QStringLiteral("Open") : QStringLiteral("Save As"));
    fd.setObjectName(QStringLiteral("filedialog"));
    fd.setOption(QFileDialog::DontUseNativeDialog);
    // Replacing a file is asked below, with keeping it as the default answer.
    fd.setOption(QFileDialog::DontConfirmOverwrite);
    fd.setAcceptMode(dialog.IsOpen() ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    fd.setFileMode(dialog.IsOpen() && (dialog.GetFlags() & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList names;
    for (const auto& f : filters)
        names << NameFilter(f);
    if (!names.isEmpty())
        fd.setNameFilters(names);
    if (!dialog.GetDefExt().IsEmpty())
        fd.setDefaultSuffix(Utf8(dialog.GetDefExt()));
    if (!dialog.GetPathName().IsEmpty())
        fd.selectFile(QFile::decodeName(dialog.GetPathName().c_str()));
    if (dialog.m_nFilterIndex >= 1 && dialog.m_nFilterIndex <= static_cast<DWORD>(names.size()))
        fd.selectNameFilter(names[static_cast<int>(dialog.m_nFilterIndex - 1)]);
    for (;;) {
        if (m->Held([&] { return fd.exec(); }) != QDialog::Accepted || fd.selectedFiles().isEmpty())
            return IDCANCEL;
        const QString chosen = fd.selectedFiles().constFirst();
        const CString path(QFile::encodeName(chosen).constData());
        const CString error = dialog.Validate(path);
        if (!error.IsEmpty()) {
            MessageBox(error, dialog.IsOpen() ? "Open" : "Save As", MB_OK | MB_ICONEXCLAMATION);
            continue;
        }
        CFileStatus st;
        if (!dialog.IsOpen() && (dialog.GetFlags() & OFN_OVERWRITEPROMPT) && CFile::GetStatus(path, st) &&
            MessageBox(path + " already exists.\nDo you want to replace it?", "Save As", MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
            continue;
        // The chosen type, unless the name's own extension is another type's: then the
        // name tells (index 0).
        DWORD index = static_cast<DWORD>(names.indexOf(fd.selectedNameFilter()) + 1);
        const DWORD byName = FilterOfName(chosen, filters);
        if (byName != 0 && byName != index)
            index = 0;
        dialog.SetResult(path, index);
        return IDOK;
    }
}

INT_PTR CQtFrontEnd::RunPropertySheet(CPropertySheet& sheet)
{
    QDialog window(m->Owner(sheet.m_pParent));
    window.setObjectName(QStringLiteral("sheet"));
    window.setWindowTitle(Utf8(sheet.GetCaption()));
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget(&window);
    layout->addWidget(tabs);
    std::vector<CDialogView*> pages;
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        CPropertyPage* page = sheet.GetPage(i);
        auto* view = new CDialogView(*page, *m, tabs, TRUE);
        m->views[page] = view;
        pages.push_back(view);
        tabs->addTab(view, PlainText(page->GetWindowText()));
    }
    tabs->setCurrentIndex(sheet.GetActiveIndex());
    QObject::connect(tabs, &QTabWidget::currentChanged, &window, [&](int index) {
        if (index != sheet.GetActiveIndex() && !sheet.SetActivePage(index)) {
            QSignalBlocker block(tabs);
            tabs->setCurrentIndex(sheet.GetActiveIndex());
        }
    });
    auto* buttons = new QDialogButtonBox(&window);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("ctl%1").arg(IDOK));
    cancel->setObjectName(QStringLiteral("ctl%1").arg(IDCANCEL));
    ok->setDefault(true);
    layout->addWidget(buttons);
    QObject::connect(ok, &QPushButton::clicked, &window, [&] {
        m->ActionRunning(TRUE);
        const BOOL applied = sheet.ApplyAll();
        m->ActionRunning(FALSE);
        for (CDialogView* v : pages)
            v->Sync();
        if (applied)
            window.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &window, &QDialog::reject);
    const int result = m->Held([&] { return window.exec(); });
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        m->views.erase(sheet.GetPage(i));
        pages[static_cast<size_t>(i)]->Detach();
    }
    return result == QDialog::Accepted ? IDOK : IDCANCEL;
}

BOOL CQtFrontEnd::BringToFront(HWND window)
{
    for (auto& [dialog, view] : m->views) {
        if (!window || dialog->GetSafeHwnd() != window || !view->isWindow())
            continue;
        if (view->isMinimized())
            view->showNormal();
        view->raise();
        view->activateWindow();
        return TRUE;
    }
    return FALSE;
}
