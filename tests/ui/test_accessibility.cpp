// What a screen reader and a keyboard user meet: every control named by the
// window definition through Qt's accessibility interfaces (the same on both
// platforms), the target box named by its label, the about link pressed by
// action or F1, a message landing the keyboard in the send box, the computer
// list by keys; and every caption fitting its box in the fonts and at the
// scale of the run (also run with QT_SCALE_FACTOR 1.5 and 2).

#include "ui/aboutwindow.h"
#include "ui/controls.h"
#include "ui/mainwindow.h"
#include "ui/texts.h"
#include "ui/windowdef.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace zeph;
using namespace zeph::ui;

namespace {

QAccessibleInterface* ifaceOf(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString stripAmp(QStringView caption)
{
    QString s = caption.toString();
    s.remove(u'&');
    return s;
}

const ControlDef* defOf(const WindowDef& window, QStringView name)
{
    for (const ControlDef& c : window.controls) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

// The name a control must have: the definition's, else its label's text, else its caption.
QString expectedName(const WindowDef& window, const ControlDef& c)
{
    if (!c.access.name.isEmpty())
        return c.access.name.toString();
    if (!c.access.labelledBy.isEmpty())
        return defOf(window, c.access.labelledBy)->text.toString();
    return stripAmp(c.text);
}

// Every built control of a window: the name and role a screen reader reads,
// and the description where the definition has one.
void checkControls(const DefinedWindow& w)
{
    for (const ControlDef& c : w.definition().controls) {
        QWidget* widget = w.control(c.name);
        if (widget == nullptr)
            continue;
        const QString what = c.name.toString();
        QAccessibleInterface* iface = ifaceOf(widget);
        QVERIFY2(iface, qPrintable(what));
        const QString name = iface->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty() && name != u"*", qPrintable(what));
        if (!qobject_cast<FlatLabel*>(widget) || !c.access.name.isEmpty()) // captions change
            QCOMPARE(name, expectedName(w.definition(), c));
        // What the definition wrote for the control, whichever of its texts.
        const QString description = iface->text(QAccessible::Description);
        const QStringList written = {c.access.description.toString(), c.hint.toString(),
                                     c.tooltip.toString()};
        if (!c.access.description.isEmpty() || !c.hint.isEmpty() || !c.tooltip.isEmpty())
            QVERIFY2(!description.isEmpty() && written.contains(description), qPrintable(what));
        if (c.access.role != QAccessible::NoRole)
            QCOMPARE(iface->role(), c.access.role);
        // No control is left a filler or a client area without a role to announce.
        QVERIFY2(iface->role() != QAccessible::Client, qPrintable(what));
    }
}

QAccessibleInterface* relation(QAccessibleInterface* from, QAccessible::Relation kind)
{
    const auto found = from->relations(kind);
    return found.isEmpty() ? nullptr : found.first().first;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mainWindowNamesAndRoles()
    {
        MainWindow w;
        checkControls(w);
        // The visible caption of the minimise button stays "*".
        QCOMPARE(w.control<QPushButton>(name::kMinimiseButton)->text(), QStringLiteral("*"));

        // The frameless window is a frame named by its title bar, also when that changes.
        QAccessibleInterface* window = ifaceOf(&w);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("标签标题"));
        w.setTitleCaption(QStringLiteral("局域网即时通信(ZEPH)v0.1--PC1"));
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("局域网即时通信(ZEPH)v0.1--PC1"));
        QCOMPARE(ifaceOf(w.control(name::kTitleBar))->text(QAccessible::Name),
                 QStringLiteral("局域网即时通信(ZEPH)v0.1--PC1"));
        QVERIFY(w.windowTitle().isEmpty()); // what the taskbar shows is unchanged

        // The target box and its label name each other.
        QAccessibleInterface* target = ifaceOf(w.control(name::kTargetBox));
        QAccessibleInterface* label = ifaceOf(w.control(name::kTargetLabel));
        QCOMPARE(target->text(QAccessible::Name), QStringLiteral("目标计算机："));
        QCOMPARE(relation(target, QAccessible::Label), label);
        QCOMPARE(relation(label, QAccessible::Labelled), target);
        QCOMPARE(w.control<QLabel>(name::kTargetLabel)->buddy(), w.control(name::kTargetBox));

        // The status line reads as one, with what it shows.
        w.scanView().setStatus("abc");
        QCOMPARE(ifaceOf(w.control(name::kStatusLine))->text(QAccessible::Name),
                 QStringLiteral("abc"));
    }

