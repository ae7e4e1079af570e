#pragma once
// An interface the scan covers and the LAN questions leave from (the
// application finds them once: platform::scanInterfaces).

#include "platform/net/localaddress.h"

namespace zeph::lan {

using ScanInterface = platform::InterfaceAddress;

} // namespace zeph::lan
