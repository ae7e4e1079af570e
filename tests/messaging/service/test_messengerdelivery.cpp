// Pop-up messages delivered by the real smbclient to real Samba receivers. Run
// by run-delivery.sh inside a namespace of its own (names and receivers are
// described there); it refuses to run where a real network is in reach.

#include "history/history.h"
#include "messaging/messengerservice.h"
#include "names/namelookup.h"
#include "netns.h"
#include "platform/process/popupmessage.h"
#include "recordingform.h"

#include "core/gbk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

using namespace zeph;

class TestMessengerDelivery : public QObject {
    Q_OBJECT

    QDir spool;
    QString markerDir;
    History history;
    test::RecordingForm form;
    NameLookup lookup;
    std::unique_ptr<MessengerService> service;

    void clearSpool()
    {
        const auto names = spool.entryList(QDir::Files | QDir::Hidden);
        for (const QString& n : names)
            spool.remove(n);
    }

    // The messages that arrived since the last clearSpool(), as the receiver
    // wrote them (it drops the CR of each CR LF).
    QList<QByteArray> arrived()
    {
        QList<QByteArray> out;
        const auto names = spool.entryList({QStringLiteral("msg.*")}, QDir::Files);
        for (const QString& n : names) {
            QFile f(spool.filePath(n));
            if (f.open(QIODevice::ReadOnly))
                out << f.readAll();
        }
        return out;
    }

    bool succeeded(QByteArrayView target)
    {
        return history.text().endsWith(G(u"★★★信息已成功发送到计算机|") + target.toByteArray() +
                                       G(u"|★★★"));
    }
    bool failed(QByteArrayView target)
    {
        return history.text().endsWith(G(u"×××使用信使服务发送信息到计算机|") +
                                       target.toByteArray() + G(u"|失败！×××"));
    }

    void send(const QByteArray& target, const QByteArray& content, const QByteArray& signature)
    {
        clearSpool();
        form.targetText = target;
        form.contentText = content;
        form.signatureText = signature;
        service->send();
    }

private Q_SLOTS:
    void initTestCase()
    {
        ZEPH_REQUIRE_PRIVATE_NETNS();
        const QByteArray spoolPath = qgetenv("ZEPH_MSGR_SPOOL");
        markerDir = QString::fromLocal8Bit(qgetenv("ZEPH_MSGR_MARKER_DIR"));
        QVERIFY2(!spoolPath.isEmpty() && !markerDir.isEmpty(), "run through run-delivery.sh");
        spool.setPath(QString::fromLocal8Bit(spoolPath));
        QVERIFY(spool.exists());
        QVERIFY(platform::popupMessageAvailable());
    }

    void init()
    {
        history.initialise();
        form = {};
        // The real clock, resolver and sender: nothing injected.
        service = std::make_unique<MessengerService>(history, form, lookup);
    }

    void chineseMultiLineMessageArrivesIntact_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("name") << QByteArray("zephrcv");
        QTest::newRow("dotted address") << QByteArray("127.0.0.1");
    }
    void chineseMultiLineMessageArrivesIntact()
    {
        QFETCH(QByteArray, target);
        const QByteArray content = G(u"你好，世界！\r\n第二行：中文、English 123\r\n\r\n最后一行");
        send(target, content, G(u"张三（信息部）"));
        QVERIFY2(succeeded(target), history.text().right(200).constData());
        QCOMPARE(form.contentText, QByteArray());
        QVERIFY(form.buttonEnabled);
        QCOMPARE(arrived(),
                 QList<QByteArray>{
                     G(u"你好，世界！\n第二行：中文、English 123\n\n最后一行——张三（信息部）")});
    }

    void longMessageCrossesChunkBordersIntact()
    {
        // The tool sends 127 bytes at a time; double-byte characters straddle
        // the borders.
        QByteArray content = "x";
        while (content.size() < 1200)
            content += G(u"中文测试");
        send("zephrcv", content, G(u"签"));
        QVERIFY(succeeded("zephrcv"));
        QCOMPARE(arrived(), QList<QByteArray>{content + G(u"——签")});
    }

    void undeliverableKeepsTheText_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("nothing listens") << QByteArray("127.0.0.3");
        QTest::newRow("unknown name") << QByteArray("nosuchpc");
        QTest::newRow("receiver refuses by name") << QByteArray("zephrefuse");
        QTest::newRow("receiver refuses by address") << QByteArray("127.0.0.2");
    }
    void undeliverableKeepsTheText()
    {
        QFETCH(QByteArray, target);
        const QByteArray content = G(u"收不到的信息");
        send(target, content, G(u"签名"));
        QVERIFY2(failed(target), history.text().right(200).constData());
        QCOMPARE(form.contentText, content);
        QVERIFY(form.buttonEnabled);
        QVERIFY(arrived().isEmpty());
        QCOMPARE(form.events.count(QStringLiteral("cursor wait")), 1);
        QCOMPARE(form.events.count(QStringLiteral("cursor restore")), 1);
    }

    void hostileTextRunsNothingButTheTool()
    {
        const QString marker = markerDir + QStringLiteral("/ran");
        const QByteArray m = QFile::encodeName(marker);
        const QList<QByteArray> payloads = {
            "\"; touch " + m + "; echo \"", "$(touch " + m + ")",       "`touch " + m + "`",
            "x\ntouch " + m + "\n",         "x\r\ntouch " + m + "\r\n", "' | touch " + m + " #",
        };
        for (const QByteArray& p : payloads) {
            // In the message: delivered as it stands.
            send("zephrcv", G(u"信息") + p, p);
            QVERIFY2(succeeded("zephrcv"), p.constData());
            QCOMPARE(
                arrived(),
                QList<QByteArray>{QByteArray(G(u"信息") + p + G(u"——") + p).replace("\r\n", "\n")});
            // In the target: no such computer.
            const QByteArray target = "zephrcv" + p;
            send(target, "x", {});
            QVERIFY2(failed(target), p.constData());
            QVERIFY(arrived().isEmpty());
        }
        // Targets that look like options of the tool stay names.
        for (const QByteArray& target :
             {QByteArray("--version"), QByteArray("-N"), QByteArray("--help")}) {
            send(target, "x", {});
            QVERIFY2(failed(target), target.constData());
        }
        QVERIFY(!QFile::exists(marker));
    }

    void silentReceiverIsGivenUpAtTheLimit()
    {
        // Accepts the connection and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(QStringLiteral("127.0.0.4")), 139));
        platform::PopupOptions options;
        options.timeoutMs = 1500;
        QElapsedTimer t;
        t.start();
        const platform::PopupResult r =
            platform::sendPopupMessage("silentpc", Ipv4Address(127, 0, 0, 4), "x", options);
        QVERIFY(!r.delivered);
        QVERIFY2(t.elapsed() < 6000, qPrintable(QString::number(t.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestMessengerDelivery)
#include "test_messengerdelivery.moc"
