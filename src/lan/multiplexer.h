#pragma once
// Several questions on the LAN in flight at once, each on its own socket,
// waited for together under one deadline. A protocol adds itself by sending
// its request one of the three ways below and reading the answers in read.

#include "core/ipv4.h"
#include "platform/net/udpsocket.h"

#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace zeph::lan {

struct Question {
    platform::UdpSocket socket;
    std::uint16_t port = 0; // questions to one port of one host end together when refused
    bool connected = false; // then the kernel passes only the peer's datagrams
    bool done = true;       // answered, refused, given up or never sent
    // Takes each datagram that arrives and marks the questions it settles done.
    std::function<void(QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort)> read;
};

// A question's id, from the system's cryptographic generator: a host that
// could predict it could forge the answer. Nothing when the system has none.
std::optional<std::uint16_t> newTransactionId();

// Straight to one host, connected, so that its refusal ends the wait.
void askHost(Question& q, Ipv4Address host, std::uint16_t port, QByteArrayView request);
// To a multicast group out of the interface holding interfaceAddress.
void askGroup(Question& q, Ipv4Address group, std::uint16_t port, QByteArrayView request,
              Ipv4Address interfaceAddress, int ttl);
void askBroadcast(Question& q, Ipv4Address broadcast, std::uint16_t port, QByteArrayView request);

// Waits until every question is done or the wait ends. A connected question
// asks one port of one host: its refusal (ICMP port unreachable) says that
// nothing listens there and ends every question to that port.
void waitForAnswers(std::span<Question* const> questions, std::chrono::milliseconds wait);

} // namespace zeph::lan
