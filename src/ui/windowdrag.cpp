#include "ui/windowdrag.h"

#include "ui/controls.h"

#include <QMouseEvent>
#include <QProgressBar>
#include <QWidget>
#include <QWindow>

namespace zeph::ui {
namespace {

bool movesTheWindow(const QWidget* w)
{
    return qobject_cast<const FlatLabel*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const PictureBox*>(w);
}

bool isLeft(const QEvent* event)
{
    return static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

} // namespace

WindowDrag::WindowDrag(QWidget& window, const QList<BuiltControl>& controls, bool byLabels)
    : m_window(window), m_byLabels(byLabels)
{
    for (const BuiltControl& c : controls) {
        if (c.def->flags & NoDrag)
            m_exempt.insert(c.widget, c.def->name.toString());
        else if (byLabels && movesTheWindow(c.widget))
            m_handles.insert(c.widget);
        else
            continue;
        c.widget->installEventFilter(this);
    }
}

void WindowDrag::start(QPoint globalPos)
{
    // Where the platform moves windows itself (Wayland), only it can.
    if (QWindow* handle = m_window.windowHandle(); handle && handle->startSystemMove())
        return;
    m_dragging = true;
    m_offset = globalPos - m_window.pos();
    m_window.grabMouse();
}

void WindowDrag::windowPressed(const QMouseEvent& event)
{
    if (m_byLabels && event.button() == Qt::LeftButton)
        start(event.globalPosition().toPoint());
}

void WindowDrag::windowMoved(const QMouseEvent& event)
{
    if (m_dragging)
        m_window.move(event.globalPosition().toPoint() - m_offset);
}

void WindowDrag::windowReleased(const QMouseEvent& event)
{
    if (m_dragging && event.button() == Qt::LeftButton) {
        m_dragging = false;
        m_window.releaseMouse();
    }
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    if ((!press && event->type() != QEvent::MouseButtonRelease) || !isLeft(event))
        return QObject::eventFilter(watched, event);
    if (const auto exempt = m_exempt.constFind(watched); exempt != m_exempt.cend()) {
        // Its own press and release: none of it reaches the window's drag.
        if (press)
            Q_EMIT pressed(*exempt);
        else
            Q_EMIT released(*exempt);
        return true;
    }
    if (press && m_handles.contains(watched)) {
        start(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true; // the label never sees the press
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zeph::ui
