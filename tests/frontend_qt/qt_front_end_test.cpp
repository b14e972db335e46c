// The desktop front end under Qt's offscreen platform: every template as a window, and the
// real dialogs driven by clicks, typing and drops.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/decrypt_dlg.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/view_id.h"
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/resources.h"
#include "decrypt/ids/digital_id.h"
#include "decrypt/ids/digital_id_dialogs.h"
#include "decrypt/ids/ids_resources.h"
#include "decrypt/core/ids_test_support.h"
#include "framework/ui/message_box.h"
#include "sigilbox/engines/progress.h"
#include "frontend_qt/dialog_view.h"
#include "frontend_qt/qt_front_end.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QPointer>
#include <QFileDialog>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>

namespace {

// Acts on the windows as they come up: each actor runs once for each window of its name
// (a dialog's "dlg<template id>", "messagebox", "filedialog", "sheet").
class Driver {
public:
    using Actor = std::function<void(QWidget*)>;
    Driver()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Look(); });
        m_timer.start();
        m_clock.start();
    }
    // Boxes nobody asked for are answered with their default button and kept here.
    QStringList otherBoxes;
    void On(const QString& name, Actor actor) { m_actors[name].push_back(std::move(actor)); }
    int Unanswered() const
    {
        int n = 0;
        for (auto& [name, list] : m_actors)
            n += static_cast<int>(list.size());
        return n;
    }

private:
    void Look()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w)
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->isVisible() && top->objectName().startsWith(QLatin1String("dlg")))
                    w = top;
        if (m_clock.elapsed() > 60000) {
            ADD_FAILURE() << "no window came for the actors left; last up: " << (w ? w->objectName().toStdString() : "none")
                          << "; boxes: " << otherBoxes.join(QLatin1String(" | ")).toStdString();
            std::abort();
        }
        if (!w || m_done.count(w))
            return;
        auto it = m_actors.find(w->objectName());
        if (it == m_actors.end() || it->second.empty()) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                m_done.insert(w);
                QObject::connect(w, &QObject::destroyed, [this, w] { m_done.erase(w); });
                otherBoxes << box->text();
                QTimer::singleShot(0, [box = QPointer<QMessageBox>(box)] {
                    if (box)
                        QTest::keyClick(box, Qt::Key_Return);
                });
            }
            return;
        }
        m_done.insert(w);
        QObject::connect(w, &QObject::destroyed, [this, w] { m_done.erase(w); });
        // Run from a timer of its own: what it starts may open windows that this timer
        // must see while the actor has not returned.
        QTimer::singleShot(0, [actor = std::move(it->second.front()), target = QPointer<QWidget>(w)] {
            if (target)
                actor(target);
        });
        it->second.pop_front();
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::map<QString, std::deque<Actor>> m_actors;
    std::set<QWidget*> m_done;
};

QString Name(UINT templateId) { return QStringLiteral("dlg%1").arg(templateId); }

template <class W = QWidget>
W* Control(QWidget* window, UINT id)
{
    return window->findChild<W*>(QStringLiteral("ctl%1").arg(id));
}

void Click(QWidget* window, UINT id)
{
    auto* b = Control<QAbstractButton>(window, id);
    ASSERT_NE(b, nullptr) << id;
    QTest::mouseClick(b, Qt::LeftButton);
}

// Answers the next file dialog with this path.
void ChooseFile(Driver& driver, const std::string& path, QStringList* filters = nullptr)
{
    driver.On(QStringLiteral("filedialog"), [path, filters](QWidget* w) {
        auto* fd = static_cast<QFileDialog*>(w);
        if (filters)
            *filters = fd->nameFilters();
        // Typed into the name field, as a user would.
        auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(fd, "accept");
    });
}

