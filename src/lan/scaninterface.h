#pragma once
// The interface the scan covers and the LAN questions leave from.

#include "core/ipv4.h"

#include <optional>

namespace zeph::lan {

struct ScanInterface {
    Ipv4Address address;
    int prefixLength = 32;
    std::optional<Ipv4Address> broadcast; // none on loopback or point-to-point
};

// The interface of the local address the scan uses (the own host name's,
// else the default route's); none without one. Asks the operating system.
std::optional<ScanInterface> findScanInterface();

} // namespace zeph::lan
