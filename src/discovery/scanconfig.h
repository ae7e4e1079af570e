#pragma once
// The subnets beyond a router that the user names for the scan, in a plain
// file: $XDG_CONFIG_HOME/zeph/zeph.conf (~/.config/zeph/zeph.conf), on
// Windows %LOCALAPPDATA%\zeph\zeph.conf. Group [scan], key subnets, a
// comma-separated list of IPv4 prefixes:
//
//   [scan]
//   subnets = 10.5.50.0/24, 10.5.52.0/23
//
// A prefix shorter than /20 is refused (a sweep would take minutes), as is
// an entry that is no prefix; each refusal is a line for the history (GBK),
// and the rest still counts. Only a regular file is read, opened without
// blocking: one that cannot be read or is of another kind (a folder, a FIFO,
// a device), one larger than kMaxScanConfigBytes and one that names more than
// kMaxNamedSubnets subnets are each one line and otherwise ignored. No file:
// no named subnets.

#include "discovery/scanner.h"
#include "discovery/sweeprange.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace zeph {

inline constexpr qsizetype kMaxScanConfigBytes = qsizetype{64} * 1024;
inline constexpr qsizetype kMaxNamedSubnets = 256;

struct ScanConfig {
    std::vector<Scanner::NamedSubnet> subnets; // in the file's order
    QList<QByteArray> problems;                // history lines, GBK
};

// Where the file is looked for.
QString scanConfigPath();
// Reads the file at path.
ScanConfig readScanConfig(const QString& path);
// The entries of the key, each a prefix (blanks around it ignored).
ScanConfig parseNamedSubnets(const QStringList& entries);

} // namespace zeph
