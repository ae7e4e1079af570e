#include "ui/trayicon.h"

#include "core/logging.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#endif

namespace zeph::ui {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {}

TrayIcon::~TrayIcon()
{
    remove();
}

bool TrayIcon::hostIsStatusNotifier()
{
#ifdef Q_OS_WIN
    return false; // the notification area of the shell itself
#else
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.interface()->isServiceRegistered(watcher))
        return false;
    // The same test Qt makes before it exports the icon as an item: a watcher
    // alone, with no panel behind it, leaves the XEmbed icon in use.
    QDBusInterface props(watcher, QStringLiteral("/StatusNotifierWatcher"),
                         QStringLiteral("org.freedesktop.DBus.Properties"), bus);
    const QDBusReply<QDBusVariant> reply = props.call(
        QStringLiteral("Get"), watcher, QStringLiteral("IsStatusNotifierHostRegistered"));
    return reply.isValid() && reply.value().variant().toBool();
#endif
}

bool TrayIcon::hostAvailable()
{
    // Qt itself falls back to XEmbed when a watcher has no panel; the XEmbed
    // tray is there when its selection has an owner.
    return hostIsStatusNotifier() || QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::set(const QIcon& icon, const QString& tip)
{
    if (icon.isNull()) {
        remove();
        return;
    }
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        m_statusNotifier = hostIsStatusNotifier();
        // A panel shows an item's menu itself, from the exported menu. The
        // XEmbed icon keeps the program's own popup (on the right release, at
        // the pointer), so there Qt must not pop a menu up on the press.
        if (m_statusNotifier)
            m_icon->setContextMenu(m_menu);
        connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::messageClicked);
        connect(m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (const int kind = trayEventKind(reason, m_statusNotifier))
                        Q_EMIT trayEvent(kind);
                });
    }
    m_plain = icon;
    m_icon->setIcon(m_marked ? markedIcon(icon) : icon);
    m_icon->setToolTip(tip);
    followHost(hostAvailable());
}

void TrayIcon::followHost(bool present)
{
    if (!m_icon || m_icon->isVisible() == present)
        return;
    m_icon->setVisible(present);
    qCInfo(lcUi) << (present ? "notification area present" : "no notification area");
}

void TrayIcon::setMarked(bool marked)
{
    if (m_marked == marked)
        return;
    m_marked = marked;
    if (m_icon)
        m_icon->setIcon(marked ? markedIcon(m_plain) : m_plain);
}

QIcon TrayIcon::markedIcon(const QIcon& icon)
{
    // A red dot over the lower right quarter, drawn at every size the tray
    // hosts commonly ask for.
    QIcon marked;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = icon.pixmap(size, size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, qMax(1, size / 16)));
        p.setBrush(QColor(220, 30, 30));
        const int dot = size / 2;
        p.drawEllipse(size - dot, size - dot, dot - 1, dot - 1);
        p.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

bool TrayIcon::showMessage(const QString& title, const QString& body)
{
    if (!m_icon || !m_icon->isVisible() || !QSystemTrayIcon::supportsMessages())
        return false;
    m_icon->showMessage(title, body, m_plain);
    return true;
}

void TrayIcon::remove()
{
    if (!m_icon)
        return;
    m_icon->hide();
    delete m_icon;
    m_icon = nullptr;
}

QString TrayIcon::tip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

int trayEventKind(int activationReason, bool statusNotifierHost)
{
    switch (activationReason) {
    case QSystemTrayIcon::Trigger:
        return statusNotifierHost ? 2 : 1;
    case QSystemTrayIcon::DoubleClick:
        return 2;
    case QSystemTrayIcon::Context:
        return 3;
    default:
        return 0;
    }
}

void popUpAtPointer(QMenu* menu)
{
    const QPoint pointer = QCursor::pos();
    const int width = menu->sizeHint().width();
    menu->popup(QPoint(pointer.x() - 5 - width, pointer.y() - 5));
}

} // namespace zeph::ui