    void aboutWindowAndTrayMenu()
    {
        MainWindow w;
        w.showAbout();
        AboutWindow* about = w.aboutWindow();
        QVERIFY(about);
        checkControls(*about);
        QAccessibleInterface* window = ifaceOf(about);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), aboutWindowDef().title.toString());
        QVERIFY(ifaceOf(about->control(name::kAboutLink))
                    ->text(QAccessible::Name)
                    .startsWith(texts::kAboutLinkCaption.toString()));

        auto* menu = w.findChild<QMenu*>(QStringLiteral("托盘菜单"));
        QVERIFY(menu);
        QAccessibleInterface* menuIface = ifaceOf(menu);
        QCOMPARE(menuIface->role(), QAccessible::PopupMenu);
        QCOMPARE(menuIface->text(QAccessible::Name), texts::kTrayMenu.toString());
    }

    void aboutLinkByActionAndByKey()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QAccessibleInterface* link = ifaceOf(w.control(name::kAboutLabel));
        QCOMPARE(link->role(), QAccessible::Link);
        QAccessibleActionInterface* actions = link->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(w.aboutWindow());
        w.aboutWindow()->close();
        QTRY_VERIFY(!w.aboutWindow());

        w.activateWindow();
        QTRY_VERIFY(w.isActiveWindow());
        auto* sendBox = w.control<QPlainTextEdit>(name::kSendBox);
        sendBox->setFocus();
        QTest::keyClick(sendBox, key::kAbout);
        QVERIFY(w.aboutWindow());
        QVERIFY(sendBox->toPlainText().isEmpty());
    }

    void arrivalFocusesTheSendBoxAndTellsWhoWrote()
    {
        MainWindow w(nullptr, [] { return true; }); // a notification area to hide into
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* target = w.control<QLineEdit>(name::kTargetBox);
        auto* sendBox = w.control<QPlainTextEdit>(name::kSendBox);

        // A window in use keeps the focus where the user has it.
        w.activateWindow();
        QTRY_VERIFY(w.isActiveWindow());
        target->setFocus();
        w.form().showArrival({}, "hi"); // a text without a sender
        QTest::qWait(20);
        QCOMPARE(QApplication::focusWidget(), target);
        QCOMPARE(ifaceOf(&w)->text(QAccessible::Description), texts::kMessageArrived.toString());

        // Hidden in the tray: the message brings it forward, and the keyboard
        // goes to the send box (the window's focus once it is active).
        w.tray().hideWindow();
        w.form().setTarget(QByteArray("\xC4\xE3", 2)); // 你
        w.form().showArrival(QByteArray("\xC4\xE3", 2), "hi");
        QTRY_VERIFY(w.isVisible());
        QTRY_COMPARE(w.focusWidget(), sendBox);
        QCOMPARE(ifaceOf(&w)->text(QAccessible::Description), QStringLiteral("收到你发来的信息"));
        QCOMPARE(w.form().target(), QByteArray("\xC4\xE3", 2));
    }

    void computerListByKeys()
    {
        MainWindow w;
        QSignalSpy sent(&w, &MainWindow::sendRequested);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.scanView().addComputer("PC01", *ipv4::parse("10.0.0.1"));
        w.scanView().addComputer("PC02", *ipv4::parse("10.0.0.2"));
        auto* list = w.control<QListWidget>(name::kComputerList);
        list->setCurrentRow(0, QItemSelectionModel::NoUpdate); // where Tab leaves the keyboard
        list->setFocus(Qt::TabFocusReason);
        QVERIFY(w.form().target().isEmpty());

        // Enter on the row the keyboard is on chooses it; it does not send yet.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(w.form().target(), QByteArray("PC01"));
        QCOMPARE(sent.size(), 0);
        // The arrows choose as they move; Enter on a chosen row sends.
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(w.form().target(), QByteArray("PC02"));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
    }

    void captionsFitTheirBoxes_data()
    {
        QTest::addColumn<QString>("family"); // empty: the run's own font
        QTest::addColumn<int>("extraPixels");
        QTest::newRow("the run's font") << QString() << 0;
        // Other fonts, as another system gives them: serif and wide, and larger.
        QTest::newRow("serif") << QStringLiteral("DejaVu Serif") << 0;
        QTest::newRow("two pixels larger") << QString() << 2;
    }

    void captionsFitTheirBoxes()
    {
        QFETCH(QString, family);
        QFETCH(int, extraPixels);
        MainWindow w;
        w.showAbout();
        for (const DefinedWindow* window :
             {static_cast<DefinedWindow*>(&w), static_cast<DefinedWindow*>(w.aboutWindow())}) {
            for (const ControlDef& c : window->definition().controls) {
                auto* label = window->control<FlatLabel>(c.name);
                if (label == nullptr)
                    continue;
                const QString what = c.name.toString();
                QFont f = label->font();
                if (!family.isEmpty())
                    f.setFamily(family);
                f.setPixelSize(QFontInfo(f).pixelSize() + extraPixels);
                label->setFont(f);
                QCOMPARE(label->size(), c.geometry.size()); // the box is the definition's
                const QRect area = label->captionArea();
                QVERIFY2(label->rect().contains(area), qPrintable(what));
                const QFont shown = label->shownFont();
                QVERIFY2(QFontInfo(shown).pixelSize() >= 8, qPrintable(what));
                QVERIFY2(label->fits(shown, area), qPrintable(what));
                // Shrunk only when needed: what fits keeps the size a user sees today.
                if (label->fits(f, area))
                    QCOMPARE(QFontInfo(shown).pixelSize(), QFontInfo(f).pixelSize());
            }
        }
    }

    void classicFontWhereInstalled()
    {
        QFont base(QStringLiteral("Arial"));
        base.setPointSize(20);
        const QFont simsun =
            MainWindow::classicGuiFont(base, {QStringLiteral("Tahoma"), QStringLiteral("simsun")});
        QCOMPARE(simsun.family(), QStringLiteral("SimSun"));
        QCOMPARE(simsun.pixelSize(), 12);
        QCOMPARE(MainWindow::classicGuiFont(base, {QStringLiteral("宋体")}).family(),
                 QStringLiteral("宋体"));
        const QFont other = MainWindow::classicGuiFont(base, {QStringLiteral("Tahoma")});
        QCOMPARE(other.family(), QStringLiteral("Arial"));
        QCOMPARE(other.pixelSize(), 12);
#ifdef Q_OS_WIN
        MainWindow w; // Windows gives its installed families
        if (QFontDatabase::families().contains(QStringLiteral("SimSun"), Qt::CaseInsensitive))
            QCOMPARE(w.font().family(), QStringLiteral("SimSun"));
#endif
    }

    void bannerIsSharpOnDenseScreens()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* banner = w.control<PictureBox>(name::kBanner);
        QCOMPARE(banner->image().size(), QSize(124, 65));
        QCOMPARE(banner->image2x().size(), QSize(248, 130));
        const qreal ratio = banner->devicePixelRatioF();
        const QImage shown = banner->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // Drawn pixel for pixel: the 2x image on a screen of two device pixels
        // to one (or more), the 1x image otherwise.
        const QImage& source = ratio > 1.0 ? banner->image2x() : banner->image();
        const QImage expected =
            source.convertToFormat(QImage::Format_RGB32).copy(QRect(QPoint(0, 0), shown.size()));
        if (ratio == 1.0 || ratio == 2.0) // a fractional ratio scales on the way
            QCOMPARE(shown.copy(QRect(QPoint(0, 0), expected.size())), expected);
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
