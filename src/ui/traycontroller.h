#pragma once
// The window's life in the notification area: the icon with its tip, the tray
// menu from the definition, hiding into and coming back from the tray, and the
// tray events (a double-click shows or hides, a right click opens the menu).
// Where no notification area is (stock GNOME, a bare window manager), hiding
// minimises to the taskbar instead, so the window never vanishes; a tray that
// comes or goes while the program runs is followed.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>

#include "ui/trayicon.h"

class QMenu;
class QWidget;

namespace zeph::ui {

class TrayController : public QObject {
    Q_OBJECT
public:
    // trayPresent answers whether a notification area is there to hide into.
    explicit TrayController(QWidget* window,
                            std::function<bool()> trayPresent = &TrayIcon::hostAvailable);
    ~TrayController() override;

    // How often a notification area is looked for while the program runs.
    static constexpr std::chrono::seconds kFollowInterval{2};
    // How long a window shown without the keyboard refuses it.
    static constexpr std::chrono::milliseconds kRefuseFocusFor{500};

    void install(); // the icon, with the product title as its tip; then follows the tray
    void remove();
    TrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }

    void hideWindow();
    // Restore, raise, activate, leave the tray. An open modal dialog keeps the
    // keyboard: it is raised and activated instead of the window it blocks.
    void showWindow();
    // Restore and raise, leave the tray, but leave the keyboard where it is.
    void showWithoutActivating();
    bool hiddenInTray() const { return m_hidden; }
    bool trayPresent() const { return m_present; }

    // 1 left click, 2 double-click, 3 right click.
    void trayEvent(int kind);

Q_SIGNALS:
    void aboutRequested();
    void exitRequested();

private:
    void followTray();

    QWidget* m_window;
    TrayIcon* m_icon;
    QMenu* m_menu;
    std::function<bool()> m_trayPresent;
    QTimer m_follow;
    QTimer m_acceptFocus;
    bool m_present = false;
    bool m_hidden = false;
};

} // namespace zeph::ui
