#include "platform/echo/neighbourwatch.h"

#include "core/logging.h"

#include <QFile>
#include <QSocketNotifier>

namespace zeph::platform {

NeighbourWatch::NeighbourWatch() = default;

NeighbourWatch::~NeighbourWatch()
{
    if (m_notifier) {
        // This may run inside the notifier's own signal: it goes later.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
}

bool NeighbourWatch::start(Changed changed)
{
    if (!m_socket.open() || !m_socket.requestDump()) {
        qCWarning(lcPlatform) << "the neighbour table cannot be read";
        return false;
    }
    m_changed = std::move(changed);
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readPending(); });
    return true;
}

void NeighbourWatch::readPending()
{
    bool lost = false;
    const neighbours::Batch batch = m_socket.read(&lost);
    // Changes were dropped for want of buffer space: the whole table again
    // puts every entry right.
    if (lost && !m_socket.requestDump())
        qCWarning(lcPlatform) << "neighbour changes lost";
    if (m_changed)
        for (const neighbours::Entry& e : batch.entries)
            m_changed(e);
}

int neighbourTableLimit()
{
    constexpr int kKernelDefault = 1024;
    QFile file(QStringLiteral("/proc/sys/net/ipv4/neigh/default/gc_thresh3"));
    if (!file.open(QIODevice::ReadOnly))
        return kKernelDefault;
    bool ok = false;
    const int limit = file.readAll().trimmed().toInt(&ok);
    return ok && limit > 0 ? limit : kKernelDefault;
}

} // namespace zeph::platform
