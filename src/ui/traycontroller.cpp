#include "ui/traycontroller.h"

#include "core/logging.h"
#include "core/product.h"
#include "ui/texts.h"
#include "ui/trayicon.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>

namespace zeph::ui {

TrayController::TrayController(QWidget* window)
    : QObject(window), m_window(window), m_icon(new TrayIcon(this)), m_menu(new QMenu(window))
{
    m_menu->setObjectName(QStringLiteral("托盘菜单"));
    m_menu->setAccessibleName(texts::kTrayMenu.toString());
    for (const ControlDef& item : trayMenuDef()) {
        if (item.kind == Kind::MenuSeparator) {
            m_menu->addSeparator();
            continue;
        }
        QAction* action = m_menu->addAction(item.text.toString());
        action->setObjectName(item.name.toString());
        // Queued: the choice runs after the menu has closed.
        if (item.name == name::kTrayShow)
            connect(action, &QAction::triggered, this, &TrayController::showWindow,
                    Qt::QueuedConnection);
        else if (item.name == name::kTrayAbout)
            connect(action, &QAction::triggered, this, &TrayController::aboutRequested,
                    Qt::QueuedConnection);
        else if (item.name == name::kTrayExit)
            connect(action, &QAction::triggered, this, &TrayController::exitRequested,
                    Qt::QueuedConnection);
    }
    m_icon->setMenu(m_menu);
    connect(m_icon, &TrayIcon::trayEvent, this, &TrayController::trayEvent);
}

TrayController::~TrayController()
{
    remove();
}

void TrayController::install()
{
    m_icon->set(QIcon(resource::kIcon.toString()), product::kTitle.toString());
}

void TrayController::remove()
{
    m_icon->remove();
}

void TrayController::hideWindow()
{
    m_window->showMinimized();
    m_window->hide();
    m_hidden = true;
    qCDebug(lcUi) << "main window hidden into the tray";
}

void TrayController::showWindow()
{
    m_window->showNormal();
    m_window->raise();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != m_window) {
        modal->raise();
        modal->activateWindow();
    } else {
        m_window->activateWindow();
    }
    m_hidden = false;
    qCDebug(lcUi) << "main window shown";
}

void TrayController::showWindowSoon()
{
    if (m_showPending)
        return;
    m_showPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_showPending = false;
            showWindow();
        },
        Qt::QueuedConnection);
}

void TrayController::trayEvent(int kind)
{
    if (kind == 2) {
        if (m_hidden)
            showWindow();
        else
            hideWindow();
    } else if (kind == 3) {
        m_window->activateWindow(); // so that the menu closes when the user clicks elsewhere
        popUpAtPointer(m_menu);
    }
}

} // namespace zeph::ui
