// The Windows interfaces where they carry logic of their own: the stale-atom
// rule of the single-instance marker, the quoting of the Run value, and the
// command line of net send, which no cmd ever reads.
#include "core/gbk.h"
#include "platform/process/popupmessage.h"
#include "platform/process/winprocess.h"
#include "platform/session/autostart.h"
#include "platform/session/privatefile.h"
#include "platform/session/singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <windows.h>

#include <shellapi.h>

using namespace zeph;
using platform::SingleInstance;

namespace {

QString uniqueKey()
{
    return QStringLiteral("zephtest%1").arg(QRandomGenerator::global()->generate());
}

bool atomPresent(const QString& name)
{
    const UINT a = GlobalFindAtomW(reinterpret_cast<LPCWSTR>(name.utf16()));
    return a != 0 && a != 0x120000u;
}

// What the C runtime's parser makes of a command line.
QStringList parsed(const QString& line)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(reinterpret_cast<LPCWSTR>(line.utf16()), &argc);
    QStringList out;
    for (int i = 0; i < argc; ++i)
        out << QString::fromWCharArray(argv[i]);
    LocalFree(argv);
    return out;
}

QString echoProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/" ZEPH_ARGV_ECHO);
}

} // namespace

class TestWindowsPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondCopyIsRefusedUntilTheFirstReleases()
    {
        const QString key = uniqueKey();
        SingleInstance first(key);
        QVERIFY(first.acquire());
        QVERIFY(atomPresent(first.atomName()));
        SingleInstance second(key);
        QVERIFY(!second.acquire());
        QVERIFY(!second.held());
        first.release();
        QVERIFY(!atomPresent(first.atomName()));
        QVERIFY(second.acquire());
    }

    void atomLeftByACrashedCopyDoesNotBlock()
    {
        const QString key = uniqueKey();
        const QString atom = SingleInstance(key).atomName();
        // Two crashed copies: two references, no mutex.
        GlobalAddAtomW(reinterpret_cast<LPCWSTR>(atom.utf16()));
        GlobalAddAtomW(reinterpret_cast<LPCWSTR>(atom.utf16()));
        QVERIFY(atomPresent(atom));
        SingleInstance next(key);
        QVERIFY(next.acquire());
        QVERIFY(atomPresent(atom));
        // Only our own reference is left: releasing it clears the name.
        next.release();
        QVERIFY(!atomPresent(atom));
    }

    void runValueIsQuotedWithNativeSeparators_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("value");
        QTest::newRow("blanks") << QStringLiteral("C:/Program Files/Zeph/zeph.exe")
                                << QStringLiteral("\"C:\\Program Files\\Zeph\\zeph.exe\"");
        QTest::newRow("plain") << QStringLiteral("C:/zeph/zeph.exe")
                               << QStringLiteral("\"C:\\zeph\\zeph.exe\"");
        QTest::newRow("chinese") << QStringLiteral(u"D:/软件/zeph.exe")
                                 << QStringLiteral(u"\"D:\\软件\\zeph.exe\"");
    }
    void runValueIsQuotedWithNativeSeparators()
    {
        QFETCH(QString, program);
        QFETCH(QString, value);
        QCOMPARE(platform::runKeyValue(program), value);
        // What the shell starts at log-on: the program alone, no arguments.
        QCOMPARE(parsed(value), QStringList{QDir::toNativeSeparators(program)});
    }

    void autostartWritesTheUsersRunValue()
    {
        const QString program = QStringLiteral("C:/Program Files/Zeph Test/zeph.exe");
        QVERIFY(platform::registerAutostart(program));
        wchar_t data[512] = {};
        DWORD size = sizeof data;
        const std::wstring key = platform::kRunKey.toString().toStdWString();
        QCOMPARE(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"zeph", RRF_RT_REG_SZ, nullptr, data,
                              &size),
                 LSTATUS(ERROR_SUCCESS));
        QCOMPARE(QString::fromWCharArray(data), platform::runKeyValue(program));
    }

    void argumentsSurviveTheCommandLine_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::newRow("operators") << QStringLiteral("a & calc | del x > y < z ^ %PATH%");
        QTest::newRow("quotes") << QStringLiteral("say \"hi\" \"");
        QTest::newRow("backslashes before a quote") << QStringLiteral("a\\\\\"b\\");
        QTest::newRow("trailing backslashes") << QStringLiteral("C:\\dir\\\\");
        QTest::newRow("empty") << QString();
        QTest::newRow("line breaks") << QStringLiteral(u"第一行\r\n第二行");
    }
    void argumentsSurviveTheCommandLine()
    {
        QFETCH(QString, argument);
        const QString line = platform::win::commandLine(QStringLiteral("C:\\x.exe"),
                                                        {argument, QStringLiteral("z")});
        QCOMPARE(parsed(line),
                 (QStringList{QStringLiteral("C:\\x.exe"), argument, QStringLiteral("z")}));
    }

    // Wine reports Windows 10 unless told otherwise: no messenger service, so
    // the start-up leaves the messenger-service button disabled.
    void noMessengerServiceFromVistaOn()
    {
        const int version = platform::win::windowsVersion();
        QVERIFY2(version >= 600, qPrintable(QString::number(version)));
        QVERIFY(!platform::popupMessageAvailable());
    }

    void popupReachesTheProgramUnchanged()
    {
        // A target (within the 15 bytes of a computer name) and a text that
        // would run another program through cmd.
        const QByteArray target = G(u"P\"&calc&\"");
        const QByteArray text = G(u"你好 \"引号\" | more\r\n——签名");
        platform::PopupOptions options;
        options.program = echoProgram();
        qputenv("ZEPH_ECHO_EXIT", "0");
        qunsetenv("ZEPH_ECHO_SAY");
        const platform::PopupResult r = platform::sendPopupMessage(target, {}, text, options);
        QVERIFY(r.delivered);
        const QByteArray expected = "send" + QByteArray(1, '\0') + target + QByteArray(1, '\0') +
                                    text + QByteArray(1, '\0');
        QCOMPARE(r.output, expected);
    }

    void popupFailsOnAnErrorOrAFailedExit()
    {
        platform::PopupOptions options;
        options.program = echoProgram();
        // Windows without the messenger service prints its usage and fails.
        qputenv("ZEPH_ECHO_EXIT", "1");
        qunsetenv("ZEPH_ECHO_SAY");
        QVERIFY(!platform::sendPopupMessage("PC1", {}, "hi", options).delivered);
        // A localised error message with a successful exit.
        qputenv("ZEPH_ECHO_EXIT", "0");
        qputenv("ZEPH_ECHO_SAY", G(u"发生系统错误 2273。"));
        QVERIFY(!platform::sendPopupMessage("PC1", {}, "hi", options).delivered);
        // Broadcast forms of net send and a text it could read as a switch
        // never reach it: the program would succeed.
        qunsetenv("ZEPH_ECHO_SAY");
        for (const QByteArray& target : {QByteArray("*"), QByteArray("/USERS"),
                                         QByteArray("/DOMAIN:x"), QByteArray("\\\\srv")})
            QVERIFY2(!platform::sendPopupMessage(target, {}, "hi", options).delivered,
                     target.constData());
        QVERIFY(!platform::sendPopupMessage("PC1", {}, "/DELETE", options).delivered);
        QVERIFY(platform::sendPopupMessage("PC1", {}, platform::popupTextAsText("/DELETE"), options)
                    .delivered);
        // A program that is not there.
        options.program = QStringLiteral("C:\\no\\such\\program.exe");
        QVERIFY(!platform::sendPopupMessage("PC1", {}, "hi", options).delivered);
    }

    void scratchFileKeepsBytesAtTheirOffsets()
    {
        platform::ScratchFile file;
        QVERIFY(file.open());
        const QByteArray first(70000, 'a'); // more than one read below
        QVERIFY(file.writeAt(0, first));
        QVERIFY(file.writeAt(first.size(), "\x81\x40\r\n"));
        QByteArray back(first.size() + 4, '\0');
        QCOMPARE(file.readAt(0, back.data(), back.size()), qint64(back.size()));
        QCOMPARE(back, first + "\x81\x40\r\n");
        char c = 0;
        QCOMPARE(file.readAt(back.size(), &c, 1), qint64(0)); // the end
        QVERIFY(file.truncate());
        QCOMPARE(file.readAt(0, &c, 1), qint64(0));
        QVERIFY(file.writeAt(0, "z"));
        QCOMPARE(file.readAt(0, &c, 1), qint64(1));
        QCOMPARE(c, 'z');
    }
};

QTEST_GUILESS_MAIN(TestWindowsPlatform)
#include "test_windows_platform.moc"
