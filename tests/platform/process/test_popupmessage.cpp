// The pop-up tool run as a plain process: exact argument vector, message on
// standard input, every way the tool can fail counted as failure.

#include "core/gbk.h"
#include "platform/process/popupmessage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>

using namespace zeph;

namespace {

bool writeScript(const QString& path, const QByteArray& body)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("#!/bin/sh\n" + body) > 0 &&
           f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A stand-in for the tool in a folder of its own; %1 in body is that folder.
struct FakeTool {
    QTemporaryDir dir;
    platform::PopupOptions options;
    QByteArray folder = QFile::encodeName(dir.path());

    bool make(const QString& name, const QByteArray& body)
    {
        options.program = dir.filePath(name);
        return dir.isValid() &&
               writeScript(options.program, QByteArray(body).replace("%1", folder));
    }
    bool exists(const QString& name) const { return QFile::exists(dir.filePath(name)); }
};

} // namespace

class TestPopupMessage : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        FakeTool tool;
        QVERIFY(tool.make("fake-smbclient",
                          "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > "
                          "'%1/args'\ncat > '%1/input'\necho 'Type your message'\n"));
        platform::PopupOptions& options = tool.options;
        options.extraArguments = {QStringLiteral("--configfile=/x y.conf")};
        const QByteArray& d = tool.folder;

        // Shell syntax in a target the tool accepts (15 bytes at most).
        const QByteArray target = G(u"机") + "\"';$(id)`-x";
        const QByteArray text =
            G(u"第一行\r\n\"$(touch ") + d + "/marker)\"; `id` ' \r\n" + G(u"——签名");
        const platform::PopupResult r =
            platform::sendPopupMessage(target, Ipv4Address(10, 0, 0, 9), text, options);
        QVERIFY(r.delivered);
        QCOMPARE(r.output, QByteArray("Type your message\n"));

        QFile args(tool.dir.filePath("args"));
        QVERIFY(args.open(QIODevice::ReadOnly));
        QList<QByteArray> argv = args.readAll().split('\0');
        args.close();
        QCOMPARE(argv.takeLast(), QByteArray());
        QCOMPARE(argv, (QList<QByteArray>{"--configfile=/x y.conf", "--option=unix charset=CP936",
                                          "--option=dos charset=CP936", "--message=" + target,
                                          "--ip-address=10.0.0.9"}));
        QFile input(tool.dir.filePath("input"));
        QVERIFY(input.open(QIODevice::ReadOnly));
        // The tool adds the CR before each LF itself.
        QCOMPARE(input.readAll(), QByteArray(text).replace("\r\n", "\n"));
        QVERIFY(!tool.exists("marker"));

        // Without an address the tool finds the name itself.
        QVERIFY(platform::sendPopupMessage("PC02", {}, "x", options).delivered);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QVERIFY(!args.readAll().contains("--ip-address"));
    }

    void toolFailuresAreFailures()
    {
        FakeTool tool;
        tool.options.program = tool.dir.filePath("no-such-tool");
        QVERIFY(!platform::sendPopupMessage("PC01", {}, "x", tool.options).delivered);
        // Silent, exit status 1, refused on standard error; and a tool that
        // exits early without reading its input: no SIGPIPE, just a failure.
        for (const QByteArray& body :
             {QByteArray("cat >/dev/null\nexit 0\n"),
              QByteArray("echo 'Type your message'\nexit 1\n"),
              QByteArray("echo 'Type your message'\necho 'cli_message returned "
                         "NT_STATUS_REQUEST_NOT_ACCEPTED' >&2\n"),
              QByteArray("exit 3\n")}) {
            QVERIFY(tool.make("tool", body));
            QVERIFY2(!platform::sendPopupMessage("PC01", {}, QByteArray(1500, 'x'), tool.options)
                          .delivered,
                     body.constData());
        }
    }

    void hangingToolIsEndedAtTheLimit()
    {
        FakeTool tool;
        QVERIFY(tool.make("hang", "echo $$ >%1/pid\necho 'Type your message'\nexec sleep 300\n"));
        tool.options.timeoutMs = 500;
        const platform::PopupResult r = platform::sendPopupMessage("PC01", {}, "x", tool.options);
        QVERIFY(!r.delivered);
        QVERIFY(r.output.contains("Type your message"));
        // The call came back because the tool was ended, not because it finished.
        QFile pidFile(tool.dir.filePath("pid"));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t pid = pidFile.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
    }

    void availabilityFollowsThePath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()));
        const bool without = platform::popupMessageAvailable();
        const bool written = writeScript(dir.filePath("smbclient"), "exit 0\n");
        const bool with = platform::popupMessageAvailable();
        qputenv("PATH", oldPath);
        QVERIFY(written);
        QVERIFY(!without);
        QVERIFY(with);
    }

    void unusableTargetsNeverReachTheTool()
    {
        FakeTool tool;
        QVERIFY(tool.make("record", "cat >/dev/null\ntouch '%1/ran'\necho 'Type your message'\n"));
        const platform::PopupOptions& options = tool.options;
        const QString ran = tool.dir.filePath("ran");
        // '#' would select a name type; 16 bytes would be cut to another name;
        // '*', "/..." and "\\..." are the broadcast and path forms.
        for (const QByteArray& target :
             {QByteArray("PC01#20"), QByteArray("PC\x01"), QByteArray("PC\t1"),
              QByteArray("PC\x7F"), QByteArray(16, 'A'), G(u"一二三四五六七八"), QByteArray("*"),
              QByteArray("PC*"), QByteArray("/USERS"), QByteArray("/DOMAIN:x"),
              QByteArray("\\\\srv")}) {
            QVERIFY2(!platform::sendPopupMessage(target, {}, "x", options).delivered,
                     target.toHex().constData());
            QVERIFY2(!QFile::exists(ran), target.toHex().constData());
        }
        // A text that starts with '/' never reaches the tool as such.
        QVERIFY(!platform::sendPopupMessage("PC1", {}, "/USERS hi", options).delivered);
        QVERIFY(!QFile::exists(ran));
        QCOMPARE(platform::popupTextAsText("/x"), QByteArray(" /x"));
        QCOMPARE(platform::popupTextAsText("a/x"), QByteArray("a/x"));
        const QByteArray longest = G(u"一二三四五六七") + "A";
        QCOMPARE(longest.size(), platform::kMaxPopupTargetBytes);
        QVERIFY(platform::sendPopupMessage(longest, {}, "x", options).delivered);
        QVERIFY(QFile::exists(ran));
    }

    void toolGetsOnlyItsOwnEnvironment()
    {
        FakeTool tool;
        QVERIFY(
            tool.make("env-record", "cat >/dev/null\nenv > '%1/env'\necho 'Type your message'\n"));
        qputenv("LIBSMB_PROG", "nc 10.0.0.1 139");
        qputenv("LD_PRELOAD", "/nonexistent.so");
        const bool delivered = platform::sendPopupMessage("PC01", {}, "x", tool.options).delivered;
        qunsetenv("LIBSMB_PROG");
        qunsetenv("LD_PRELOAD");
        QVERIFY(delivered);
        QFile env(tool.dir.filePath("env"));
        QVERIFY(env.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = env.readAll().split('\n');
        lines.removeAll(QByteArray());
        lines.removeIf([](const QByteArray& l) { return l.startsWith("PWD="); }); // the shell's own
        std::sort(lines.begin(), lines.end());
        QCOMPARE(lines, (QList<QByteArray>{"LANG=C", "LC_ALL=C", "PATH=/usr/bin:/bin"}));
    }

    void relativePathEntriesAreNeverSearched()
    {
        // A "smbclient" in the working folder, which an empty or relative PATH
        // entry would name.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        const QString ran = dir.filePath("ran");
        for (const QString& at : {dir.filePath("smbclient"), dir.filePath("sub/smbclient")})
            QVERIFY(writeScript(at, "touch '" + QFile::encodeName(ran) +
                                        "'\necho 'Type your message'\n"));
        const QString oldDir = QDir::currentPath();
        const QByteArray oldPath = qgetenv("PATH");
        QVERIFY(QDir::setCurrent(dir.path()));
        QList<bool> found;
        QList<bool> delivered;
        for (const QByteArray& path : {QByteArray(""), QByteArray(":/nonexistent"),
                                       QByteArray("/nonexistent::"), QByteArray("sub")}) {
            qputenv("PATH", path);
            found << platform::popupMessageAvailable();
            delivered << platform::sendPopupMessage("PC01", {}, "x").delivered;
        }
        qputenv("PATH", oldPath);
        QVERIFY(QDir::setCurrent(oldDir));
        QCOMPARE(found, QList<bool>(4, false));
        QCOMPARE(delivered, QList<bool>(4, false));
        QVERIFY(!QFile::exists(ran));
    }

    void textTooLongForTheToolIsNotSent()
    {
        FakeTool tool;
        QVERIFY(tool.make("record", "cat > '%1/input'\necho 'Type your message'\n"));
        const platform::PopupOptions& options = tool.options;
        // The tool counts each line break as CR LF.
        const QByteArray fits = QByteArray(platform::kMaxPopupTextBytes - 2, 'a') + "\r\n";
        QVERIFY(platform::sendPopupMessage("PC01", {}, fits, options).delivered);
        QVERIFY(QFile::remove(tool.dir.filePath("input")));
        QVERIFY(!platform::sendPopupMessage("PC01", {}, fits + "b", options).delivered);
        QVERIFY(!platform::sendPopupMessage(
                     "PC01", {}, QByteArray(platform::kMaxPopupTextBytes - 1, 'a') + "\n", options)
                     .delivered);
        QVERIFY(!tool.exists("input"));
        // A zero byte would cut the message short in the tool.
        QVERIFY(!platform::sendPopupMessage("PC01", {}, QByteArray("a\0b", 3), options).delivered);
        QVERIFY(!tool.exists("input"));
    }
};

QTEST_GUILESS_MAIN(TestPopupMessage)
#include "test_popupmessage.moc"
