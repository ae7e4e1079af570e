#pragma once
// One notice on the desktop's notification service: on Linux the
// freedesktop interface (org.freedesktop.Notifications on the session bus),
// which needs no tray; Windows has no such service here, and the tray's
// balloon takes its place. While the notice stands, a new one replaces it in
// place instead of stacking beside it.

#include <QObject>
#include <QString>

namespace zeph::platform {

class DesktopNotification : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotification(QObject* parent = nullptr);
    ~DesktopNotification() override;

    // Shows the notice, or replaces the one still standing; its default action
    // is the only one. False when no service took it.
    bool show(const QString& appName, const QString& summary, const QString& body,
              const QString& actionLabel);
    // Takes the standing notice away; nothing when none stands.
    void close();
    bool standing() const { return m_id != 0; }

Q_SIGNALS:
    // The user chose the notice. token is the desktop's activation token (for
    // XDG_ACTIVATION_TOKEN under Wayland), empty when it sent none.
    void activated(const QString& token);

private Q_SLOTS:
    void onActivationToken(uint id, const QString& token);
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    uint m_id = 0; // the standing notice, 0 for none
    QString m_token;
    bool m_connected = false;
};

} // namespace zeph::platform
