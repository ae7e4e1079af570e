#pragma once
// A top-level window built from its definition, with the behaviour its
// controls ask for: keys routed the way the window expects them, the
// frameless window dragged by its labels, hints for the status line and
// boxes that select their whole text. Each of these is a class of its own;
// this one composes them and is what the main and the about window are made of.

#include "ui/hoverhints.h"
#include "ui/keyrouter.h"
#include "ui/selectonfocus.h"
#include "ui/windowbuilder.h"
#include "ui/windowdef.h"
#include "ui/windowdrag.h"

#include <QWidget>

namespace zeph::ui {

class DefinedWindow : public QWidget {
    Q_OBJECT
public:
    struct Options {
        Qt::WindowFlags flags = Qt::Window;
        QPoint clientOrigin;        // where the definition's (0, 0) lies in the window
        bool dragsByLabels = false; // a frameless window moves by its labels
    };
    DefinedWindow(const WindowDef& def, const Options& options, QWidget* parent = nullptr);

    const WindowDef& definition() const { return m_def; }

    QWidget* control(QStringView name) const { return m_built.control(name); }
    template <class T> T* control(QStringView name) const
    {
        return qobject_cast<T*>(control(name));
    }

    // Disabling the control that has the focus leaves no control focused, so
    // that keys go to the window itself and Space presses nothing unchosen.
    void setControlEnabled(QStringView name, bool enabled);

    // Centres a window of the given outer size on the window's screen.
    void centreOnScreen(QSize size);

    // What a click does on a control exempt from dragging: its press and
    // release, for a screen reader's press action on it.
    void activateControl(const QString& name);

Q_SIGNALS:
    void escapePressed();                    // Esc while no control has the focus
    void submitted(const QString& control);  // Ctrl+Enter in a box that submits
    void pressed(const QString& control);    // left press on a control exempt from dragging
    void released(const QString& control);   // and its release
    void hintRequested(const QString& hint); // the pointer is over a control with a hint

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const WindowDef& m_def;
    WindowBuilder m_built;
    KeyRouter m_keys;
    WindowDrag m_drag;
    HoverHints m_hints;
    SelectOnFocus m_selectOnFocus;
};

} // namespace zeph::ui
