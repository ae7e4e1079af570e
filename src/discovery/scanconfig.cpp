#include "discovery/scanconfig.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/product.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace zeph {

QString scanConfigPath()
{
    // XDG_CONFIG_HOME or ~/.config; the local application data on Windows.
    const QString app = product::kAppId.toString();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + app +
           u'/' + app + QStringLiteral(".conf");
}

ScanConfig parseNamedSubnets(const QStringList& entries)
{
    ScanConfig config;
    for (const QString& raw : entries) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const QByteArray text = entry.toLatin1();
        const qsizetype slash = text.indexOf('/');
        bool ok = slash > 0 && entry.size() == text.size();
        const int prefix = ok ? text.mid(slash + 1).toInt(&ok) : -1;
        const std::optional<Ipv4Address> address =
            ok ? ipv4::parse(text.left(slash)) : std::nullopt;
        if (!address || prefix < 0 || prefix > 32 || text.mid(slash + 1).startsWith('+')) {
            config.problems << G(texts::kScanSubnetBad) + gbk::fromUnicode(entry);
        } else if (prefix < kWidestSweptPrefix) {
            config.problems << G(texts::kScanSubnetTooWide) + gbk::fromUnicode(entry);
        } else {
            config.subnets.push_back({address->masked(prefix), prefix});
        }
    }
    return config;
}

ScanConfig readScanConfig(const QString& path)
{
    if (!QFileInfo::exists(path))
        return {};
    QFile file(path);
    const bool readable = file.open(QIODevice::ReadOnly);
    file.close();
    const QSettings settings(path, QSettings::IniFormat);
    if (!readable || settings.status() != QSettings::NoError) {
        qCWarning(lcDiscovery) << "cannot read" << path;
        ScanConfig config;
        config.problems << G(texts::kScanConfigUnreadable) + gbk::fromUnicode(path);
        return config;
    }
    // QSettings splits a value at its commas itself.
    const QVariant value = settings.value(QStringLiteral("scan/subnets"));
    QStringList entries;
    for (const QString& part : value.toStringList())
        entries << part.split(u',');
    return parseNamedSubnets(entries);
}

} // namespace zeph
