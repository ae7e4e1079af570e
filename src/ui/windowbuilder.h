#pragma once
// Builds a window from its definition: its title, size and background, then
// its controls, stacked and tab-ordered as the definition says. It keeps each
// control with its definition for the classes that give the controls their
// behaviour, and finds them by name. What a screen reader is told of each
// control is applied here too (accessibility.h).

#include "ui/windowdef.h"

#include <QHash>
#include <QList>
#include <QPoint>
#include <QString>

class QWidget;

namespace zeph::ui {

struct BuiltControl {
    QWidget* widget;
    const ControlDef* def;
};

class WindowBuilder {
public:
    // clientOrigin: where the definition's (0, 0) lies in the window.
    WindowBuilder(const WindowDef& def, QWidget& window, QPoint clientOrigin);

    QWidget* control(QStringView name) const { return m_byName.value(name.toString()); }

    // The visual controls, topmost first; non-visual ones are not built.
    const QList<BuiltControl>& controls() const { return m_controls; }

private:
    QHash<QString, QWidget*> m_byName;
    QList<BuiltControl> m_controls;
};

} // namespace zeph::ui
