// Appends 100,000 entries to the history shown in the main window's pane, then
// saves it. Prints the time per append for the first and the last 10,000 (a
// ratio near 1 means no cost that grows with the history) and the save time.
// Opens no socket.

#include "core/gbk.h"
#include "history/history.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zeph::History history;
    zeph::ui::MainWindow window;
    window.historyPane().attach(history);
    window.show();
    history.initialise();

    constexpr int kEntries = 100000;
    constexpr int kSlice = 10000;
    const QByteArray line = zeph::G(u"您于2004年1月2日15时30分发送给|PC01|的信息：");
    const QByteArray content = zeph::G(u"一条普通长度的信息，大约五十个字节。abc");
    QElapsedTimer timer;
    double firstMs = 0, lastMs = 0;
    timer.start();
    for (int i = 0; i < kEntries; ++i) {
        switch (i % 4) {
        case 0:
            history.appendSeparator();
            break;
        case 1:
            history.appendLine(line);
            break;
        case 2:
            history.appendLine(content);
            break;
        default:
            history.appendNotice(zeph::G(u"信息已发送到目标计算机。"));
            break;
        }
        if (i + 1 == kSlice)
            firstMs = double(timer.nsecsElapsed()) / 1e6;
        if (i + 1 == kEntries - kSlice)
            timer.restart();
    }
    lastMs = double(timer.nsecsElapsed()) / 1e6;

    QTemporaryDir dir;
    timer.restart();
    const bool saved = history.save(dir.filePath(QStringLiteral("history.txt")));
    const double saveMs = double(timer.nsecsElapsed()) / 1e6;

    std::printf("history entries          %d (%lld bytes)\n", kEntries,
                static_cast<long long>(history.text().size()));
    std::printf("first %d appends    %8.2f us per append\n", kSlice, firstMs * 1000 / kSlice);
    std::printf("last  %d appends    %8.2f us per append\n", kSlice, lastMs * 1000 / kSlice);
    std::printf("last / first ratio       %8.2f\n", lastMs / firstMs);
    std::printf("save                     %8.2f ms (%s)\n", saveMs, saved ? "ok" : "FAILED");
    return saved ? 0 : 1;
}
