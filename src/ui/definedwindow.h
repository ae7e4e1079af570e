#pragma once
// A top-level window built from its definition: the controls stacked and
// tab-ordered as the definition says, the keyboard routed the way the window
// expects it (Enter, Alt+mnemonic, Ctrl+Enter, Esc), the frameless window
// dragged by its labels, and the controls that are exempt from dragging
// given their own press and release. The main and the about window are both
// made of one.

#include "ui/windowdef.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QWidget>

class QKeyEvent;
class QPushButton;

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

    QWidget* control(QStringView name) const { return m_controls.value(name.toString()); }
    template <class T> T* control(QStringView name) const
    {
        return qobject_cast<T*>(control(name));
    }

    // Disabling the control that has the focus leaves no control focused, so
    // that keys go to the window itself and Space presses nothing unchosen.
    void setControlEnabled(QStringView name, bool enabled);

    // Centres a window of the given outer size on the window's screen.
    void centreOnScreen(QSize size);

Q_SIGNALS:
    void escapePressed();                    // Esc while no control has the focus
    void submitted(const QString& control);  // Ctrl+Enter in a box that submits
    void pressed(const QString& control);    // left press on a control exempt from dragging
    void released(const QString& control);   // and its release
    void hintRequested(const QString& hint); // the pointer is over a control with a hint

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void build(const Options& options);
    bool routeKey(QWidget* receiver, QKeyEvent* event);
    bool clickMnemonic(QChar letter);
    void startDrag(QPoint globalPos);
    const ControlDef* definitionOf(const QObject* object) const;

    const WindowDef& m_def;
    const bool m_dragsByLabels;
    QHash<QString, QWidget*> m_controls;
    QHash<const QObject*, const ControlDef*> m_defs; // controls and their viewports
    QList<QPushButton*> m_buttons;                   // stacking order: mnemonics
    QList<QPushButton*> m_defaultButtons;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace zeph::ui
