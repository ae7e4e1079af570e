#include "ui/windowbuilder.h"

#include "ui/accessibility.h"
#include "ui/controls.h"

#include <QWidget>

namespace zeph::ui {

WindowBuilder::WindowBuilder(const WindowDef& def, QWidget& window, QPoint clientOrigin)
{
    installAccessibleInterfaces();
    window.setWindowTitle(def.title.toString());
    window.setFixedSize(def.size);
    if (def.background.isValid()) {
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, def.background);
        window.setPalette(pal);
        window.setAutoFillBackground(true);
    }

    // The first control is the topmost: create from the bottom up.
    for (auto it = def.controls.rbegin(); it != def.controls.rend(); ++it) {
        QWidget* w = buildControl(*it, &window);
        if (!w)
            continue; // non-visual: its owner reads the definition itself
        w->move(w->pos() + clientOrigin);
        w->setFocusPolicy(Qt::NoFocus);
        m_byName.insert(it->name.toString(), w);
        m_controls.prepend({w, &*it});
    }

    QWidget* previous = nullptr;
    for (QStringView name : def.tabOrder) {
        QWidget* w = control(name);
        Q_ASSERT(w);
        w->setFocusPolicy(Qt::StrongFocus);
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
    applyAccessibility(def, window, *this);
}

} // namespace zeph::ui
