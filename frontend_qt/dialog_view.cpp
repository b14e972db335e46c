#include "frontend_qt/dialog_view.h"

#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/front_end.h"
#include "framework/ui/picture.h"
#include "framework/window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

namespace {

bool IsButton(ControlKind kind) { return kind == ControlKind::Button || kind == ControlKind::DefaultButton; }
bool IsField(ControlKind kind)
{
    return kind == ControlKind::Edit || kind == ControlKind::ComboBox || kind == ControlKind::ListBox || kind == ControlKind::Spin;
}

// Longer labels stand on a line of their own above their field.
constexpr int kLongLabel = 32;

QString Utf8(const CString& text) { return QString::fromUtf8(text.c_str(), text.GetLength()); }

}  // namespace

QString PlainText(const char* text)
{
    QString out;
    const QString in = QString::fromUtf8(text ? text : "");
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == QLatin1Char('&') && i + 1 < in.size())
            ++i;
        out += in[i];
    }
    return out;
}

QString MarkedText(const char* text) { return QString::fromUtf8(text ? text : ""); }

QImage PictureImage(const char* name)
{
    auto picture = AfxFindPicture(name);
    if (!picture)
        return QImage();
    QImage image(picture->width, picture->height, QImage::Format_RGB32);
    for (int y = 0; y < picture->height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture->width; ++x)
            line[x] = 0xFF000000u | picture->pixels[static_cast<size_t>(y) * static_cast<size_t>(picture->width) + static_cast<size_t>(x)];
    }
    return image;
}

CDialogView::CDialogView(CDialog& dialog, Host& host, QWidget* parent, BOOL page)
    : QDialog(parent), m_dialog(&dialog), m_host(host), m_page(page)
{
    if (page)
        setWindowFlags(Qt::Widget);
    setObjectName(QStringLiteral("dlg%1").arg(dialog.GetTemplateId()));
    setAcceptDrops(!page);
    // The dialog base units of the window's font: the average of the alphabet's letters wide
    // and the font's height high (a dialog unit is a quarter and an eighth of them).
    const QFontMetricsF fm(font());
    m_baseX = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    m_baseY = fm.height();
    Build();
    Sync();
}

CDialogView::~CDialogView() = default;

int CDialogView::DluX(int units) const { return qRound(units * m_baseX / 4.0); }
int CDialogView::DluY(int units) const { return qRound(units * m_baseY / 8.0); }

