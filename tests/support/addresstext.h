#pragma once
// QCOMPARE failure messages show IPv4 addresses as dotted text (found by
// argument-dependent lookup).

#include "core/ipv4.h"

#include <QByteArrayAlgorithms>

namespace zeph::ipv4 {
inline char* toString(const Address& a)
{
    return qstrdup(a.toString().c_str());
}
} // namespace zeph::ipv4
