#include "app/displayplatform.h"

#include <QtGlobal>

namespace zeph {

QByteArray preferredPlatform(const QByteArray& qpaPlatform, const QByteArray& display,
                             const QByteArray& waylandDisplay)
{
    if (!qpaPlatform.isEmpty())
        return {};
    if (!display.isEmpty())
        return QByteArrayLiteral("xcb");
    if (!waylandDisplay.isEmpty())
        return QByteArrayLiteral("wayland");
    return {};
}

PlatformPreference::PlatformPreference()
{
    const QByteArray platform = preferredPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                                                  qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty())
        m_set = qputenv("QT_QPA_PLATFORM", platform);
}

PlatformPreference::~PlatformPreference()
{
    release();
}

void PlatformPreference::release()
{
    if (m_set)
        qunsetenv("QT_QPA_PLATFORM");
    m_set = false;
}

} // namespace zeph
