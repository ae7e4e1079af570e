#include "discovery/namelookup.h"

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

std::optional<lan::ScanInterface> NameLookup::Interfaces::holding(Ipv4Address address) const
{
    const QMutexLocker locker(&m_lock);
    for (const lan::ScanInterface& on : m_on)
        if (address.inSubnet(on.address, on.prefixLength))
            return on;
    return std::nullopt;
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
    b.lanHostNames = [on](Ipv4Address a) { return lan::hostNames(a, on->holding(a)); };
    return b;
}

NameLookup::NameLookup()
    : NameLookup([] {
          auto on = std::make_shared<Interfaces>();
          const std::vector<platform::LocalInterface> all = platform::localInterfaces();
          on->set(platform::scanInterfaces(
              platform::chooseLocalAddress(platform::systemResolveName(platform::ownHostName()),
                                           all),
              all));
          return systemBackends(on);
      }())
{
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
