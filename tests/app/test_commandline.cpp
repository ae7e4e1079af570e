#include "app/commandline.h"
#include "app/displayplatform.h"

#include <QTest>

#include <cstdio>
#include <vector>

using namespace zeph;

namespace {

CommandLineAction parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "zeph");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

QByteArray answer(CommandLineAction action, int* code)
{
    // A temporary file rather than open_memstream, which Windows lacks.
    std::FILE* out = std::tmpfile();
    if (!out)
        qFatal("no temporary file");
    *code = printCommandLineAnswer(action, out);
    std::rewind(out);
    QByteArray text;
    char chunk[512];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;)
        text.append(chunk, static_cast<qsizetype>(n));
    std::fclose(out);
    return text;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void options()
    {
        QCOMPARE(parse({}), CommandLineAction::Run);
        QCOMPARE(parse({"--version"}), CommandLineAction::PrintVersion);
        QCOMPARE(parse({"--help"}), CommandLineAction::PrintHelp);
        QCOMPARE(parse({"-h"}), CommandLineAction::PrintHelp);
        // Qt's own options and anything unknown go on to the application.
        QCOMPARE(parse({"-platform", "xcb"}), CommandLineAction::Run);
        QCOMPARE(parse({"--versions"}), CommandLineAction::Run);
        QCOMPARE(parse({"-v"}), CommandLineAction::Run);
        const char* none[] = {nullptr};
        QCOMPARE(parseCommandLine(0, none), CommandLineAction::Run);
    }

    void answers()
    {
        int code = -1;
        QCOMPARE(answer(CommandLineAction::PrintVersion, &code),
                 QByteArray("zeph " ZEPH_VERSION "\n"));
        QCOMPARE(code, 0);
        const QString help = QString::fromUtf8(answer(CommandLineAction::PrintHelp, &code));
        QCOMPARE(code, 0);
        QVERIFY(help.startsWith(QStringLiteral("局域网即时通信(ZEPH)v0.1\n")));
        QVERIFY(help.contains(QStringLiteral("Usage: zeph [--help | --version]")));
        QVERIFY(answer(CommandLineAction::Run, &code).isEmpty());
    }

    void platformChoice_data()
    {
        QTest::addColumn<QByteArray>("qpa");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("X11 session")
            << QByteArray() << QByteArray(":0") << QByteArray() << QByteArray("xcb");
        QTest::newRow("Wayland with XWayland")
            << QByteArray() << QByteArray(":1") << QByteArray("wayland-0") << QByteArray("xcb");
        QTest::newRow("Wayland without XWayland")
            << QByteArray() << QByteArray() << QByteArray("wayland-0") << QByteArray("wayland");
        QTest::newRow("the user's choice stands")
            << QByteArray("wayland") << QByteArray(":1") << QByteArray("wayland-0") << QByteArray();
        QTest::newRow("no display: Qt reports it")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }
    void platformChoice()
    {
        QFETCH(QByteArray, qpa);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, expected);
        QCOMPARE(preferredPlatform(qpa, display, wayland), expected);
    }

    void preferenceLastsUntilReleased()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows has one platform plug-in: nothing is preferred");
#endif
        const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                                    qgetenv("WAYLAND_DISPLAY")};
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("DISPLAY", ":5");
        qputenv("WAYLAND_DISPLAY", "wayland-5");
        {
            PlatformPreference preference;
            QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("xcb"));
            preference.release();
            QVERIFY(!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        {
            PlatformPreference preference;
        }
        // A choice the user made is neither replaced nor taken away.
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen"));
        const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
        for (int i = 0; i < 3; ++i) {
            if (saved[i].isNull())
                qunsetenv(names[i]);
            else
                qputenv(names[i], saved[i]);
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
