#include "lan/multiplexer.h"

#include "core/logging.h"
#include "core/securerandom.h"

#include <array>
#include <vector>

namespace zeph::lan {
namespace {

using Clock = std::chrono::steady_clock;
using platform::UdpSocket;
using std::chrono::milliseconds;

// Large enough for any multicast DNS packet on an ordinary LAN (RFC 6762, 17).
constexpr std::size_t kMaxPacket = 9000;
// Datagrams read from one socket per wake-up: far more than the answers to
// one question, few enough that a flood to its port cannot hold the caller
// (name resolution for sending runs on the UI thread) past its wait.
constexpr int kMaxReadsPerWake = 32;

bool sent(bool ok, Ipv4Address to, std::uint16_t port)
{
    if (!ok)
        qCDebug(lcLan) << "LAN question to" << to.toString().c_str() << "port" << port
                       << "not sent";
    return ok;
}

// Reads what waits on q's socket, at most kMaxReadsPerWake datagrams.
void readAnswers(Question& q, std::span<Question* const> questions, Clock::time_point deadline)
{
    std::array<char, kMaxPacket> buf{};
    for (int reads = 0; !q.done && reads < kMaxReadsPerWake && Clock::now() < deadline; ++reads) {
        const UdpSocket::Received r = q.socket.receive(buf);
        if (r.kind == UdpSocket::Received::Kind::Datagram) {
            q.read(r.data, r.from, r.fromPort);
            continue;
        }
        if (r.kind == UdpSocket::Received::Kind::NothingYet)
            return;
        q.done = true;
        if (q.connected && r.kind == UdpSocket::Received::Kind::Refused) {
            for (Question* other : questions)
                other->done = other->done || other->port == q.port;
        }
    }
}

} // namespace

std::optional<std::uint16_t> newTransactionId()
{
    // One batch per lookup thread: the questions of several threads never share one.
    thread_local securerandom::Words words;
    return words.next();
}

void askHost(Question& q, Ipv4Address host, std::uint16_t port, QByteArrayView request)
{
    q.port = port;
    q.connected = true;
    q.done = request.isEmpty() ||
             !sent(q.socket.connectTo(host, port) && q.socket.send(request), host, port);
}

void askGroup(Question& q, Ipv4Address group, std::uint16_t port, QByteArrayView request,
              Ipv4Address interfaceAddress, int ttl)
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

void waitForAnswers(std::span<Question* const> questions, milliseconds wait)
{
    const Clock::time_point deadline = Clock::now() + wait;
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
        for (std::size_t k : UdpSocket::waitReadable(sockets, left))
            readAnswers(*waiting[k], questions, deadline);
    }
}

} // namespace zeph::lan
