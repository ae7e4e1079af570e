#pragma once
// ICMP echo for the subnet scan.

#include <QByteArray>
#include <QByteArrayView>

namespace zeph::platform {

// One echo request without data to address (a dotted IPv4 address; another
// text is resolved first) and at most timeoutMs of waiting for its reply.
// The round-trip time in milliseconds, or -1: no reply in time, the address
// does not resolve, or probing is impossible here.
//
// The first probe picks the way out and keeps it for the run: an ICMP datagram
// socket where net.ipv4.ping_group_range allows one, else a raw socket when
// this process may open one, else the zeph-probe helper (installed with
// cap_net_raw) over a socket pair. When none works, or the helper fails, every
// probe returns -1 at once.
int echoProbe(QByteArrayView address, int timeoutMs);

enum class EchoMethod { None, Datagram, Raw, HelperDatagram, HelperRaw };

// The way probes go out; picks it now if no probe has yet.
EchoMethod echoMethod();

// Test hooks. Close whatever is open, so that the next probe picks again;
// helperPath replaces the usual places of the helper (beside the executable,
// then the installed one); inProcess false sends every probe through the helper.
void resetEchoProbe(const QByteArray& helperPath = {}, bool inProcess = true);

} // namespace zeph::platform
