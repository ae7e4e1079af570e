#pragma once
// Asks for a control's hint while the pointer moves over it, or over the
// viewport of a control that scrolls, for the window's status line.

#include "ui/windowbuilder.h"

#include <QHash>
#include <QObject>

namespace zeph::ui {

class HoverHints : public QObject {
    Q_OBJECT
public:
    explicit HoverHints(const QList<BuiltControl>& controls);

Q_SIGNALS:
    void hintRequested(const QString& hint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHash<const QObject*, QString> m_hints; // controls and their viewports
};

} // namespace zeph::ui
