#pragma once
// Windows Sockets, started once for the whole run before the first socket or
// resolver call of the platform layer.

namespace zeph::platform::win {

// True when Winsock 2.2 is ready.
bool startWinsock();

} // namespace zeph::platform::win
