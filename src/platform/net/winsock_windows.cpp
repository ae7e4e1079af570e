#include "platform/net/winsock.h"

#include "core/logging.h"

#include <winsock2.h>

namespace zeph::platform::win {

bool startWinsock()
{
    // Never cleaned up: the sockets layer is needed until the process ends.
    static const bool started = [] {
        WSADATA data{};
        const int rc = WSAStartup(MAKEWORD(2, 2), &data);
        if (rc != 0)
            qCWarning(lcPlatform) << "WSAStartup failed:" << rc;
        return rc == 0;
    }();
    return started;
}

} // namespace zeph::platform::win