class QtFrontEnd : public IdsScratch {
protected:
    static void SetUpTestSuite()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    void SetUp() override
    {
        IdsScratch::SetUp();
        setenv("HOME", dir.c_str(), 1);
        RegisterDecryptResources();
        ui = std::make_unique<CQtFrontEnd>(argc, argv);
        previous = AfxSetFrontEnd(ui.get());
        std::string cmd = "cp '" QM_SOURCE_DIR "/samples/demo.p7m' '" QM_SOURCE_DIR "/samples/demo.sec' '" QM_SOURCE_DIR
                          "/samples/demo.P7M' '" QM_SOURCE_DIR "/samples/demo_key.der' '" + dir + "/'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override
    {
        AfxSetFrontEnd(previous == AfxGetFrontEnd() ? nullptr : previous);
        ui.reset();
        IdsScratch::TearDown();
    }
    int argc = 1;
    char arg0[8] = "qmtest";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<CQtFrontEnd> ui;
    CFrontEnd* previous = nullptr;
    CWinApp app{"decrypt"};
};

// Every template becomes a window with its caption and, for each control, a widget of its
// kind with the template's text, shown and enabled as the template says, none on top of
// another; Esc cancels it.
TEST_F(QtFrontEnd, EveryTemplateRendersItsControls)
{
    std::vector<const DialogTemplate*> templates;
    for (const DecryptResourceShare* share :
         {&ShellResources(), &DigitalIDResources(), &KeyFileResources(), &CertificateFileResources()})
        templates.insert(templates.end(), share->templates.begin(), share->templates.end());
    ASSERT_GE(templates.size(), 9u);
    for (const DialogTemplate* t : templates) {
        SCOPED_TRACE(t->caption);
        CDialog dialog(t->id);
        bool looked = false;
        QTimer::singleShot(0, [&] {
            auto* view = static_cast<CDialogView*>(ui->WindowOf(dialog));
            ASSERT_NE(view, nullptr);
            looked = true;
            EXPECT_EQ(view->windowTitle(), QString::fromUtf8(t->caption));
            std::vector<QRect> boxes;
            for (size_t i = 0; i < t->controls.size(); ++i) {
                const ControlTemplate& c = t->controls[i];
                QWidget* w = view->ControlWidget(i);
                ASSERT_NE(w, nullptr) << i;
                SCOPED_TRACE(c.text);
                const bool shown = !(c.style & CS_HIDDEN) && (c.kind != ControlKind::Picture || !PictureImage(c.text).isNull());
                EXPECT_EQ(w->isVisible(), shown);
                EXPECT_EQ(w->isEnabled(), !(c.style & CS_DISABLED));
                switch (c.kind) {
                case ControlKind::Button:
                case ControlKind::DefaultButton:
                case ControlKind::CheckBox:
                    ASSERT_TRUE(qobject_cast<QAbstractButton*>(w));
                    EXPECT_EQ(static_cast<QAbstractButton*>(w)->text(), QString::fromUtf8(c.text));
                    break;
                case ControlKind::Static:
                    ASSERT_TRUE(qobject_cast<QLabel*>(w));
                    EXPECT_EQ(PlainText(static_cast<QLabel*>(w)->text().toUtf8()), PlainText(c.text));
                    break;
                case ControlKind::GroupBox:
                    ASSERT_TRUE(qobject_cast<QGroupBox*>(w));
                    EXPECT_EQ(static_cast<QGroupBox*>(w)->title(), PlainText(c.text));
                    break;
                case ControlKind::Edit:
                    if (!(c.style & CS_MULTILINE)) {
                        ASSERT_TRUE(qobject_cast<QLineEdit*>(w));
                        auto* e = static_cast<QLineEdit*>(w);
                        EXPECT_EQ(e->echoMode() == QLineEdit::Password, (c.style & CS_PASSWORD) != 0);
                        EXPECT_EQ(e->isReadOnly(), (c.style & CS_READONLY) != 0);
                        if (c.limit > 0) {
                            EXPECT_EQ(e->maxLength(), c.limit);
                        }
                    }
                    break;
                case ControlKind::ComboBox:
                    EXPECT_TRUE(qobject_cast<QComboBox*>(w));
                    break;
                case ControlKind::ProgressBar:
                    EXPECT_TRUE(qobject_cast<QProgressBar*>(w));
                    break;
                default:
                    break;
                }
                if (shown && c.kind != ControlKind::GroupBox) {
                    const QRect box(w->mapTo(view, QPoint(0, 0)), w->size());
                    EXPECT_TRUE(view->rect().contains(box)) << i;
                    for (const QRect& other : boxes)
                        EXPECT_FALSE(box.intersects(other)) << i;
                    boxes.push_back(box);
                }
            }
            QTest::keyClick(view, Qt::Key_Escape);
        });
        EXPECT_EQ(dialog.DoModal(), static_cast<INT_PTR>(IDCANCEL));
        EXPECT_TRUE(looked);
    }
}

// Dialog units follow the font: the same template is larger with a larger font.
TEST_F(QtFrontEnd, LayoutScalesWithTheFont)
{
    QSize sizes[2];
    const QFont original = QApplication::font();
    for (int i = 0; i < 2; ++i) {
        QFont font = original;
        font.setPointSizeF(original.pointSizeF() * (i + 1));
        QApplication::setFont(font);
        CDialog dialog(IDD_CREATE_CERTIFICATE);
        QTimer::singleShot(0, [&] {
            sizes[i] = ui->WindowOf(dialog)->sizeHint();
            QTest::keyClick(ui->WindowOf(dialog), Qt::Key_Escape);
        });
        dialog.DoModal();
    }
    QApplication::setFont(original);
    EXPECT_GT(sizes[1].width(), sizes[0].width() * 3 / 2);
    EXPECT_GT(sizes[1].height(), sizes[0].height() * 3 / 2);
}

// Each box type: its icon, its buttons in order, Enter takes the default and Esc the safe
// answer.
TEST_F(QtFrontEnd, MessageBoxesShowTheirButtonsAndIcon)
{
    struct Case {
        UINT type;
        QMessageBox::Icon icon;
        QStringList buttons;
        int enter, escape;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONEXCLAMATION, QMessageBox::Warning, {"OK"}, IDOK, IDOK},
        {MB_OKCANCEL | MB_ICONINFORMATION, QMessageBox::Information, {"OK", "Cancel"}, IDOK, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, QMessageBox::Question, {"&Yes", "&No"}, IDNO, IDNO},
        {MB_YESNOCANCEL | MB_ICONSTOP, QMessageBox::Critical, {"&Yes", "&No", "Cancel"}, IDYES, IDCANCEL},
    };
    for (const Case& c : cases) {
        for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                EXPECT_EQ(box->icon(), c.icon);
                EXPECT_EQ(box->text(), QStringLiteral("Some text"));
                QStringList texts;
                for (QAbstractButton* b : box->buttons())
                    texts << b->text();
                texts.sort();
                QStringList want = c.buttons;
                want.sort();
                EXPECT_EQ(texts, want);
                QTest::keyClick(box, static_cast<Qt::Key>(key));
            });
            EXPECT_EQ(AfxMessageBox("Some text", c.type), key == Qt::Key_Return ? c.enter : c.escape) << c.type;
        }
    }
}

