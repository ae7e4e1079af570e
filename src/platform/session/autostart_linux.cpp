#include "platform/session/autostart.h"

#include "core/logging.h"
#include "core/product.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace zeph::platform {

QString autostartFilePath()
{
    // XDG_CONFIG_HOME, else ~/.config; Qt 6.4 takes a relative value as it
    // is, which the XDG base directory rules call invalid: then the default.
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + product::kAppId.toString() +
           QStringLiteral(".desktop");
}

QString desktopExecValue(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : program)
        quote = quote || reserved.contains(c);
    QString arg;
    if (quote) {
        // Inside double quotes '"', '`', '$' and '\' are escaped with a backslash.
        arg += u'"';
        for (const QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                arg += u'\\';
            arg += c;
        }
        arg += u'"';
    } else {
        arg = program;
    }
    // The value is a string too: its own escapes come on top of the quoting.
    QString value;
    for (const QChar c : arg) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return value;
}

bool registerAutostart(const QString& program)
{
    const QString path = autostartFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Zeph\n"
                                         "Comment=LAN messenger\n"
                                         "Exec=%1\n"
                                         "Icon=%2\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(desktopExecValue(program), product::kAppId.toString());
    file.write(entry.toUtf8());
    const bool ok = file.commit();
    if (!ok)
        qCInfo(lcPlatform) << "autostart entry not written:" << file.errorString();
    return ok;
}

} // namespace zeph::platform
