// The file the end-to-end scripts source, checked against the live main
// window: its size is the window's at start-up, and each click point lands
// on the control the scripts mean (not on one stacked above it).

#include "ui/mainwindow.h"
#include "ui/windowdef.h"

#include <QFile>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>

using namespace zeph::ui;

class TestWindowDef : public QObject {
    Q_OBJECT
private:
    QHash<QString, QString> m_vars;

    QPoint point(const QString& var) const
    {
        static const QRegularExpression pair(QStringLiteral("^\\((\\d+) (\\d+)\\)$"));
        const auto m = pair.match(m_vars.value(var));
        return m.hasMatch() ? QPoint(m.captured(1).toInt(), m.captured(2).toInt()) : QPoint(-1, -1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile file(qEnvironmentVariable("ZEPH_BINARY_DIR") +
                   QStringLiteral("/tests/e2e/windowdef.sh"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        static const QRegularExpression assignment(QStringLiteral("^([A-Z_]+)=(.*)$"));
        for (const QByteArray& line : file.readAll().split('\n')) {
            const auto m = assignment.match(QString::fromUtf8(line));
            if (m.hasMatch())
                m_vars.insert(m.captured(1), m.captured(2));
        }
    }

    void pointsLandOnTheirControls()
    {
        MainWindow w;
        w.applyStartUpGeometry();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(QStringLiteral("%1x%2").arg(m_vars.value("MAIN_W"), m_vars.value("MAIN_H")),
                 QStringLiteral("%1x%2").arg(w.width()).arg(w.height()));

        const std::pair<const char*, QStringView> targets[] = {
            {"AT_TARGET_BOX", name::kTargetBox},    {"AT_SEND_BOX", name::kSendBox},
            {"AT_MINIMIZE", name::kMinimiseButton}, {"AT_EXIT", name::kExitButton},
            {"AT_ABOUT_LABEL", name::kAboutLabel},  {"AT_FIRST_COMPUTER", name::kComputerList},
        };
        for (const auto& [var, control] : targets) {
            const QWidget* hit = w.childAt(point(var));
            while (hit && hit->parentWidget() != &w)
                hit = hit->parentWidget(); // a viewport: its scroll area
            QVERIFY2(hit && hit->objectName() == control, var);
        }

        // The first computer's point is on the first of the rows.
        auto* list = w.control<QListWidget>(name::kComputerList);
        list->addItems({QStringLiteral("alpha"), QStringLiteral("bravo")});
        const QPoint inList = list->viewport()->mapFrom(&w, point("AT_FIRST_COMPUTER"));
        QCOMPARE(list->row(list->itemAt(inList)), 0);
    }
};

QTEST_MAIN(TestWindowDef)
#include "test_windowdef.moc"
