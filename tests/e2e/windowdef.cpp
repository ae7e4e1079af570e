// Writes what the end-to-end scripts need to know of the windows as a file
// that bash sources: the main window's size at start-up, the titles they look
// windows up by, the tray menu, the points they click and what a screen
// reader must hear of the named controls, all taken from the
// window definitions so that the scripts never keep a copy of them.
//
// Usage: zeph_e2e_windowdef OUTPUT

#include "ui/windowdef.h"
#include "app/texts.h"
#include "core/product.h"
#include "ui/mainwindow.h"
#include "ui/texts.h"

#include <QSaveFile>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

using namespace zeph;
using namespace zeph::ui;

namespace {

QString quoted(QStringView text)
{
    QString s = text.toString();
    s.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + s + u'\'';
}

const ControlDef& mainControl(QStringView name)
{
    for (const ControlDef& c : mainWindowDef().controls) {
        if (c.name == name)
            return c;
    }
    std::fprintf(stderr, "zeph_e2e_windowdef: no control %s\n", qPrintable(name.toString()));
    std::exit(1);
}

// The control's rectangle in main-window coordinates.
QRect inWindow(QStringView name)
{
    return mainControl(name).geometry.translated(MainWindow::kClientOrigin);
}

QString point(QPoint p)
{
    return QStringLiteral("(%1 %2)").arg(p.x()).arg(p.y());
}

QString trayMenu()
{
    QStringList entries;
    for (const ControlDef& c : trayMenuDef())
        entries << quoted(c.kind == Kind::MenuSeparator ? u"-" : c.text);
    return u'(' + entries.join(u' ') + u')';
}

// The role a screen reader announces for a control, as AT-SPI names it.
QString atspiRole(const ControlDef& c)
{
    switch (c.access.role) {
    case QAccessible::Graphic:
        return QStringLiteral("image");
    case QAccessible::Link:
        return QStringLiteral("link");
    case QAccessible::StatusBar:
        return QStringLiteral("status bar");
    default:
        break;
    }
    switch (c.kind) {
    case Kind::ListBox:
        return QStringLiteral("list");
    case Kind::EditBox:
        return QStringLiteral("text");
    case Kind::Button:
    case Kind::StyledButton:
        return QStringLiteral("push button");
    case Kind::ProgressBar:
        return QStringLiteral("progress bar");
    default:
        return QStringLiteral("label");
    }
}

// "ROLE|NAME" of each main-window control the definition names, or names by a label.
QString accessibleControls()
{
    QStringList entries;
    for (const ControlDef& c : mainWindowDef().controls) {
        QStringView name = c.access.name;
        if (name.isEmpty() && !c.access.labelledBy.isEmpty())
            name = mainControl(c.access.labelledBy).text;
        if (name.isEmpty() && c.access.role == QAccessible::Link)
            name = c.text; // a link is named by its caption
        if (!name.isEmpty())
            entries << quoted(QString(atspiRole(c) + u'|' + name.toString()));
    }
    return u'(' + entries.join(u' ') + u')';
}

QStringView trayEntry(QStringView name)
{
    for (const ControlDef& c : trayMenuDef()) {
        if (c.name == name)
            return c.text;
    }
    std::fprintf(stderr, "zeph_e2e_windowdef: no tray entry %s\n", qPrintable(name.toString()));
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: zeph_e2e_windowdef OUTPUT\n");
        return 2;
    }
    const QRect list = inWindow(name::kComputerList);
    const auto var = [](const char* name, const QString& value) {
        return QLatin1String(name) + u'=' + value;
    };
    const QStringList lines{
        QStringLiteral("# Generated at build time from the window definitions; do not edit."),
        QStringLiteral("# shellcheck shell=bash disable=SC2034 # used by the scripts"),
        var("MAIN_W", QString::number(MainWindow::startUpSize().width())),
        var("MAIN_H", QString::number(MainWindow::startUpSize().height())),
        var("PRODUCT_TITLE", quoted(product::kTitle)),
        var("ABOUT_TITLE", quoted(aboutWindowDef().title)),
        var("EXIT_TITLE", quoted(texts::kExitTitle)),
        var("SAVE_DIALOG_TITLE", quoted(savedialog::kTitle)),
        QStringLiteral("# The tray menu, '-' for a separator."),
        var("TRAY_MENU", trayMenu()),
        var("TRAY_SHOW", quoted(trayEntry(name::kTrayShow))),
        var("TRAY_EXIT", quoted(trayEntry(name::kTrayExit))),
        QStringLiteral("# Points in main-window coordinates: the controls' centres."),
        var("AT_TARGET_BOX", point(inWindow(name::kTargetBox).center())),
        var("AT_SEND_BOX", point(inWindow(name::kSendBox).center())),
        var("AT_MINIMIZE", point(inWindow(name::kMinimiseButton).center())),
        var("AT_EXIT", point(inWindow(name::kExitButton).center())),
        var("AT_ABOUT_LABEL", point(inWindow(name::kAboutLabel).center())),
        QStringLiteral("# 8 pixels into the computer list: its first row, whatever the font."),
        var("AT_FIRST_COMPUTER", point({list.center().x(), list.top() + 8})),
        QStringLiteral("# What a screen reader hears: ROLE|NAME of the named controls."),
        var("A11Y_CONTROLS", accessibleControls()),
        var("A11Y_HISTORY_NAME", quoted(mainControl(name::kHistoryBox).access.name)),
        var("A11Y_SEND_BOX_NAME", quoted(mainControl(name::kSendBox).access.name)),
        var("A11Y_MESSAGE_FROM", quoted(texts::kMessageFrom)),
    };

    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write((lines.join(u'\n') + u'\n').toUtf8()) < 0 ||
        !out.commit()) {
        std::fprintf(stderr, "zeph_e2e_windowdef: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
