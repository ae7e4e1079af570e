// Which tray the icon goes to: a StatusNotifier item only when a watcher runs
// and a panel (host) is registered with it, as Qt decides; a watcher alone, or
// none, leaves the XEmbed icon. Runs a private dbus-daemon as the session bus.

#include "ui/trayicon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// The watcher's one property that the choice reads.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    bool hostRegistered() const { return m_host.loadRelaxed() != 0; }
    QAtomicInt m_host = 0;
};

} // namespace

class TestTrayIcon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed (package dbus)");
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY(m_bus.canReadLine());
        const QByteArray address = m_bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // Before the first use of the session bus, which reads it.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        m_panel = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("panel")));
        QVERIFY(m_panel->isConnected());
        // The choice blocks on its call: the watcher answers from a thread of its own.
        m_watcherThread.start();
        m_watcher.moveToThread(&m_watcherThread);
    }

    void cleanupTestCase()
    {
        m_panel.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
        m_watcherThread.quit();
        m_watcherThread.wait();
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void noWatcherMeansXEmbed() { QVERIFY(!zeph::ui::TrayIcon::hostIsStatusNotifier()); }

    void watcherWithoutPanelMeansXEmbed()
    {
        QVERIFY(m_panel->registerObject(QStringLiteral("/StatusNotifierWatcher"), &m_watcher,
                                        QDBusConnection::ExportAllProperties));
        QVERIFY(m_panel->registerService(kWatcher));
        m_watcher.m_host.storeRelaxed(0);
        QVERIFY(!zeph::ui::TrayIcon::hostIsStatusNotifier());
    }

    void watcherWithPanelMeansStatusNotifier()
    {
        m_watcher.m_host.storeRelaxed(1);
        QVERIFY(zeph::ui::TrayIcon::hostIsStatusNotifier());
        // The watcher goes away: back to XEmbed.
        QVERIFY(m_panel->unregisterService(kWatcher));
        QTRY_VERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kWatcher));
        QVERIFY(!zeph::ui::TrayIcon::hostIsStatusNotifier());
    }

private:
    QProcess m_bus;
    std::unique_ptr<QDBusConnection> m_panel;
    QThread m_watcherThread;
    FakeWatcher m_watcher;
};

QTEST_MAIN(TestTrayIcon)
#include "test_trayicon.moc"
