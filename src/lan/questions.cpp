#include "lan/questions.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "lan/dns.h"
#include "lan/llmnr.h"
#include "lan/netbios.h"
#include "platform/net/udpsocket.h"

#include <QRandomGenerator>
#include <QString>

#include <array>
#include <functional>
#include <span>
#include <vector>

namespace zeph::lan {
namespace {

using Clock = std::chrono::steady_clock;
using platform::UdpSocket;
using std::chrono::milliseconds;

// Large enough for any multicast DNS packet on an ordinary LAN (RFC 6762, 17).
constexpr std::size_t kMaxPacket = 9000;
// RFC 6762, 11; a link-local group never passes a router anyway.
constexpr int kMulticastTtl = 255;
// Datagrams read from one socket per wake-up: far more than the answers to
// one question, few enough that a flood to its port cannot hold the caller
// (name resolution for sending runs on the UI thread) past its wait.
constexpr int kMaxReadsPerWake = 32;

std::uint16_t newTransactionId()
{
    return static_cast<std::uint16_t>(QRandomGenerator::global()->generate());
}

// A question in flight on its own socket. A protocol adds itself by sending
// its request one of the three ways below and reading the answers in read.
struct Question {
    UdpSocket socket;
    std::uint16_t port = 0; // questions to one port of one host end together when refused
    bool connected = false; // then the kernel passes only the peer's datagrams
    bool done = true;       // answered, refused, given up or never sent
    // Takes each datagram that arrives and marks the questions it settles done.
    std::function<void(QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort)> read;
};

bool sent(bool ok, Ipv4Address to, std::uint16_t port)
{
    if (!ok)
        qCDebug(lcLan) << "LAN question to" << to.toString().c_str() << "port" << port
                       << "not sent";
    return ok;
}

// Straight to one host, connected, so that its refusal ends the wait.
void askHost(Question& q, Ipv4Address host, std::uint16_t port, QByteArrayView request)
{
    q.port = port;
    q.connected = true;
    q.done = request.isEmpty() ||
             !sent(q.socket.connectTo(host, port) && q.socket.send(request), host, port);
}

void askGroup(Question& q, Ipv4Address group, std::uint16_t port, QByteArrayView request,
              Ipv4Address interfaceAddress, int ttl = kMulticastTtl)
{
    q.port = port;
    q.done = request.isEmpty() || !sent(q.socket.setMulticastInterface(interfaceAddress, ttl) &&
                                            q.socket.sendTo(group, port, request),
                                        group, port);
}

void askBroadcast(Question& q, Ipv4Address broadcast, std::uint16_t port, QByteArrayView request)
{
    q.port = port;
    q.done = request.isEmpty() ||
             !sent(q.socket.allowBroadcast() && q.socket.sendTo(broadcast, port, request),
                   broadcast, port);
}

// Waits until every question is done or the wait ends. A connected question
// asks one port of one host: its refusal (ICMP port unreachable) says that
// nothing listens there and ends every question to that port.
void waitForAnswers(std::span<Question* const> questions, milliseconds wait)
{
    const Clock::time_point deadline = Clock::now() + wait;
    std::array<char, kMaxPacket> buf{};
    for (;;) {
        std::vector<const UdpSocket*> sockets;
        std::vector<Question*> waiting;
        for (Question* q : questions) {
            if (!q->done) {
                sockets.push_back(&q->socket);
                waiting.push_back(q);
            }
        }
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (waiting.empty() || left.count() <= 0)
            return;
        for (std::size_t k : UdpSocket::waitReadable(sockets, left)) {
            Question& q = *waiting[k];
            for (int reads = 0; !q.done && reads < kMaxReadsPerWake && Clock::now() < deadline;
                 ++reads) {
                const UdpSocket::Received r = q.socket.receive(buf);
                if (r.kind == UdpSocket::Received::Kind::Datagram) {
                    q.read(r.data, r.from, r.fromPort);
                    continue;
                }
                if (r.kind == UdpSocket::Received::Kind::NothingYet)
                    break;
                q.done = true;
                if (q.connected && r.kind == UdpSocket::Received::Kind::Refused) {
                    for (Question* other : questions)
                        other->done = other->done || other->port == q.port;
                }
            }
        }
    }
}

constexpr QByteArrayView kMdnsDomain = ".local";

bool endsWithMdnsDomain(QByteArrayView name)
{
    return name.size() > kMdnsDomain.size() &&
           name.last(kMdnsDomain.size()).compare(kMdnsDomain, Qt::CaseInsensitive) == 0;
}

} // namespace

HostNames hostNames(Ipv4Address address, const std::optional<ScanInterface>& on, milliseconds wait)
{
    // Four questions at once, so that one wait covers them all: the NetBIOS
    // node status, the LLMNR reverse question straight to the host (RFC 4795,
    // 2.4), and the multicast DNS reverse question both straight to the host
    // and to the group (for a responder that answers only what reaches it by
    // multicast). Only the host's own answers count. A name ends the
    // questions it outranks: NetBIOS, then LLMNR, then multicast DNS.
    HostNames names;
    Question nb;
    Question ll;
    Question direct;
    Question group;

    const std::uint16_t nbId = newTransactionId();
    nb.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t) {
        if (from != address)
            return;
        names.netbios = netbios::nodeStatusName(answer, nbId);
        // The preferred name: nothing more to wait for.
        if (!names.netbios.isEmpty())
            nb.done = ll.done = direct.done = group.done = true;
    };
    askHost(nb, address, netbios::kPort, netbios::nodeStatusRequest(nbId));

