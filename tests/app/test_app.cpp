// One run of the program in-process: start-up, the single-instance guard and
// the exit paths. Runs in a private network namespace (it opens the message port).

#include "app/zephapp.h"
#include "core/gbk.h"
#include "discovery/scanner.h"
#include "history/history.h"
#include "messaging/messenger.h"
#include "modal.h"
#include "platform/process/popupmessage.h"
#include "platform/session/autostart.h"
#include "ui/controls.h"
#include "ui/mainwindow.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <sys/stat.h>

using namespace zeph;

namespace {

void answer(QMessageBox::StandardButton which, QString* text = nullptr)
{
    test::whenModal([which, text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        if (text)
            *text = box->windowTitle() + u'|' + box->text() + u'|' +
                    QString::number(int(box->icon())) + u'|' +
                    QString::number(int(box->standardButtons())) + u'|' +
                    QString::number(int(box->standardButton(box->defaultButton())));
        box->button(which)->click();
    });
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("ZEPH_TEST_COPY"))
            return; // a copy that a test runs: in that test's folders
        QVERIFY(m_home.isValid());
        QDir(m_home.path()).mkpath(QStringLiteral("run"));
        qputenv("XDG_RUNTIME_DIR", (m_home.path() + QStringLiteral("/run")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/config")).toUtf8());
    }

    // A copy run from a folder that any user may write, where another user
    // could swap the file: it sets no log-on start, the entry stays as it
    // was, and the history says why, once.
    void aCopyOthersCouldReplaceSetsNoLogOnStart()
    {
        if (qEnvironmentVariableIsSet("ZEPH_TEST_COPY")) {
            ZephApp app;
            QVERIFY(app.start());
            const QByteArray why = G(u"×××其他用户可以替换本程序，未设置登录时自动启动：") +
                                   gbk::fromUnicode(QCoreApplication::applicationFilePath()) +
                                   G(u"×××");
            QCOMPARE(app.history().text().count(why), 1);
            return;
        }
        const QByteArray before = "[Desktop Entry]\nExec=/usr/bin/zeph\n";
        QVERIFY(QDir().mkpath(QFileInfo(platform::autostartFilePath()).path()));
        QFile entry(platform::autostartFilePath());
        QVERIFY(entry.open(QIODevice::WriteOnly) && entry.write(before) == before.size());
        entry.close();
        QTemporaryDir dir;
        const QString open = dir.filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkdir(open));
        QCOMPARE(::chmod(QFile::encodeName(open).constData(), 0777), 0);
        const QString copy = open + QStringLiteral("/test_app");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZEPH_TEST_COPY"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(copy, {QStringLiteral("aCopyOthersCouldReplaceSetsNoLogOnStart")});
        QVERIFY(run.waitForFinished(60000));
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 run.readAll().constData());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QCOMPARE(entry.readAll(), before);
    }

    void startUpInItsOrder()
    {
        ZephApp app;
        QVERIFY(app.start());
        ui::MainWindow& w = app.window();
        QCOMPARE(w.size(), QSize(639, 458));
        QCOMPARE(
            w.control<ui::FlatLabel>(ui::name::kTitleBar)->caption(),
            QStringLiteral("局域网即时通信(ZEPH)v0.1--Zeph 2003.11.18 https://zeph.example.org"));
        // The banner stands alone: the port could be opened, nothing else was said.
        QCOMPARE(app.history().text(), History::banner());
        QCOMPARE(app.messenger().endpoint().port() & 0xFFFF, 40027);
        QCOMPARE(w.control(ui::name::kMessengerButton)->isEnabled(),
                 platform::popupMessageAvailable());
        QVERIFY(!app.scanner().running());
        QVERIFY(app.marker().held());
        QFile entry(platform::autostartFilePath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(
            entry.readAll().contains("Exec=" + QCoreApplication::applicationFilePath().toUtf8()));
    }

    void secondCopyIsRefused()
    {
        ZephApp first;
        QVERIFY(first.start());
        ZephApp second;
        QString seen;
        answer(QMessageBox::Ok, &seen);
        QVERIFY(!second.start());
        QCOMPARE(seen, QStringLiteral(
                           "局域网即时通信(ZEPH)v0.1|程序已在运行，请双击任务栏小图标。|%1|%2|%3")
                           .arg(int(QMessageBox::Information))
                           .arg(int(QMessageBox::Ok))
                           .arg(int(QMessageBox::Ok)));
        QVERIFY(!second.window().isVisible());
        QVERIFY(first.marker().held());
    }

    void confirmedExit()
    {
        ZephApp app;
        QVERIFY(app.start());
        QList<int> ended;
        app.setTerminate([&](int code) { ended << code; });
        QString seen;
        answer(QMessageBox::No, &seen);
        app.window().control<QPushButton>(ui::name::kExitButton)->click();
        QVERIFY(ended.isEmpty());
        QVERIFY(app.marker().held());
        QCOMPARE(
            seen,
            QStringLiteral(
                "确认退出|您确定要退出吗？ 如果退出，你将不能收到别人发送给您的信息！|%1|%2|%3")
                .arg(int(QMessageBox::Question))
                .arg(int(QMessageBox::Yes | QMessageBox::No))
                .arg(int(QMessageBox::No)));
        answer(QMessageBox::Yes);
        app.window().control<QPushButton>(ui::name::kExitButton)->click();
        QCOMPARE(ended, QList<int>{0});
        QVERIFY(!app.marker().held());
        ZephApp next;
        QVERIFY(next.start()); // the marker was released
    }

    void trayMenuExitAsksNothing()
    {
        ZephApp app;
        QVERIFY(app.start());
        QList<int> ended;
        app.setTerminate([&](int code) { ended << code; });
        app.window().tray().menu()->actions().last()->trigger();
        QTRY_COMPARE(ended, QList<int>{0});
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(!app.marker().held());
    }

    void closedWindowReleasesTheMarker()
    {
        ZephApp app;
        QVERIFY(app.start());
        app.window().show();
        app.window().close();
        QVERIFY(!app.marker().held());
        ZephApp next;
        QVERIFY(next.start());
    }

    void closingTheAboutWindowFromTheTrayEndsNothing()
    {
        ZephApp app;
        QVERIFY(app.start());
        app.window().show();
        app.window().tray().hideWindow();
        app.window().showAbout();
        QPointer<QWidget> about = app.window().aboutWindow();
        QTimer::singleShot(50, about, [about] { about->close(); });
        QTimer::singleShot(400, [] { QCoreApplication::exit(42); });
        QCOMPARE(QApplication::exec(), 42); // nothing quit the loop before
        QVERIFY(app.marker().held());
    }

    // Headless, there is no notification area: the first activation minimises
    // the window to the taskbar instead of hiding it into nothing.
    void firstActivationMinimisesWithoutATrayAndScans()
    {
        ZephApp app;
        QVERIFY(app.start());
        ui::MainWindow& w = app.window();
        w.show();
        w.activateWindow();
        QTRY_VERIFY(w.tray().hiddenInTray());
        QVERIFY(w.isVisible());
        QVERIFY(w.isMinimized());
        // This namespace has no address of its own: the scan says so and ends.
        QTRY_VERIFY(app.history().text().contains(Scanner::noAddressText()));
        QVERIFY(!app.scanner().running());
    }

    void messageBringsTheWindowBack()
    {
        ZephApp app;
        QVERIFY(app.start());
        ui::MainWindow& w = app.window();
        w.tray().hideWindow();
        app.messenger().receive(G(u"|bravo|于2004年1月2日15时30分给您发送的信息：\r\n你好——签名"));
        QTRY_VERIFY(!w.tray().hiddenInTray()); // once the delivery slice is over
        QVERIFY(w.isVisible());
        QVERIFY(!w.isMinimized());
        QCOMPARE(w.form().target(), QByteArray("bravo"));
    }

    void aLongSenderNameReachesTheTargetBoxWhole()
    {
        ZephApp app;
        QVERIFY(app.start());
        // Well past the 32,767 characters a Qt line edit keeps by default.
        const QByteArray sender = QByteArray("PC").repeated(20000);
        const QByteArray datagram = "|" + sender + G(u"|于2004年1月2日给您发送的信息：\r\n长");
        QUdpSocket peer;
        QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, 40027),
                 qint64(datagram.size()));
        QTRY_COMPARE(app.window().form().target().size(), sender.size());
        QCOMPARE(app.window().form().target(), sender);
    }
};

QTEST_MAIN(TestApp)
#include "test_app.moc"
