#include "ui/mainwindow.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/product.h"
#include "history/history.h"
#include "ui/aboutwindow.h"
#include "ui/controls.h"
#include "ui/destroywatch.h"
#include "ui/trayicon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace zeph::ui {
namespace {

// The pane and the send box show line breaks as LF; the core's text uses CR LF.
QString toWidget(const QByteArray& gbkText)
{
    QString s = gbk::toUnicode(gbkText);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

QByteArray fromMultiLine(QString text)
{
    text.replace(u'\n', QStringLiteral("\r\n"));
    return gbk::fromUnicode(text);
}

constexpr QPoint kBorder(1, 1); // the thin single-line border around the client area

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    const WindowDef& def = mainWindowDef();
    setObjectName(QStringLiteral("主窗口"));
    setWindowTitle(def.title.toString());
    setWindowIcon(QIcon(QStringLiteral(":/zeph.ico")));
    setFixedSize(def.size);
    setFocusPolicy(Qt::NoFocus);
    QFont guiFont = font(); // the size of a classic desktop's default GUI font
    guiFont.setPixelSize(12);
    setFont(guiFont);
    buildControls();
    bindEvents();
    buildTrayMenu();
    m_tray = new TrayIcon(this);
    connect(m_tray, &TrayIcon::trayEvent, this, &MainWindow::trayEvent);
    m_destroyWatch = std::make_unique<DestroyWatch>(this, [this] { close(); });
}

MainWindow::~MainWindow()
{
    m_tray->remove();
    if (m_cursorRemembered)
        QGuiApplication::restoreOverrideCursor();
}

void MainWindow::buildControls()
{
    const auto controls = mainWindowDef().controls;
    // The first control of the table is the topmost: create from the bottom up.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        if (QWidget* w = buildControl(*it, this)) {
            w->move(w->pos() + kBorder);
            m_controls.insert(it->name.toString(), w);
        }
    }
    for (const ControlDef& c : controls) {
        if (QWidget* w = m_controls.value(c.name.toString()))
            m_controlOrder.append(w);
    }
    // Tab order: the table read from the bottom up.
    QWidget* previous = nullptr;
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        QWidget* w = m_controls.value(it->name.toString());
        if (!w || !(it->flags & Tab))
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    m_target = control<QLineEdit>(name::kTargetBox);
    m_signature = control<QLineEdit>(name::kSignatureBox);
    m_sendBox = control<QPlainTextEdit>(name::kSendBox);
    m_pane = control<QPlainTextEdit>(name::kHistoryBox);
    m_pane->setUndoRedoEnabled(false);
    m_list = control<QListWidget>(name::kComputerList);
    m_progress = control<QProgressBar>(name::kProgressBar);
    m_status = control<FlatLabel>(name::kStatusLine);
    for (const ControlDef& c : controls) {
        if (c.flags & DefaultButton)
            m_defaultButtons.append(control<QPushButton>(c.name));
        if (c.flags & NoDrag)
            m_noDrag.insert(control(c.name));
    }

    m_saveDialog = new QFileDialog(this, savedialog::kTitle.toString());
    m_saveDialog->setObjectName(name::kSaveDialog.toString());
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setFileMode(QFileDialog::AnyFile);
    m_saveDialog->setNameFilter(savedialog::kFilter.toString());
    m_saveDialog->setDefaultSuffix(savedialog::kDefaultSuffix.toString());

    // Every control sees its own key presses first (the window routes some).
    for (QWidget* w : std::as_const(m_controlOrder))
        w->installEventFilter(this);
    // Labels, the banner and the progress bar are where the window is dragged.
}

void MainWindow::bindEvents()
{
    for (const Binding& b : mainWindowDef().bindings) {
        if (b.control.isEmpty())
            continue;
        QWidget* w = control(b.control);
        if (!w)
            continue; // tray menu items and non-visual controls are bound elsewhere
        switch (b.event) {
        case Event::Clicked:
            if (auto* button = qobject_cast<QPushButton*>(w))
                connect(button, &QPushButton::clicked, this, [this, &b] { invoke(b); });
            break;
        case Event::SelectionChanged:
            if (auto* list = qobject_cast<QListWidget*>(w)) {
                connect(list, &QListWidget::itemSelectionChanged, this, [this, &b] { invoke(b); });
                // A click on the item already selected takes it again.
                connect(list, &QListWidget::itemClicked, this, [this, &b] { invoke(b); });
            }
            break;
        case Event::MouseMoved:
            w->setMouseTracking(true);
            m_eventBindings.insert(w, &b);
            if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
                area->viewport()->setMouseTracking(true);
                area->viewport()->installEventFilter(this);
                m_eventBindings.insert(area->viewport(), &b);
            }
            break;
        default:
            m_eventBindings.insert(w, &b);
            break;
        }
    }
}

