#pragma once
// Moves a frameless window with the left button held on its labels (flat
// labels, the progress bar, pictures) or on its own surface; where only the
// platform may move windows (a Wayland compositor), the platform does it.
// Controls exempt from dragging keep their left press and release as their
// own click, in either kind of window.

#include "ui/windowbuilder.h"

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QSet>

class QMouseEvent;
class QWidget;

namespace zeph::ui {

class WindowDrag : public QObject {
    Q_OBJECT
public:
    WindowDrag(QWidget& window, const QList<BuiltControl>& controls, bool byLabels);

    // The window's own mouse events.
    void windowPressed(const QMouseEvent& event);
    void windowMoved(const QMouseEvent& event);
    void windowReleased(const QMouseEvent& event);

Q_SIGNALS:
    void pressed(const QString& control);  // left press on a control exempt from dragging
    void released(const QString& control); // and its release

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start(QPoint globalPos);

    QWidget& m_window;
    const bool m_byLabels;
    QHash<const QObject*, QString> m_exempt; // control, name
    QSet<const QObject*> m_handles;          // the labels that move the window
    bool m_dragging = false;
    QPoint m_offset;
};

} // namespace zeph::ui