// The main window: files dropped on it are decrypted (only with an ID), names queued at the
// start are decrypted from its timer while it is up, About comes from the window menu, a
// hand-over raises it, and Close ends it.
TEST_F(QtFrontEnd, MainWindowDecryptsDroppedAndQueuedFiles)
{
    ASSERT_EQ(std::system(("mkdir '" + Path("dropped") + "' && cp '" + Path("demo.p7m") + "' '" + Path("dropped/") + "'").c_str()), 0);
    CDecryptDlg dlg(&AfxGetDecryptionState());
    Driver driver;
    auto drop = [&](QWidget* w, const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &dropped);
        return true;
    };
    // Without an ID nothing is taken.
    driver.On(Name(IDD_DECRYPT_DIALOG), [&](QWidget* w) {
        EXPECT_FALSE(drop(w, Path("demo.p7m")));
        EXPECT_FALSE(Control(w, IDC_DECRYPT)->isEnabled());
        EXPECT_FALSE(Control(w, IDC_DECRYPT)->toolTip().isEmpty());   // why it is off
        Click(w, IDOK);
    });
    dlg.DoModal();
    EXPECT_FALSE(PathExists(Path("Decrypt")));

    ASSERT_TRUE(UseKeyForThisRun(Path("demo_key.der").c_str()));
    QueueFileNames(Path("demo.p7m").c_str(), 1);
    bool aboutSeen = false;
    driver.On(Name(IDD_ABOUTBOX), [&](QWidget* w) {
        aboutSeen = true;
        QTest::keyClick(w, Qt::Key_Return);
    });
    int stage = 0;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        QWidget* w = ui->WindowOf(dlg);
        if (!w || QApplication::activeModalWidget())
            return;
        // The queued name is decrypted from the window's timer, while it is up.
        if (stage == 0 && PathExists(Path("Decrypt/Msg.txt"))) {
            stage = 1;
            EXPECT_TRUE(drop(w, Path("dropped/demo.p7m")));
            EXPECT_TRUE(PathExists(Path("dropped/Decrypt/Msg.txt")));
            EXPECT_TRUE(SetForegroundWindow(dlg.GetSafeHwnd()));
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
            QTimer::singleShot(50, [] {
                auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                ASSERT_NE(popup, nullptr);
                ASSERT_EQ(popup->actions().size(), 1);
                EXPECT_EQ(popup->actions()[0]->text(), QStringLiteral("&About Unsealer..."));
                popup->actions()[0]->trigger();
                popup->close();
            });
            QApplication::sendEvent(w, &menu);
        } else if (stage == 1 && aboutSeen) {
            stage = 2;
            Click(w, IDOK);
        }
    });
    step.start(50);
    EXPECT_EQ(dlg.DoModal(), static_cast<INT_PTR>(IDOK));
    EXPECT_TRUE(aboutSeen);
    if (QImageReader::supportedImageFormats().contains("svg")) {
        EXPECT_FALSE(QApplication::windowIcon().isNull());
    }
    EXPECT_TRUE(PathExists(Path("Decrypt/Msg.txt")));
    EXPECT_EQ(driver.Unanswered(), 0);
}