void MainWindow::buildTrayMenu()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("托盘菜单"));
    for (const ControlDef& item : trayMenuDef()) {
        if (item.kind == Kind::MenuSeparator) {
            m_trayMenu->addSeparator();
            continue;
        }
        QAction* action = m_trayMenu->addAction(item.text.toString());
        action->setObjectName(item.name.toString());
        for (const Binding& b : mainWindowDef().bindings) {
            if (b.control == item.name && b.event == Event::Chosen) {
                // Queued: the action runs after the menu has closed.
                connect(
                    action, &QAction::triggered, this, [this, &b] { invoke(b); },
                    Qt::QueuedConnection);
            }
        }
    }
}

void MainWindow::setHandler(Handler handler, std::function<void()> fn)
{
    m_handlers.insert(handler, std::move(fn));
}

bool MainWindow::raiseEvent(QStringView controlName, Event event)
{
    for (const Binding& b : mainWindowDef().bindings) {
        if (b.control == controlName && b.event == event) {
            invoke(b);
            return true;
        }
    }
    return false;
}

void MainWindow::invoke(const Binding& b)
{
    switch (b.handler) {
    case Handler::ShowHint:
        showHint(b.argument);
        return;
    case Handler::SelectAll:
        selectAllSignature();
        return;
    case Handler::ShowAbout:
        showAbout();
        return;
    case Handler::OpenAdvertisedPage:
        openAdvertisedPage();
        return;
    case Handler::HideMainWindow:
        hideMainWindow();
        return;
    case Handler::ShowMainWindow:
        showMainWindow();
        return;
    case Handler::SaveHistory:
        saveHistory();
        return;
    case Handler::ClearHistory:
        clearHistory();
        return;
    case Handler::TakeSelectedComputer:
        takeSelectedComputer();
        return;
    default:
        break;
    }
    if (const auto it = m_handlers.constFind(b.handler); it != m_handlers.cend() && *it)
        (*it)();
    else
        qCDebug(lcUi) << "no handler for" << int(b.handler);
}

// ---- keyboard ---------------------------------------------------------------

bool MainWindow::clickMnemonic(QChar letter)
{
    for (QWidget* w : std::as_const(m_controlOrder)) {
        auto* button = qobject_cast<QPushButton*>(w);
        if (!button || !button->isVisible() || !button->isEnabled())
            continue;
        const QChar m = mnemonicOf(button->text());
        if (!m.isNull() && m.toUpper() == letter.toUpper()) {
            button->click();
            return true;
        }
    }
    return false;
}

bool MainWindow::routeKey(QWidget* receiver, QKeyEvent* event)
{
    const int key = event->key();
    const auto mods =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;

    if (enter && receiver == m_sendBox) {
        // The send box takes Enter itself; Ctrl+Enter (Ctrl alone) sends.
        if (mods == Qt::ControlModifier) {
            for (const Binding* b : m_eventBindings.values(m_sendBox)) {
                if (b->event == Event::KeyDown)
                    invoke(*b);
            }
            return true;
        }
        return false;
    }
    if (enter) {
        // The first enabled default button, whichever control has the focus.
        for (QPushButton* button : std::as_const(m_defaultButtons)) {
            if (button->isVisible() && button->isEnabled()) {
                button->click();
                return true;
            }
        }
    }
    if (mods == Qt::AltModifier &&
        ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))) {
        if (clickMnemonic(QChar(key)))
            return true;
    }
    if (receiver == this && key == Qt::Key_Escape) {
        // Only keys that reach the window itself: no control has the focus.
        raiseEvent({}, Event::KeyDown);
        return true;
    }
    return false;
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // A key a control did not want stops there: only keys sent to the window
    // itself, when no control has the focus, are the window's.
    const QWidget* focus = QApplication::focusWidget();
    if ((focus == nullptr || focus == this) && routeKey(this, event))
        return;
    event->accept();
}

