#pragma once
// The window's life in the notification area: the icon with its tip, the tray
// menu from the definition, hiding into and coming back from the tray, and the
// tray events (a double-click shows or hides, a right click opens the menu).

#include <QObject>
#include <QPointer>

class QMenu;
class QWidget;

namespace zeph::ui {

class TrayIcon;

class TrayController : public QObject {
    Q_OBJECT
public:
    explicit TrayController(QWidget* window);
    ~TrayController() override;

    void install(); // the icon, with the product title as its tip
    void remove();
    TrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }

    void hideWindow();
    // Restore, raise, activate, leave the tray. An open modal dialog keeps the
    // keyboard: it is raised and activated instead of the window it blocks.
    void showWindow();
    // The same once the current pass of the event loop is over, however often
    // it is asked for meanwhile: a burst of messages brings the window forward once.
    void showWindowSoon();
    bool hiddenInTray() const { return m_hidden; }

    // 1 left click, 2 double-click, 3 right click.
    void trayEvent(int kind);

Q_SIGNALS:
    void aboutRequested();
    void exitRequested();

private:
    QWidget* m_window;
    TrayIcon* m_icon;
    QMenu* m_menu;
    bool m_hidden = false;
    bool m_showPending = false;
};

} // namespace zeph::ui
