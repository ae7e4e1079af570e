#include "ui/definedwindow.h"

#include "ui/controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace zeph::ui {

DefinedWindow::DefinedWindow(const WindowDef& def, const Options& options, QWidget* parent)
    : QWidget(parent, options.flags), m_def(def), m_dragsByLabels(options.dragsByLabels)
{
    setWindowTitle(def.title.toString());
    setFixedSize(def.size);
    if (def.background.isValid()) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, def.background);
        setPalette(pal);
        setAutoFillBackground(true);
    }
    build(options);
}

void DefinedWindow::build(const Options& options)
{
    const auto controls = m_def.controls;
    // The first control is the topmost: create from the bottom up.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        QWidget* w = buildControl(*it, this);
        if (!w)
            continue; // non-visual: its owner reads the definition itself
        w->move(w->pos() + options.clientOrigin);
        w->setFocusPolicy(Qt::NoFocus);
        w->installEventFilter(this);
        m_controls.insert(it->name.toString(), w);
        m_defs.insert(w, &*it);
        if (!it->hint.isEmpty()) {
            w->setMouseTracking(true);
            if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
                area->viewport()->setMouseTracking(true);
                area->viewport()->installEventFilter(this);
                m_defs.insert(area->viewport(), &*it);
            }
        }
    }
    for (const ControlDef& c : controls) {
        if (auto* button = control<QPushButton>(c.name)) {
            m_buttons.append(button);
            if (c.flags & DefaultButton)
                m_defaultButtons.append(button);
        }
    }
    QWidget* previous = nullptr;
    for (QStringView name : m_def.tabOrder) {
        QWidget* w = control(name);
        Q_ASSERT(w);
        w->setFocusPolicy(Qt::StrongFocus);
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

const ControlDef* DefinedWindow::definitionOf(const QObject* object) const
{
    return m_defs.value(object);
}

void DefinedWindow::setControlEnabled(QStringView name, bool enabled)
{
    QWidget* w = control(name);
    if (!w)
        return;
    if (!enabled && w->hasFocus())
        setFocus(); // Qt would hand the focus to the next control
    w->setEnabled(enabled);
}

void DefinedWindow::centreOnScreen(QSize size)
{
    if (const QScreen* s = screen()) {
        const QRect g = s->geometry();
        move(g.left() + (g.width() - size.width()) / 2, g.top() + (g.height() - size.height()) / 2);
    }
}

// ---- keyboard ---------------------------------------------------------------

bool DefinedWindow::clickMnemonic(QChar letter)
{
    for (QPushButton* button : std::as_const(m_buttons)) {
        if (!button->isVisible() || !button->isEnabled())
            continue;
        const QChar m = mnemonicOf(button->text());
        if (!m.isNull() && m.toUpper() == letter.toUpper()) {
            button->click();
            return true;
        }
    }
    return false;
}

bool DefinedWindow::routeKey(QWidget* receiver, QKeyEvent* event)
{
    const int key = event->key();
    const auto mods =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const ControlDef* def = definitionOf(receiver);

    if (enter && def && (def->flags & CtrlEnterSubmits)) {
        // The box takes Enter itself; Ctrl+Enter (Ctrl alone) submits.
        if (mods == Qt::ControlModifier) {
            Q_EMIT submitted(def->name.toString());
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
        Q_EMIT escapePressed();
        return true;
    }
    return false;
}

void DefinedWindow::keyPressEvent(QKeyEvent* event)
{
    // A key a control did not want stops there: only keys sent to the window
    // itself, when no control has the focus, are the window's.
    const QWidget* focus = QApplication::focusWidget();
    if ((focus == nullptr || focus == this) && routeKey(this, event))
        return;
    event->accept();
}

// ---- mouse --------------------------------------------------------------------

void DefinedWindow::startDrag(QPoint globalPos)
{
    // Where the platform moves windows itself (Wayland), only it can.
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = globalPos - pos();
    grabMouse();
}

void DefinedWindow::mousePressEvent(QMouseEvent* event)
{
    if (m_dragsByLabels && event->button() == Qt::LeftButton)
        startDrag(event->globalPosition().toPoint());
}

void DefinedWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void DefinedWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        releaseMouse();
    }
}

bool DefinedWindow::eventFilter(QObject* watched, QEvent* event)
{
    const ControlDef* def = definitionOf(watched);
    if (!def)
        return QWidget::eventFilter(watched, event);
    const bool left = (event->type() == QEvent::MouseButtonPress ||
                       event->type() == QEvent::MouseButtonRelease) &&
                      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (routeKey(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event)))
            return true;
        break;
    case QEvent::MouseButtonPress:
        if (!left)
            break;
        if (def->flags & NoDrag) {
            // Its own press and release: none of it reaches the window's drag.
            Q_EMIT pressed(def->name.toString());
            return true;
        }
        if (m_dragsByLabels &&
            (qobject_cast<FlatLabel*>(watched) || qobject_cast<QProgressBar*>(watched) ||
             qobject_cast<PictureBox*>(watched))) {
            startDrag(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true; // the control never sees the press
        }
        break;
    case QEvent::MouseButtonRelease:
        if (left && (def->flags & NoDrag)) {
            Q_EMIT released(def->name.toString());
            return true;
        }
        if (left && (def->flags & SelectAllOnFocus)) {
            if (auto* edit = qobject_cast<QLineEdit*>(watched))
                edit->selectAll(); // typing then replaces the whole text
        }
        break;
    case QEvent::FocusIn:
        if (def->flags & SelectAllOnFocus) {
            if (auto* edit = qobject_cast<QLineEdit*>(watched))
                edit->selectAll();
        }
        break;
    case QEvent::MouseMove:
        if (!def->hint.isEmpty())
            Q_EMIT hintRequested(def->hint.toString());
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zeph::ui
