// How arrivals reach the user: a flood brings the window forward a few times a
// second at most, and while the user works elsewhere the window comes without
// the keyboard and the tray icon stays marked until the user comes to it.

#include "ui/arrivals.h"
#include "ui/mainwindow.h"
#include "ui/traycontroller.h"
#include "ui/trayicon.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

using namespace zeph::ui;

namespace {

// Counts how often the window is shown, and sends it back into the tray each
// time, so that every showing is seen.
struct ShowCounter : QObject {
    MainWindow& window;
    int shows = 0;
    explicit ShowCounter(MainWindow& w) : window(w) { w.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            ++shows;
            QTimer::singleShot(0, &window, [this] {
                if (window.isVisible())
                    window.tray().hideWindow();
            });
        }
        return false;
    }
};

} // namespace

class TestArrivals : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aFloodCannotTakeTheWindow_data()
    {
        QTest::addColumn<bool>("elsewhere");
        QTest::newRow("user in no program") << false;
        QTest::newRow("user in another program") << true;
    }
    void aFloodCannotTakeTheWindow()
    {
        QFETCH(bool, elsewhere);
        MainWindow w(nullptr, [] { return true; });
        Arrivals arrivals(&w, w.control<QPlainTextEdit>(name::kSendBox), w.tray(), [elsewhere] {
            return elsewhere ? KeyboardOwner::AnotherProgram : KeyboardOwner::Nobody;
        });
        w.tray().hideWindow();
        ShowCounter counter(w);

        // One batch: shown once.
        for (int i = 0; i < 200; ++i)
            arrivals.arrived(QStringLiteral("PC01"), QStringLiteral("hi"));
        QTRY_COMPARE(counter.shows, 1);

        // One message every 10 ms for 1.5 s: a handful of showings, not 150.
        QElapsedTimer clock;
        clock.start();
        int sent = 0;
        while (clock.elapsed() < 1500) {
            arrivals.arrived(QStringLiteral("PC02"), QStringLiteral("more"));
            ++sent;
            QTest::qWait(10);
        }
        QTest::qWait(2 * Arrivals::kMinInterval.count());
        const int most = 2 + 1500 / static_cast<int>(Arrivals::kMinInterval.count());
        QVERIFY2(
            counter.shows >= 3 && counter.shows <= most,
            qPrintable(QStringLiteral("%1 showings for %2 messages").arg(counter.shows).arg(sent)));
    }

    // The user types in another program: the window comes forward without the
    // keyboard, the icon is marked and counts stay until the user comes to it.
    void elsewhereTheIconStaysMarkedUntilSeen()
    {
        MainWindow w(nullptr, [] { return true; });
        w.tray().install();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QLineEdit other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        other.setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), &other);
        Arrivals arrivals(&w, w.control<QPlainTextEdit>(name::kSendBox), w.tray(),
                          [] { return KeyboardOwner::AnotherProgram; });

        for (int i = 0; i < 3; ++i)
            arrivals.arrived(QStringLiteral("PC01"), QStringLiteral("hi"));
        QTRY_COMPARE(arrivals.unseen(), 3);
        QVERIFY(w.tray().icon()->isMarked());
        QVERIFY(w.isVisible());
        QTest::qWait(50);
        QCOMPARE(QApplication::activeWindow(), &other);
        QCOMPARE(QApplication::focusWidget(), &other);

        QTest::qWait(Arrivals::kMinInterval.count());
        arrivals.arrived(QStringLiteral("PC02"), QStringLiteral("again"));
        QTRY_COMPARE(arrivals.unseen(), 4);

        // The user comes to the window once it takes the keyboard again.
        QTest::qWait(TrayController::kRefuseFocusFor.count() + 100);
        w.activateWindow();
        QTRY_COMPARE(arrivals.unseen(), 0);
        QVERIFY(!w.tray().icon()->isMarked());
    }
};

QTEST_MAIN(TestArrivals)
#include "test_arrivals.moc"
