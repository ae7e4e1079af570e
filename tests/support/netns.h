#pragma once
// The guard that keeps every socket test inside a private, loopback-only
// network namespace.

#include <QNetworkInterface>
#include <QTest>

namespace zeph::test {

// True when every interface in reach is a loopback one: the test runs in its
// own network namespace and nothing it sends can leave the machine.
inline bool onlyLoopbackInReach()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : interfaces) {
        if (!i.flags().testFlag(QNetworkInterface::IsLoopBack) &&
            i.flags().testFlag(QNetworkInterface::IsUp))
            return false;
    }
    return true;
}

} // namespace zeph::test

// In initTestCase of a test that opens sockets: stop at once outside a
// private loopback-only namespace (ctest runs it in one).
#define ZEPH_REQUIRE_PRIVATE_NETNS()                                                               \
    do {                                                                                           \
        if (!zeph::test::onlyLoopbackInReach())                                                    \
            QFAIL("not in a private loopback-only network namespace; run through ctest");          \
    } while (false)