QWidget* CDialogView::MakeWidget(size_t index)
{
    const CDialogControl& c = m_dialog->GetControls()[index];
    const UINT id = c.id;
    QWidget* w = nullptr;
    switch (c.kind) {
    case ControlKind::Button:
    case ControlKind::DefaultButton: {
        auto* b = new QPushButton(MarkedText(c.text), this);
        b->setAutoDefault(false);
        b->setMinimumSize(DluX(50), DluY(14));
        connect(b, &QPushButton::clicked, this, [this, id] { PressButton(id); });
        w = b;
        break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
        QAbstractButton* b = c.kind == ControlKind::CheckBox ? static_cast<QAbstractButton*>(new QCheckBox(MarkedText(c.text), this))
                                                             : new QRadioButton(MarkedText(c.text), this);
        b->setAutoExclusive(false);   // the dialog decides which one is on
        connect(b, &QAbstractButton::clicked, this, [this, id] { Route([id](CDialog& d) { d.HandleCommand(id); }); });
        w = b;
        break;
    }
    case ControlKind::GroupBox:
        w = new QGroupBox(PlainText(c.text), this);
        break;
    case ControlKind::Static: {
        auto* l = new QLabel(PlainText(c.text), this);
        l->setMinimumHeight(qRound(m_baseY));
        w = l;
        break;
    }
    case ControlKind::Edit:
        if (c.style & CS_MULTILINE) {
            auto* e = new QPlainTextEdit(this);
            e->setReadOnly((c.style & CS_READONLY) != 0);
            e->setTabChangesFocus(true);
            e->setMinimumWidth(DluX(200));
            e->setFixedHeight(DluY(40));
            if (!(c.style & CS_READONLY))
                connect(e, &QPlainTextEdit::textChanged, this, [this, e, id] {
                    if (!m_syncing)
                        Route([id, text = e->toPlainText().toUtf8()](CDialog& d) { d.HandleEditChange(id, text.constData()); });
                });
            w = e;
        } else {
            auto* e = new QLineEdit(this);
            e->setReadOnly((c.style & CS_READONLY) != 0);
            if (c.style & CS_PASSWORD)
                e->setEchoMode(QLineEdit::Password);
            if (c.limit > 0)
                e->setMaxLength(c.limit);
            if (c.style & CS_NUMBER)
                e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
            const bool narrow = c.limit > 0 && c.limit <= 8;
            e->setMinimumWidth(narrow ? DluX(8 * c.limit + 12) : DluX(150));
            if (narrow)
                e->setMaximumWidth(DluX(8 * c.limit + 24));
            connect(e, &QLineEdit::textEdited, this, [this, id](const QString& text) {
                Route([id, bytes = text.toUtf8()](CDialog& d) { d.HandleEditChange(id, bytes.constData()); });
            });
            // Keys of a timed field reach the dialog with their time, before the change
            // they make; Up and Down step a spin control beside the field.
            e->installEventFilter(this);
            w = e;
        }
        break;
    case ControlKind::ListBox: {
        auto* l = new QListWidget(this);
        l->setMinimumSize(DluX(120), DluY(40));
        connect(l, &QListWidget::currentRowChanged, this, [this, id](int row) {
            if (!m_syncing)
                Route([id, row](CDialog& d) { d.HandleSelChange(id, row); });
        });
        w = l;
        break;
    }
    case ControlKind::ComboBox: {
        auto* b = new QComboBox(this);
        b->setMinimumWidth(DluX(100));
        connect(b, &QComboBox::activated, this, [this, id](int row) { Route([id, row](CDialog& d) { d.HandleSelChange(id, row); }); });
        w = b;
        break;
    }
    case ControlKind::ProgressBar: {
        auto* p = new QProgressBar(this);
        p->setTextVisible(false);
        p->setMinimumSize(DluX(180), DluY(10));
        w = p;
        break;
    }
    case ControlKind::Picture: {
        auto* l = new QLabel(this);
        const QImage image = PictureImage(c.text);
        if (!image.isNull()) {
            l->setPixmap(QPixmap::fromImage(image));
            l->setFixedSize(image.size());
        } else {
            l->setProperty("qm_empty", true);   // nothing to draw: takes no room
        }
        w = l;
        break;
    }
    case ControlKind::Spin: {
        auto* box = new QWidget(this);
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        for (int delta : {1, -1}) {
            auto* arrow = new QToolButton(box);
            arrow->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
            arrow->setFocusPolicy(Qt::NoFocus);
            arrow->setAutoRepeat(true);
            arrow->setFixedSize(DluX(10), DluY(7));
            connect(arrow, &QToolButton::clicked, this, [this, id, delta] { StepSpin(id, delta); });
            column->addWidget(arrow);
        }
        w = box;
        break;
    }
    }
    w->setObjectName(QStringLiteral("ctl%1").arg(id));
    w->setProperty("qm_index", static_cast<qulonglong>(index));
    return w;
}

