// The messenger-service handler with an injected sender: history entries byte
// for byte, the button and cursor sequence, the send box. And the pop-up tool
// run as a plain process: exact argument vector, message on standard input,
// every way the tool can fail counted as failure.

#include "history/history.h"
#include "messaging/messengerservice.h"
#include "platform/popupmessage.h"
#include "recordingform.h"

#include "core/gbk.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zeph;

namespace {

const QByteArray kCrLf = "\r\n";

QByteArray notice(QStringView text)
{
    return kCrLf + G(u"★★★") + G(text) + G(u"★★★");
}
QByteArray error(QByteArrayView text)
{
    return kCrLf + G(u"×××") + text.toByteArray() + G(u"×××");
}

// The three lines and the notice written before the tool runs, for the
// standard form (target PC01, two-line message, the fixed clock).
QByteArray recordWrittenBeforeTheTool()
{
    return kCrLf + History::separator() + kCrLf +
           G(u"您于2004年1月2日15时30分通过信使服务发送给|PC01|的信息：") + kCrLf +
           G(u"你好\r\n第二行") + notice(u"正在通过信使服务发送信息，请稍候……");
}

struct SentCall {
    QByteArray target;
    QByteArray address;
    QByteArray text;
    QByteArray historyAtSend;
};

} // namespace

class TestMessengerService : public QObject {
    Q_OBJECT

    History history;
    test::RecordingForm form;
    QList<SentCall> calls;
    QList<QByteArray> resolved;
    bool deliver = true;
    std::unique_ptr<MessengerService> service;

    void writeScript(const QString& path, const QByteArray& body)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

private Q_SLOTS:
    void init()
    {
        history.initialise();
        form = {};
        form.targetText = "PC01";
        form.contentText = G(u"你好\r\n第二行");
        form.signatureText = G(u"张三");
        calls.clear();
        resolved.clear();
        deliver = true;
        service = std::make_unique<MessengerService>(history, form);
        service->setClock([] { return QDateTime(QDate(2004, 1, 2), QTime(15, 30, 0)); });
        service->setResolver([this](QByteArrayView name) {
            resolved << name.toByteArray();
            return name == "PC01" ? QByteArray("10.1.2.3") : QByteArray();
        });
        service->setSender(
            [this](QByteArrayView target, QByteArrayView address, QByteArrayView text) {
                calls << SentCall{target.toByteArray(), address.toByteArray(), text.toByteArray(),
                                  history.text()};
                form.events << QStringLiteral("send");
                return deliver;
            });
    }

