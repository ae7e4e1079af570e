#include "ui/hoverhints.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QWidget>

namespace zeph::ui {

HoverHints::HoverHints(const QList<BuiltControl>& controls)
{
    for (const BuiltControl& c : controls) {
        if (c.def->hint.isEmpty())
            continue;
        const QString hint = c.def->hint.toString();
        // Without a button held, only tracking widgets see the pointer move.
        QList<QWidget*> watched{c.widget};
        if (auto* area = qobject_cast<QAbstractScrollArea*>(c.widget))
            watched.append(area->viewport());
        for (QWidget* w : std::as_const(watched)) {
            w->setMouseTracking(true);
            w->installEventFilter(this);
            m_hints.insert(w, hint);
        }
    }
}

bool HoverHints::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (const auto hint = m_hints.constFind(watched); hint != m_hints.cend())
            Q_EMIT hintRequested(*hint);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zeph::ui