void CDialogView::Build()
{
    const auto& cs = m_dialog->GetControls();
    m_widgets.clear();
    for (size_t i = 0; i < cs.size(); ++i)
        m_widgets.push_back(MakeWidget(i));

    // What goes on a field's line: a spin control after its edit, the unit after the spin,
    // a button after a list ("Set..." beside the strength list).
    auto trails = [&](size_t field) {
        std::vector<size_t> row{field};
        size_t next = field + 1;
        if (next < cs.size() && cs[field].kind == ControlKind::Edit && cs[next].kind == ControlKind::Spin)
            row.push_back(next++);
        if (next < cs.size() && cs[row.back()].kind == ControlKind::Spin && cs[next].kind == ControlKind::Static)
            row.push_back(next++);
        if (next < cs.size() && IsButton(cs[next].kind) &&
            (cs[row.back()].kind == ControlKind::ComboBox || cs[row.back()].kind == ControlKind::ListBox))
            row.push_back(next++);
        return row;
    };
    auto isLabel = [&](size_t i) {
        if (i + 1 >= cs.size() || cs[i].kind != ControlKind::Static)
            return false;
        const ControlKind next = cs[i + 1].kind;
        return IsField(next) || (next == ControlKind::Static && cs[i].text.GetLength() > 0 &&
                                  cs[i].text[cs[i].text.GetLength() - 1] == ':' && cs[i + 1].id != IDC_STATIC);
    };

    auto* content = new QGridLayout;
    content->setHorizontalSpacing(DluX(4));
    content->setVerticalSpacing(DluY(3));
    content->setColumnStretch(1, 1);
    QGridLayout* grid = content;
    int row = 0;
    std::vector<bool> placed(cs.size(), false);
    std::vector<size_t> buttons;
    auto rowBox = [&](const std::vector<size_t>& items) {
        auto* box = new QHBoxLayout;
        box->setSpacing(DluX(3));
        for (size_t k : items) {
            box->addWidget(m_widgets[k]);
            placed[k] = true;
        }
        if (cs[items.front()].kind != ControlKind::ListBox && !(cs[items.front()].style & CS_MULTILINE) &&
            m_widgets[items.front()]->maximumWidth() < QWIDGETSIZE_MAX)
            box->addStretch(1);
        return box;
    };
    for (size_t i = 0; i < cs.size(); ++i) {
        if (placed[i])
            continue;
        const CDialogControl& c = cs[i];
        if (IsButton(c.kind)) {
            buttons.push_back(i);
            continue;
        }
        if (c.kind == ControlKind::GroupBox) {
            auto* group = static_cast<QGroupBox*>(m_widgets[i]);
            auto* inner = new QGridLayout(group);
            inner->setHorizontalSpacing(DluX(4));
            inner->setVerticalSpacing(DluY(3));
            inner->setColumnStretch(1, 1);
            content->addWidget(group, content->rowCount(), 0, 1, 2);
            placed[i] = true;
            grid = inner;
            row = 0;
            continue;
        }
        if (isLabel(i)) {
            auto* label = static_cast<QLabel*>(m_widgets[i]);
            placed[i] = true;
            std::vector<size_t> fields = trails(i + 1);
            if (cs[i + 1].kind != ControlKind::Static) {
                label->setText(MarkedText(c.text));   // its access key moves to the field
                label->setBuddy(m_widgets[i + 1]);
            }
            if (c.text.GetLength() > kLongLabel) {
                grid->addWidget(label, row++, 0, 1, 2);
                grid->addLayout(rowBox(fields), row++, 0, 1, 2);
            } else {
                grid->addWidget(label, row, 0, Qt::AlignLeft | (IsField(cs[i + 1].kind) && (cs[i + 1].style & CS_MULTILINE) ? Qt::AlignTop : Qt::AlignVCenter));
                grid->addLayout(rowBox(fields), row++, 1);
            }
            continue;
        }
        if (IsField(c.kind)) {
            grid->addLayout(rowBox(trails(i)), row++, 0, 1, 2);
            continue;
        }
        if (c.kind == ControlKind::Picture && m_widgets[i]->property("qm_empty").toBool()) {
            placed[i] = true;
            continue;
        }
        grid->addWidget(m_widgets[i], row++, 0, 1, 2, c.kind == ControlKind::Picture ? Qt::AlignLeft : Qt::Alignment());
        placed[i] = true;
    }

    // Buttons: a column on the right when there are many (a main window's commands), else a
    // row at the bottom on the right, in the template's order.
    const bool column = buttons.size() > 3;
    QBoxLayout* buttonBox = column ? static_cast<QBoxLayout*>(new QVBoxLayout) : new QHBoxLayout;
    buttonBox->setSpacing(DluY(3));
    if (!column)
        buttonBox->addStretch(1);
    for (size_t k : buttons)
        buttonBox->addWidget(m_widgets[k]);
    if (column)
        buttonBox->addStretch(1);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(DluX(7), DluY(7), DluX(7), DluY(7));
    outer->setSpacing(DluY(5));
    if (column) {
        auto* sides = new QHBoxLayout;
        sides->setSpacing(DluX(7));
        auto* left = new QVBoxLayout;
        left->addLayout(content);
        left->addStretch(1);
        sides->addLayout(left, 1);
        sides->addLayout(buttonBox);
        outer->addLayout(sides);
    } else {
        outer->addLayout(content);
        outer->addStretch(1);
        if (!buttons.empty())
            outer->addLayout(buttonBox);
        else
            delete buttonBox;
    }
    if (!m_page) {
        m_status = new QLabel(this);
        m_status->setObjectName(QStringLiteral("status"));
        m_status->setWordWrap(true);
        m_status->hide();
        outer->addWidget(m_status);
        outer->setSizeConstraint(QLayout::SetMinimumSize);
    }

    // Tab order: the template's order.
    QWidget* previous = nullptr;
    for (size_t i = 0; i < cs.size(); ++i) {
        QWidget* w = m_widgets[i];
        if (w->focusPolicy() == Qt::NoFocus || cs[i].kind == ControlKind::Static || cs[i].kind == ControlKind::GroupBox)
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

void CDialogView::SetStatusText(const QString& text)
{
    if (!m_status)
        return;
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

UINT CDialogView::EnterButton() const
{
    if (!m_dialog)
        return 0;
    const DWORD answer = static_cast<DWORD>(m_dialog->WindowProc(DM_GETDEFID, 0, 0));
    if (HIWORD(answer) == DC_HASDEFID)
        return LOWORD(answer);
    for (const CDialogControl& c : m_dialog->GetControls())
        if (c.kind == ControlKind::DefaultButton && c.visible)
            return c.id;
    return m_dialog->GetControl(IDOK) ? IDOK : 0;
}

void CDialogView::Sync()
{
    if (!m_dialog || m_syncing)
        return;
    m_syncing = TRUE;
    if (!m_page)
        setWindowTitle(Utf8(m_dialog->GetWindowText()));
    const UINT defaultId = EnterButton();
    const auto& cs = m_dialog->GetControls();
    for (size_t i = 0; i < cs.size() && i < m_widgets.size(); ++i) {
        const CDialogControl& c = cs[i];
        QWidget* w = m_widgets[i];
        const bool empty = w->property("qm_empty").toBool();
        if (w->isHidden() != (!c.visible || empty))
            w->setHidden(!c.visible || empty);
        if (w->isEnabled() != (c.enabled != FALSE))
            w->setEnabled(c.enabled != FALSE);
        switch (c.kind) {
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            auto* b = static_cast<QPushButton*>(w);
            if (b->text() != MarkedText(c.text))
                b->setText(MarkedText(c.text));
            b->setDefault(c.id == defaultId);
            // A command that is off tells why when the dialog knows.
            CString reason;
            if (!c.enabled && m_dialog->WindowProc(WM_QUERYDISABLEDREASON, c.id, reinterpret_cast<LPARAM>(&reason)) && !reason.IsEmpty())
                b->setToolTip(PlainText(c.text).remove(QStringLiteral("...")) + QLatin1Char(' ') + Utf8(reason) + QLatin1Char('.'));
            else
                b->setToolTip(QString());
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::RadioButton: {
            auto* b = static_cast<QAbstractButton*>(w);
            b->setChecked(c.checked != FALSE);
            if (b->text() != MarkedText(c.text))
                b->setText(MarkedText(c.text));
            break;
        }
        case ControlKind::GroupBox:
            static_cast<QGroupBox*>(w)->setTitle(PlainText(c.text));
            break;
        case ControlKind::Static: {
            auto* l = static_cast<QLabel*>(w);
            const QString text = l->buddy() ? MarkedText(c.text) : PlainText(c.text);
            if (l->text() != text)
                l->setText(text);
            break;
        }
        case ControlKind::Edit:
            if (auto* e = qobject_cast<QLineEdit*>(w)) {
                if (e->text() != Utf8(c.text))
                    e->setText(Utf8(c.text));
            } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
                if (p->toPlainText() != Utf8(c.text))
                    p->setPlainText(Utf8(c.text));
            }
            break;
        case ControlKind::ListBox: {
            auto* l = static_cast<QListWidget*>(w);
            QStringList items;
            for (const CString& s : c.items)
                items << Utf8(s);
            QStringList shown;
            for (int k = 0; k < l->count(); ++k)
                shown << l->item(k)->text();
            if (items != shown) {
                l->clear();
                l->addItems(items);
            }
            l->setCurrentRow(c.selection);
            break;
        }
        case ControlKind::ComboBox: {
            auto* b = static_cast<QComboBox*>(w);
            QStringList items;
            for (const CString& s : c.items)
                items << Utf8(s);
            QStringList shown;
            for (int k = 0; k < b->count(); ++k)
                shown << b->itemText(k);
            if (items != shown) {
                b->clear();
                b->addItems(items);
            }
            b->setCurrentIndex(c.selection);
            break;
        }
        case ControlKind::ProgressBar: {
            PROGRESSBARSTATE st;
            if (c.hwnd && AfxGetProgressBarState(c.hwnd, &st)) {
                auto* p = static_cast<QProgressBar*>(w);
                const int lower = std::min(st.nLower, st.nUpper), upper = std::max(st.nLower, st.nUpper);
                if (p->minimum() != lower || p->maximum() != upper)
                    p->setRange(lower, upper == lower ? lower + 1 : upper);
                p->setValue(std::clamp(st.nPos, lower, upper));
            }
            break;
        }
        case ControlKind::Picture:
        case ControlKind::Spin:
            break;
        }
    }
    m_syncing = FALSE;
}

void CDialogView::Route(const std::function<void(CDialog&)>& action)
{
    if (!m_dialog || m_syncing)
        return;
    m_host.ActionRunning(TRUE);
    action(*m_dialog);
    if (m_dialog)
        Sync();
    m_host.ActionRunning(FALSE);
}

void CDialogView::PressButton(UINT id)
{
    if (!m_dialog)
        return;
    const CDialogControl* c = m_dialog->GetControl(id);
    if (c && !c->enabled) {
        ShowUnavailable(id);
        return;
    }
    Route([id](CDialog& d) { d.HandleCommand(id); });
}

void CDialogView::ShowUnavailable(UINT id)
{
    for (size_t i = 0; i < m_widgets.size(); ++i) {
        if (m_dialog->GetControls()[i].id != id)
            continue;
        QWidget* w = m_widgets[i];
        const QString tip = w->toolTip();
        if (!tip.isEmpty())
            QToolTip::showText(w->mapToGlobal(QPoint(0, w->height())), tip, w);
        return;
    }
}

void CDialogView::StepSpin(UINT spinId, int delta)
{
    Route([spinId, delta](CDialog& d) {
        d.SetSpinPos(spinId, d.GetSpinPos(spinId) + delta);
        d.HandleCommand(spinId);
    });
}

void CDialogView::keyPressEvent(QKeyEvent* event)
{
    if (m_page) {
        event->ignore();   // the sheet's keys
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & ~(Qt::KeypadModifier)) {
            break;
        }
        if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isEnabled()) {
            b->click();
            return;
        }
        if (UINT id = EnterButton())
            PressButton(id);
        return;
    case Qt::Key_Escape:
        Route([](CDialog& d) { d.HandleCommand(IDCANCEL); });
        return;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void CDialogView::reject()
{
    Route([](CDialog& d) { d.HandleCommand(IDCANCEL); });
}

void CDialogView::closeEvent(QCloseEvent* event)
{
    // The dialog decides: its Cancel runs, and the window goes when the dialog ends.
    event->ignore();
    if (m_dialog && !m_dialog->IsEnded())
        Route([](CDialog& d) { d.HandleCommand(IDCANCEL); });
}

BOOL CDialogView::HasFileUrls(const QMimeData* mime) const
{
    if (!m_dialog || !m_dialog->AcceptsFiles() || !mime || !mime->hasUrls())
        return FALSE;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            return TRUE;
    return FALSE;
}

void CDialogView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void CDialogView::dragMoveEvent(QDragMoveEvent* event)
{
    if (HasFileUrls(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CDialogView::dropEvent(QDropEvent* event)
{
    if (!HasFileUrls(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    CStringArray paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.Add(QFile::encodeName(url.toLocalFile()).constData());
    Route([paths](CDialog& d) { d.HandleDropFiles(paths); });
}

void CDialogView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_dialog || m_page || m_dialog->GetSystemMenuItems().empty()) {
        event->ignore();
        return;
    }
    // The window's menu: the items the dialog added to it.
    QMenu menu(this);
    for (const CDialog::MenuItem& item : m_dialog->GetSystemMenuItems()) {
        const UINT id = item.id;
        menu.addAction(MarkedText(item.text), this, [this, id] { Route([id](CDialog& d) { d.HandleSysCommand(id); }); });
    }
    menu.exec(event->globalPos());
}

bool CDialogView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !m_dialog)
        return QDialog::eventFilter(watched, event);
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const size_t index = edit ? static_cast<size_t>(edit->property("qm_index").toULongLong()) : m_widgets.size();
    if (index >= m_dialog->GetControls().size())
        return QDialog::eventFilter(watched, event);
    const CDialogControl& c = m_dialog->GetControls()[index];
    auto* key = static_cast<QKeyEvent*>(event);
    const auto& cs = m_dialog->GetControls();
    if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && index + 1 < cs.size() && cs[index + 1].kind == ControlKind::Spin) {
        StepSpin(cs[index + 1].id, key->key() == Qt::Key_Up ? 1 : -1);
        return true;
    }
    if (c.style & CS_WANTKEYS) {
        UINT ch = 0;
        if (key->key() == Qt::Key_Backspace)
            ch = 8;
        else if (!key->text().isEmpty() && key->text()[0].unicode() >= 0x20)
            ch = key->text()[0].unicode();
        if (ch) {
            // The time of the key as the window system stamped it, on the tick clock: the
            // intervals between keys are the system's own, not when this thread got to them.
            const DWORD now = GetTickCount();
            DWORD tick = now;
            const ulong stamp = key->timestamp();
            if (stamp != 0 && m_lastKeyStamp != 0 && stamp > m_lastKeyStamp && stamp - m_lastKeyStamp < 60000) {
                tick = m_lastKeyTick + static_cast<DWORD>(stamp - m_lastKeyStamp);
                if (static_cast<int>(now - tick) < 0)
                    tick = now;   // never ahead of the clock
            }
            m_lastKeyStamp = stamp;
            m_lastKeyTick = tick;
            m_dialog->HandleKey(c.id, ch, tick);
        }
    }
    return QDialog::eventFilter(watched, event);
}
