#pragma once
// The notification-area icon. It turns the tray host's clicks into the three
// tray event kinds: 1 left release, 2 left double-click, 3 right release or
// context menu.

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <QMenu>
class QSystemTrayIcon;

namespace zeph::ui {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Installs or changes the icon (a null icon removes it, as does remove()).
    void set(const QIcon& icon, const QString& tip);
    void remove();
    // The tray menu that a StatusNotifier panel shows (set before the icon).
    void setMenu(QMenu* menu) { m_menu = menu; }
    bool isInstalled() const { return m_icon != nullptr; }
    QString tip() const;

    // Messages not yet seen: the icon carries a mark (XEmbed, Windows and the
    // StatusNotifier item's pixmap alike) until cleared.
    void setMarked(bool marked);
    bool isMarked() const { return m_marked; }
    static QIcon markedIcon(const QIcon& icon);

    // Shows or hides the installed icon as the notification area comes and goes.
    void followHost(bool present);
    // The tray's own balloon, where no notification service is: true when shown.
    bool showMessage(const QString& title, const QString& body);

    // A notification area to live in: a StatusNotifier panel, or an XEmbed
    // tray (or the Windows shell's). Not a watcher without a panel.
    static bool hostAvailable();

    // A StatusNotifierItem host never reports a double-click, only an
    // activation; there an activation counts as kind 2 so the icon still
    // shows and hides the window. True when a watcher runs with a panel
    // registered, which is when Qt exports the icon as an item.
    static bool hostIsStatusNotifier();

Q_SIGNALS:
    void trayEvent(int kind);
    void messageClicked();

private:
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QMenu> m_menu;
    QIcon m_plain;
    bool m_statusNotifier = false;
    bool m_marked = false;
};

// Pops the menu up with its right edge 5 px left of the pointer and its top
// 5 px above it.
void popUpAtPointer(QMenu* menu);

// The tray event kind of a click the tray host reported, 0 for none.
int trayEventKind(int activationReason, bool statusNotifierHost);

} // namespace zeph::ui
