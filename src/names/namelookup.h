#pragma once
// Finding a computer's address from its name and its name from its address,
// in the program's order: a dotted text is its own address; then the names
// the last scan listed (a listed name goes to the host that answered for it;
// a name that several listed hosts answer for, to the one of them the
// resolver names, else to none: any host can claim any name); then the
// system resolver; then the LAN (NetBIOS, LLMNR and multicast DNS). One object, owned by the
// application; every method is thread-safe.

#include "core/ipv4.h"
#include "lan/questions.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMutex>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zeph {

class NameLookup {
public:
    // The ways out, replaceable in tests so that they need no network.
    struct Backends {
        std::function<std::optional<Ipv4Address>(QByteArrayView name)> systemResolve;
        std::function<QByteArray(Ipv4Address)> systemReverse;
        // The LAN's answer for a GBK name.
        std::function<std::optional<Ipv4Address>(QByteArrayView name)> lanResolve;
        // The names the computer at the address gives itself.
        std::function<lan::HostNames(Ipv4Address)> lanHostNames;
    };
    // The interfaces the LAN questions leave from: none until the
    // application has found them (once, at start-up).
    class Interfaces {
    public:
        void set(std::vector<lan::ScanInterface> on);
        std::vector<lan::ScanInterface> get() const;

    private:
        mutable QMutex m_lock;
        std::vector<lan::ScanInterface> m_on;
    };
    // The system resolver and the LAN of those interfaces: a name is asked
    // on each in turn; a host's names only of the host itself.
    static Backends systemBackends(const std::shared_ptr<const Interfaces>& on);

    // With the interfaces the scan would cover now (tests, tools).
    NameLookup();
    explicit NameLookup(Backends backends) : m_backends(std::move(backends)) {}

    NameLookup(const NameLookup&) = delete;
    NameLookup& operator=(const NameLookup&) = delete;

    // A name's address, or, when several listed hosts answer for it and
    // the resolver names none of them, their addresses and no answer.
    struct Answer {
        // An address alone converts, for resolvers that know of no claimants.
        Answer(std::optional<Ipv4Address> a = std::nullopt, QList<Ipv4Address> c = {}) // NOLINT
            : address(a), claimants(std::move(c))
        {
        }
        std::optional<Ipv4Address> address;
        QList<Ipv4Address> claimants; // in list order; only without an answer
    };
    // Nothing for a name hostname::mayLookUp refuses, or a name found
    // nowhere. Blocks until the answer or a bounded wait.
    Answer lookUp(QByteArrayView name) const;
    std::optional<Ipv4Address> resolve(QByteArrayView name) const { return lookUp(name).address; }
    // The system resolver's name, else the computer's NetBIOS workstation
    // name, else its LLMNR name, else its multicast DNS name without ".local"
    // (as the computer calls itself and signs its messages); empty when none.
    // A name that hostname::isHostName refuses counts as none.
    QByteArray reverse(Ipv4Address address) const;

    // A scan is starting: forget what the previous one listed.
    void forgetScanNames();
    // The scan listed name for address.
    void rememberScanName(QByteArrayView name, Ipv4Address address);

private:
    // Every listed host that answered for name, in list order.
    QList<Ipv4Address> scanNameAddresses(QByteArrayView name) const;

    const Backends m_backends;
    mutable QMutex m_lock;
    QList<std::pair<QByteArray, Ipv4Address>> m_scanNames; // in list order
};

} // namespace zeph
