#include "platform/scannames.h"

#include "platform/netbios.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <utility>

namespace zeph::platform {
namespace {

struct ScanNames {
    QMutex lock;
    QList<std::pair<QByteArray, QByteArray>> entries; // name, dotted; in list order
};

ScanNames& scanNames()
{
    static ScanNames names;
    return names;
}

} // namespace

void forgetScanNames()
{
    ScanNames& s = scanNames();
    const QMutexLocker locker(&s.lock);
    s.entries.clear();
}

void rememberScanName(QByteArrayView name, QByteArrayView dotted)
{
    if (name.isEmpty() || dotted.isEmpty())
        return;
    ScanNames& s = scanNames();
    const QMutexLocker locker(&s.lock);
    s.entries.append({name.toByteArray(), dotted.toByteArray()});
}

QByteArray scanNameAddress(QByteArrayView name)
{
    ScanNames& s = scanNames();
    const QMutexLocker locker(&s.lock);
    // Folded the GBK-aware way: a trail byte that looks like a letter stays as it is.
    const QByteArray wanted = netbios::upperCased(name);
    for (const auto& [listed, dotted] : std::as_const(s.entries)) {
        if (netbios::upperCased(listed) == wanted)
            return dotted;
    }
    return {};
}

} // namespace zeph::platform
