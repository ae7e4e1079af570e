#pragma once
// The echo transport through the zeph-probe helper, one process for the
// transport's life, spoken to in the lines of platform/icmp/probeprotocol.h.

#include "platform/echo/echoprobe.h"

#include <QByteArray>

#include <memory>

namespace zeph::platform {

// Starts the helper at path; null when it cannot be started or says it cannot probe.
std::unique_ptr<EchoTransport> startEchoViaHelper(const QByteArray& path);

} // namespace zeph::platform
