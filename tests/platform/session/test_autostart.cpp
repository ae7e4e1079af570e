#include "platform/session/autostart.h"
#include "platform/session/userfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace zeph::platform;

namespace {

// Reads an Exec value back the way a desktop reads it: string escapes, then
// field codes, then the quoting of one argument.
QString parseExec(const QString& value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            unescaped += n == u'n'   ? QChar(u'\n')
                         : n == u't' ? QChar(u'\t')
                         : n == u's' ? QChar(u' ')
                                     : n;
        } else {
            unescaped += value[i];
        }
    }
    QString codes;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        if (unescaped[i] == u'%') {
            if (i + 1 >= unescaped.size() || unescaped[i + 1] != u'%')
                return QStringLiteral("<field code>");
            ++i;
        }
        codes += unescaped[i];
    }
    if (!codes.startsWith(u'"'))
        return codes.contains(u' ') ? QStringLiteral("<split>") : codes;
    if (!codes.endsWith(u'"'))
        return QStringLiteral("<unterminated>");
    QString arg;
    for (qsizetype i = 1; i + 1 < codes.size(); ++i) {
        if (codes[i] == u'\\' && i + 2 < codes.size())
            ++i;
        else if (codes[i] == u'"' || codes[i] == u'`' || codes[i] == u'$')
            return QStringLiteral("<unescaped reserved>");
        arg += codes[i];
    }
    return arg;
}

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void execValueRoundTrips_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("plain") << QStringLiteral("/usr/bin/zeph");
        QTest::newRow("blanks") << QStringLiteral("/opt/my programs/zeph");
        QTest::newRow("quotes, percent, dollar")
            << QStringLiteral("/tmp/it's \"q\" 100% $HOME/zeph");
        QTest::newRow("backslash, backquote") << QStringLiteral("/tmp/a\\b`c`/zeph");
        QTest::newRow("chinese") << QStringLiteral("/home/用户/程序/zeph");
    }
    void execValueRoundTrips()
    {
        QFETCH(QString, program);
        const QString value = desktopExecValue(program);
        QCOMPARE(parseExec(value), program);
        QVERIFY(!value.contains(u'\n'));
    }

    void entryIsRewrittenWithTheCurrentPath()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString path = autostartFilePath();
        QCOMPARE(path, config.path() + QStringLiteral("/autostart/zeph.desktop"));
        QVERIFY(registerAutostart(QStringLiteral("/old place/zeph")));
        QVERIFY(registerAutostart(QStringLiteral("/new place/100%/zeph")));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString entry = QString::fromUtf8(f.readAll());
        QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(entry.contains(QStringLiteral("Type=Application\n")));
        QString exec;
        for (const QString& line : entry.split(u'\n')) {
            if (line.startsWith(QStringLiteral("Exec=")))
                exec = line.mid(5);
        }
        QCOMPARE(parseExec(exec), QStringLiteral("/new place/100%/zeph"));
    }

    // The rule for the program a log-on entry may start: nobody but root and
    // this user can replace it or any folder above it; a sticky folder that
    // everyone may write (a /tmp) still counts, being owned by root.
    void programsOtherUsersCouldReplace()
    {
        QTemporaryDir dir;
        const auto place = [&dir](const char* folder, mode_t folderMode, mode_t fileMode) {
            const QString path = dir.filePath(QString::fromLatin1(folder));
            QDir().mkpath(path);
            ::chmod(QFile::encodeName(path).constData(), folderMode);
            const QString program = path + QStringLiteral("/zeph");
            QFile f(program);
            f.open(QIODevice::WriteOnly);
            f.close();
            ::chmod(QFile::encodeName(program).constData(), fileMode);
            return program;
        };
        QVERIFY(noOtherUserCanReplace(place("own", 0755, 0755)));
        QVERIFY(noOtherUserCanReplace(place("sticky", 01777, 0755)));
        QVERIFY(!noOtherUserCanReplace(place("open", 0777, 0755)));
        QVERIFY(!noOtherUserCanReplace(place("group", 0775, 0755)));
        QVERIFY(!noOtherUserCanReplace(place("file", 0755, 0777)));
        QVERIFY(!noOtherUserCanReplace(dir.filePath(QStringLiteral("missing/zeph"))));
        const QString link = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("own/zeph")), link));
        QVERIFY(!noOtherUserCanReplace(link));
    }

    void unwritableConfigIsNotFatal()
    {
        qputenv("XDG_CONFIG_HOME", "/proc/zeph-no-such-place");
        QVERIFY(!registerAutostart(QStringLiteral("/usr/bin/zeph")));
    }
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "test_autostart.moc"