// ---- mouse: dragging --------------------------------------------------------

void MainWindow::startDrag(QPoint globalPos)
{
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = globalPos - pos();
    grabMouse();
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        startDrag(event->globalPosition().toPoint());
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        releaseMouse();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::KeyPress:
        if (widget && routeKey(widget, static_cast<QKeyEvent*>(event)))
            return true;
        break;
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton)
            break;
        for (const Binding* b : m_eventBindings.values(watched)) {
            if (b->event == Event::LeftPressed) {
                invoke(*b);
                return true;
            }
        }
        const bool draggable = qobject_cast<FlatLabel*>(watched) ||
                               qobject_cast<QProgressBar*>(watched) ||
                               qobject_cast<PictureBox*>(watched);
        if (draggable && !m_noDrag.contains(watched)) {
            startDrag(me->globalPosition().toPoint());
            return true; // the control never sees the press
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            for (const Binding* b : m_eventBindings.values(watched)) {
                if (b->event == Event::LeftReleased)
                    invoke(*b);
            }
        }
        break;
    case QEvent::FocusIn:
        for (const Binding* b : m_eventBindings.values(watched)) {
            if (b->event == Event::GotFocus)
                invoke(*b);
        }
        break;
    case QEvent::MouseMove:
        for (const Binding* b : m_eventBindings.values(watched)) {
            if (b->event == Event::MouseMoved)
                invoke(*b);
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- window events ------------------------------------------------------------

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !m_activatedOnce) {
        m_activatedOnce = true;
        // Run after the activation has been delivered: the handler hides the
        // window and starts a long scan.
        QTimer::singleShot(0, this, [this] { raiseEvent({}, Event::FirstActivation); });
    }
    return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    raiseEvent({}, Event::Destroyed);
    m_tray->remove();
    if (m_about)
        m_about->close();
    event->accept();
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---- start-up -------------------------------------------------------------------

void MainWindow::applyStartUpGeometry()
{
    const WindowDef& def = mainWindowDef();
    if (const QScreen* s = screen()) {
        const QRect g = s->geometry();
        move(g.left() + (g.width() - def.size.width()) / 2,
             g.top() + (g.height() - def.size.height()) / 2);
    }
    setFixedSize(def.size.width(), def.size.height() - 22);
}

void MainWindow::setTitleCaption(const QString& caption)
{
    if (auto* title = control<FlatLabel>(name::kTitleBar))
        title->setCaption(caption);
}

// ---- history pane ---------------------------------------------------------------

void MainWindow::attachHistory(History& history)
{
    m_history = &history;
    connect(&history, &History::reset, this, [this](const QByteArray& text) {
        m_pane->setPlainText(toWidget(text));
        m_pane->moveCursor(QTextCursor::End);
    });
    connect(&history, &History::appended, this, [this](const QByteArray& text) {
        // At the very end, the user's selection dropped, the view on the newest
        // entry. Scrolling waits for the event loop, so a burst of entries
        // lays the pane out once rather than once per entry.
        QTextCursor cursor(m_pane->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(toWidget(text));
        if (!m_scrollPending) {
            m_scrollPending = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_scrollPending = false;
                    m_pane->moveCursor(QTextCursor::End);
                },
                Qt::QueuedConnection);
        }
    });
    m_pane->setPlainText(toWidget(history.text()));
}

void MainWindow::saveHistory()
{
    if (!m_history)
        return;
    if (m_saveDialog->exec() != QDialog::Accepted)
        return;
    const QStringList chosen = m_saveDialog->selectedFiles();
    if (chosen.isEmpty())
        return;
    m_saveDialog->selectFile(chosen.first()); // the next dialog of this run starts here
    m_history->save(chosen.first());
}

void MainWindow::clearHistory()
{
    if (m_history)
        m_history->clear(m_scanRunning && m_scanRunning());
}

// ---- small handlers -----------------------------------------------------------------

void MainWindow::showHint(QStringView hint)
{
    QString text = hint.toString();
    if (m_scanRunning && m_scanRunning())
        text += text::kScanHintSuffix;
    m_status->setCaption(text);
}

