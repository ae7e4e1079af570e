#include "discovery/namelookup.h"

#include "lan/netbios.h"
#include "lan/packet.h"
#include "platform/net/names.h"

#include <QMutexLocker>

#include <memory>
#include <mutex>

namespace zeph {

NameLookup::Backends NameLookup::systemBackends()
{
    // Found once, as the scan's address prefix is: the scan and the questions
    // stay on one subnet for the whole run.
    struct Lan {
        std::once_flag found;
        std::optional<lan::ScanInterface> on;
        const std::optional<lan::ScanInterface>& interface()
        {
            std::call_once(found, [this] { on = lan::findScanInterface(); });
            return on;
        }
    };
    auto shared = std::make_shared<Lan>();
    Backends b;
    b.systemResolve = [](QByteArrayView name) { return platform::systemResolveName(name); };
    b.systemReverse = [](Ipv4Address a) { return platform::systemReverseName(a); };
    b.lanResolve = [shared](QByteArrayView name) -> std::optional<Ipv4Address> {
        const std::optional<lan::ScanInterface>& on = shared->interface();
        return on ? lan::resolveOnLan(*on, name) : std::nullopt;
    };
    b.lanHostNames = [shared](Ipv4Address a) { return lan::hostNames(a, shared->interface()); };
    return b;
}

std::optional<Ipv4Address> NameLookup::resolve(QByteArrayView name) const
{
    if (name.isEmpty() || name.contains('\0'))
        return std::nullopt;
    if (const std::optional<Ipv4Address> dotted = ipv4::parse(name))
        return dotted;
    if (const std::optional<Ipv4Address> a = m_backends.systemResolve(name))
        return a;
    if (const std::optional<Ipv4Address> a = scanNameAddress(name))
        return a;
    return m_backends.lanResolve(name);
}

QByteArray NameLookup::reverse(Ipv4Address address) const
{
    // A name with a control byte is no name, as it is from the LAN.
    if (QByteArray name = m_backends.systemReverse(address);
        !name.isEmpty() && !lan::hasControlByte(name))
        return name;
    const lan::HostNames names = m_backends.lanHostNames(address);
    if (!names.netbios.isEmpty())
        return names.netbios;
    if (QByteArray name = lan::fromLlmnrName(names.llmnr); !name.isEmpty())
        return name;
    return lan::fromMdnsName(names.mdns);
}

void NameLookup::forgetScanNames()
{
    const QMutexLocker locker(&m_lock);
    m_scanNames.clear();
}

void NameLookup::rememberScanName(QByteArrayView name, Ipv4Address address)
{
    if (name.isEmpty())
        return;
    const QMutexLocker locker(&m_lock);
    m_scanNames.append({name.toByteArray(), address});
}

std::optional<Ipv4Address> NameLookup::scanNameAddress(QByteArrayView name) const
{
    // Folded the GBK-aware way: a trail byte that looks like a letter stays as it is.
    const QByteArray wanted = lan::netbios::upperCased(name);
    const QMutexLocker locker(&m_lock);
    for (const auto& [listed, address] : std::as_const(m_scanNames)) {
        if (lan::netbios::upperCased(listed) == wanted)
            return address;
    }
    return std::nullopt;
}

} // namespace zeph
