#include "platform/session/desktopnotification.h"

#include "core/logging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace zeph::platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

} // namespace

DesktopNotification::DesktopNotification(QObject* parent) : QObject(parent) {}

DesktopNotification::~DesktopNotification()
{
    close();
}

bool DesktopNotification::show(const QString& appName, const QString& summary, const QString& body,
                               const QString& actionLabel)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!m_connected) {
        // The service sends the token just before the action it goes with.
        m_connected = true;
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                    SLOT(onActivationToken(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(onActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(onClosed(uint, uint)));
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), appName},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}};
    call << appName << m_id << appName << summary << body
         << QStringList{kDefaultAction, actionLabel} << hints << int{-1};
    const QDBusReply<uint> reply = bus.call(call, QDBus::Block, 2000);
    if (!reply.isValid()) {
        qCInfo(lcPlatform) << "no desktop notification:" << reply.error().message();
        return false;
    }
    m_id = reply.value();
    return true;
}

void DesktopNotification::close()
{
    if (m_id == 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("CloseNotification"));
    call << m_id;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
    m_id = 0;
}

void DesktopNotification::onActivationToken(uint id, const QString& token)
{
    if (id == m_id && id != 0)
        m_token = token;
}

void DesktopNotification::onActionInvoked(uint id, const QString& action)
{
    if (id != m_id || id == 0 || action != kDefaultAction)
        return;
    const QString token = std::exchange(m_token, {});
    Q_EMIT activated(token);
}

void DesktopNotification::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    if (id == m_id)
        m_id = 0; // a later notice is a new one
}

} // namespace zeph::platform