    void successWritesFiveEntriesAndEmptiesTheBox()
    {
        const QByteArray before = history.text();
        service->send();

        const QByteArray record = recordWrittenBeforeTheTool();
        QCOMPARE(history.text(), before + record + notice(u"信息已成功发送到计算机|PC01|"));
        // The record stands in the history before the tool runs.
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].historyAtSend, before + record);
        QCOMPARE(calls[0].target, QByteArray("PC01"));
        QCOMPARE(calls[0].address, QByteArray("10.1.2.3"));
        QCOMPARE(calls[0].text, G(u"你好\r\n第二行——张三"));
        QCOMPARE(form.contentText, QByteArray());
        QCOMPARE(form.events, (QStringList{"button off", "cursor wait", "send", "cursor restore",
                                           "content set", "button on"}));
    }

    void failureKeepsTheTextAndEnablesTheButton()
    {
        deliver = false;
        const QByteArray before = history.text();
        service->send();

        const QByteArray record = recordWrittenBeforeTheTool();
        QCOMPARE(history.text(),
                 before + record + error(G(u"使用信使服务发送信息到计算机|PC01|失败！")));
        QCOMPARE(form.contentText, G(u"你好\r\n第二行"));
        QVERIFY(form.buttonEnabled);
        QCOMPARE(form.events,
                 (QStringList{"button off", "cursor wait", "send", "cursor restore", "button on"}));
    }

    void refusalsTouchNothingElse_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("no target") << QByteArray() << QByteArray("x") << G(u"未指定目标计算机！");
        QTest::newRow("no message")
            << QByteArray("PC01") << QByteArray() << G(u"发送内容不能为空！");
        QTest::newRow("neither") << QByteArray() << QByteArray() << G(u"未指定目标计算机！");
    }
    void refusalsTouchNothingElse()
    {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, entry);
        form.targetText = target;
        form.contentText = content;
        const QByteArray before = history.text();
        service->send();
        QCOMPARE(history.text(), before + error(entry));
        QVERIFY(calls.isEmpty());
        QVERIFY(form.events.isEmpty());
        QCOMPARE(form.contentText, content);
    }

    void textIsTakenAsItStands()
    {
        // Blanks are a message; an empty signature still gets the dashes.
        form.contentText = "  ";
        form.signatureText.clear();
        service->send();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].text, QByteArray("  ") + G(u"——"));
    }

    void addressComesFromTheTarget()
    {
        // A dotted target is its own address, without a lookup.
        form.targetText = "192.168.7.9";
        service->send();
        QCOMPARE(calls.last().address, QByteArray("192.168.7.9"));
        QVERIFY(resolved.isEmpty());
        // A name the resolver does not know goes without an address.
        form.targetText = G(u"无名机");
        form.contentText = "x";
        service->send();
        QCOMPARE(resolved, QList<QByteArray>{G(u"无名机")});
        QCOMPARE(calls.last().target, G(u"无名机"));
        QCOMPARE(calls.last().address, QByteArray());
    }

    void outputVerdict_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("error");
        QTest::newRow("prompt only")
            << QByteArray("Type your message, ending it with a Control-D\n") << false;
        QTest::newRow("refused") << QByteArray(
                                        "Type your message, ending it with a Control-D\n"
                                        "cli_message returned NT_STATUS_REQUEST_NOT_ACCEPTED")
                                 << true;
        QTest::newRow("disconnected")
            << QByteArray("Connection to X failed. Error NT_STATUS_CONNECTION_DISCONNECTED\n")
            << true;
        QTest::newRow("status ok") << QByteArray("NT_STATUS_OK\n") << false;
        QTest::newRow("status ok at end") << QByteArray("result NT_STATUS_OK") << false;
        QTest::newRow("status okay is not ok") << QByteArray("NT_STATUS_OK_BUT_NOT") << true;
        QTest::newRow("localised error") << G(u"发送错误") << true;
        // B4 ED is 错, but here B4 is the trail byte of 写 and ED leads the next character.
        QTest::newRow("straddling bytes") << G(u"写") + QByteArray("\xED\xA1") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void outputVerdict()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, error);
        QCOMPARE(platform::popupOutputReportsError(output), error);
    }

    void toolGetsExactArgumentsAndInput()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString tool = dir.filePath("fake-smbclient");
        const QByteArray d = QFile::encodeName(dir.path());
        writeScript(tool, "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + d +
                              "/args'\ncat > '" + d + "/input'\necho 'Type your message'\n");
        platform::PopupOptions options;
        options.program = tool;
        options.extraArguments = {QStringLiteral("--configfile=/x y.conf")};

        const QByteArray target = G(u"机\"'; touch ") + d + "/marker $(id) `id`\n-x";
        const QByteArray text =
            G(u"第一行\r\n\"$(touch ") + d + "/marker)\"; `id` ' \r\n" + G(u"——签名");
        const platform::PopupResult r =
            platform::sendPopupMessage(target, "10.0.0.9", text, options);
        QVERIFY(r.delivered);
        QCOMPARE(r.output, QByteArray("Type your message\n"));

        QFile args(dir.filePath("args"));
        QVERIFY(args.open(QIODevice::ReadOnly));
        QList<QByteArray> argv = args.readAll().split('\0');
        args.close();
        QCOMPARE(argv.takeLast(), QByteArray());
        QCOMPARE(argv, (QList<QByteArray>{"--configfile=/x y.conf", "--option=unix charset=CP936",
                                          "--option=dos charset=CP936", "--message=" + target,
                                          "--ip-address=10.0.0.9"}));
        QFile input(dir.filePath("input"));
        QVERIFY(input.open(QIODevice::ReadOnly));
        // The tool adds the CR before each LF itself.
        QCOMPARE(input.readAll(), QByteArray(text).replace("\r\n", "\n"));
        QVERIFY(!QFile::exists(dir.filePath("marker")));

        // Without an address the tool finds the name itself.
        QVERIFY(platform::sendPopupMessage("PC02", {}, "x", options).delivered);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QVERIFY(!args.readAll().contains("--ip-address"));
    }

    void toolFailuresAreFailures()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        platform::PopupOptions options;

        options.program = dir.filePath("no-such-tool");
        QVERIFY(!platform::sendPopupMessage("PC01", {}, "x", options).delivered);

        options.program = dir.filePath("silent");
        writeScript(options.program, "cat >/dev/null\nexit 0\n");
        QVERIFY(!platform::sendPopupMessage("PC01", {}, "x", options).delivered);

        options.program = dir.filePath("exit1");
        writeScript(options.program, "echo 'Type your message'\nexit 1\n");
        QVERIFY(!platform::sendPopupMessage("PC01", {}, "x", options).delivered);

        options.program = dir.filePath("refused");
        writeScript(options.program, "echo 'Type your message'\necho 'cli_message returned "
                                     "NT_STATUS_REQUEST_NOT_ACCEPTED' >&2\n");
        QVERIFY(!platform::sendPopupMessage("PC01", {}, "x", options).delivered);

        // Input is never read and the tool exits early: no SIGPIPE, just a failure.
        options.program = dir.filePath("gone");
        writeScript(options.program, "exit 3\n");
        QVERIFY(!platform::sendPopupMessage("PC01", {}, QByteArray(1500, 'x'), options).delivered);
    }

    void hangingToolIsEndedAtTheLimit()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        platform::PopupOptions options;
        options.program = dir.filePath("hang");
        writeScript(options.program, "echo 'Type your message'\nexec sleep 30\n");
        options.timeoutMs = 500;
        QElapsedTimer t;
        t.start();
        QVERIFY(!platform::sendPopupMessage("PC01", {}, "x", options).delivered);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    }

    void availabilityFollowsThePath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()));
        const bool without = platform::popupMessageAvailable();
        writeScript(dir.filePath("smbclient"), "exit 0\n");
        const bool with = platform::popupMessageAvailable();
        qputenv("PATH", oldPath);
        QVERIFY(!without);
        QVERIFY(with);
    }

    void textTooLongForTheToolIsNotSent()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        platform::PopupOptions options;
        options.program = dir.filePath("record");
        writeScript(options.program, "cat > '" + QFile::encodeName(dir.path()) +
                                         "/input'\necho 'Type your message'\n");
        // The tool counts each line break as CR LF.
        const QByteArray fits = QByteArray(platform::kMaxPopupTextBytes - 2, 'a') + "\r\n";
        QVERIFY(platform::sendPopupMessage("PC01", {}, fits, options).delivered);
        QVERIFY(QFile::remove(dir.filePath("input")));
        QVERIFY(!platform::sendPopupMessage("PC01", {}, fits + "b", options).delivered);
        QVERIFY(!platform::sendPopupMessage(
                     "PC01", {}, QByteArray(platform::kMaxPopupTextBytes - 1, 'a') + "\n", options)
                     .delivered);
        QVERIFY(!QFile::exists(dir.filePath("input")));
        // A zero byte would cut the message short in the tool.
        QVERIFY(!platform::sendPopupMessage("PC01", {}, QByteArray("a\0b", 3), options).delivered);
        QVERIFY(!QFile::exists(dir.filePath("input")));
    }
};

QTEST_GUILESS_MAIN(TestMessengerService)
#include "test_messengerservice.moc"