    const QByteArray reverse = dns::reverseName(address);
    const std::uint16_t llId = newTransactionId();
    ll.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        if (from != address || fromPort != llmnr::kPort || !names.llmnr.isEmpty())
            return;
        names.llmnr = llmnr::ptrTarget(answer, llId, reverse);
        if (!names.llmnr.isEmpty())
            ll.done = direct.done = group.done = true;
    };
    askHost(ll, address, llmnr::kPort, llmnr::query(llId, reverse, dns::kTypePtr));

    const std::uint16_t mdId = newTransactionId();
    const QByteArray request = dns::query(mdId, reverse, dns::kTypePtr, true);
    const auto readMdns = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        // The group question is not connected: the port is ours to check.
        if (from != address || fromPort != dns::kMdnsPort || !names.mdns.isEmpty())
            return;
        names.mdns = dns::ptrTarget(answer, mdId, reverse);
        if (!names.mdns.isEmpty())
            direct.done = group.done = true;
    };
    direct.read = readMdns;
    group.read = readMdns;
    askHost(direct, address, dns::kMdnsPort, request);
    if (!direct.done && on)
        askGroup(group, dns::kMdnsGroup, dns::kMdnsPort, request, on->address);

    waitForAnswers(std::array<Question*, 4>{&nb, &ll, &direct, &group}, wait);
    qCDebug(lcLan) << "names of" << address.toString().c_str() << ": NetBIOS" << names.netbios
                   << ", LLMNR" << names.llmnr << ", multicast DNS" << names.mdns;
    return names;
}

std::optional<Ipv4Address> resolveOnLan(const ScanInterface& on, QByteArrayView name,
                                        milliseconds wait)
{
    std::optional<Ipv4Address> found;
    Question nb;
    Question ll;
    Question md;

    const auto use = [&](std::optional<Ipv4Address> given, Ipv4Address from, std::uint16_t fromPort,
                         std::uint16_t port) {
        if (given && isTrustedAnswer(on, from, fromPort, port, *given)) {
            found = given;
            nb.done = ll.done = md.done = true;
        } else if (given) {
            qCDebug(lcLan) << "LAN answer for" << name << "refused:" << given->toString().c_str()
                           << "from" << from.toString().c_str() << "port" << fromPort;
        }
    };
    const std::uint16_t nbId = newTransactionId();
    nb.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        use(netbios::nameQueryAddress(answer, nbId, name), from, fromPort, netbios::kPort);
    };
    if (on.broadcast && netbios::isValidName(name))
        askBroadcast(nb, *on.broadcast, netbios::kPort, netbios::nameQueryRequest(nbId, name));

    const std::uint16_t mdId = newTransactionId();
    const QByteArray mdnsName = mdnsQuestionName(name);
    md.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        use(dns::aRecord(answer, mdId, mdnsName), from, fromPort, dns::kMdnsPort);
    };
    askGroup(md, dns::kMdnsGroup, dns::kMdnsPort, dns::query(mdId, mdnsName, dns::kTypeA, true),
             on.address);

    // LLMNR: the name as the host calls itself, asked of the group with TTL 1
    // (RFC 4795, 2.5); only a trusted answer counts, as for the others.
    const std::uint16_t llId = newTransactionId();
    const QByteArray llmnrName = gbk::toUnicode(name).toUtf8();
    ll.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        use(llmnr::aRecord(answer, llId, llmnrName), from, fromPort, llmnr::kPort);
    };
    if (!llmnrName.contains('.'))
        askGroup(ll, llmnr::kGroup, llmnr::kPort, llmnr::query(llId, llmnrName, dns::kTypeA),
                 on.address, llmnr::kMulticastTtl);

    waitForAnswers(std::array<Question*, 3>{&nb, &ll, &md}, wait);
    qCDebug(lcLan) << "LAN address of" << name << "(subnet broadcast"
                   << (on.broadcast ? on.broadcast->toString().c_str() : "none")
                   << "):" << (found ? found->toString().c_str() : "");
    return found;
}

bool isTrustedAnswer(const ScanInterface& on, Ipv4Address from, std::uint16_t fromPort,
                     std::uint16_t port, Ipv4Address given)
{
    const Ipv4Address subnet = on.address.masked(on.prefixLength);
    return fromPort == port && from.isHostOf(subnet, on.prefixLength) &&
           given.isHostOf(subnet, on.prefixLength);
}

QByteArray mdnsQuestionName(QByteArrayView gbkName)
{
    const QByteArray utf8 = gbk::toUnicode(gbkName).toUtf8();
    return endsWithMdnsDomain(utf8) ? utf8 : utf8 + kMdnsDomain.toByteArray();
}

QByteArray fromLlmnrName(QByteArrayView utf8)
{
    if (utf8.isEmpty() || utf8.contains('.'))
        return {};
    const QString text = QString::fromUtf8(utf8);
    QByteArray name = gbk::fromUnicode(text);
    if (gbk::toUnicode(name) != text || text.toUtf8() != utf8)
        return {};
    return name;
}

QByteArray fromMdnsName(QByteArrayView utf8)
{
    if (!endsWithMdnsDomain(utf8))
        return {};
    utf8.chop(kMdnsDomain.size());
    const QString text = QString::fromUtf8(utf8);
    QByteArray name = gbk::fromUnicode(text);
    if (gbk::toUnicode(name) != text || text.toUtf8() != utf8)
        return {};
    return name;
}

} // namespace zeph::lan
