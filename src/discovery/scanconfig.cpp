#include "discovery/scanconfig.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/product.h"
#include "discovery/texts.h"
#include "platform/session/userfiles.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>

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
    ScanConfig config;
    const auto refuse = [&](QStringView why) {
        qCWarning(lcDiscovery) << "zeph.conf not read:" << path;
        config.problems << G(why) + gbk::fromUnicode(path);
        return config;
    };
    const platform::SmallFile file = platform::readSmallFile(path, kMaxScanConfigBytes);
    if (file.status == platform::SmallFile::Status::Missing)
        return config;
    if (file.status == platform::SmallFile::Status::TooLarge)
        return refuse(texts::kScanConfigTooLarge);
    if (file.status != platform::SmallFile::Status::Read)
        return refuse(texts::kScanConfigUnreadable);
    // QSettings reads files only: it parses a private copy of the bytes read,
    // so that the file is opened once, and nothing written to it since counts.
    QTemporaryFile copy;
    if (!copy.open() || copy.write(file.bytes) != file.bytes.size() || !copy.flush())
        return refuse(texts::kScanConfigUnreadable);
    copy.close();
    const QSettings settings(copy.fileName(), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return refuse(texts::kScanConfigUnreadable);
    // QSettings splits a value at its commas itself.
    const QVariant value = settings.value(QStringLiteral("scan/subnets"));
    QStringList entries;
    for (const QString& part : value.toStringList())
        entries << part.split(u',');
    const auto named = std::count_if(entries.cbegin(), entries.cend(),
                                     [](const QString& e) { return !e.trimmed().isEmpty(); });
    if (named > kMaxNamedSubnets)
        return refuse(texts::kScanConfigTooManySubnets);
    return parseNamedSubnets(entries);
}

} // namespace zeph
