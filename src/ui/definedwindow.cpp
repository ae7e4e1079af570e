#include "ui/definedwindow.h"

#include <QKeyEvent>
#include <QScreen>

namespace zeph::ui {

DefinedWindow::DefinedWindow(const WindowDef& def, const Options& options, QWidget* parent)
    : QWidget(parent, options.flags), m_def(def), m_built(def, *this, options.clientOrigin),
      m_keys(*this, m_built.controls()), m_drag(*this, m_built.controls(), options.dragsByLabels),
      m_hints(m_built.controls()), m_selectOnFocus(m_built.controls())
{
    connect(&m_keys, &KeyRouter::escapePressed, this, &DefinedWindow::escapePressed);
    connect(&m_keys, &KeyRouter::submitted, this, &DefinedWindow::submitted);
    connect(&m_drag, &WindowDrag::pressed, this, &DefinedWindow::pressed);
    connect(&m_drag, &WindowDrag::released, this, &DefinedWindow::released);
    connect(&m_hints, &HoverHints::hintRequested, this, &DefinedWindow::hintRequested);
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

void DefinedWindow::activateControl(const QString& name)
{
    Q_EMIT pressed(name);
    Q_EMIT released(name);
}

// The window takes every key and mouse event that reaches it, whether it
// routes it or not.

void DefinedWindow::keyPressEvent(QKeyEvent* event)
{
    m_keys.windowKey(event);
    event->accept();
}

void DefinedWindow::mousePressEvent(QMouseEvent* event)
{
    m_drag.windowPressed(*event);
}

void DefinedWindow::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.windowMoved(*event);
}

void DefinedWindow::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag.windowReleased(*event);
}

} // namespace zeph::ui