// A new ID from the main window: the key file's name, the ID's name, the phrase typed key
// by key (its intervals reach the dialog), no password, the e-mail address; the key file
// and its certificate file are written and the window shows the new ID.
TEST_F(QtFrontEnd, NewIdFromTypedKeystrokes)
{
    CDecryptDlg dlg(&AfxGetDecryptionState());
    Driver driver;
    size_t timings = 0;
    driver.On(Name(IDD_DECRYPT_DIALOG), [&](QWidget* w) { QTest::keyClick(w, Qt::Key_N, Qt::AltModifier); });
    ChooseFile(driver, Path("mine.sec"));
    driver.On(Name(IDD_NEW_DIGITAL_ID), [&](QWidget* w) {
        QTest::keyClicks(Control(w, IDC_ID_NAME_EDIT), QStringLiteral("Typed ID"));
        QTest::keyClick(w, Qt::Key_Return);   // "Create ID..." is the default
    });
    driver.On(Name(IDD_MAKING_DIGITAL_ID), [&](QWidget* w) {
        auto* dialog = static_cast<CMakingDigitalIDDialog*>(static_cast<CDialogView*>(w)->Dialog());
        EXPECT_FALSE(Control(w, IDOK)->isEnabled());
        QTest::keyClicks(Control(w, IDC_PHRASE_EDIT), QStringLiteral("random generation"), Qt::NoModifier, 3);
        timings = dialog->GetTimings().size();
        EXPECT_TRUE(Control(w, IDOK)->isEnabled());
        Click(w, IDOK);
    });
    driver.On(QStringLiteral("messagebox"), [](QWidget* w) { Click(w, IDNO); });   // no password
    driver.On(Name(IDD_CREATE_CERTIFICATE), [](QWidget* w) {
        QTest::keyClicks(Control(w, IDC_EMAIL_ADDRESS), QStringLiteral("me@example.org"));
        QTest::keyClick(w, Qt::Key_C, Qt::AltModifier);
    });
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (driver.Unanswered() == 0 && ui->WindowOf(dlg) && QApplication::activeModalWidget() == nullptr)
            QTest::keyClick(ui->WindowOf(dlg), Qt::Key_Escape);
    });
    closer.start(50);
    dlg.DoModal();
    EXPECT_EQ(driver.Unanswered(), 0);
    EXPECT_EQ(timings, 17u);
    EXPECT_TRUE(PathExists(Path("mine.sec")));
    EXPECT_TRUE(PathExists(Path("mine.P7M")));
    EXPECT_STREQ(AfxGetDecryptionState().m_strName, "Typed ID");
}

