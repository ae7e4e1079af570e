// The main window as the user meets it: controls from the definition, the
// keyboard, hints, select-all, the about window, the history pane and the tray.

#include "core/gbk.h"
#include "history/history.h"
#include "modal.h"
#include "ui/aboutwindow.h"
#include "ui/controls.h"
#include "ui/definedwindow.h"
#include "ui/mainwindow.h"
#include "ui/texts.h"
#include "ui/trayicon.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

using namespace zeph;
using namespace zeph::ui;

namespace {

// Counts what the window asks of the controllers, by its typed signals.
struct Counting {
    QHash<QString, int> calls;
    void attach(MainWindow& w)
    {
        const auto count = [this](const char* what) { return [this, what] { ++calls[what]; }; };
        QObject::connect(&w, &MainWindow::sendRequested, count("send"));
        QObject::connect(&w, &MainWindow::broadcastRequested, count("broadcast"));
        QObject::connect(&w, &MainWindow::popupSendRequested, count("popup"));
        QObject::connect(&w, &MainWindow::scanRequested, count("scan"));
        QObject::connect(&w, &MainWindow::cancelScanRequested, count("cancel"));
        QObject::connect(&w, &MainWindow::exitRequested, [this](ExitKind kind) {
            ++calls[kind == ExitKind::Confirmed ? "confirmed exit" : "immediate exit"];
        });
    }
};

// The main window over a fresh history (its banner written), as the program
// starts.
struct Shown {
    History h;
    MainWindow w;
    Shown()
    {
        h.initialise();
        w.historyPane().attach(h);
    }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlsFollowTheDefinition()
    {
        MainWindow w;
        const auto controls = mainWindowDef().controls;
        QWidget* above = nullptr;
        for (const ControlDef& c : controls) {
            QWidget* widget = w.control(c.name);
            const bool visual = c.kind != Kind::FileDialog && c.kind != Kind::DatagramEndpoint;
            QCOMPARE(widget != nullptr, visual);
            if (!widget)
                continue;
            QCOMPARE(widget->objectName(), c.name.toString());
            const QRect expected = c.geometry.translated(1, 1);
            if (c.kind == Kind::EditBox && !(c.flags & MultiLine)) {
                // A single-line box may grow, downwards only, to show a whole
                // line of its font inside its frame.
                QCOMPARE(widget->geometry().topLeft(), expected.topLeft());
                QCOMPARE(widget->width(), expected.width());
                QVERIFY(widget->height() >= expected.height());
                const QRect line = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect();
                QVERIFY2(line.height() >= QFontMetrics(widget->font()).height() &&
                             line.top() >= 0 && line.bottom() < widget->height(),
                         qPrintable(c.name.toString()));
            } else {
                QCOMPARE(widget->geometry(), expected);
            }
            // Each control stands below the one before it in the table.
            if (above) {
                const QObjectList order = w.children();
                QVERIFY2(order.indexOf(widget) < order.indexOf(above),
                         qPrintable(c.name.toString()));
            }
            above = widget;
        }
        QVERIFY(w.control(name::kProgressBar)->isHidden());
        auto* bar = w.control<QProgressBar>(name::kProgressBar);
        QCOMPARE(bar->minimum(), 1);
        QCOMPARE(bar->maximum(), 255);
        QCOMPARE(w.control<QPushButton>(name::kCancelScanButton)->toolTip(),
                 QStringLiteral("取消刷新计算机列表"));
        QCOMPARE(w.control<QPushButton>(name::kRefreshButton)->toolTip(),
                 QStringLiteral("刷新网上邻居计算机列表"));
        QStringList tips;
        for (const ControlDef& c : controls) {
            if (c.kind == Kind::StyledButton && !c.tooltip.isEmpty())
                tips << c.tooltip.toString();
        }
        QCOMPARE(QSet<QString>(tips.begin(), tips.end()).size(), tips.size()); // each says its own
        QCOMPARE(w.control<QPlainTextEdit>(name::kHistoryBox)->isReadOnly(), true);
        QCOMPARE(w.control<QLineEdit>(name::kSignatureBox)->text(),
                 QStringLiteral("*在此输入签名*"));
    }