void MainWindow::selectAllSignature()
{
    // Typing then replaces the whole signature.
    m_signature->setSelection(0, int(m_signature->text().size()));
}

void MainWindow::takeSelectedComputer()
{
    const QListWidgetItem* item = m_list->item(m_list->currentRow());
    m_target->setText(item ? item->text() : QString());
}

void MainWindow::showAbout()
{
    if (m_about) {
        if (m_about->isMinimized())
            m_about->showNormal();
        m_about->raise();
        m_about->activateWindow();
        return;
    }
    m_about = new AboutWindow(this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::openAdvertisedPage()
{
    const QUrl url(product::kAdvertisedHost.toString() + product::kAdvertisedPath.toString());
    if (!QDesktopServices::openUrl(url))
        qCDebug(lcUi) << "no handler for" << url;
}

// ---- tray -----------------------------------------------------------------------------

void MainWindow::installTrayIcon()
{
    m_tray->set(QIcon(QStringLiteral(":/zeph.ico")), product::kTitle.toString());
}

void MainWindow::removeTrayIcon()
{
    m_tray->remove();
}

void MainWindow::hideMainWindow()
{
    showMinimized();
    hide();
    m_hiddenInTray = true;
}

void MainWindow::showMainWindow()
{
    showNormal();
    raise();
    activateWindow();
    m_hiddenInTray = false;
}

void MainWindow::trayEvent(int kind)
{
    if (kind == 2) {
        if (m_hiddenInTray)
            showMainWindow();
        else
            hideMainWindow();
    } else if (kind == 3) {
        activateWindow(); // so that the menu closes when the user clicks elsewhere
        popUpAtPointer(m_trayMenu);
    }
}

// ---- MessageForm ------------------------------------------------------------------------

QByteArray MainWindow::target() const
{
    return gbk::fromUnicode(m_target->text());
}

void MainWindow::setTarget(const QByteArray& text)
{
    m_target->setText(gbk::toUnicode(text));
}

QByteArray MainWindow::content() const
{
    return fromMultiLine(m_sendBox->toPlainText());
}

void MainWindow::setContent(const QByteArray& text)
{
    m_sendBox->setPlainText(toWidget(text));
}

QByteArray MainWindow::signature() const
{
    return gbk::fromUnicode(m_signature->text());
}

QList<QByteArray> MainWindow::computers() const
{
    QList<QByteArray> names;
    names.reserve(m_list->count());
    for (int i = 0; i < m_list->count(); ++i)
        names.append(gbk::fromUnicode(m_list->item(i)->text()));
    return names;
}

void MainWindow::setMessengerButtonEnabled(bool enabled)
{
    control(name::kMessengerButton)->setEnabled(enabled);
}

void MainWindow::waitCursorOn()
{
    if (m_cursorRemembered)
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_cursorRemembered = true;
}

void MainWindow::restoreCursor()
{
    if (!m_cursorRemembered)
        return;
    QGuiApplication::restoreOverrideCursor();
    m_cursorRemembered = false;
    QCursor::setPos(QCursor::pos()); // redraw the pointer's shape
}

// ---- ScanView ---------------------------------------------------------------------------------

void MainWindow::setStatus(const QByteArray& text)
{
    m_status->setCaption(gbk::toUnicode(text));
}

void MainWindow::setProgressVisible(bool visible)
{
    m_progress->setVisible(visible);
}

void MainWindow::setProgressMaximum(int maximum)
{
    m_progress->setMaximum(maximum);
}

void MainWindow::setProgressPosition(int position)
{
    m_progress->setValue(qBound(m_progress->minimum(), position, m_progress->maximum()));
}

void MainWindow::clearComputers()
{
    const QSignalBlocker quiet(m_list); // emptying the list is not a choice of the user's
    m_list->clear();
}

void MainWindow::addComputer(const QByteArray& name)
{
    m_list->addItem(gbk::toUnicode(name));
}

void MainWindow::setScanButtons(bool scanning)
{
    auto* refresh = control(name::kRefreshButton);
    if (scanning && refresh->hasFocus())
        setFocus(); // no control has the focus now: keys go to the window (Esc cancels)
    control(name::kCancelScanButton)->setEnabled(scanning);
    refresh->setEnabled(!scanning);
}

void MainWindow::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace zeph::ui
