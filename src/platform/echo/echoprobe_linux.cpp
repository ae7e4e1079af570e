#include "platform/echo/echoprobe.h"

#include "core/logging.h"
#include "platform/echo/echoviahelper.h"
#include "platform/echo/echoviasocket.h"
#include "platform/echo/echowithneighbours.h"

#include <climits>
#include <unistd.h>

// The installed helper's path has one home, src/CMakeLists.txt's
// ZEPH_PROBE_INSTALLED_PATH, which the build passes in.
#ifndef ZEPH_PROBE_HELPER_INSTALLED
#error "ZEPH_PROBE_HELPER_INSTALLED must be defined by the build"
#endif

namespace zeph::platform {
namespace {

QByteArray besideExecutable()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    QByteArray path(buf, n);
    return path.left(path.lastIndexOf('/') + 1) + "zeph-probe";
}

// The first helper that can be run and says it can probe: beside the
// executable (the build tree), then the installed one.
std::unique_ptr<EchoTransport> findHelper()
{
    for (const QByteArray& path : {besideExecutable(), QByteArray(ZEPH_PROBE_HELPER_INSTALLED)})
        if (!path.isEmpty() && ::access(path.constData(), X_OK) == 0)
            if (auto transport = startEchoViaHelper(path))
                return transport;
    return nullptr;
}

} // namespace

std::unique_ptr<EchoTransport> openEchoTransport(const EchoOptions& options)
{
    std::unique_ptr<EchoTransport> transport;
    if (options.inProcess)
        transport = openEchoViaSocket();
    if (!transport)
        transport =
            options.helperPath.isEmpty() ? findHelper() : startEchoViaHelper(options.helperPath);
    if (!transport) {
        qCWarning(lcPlatform) << "ICMP echo is not available: the computer list stays empty";
        return transport;
    }
    qCDebug(lcPlatform) << "ICMP echo by" << int(transport->method()) << "ARP"
                        << transport->asksArp();
    return transport->asksArp() ? std::move(transport) : withNeighbourTable(std::move(transport));
}

} // namespace zeph::platform