    void tabOrderFollowsTheDefinition()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList expected;
        for (QStringView name : mainWindowDef().tabOrder)
            expected << name.toString();
        QCOMPARE(expected.first(), QStringLiteral("计算机列表框"));
        QCOMPARE(expected.last(), QStringLiteral("按钮最小化"));
        QWidget* first = w.control(expected.first());
        first->setFocus();
        QStringList seen;
        QWidget* current = first;
        for (int i = 0; i < expected.size(); ++i) {
            seen << current->objectName();
            current = current->nextInFocusChain();
            while (current->focusPolicy() == Qt::NoFocus || !w.isAncestorOf(current))
                current = current->nextInFocusChain();
        }
        QCOMPARE(seen, expected);
    }

    void enterAndMnemonics()
    {
        MainWindow w;
        Counting c;
        c.attach(w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* target = w.control<QLineEdit>(name::kTargetBox);
        auto* sendBox = w.control<QPlainTextEdit>(name::kSendBox);

        // Enter in the target box clicks the default button.
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(c.calls["send"], 1);
        QCOMPARE(target->text(), QString());

        // Enter on another button clicks the default button too.
        auto* exitButton = w.control<QPushButton>(name::kExitButton);
        exitButton->setFocus();
        QTest::keyClick(exitButton, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(c.calls["send"], 2);
        QCOMPARE(c.calls["confirmed exit"], 0);

        // Enter in the send box is a line break; Ctrl alone with Enter sends.
        sendBox->setFocus();
        QTest::keyClicks(sendBox, QStringLiteral("ab"));
        QTest::keyClick(sendBox, Qt::Key_Return);
        QTest::keyClicks(sendBox, QStringLiteral("c"));
        QCOMPARE(sendBox->toPlainText(), QStringLiteral("ab\nc"));
        QCOMPARE(w.form().content(), QByteArray("ab\r\nc"));
        QCOMPARE(c.calls["send"], 2);
        QTest::keyClick(sendBox, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(c.calls["send"], 3);
        QTest::keyClick(sendBox, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(sendBox, Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(c.calls["send"], 3);

        // Alt+letter clicks the button whose caption has that mnemonic.
        QTest::keyClick(sendBox, Qt::Key_F, Qt::AltModifier);
        QCOMPARE(c.calls["send"], 4);
        QTest::keyClick(sendBox, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(c.calls["scan"], 1);
        QTest::keyClick(sendBox, Qt::Key_Q, Qt::AltModifier);
        QCOMPARE(c.calls["cancel"], 1);
        QTest::keyClick(sendBox, Qt::Key_G, Qt::AltModifier);
        QCOMPARE(c.calls["broadcast"], 1);
        QTest::keyClick(sendBox, Qt::Key_F, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(c.calls["send"], 4);

        // Alt+K clears the history, Alt+B opens the save dialog.
        History h;
        h.initialise();
        h.appendNotice("x");
        w.historyPane().attach(h);
        QTest::keyClick(sendBox, Qt::Key_K, Qt::AltModifier);
        QCOMPARE(h.text(), History::banner() + "\r\n");
        bool dialogShown = false;
        test::whenModal([&](QWidget* dialog) {
            dialogShown = qobject_cast<QFileDialog*>(dialog) != nullptr;
            static_cast<QDialog*>(dialog)->reject();
        });
        QTest::keyClick(sendBox, Qt::Key_B, Qt::AltModifier);
        QVERIFY(dialogShown);

        // A disabled send button takes neither Alt+F nor Enter.
        w.control(name::kSendButton)->setEnabled(false);
        QTest::keyClick(sendBox, Qt::Key_F, Qt::AltModifier);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(c.calls["send"], 4);
    }

    void escapeReachesTheWindowOnlyWithoutAFocusedControl()
    {
        MainWindow w;
        Counting c;
        c.attach(w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* target = w.control<QLineEdit>(name::kTargetBox);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        QCOMPARE(c.calls["cancel"], 0);

        // A scan starts from a click on the refresh button, which then loses the focus.
        auto* refresh = w.control(name::kRefreshButton);
        refresh->setFocus();
        QVERIFY(refresh->hasFocus());
        w.scanView().setScanButtons(true);
        QVERIFY(!refresh->isEnabled());
        QVERIFY(w.control(name::kCancelScanButton)->isEnabled());
        QVERIFY(QApplication::focusWidget() == &w);
        QTest::keyClick(&w, Qt::Key_Escape, Qt::ShiftModifier);
        QCOMPARE(c.calls["cancel"], 1);
        w.scanView().setScanButtons(false);
        QVERIFY(refresh->isEnabled());
        QVERIFY(!w.control(name::kCancelScanButton)->isEnabled());
    }

    void disablingTheFocusedControlLeavesTheFocusWithTheWindow()
    {
        MainWindow w;
        Counting c;
        c.attach(w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The end of a scan disables the focused cancel button: Space must not
        // press the control Qt would otherwise hand the focus to.
        w.scanView().setScanButtons(true);
        auto* cancel = w.control(name::kCancelScanButton);
        cancel->setFocus();
        w.scanView().setScanButtons(false);
        QCOMPARE(QApplication::focusWidget(), &w);
        QTest::keyClick(&w, Qt::Key_Space);
        QTest::keyClick(&w, Qt::Key_Escape); // a key of the window's own
        QCOMPARE(c.calls["scan"], 0);
        QCOMPARE(c.calls["cancel"], 1);

        // The messenger button while the pop-up is on its way.
        auto* messenger = w.control(name::kMessengerButton);
        messenger->setFocus();
        w.form().setMessengerButtonEnabled(false);
        QCOMPARE(QApplication::focusWidget(), &w);
        QTest::keyClick(&w, Qt::Key_Space);
        QCOMPARE(c.calls.value("popup"), 0);
        QCOMPARE(c.calls.value("scan"), 0);
        w.form().setMessengerButtonEnabled(true);
        QVERIFY(messenger->isEnabled());
    }

    void hintsFollowTheScanFlag()
    {
        MainWindow w;
        bool scanning = false;
        w.setScanRunningQuery([&] { return scanning; });
        auto* status = w.control<FlatLabel>(name::kStatusLine);
        QCOMPARE(status->caption(), QStringLiteral("标签"));
        auto* target = w.control(name::kTargetBox);
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, {}, {});
        QApplication::sendEvent(target, &move);
        QCOMPARE(status->caption(), QStringLiteral("此为目标计算机名，可以手动输入。"));
        scanning = true;
        QApplication::sendEvent(w.control<QListWidget>(name::kComputerList)->viewport(), &move);
        QCOMPARE(status->caption(),
                 QStringLiteral("在此选择目标计算机。正在刷新计算机列表，请稍候……"));
        // Nothing restores the line when the pointer moves on to the title bar.
        QApplication::sendEvent(w.control(name::kTitleBar), &move);
        QCOMPARE(status->caption(),
                 QStringLiteral("在此选择目标计算机。正在刷新计算机列表，请稍候……"));
    }

    void signatureSelectsAllOnFocusAndClick()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* sig = w.control<QLineEdit>(name::kSignatureBox);
        sig->setFocus();
        QCOMPARE(sig->selectedText(), QStringLiteral("*在此输入签名*"));
        QCOMPARE(gbk::fromUnicode(sig->selectedText()).size(), 14);
        sig->setText(QStringLiteral("abc"));
        QTest::mouseClick(sig, Qt::LeftButton);
        QCOMPARE(sig->selectedText(), QStringLiteral("abc"));
        sig->clear();
        QTest::mouseClick(sig, Qt::LeftButton);
        QCOMPARE(sig->selectedText(), QString());
    }

    void aboutWindowOneAtATime()
    {
        MainWindow w;
        w.showAbout();
        QPointer<AboutWindow> first = w.aboutWindow();
        QVERIFY(first);
        QCOMPARE(first->windowTitle(), QStringLiteral("关于Zeph"));
        const QStringList lines = first->shownText().split(u'\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("局域网即时通信(ZEPH)v0.1"));
        QVERIFY(lines[1].contains(QStringLiteral("2003.11.18")));
        w.showAbout();
        QCOMPARE(w.aboutWindow(), first.data());
        QCOMPARE(w.findChildren<AboutWindow*>().size(), 1);
        QTest::keyClick(first, Qt::Key_Escape);
        QTRY_VERIFY(first.isNull()); // closed and gone
        w.showAbout();
        QVERIFY(w.aboutWindow());
    }

    void aboutWindowOuterSizeIsTheDefinitions()
    {
        MainWindow w;
        w.showAbout();
        AboutWindow* about = w.aboutWindow();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        const QMargins frame = about->windowHandle()->frameMargins();
        QVERIFY2(!frame.isNull(), "the platform gives the window no frame to include");
        QTRY_COMPARE(about->frameGeometry().size(), QSize(245, 130));
        QCOMPARE(about->size(),
                 QSize(245 - frame.left() - frame.right(), 130 - frame.top() - frame.bottom()));
        const QRect screen = about->screen()->geometry();
        QCOMPARE(about->frameGeometry().topLeft(),
                 screen.topLeft() +
                     QPoint((screen.width() - 245) / 2, (screen.height() - 130) / 2));
    }

    void paneMirrorsTheHistoryLosslessly()
    {
        Shown shown;
        auto& [h, w] = shown;
        auto* pane = w.control<QPlainTextEdit>(name::kHistoryBox);
        QVERIFY(pane->toPlainText().startsWith(QStringLiteral("★★★欢迎使用")));
        pane->selectAll();
        const QByteArray odd("\x81|\xFF name", 8);
        h.appendLine(odd);
        QTRY_VERIFY(!pane->textCursor().hasSelection());
        QVERIFY(pane->textCursor().atEnd());
        QCOMPARE(pane->toPlainText().count(u'\n'), 2);
        QVERIFY(!pane->document()->isUndoAvailable());
        // A name that arrived as invalid GBK goes through the target box unchanged.
        w.form().setTarget(odd);
        QCOMPARE(w.form().target(), odd);
        // What the boxes hold beyond GBK is named, once each, send box first;
        // the same bytes that arrived as invalid GBK are carried.
        QVERIFY(w.form().uncarried().isEmpty());
        w.control<QPlainTextEdit>(name::kSendBox)
            ->setPlainText(QStringLiteral(u"午饭😀\n😀") + gbk::toUnicode(odd));
        w.control<QLineEdit>(name::kSignatureBox)->setText(QStringLiteral(u"안😀"));
        QCOMPARE(w.form().uncarried(), (QList<char32_t>{0x1F600, 0xC548}));
    }

    void paneShowsABurstAtOnceAndDropsItsOldestPartWithANotice()
    {
        Shown shown;
        auto& [h, w] = shown;
        w.historyPane().setShownLimit(2000);
        auto* pane = w.control<QPlainTextEdit>(name::kHistoryBox);
        int insertions = 0;
        connect(pane->document(), &QTextDocument::contentsChange, [&] { ++insertions; });
        for (int i = 0; i < 50; ++i)
            h.appendLine("entry " + QByteArray::number(i));
        QTRY_VERIFY(pane->toPlainText().endsWith(QStringLiteral("entry 49")));
        QCOMPARE(insertions, 1);

        for (int i = 50; i < 400; ++i) {
            h.appendLine("entry " + QByteArray::number(i));
            if (i % 7 == 0)
                w.historyPane().flush();
        }
        w.historyPane().flush();
        QVERIFY(pane->document()->characterCount() <= 2000);
        const QStringList lines = pane->toPlainText().split(u'\n');
        const QString notice = texts::kHistoryScrolledOut.toString();
        QCOMPARE(lines.first(), notice);
        QCOMPARE(lines.count(notice), 1);
        // What stays is the newest entries, whole and in order.
        const int oldest = lines[1].mid(6).toInt();
        QVERIFY(oldest > 50);
        for (int j = 1; j < lines.size(); ++j)
            QCOMPARE(lines[j], QStringLiteral("entry %1").arg(oldest + j - 1));
        QCOMPARE(lines.last(), QStringLiteral("entry 399"));

        h.clear(false);
        QVERIFY(!pane->toPlainText().contains(notice));
    }

    void linesShareBoundedBlocksAndReadBackUnchanged()
    {
        Shown shown;
        auto& [h, w] = shown;
        auto* pane = w.control<QPlainTextEdit>(name::kHistoryBox);
        QStringList expected = pane->toPlainText().split(u'\n');
        // Two passes: the second continues the block the first left open.
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < 1500; ++i) {
                const QByteArray entry = "entry " + QByteArray::number(pass * 1500 + i);
                h.appendLine(entry);
                expected.append(QString::fromLatin1(entry));
            }
            w.historyPane().flush();
        }
        QCOMPARE(pane->toPlainText().split(u'\n'), expected);
        QTextDocument* doc = pane->document();
        QVERIFY2(doc->blockCount() < 3000 / 50, qPrintable(QString::number(doc->blockCount())));
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            QVERIFY(b.length() <= HistoryPane::kBlockLength + HistoryPane::kLongestShownLine + 1);
    }

    void longLinesAreShownInPieces()
    {
        const auto pieces = [](const QString& shown) { return shown.split(u'\n'); };
        const QStringList word = pieces(breakLongLines(QString(3000, u'x'), 1024));
        QCOMPARE(word.size(), 3);
        QCOMPARE(word[0].size(), 1024);
        QCOMPARE(word[2].size(), 3000 - 2048);

        // Words break after a blank; nothing is lost or added but the breaks.
        const QString words = QStringLiteral("word ").repeated(600) + QStringLiteral("\nshort");
        const QStringList lines = pieces(breakLongLines(words, 1024));
        for (const QString& line : lines.first(lines.size() - 1)) {
            QVERIFY(line.size() <= 1024);
            QVERIFY(line.endsWith(u' '));
        }
        QCOMPARE(lines.join(QString()), QString(words).remove(u'\n'));

        // A character beyond the basic plane stays whole.
        const QString wide =
            QString(1023, u'x') + QString::fromUcs4(U"\U0001F600") + QStringLiteral("yz");
        const QStringList split = pieces(breakLongLines(wide, 1024));
        QCOMPARE(split[0], QString(1023, u'x'));
        QVERIFY(split[1].startsWith(QString::fromUcs4(U"\U0001F600")));
        QCOMPARE(breakLongLines(QStringLiteral("a\nb"), 1024), QStringLiteral("a\nb"));
    }

    void saveDialogRemembersThePath()
    {
        QTemporaryDir dir;
        Shown shown;
        auto& [h, w] = shown;
        const QString typed = dir.filePath(QStringLiteral("history"));
        test::whenModal([&](QWidget* dialog) {
            auto* fd = qobject_cast<QFileDialog*>(dialog);
            QVERIFY(fd);
            QCOMPARE(fd->windowTitle(), QStringLiteral("保存信息历史"));
            QCOMPARE(fd->defaultSuffix(), QStringLiteral("txt"));
            QCOMPARE(fd->nameFilters(), QStringList{QStringLiteral("*.txt")});
            // Typed as a user would: the name without an extension, then Enter.
            auto* nameEdit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(nameEdit);
            nameEdit->setText(typed);
            QTest::keyClick(nameEdit, Qt::Key_Return);
        });
        const QByteArray before = h.text();
        w.historyPane().save();
        QFile saved(typed + QStringLiteral(".txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), before);

        QStringList offered;
        test::whenModal([&](QWidget* dialog) {
            offered = static_cast<QFileDialog*>(dialog)->selectedFiles();
            static_cast<QDialog*>(dialog)->reject();
        });
        const QByteArray afterFirst = h.text();
        w.historyPane().save();
        QCOMPARE(offered, QStringList{typed + QStringLiteral(".txt")});
        QCOMPARE(h.text(), afterFirst); // cancelled: nothing appended
    }

    void messageDuringAModalDialogLeavesItTheKeyboard()
    {
        Shown shown;
        auto& [h, w] = shown;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget* active = nullptr;
        bool stillOpen = false;
        test::whenModal([&](QWidget* dialog) {
            QTRY_COMPARE(QApplication::activeWindow(), dialog);
            for (int i = 0; i < 3; ++i) { // a burst: each message asks for the window
                h.appendLine("message");
                w.form().showArrival("PC01", "message");
            }
            QTest::qWait(50);
            active = QApplication::activeWindow();
            QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
            QTest::keyClick(keys, Qt::Key_Escape);
            stillOpen = dialog->isVisible();
            if (stillOpen)
                static_cast<QDialog*>(dialog)->reject();
        });
        w.historyPane().save();
        QCOMPARE(active, w.historyPane().saveDialog());
        QVERIFY(!stillOpen);
        QVERIFY(w.isVisible());
        QVERIFY(h.text().endsWith("message")); // cancelled: no save entry
    }

    void clearDuringAScanKeepsTheScanText()
    {
        Shown shown;
        auto& [h, w] = shown;
        w.setScanRunningQuery([] { return true; });
        w.historyPane().clear();
        QCOMPARE(h.text(), History::banner() + "\r\n" + History::scanRunningText());
    }

    void startUpGeometry()
    {
        MainWindow w;
        w.applyStartUpGeometry();
        const QRect screen = w.screen()->geometry();
        QCOMPARE(w.size(), QSize(639, 458));
        QCOMPARE(w.pos(), QPoint(screen.left() + (screen.width() - 639) / 2,
                                 screen.top() + (screen.height() - 480) / 2));
    }

    void listSelectionBecomesTheTarget()
    {
        MainWindow w;
        const Ipv4Address low = *ipv4::parse("10.0.0.15"), high = *ipv4::parse("10.0.0.20");
        w.scanView().addComputer("PC01", low);
        w.scanView().addComputer("pc01", high); // another host claims the same name
        w.scanView().addComputer(QByteArray("\xC4\xE3", 2), *ipv4::parse("10.0.0.30"));
        const QList<MessageForm::Listed> rows = w.form().computers();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1].name, QByteArray("pc01"));
        QCOMPARE(rows[1].address, high);
        auto* list = w.control<QListWidget>(name::kComputerList);
        QCOMPARE(list->item(0)->text(), QStringLiteral("PC01 (10.0.0.15)"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("pc01 (10.0.0.20)"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("你"));
        // The row chosen is the host a send goes to, while its name stands.
        list->setCurrentRow(1);
        QCOMPARE(w.form().target(), QByteArray("pc01"));
        QCOMPARE(w.form().chosenAddress(), std::optional(high));
        list->setCurrentRow(2);
        QCOMPARE(w.form().target(), QByteArray("\xC4\xE3"));
        w.control<QLineEdit>(name::kTargetBox)->setText(QStringLiteral("PC01"));
        QCOMPARE(w.form().chosenAddress(), std::nullopt);
        list->setCurrentRow(0);
        w.form().setTarget("PC01"); // an arrival from a PC01: by name again
        QCOMPARE(w.form().chosenAddress(), std::nullopt);
        w.form().setTarget("typed");
        w.scanView().clearComputers(); // a new scan empties the list without touching the target
        QCOMPARE(w.form().target(), QByteArray("typed"));
    }

    void trayClicksBecomeEventKinds()
    {
        // An XEmbed tray reports each click; a StatusNotifierItem host only
        // activations, which must still show and hide the window.
        QCOMPARE(trayEventKind(QSystemTrayIcon::Trigger, false), 1);
        QCOMPARE(trayEventKind(QSystemTrayIcon::DoubleClick, false), 2);
        QCOMPARE(trayEventKind(QSystemTrayIcon::Context, false), 3);
        QCOMPARE(trayEventKind(QSystemTrayIcon::MiddleClick, false), 0);
        QCOMPARE(trayEventKind(QSystemTrayIcon::Trigger, true), 2);
        QCOMPARE(trayEventKind(QSystemTrayIcon::Context, true), 3);
    }

    void trayMenuOpensLeftOfAndAboveThePointer()
    {
        MainWindow w;
        const QRect screen = w.screen()->geometry();
        const QPoint pointer = screen.center();
        QCursor::setPos(pointer);
        popUpAtPointer(w.tray().menu());
        QTRY_VERIFY(w.tray().menu()->isVisible());
        const QRect menu = w.tray().menu()->geometry();
        QCOMPARE(menu.right() + 1, pointer.x() - 5);
        QCOMPARE(menu.top(), pointer.y() - 5);
        w.tray().menu()->close();
    }

    void draggingByTheLabelsOnly()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(100, 100);
        const QPoint start = w.pos();
        auto* title = w.control(name::kTitleBar);
        QTest::mousePress(title, Qt::LeftButton, {}, QPoint(50, 5));
        // The press started a move (on this platform, the window's own).
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), w.mapToGlobal(QPointF(80, 36)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&w, &move);
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(80, 36));
        QCOMPARE(w.pos(), start + QPoint(29, 30));

        auto* pane = w.control<QPlainTextEdit>(name::kHistoryBox);
        QTest::mousePress(pane->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QApplication::sendEvent(&w, &move);
        QTest::mouseRelease(pane->viewport(), Qt::LeftButton, {}, QPoint(40, 40));
        QCOMPARE(w.pos(), start + QPoint(29, 30));

        // The about label is exempt: its press and release are its own click.
        auto* about = w.control(name::kAboutLabel);
        QTest::mousePress(about, Qt::LeftButton, {}, QPoint(20, 10));
        QApplication::sendEvent(&w, &move);
        QVERIFY(!w.aboutWindow()); // a press alone opens nothing
        QTest::mouseRelease(about, Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(w.pos(), start + QPoint(29, 30));
        // isVisibleTo(nullptr) is isVisible() out of line: GCC's null-dereference
        // warning misreads the inline one behind the null test at -O2.
        QTRY_VERIFY(w.aboutWindow() && w.aboutWindow()->isVisibleTo(nullptr));
    }

    void exemptControlsClickInAWindowThatDoesNotDrag()
    {
        // The about window's own definition, without the about window's link handler.
        DefinedWindow w(aboutWindowDef(), {});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(100, 100);
        const QPoint start = w.pos();
        QSignalSpy pressed(&w, &DefinedWindow::pressed);
        QSignalSpy released(&w, &DefinedWindow::released);
        auto* link = w.control(name::kAboutLink);
        QTest::mousePress(link, Qt::LeftButton, {}, QPoint(20, 10));
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(20, 10));
        QTest::mouseClick(link, Qt::RightButton, {}, QPoint(20, 10));
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(released.size(), 1);
        QCOMPARE(released.first().first().toString(), name::kAboutLink.toString());

        // A press on its surface does not move it either.
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(5, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), w.mapToGlobal(QPointF(80, 36)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&w, &move);
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(80, 36));
        QCOMPARE(w.pos(), start);
    }

    // Without a notification area the window minimises to the taskbar, and a
    // tray that goes while it is hidden there gives it back to the taskbar.
    void withoutATrayTheWindowStaysReachable()
    {
        bool present = true;
        MainWindow w(nullptr, [&present] { return present; });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.tray().install();
        w.tray().hideWindow();
        QVERIFY(!w.isVisible());
        present = false;
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 3 * 1000 * TrayController::kFollowInterval.count());
        QVERIFY(w.isMinimized());
        w.tray().showWindow();
        w.control<QPushButton>(name::kMinimiseButton)->click();
        QVERIFY(w.isVisible());
        QVERIFY(w.isMinimized());
        QVERIFY(w.tray().hiddenInTray());
        w.tray().trayEvent(2); // the tray comes back first in real life; shown again
        QVERIFY(!w.isMinimized());
    }

    void trayEventsAndMenu()
    {
        MainWindow w(nullptr, [] { return true; }); // a notification area to hide into
        Counting c;
        c.attach(w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.tray().hideWindow();
        QVERIFY(w.tray().hiddenInTray());
        QVERIFY(!w.isVisible());
        w.tray().trayEvent(1); // a single click does nothing
        QVERIFY(!w.isVisible());
        w.tray().trayEvent(2);
        QVERIFY(w.isVisible());
        QVERIFY(!w.tray().hiddenInTray());
        w.tray().trayEvent(2);
        QVERIFY(!w.isVisible());

        QStringList captions;
        for (QAction* a : w.tray().menu()->actions())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions,
                 (QStringList{QStringLiteral("&X.显示主窗口"), QStringLiteral("&G.关于ZEPH..."),
                              QStringLiteral("-"), QStringLiteral("&T.退出")}));
        w.tray().menu()->actions().at(0)->trigger();
        QTRY_VERIFY(w.isVisible());
        QVERIFY(!w.tray().hiddenInTray());
        w.tray().menu()->actions().at(3)->trigger();
        QTRY_COMPARE(c.calls["immediate exit"], 1);
        w.tray().menu()->actions().at(1)->trigger();
        QTRY_VERIFY(w.aboutWindow() != nullptr);
        // The minimize button hides whether or not the window came from the tray.
        w.control<QPushButton>(name::kMinimiseButton)->click();
        QVERIFY(w.tray().hiddenInTray());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
