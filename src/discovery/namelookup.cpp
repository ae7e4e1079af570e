#include "discovery/namelookup.h"

#include "core/hostname.h"
#include "lan/lannames.h"
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
    if (const std::optional<Ipv4Address> dotted = ipv4::parse(name))
        return dotted;
    if (!hostname::mayLookUp(name))
        return std::nullopt;
    // A listed name goes to the host that answered for it, even when the
    // resolver knows the name as another address.
    if (const std::optional<Ipv4Address> a = scanNameAddress(name))
        return a;
    if (const std::optional<Ipv4Address> a = m_backends.systemResolve(name))
        return a;
    return m_backends.lanResolve(name);
}

QByteArray NameLookup::reverse(Ipv4Address address) const
{
    // A name with a control byte, or one that reads as an address, is no name,
    // whoever gave it.
    if (QByteArray name = m_backends.systemReverse(address); hostname::isHostName(name))
        return name;
    const lan::HostNames names = m_backends.lanHostNames(address);
    for (QByteArray name :
         {names.netbios, lan::fromLlmnrName(names.llmnr), lan::fromMdnsName(names.mdns)}) {
        if (hostname::isHostName(name))
            return name;
    }
    return {};
}

void NameLookup::forgetScanNames()
{
    const QMutexLocker locker(&m_lock);
    m_scanNames.clear();
}

void NameLookup::rememberScanName(QByteArrayView name, Ipv4Address address)
{
    if (!hostname::isHostName(name))
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
