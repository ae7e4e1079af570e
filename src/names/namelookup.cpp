#include "names/namelookup.h"

#include "core/hostname.h"
#include "lan/lannames.h"
#include "lan/netbios.h"
#include "lan/packet.h"
#include "platform/net/localaddress.h"
#include "platform/net/names.h"

#include <QMutexLocker>

namespace zeph {

void NameLookup::Interfaces::set(std::vector<lan::ScanInterface> on)
{
    const QMutexLocker locker(&m_lock);
    m_on = std::move(on);
}

std::vector<lan::ScanInterface> NameLookup::Interfaces::get() const
{
    const QMutexLocker locker(&m_lock);
    return m_on;
}

NameLookup::Backends NameLookup::systemBackends(const std::shared_ptr<const Interfaces>& on)
{
    Backends b;
    b.systemResolve = [](QByteArrayView name) { return platform::systemResolveName(name); };
    b.systemReverse = [](Ipv4Address a) { return platform::systemReverseName(a); };
    b.lanResolve = [on](QByteArrayView name) -> std::optional<Ipv4Address> {
        for (const lan::ScanInterface& i : on->get())
            if (const std::optional<Ipv4Address> a = lan::resolveOnLan(i, name))
                return a;
        return std::nullopt;
    };
    b.lanHostNames = [](Ipv4Address a) { return lan::hostNames(a); };
    return b;
}

NameLookup::NameLookup()
    : NameLookup([] {
          auto on = std::make_shared<Interfaces>();
          on->set(platform::scanInterfaces(platform::systemResolveName(platform::ownHostName())));
          return systemBackends(on);
      }())
{
}

NameLookup::Answer NameLookup::lookUp(QByteArrayView name) const
{
    if (const std::optional<Ipv4Address> dotted = ipv4::parse(name))
        return {dotted, {}};
    if (!hostname::mayLookUp(name))
        return {};
    // A listed name goes to the host that answered for it, even when the
    // resolver knows the name as another address.
    const QList<Ipv4Address> listed = scanNameAddresses(name);
    if (listed.size() == 1)
        return {listed.front(), {}};
    const std::optional<Ipv4Address> resolved = m_backends.systemResolve(name);
    if (!listed.isEmpty()) {
        // Never the first by address: the impostor may sit below the real one.
        if (resolved && listed.contains(*resolved))
            return {resolved, {}};
        return {std::nullopt, listed};
    }
    if (resolved)
        return {resolved, {}};
    return {m_backends.lanResolve(name), {}};
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

QList<Ipv4Address> NameLookup::scanNameAddresses(QByteArrayView name) const
{
    // Folded the GBK-aware way: a trail byte that looks like a letter stays as it is.
    const QByteArray wanted = lan::netbios::upperCased(name);
    QList<Ipv4Address> found;
    const QMutexLocker locker(&m_lock);
    for (const auto& [listed, address] : std::as_const(m_scanNames)) {
        if (lan::netbios::upperCased(listed) == wanted && !found.contains(address))
            found.append(address);
    }
    return found;
}

} // namespace zeph
