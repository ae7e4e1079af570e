#pragma once
// The echo transport on an ICMP socket of this process's own.

#include "platform/echo/echoprobe.h"

#include <memory>

namespace zeph::platform {

// An ICMP datagram socket, else a raw one; null when this process may have neither.
std::unique_ptr<EchoTransport> openEchoViaSocket();

} // namespace zeph::platform
