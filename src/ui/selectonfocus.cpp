#include "ui/selectonfocus.h"

#include <QLineEdit>
#include <QMouseEvent>

namespace zeph::ui {

SelectOnFocus::SelectOnFocus(const QList<BuiltControl>& controls)
{
    for (const BuiltControl& c : controls) {
        if ((c.def->flags & SelectAllOnFocus) && qobject_cast<QLineEdit*>(c.widget))
            c.widget->installEventFilter(this);
    }
}

bool SelectOnFocus::eventFilter(QObject* watched, QEvent* event)
{
    const bool leftRelease = event->type() == QEvent::MouseButtonRelease &&
                             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (leftRelease || event->type() == QEvent::FocusIn) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            edit->selectAll();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zeph::ui