// Change loads a key file chosen in the file dialog (with the key kinds as its filters);
// View shows it in a sheet, whose Esc closes it.
TEST_F(QtFrontEnd, ChangeAndViewTheId)
{
    CDecryptDlg dlg(&AfxGetDecryptionState());
    Driver driver;
    QStringList filters;
    QString shownName;
    driver.On(Name(IDD_DECRYPT_DIALOG), [](QWidget* w) { Click(w, IDC_CHANGE); });
    ChooseFile(driver, Path("demo.sec"), &filters);
    driver.On(QStringLiteral("sheet"), [&](QWidget* w) {
        auto* tabs = w->findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
        shownName = Control<QLineEdit>(w, IDC_VIEW_NAME)->text();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    QTimer step;
    int stage = 0;
    QObject::connect(&step, &QTimer::timeout, [&] {
        QWidget* main = ui->WindowOf(dlg);
        if (!main || QApplication::activeModalWidget())
            return;
        if (stage == 0 && Control(main, IDC_VIEW)->isEnabled()) {
            stage = 1;
            Click(main, IDC_VIEW);
        } else if (stage == 1 && driver.Unanswered() == 0) {
            stage = 2;
            Click(main, IDOK);
        }
    });
    step.start(50);
    dlg.DoModal();
    EXPECT_EQ(stage, 2);
    EXPECT_EQ(filters, (QStringList{"Secret & RSA keys file (*.key)", "RSA keys with their certificates file (*.sec)"}));
    EXPECT_EQ(AfxGetDecryptionState().m_nIDIsSet, 1);
    EXPECT_EQ(shownName, QString::fromUtf8(AfxGetDecryptionState().m_strName.c_str()));
}

// A progress window: Esc asks the work on this thread to stop, and the request goes with
// the window. The new ID's generation: Cancel while it runs stops it and keeps the dialog.
TEST_F(QtFrontEnd, ProgressWindowsCancel)
{
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(nullptr, "file.p7m"));
        QWidget* w = ui->WindowOf(progress);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), QStringLiteral("file.p7m"));
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_TRUE(progress.IsCancelled());
        EXPECT_EQ(ThreadKillFlag, 1);
        progress.DestroyWindow();
        EXPECT_EQ(ThreadKillFlag, 0);
        EXPECT_EQ(ui->WindowOf(progress), nullptr);
    }
    CMakingDigitalIDDialog dialog(2048);
    Driver driver;
    bool openAfterCancel = false;
    driver.On(Name(IDD_MAKING_DIGITAL_ID), [&](QWidget* w) {
        QTest::keyClicks(Control(w, IDC_PHRASE_EDIT), QStringLiteral("random generation"));
        QTimer::singleShot(100, [w] { Click(w, IDCANCEL); });
        Click(w, IDOK);   // returns once the generation stopped
        openAfterCancel = !dialog.IsEnded();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.DoModal(), static_cast<INT_PTR>(IDCANCEL));
    EXPECT_TRUE(openAfterCancel);
    EXPECT_EQ(dialog.m_pKey, nullptr);
    EXPECT_EQ(ThreadKillFlag, 0);
}

}  // namespace

// Not a check: with QM_SCREENSHOT_DIR set (tools/screenshots.sh), saves a picture of each
// window into that folder.
TEST_F(QtFrontEnd, Screenshots)
{
    const QString folder = qEnvironmentVariable("QM_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "QM_SCREENSHOT_DIR not set";
    ASSERT_TRUE(UseKeyForThisRun(Path("demo.sec").c_str()));
    auto save = [&](QWidget* w, const char* name) {
        QTest::qWait(100);
        EXPECT_TRUE(w->grab().save(folder + QLatin1Char('/') + QLatin1String(name)));
    };
    auto shoot = [&](CDialog& dialog, const char* name, std::function<void(QWidget*)> before = nullptr) {
        QTimer::singleShot(50, [&, name, before] {
            QWidget* w = ui->WindowOf(dialog);
            if (before)
                before(w);
            save(w, name);
            QTest::keyClick(w, Qt::Key_Escape);
        });
        dialog.DoModal();
    };
    CDecryptDlg main(&AfxGetDecryptionState());
    shoot(main, "main.png");
    // The same window once a file given to it was decrypted: its status line tells where to.
    QueueFileNames(Path("demo.p7m").c_str(), 1);
    CDecryptDlg decrypted(&AfxGetDecryptionState());
    shoot(decrypted, "decrypted.png", [&](QWidget*) {
        for (int i = 0; i < 100 && !PathExists(Path("Decrypt/Msg.txt")); ++i)
            QTest::qWait(50);
        QTest::qWait(200);
    });
    CAboutDlg about;
    shoot(about, "about.png");
    CNewDigitalIDDialog newId;
    shoot(newId, "new_id.png", [](QWidget* w) { QTest::keyClicks(Control(w, IDC_ID_NAME_EDIT), QStringLiteral("My ID")); });
    CMakingDigitalIDDialog making(508);
    shoot(making, "making_id.png", [](QWidget* w) { QTest::keyClicks(Control(w, IDC_PHRASE_EDIT), QStringLiteral("random gen")); });
    CDialog certificate(IDD_CREATE_CERTIFICATE);
    shoot(certificate, "certificate.png");
    QTimer::singleShot(50, [&] {
        QWidget* sheet = QApplication::activeModalWidget();
        save(sheet, "view_id.png");
        QTest::keyClick(sheet, Qt::Key_Escape);
    });
    ViewDecryptingID(nullptr);
    ProgressDialog progress;
    ASSERT_TRUE(progress.Create(nullptr, (dir + "/demo.p7m").c_str()));
    progress.GetProgress().SetUp(7, 0, 1, 4);
    progress.SetStageText("decrypting ...");
    save(ui->WindowOf(progress), "progress.png");
}
