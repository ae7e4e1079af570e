#include "ui/traycontroller.h"

#include "core/logging.h"
#include "core/product.h"
#include "ui/texts.h"
#include "ui/trayicon.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <QWindow>

namespace zeph::ui {

TrayController::TrayController(QWidget* window, std::function<bool()> trayPresent)
    : QObject(window), m_window(window), m_icon(new TrayIcon(this)), m_menu(new QMenu(window)),
      m_trayPresent(std::move(trayPresent))
{
    m_follow.setInterval(kFollowInterval);
    m_acceptFocus.setSingleShot(true);
    m_acceptFocus.setInterval(kRefuseFocusFor);
    connect(&m_acceptFocus, &QTimer::timeout, this, [this] {
        if (QWindow* w = m_window->windowHandle())
            w->setFlag(Qt::WindowDoesNotAcceptFocus, false);
    });
    connect(&m_follow, &QTimer::timeout, this, &TrayController::followTray);
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
    m_present = m_trayPresent();
    m_icon->set(QIcon(resource::kIcon.toString()), product::kTitle.toString());
    m_icon->followHost(m_present);
    m_follow.start();
}

void TrayController::remove()
{
    m_follow.stop();
    m_icon->remove();
}

void TrayController::hideWindow()
{
    m_present = m_trayPresent();
    m_window->showMinimized();
    if (m_present)
        m_window->hide();
    m_hidden = true;
    qCDebug(lcUi) << (m_present ? "main window hidden into the tray" : "main window minimised");
}

void TrayController::followTray()
{
    const bool present = m_trayPresent();
    if (present == m_present)
        return;
    m_present = present;
    m_icon->followHost(present);
    // Hidden into a tray that went away: the taskbar keeps it reachable.
    if (!present && m_hidden && !m_window->isVisible())
        m_window->showMinimized();
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

void TrayController::showWithoutActivating()
{
    // Refusing the focus for the moment: window managers that give the
    // keyboard to every window they map or restore (whatever its user time)
    // must leave it where the user is. On the window itself: a widget's new
    // flags would create a new native window.
    if (QWindow* w = m_window->windowHandle())
        w->setFlag(Qt::WindowDoesNotAcceptFocus, true);
    m_window->setAttribute(Qt::WA_ShowWithoutActivating, true);
    if (m_window->isMinimized())
        m_window->showNormal(); // restored where the taskbar has it
    else
        m_window->show(); // mapped again from withdrawn (the tray)
    m_window->setAttribute(Qt::WA_ShowWithoutActivating, false);
    m_window->raise();
    // Once the window manager has placed it, a click may give it the keyboard.
    m_acceptFocus.start();
    m_hidden = false;
    qCDebug(lcUi) << "main window shown without the keyboard";
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
